// Reading the controls into a WarpSettings and sanitising it.
#include "WarpSettings.h"

#include "WarpTypes.h"

#include <cmath>
#include <limits>

namespace {

constexpr double FIXED_TO_DEGREES = 1.52587890625e-05;   // 2^-16: 16.16 fixed point to degrees

// Non-finite values take the fallback unclamped; finite ones are limited to the top first, then the bottom.
double Sane(double value, double fallback, double lo, double hi)
{
    if (!std::isfinite(value)) {
        return fallback;
    }
    value = value > hi ? hi : value;
    return value < lo ? lo : value;
}

// Codes outside 0 .. count - 1, negative ones included, mean the first code.
std::int32_t SaneCode(std::int32_t code, std::uint32_t count)
{
    return static_cast<std::uint32_t>(code) < count ? code : 0;
}

double Percent(const ParamValue& value)
{
    return value.number / 100.0;
}

double AngleDegrees(const ParamValue& value)
{
    return static_cast<double>(value.integer) * FIXED_TO_DEGREES;
}

// The 0-based code of a 1-based popup. The host's value is any int32, so the lowest one stays put instead
// of overflowing; it is outside every code range anyway, as is the -1 of a popup the host lacks.
std::int32_t PopupCode(const ParamValue& value)
{
    return value.integer == std::numeric_limits<std::int32_t>::min() ? value.integer : value.integer - 1;
}

bool Checked(const ParamValue& value)
{
    return value.integer != 0;
}

}   // namespace

bool IsRenderParam(int index)
{
    switch (index) {
    case PARAM_INPUT:
    case PARAM_HEADER:
    case PARAM_WAVES_GROUP:
    case PARAM_WAVES_GROUP_END:
    case PARAM_ANIMATION_GROUP:
    case PARAM_ANIMATION_GROUP_END:
    case PARAM_STRENGTH_MAP_GROUP:
    case PARAM_MAP_LAYER:
    case PARAM_STRENGTH_MAP_GROUP_END:
    case PARAM_RENDER_GROUP:
    case PARAM_RENDER_GROUP_END:
        return false;
    default:
        return index >= 0 && index < PARAM_COUNT;
    }
}

WarpSettings SanitizeSettings(const WarpSettings& in)
{
    WarpSettings s = in;
    s.amount = Sane(s.amount, 1.0, 0.0, 10.0);
    s.wave_size = Sane(s.wave_size, 440.0, 2.0, 100000.0);
    s.strength = Sane(s.strength, 2.0, 0.0, 20.0);
    s.fold = Sane(s.fold, 1.0, 0.0, 10.0);
    s.drip = Sane(s.drip, 0.5, 0.0, 10.0);
    if (!std::isfinite(s.direction)) {
        s.direction = 0.0;
    }
    s.direction = std::fmod(s.direction, 360.0);
    if (!std::isfinite(s.direction)) {
        s.direction = 0.0;
    }
    if (s.wave_count < 2) {
        s.wave_count = 1;
    }
    if (s.wave_count > QF_MAX_WAVES) {
        s.wave_count = QF_MAX_WAVES;
    }
    s.waveform = SaneCode(s.waveform, QF_WAVEFORM_COUNT);
    s.size_variation = Sane(s.size_variation, 0.0, 0.0, 1.0);
    s.strength_variation = Sane(s.strength_variation, 0.0, 0.0, 1.0);
    s.direction_spread = Sane(s.direction_spread, 0.0, 0.0, 180.0);
    if (s.iterations < 2) {
        s.iterations = 1;
    }
    if (s.iterations > 4) {
        s.iterations = 4;
    }
    if (s.seed < 0) {
        s.seed = 0;
    }
    s.scale = Sane(s.scale, 1.0, 0.01, 100.0);
    s.evolution = Sane(s.evolution, 0.0, -1000000.0, 1000000.0);
    s.evolution_speed = Sane(s.evolution_speed, 0.0, -1000.0, 1000.0);
    s.offset_x = Sane(s.offset_x, 0.0, -10000000.0, 10000000.0);
    s.offset_y = Sane(s.offset_y, 0.0, -10000000.0, 10000000.0);
    s.drift_x = Sane(s.drift_x, 0.0, -1000000.0, 1000000.0);
    s.drift_y = Sane(s.drift_y, 0.0, -1000000.0, 1000000.0);
    s.loop_duration = Sane(s.loop_duration, 4.0, 0.01, 100000.0);
    s.map_channel = SaneCode(s.map_channel, 5);
    s.color_split = Sane(s.color_split, 0.0, -1.0, 1.0);
    s.edge_mode = SaneCode(s.edge_mode, 4);
    s.antialiasing = s.antialiasing > 3 ? 3 : s.antialiasing;
    s.antialiasing = s.antialiasing < 0 ? 0 : s.antialiasing;
    s.mix = Sane(s.mix, 1.0, 0.0, 1.0);
    return s;
}

SanitizedSettings ReadSettings(const ParamValues& table, double layer_scale)
{
    WarpSettings s;
    s.amount = Percent(table[PARAM_AMOUNT]);
    s.wave_size = table[PARAM_WAVE_SIZE].number;
    s.strength = table[PARAM_STRENGTH].number;
    s.fold = Percent(table[PARAM_FOLD]);
    s.drip = Percent(table[PARAM_DRIP]);
    s.direction = AngleDegrees(table[PARAM_DIRECTION]);
    s.wave_count = table[PARAM_WAVES].integer;
    s.waveform = PopupCode(table[PARAM_WAVEFORM]);
    s.size_variation = Percent(table[PARAM_SIZE_VARIATION]);
    s.strength_variation = Percent(table[PARAM_STRENGTH_VARIATION]);
    s.direction_spread = table[PARAM_DIRECTION_SPREAD].number;
    s.iterations = table[PARAM_ITERATIONS].integer;
    s.seed = table[PARAM_RANDOM_SEED].integer;
    s.scale = Checked(table[PARAM_SCALE_WITH_LAYER]) ? layer_scale : 1.0;
    s.evolution = AngleDegrees(table[PARAM_EVOLUTION]) / 360.0;
    s.evolution_speed = table[PARAM_EVOLUTION_SPEED].number;
    s.offset_x = table[PARAM_OFFSET_X].number;
    s.offset_y = table[PARAM_OFFSET_Y].number;
    s.drift_x = table[PARAM_DRIFT_SPEED_X].number;
    s.drift_y = table[PARAM_DRIFT_SPEED_Y].number;
    s.loop = Checked(table[PARAM_LOOP]);
    s.loop_duration = table[PARAM_LOOP_DURATION].number;
    s.map_channel = PopupCode(table[PARAM_MAP_CHANNEL]);
    s.invert_map = Checked(table[PARAM_INVERT_MAP]);
    s.color_split = Percent(table[PARAM_COLOR_SPLIT]);
    s.edge_mode = PopupCode(table[PARAM_EDGES]);
    s.antialiasing = PopupCode(table[PARAM_ANTIALIASING]);
    s.bicubic = table[PARAM_INTERPOLATION].integer == 2;
    s.mix = Percent(table[PARAM_MIX]);
    return SanitizedSettings(s);
}
