// Pins the host record layouts, suite tables and values the plug-in relies on. Compiled against our
// stand-in or, with AE_SDK_DIR, against the vendor's headers: both must give the same answers.
#include "AE_Effect.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectGPUSuites.h"
#include "AE_EffectSuites.h"
#include "AE_EffectUI.h"
#include "AE_PluginData.h"
#include "adobesdk/DrawbotSuite.h"
#include "SPBasic.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

#define QF_PIN(type, member, off) static_assert(offsetof(type, member) == (off), #type "." #member)

// Scalars.
static_assert(sizeof(A_long) == 4 && sizeof(A_u_long) == 4 && std::is_signed_v<A_long>);
static_assert(sizeof(A_short) == 2 && sizeof(A_Boolean) == 1 && sizeof(PF_Boolean) == 1);
static_assert(sizeof(PF_Fixed) == 4 && sizeof(PF_Handle) == sizeof(void *));
static_assert(sizeof(PF_RenderOutputFlags) == 2 && sizeof(PF_PixelFormat) == 4);

// PF_InData.
static_assert(sizeof(PF_InData) == 408);
static_assert(sizeof(PF_InteractCallbacks) == 176);
QF_PIN(PF_InteractCallbacks, checkout_param, 0);
QF_PIN(PF_InteractCallbacks, checkin_param, 8);
QF_PIN(PF_InteractCallbacks, add_param, 16);
QF_PIN(PF_InteractCallbacks, abort, 24);
QF_PIN(PF_InteractCallbacks, progress, 32);
QF_PIN(PF_InteractCallbacks, register_ui, 40);
QF_PIN(PF_InData, inter, 0);
QF_PIN(PF_InData, effect_ref, 184);
QF_PIN(PF_InData, appl_id, 204);
QF_PIN(PF_InData, current_time, 224);
QF_PIN(PF_InData, time_step, 228);
QF_PIN(PF_InData, total_time, 232);
QF_PIN(PF_InData, time_scale, 240);
QF_PIN(PF_InData, width, 252);
QF_PIN(PF_InData, height, 256);
QF_PIN(PF_InData, output_origin_x, 276);
QF_PIN(PF_InData, output_origin_y, 280);
QF_PIN(PF_InData, downsample_x, 284);
QF_PIN(PF_InData, downsample_y, 292);
QF_PIN(PF_InData, src_snd, 352);
QF_PIN(PF_InData, pica_basicP, 384);
static_assert(sizeof(PF_RationalScale) == 8 && std::is_unsigned_v<decltype(PF_RationalScale::den)>);
static_assert(std::is_unsigned_v<decltype(PF_InData::time_scale)>);

// PF_OutData.
static_assert(sizeof(PF_OutData) == 408);
QF_PIN(PF_OutData, my_version, 0);
QF_PIN(PF_OutData, num_params, 48);
QF_PIN(PF_OutData, out_flags, 96);
QF_PIN(PF_OutData, return_msg, 100);
static_assert(sizeof(PF_OutData::return_msg) == 256);
QF_PIN(PF_OutData, out_flags2, 400);

// Parameter definitions.
static_assert(sizeof(PF_ParamDef) == 176);
QF_PIN(PF_ParamDef, uu, 0);
QF_PIN(PF_ParamDef, ui_flags, 4);
QF_PIN(PF_ParamDef, ui_width, 8);
QF_PIN(PF_ParamDef, ui_height, 10);
QF_PIN(PF_ParamDef, param_type, 12);
QF_PIN(PF_ParamDef, name, 16);
static_assert(sizeof(PF_ParamDef::name) == 32);
QF_PIN(PF_ParamDef, flags, 48);
QF_PIN(PF_ParamDef, unused, 52);
QF_PIN(PF_ParamDef, u, 56);
static_assert(sizeof(PF_ParamDef::u) == 120);

static_assert(sizeof(PF_FloatSliderDef) == 88);
QF_PIN(PF_FloatSliderDef, value, 0);
QF_PIN(PF_FloatSliderDef, phase, 8);
QF_PIN(PF_FloatSliderDef, value_desc, 16);
QF_PIN(PF_FloatSliderDef, valid_min, 48);
QF_PIN(PF_FloatSliderDef, valid_max, 52);
QF_PIN(PF_FloatSliderDef, slider_min, 56);
QF_PIN(PF_FloatSliderDef, slider_max, 60);
QF_PIN(PF_FloatSliderDef, dephault, 64);
QF_PIN(PF_FloatSliderDef, precision, 68);
QF_PIN(PF_FloatSliderDef, display_flags, 70);
QF_PIN(PF_FloatSliderDef, fs_flags, 72);
QF_PIN(PF_FloatSliderDef, curve_tolerance, 76);
QF_PIN(PF_FloatSliderDef, useExponent, 80);
QF_PIN(PF_FloatSliderDef, exponent, 84);

