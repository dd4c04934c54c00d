// The settings snapshot: the control values of one frame in engineering units, brought into safe ranges
// so nothing downstream has to guard against non-finite or out-of-range values.
#pragma once

#include "ParamValues.h"

#include <cstdint>

struct WarpSettings {
    double amount = 0;               // fraction, 0 to 10
    double wave_size = 0;            // full-resolution pixels before scaling, 2 to 100000
    double strength = 0;             // amplitude to wavelength / (2 pi), 0 to 20
    double fold = 0;                 // fraction, 0 to 10
    double drip = 0;                 // fraction, 0 to 10
    double direction = 0;            // degrees, (-360, 360)
    std::int32_t wave_count = 0;     // 1 to QF_MAX_WAVES
    std::int32_t waveform = 0;       // QF_WAVE_*
    double size_variation = 0;       // fraction, 0 to 1
    double strength_variation = 0;   // fraction, 0 to 1
    double direction_spread = 0;     // degrees, 0 to 180
    std::int32_t iterations = 0;     // 1 to 4
    std::int32_t seed = 0;           // 0 and up
    double scale = 1.0;              // factor on sizes, offsets and drift, 0.01 to 100
    double evolution = 0;            // turns
    double evolution_speed = 0;      // turns per second
    double offset_x = 0;             // pixels (before scale)
    double offset_y = 0;
    double drift_x = 0;              // pixels per second (before scale)
    double drift_y = 0;
    bool loop = false;
    double loop_duration = 0;        // seconds, 0.01 to 100000
    std::int32_t map_channel = 0;    // QF_MAP_*
    bool invert_map = false;
    double color_split = 0;          // fraction, -1 to 1
    std::int32_t edge_mode = 0;      // QF_EDGE_*
    std::int32_t antialiasing = 0;   // 0 "Off" to 3 "Best"
    bool bicubic = false;
    double mix = 0;                  // fraction, 0 to 1
};

// Replaces non-finite doubles by their fallbacks and clamps every field to its range; idempotent.
WarpSettings SanitizeSettings(const WarpSettings& settings);

// A snapshot that went through SanitizeSettings, the only way to make one. The frame builder and the
// input margin take this type, so they trust every field without checking again: a snapshot is
// sanitised once, where it is made (ReadSettings), or where it comes back from memory the plug-in does
// not own (a pre-render record handed back by the host).
class SanitizedSettings {
public:
    explicit SanitizedSettings(const WarpSettings& settings) : values_(SanitizeSettings(settings)) {}

    const WarpSettings& values() const { return values_; }
    const WarpSettings* operator->() const { return &values_; }

private:
    WarpSettings values_;
};

// The parameters a frame is rendered from: all but the input, the header, the group starts and ends and
// the map layer, which comes as pixels. A host reads these at the frame's time before ReadSettings.
bool IsRenderParam(int index);

// Reads every field from its control (controls that are not render parameters are not looked at; a control
// the host lacks reads as zeros, which gives `scale` 1.0) and sanitises the result. layer_scale
// (LayerScale.h) is used only when Scale With Layer is on.
SanitizedSettings ReadSettings(const ParamValues& values, double layer_scale);
