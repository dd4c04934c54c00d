// One effect instance of the frei0r plug-in: the parameters a host sets, the control values they make
// (in the command-line renderer's order), and the frame rendered on the CPU through RenderWarpFrame.
//
// Which controls count as set. GStreamer sets every parameter once when it makes an instance, and
// Kdenlive sets every parameter its effect description lists, so a control the user never touched
// reaches us with its default value. A control therefore overrides the preset and the look only while its
// value differs from its default (or NaN, which leaves it unset); at its default, the look decides.
//
// Values apply as the command-line renderer applies them: the look file's values, then the controls set
// here that a look never writes, then the preset, then the controls set here that a look writes.
//
// Bad input never stops the host: an unknown preset, a look file that cannot be read or a time unit that
// is neither "s" nor "ms" makes every frame the input unchanged, and a time that is not finite or beyond
// 10^9 seconds renders the frame at 0 s; each says so in one line on the standard error (once, until it
// changes).
//
// frei0r lets one thread at a time into an instance; instances share nothing.
#pragma once

#include "Frei0rParams.h"
#include "LookFile.h"

#include <cstdint>
#include <string>
#include <vector>

class Frei0rInstance {
public:
    // A frame size both above 0; the size is the layer size for Scale With Layer and the looks.
    Frei0rInstance(std::int32_t width, std::int32_t height);

    // frei0r's conventions: `value` points at a double for numbers and booleans, at a char* for strings.
    // An index outside the list or a null pointer is ignored.
    void SetParam(int param, const void* value);
    void GetParam(int param, void* value) const;

    // Renders `in` into `out`, width x height RGBA8888 pixels each (they may be the same frame); `time` in
    // the time unit's units.
    void Update(double time, const std::uint32_t* in, std::uint32_t* out);

private:
    void Resolve();
    void Report(const std::string& problem);
    void PassThrough(const std::uint32_t* in, std::uint32_t* out) const;

    std::int32_t width_;
    std::int32_t height_;
    std::string preset_;
    std::string look_;
    std::string time_unit_;
    // Numbers and booleans as set, held to 0..1; NaN is kept as the default's value.
    std::array<double, FREI0R_PARAM_COUNT> numbers_{};

    // What the parameters resolve to; redone after a change.
    bool resolved_ = false;
    ParamValues controls_{};
    double units_per_second_ = 1.0;
    std::string problem_;            // why frames pass through; empty when they render

    std::string loaded_look_;        // the path look_reading_ was read from
    bool look_loaded_ = false;
    LookReading look_reading_;

    std::string reported_;           // the problem last written to the standard error
    bool time_reported_ = false;
    std::vector<std::uint32_t> input_copy_;   // the input, when the host renders in place
};