static_assert(sizeof(PF_SliderDef) == 88);
QF_PIN(PF_SliderDef, value, 0);
QF_PIN(PF_SliderDef, value_str, 4);
QF_PIN(PF_SliderDef, value_desc, 36);
QF_PIN(PF_SliderDef, valid_min, 68);
QF_PIN(PF_SliderDef, valid_max, 72);
QF_PIN(PF_SliderDef, slider_min, 76);
QF_PIN(PF_SliderDef, slider_max, 80);
QF_PIN(PF_SliderDef, dephault, 84);

static_assert(sizeof(PF_AngleDef) == 16);
QF_PIN(PF_AngleDef, value, 0);
QF_PIN(PF_AngleDef, dephault, 4);
QF_PIN(PF_AngleDef, valid_min, 8);
QF_PIN(PF_AngleDef, valid_max, 12);

static_assert(sizeof(PF_PopupDef) == 16);
QF_PIN(PF_PopupDef, value, 0);
QF_PIN(PF_PopupDef, num_choices, 4);
QF_PIN(PF_PopupDef, dephault, 6);
QF_PIN(PF_PopupDef, u.namesptr, 8);

static_assert(sizeof(PF_CheckBoxDef) == 16);
QF_PIN(PF_CheckBoxDef, value, 0);
QF_PIN(PF_CheckBoxDef, dephault, 4);
QF_PIN(PF_CheckBoxDef, u.nameptr, 8);

// Worlds.
static_assert(sizeof(PF_LayerDef) == 120);
static_assert(std::is_same_v<PF_EffectWorld, PF_LayerDef>);
QF_PIN(PF_LayerDef, world_flags, 16);
QF_PIN(PF_LayerDef, data, 24);
QF_PIN(PF_LayerDef, rowbytes, 32);
QF_PIN(PF_LayerDef, width, 36);
QF_PIN(PF_LayerDef, height, 40);
QF_PIN(PF_LayerDef, extent_hint, 44);
QF_PIN(PF_LayerDef, platform_ref, 64);
QF_PIN(PF_LayerDef, pix_aspect_ratio, 88);
QF_PIN(PF_LayerDef, origin_x, 104);
QF_PIN(PF_LayerDef, origin_y, 108);
QF_PIN(PF_LayerDef, dephault, 116);

// Smart pre-render and render.
static_assert(sizeof(PF_RenderRequest) == 44);
QF_PIN(PF_RenderRequest, rect, 0);
QF_PIN(PF_RenderRequest, field, 16);
QF_PIN(PF_RenderRequest, channel_mask, 20);
QF_PIN(PF_RenderRequest, preserve_rgb_of_zero_alpha, 24);
static_assert(sizeof(PF_PreRenderInput) == 64);
QF_PIN(PF_PreRenderInput, output_request, 0);
QF_PIN(PF_PreRenderInput, bitdepth, 44);
QF_PIN(PF_PreRenderInput, gpu_data, 48);
QF_PIN(PF_PreRenderInput, what_gpu, 56);
QF_PIN(PF_PreRenderInput, device_index, 60);
static_assert(sizeof(PF_PreRenderOutput) == 56);
QF_PIN(PF_PreRenderOutput, result_rect, 0);
QF_PIN(PF_PreRenderOutput, max_result_rect, 16);
QF_PIN(PF_PreRenderOutput, solid, 32);
QF_PIN(PF_PreRenderOutput, flags, 34);
QF_PIN(PF_PreRenderOutput, pre_render_data, 40);
QF_PIN(PF_PreRenderOutput, delete_pre_render_data_func, 48);
QF_PIN(PF_PreRenderCallbacks, checkout_layer, 0);
QF_PIN(PF_PreRenderCallbacks, GuidMixInPtr, 8);
QF_PIN(PF_PreRenderExtra, input, 0);
QF_PIN(PF_PreRenderExtra, output, 8);
QF_PIN(PF_PreRenderExtra, cb, 16);
static_assert(sizeof(PF_CheckoutResult) == 76);
QF_PIN(PF_CheckoutResult, result_rect, 0);
QF_PIN(PF_CheckoutResult, max_result_rect, 16);
QF_PIN(PF_CheckoutResult, par, 32);
QF_PIN(PF_CheckoutResult, solid, 40);
QF_PIN(PF_CheckoutResult, ref_width, 44);
QF_PIN(PF_CheckoutResult, ref_height, 48);
static_assert(sizeof(PF_SmartRenderInput) == 72);
QF_PIN(PF_SmartRenderInput, output_request, 0);
QF_PIN(PF_SmartRenderInput, bitdepth, 44);
QF_PIN(PF_SmartRenderInput, pre_render_data, 48);
QF_PIN(PF_SmartRenderInput, gpu_data, 56);
QF_PIN(PF_SmartRenderInput, what_gpu, 64);
QF_PIN(PF_SmartRenderInput, device_index, 68);
QF_PIN(PF_SmartRenderCallbacks, checkout_layer_pixels, 0);
QF_PIN(PF_SmartRenderCallbacks, checkin_layer_pixels, 8);
QF_PIN(PF_SmartRenderCallbacks, checkout_output, 16);
QF_PIN(PF_SmartRenderExtra, input, 0);
QF_PIN(PF_SmartRenderExtra, cb, 8);

