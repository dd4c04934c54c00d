// The effect's controls as data: one row per parameter index with its name, disk id, kind, range,
// default, choices and flags as plain fields. Hosts turn the rows into their own parameter records
// (host/ParamDefs.h for the compositing host); the command-line program reads names and choices here.
#pragma once

#include "ParamIndex.h"
#include "Presets.h"

#include <string_view>

// The header control's custom UI area in the Effect Controls panel, pixels.
inline constexpr int HEADER_UI_WIDTH = 300;
inline constexpr int HEADER_UI_HEIGHT = 50;

// Curve tolerance of every float slider.
inline constexpr float FLOAT_SLIDER_CURVE_TOLERANCE = 0.05f;

// What a control is, and so how its value is encoded (ParamValues.h).
enum class ParamKind {
    Layer,         // a layer picked by the user; no value of ours
    Custom,        // a custom-drawn control without a value (the header)
    FloatSlider,   // a double
    Slider,        // an integer
    Angle,         // 16.16 fixed-point degrees
    Popup,         // the 1-based choice
    Checkbox,      // 0 or 1
    GroupStart,
    GroupEnd,
};

// Whether a control of this kind holds a value of its own: sliders, angles, popups and checkboxes.
constexpr bool HoldsValue(ParamKind kind)
{
    switch (kind) {
    case ParamKind::FloatSlider:
    case ParamKind::Slider:
    case ParamKind::Angle:
    case ParamKind::Popup:
    case ParamKind::Checkbox:
        return true;
    default:
        return false;
    }
}

struct ParamSpec {
    int index;
    int disk_id;                 // id stored in projects; 0 for the host's own input layer
    const char* identifier;      // "PARAM_WAVE_SIZE"
    const char* name;            // shown in the panel; empty for group ends
    ParamKind kind;
    // Float sliders: the value. Integer sliders, popups (1-based) and checkboxes: the integer value.
    // Angles: degrees. Layers: 0, no layer.
    double dephault;
    double valid_min, valid_max;     // sliders only
    double slider_min, slider_max;   // sliders only
    int precision;               // float sliders: decimal places shown
    bool percent;                // float sliders: shown as a percentage; the value is the number shown
    bool supervised;             // the effect is told when the user changes it (presets, Loop)
    bool fixed_in_time;          // cannot be animated
    bool start_collapsed;        // group starts: the group opens collapsed
    bool starts_disabled;        // greyed until the parameter UI rules enable it (Loop Duration)
    int ui_width, ui_height;     // custom controls: the area drawn, pixels
    const char* choices;         // popups: choices joined by '|'; checkboxes: the label; else null
    int num_choices;             // popups only
};

