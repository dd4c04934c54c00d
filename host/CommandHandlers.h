// The command handlers that EffectMain dispatches to, one family per file.
#pragma once

#include "AE_Effect.h"

// SetupCommands.cpp: capability flags, parameter set-up and custom-UI registration, the About text.
PF_Err GlobalSetup(const PF_InData* in_data, PF_OutData* out_data);
PF_Err ParamsSetup(const PF_InData* in_data, PF_OutData* out_data);
PF_Err About(PF_OutData* out_data);

// DynamicFlags.cpp: whether the output changes with time while no parameter changes.
PF_Err QueryDynamicFlags(const PF_InData* in_data, PF_OutData* out_data);

// SmartRender.cpp: the smart pre-render and the CPU smart render.
PF_Err SmartPreRender(const PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);
PF_Err SmartRenderCPU(const PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);

// LegacyRender.cpp: PF_Cmd_RENDER, for hosts without smart rendering.
PF_Err LegacyRender(const PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);
