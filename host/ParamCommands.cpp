// The parameter UI commands: the Preset menu (PF_Cmd_USER_CHANGED_PARAM) and the greying of Loop
// Duration (PF_Cmd_UPDATE_PARAMS_UI), the rules of params/ParamRules.h applied to the host's records.
#include "CommandHandlers.h"

#include "AE_EffectSuites.h"
#include "HostValues.h"
#include "ParamRules.h"
#include "SuiteScope.h"

namespace {

// The values of the entries the host handed over; absent ones read as zeros.
ParamValues ValuesOf(PF_ParamDef* const params[])
{
    ParamValues values{};
    for (int index = 0; index < PARAM_COUNT; ++index) {
        if (params[index]) {
            values[index] = ValueOf(index, *params[index]);
        }
    }
    return values;
}

}   // namespace

PF_Err UserChangedParam(const PF_InData* in_data, PF_ParamDef* params[], const PF_UserChangedParamExtra* extra)
{
    if (!extra || !params || !params[PARAM_PRESET]) {
        return PF_Err_NONE;
    }
    // Entries the host did not hand over are not written.
    for (const ParamChange& change : ChangesAfterEdit(extra->param_index, ValuesOf(params), LayerScaleFactor(in_data))) {
        if (PF_ParamDef* def = params[change.index]) {
            StoreValue(change.index, change.value, *def);
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
    if (LoopDurationGreyed(ValuesOf(params))) {
        loop_duration.ui_flags |= PF_PUI_DISABLED;
    } else {
        loop_duration.ui_flags &= ~PF_PUI_DISABLED;
    }
    // A refused update only leaves the control as it was shown.
    param_utils->PF_UpdateParamUI(in_data->effect_ref, PARAM_LOOP_DURATION, &loop_duration);
    return PF_Err_NONE;
}