// GPU.
QF_PIN(PF_GPUDeviceSetupExtra, input, 0);
QF_PIN(PF_GPUDeviceSetupExtra, output, 8);
QF_PIN(PF_GPUDeviceSetupInput, what_gpu, 0);
QF_PIN(PF_GPUDeviceSetupInput, device_index, 4);
QF_PIN(PF_GPUDeviceSetupOutput, gpu_data, 0);
QF_PIN(PF_GPUDeviceSetdownExtra, input, 0);
QF_PIN(PF_GPUDeviceSetdownInput, gpu_data, 0);
QF_PIN(PF_GPUDeviceSetdownInput, what_gpu, 8);
QF_PIN(PF_GPUDeviceSetdownInput, device_index, 12);
static_assert(sizeof(PF_GPUDeviceInfo) == 56);
QF_PIN(PF_GPUDeviceInfo, device_framework, 0);
QF_PIN(PF_GPUDeviceInfo, compatibleB, 4);
QF_PIN(PF_GPUDeviceInfo, platformPV, 8);
QF_PIN(PF_GPUDeviceInfo, devicePV, 16);
QF_PIN(PF_GPUDeviceInfo, contextPV, 24);
QF_PIN(PF_GPUDeviceInfo, command_queuePV, 32);
static_assert(sizeof(PF_GPUDeviceSuite1) == 15 * sizeof(void *));
QF_PIN(PF_GPUDeviceSuite1, GetDeviceInfo, 8);
QF_PIN(PF_GPUDeviceSuite1, GetGPUWorldData, 96);

// UI events.
static_assert(sizeof(PF_EventExtra) == 208);
QF_PIN(PF_EventExtra, contextH, 0);
QF_PIN(PF_EventExtra, e_type, 8);
QF_PIN(PF_EventExtra, u, 16);
QF_PIN(PF_EventExtra, effect_win, 80);
QF_PIN(PF_EventExtra, effect_win.index, 80);
QF_PIN(PF_EventExtra, effect_win.current_frame, 88);
QF_PIN(PF_EventExtra, cbs, 128);
QF_PIN(PF_EventExtra, evt_in_flags, 200);
QF_PIN(PF_EventExtra, evt_out_flags, 204);
QF_PIN(PF_DoClickEventInfo, when, 0);
QF_PIN(PF_DoClickEventInfo, screen_point, 4);
QF_PIN(PF_DoClickEventInfo, num_clicks, 12);
QF_PIN(PF_DoClickEventInfo, modifiers, 16);
QF_PIN(PF_AdjustCursorEventInfo, screen_point, 0);
QF_PIN(PF_AdjustCursorEventInfo, modifiers, 8);
QF_PIN(PF_AdjustCursorEventInfo, set_cursor, 12);
static_assert(sizeof(PF_Context) == 72);
QF_PIN(PF_Context, magic, 0);
QF_PIN(PF_Context, w_type, 4);
static_assert(std::is_same_v<PF_ContextH, PF_Context **>);
static_assert(sizeof(PF_CustomUIInfo) == 44);
QF_PIN(PF_CustomUIInfo, events, 4);
QF_PIN(PF_Point, h, 0);
QF_PIN(PF_Point, x, 0);
QF_PIN(PF_Point, v, 4);
QF_PIN(PF_Point, y, 4);

