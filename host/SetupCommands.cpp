// Global set-up, parameter set-up and About.
#include "CommandHandlers.h"

#include "AE_EffectUI.h"
#include "EffectAbout.h"
#include "EffectIdentity.h"
#include "ParamDefs.h"

namespace {

constexpr A_long APPL_ID_PREMIERE = 0x50724D72;   // 'PrMr'

static_assert(EFFECT_VERSION_WORD == PF_VERSION(EFFECT_VERSION_MAJOR, EFFECT_VERSION_MINOR, EFFECT_VERSION_FIX,
                                                EFFECT_VERSION_STAGE, EFFECT_VERSION_BUILD));
static_assert(EFFECT_VERSION_STAGE == PF_Stage_RELEASE);
static_assert(EFFECT_OUT_FLAGS == (PF_OutFlag_NON_PARAM_VARY | PF_OutFlag_CUSTOM_UI | PF_OutFlag_DEEP_COLOR_AWARE |
                                   PF_OutFlag_SEND_UPDATE_PARAMS_UI));
static_assert(EFFECT_OUT_FLAGS2_PREMIERE ==
              (PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS | PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
               PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE |
               PF_OutFlag2_SUPPORTS_THREADED_RENDERING));
// Premiere hosts the effect without its GPU path.
static_assert(EFFECT_OUT_FLAGS2 == (EFFECT_OUT_FLAGS2_PREMIERE | PF_OutFlag2_SUPPORTS_GPU_RENDER_F32));

}   // namespace

PF_Err GlobalSetup(const PF_InData* in_data, PF_OutData* out_data)
{
    if (!out_data) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    const bool premiere = in_data && in_data->appl_id == APPL_ID_PREMIERE;
    out_data->my_version = EFFECT_VERSION_WORD;
    out_data->out_flags = static_cast<PF_OutFlags>(EFFECT_OUT_FLAGS);
    out_data->out_flags2 = static_cast<PF_OutFlags2>(premiere ? EFFECT_OUT_FLAGS2_PREMIERE : EFFECT_OUT_FLAGS2);
    return PF_Err_NONE;
}

PF_Err ParamsSetup(const PF_InData* in_data, PF_OutData* out_data)
{
    if (!in_data || !out_data) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    if (const PF_Err err = AddParams(in_data)) {
        return err;
    }
    out_data->num_params = PARAM_COUNT;

    // The header draws and takes clicks in the Effect Controls panel only.
    PF_CustomUIInfo custom_ui{};
    custom_ui.events = PF_CustomEFlag_EFFECT;
    if (in_data->inter.register_ui) {
        // Without a custom UI the header stays blank; the effect itself is unaffected.
        (void)in_data->inter.register_ui(in_data->effect_ref, &custom_ui);
    }
    return PF_Err_NONE;
}

PF_Err About(PF_OutData* out_data)
{
    if (out_data) {
        WriteAboutText(out_data->return_msg, sizeof out_data->return_msg);
    }
    return PF_Err_NONE;
}
