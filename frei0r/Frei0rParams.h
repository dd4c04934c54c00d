// The effect's controls in frei0r's form. frei0r knows doubles from 0 to 1, booleans and strings, and
// hosts address parameters by position (ffmpeg) or name (MLT, GStreamer), so the list is fixed: the
// three strings first, so the positional form stays short for common use, then every control a frei0r
// host can set, in panel order, under its panel name. Left out: the header (no value), the Preset popup
// (the `preset` string names a look instead), and the strength map's layer and channel (a frei0r filter
// has one input).
//
// A double in 0..1 covers a control's slider range linearly; integer sliders round to the nearest whole
// number, popups are (choice - 1) / (choices - 1) rounded to the nearest choice, angles cover -180 to 180
// degrees, checkboxes are booleans. Values outside 0..1 are held at the ends.
#pragma once

#include "ParamTable.h"
#include "ParamValues.h"

// frei0r's header declares its entry points without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include <array>
#include <string>

// The plug-in's one-line explanation, also the Kdenlive effect's description.
inline constexpr const char* FREI0R_PLUGIN_EXPLANATION = "Warps the picture with a sum of waves that fold and drip it";

// What a frei0r parameter sets.
enum class Frei0rRole {
    Preset,     // string: a look of the Preset menu by name; empty (or "Custom") keeps the controls
    Look,       // string: the path of a look file; empty for none
    TimeUnit,   // string: what the host's time counts, "s" (the default) or "ms"
    Control,    // a control of the parameter table
};

struct Frei0rParam {
    const char* name;   // what hosts show and address: the control's panel name for controls
    int type;           // F0R_PARAM_STRING, F0R_PARAM_DOUBLE or F0R_PARAM_BOOL
    Frei0rRole role;
    int control;        // controls: the parameter index (ParamIndex.h); -1 otherwise
};

namespace frei0r_detail {

constexpr bool IsFrei0rControl(const ParamSpec& row)
{
    return HoldsValue(row.kind) && row.index != PARAM_PRESET && row.index != PARAM_MAP_CHANNEL;
}

constexpr int CountControls()
{
    int n = 0;
    for (const ParamSpec& row : PARAM_TABLE) {
        n += IsFrei0rControl(row) ? 1 : 0;
    }
    return n;
}

}   // namespace frei0r_detail

inline constexpr int FREI0R_PRESET = 0;
inline constexpr int FREI0R_LOOK = 1;
inline constexpr int FREI0R_TIME_UNIT = 2;
inline constexpr int FREI0R_FIRST_CONTROL = 3;
inline constexpr int FREI0R_PARAM_COUNT = FREI0R_FIRST_CONTROL + frei0r_detail::CountControls();

namespace frei0r_detail {

constexpr std::array<Frei0rParam, FREI0R_PARAM_COUNT> BuildParams()
{
    std::array<Frei0rParam, FREI0R_PARAM_COUNT> params{};
    params[FREI0R_PRESET] = Frei0rParam{"preset", F0R_PARAM_STRING, Frei0rRole::Preset, -1};
    params[FREI0R_LOOK] = Frei0rParam{"look", F0R_PARAM_STRING, Frei0rRole::Look, -1};
    params[FREI0R_TIME_UNIT] = Frei0rParam{"time unit", F0R_PARAM_STRING, Frei0rRole::TimeUnit, -1};
    int at = FREI0R_FIRST_CONTROL;
    for (const ParamSpec& row : PARAM_TABLE) {
        if (IsFrei0rControl(row)) {
            const int type = row.kind == ParamKind::Checkbox ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE;
            params[static_cast<std::size_t>(at++)] = Frei0rParam{row.name, type, Frei0rRole::Control, row.index};
        }
    }
    return params;
}

}   // namespace frei0r_detail

inline constexpr std::array<Frei0rParam, FREI0R_PARAM_COUNT> FREI0R_PARAMS = frei0r_detail::BuildParams();

// What 0 and 1 stand for, in the control's panel units: a slider's slider range, -180 and 180 degrees,
// the first and last choice, off and on.
struct Frei0rRange {
    double at0;
    double at1;
};
Frei0rRange Frei0rRangeOf(int control);

// The unit a control's values are in, as a host shows it after a number: "%", "px", "°", "s", ...; empty
// for plain numbers and choices.
const char* Frei0rUnitOf(int control);

// The frei0r value of a control's default: a host that shows the default shows this.
double Frei0rDefault(int control);

// The control's value (table encoding, ParamValues.h) for a frei0r value. NaN, and any value within 1e-9
// of Frei0rDefault (a host's round trip through text), give the default exactly.
ParamValue ControlFromFrei0r(int control, double value);

// The looks of the Preset menu by name, joined by ", ".
std::string Frei0rLookNames();

// The parameter's explanation for hosts: for controls the real range and unit over 0..1 and the default.
const char* Frei0rExplanation(int param);