// Suite tables, function by function in host order.
QF_PIN(SPBasicSuite, AcquireSuite, 0);
QF_PIN(SPBasicSuite, ReleaseSuite, 8);
static_assert(sizeof(SPBasicSuite) == 7 * sizeof(void *));
QF_PIN(PF_WorldSuite2, PF_GetPixelFormat, 16);
QF_PIN(PF_ParamUtilsSuite3, PF_UpdateParamUI, 0);
static_assert(sizeof(PF_ParamUtilsSuite3) >= 9 * sizeof(void *));
QF_PIN(PFAppSuite6, PF_AppGetBgColor, 0);
QF_PIN(PFAppSuite6, PF_AppGetColor, 8);
static_assert(sizeof(PF_App_Color) == 6);
QF_PIN(PF_EffectCustomUISuite1, PF_GetDrawingReference, 0);
QF_PIN(DRAWBOT_DrawbotSuite1, GetSupplier, 0);
QF_PIN(DRAWBOT_DrawbotSuite1, GetSurface, 8);
QF_PIN(DRAWBOT_SupplierSuite1, NewImageFromBuffer, 40);
QF_PIN(DRAWBOT_SupplierSuite1, SupportsPixelLayoutBGRA, 56);
QF_PIN(DRAWBOT_SupplierSuite1, PrefersPixelLayoutBGRA, 64);
QF_PIN(DRAWBOT_SupplierSuite1, SupportsPixelLayoutARGB, 72);
QF_PIN(DRAWBOT_SupplierSuite1, ReleaseObject, 96);
static_assert(sizeof(DRAWBOT_SupplierSuite1) == 13 * sizeof(void *));
QF_PIN(DRAWBOT_SurfaceSuite2, PushStateStack, 0);
QF_PIN(DRAWBOT_SurfaceSuite2, PopStateStack, 8);
QF_PIN(DRAWBOT_SurfaceSuite2, Transform, 64);
QF_PIN(DRAWBOT_SurfaceSuite2, DrawImage, 80);
QF_PIN(DRAWBOT_SurfaceSuite2, Flush, 120);
QF_PIN(DRAWBOT_SurfaceSuite2, GetTransformToScreenScale, 128);
static_assert(std::is_same_v<DRAWBOT_SurfaceSuite1, DRAWBOT_SurfaceSuite2>);
static_assert(sizeof(DRAWBOT_MatrixF32) == 36 && sizeof(DRAWBOT_PointF32) == 8);
QF_PIN(PF_UserChangedParamExtra, param_index, 0);

// Values.
static_assert(PF_Cmd_ABOUT == 0 && PF_Cmd_GLOBAL_SETUP == 1 && PF_Cmd_PARAMS_SETUP == 4);
static_assert(PF_Cmd_SEQUENCE_SETUP == 5 && PF_Cmd_RENDER == 11 && PF_Cmd_USER_CHANGED_PARAM == 13);
static_assert(PF_Cmd_UPDATE_PARAMS_UI == 14 && PF_Cmd_EVENT == 15 && PF_Cmd_QUERY_DYNAMIC_FLAGS == 18);
static_assert(PF_Cmd_SMART_PRE_RENDER == 23 && PF_Cmd_SMART_RENDER == 24);
static_assert(PF_Cmd_SMART_RENDER_GPU == 31 && PF_Cmd_GPU_DEVICE_SETUP == 32);
static_assert(PF_Cmd_GPU_DEVICE_SETDOWN == 33 && PF_Cmd_NUM_CMDS == 34);
static_assert(PF_Err_NONE == 0 && PF_Err_OUT_OF_MEMORY == 4 && PF_Err_INTERNAL_STRUCT_DAMAGED == 512);
static_assert(PF_Err_UNRECOGNIZED_PARAM_TYPE == 514 && PF_Err_INVALID_CALLBACK == 515);
static_assert(PF_Interrupt_CANCEL == 517);
static_assert(PF_Param_LAYER == 0 && PF_Param_SLIDER == 1 && PF_Param_ANGLE == 3);
static_assert(PF_Param_CHECKBOX == 4 && PF_Param_POPUP == 7 && PF_Param_NO_DATA == 9);
static_assert(PF_Param_FLOAT_SLIDER == 10 && PF_Param_GROUP_START == 13 && PF_Param_GROUP_END == 14);
static_assert(PF_PUI_CONTROL == 2 && PF_PUI_DISABLED == 32);
static_assert(PF_ParamFlag_CANNOT_TIME_VARY == 2 && PF_ParamFlag_START_COLLAPSED == 32);
static_assert(PF_ParamFlag_SUPERVISE == 64 && PF_ValueDisplayFlag_PERCENT == 1);
static_assert(PF_ChangeFlag_CHANGED_VALUE == 1 && PF_LayerDefault_NONE == 0);
static_assert(PF_OutFlag_NON_PARAM_VARY == 0x4 && PF_OutFlag_CUSTOM_UI == 0x8000);
static_assert(PF_OutFlag_DEEP_COLOR_AWARE == 0x02000000 && PF_OutFlag_SEND_UPDATE_PARAMS_UI == 0x04000000);
static_assert(PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS == 0x1);
static_assert(PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG == 0x8);
static_assert(PF_OutFlag2_SUPPORTS_SMART_RENDER == 0x400 && PF_OutFlag2_FLOAT_COLOR_AWARE == 0x1000);
static_assert(PF_OutFlag2_SUPPORTS_GPU_RENDER_F32 == 0x02000000);
static_assert(PF_OutFlag2_SUPPORTS_THREADED_RENDERING == 0x08000000);
static_assert(PF_RenderOutputFlag_GPU_RENDER_POSSIBLE == 2 && PF_WorldFlag_DEEP == 1);
static_assert(PF_GPU_Framework_NONE == 0 && PF_GPU_Framework_OPENCL == 1 && PF_GPU_Framework_METAL == 2);
static_assert(PF_GPU_Framework_CUDA == 3 && PF_GPU_Framework_DIRECTX == 4);
static_assert(PF_Window_EFFECT == 2 && PF_Event_DO_CLICK == 2 && PF_Event_DRAW == 4);
static_assert(PF_Event_ADJUST_CURSOR == 9 && PF_Cursor_FINGER_POINTER == 23 && PF_EO_HANDLED_EVENT == 1);
static_assert(PF_CustomEFlag_EFFECT == 4 && PF_App_Color_TEXT == 2 && kPFAppSuiteVersion6 == 1);
static_assert(kDRAWBOT_PixelLayout_32ARGB_Premul == 5 && kDRAWBOT_PixelLayout_32BGRA_Premul == 7);
static_assert(PF_Stage_RELEASE == 3);
static_assert(PF_VERSION(1, 0, 0, PF_Stage_RELEASE, 1) == 0x00080601);

