// The plug-in's two exports, under their plain names; everything else in the module is hidden.
#pragma once

#include "AE_Effect.h"
#include "AE_PluginData.h"
#include "SPBasic.h"

#if defined(_WIN32)
#define QF_EXPORT extern "C" __declspec(dllexport)
#else
#define QF_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Registers the effect: calls the host's callback once with the identity and returns its result;
// PF_Err_INVALID_CALLBACK without a callback.
QF_EXPORT PF_Err PluginDataEntryFunction2(PF_PluginDataPtr data, PF_PluginDataCB2 callback, SPBasicSuite* basic,
                                          const char* host_name, const char* host_version);

// Every command of the host. No exception leaves it: out of memory becomes PF_Err_OUT_OF_MEMORY, any
// other failure PF_Err_INTERNAL_STRUCT_DAMAGED.
QF_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                            PF_LayerDef* output, void* extra);
