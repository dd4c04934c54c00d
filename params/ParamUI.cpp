// Presets and the parameter UI state.
#include "ParamUI.h"

#include "AE_EffectSuites.h"
#include "LayerScale.h"
#include "ParamTable.h"
#include "SuiteScope.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double MIN_PRESET_WAVE_SIZE = 2.0;

void SetFloat(PF_ParamDef* def, double value)
{
    if (def) {
        def->u.fs_d.value = value;
        def->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
    }
}

void SetInteger(PF_ParamDef* def, PF_ParamValue value)
{
    if (def) {
        if (def->param_type == PF_Param_POPUP) {
            def->u.pd.value = value;
        } else {
            def->u.sd.value = value;
        }
        def->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
    }
}

void SetAngle(PF_ParamDef* def, double degrees)
{
    if (def) {
        // 16.16 fixed point, halves away from zero.
        def->u.ad.value = static_cast<PF_Fixed>(std::lround(degrees * 65536.0));
        def->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
    }
}

void ApplyLook(const PF_InData* in_data, PF_ParamDef* params[], const PresetLook& look)
{
    // With Scale With Layer on the render scales the size itself; off, the look is fitted to this layer.
    const PF_ParamDef* scale_with_layer = params[PARAM_SCALE_WITH_LAYER];
    const bool scaled_at_render = scale_with_layer && scale_with_layer->u.bd.value != 0;
    const double scale = scaled_at_render ? 1.0 : LayerScaleFactor(in_data);

    SetFloat(params[PARAM_WAVE_SIZE], std::max(std::floor(scale * look.wave_size + 0.5), MIN_PRESET_WAVE_SIZE));
    SetFloat(params[PARAM_STRENGTH], look.strength);
    SetFloat(params[PARAM_FOLD], look.fold);
    SetFloat(params[PARAM_DRIP], look.drip);
    SetAngle(params[PARAM_DIRECTION], look.direction);
    SetInteger(params[PARAM_WAVES], look.waves);
    SetInteger(params[PARAM_WAVEFORM], look.waveform + 1);
    SetFloat(params[PARAM_SIZE_VARIATION], look.size_variation);
    SetFloat(params[PARAM_STRENGTH_VARIATION], look.strength_variation);
    SetFloat(params[PARAM_DIRECTION_SPREAD], look.direction_spread);
    SetInteger(params[PARAM_ITERATIONS], look.iterations);
    SetInteger(params[PARAM_RANDOM_SEED], look.seed);
    SetFloat(params[PARAM_COLOR_SPLIT], look.color_split);
}

}   // namespace

PF_Err UserChangedParam(const PF_InData* in_data, PF_ParamDef* params[], const PF_UserChangedParamExtra* extra)
{
    if (!extra || !params) {
        return PF_Err_NONE;
    }
    const int index = extra->param_index;
    PF_ParamDef* preset = params[PARAM_PRESET];
    if (!preset || index > PARAM_COLOR_SPLIT) {
        return PF_Err_NONE;
    }
    if (IsPresetControlled(index)) {
        if (preset->u.pd.value != PRESET_CUSTOM) {
            SetInteger(preset, PRESET_CUSTOM);
        }
        return PF_Err_NONE;
    }
    if (index == PARAM_PRESET) {
        const int choice = preset->u.pd.value;
        if (choice >= PRESET_FIRST_LOOK && choice < PRESET_FIRST_LOOK + PRESET_LOOK_COUNT) {
            ApplyLook(in_data, params, PRESET_TABLE[choice - PRESET_FIRST_LOOK]);
        }
    }
    return PF_Err_NONE;
}

PF_Err UpdateParamsUI(const PF_InData* in_data, PF_ParamDef* params[])
{
    if (!params || !in_data || !in_data->pica_basicP || !params[PARAM_LOOP] || !params[PARAM_LOOP_DURATION]) {
        return PF_Err_NONE;
    }
    const SuiteScope<PF_ParamUtilsSuite3> param_utils(in_data, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
    if (!param_utils || !param_utils->PF_UpdateParamUI) {
        return PF_Err_NONE;
    }
    PF_ParamDef loop_duration = *params[PARAM_LOOP_DURATION];
    if (params[PARAM_LOOP]->u.bd.value == 0) {
        loop_duration.ui_flags |= PF_PUI_DISABLED;
    } else {
        loop_duration.ui_flags &= ~PF_PUI_DISABLED;
    }
    // A refused update only leaves the control as it was shown.
    param_utils->PF_UpdateParamUI(in_data->effect_ref, PARAM_LOOP_DURATION, &loop_duration);
    return PF_Err_NONE;
}