namespace {

// The four-character codes as the bytes the host stores.
bool BytesAre(A_long code, const char (&text)[5]) {
    char bytes[4];
    std::memcpy(bytes, &code, 4);
    return std::memcmp(bytes, text, 4) == 0;
}

TEST(SdkValues, PixelFormatCodesAreTheirCharactersInMemoryOrder) {
    EXPECT_TRUE(BytesAre(PF_PixelFormat_ARGB32, "argb"));
    EXPECT_TRUE(BytesAre(PF_PixelFormat_ARGB64, "ae16"));
    EXPECT_TRUE(BytesAre(PF_PixelFormat_ARGB128, "ae32"));
    EXPECT_TRUE(BytesAre(PF_PixelFormat_GPU_BGRA128, "@CDA"));
    EXPECT_TRUE(BytesAre(PF_PixelFormat_INVALID, "badf"));
}

TEST(SdkValues, VersionWordSpreadsTheMajorVersionOverTwoFields) {
    // Major 9 = 0b1001: low three bits at 19-21, the rest from bit 26.
    EXPECT_EQ(PF_VERSION(9, 2, 3, 1, 5), (1u << 26) | (1u << 19) | (2u << 15) | (3u << 11) | (1u << 9) | 5u);
}

TEST(SdkValues, SuiteNamesAndVersions) {
    EXPECT_STREQ(kSPBasicSuite, "SP Basic Suite");
    EXPECT_STREQ(kPFWorldSuite, "PF World Suite");
    EXPECT_EQ(kPFWorldSuiteVersion2, 2);
    EXPECT_STREQ(kPFGPUDeviceSuite, "PF GPU Device Suite");
    EXPECT_EQ(kPFGPUDeviceSuiteVersion1, 1);
    EXPECT_STREQ(kPFParamUtilsSuite, "PF Param Utils Suite");
    EXPECT_EQ(kPFParamUtilsSuiteVersion3, 3);
    EXPECT_STREQ(kPFAppSuite, "PF AE App Suite");
    EXPECT_STREQ(kPFEffectCustomUISuite, "PF Effect Custom UI Suite");
    EXPECT_STREQ(kDRAWBOT_DrawSuite, "DRAWBOT Draw Suite");
    EXPECT_STREQ(kDRAWBOT_SupplierSuite, "DRAWBOT Supplier Suite");
    EXPECT_STREQ(kDRAWBOT_SurfaceSuite, "DRAWBOT Surface Suite");
}

}  // namespace
