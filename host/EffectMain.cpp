// The two exports: registration, and the command dispatch inside the one catch-all that turns failures
// into host error codes.
#include "Exports.h"

#include "CommandHandlers.h"
#include "EffectIdentity.h"
#include "ParamIndex.h"

#include <algorithm>
#include <array>
#include <new>

namespace {

const A_u_char* Text(const char* text)
{
    return reinterpret_cast<const A_u_char*>(text);
}

// The handlers index the parameter array up to PARAM_COUNT - 1. A host holds fewer parameters when its
// PF_Cmd_PARAMS_SETUP failed part-way, and says so in num_params: the entries it does not have are
// handed on as absent instead of being read past the end of its array.
PF_ParamDef** KnownParams(const PF_InData* in_data, PF_ParamDef* params[],
                          std::array<PF_ParamDef*, PARAM_COUNT>& bounded)
{
    if (!params || !in_data || in_data->num_params >= PARAM_COUNT) {
        return params;
    }
    std::copy_n(params, std::max<A_long>(in_data->num_params, 0), bounded.begin());
    return bounded.data();
}

// Commands without a handler (sequence and frame set-up among them: the effect keeps no data of its own)
// and numbers beyond the table return PF_Err_NONE and touch nothing.
PF_Err Dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* all_params[], PF_LayerDef* output,
                void* extra)
{
    std::array<PF_ParamDef*, PARAM_COUNT> bounded{};
    PF_ParamDef** params = KnownParams(in_data, all_params, bounded);
    switch (cmd) {
    case PF_Cmd_ABOUT:
        return About(out_data);
    case PF_Cmd_GLOBAL_SETUP:
        return GlobalSetup(in_data, out_data);
    case PF_Cmd_PARAMS_SETUP:
        return ParamsSetup(in_data, out_data);
    case PF_Cmd_RENDER:
        return LegacyRender(in_data, out_data, params, output);
    case PF_Cmd_USER_CHANGED_PARAM:
        return UserChangedParam(in_data, params, static_cast<const PF_UserChangedParamExtra*>(extra));
    case PF_Cmd_UPDATE_PARAMS_UI:
        return UpdateParamsUI(in_data, params);
    case PF_Cmd_EVENT:
        return HeaderEvent(in_data, out_data, static_cast<PF_EventExtra*>(extra));
    case PF_Cmd_QUERY_DYNAMIC_FLAGS:
        return QueryDynamicFlags(in_data, out_data);
    case PF_Cmd_SMART_PRE_RENDER:
        return SmartPreRender(in_data, out_data, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
        return SmartRenderCPU(in_data, out_data, static_cast<PF_SmartRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER_GPU:
        return SmartRenderGPU(in_data, out_data, static_cast<PF_SmartRenderExtra*>(extra));
    case PF_Cmd_GPU_DEVICE_SETUP:
        return GpuDeviceSetup(in_data, out_data, static_cast<PF_GPUDeviceSetupExtra*>(extra));
    case PF_Cmd_GPU_DEVICE_SETDOWN:
        return GpuDeviceSetdown(static_cast<PF_GPUDeviceSetdownExtra*>(extra));
    default:
        return PF_Err_NONE;
    }
}

}   // namespace

QF_EXPORT PF_Err PluginDataEntryFunction2(PF_PluginDataPtr data, PF_PluginDataCB2 callback, SPBasicSuite* basic,
                                          const char* host_name, const char* host_version)
{
    (void)basic;
    (void)host_name;
    (void)host_version;
    if (!callback) {
        return PF_Err_INVALID_CALLBACK;
    }
    try {
        return callback(data, Text(EFFECT_NAME), Text(EFFECT_MATCH_NAME), Text(EFFECT_CATEGORY),
                        Text(EFFECT_ENTRY_POINT), static_cast<A_long>(EFFECT_KIND), EFFECT_SPEC_VERSION_MAJOR,
                        EFFECT_SPEC_VERSION_MINOR, EFFECT_RESERVED_INFO, Text(SUPPORT_URL));
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}

QF_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                            PF_LayerDef* output, void* extra)
{
    // Handlers release what they hold by scope, so both rungs run after their clean-up.
    try {
        return Dispatch(cmd, in_data, out_data, params, output, extra);
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}
