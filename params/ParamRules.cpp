// Presets and the parameter UI state, on plain values.
#include "ParamRules.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double MIN_PRESET_WAVE_SIZE = 2.0;

void ApplyLook(const ParamValues& values, double layer_scale, const PresetLook& look, ParamChanges& changes)
{
    // With Scale With Layer on the render scales the size itself; off, the look is fitted to this layer.
    const bool scaled_at_render = values[PARAM_SCALE_WITH_LAYER].integer != 0;
    const double scale = scaled_at_render ? 1.0 : layer_scale;

    changes.Add(PARAM_WAVE_SIZE,
                ParamValue::Number(std::max(std::floor(scale * look.wave_size + 0.5), MIN_PRESET_WAVE_SIZE)));
    changes.Add(PARAM_STRENGTH, ParamValue::Number(look.strength));
    changes.Add(PARAM_FOLD, ParamValue::Number(look.fold));
    changes.Add(PARAM_DRIP, ParamValue::Number(look.drip));
    changes.Add(PARAM_DIRECTION, ParamValue::Integer(AngleToFixed(look.direction)));
    changes.Add(PARAM_WAVES, ParamValue::Integer(look.waves));
    changes.Add(PARAM_WAVEFORM, ParamValue::Integer(look.waveform + 1));
    changes.Add(PARAM_SIZE_VARIATION, ParamValue::Number(look.size_variation));
    changes.Add(PARAM_STRENGTH_VARIATION, ParamValue::Number(look.strength_variation));
    changes.Add(PARAM_DIRECTION_SPREAD, ParamValue::Number(look.direction_spread));
    changes.Add(PARAM_ITERATIONS, ParamValue::Integer(look.iterations));
    changes.Add(PARAM_RANDOM_SEED, ParamValue::Integer(look.seed));
    changes.Add(PARAM_COLOR_SPLIT, ParamValue::Number(look.color_split));
}

}   // namespace

ParamChanges ChangesAfterEdit(int index, const ParamValues& values, double layer_scale)
{
    ParamChanges changes;
    if (index > PARAM_COLOR_SPLIT) {
        return changes;
    }
    const std::int32_t preset = values[PARAM_PRESET].integer;
    if (IsPresetControlled(index)) {
        if (preset != PRESET_CUSTOM) {
            changes.Add(PARAM_PRESET, ParamValue::Integer(PRESET_CUSTOM));
        }
    } else if (index == PARAM_PRESET && preset >= PRESET_FIRST_LOOK && preset < PRESET_FIRST_LOOK + PRESET_LOOK_COUNT) {
        ApplyLook(values, layer_scale, PRESET_TABLE[preset - PRESET_FIRST_LOOK], changes);
    }
    return changes;
}

bool LoopDurationGreyed(const ParamValues& values)
{
    return values[PARAM_LOOP].integer == 0;
}
