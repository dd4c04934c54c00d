// The Effect Controls header on the host's drawing surface: the cached image at 1x or 2x, and the hit areas
// of its links.
#include "HeaderDraw.h"

#include "HeaderArt.h"
#include "HeaderImage.h"

namespace {

constexpr float HIGH_DENSITY_MIN = 1.5f;   // exclusive
constexpr float HIGH_DENSITY_MAX = 16.0f;  // exclusive

// Hit rectangles relative to the origin, right and bottom exclusive; the links reach a little past their ink.
constexpr double BADGE_X0 = 6, BADGE_X1 = 68, BADGE_Y0 = 7, BADGE_Y1 = 43;
constexpr double LINK_X0 = 160.6, LINK_X1 = 239.3, LINKS_Y0 = 26, LINKS_Y1 = 43;
constexpr double ABOUT_X0 = 250.4, ABOUT_X1 = 286;

// The suites and objects of one draw.
struct Drawing {
    const DRAWBOT_SupplierSuite1* supplier_suite;
    const DRAWBOT_SurfaceSuite2* surface_suite;
    DRAWBOT_SupplierRef supplier;
    DRAWBOT_SurfaceRef surface;
    DRAWBOT_PixelLayout layout;
};

// A DRAWBOT image made from the header image's pixels, released on every way out. The pixels stay with the
// caller's HeaderImage, which outlives this.
class DrawbotImage {
public:
    DrawbotImage(const Drawing& drawing, const HeaderImage& image) : suite_(drawing.supplier_suite)
    {
        if (!suite_->NewImageFromBuffer ||
            suite_->NewImageFromBuffer(drawing.supplier, image.width(), image.height(), image.row_bytes(),
                                       drawing.layout, image.pixels(), &image_) != 0) {
            image_ = nullptr;
        }
    }
    ~DrawbotImage()
    {
        if (image_ && suite_->ReleaseObject) {
            suite_->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(image_));
        }
    }
    DrawbotImage(const DrawbotImage&) = delete;
    DrawbotImage& operator=(const DrawbotImage&) = delete;

    DRAWBOT_ImageRef get() const { return image_; }

private:
    const DRAWBOT_SupplierSuite1* suite_;
    DRAWBOT_ImageRef image_ = nullptr;
};

bool DrawAt(const Drawing& drawing, DRAWBOT_ImageRef image, float x, float y)
{
    const DRAWBOT_PointF32 point{x, y};
    return drawing.surface_suite->DrawImage && drawing.surface_suite->DrawImage(drawing.surface, image, &point, 1.0f) == 0;
}

// A saved surface state, restored on every way out.
class SavedState {
public:
    explicit SavedState(const Drawing& drawing) : drawing_(drawing)
    {
        const DRAWBOT_SurfaceSuite2& suite = *drawing.surface_suite;
        saved_ = suite.PushStateStack && suite.PushStateStack(drawing.surface) == 0;
    }
    ~SavedState()
    {
        if (saved_ && drawing_.surface_suite->PopStateStack) {
            drawing_.surface_suite->PopStateStack(drawing_.surface);
        }
    }
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;

    bool saved() const { return saved_; }

private:
    const Drawing& drawing_;
    bool saved_;
};

// The 2x image scaled by one half, so each of its pixels meets one screen pixel. True only when every step
// worked.
bool DrawHighDensity(const Drawing& drawing, const HeaderTheme& theme, unsigned char byte_order, HeaderPoint origin)
{
    const HeaderImage pixels = ProcessHeaderImageCache().Get(2, byte_order, theme);
    const DrawbotImage image(drawing, pixels);
    if (!image.get()) {
        return false;
    }
    const SavedState state(drawing);
    if (!state.saved()) {
        return false;
    }
    const DRAWBOT_MatrixF32 half{{{0.5f, 0.0f, 0.0f}, {0.0f, 0.5f, 0.0f}, {0.0f, 0.0f, 1.0f}}};
    const DRAWBOT_SurfaceSuite2& surface = *drawing.surface_suite;
    return surface.Transform && surface.Transform(drawing.surface, &half) == 0 &&
           DrawAt(drawing, image.get(), 2.0f * static_cast<float>(origin.h), 2.0f * static_cast<float>(origin.v));
}

void DrawStandard(const Drawing& drawing, const HeaderTheme& theme, unsigned char byte_order, HeaderPoint origin)
{
    const HeaderImage pixels = ProcessHeaderImageCache().Get(1, byte_order, theme);
    const DrawbotImage image(drawing, pixels);
    if (image.get()) {
        DrawAt(drawing, image.get(), static_cast<float>(origin.h), static_cast<float>(origin.v));
    }
}

