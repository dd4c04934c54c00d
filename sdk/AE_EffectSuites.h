/* Effect suites of the host: parameter UI updates, the host application's theme colours, and the
 * drawing reference of a custom-UI context. */
#ifndef AE_EFFECT_SUITES_H
#define AE_EFFECT_SUITES_H

#include "AE_Effect.h"
#include "AE_EffectUI.h"
#include "DrawbotSuite.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion3 3

typedef struct PF_ParamUtilsSuite3 {
    /* Changes how a control is shown (ui_flags, name); the value is not touched. */
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, const PF_ParamDef *def);
    /* The keyframe and state functions that follow; this effect never calls them. */
    void *reserved[8];
} PF_ParamUtilsSuite3;

#define kPFAppSuite "PF AE App Suite"
#define kPFAppSuiteVersion6 1

typedef struct {
    A_u_short red, green, blue;      /* 0 to 65535 */
} PF_App_Color;

typedef A_short PF_App_ColorType;

enum { PF_App_Color_TEXT = 2 };

/* Only the table's first two functions are declared: the rest is the host's and never read here. */
typedef struct PFAppSuite6 {
    PF_Err (*PF_AppGetBgColor)(PF_App_Color *bg_color);
    PF_Err (*PF_AppGetColor)(PF_App_ColorType color_type, PF_App_Color *app_color);
} PFAppSuite6;

#define kPFEffectCustomUISuite "PF Effect Custom UI Suite"
#define kPFEffectCustomUISuiteVersion1 1

typedef struct PF_EffectCustomUISuite1 {
    PF_Err (*PF_GetDrawingReference)(const PF_ContextH effect_context, DRAWBOT_DrawRef *reference);
} PF_EffectCustomUISuite1;

#ifdef __cplusplus
}
#endif

#endif
