/* Effect suites of the host: parameter UI updates, the host application's theme colours, and the
 * drawing reference of a custom-UI context. */
#ifndef AE_EFFECT_SUITES_H
#define AE_EFFECT_SUITES_H

#include "AE_Effect.h"
#include "AE_EffectUI.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion3 3

/* The state of a set of inputs, compared by PF_AreStatesIdentical. */
typedef struct {
    A_long reservedAL[4];
} PF_State;

typedef A_long PF_TimeDir;
typedef A_long PF_KeyIndex;

/* Times are in time_scale units. This effect calls PF_UpdateParamUI only. */
typedef struct PF_ParamUtilsSuite3 {
    /* Changes how a control is shown (ui_flags, name); the value is not touched. */
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, const PF_ParamDef *defP);
    PF_Err (*PF_GetCurrentState)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, const A_Time *startPT0,
                                 const A_Time *durationPT0, PF_State *stateP);
    PF_Err (*PF_AreStatesIdentical)(PF_ProgPtr effect_ref, const PF_State *state1P, const PF_State *state2P,
                                    A_Boolean *samePB);
    PF_Err (*PF_IsIdenticalCheckout)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, A_long what_time1,
                                     A_long time_step1, A_u_long time_scale1, A_long what_time2,
                                     A_long time_step2, A_u_long time_scale2, PF_Boolean *identicalPB);
    PF_Err (*PF_FindKeyframeTime)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, A_long what_time,
                                  A_u_long time_scale, PF_TimeDir time_dir, PF_Boolean *foundPB,
                                  PF_KeyIndex *key_indexP0, A_long *key_timeP0, A_u_long *key_timescaleP0);
    PF_Err (*PF_GetKeyframeCount)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, PF_KeyIndex *key_countP);
    PF_Err (*PF_CheckoutKeyframe)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, PF_KeyIndex key_index,
                                  A_long *key_timeP0, A_u_long *key_timescaleP0, PF_ParamDef *paramP0);
    PF_Err (*PF_CheckinKeyframe)(PF_ProgPtr effect_ref, PF_ParamDef *paramP);
    PF_Err (*PF_KeyIndexToTime)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, PF_KeyIndex key_indexP,
                                A_long *key_timeP, A_u_long *key_timescaleP);
} PF_ParamUtilsSuite3;

#define kPFAppSuite "PF AE App Suite"
#define kPFAppSuiteVersion6 1

enum { PF_App_Color_TEXT = 2 };
typedef A_short PF_App_ColorType;

typedef struct PF_App_Color {
    A_u_short red, green, blue;      /* 0 to 65535 */
} PF_App_Color;

/* The table's leading functions, up to the last this effect calls: the host owns the table and hands
 * out a pointer to it, so the functions after these are never read here. */
typedef struct PFAppSuite6 {
    PF_Err (*PF_AppGetBgColor)(PF_App_Color *bg_colorP);
    PF_Err (*PF_AppGetColor)(PF_App_ColorType color_type, PF_App_Color *app_colorP);
} PFAppSuite6;

#define kPFEffectCustomUISuite "PF Effect Custom UI Suite"
#define kPFEffectCustomUISuiteVersion1 1

typedef struct PF_EffectCustomUISuite1 {
    PF_Err (*PF_GetDrawingReference)(const PF_ContextH effect_contextH, DRAWBOT_DrawRef *referenceP0);
} PF_EffectCustomUISuite1;

#ifdef __cplusplus
}
#endif

#endif
