/* Callback suites of the host: the world suite (pixel formats of checked-out worlds). */
#ifndef AE_EFFECT_CB_SUITES_H
#define AE_EFFECT_CB_SUITES_H

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion2 2

typedef struct PF_WorldSuite2 {
    PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long width, A_long height, PF_Boolean clear_pix,
                          PF_PixelFormat pixel_format, PF_EffectWorld *world);
    PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld *world);
    PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld *world, PF_PixelFormat *pixel_format);
} PF_WorldSuite2;

#ifdef __cplusplus
}
#endif

#endif
