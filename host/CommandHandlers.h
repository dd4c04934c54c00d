// Every command handler EffectMain dispatches to, one family per file. Each takes the host's records as
// the command brings them and returns a PF_Err; exceptions are left to EffectMain's catch-all.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectGPUSuites.h"
#include "AE_EffectUI.h"

// SetupCommands.cpp: capability flags, parameter set-up and custom-UI registration, the About text.
PF_Err GlobalSetup(const PF_InData* in_data, PF_OutData* out_data);
PF_Err ParamsSetup(const PF_InData* in_data, PF_OutData* out_data);
PF_Err About(PF_OutData* out_data);

// DynamicFlags.cpp: whether the output changes with time while no parameter changes.
PF_Err QueryDynamicFlags(const PF_InData* in_data, PF_OutData* out_data);

// ParamCommands.cpp: a supervised control changed (choosing a look writes its thirteen controls; touching
// one of them turns the Preset menu to "Custom"), and the greying of Loop Duration. Both always return
// PF_Err_NONE; changes go into the params entries with PF_ChangeFlag_CHANGED_VALUE.
PF_Err UserChangedParam(const PF_InData* in_data, PF_ParamDef* params[], const PF_UserChangedParamExtra* extra);
PF_Err UpdateParamsUI(const PF_InData* in_data, PF_ParamDef* params[]);

// HeaderEvent.cpp: PF_Cmd_EVENT for the header control: draws it, handles clicks on its links and sets the
// pointer over them. Always PF_Err_NONE; an out-of-memory exception passes to the caller.
PF_Err HeaderEvent(const PF_InData* in_data, PF_OutData* out_data, PF_EventExtra* extra);

// SmartRender.cpp: the smart pre-render and the CPU smart render.
PF_Err SmartPreRender(const PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);
PF_Err SmartRenderCPU(const PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);

// LegacyRender.cpp: PF_Cmd_RENDER, for hosts without smart rendering.
PF_Err LegacyRender(const PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

// GpuCommands.cpp: PF_Cmd_GPU_DEVICE_SETUP hands the host a record for an OpenCL or CUDA device and sets
// PF_OutFlag2_SUPPORTS_GPU_RENDER_F32 (a failed set-up is logged and is not an error for the host);
// PF_Cmd_GPU_DEVICE_SETDOWN deletes the record the host hands back; PF_Cmd_SMART_RENDER_GPU renders the
// pre-rendered frame into the host's GPU output world, on the GPU or, when that fails, on the CPU.
PF_Err GpuDeviceSetup(const PF_InData* in_data, PF_OutData* out_data, PF_GPUDeviceSetupExtra* extra);
PF_Err GpuDeviceSetdown(PF_GPUDeviceSetdownExtra* extra);
PF_Err SmartRenderGPU(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);
