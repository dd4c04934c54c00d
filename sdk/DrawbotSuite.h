/* The host's drawing suites for custom UI: a drawing reference yields a supplier (makes images) and a
 * surface (draws them). Objects are opaque host handles of distinct types. */
#ifndef DRAWBOT_SUITE_H
#define DRAWBOT_SUITE_H

#include "A.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _DRAWBOT_DrawRefOpaque *DRAWBOT_DrawRef;
typedef struct _DRAWBOT_SupplierRefOpaque *DRAWBOT_SupplierRef;
typedef struct _DRAWBOT_SurfaceRefOpaque *DRAWBOT_SurfaceRef;
typedef struct _DRAWBOT_ImageRefOpaque *DRAWBOT_ImageRef;
typedef struct _DRAWBOT_ObjectRefOpaque *DRAWBOT_ObjectRef;

typedef A_Boolean DRAWBOT_Boolean;
typedef A_long DRAWBOT_PixelLayout;

enum {
    kDRAWBOT_PixelLayout_32ARGB_Premul = 5,
    kDRAWBOT_PixelLayout_32BGRA_Premul = 7
};

typedef struct {
    float x, y;
} DRAWBOT_PointF32;

typedef struct {
    float mat[3][3];                 /* row-major; row 3 holds the translation */
} DRAWBOT_MatrixF32;

#define kDRAWBOT_DrawSuite "DRAWBOT Draw Suite"
#define kDRAWBOT_DrawSuite_Version1 1
#define kDRAWBOT_SupplierSuite "DRAWBOT Supplier Suite"
#define kDRAWBOT_SupplierSuite_Version1 1
#define kDRAWBOT_SurfaceSuite "DRAWBOT Surface Suite"
#define kDRAWBOT_SurfaceSuite_Version1 1
#define kDRAWBOT_SurfaceSuite_Version2 2

typedef struct DRAWBOT_DrawbotSuite1 {
    SPErr (*GetSupplier)(DRAWBOT_DrawRef draw_ref, DRAWBOT_SupplierRef *supplier);
    SPErr (*GetSurface)(DRAWBOT_DrawRef draw_ref, DRAWBOT_SurfaceRef *surface);
} DRAWBOT_DrawbotSuite1;

/* Slots this effect never calls are kept as untyped pointers: they hold the table's order only. */
typedef struct DRAWBOT_SupplierSuite1 {
    void *NewPen;
    void *NewBrush;
    void *SupportsText;
    void *GetDefaultFontSize;
    void *NewDefaultFont;
    SPErr (*NewImageFromBuffer)(DRAWBOT_SupplierRef supplier, int width, int height, int row_bytes,
                                DRAWBOT_PixelLayout layout, const void *data, DRAWBOT_ImageRef *image);
    void *NewPath;
    SPErr (*SupportsPixelLayoutBGRA)(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean *supports);
    SPErr (*PrefersPixelLayoutBGRA)(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean *prefers);
    SPErr (*SupportsPixelLayoutARGB)(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean *supports);
    SPErr (*PrefersPixelLayoutARGB)(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean *prefers);
    SPErr (*RetainObject)(DRAWBOT_ObjectRef object);
    SPErr (*ReleaseObject)(DRAWBOT_ObjectRef object);
} DRAWBOT_SupplierSuite1;

/* Version 1 has the same table, ending at Flush: GetTransformToScreenScale exists only in version 2. */
typedef struct DRAWBOT_SurfaceSuite2 {
    SPErr (*PushStateStack)(DRAWBOT_SurfaceRef surface);
    SPErr (*PopStateStack)(DRAWBOT_SurfaceRef surface);
    void *PaintRect;
    void *FillPath;
    void *StrokePath;
    void *Clip;
    void *GetClipBounds;
    void *IsWithinClipBounds;
    SPErr (*Transform)(DRAWBOT_SurfaceRef surface, const DRAWBOT_MatrixF32 *matrix);
    void *DrawString;
    SPErr (*DrawImage)(DRAWBOT_SurfaceRef surface, DRAWBOT_ImageRef image, const DRAWBOT_PointF32 *origin,
                       float alpha);
    void *SetInterpolationPolicy;
    void *GetInterpolationPolicy;
    void *SetAntiAliasPolicy;
    void *GetAntiAliasPolicy;
    SPErr (*Flush)(DRAWBOT_SurfaceRef surface);
    SPErr (*GetTransformToScreenScale)(DRAWBOT_SurfaceRef surface, float *scale);
} DRAWBOT_SurfaceSuite2;

typedef DRAWBOT_SurfaceSuite2 DRAWBOT_SurfaceSuite1;

#ifdef __cplusplus
}
#endif

#endif
