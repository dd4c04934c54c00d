// The frei0r parameters: how 0..1 maps onto each control, and the explanations hosts show.
#include "Frei0rParams.h"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace {

// A host's text round trip of the default (Kdenlive writes it as a decimal) lands this close to it.
constexpr double DEFAULT_SNAP = 1e-9;

std::string NumberText(double value)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return error == std::errc() ? std::string(buffer, end) : std::to_string(value);
}

// "440 px", "50%", "90°".
std::string WithUnit(double value, std::string_view unit)
{
    const bool attached = unit == "%" || unit == "°" || unit == "x";
    return NumberText(value) + (unit.empty() ? "" : attached ? std::string(unit) : " " + std::string(unit));
}

std::string ChoiceAt(const char* choices, int number)
{
    std::string_view rest = choices;
    for (int i = 1; i < number; ++i) {
        rest.remove_prefix(rest.find('|') + 1);
    }
    return std::string(rest.substr(0, rest.find('|')));
}

std::string ControlExplanation(const ParamSpec& row)
{
    const Frei0rRange range = Frei0rRangeOf(row.index);
    const std::string unit = Frei0rUnitOf(row.index);
    switch (row.kind) {
    case ParamKind::Popup: {
        std::string choices;
        std::string at;
        for (int choice = 1; choice <= row.num_choices; ++choice) {
            choices += (choice > 1 ? ", " : "") + ChoiceAt(row.choices, choice);
            at += (choice > 1 ? ", " : "") + NumberText((choice - 1.0) / (row.num_choices - 1.0));
        }
        return std::string(row.name) + ": " + choices + " at " + at + " (default " +
               ChoiceAt(row.choices, static_cast<int>(row.dephault)) + ")";
    }
    case ParamKind::Checkbox:
        return std::string(row.name) + ": on or off (default " + (row.dephault != 0 ? "on" : "off") + ")";
    case ParamKind::Slider:
        return std::string(row.name) + ": " + NumberText(range.at0) + " to " + WithUnit(range.at1, unit) +
               " over 0 to 1, whole numbers (default " + WithUnit(row.dephault, unit) + ")";
    default:
        return std::string(row.name) + ": " + NumberText(range.at0) + " to " + WithUnit(range.at1, unit) +
               " over 0 to 1 (default " + WithUnit(row.dephault, unit) + ")";
    }
}

struct Explanations {
    std::array<std::string, FREI0R_PARAM_COUNT> text;

    Explanations()
    {
        text[FREI0R_PRESET] = "A look of the Preset menu by name (" + Frei0rLookNames() + "); empty keeps the controls";
        text[FREI0R_LOOK] = "Path of a look file saved by quaverflux render --save-look; empty for none";
        text[FREI0R_TIME_UNIT] = "What the host's time counts: s for seconds (the default; MLT, GStreamer) or ms "
                                 "for milliseconds (ffmpeg)";
        for (int i = FREI0R_FIRST_CONTROL; i < FREI0R_PARAM_COUNT; ++i) {
            text[static_cast<std::size_t>(i)] = ControlExplanation(PARAM_TABLE[FREI0R_PARAMS[static_cast<std::size_t>(i)].control]);
        }
    }
};

}   // namespace

Frei0rRange Frei0rRangeOf(int control)
{
    const ParamSpec& row = PARAM_TABLE[control];
    switch (row.kind) {
    case ParamKind::FloatSlider:
    case ParamKind::Slider:
        return Frei0rRange{row.slider_min, row.slider_max};
    case ParamKind::Angle:
        return Frei0rRange{-180.0, 180.0};
    case ParamKind::Popup:
        return Frei0rRange{1.0, static_cast<double>(row.num_choices)};
    default:
        return Frei0rRange{0.0, 1.0};
    }
}

const char* Frei0rUnitOf(int control)
{
    switch (control) {
    case PARAM_AMOUNT:
    case PARAM_FOLD:
    case PARAM_DRIP:
    case PARAM_SIZE_VARIATION:
    case PARAM_STRENGTH_VARIATION:
    case PARAM_COLOR_SPLIT:
    case PARAM_MIX:
        return "%";
    case PARAM_WAVE_SIZE:
    case PARAM_OFFSET_X:
    case PARAM_OFFSET_Y:
        return "px";
    case PARAM_DIRECTION:
    case PARAM_DIRECTION_SPREAD:
    case PARAM_EVOLUTION:
        return "°";
    case PARAM_STRENGTH:
        return "x";
    case PARAM_EVOLUTION_SPEED:
        return "turns/s";
    case PARAM_DRIFT_SPEED_X:
    case PARAM_DRIFT_SPEED_Y:
        return "px/s";
    case PARAM_LOOP_DURATION:
        return "s";
    default:
        return "";
    }
}

double Frei0rDefault(int control)
{
    const Frei0rRange range = Frei0rRangeOf(control);
    return (PARAM_TABLE[control].dephault - range.at0) / (range.at1 - range.at0);
}

ParamValue ControlFromFrei0r(int control, double value)
{
    const ParamSpec& row = PARAM_TABLE[control];
    if (std::isnan(value) || std::fabs(value - Frei0rDefault(control)) <= DEFAULT_SNAP) {
        return ParamValueFromNumber(control, row.dephault);
    }
    const double t = value < 0.0 ? 0.0 : value > 1.0 ? 1.0 : value;
    const Frei0rRange range = Frei0rRangeOf(control);
    switch (row.kind) {
    case ParamKind::Popup:
        return ParamValue::Integer(1 + static_cast<std::int32_t>(std::lround(t * (row.num_choices - 1))));
    case ParamKind::Checkbox:
        return ParamValue::Integer(t >= 0.5 ? 1 : 0);
    default:
        // Float sliders keep the value; integer sliders round it, angles take it as degrees.
        return ParamValueFromNumber(control, range.at0 + t * (range.at1 - range.at0));
    }
}

std::string Frei0rLookNames()
{
    std::string names;
    for (const PresetLook& look : PRESET_TABLE) {
        names += (names.empty() ? "" : ", ") + std::string(look.name);
    }
    return names;
}

const char* Frei0rExplanation(int param)
{
    static const Explanations explanations;
    if (param < 0 || param >= FREI0R_PARAM_COUNT) {
        return "";
    }
    return explanations.text[static_cast<std::size_t>(param)].c_str();
}