namespace param_table_detail {

constexpr int CountChoices(std::string_view choices)
{
    int n = 1;
    for (char c : choices) {
        n += c == '|' ? 1 : 0;
    }
    return n;
}

// Row flags, combined with |.
constexpr int SUPERVISE = 1;
constexpr int FIXED = 2;
constexpr bool PERCENT = true;

constexpr ParamSpec Row(int index, int id, const char* ident, const char* name, ParamKind kind, int flags)
{
    ParamSpec row{index, id, ident, name, kind, 0, 0, 0, 0, 0, 0, false, false, false, false, false, 0, 0,
                  nullptr, 0};
    row.supervised = (flags & SUPERVISE) != 0;
    row.fixed_in_time = (flags & FIXED) != 0;
    return row;
}

constexpr ParamSpec FloatSlider(int index, int id, const char* ident, const char* name, double def,
                                double valid_min, double valid_max, double slider_min, double slider_max,
                                int precision, bool percent, int flags, bool starts_disabled = false)
{
    ParamSpec row = Row(index, id, ident, name, ParamKind::FloatSlider, flags);
    row.dephault = def;
    row.valid_min = valid_min;
    row.valid_max = valid_max;
    row.slider_min = slider_min;
    row.slider_max = slider_max;
    row.precision = precision;
    row.percent = percent;
    row.starts_disabled = starts_disabled;
    return row;
}

constexpr ParamSpec Slider(int index, int id, const char* ident, const char* name, int def, int valid_min,
                           int valid_max, int slider_min, int slider_max, int flags)
{
    ParamSpec row = Row(index, id, ident, name, ParamKind::Slider, flags);
    row.dephault = def;
    row.valid_min = valid_min;
    row.valid_max = valid_max;
    row.slider_min = slider_min;
    row.slider_max = slider_max;
    return row;
}

constexpr ParamSpec Popup(int index, int id, const char* ident, const char* name, int def, const char* choices,
                          int flags)
{
    ParamSpec row = Row(index, id, ident, name, ParamKind::Popup, flags);
    row.dephault = def;
    row.choices = choices;
    row.num_choices = CountChoices(choices);
    return row;
}

constexpr ParamSpec Checkbox(int index, int id, const char* ident, const char* name, int def, const char* label,
                             int flags)
{
    ParamSpec row = Row(index, id, ident, name, ParamKind::Checkbox, flags);
    row.dephault = def;
    row.choices = label;
    return row;
}

constexpr ParamSpec GroupStart(int index, int id, const char* ident, const char* name)
{
    ParamSpec row = Row(index, id, ident, name, ParamKind::GroupStart, 0);
    row.start_collapsed = true;
    return row;
}

constexpr ParamSpec GroupEnd(int index, int id, const char* ident)
{
    return Row(index, id, ident, "", ParamKind::GroupEnd, 0);
}

constexpr ParamSpec Header()
{
    ParamSpec row = Row(PARAM_HEADER, 1, "PARAM_HEADER", "Tessaloom", ParamKind::Custom, 0);
    row.ui_width = HEADER_UI_WIDTH;
    row.ui_height = HEADER_UI_HEIGHT;
    return row;
}

}   // namespace param_table_detail

inline constexpr const char* WAVEFORM_CHOICES = "Sine|Liquid|Drip|Triangle|Square|Sawtooth";
inline constexpr const char* MAP_CHANNEL_CHOICES = "Luminance|Alpha|Red|Green|Blue";
inline constexpr const char* EDGES_CHOICES = "Repeat Edge Pixels|Wrap Around|Mirror|Transparent";
inline constexpr const char* ANTIALIASING_CHOICES = "Off|Low|High|Best";
inline constexpr const char* INTERPOLATION_CHOICES = "Bilinear|Bicubic";