bool HighDensity(const DRAWBOT_SurfaceSuite2* surface_suite_2, DRAWBOT_SurfaceRef surface)
{
    // Version 1 of the table ends before GetTransformToScreenScale: only version 2 may be asked.
    if (!surface_suite_2 || !surface_suite_2->GetTransformToScreenScale) {
        return false;
    }
    float scale = 1.0f;
    return surface_suite_2->GetTransformToScreenScale(surface, &scale) == 0 && scale > HIGH_DENSITY_MIN &&
           scale < HIGH_DENSITY_MAX;
}

unsigned char ByteOrder(const DRAWBOT_SupplierSuite1& suite, DRAWBOT_SupplierRef supplier)
{
    // Each answer keeps its starting value when the call fails.
    DRAWBOT_Boolean prefers_bgra = false, supports_bgra = false, supports_argb = true;
    if (suite.PrefersPixelLayoutBGRA) {
        (void)suite.PrefersPixelLayoutBGRA(supplier, &prefers_bgra);
    }
    if (suite.SupportsPixelLayoutBGRA) {
        (void)suite.SupportsPixelLayoutBGRA(supplier, &supports_bgra);
    }
    if (suite.SupportsPixelLayoutARGB) {
        (void)suite.SupportsPixelLayoutARGB(supplier, &supports_argb);
    }
    return prefers_bgra || (!supports_argb && supports_bgra) ? HEADER_BGRA : HEADER_ARGB;
}

}   // namespace

bool OpenHeaderSurface(const HeaderDrawing& drawing, HeaderSurface& surface)
{
    surface = HeaderSurface{drawing.supplier, drawing.surface, nullptr, nullptr, false, HEADER_ARGB};
    const DRAWBOT_DrawbotSuite1& draw = *drawing.draw;
    if (!draw.GetSupplier || draw.GetSupplier(drawing.reference, &surface.supplier) != 0 || !surface.supplier ||
        !draw.GetSurface || draw.GetSurface(drawing.reference, &surface.surface) != 0 || !surface.surface) {
        return false;
    }
    surface.high_density = HighDensity(drawing.surface_2, surface.surface);
    surface.byte_order = ByteOrder(*drawing.supplier, surface.supplier);
    return true;
}

void DrawHeader(const HeaderSurface& surface, const HeaderTheme& theme, HeaderPoint origin)
{
    const DRAWBOT_PixelLayout layout =
        surface.byte_order == HEADER_BGRA ? kDRAWBOT_PixelLayout_32BGRA_Premul : kDRAWBOT_PixelLayout_32ARGB_Premul;
    const Drawing drawing{surface.supplier_suite, surface.surface_suite, surface.supplier, surface.surface, layout};
    // No background: the image's transparent pixels let the panel show through.
    if (!surface.high_density || !DrawHighDensity(drawing, theme, surface.byte_order, origin)) {
        DrawStandard(drawing, theme, surface.byte_order, origin);
    }
}

HeaderPoint HeaderOrigin(std::int32_t left, std::int32_t top, std::int32_t bottom)
{
    // 64-bit: a frame from the host is not trusted to be small or ordered.
    const std::int64_t height = static_cast<std::int64_t>(bottom) - top;
    const std::int64_t offset = height >= HEADER_HEIGHT + 1 ? (height - HEADER_HEIGHT) / 2 : 0;
    return HeaderPoint{left, static_cast<std::int32_t>(top + offset)};
}

HeaderHit HeaderHitTest(HeaderPoint origin, HeaderPoint point)
{
    const double dx = static_cast<double>(static_cast<std::int64_t>(point.h) - origin.h);
    const double dy = static_cast<double>(static_cast<std::int64_t>(point.v) - origin.v);
    if (dx >= BADGE_X0 && dx < BADGE_X1 && dy >= BADGE_Y0 && dy < BADGE_Y1) {
        return HEADER_HIT_WEB_PAGE;
    }
    if (dy >= LINKS_Y0 && dy < LINKS_Y1) {
        if (dx >= LINK_X0 && dx < LINK_X1) {
            return HEADER_HIT_WEB_PAGE;
        }
        if (dx >= ABOUT_X0 && dx < ABOUT_X1) {
            return HEADER_HIT_ABOUT;
        }
    }
    return HEADER_HIT_NONE;
}
