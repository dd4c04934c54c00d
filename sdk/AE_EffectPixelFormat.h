/* Pixel format codes the host reports for a world: four characters, first character in the lowest byte. */
#ifndef AE_EFFECT_PIXEL_FORMAT_H
#define AE_EFFECT_PIXEL_FORMAT_H

#include "A.h"

typedef A_long PF_PixelFormat;

enum {
    PF_PixelFormat_ARGB32 = 0x62677261,       /* "argb": 8 bits per channel */
    PF_PixelFormat_ARGB64 = 0x36316561,       /* "ae16": 16 bits per channel, full scale 32768 */
    PF_PixelFormat_ARGB128 = 0x32336561,      /* "ae32": 32-bit float */
    PF_PixelFormat_GPU_BGRA128 = 0x41444340,  /* "@CDA": float B, G, R, A in device memory */
    PF_PixelFormat_INVALID = 0x66646162,      /* "badf" */
    PF_PixelFormat_FORCE_LONG_INT = 0xFFFFFFFF  /* makes the codes unsigned in expressions, as the host's */
};

#endif
