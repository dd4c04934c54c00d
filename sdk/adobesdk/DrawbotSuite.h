/* The host's drawing suites for custom UI: a drawing reference yields a supplier (makes images) and a
 * surface (draws them). */
#ifndef DRAWBOT_SUITE_H
#define DRAWBOT_SUITE_H

#include "SPBasic.h"
#include "adobesdk/config/AdobesdkTypes.h"
#include "adobesdk/drawbotsuite/DrawbotSuiteTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

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

typedef struct DRAWBOT_SupplierSuite1 {
    SPErr (*NewPen)(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA *color, float size, DRAWBOT_PenRef *pen);
    SPErr (*NewBrush)(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA *color, DRAWBOT_BrushRef *brush);
    SPErr (*SupportsText)(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean *supports);
    SPErr (*GetDefaultFontSize)(DRAWBOT_SupplierRef supplier, float *font_size);
    SPErr (*NewDefaultFont)(DRAWBOT_SupplierRef supplier, float font_size, DRAWBOT_FontRef *font);
    SPErr (*NewImageFromBuffer)(DRAWBOT_SupplierRef supplier, int width, int height, int row_bytes,
                                DRAWBOT_PixelLayout layout, const void *data, DRAWBOT_ImageRef *image);
    SPErr (*NewPath)(DRAWBOT_SupplierRef supplier, DRAWBOT_PathRef *path);
    SPErr (*SupportsPixelLayoutBGRA)(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean *supports);
    SPErr (*PrefersPixelLayoutBGRA)(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean *prefers);
    SPErr (*SupportsPixelLayoutARGB)(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean *supports);
    SPErr (*PrefersPixelLayoutARGB)(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean *prefers);
    SPErr (*RetainObject)(DRAWBOT_ObjectRef object);
    SPErr (*ReleaseObject)(DRAWBOT_ObjectRef object);
} DRAWBOT_SupplierSuite1;

/* One table for both versions: version 1 ends at Flush, GetTransformToScreenScale exists only in
 * version 2. The struct keeps the version 1 tag. */
typedef struct DRAWBOT_SurfaceSuite1 {
    SPErr (*PushStateStack)(DRAWBOT_SurfaceRef surface);
    SPErr (*PopStateStack)(DRAWBOT_SurfaceRef surface);
    SPErr (*PaintRect)(DRAWBOT_SurfaceRef surface, const DRAWBOT_ColorRGBA *color, const DRAWBOT_RectF32 *rect);
    SPErr (*FillPath)(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush, DRAWBOT_PathRef path,
                      DRAWBOT_FillType fill_type);
    SPErr (*StrokePath)(DRAWBOT_SurfaceRef surface, DRAWBOT_PenRef pen, DRAWBOT_PathRef path);
    SPErr (*Clip)(DRAWBOT_SurfaceRef surface, DRAWBOT_SupplierRef supplier, const DRAWBOT_Rect32 *rect);
    SPErr (*GetClipBounds)(DRAWBOT_SurfaceRef surface, DRAWBOT_Rect32 *rect);
    SPErr (*IsWithinClipBounds)(DRAWBOT_SurfaceRef surface, const DRAWBOT_Rect32 *rect, DRAWBOT_Boolean *within);
    SPErr (*Transform)(DRAWBOT_SurfaceRef surface, const DRAWBOT_MatrixF32 *matrix);
    SPErr (*DrawString)(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush, DRAWBOT_FontRef font,
                        const DRAWBOT_UTF16Char *text, const DRAWBOT_PointF32 *origin,
                        DRAWBOT_TextAlignment alignment, DRAWBOT_TextTruncation truncation,
                        float truncation_width);
    SPErr (*DrawImage)(DRAWBOT_SurfaceRef surface, DRAWBOT_ImageRef image, const DRAWBOT_PointF32 *origin,
                       float alpha);
    SPErr (*SetInterpolationPolicy)(DRAWBOT_SurfaceRef surface, DRAWBOT_InterpolationPolicy policy);
    SPErr (*GetInterpolationPolicy)(DRAWBOT_SurfaceRef surface, DRAWBOT_InterpolationPolicy *policy);
    SPErr (*SetAntiAliasPolicy)(DRAWBOT_SurfaceRef surface, DRAWBOT_AntiAliasPolicy policy);
    SPErr (*GetAntiAliasPolicy)(DRAWBOT_SurfaceRef surface, DRAWBOT_AntiAliasPolicy *policy);
    SPErr (*Flush)(DRAWBOT_SurfaceRef surface);
    SPErr (*GetTransformToScreenScale)(DRAWBOT_SurfaceRef surface, float *scale);
} DRAWBOT_SurfaceSuite2;

typedef DRAWBOT_SurfaceSuite2 DRAWBOT_SurfaceSuite1;

#ifdef __cplusplus
}
#endif

#endif