inline constexpr ParamSpec PARAM_TABLE[PARAM_COUNT] = {
    // clang-format off
    param_table_detail::Row(PARAM_INPUT, 0, "PARAM_INPUT", "", ParamKind::Layer, 0),
    param_table_detail::Header(),
    param_table_detail::Popup(PARAM_PRESET, 2, "PARAM_PRESET", "Preset", PRESET_FIRST_LOOK, PRESET_CHOICES.data(),
        param_table_detail::SUPERVISE | param_table_detail::FIXED),
    param_table_detail::FloatSlider(PARAM_AMOUNT, 3, "PARAM_AMOUNT", "Amount", 100, 0, 1000, 0, 200, 1,
        param_table_detail::PERCENT, 0),
    param_table_detail::FloatSlider(PARAM_WAVE_SIZE, 4, "PARAM_WAVE_SIZE", "Wave Size", 440, 2, 20000, 20, 2000, 1,
        false, param_table_detail::SUPERVISE),
    param_table_detail::FloatSlider(PARAM_STRENGTH, 5, "PARAM_STRENGTH", "Strength", 2, 0, 20, 0, 5, 2,
        false, param_table_detail::SUPERVISE),
    param_table_detail::FloatSlider(PARAM_FOLD, 6, "PARAM_FOLD", "Fold", 100, 0, 1000, 0, 200, 1,
        param_table_detail::PERCENT, param_table_detail::SUPERVISE),
    param_table_detail::FloatSlider(PARAM_DRIP, 7, "PARAM_DRIP", "Drip", 50, 0, 1000, 0, 200, 1,
        param_table_detail::PERCENT, param_table_detail::SUPERVISE),
    param_table_detail::Row(PARAM_DIRECTION, 8, "PARAM_DIRECTION", "Direction", ParamKind::Angle,
        param_table_detail::SUPERVISE),
    param_table_detail::GroupStart(PARAM_WAVES_GROUP, 10, "PARAM_WAVES_GROUP", "Waves"),
    param_table_detail::Slider(PARAM_WAVES, 11, "PARAM_WAVES", "Waves", 5, 1, 32, 1, 16,
        param_table_detail::SUPERVISE),
    param_table_detail::Popup(PARAM_WAVEFORM, 12, "PARAM_WAVEFORM", "Waveform", 1, WAVEFORM_CHOICES,
        param_table_detail::SUPERVISE),
    param_table_detail::FloatSlider(PARAM_SIZE_VARIATION, 13, "PARAM_SIZE_VARIATION", "Size Variation", 80, 0, 100,
        0, 100, 1, param_table_detail::PERCENT, param_table_detail::SUPERVISE),
    param_table_detail::FloatSlider(PARAM_STRENGTH_VARIATION, 14, "PARAM_STRENGTH_VARIATION", "Strength Variation",
        60, 0, 100, 0, 100, 1, param_table_detail::PERCENT, param_table_detail::SUPERVISE),
    param_table_detail::FloatSlider(PARAM_DIRECTION_SPREAD, 15, "PARAM_DIRECTION_SPREAD", "Direction Spread", 20,
        0, 180, 0, 180, 1, false, param_table_detail::SUPERVISE),
    param_table_detail::Slider(PARAM_ITERATIONS, 16, "PARAM_ITERATIONS", "Iterations", 1, 1, 4, 1, 4,
        param_table_detail::SUPERVISE),
    param_table_detail::Slider(PARAM_RANDOM_SEED, 17, "PARAM_RANDOM_SEED", "Random Seed", 2, 0, 30000, 0, 1000,
        param_table_detail::SUPERVISE),
    param_table_detail::Checkbox(PARAM_SCALE_WITH_LAYER, 18, "PARAM_SCALE_WITH_LAYER", "Scale With Layer", 1, "On",
        param_table_detail::FIXED),
    param_table_detail::GroupEnd(PARAM_WAVES_GROUP_END, 19, "PARAM_WAVES_GROUP_END"),
    param_table_detail::GroupStart(PARAM_ANIMATION_GROUP, 20, "PARAM_ANIMATION_GROUP", "Animation"),
    param_table_detail::Row(PARAM_EVOLUTION, 21, "PARAM_EVOLUTION", "Evolution", ParamKind::Angle, 0),
    param_table_detail::FloatSlider(PARAM_EVOLUTION_SPEED, 22, "PARAM_EVOLUTION_SPEED", "Evolution Speed", 0, -100,
        100, -2, 2, 2, false, 0),
    param_table_detail::FloatSlider(PARAM_OFFSET_X, 23, "PARAM_OFFSET_X", "Offset X", 0, -1000000, 1000000, -1000,
        1000, 1, false, 0),
    param_table_detail::FloatSlider(PARAM_OFFSET_Y, 24, "PARAM_OFFSET_Y", "Offset Y", 0, -1000000, 1000000, -1000,
        1000, 1, false, 0),
    param_table_detail::FloatSlider(PARAM_DRIFT_SPEED_X, 25, "PARAM_DRIFT_SPEED_X", "Drift Speed X", 0, -100000,
        100000, -500, 500, 1, false, 0),
    param_table_detail::FloatSlider(PARAM_DRIFT_SPEED_Y, 26, "PARAM_DRIFT_SPEED_Y", "Drift Speed Y", 0, -100000,
        100000, -500, 500, 1, false, 0),
    param_table_detail::Checkbox(PARAM_LOOP, 27, "PARAM_LOOP", "Loop", 0, "Seamless",
        param_table_detail::SUPERVISE | param_table_detail::FIXED),
    // Greyed while Loop is off; the parameter UI handler keeps it in step with Loop.
    param_table_detail::FloatSlider(PARAM_LOOP_DURATION, 28, "PARAM_LOOP_DURATION", "Loop Duration (sec)", 4, 0.1,
        3600, 0.5, 30, 2, false, 0, true),
    param_table_detail::GroupEnd(PARAM_ANIMATION_GROUP_END, 29, "PARAM_ANIMATION_GROUP_END"),
    param_table_detail::GroupStart(PARAM_STRENGTH_MAP_GROUP, 30, "PARAM_STRENGTH_MAP_GROUP", "Strength Map"),
    param_table_detail::Row(PARAM_MAP_LAYER, 31, "PARAM_MAP_LAYER", "Map Layer", ParamKind::Layer, 0),
    param_table_detail::Popup(PARAM_MAP_CHANNEL, 32, "PARAM_MAP_CHANNEL", "Map Channel", 1, MAP_CHANNEL_CHOICES,
        param_table_detail::FIXED),
    param_table_detail::Checkbox(PARAM_INVERT_MAP, 33, "PARAM_INVERT_MAP", "Invert Map", 0, "Invert",
        param_table_detail::FIXED),
    param_table_detail::GroupEnd(PARAM_STRENGTH_MAP_GROUP_END, 39, "PARAM_STRENGTH_MAP_GROUP_END"),
    param_table_detail::GroupStart(PARAM_RENDER_GROUP, 40, "PARAM_RENDER_GROUP", "Render"),
    param_table_detail::FloatSlider(PARAM_COLOR_SPLIT, 41, "PARAM_COLOR_SPLIT", "Color Split", 0, -100, 100, 0, 50,
        1, param_table_detail::PERCENT, param_table_detail::SUPERVISE),
    param_table_detail::Popup(PARAM_EDGES, 42, "PARAM_EDGES", "Edges", 1, EDGES_CHOICES, param_table_detail::FIXED),
    param_table_detail::Popup(PARAM_ANTIALIASING, 43, "PARAM_ANTIALIASING", "Antialiasing", 3, ANTIALIASING_CHOICES,
        param_table_detail::FIXED),
    param_table_detail::Popup(PARAM_INTERPOLATION, 44, "PARAM_INTERPOLATION", "Interpolation", 2,
        INTERPOLATION_CHOICES, param_table_detail::FIXED),
    param_table_detail::FloatSlider(PARAM_MIX, 45, "PARAM_MIX", "Mix", 100, 0, 100, 0, 100, 1,
        param_table_detail::PERCENT, 0),
    param_table_detail::GroupEnd(PARAM_RENDER_GROUP_END, 49, "PARAM_RENDER_GROUP_END"),
    // clang-format on
};

// Every row sits at its own index, and the supervised controls are exactly the preset's, the Preset
// menu and Loop.
static_assert([] {
    for (int i = 0; i < PARAM_COUNT; ++i) {
        if (PARAM_TABLE[i].index != i) {
            return false;
        }
        if (PARAM_TABLE[i].supervised != (IsPresetControlled(i) || i == PARAM_PRESET || i == PARAM_LOOP)) {
            return false;
        }
    }
    return PARAM_TABLE[PARAM_PRESET].num_choices == 1 + PRESET_LOOK_COUNT;
}());

// The row whose identifier ("PARAM_WAVE_SIZE", or without the prefix, "WAVE_SIZE") or shown name ("Wave
// Size") matches, ignoring case; group starts answer to their name only when no other control has it
// ("Waves" is the slider). Null when none.
const ParamSpec* FindParam(std::string_view name_or_identifier);

// The 1-based position of `choice` in a '|'-joined choice string, ignoring case; 0 when absent.
int FindChoice(const char* choices, std::string_view choice);
