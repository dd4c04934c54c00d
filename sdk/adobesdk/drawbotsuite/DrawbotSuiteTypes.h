/* Types of the host's drawing suites: opaque object handles of distinct types, geometry in floats, and
 * the codes of pixel layouts and drawing policies. */
#ifndef DRAWBOT_SUITE_TYPES_H
#define DRAWBOT_SUITE_TYPES_H

typedef struct _DRAWBOT_DrawRef *DRAWBOT_DrawRef;
typedef struct _DRAWBOT_SupplierRef *DRAWBOT_SupplierRef;
typedef struct _DRAWBOT_SurfaceRef *DRAWBOT_SurfaceRef;
typedef struct _DRAWBOT_PenRef *DRAWBOT_PenRef;
typedef struct _DRAWBOT_PathRef *DRAWBOT_PathRef;
typedef struct _DRAWBOT_BrushRef *DRAWBOT_BrushRef;
typedef struct _DRAWBOT_ImageRef *DRAWBOT_ImageRef;
typedef struct _DRAWBOT_FontRef *DRAWBOT_FontRef;
typedef struct _DRAWBOT_ObjectRef *DRAWBOT_ObjectRef;

typedef struct {
    float red, green, blue, alpha;   /* 0 to 1 */
} DRAWBOT_ColorRGBA;

typedef struct {
    float x, y;
} DRAWBOT_PointF32;

typedef struct {
    float left, top, width, height;
} DRAWBOT_RectF32;

typedef struct {
    int left, top, width, height;
} DRAWBOT_Rect32;

typedef struct {
    float mat[3][3];                 /* row-major; row 3 holds the translation */
} DRAWBOT_MatrixF32;

typedef int DRAWBOT_FillType;

enum {
    kDRAWBOT_PixelLayout_32ARGB_Premul = 5,
    kDRAWBOT_PixelLayout_32BGRA_Premul = 7
};
typedef int DRAWBOT_PixelLayout;

typedef int DRAWBOT_TextAlignment;
typedef int DRAWBOT_TextTruncation;
typedef int DRAWBOT_InterpolationPolicy;
typedef int DRAWBOT_AntiAliasPolicy;

#endif
