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

double FloatValue(const PF_ParamDef* def)
{
    return def ? def->u.fs_d.value : 0.0;
}

std::int32_t IntValue(const PF_ParamDef* def)
{
    return def ? def->u.sd.value : 0;
}

double Percent(const PF_ParamDef* def)
{
    return FloatValue(def) / 100.0;
}

double AngleDegrees(const PF_ParamDef* def)
{
    return def ? static_cast<double>(def->u.ad.value) * FIXED_TO_DEGREES : 0.0;
}

// The 0-based code of a 1-based popup; an absent popup is code 0. The host's value is any int32, so the
// lowest one stays put instead of overflowing; it is outside every code range anyway.
std::int32_t PopupCode(const PF_ParamDef* def)
{
    if (!def) {
        return 0;
    }
    const std::int32_t value = def->u.pd.value;
    return value == std::numeric_limits<std::int32_t>::min() ? value : value - 1;
}

bool Checked(const PF_ParamDef* def)
{
    return def && def->u.bd.value != 0;
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

ParamTable TableFromParams(PF_ParamDef* const* params)
{
    ParamTable table{};
    for (int i = 0; params && i < PARAM_COUNT; ++i) {
        table[i] = IsRenderParam(i) ? params[i] : nullptr;
    }
    return table;
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

WarpSettings ReadSettings(std::span<const PF_ParamDef* const, PARAM_COUNT> table, double layer_scale)
{
    WarpSettings s;
    s.amount = Percent(table[PARAM_AMOUNT]);
    s.wave_size = FloatValue(table[PARAM_WAVE_SIZE]);
    s.strength = FloatValue(table[PARAM_STRENGTH]);
    s.fold = Percent(table[PARAM_FOLD]);
    s.drip = Percent(table[PARAM_DRIP]);
    s.direction = AngleDegrees(table[PARAM_DIRECTION]);
    s.wave_count = IntValue(table[PARAM_WAVES]);
    s.waveform = PopupCode(table[PARAM_WAVEFORM]);
    s.size_variation = Percent(table[PARAM_SIZE_VARIATION]);
    s.strength_variation = Percent(table[PARAM_STRENGTH_VARIATION]);
    s.direction_spread = FloatValue(table[PARAM_DIRECTION_SPREAD]);
    s.iterations = IntValue(table[PARAM_ITERATIONS]);
    s.seed = IntValue(table[PARAM_RANDOM_SEED]);
    s.scale = Checked(table[PARAM_SCALE_WITH_LAYER]) ? layer_scale : 1.0;
    s.evolution = AngleDegrees(table[PARAM_EVOLUTION]) / 360.0;
    s.evolution_speed = FloatValue(table[PARAM_EVOLUTION_SPEED]);
    s.offset_x = FloatValue(table[PARAM_OFFSET_X]);
    s.offset_y = FloatValue(table[PARAM_OFFSET_Y]);
    s.drift_x = FloatValue(table[PARAM_DRIFT_SPEED_X]);
    s.drift_y = FloatValue(table[PARAM_DRIFT_SPEED_Y]);
    s.loop = Checked(table[PARAM_LOOP]);
    s.loop_duration = FloatValue(table[PARAM_LOOP_DURATION]);
    s.map_channel = PopupCode(table[PARAM_MAP_CHANNEL]);
    s.invert_map = Checked(table[PARAM_INVERT_MAP]);
    s.color_split = Percent(table[PARAM_COLOR_SPLIT]);
    s.edge_mode = PopupCode(table[PARAM_EDGES]);
    s.antialiasing = PopupCode(table[PARAM_ANTIALIASING]);
    s.bicubic = table[PARAM_INTERPOLATION] && table[PARAM_INTERPOLATION]->u.pd.value == 2;
    s.mix = Percent(table[PARAM_MIX]);
    return SanitizeSettings(s);
}
