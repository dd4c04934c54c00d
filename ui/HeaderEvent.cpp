// PF_Cmd_EVENT for the header control: drawing through the host's drawing suites, clicks and the cursor.
#include "HeaderEvent.h"

#include "AE_EffectSuites.h"
#include "AboutText.h"
#include "adobesdk/DrawbotSuite.h"
#include "EffectIdentity.h"
#include "HeaderArt.h"
#include "HeaderImage.h"
#include "ParamIndex.h"
#include "SuiteScope.h"
#include "WebPage.h"

#include <cstdint>

namespace {

// The colour type of the host's accent (highlight) colour.
const PF_App_ColorType APP_COLOR_ACCENT = static_cast<PF_App_ColorType>(55);
constexpr float HIGH_DENSITY_MIN = 1.5f;   // exclusive
constexpr float HIGH_DENSITY_MAX = 16.0f;  // exclusive

// Hit rectangles relative to the origin, right and bottom exclusive; the links reach a little past their ink.
constexpr double BADGE_X0 = 6, BADGE_X1 = 68, BADGE_Y0 = 7, BADGE_Y1 = 43;
constexpr double LINK_X0 = 160.6, LINK_X1 = 239.3, LINKS_Y0 = 26, LINKS_Y1 = 43;
constexpr double ABOUT_X0 = 250.4, ABOUT_X1 = 286;

bool IsHeaderEvent(const PF_EventExtra* extra)
{
    return extra && extra->contextH && *extra->contextH && (*extra->contextH)->w_type == PF_Window_EFFECT &&
           extra->effect_win.index == PARAM_HEADER;
}

HeaderColor FromApp(const PF_App_Color& color)
{
    return {color.red / 65535.0f, color.green / 65535.0f, color.blue / 65535.0f};
}

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
bool DrawHighDensity(const Drawing& drawing, const HeaderTheme& theme, unsigned char byte_order, PF_Point origin)
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

void DrawStandard(const Drawing& drawing, const HeaderTheme& theme, unsigned char byte_order, PF_Point origin)
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

void HandleClick(PF_OutData* out_data, PF_EventExtra* extra)
{
    const PF_DoClickEventInfo& click = extra->u.do_click;
    if (click.num_clicks < 2) {
        switch (HeaderHitTest(extra, click.screen_point)) {
        case HEADER_HIT_WEB_PAGE:
            (void)OpenWebPage(SUPPORT_URL);   // a page that does not open has nothing to tell the user
            break;
        case HEADER_HIT_ABOUT:
            if (out_data) {
                WriteAboutText(out_data->return_msg, sizeof out_data->return_msg);
            }
            break;
        default:
            break;
        }
    }
    extra->evt_out_flags = PF_EO_HANDLED_EVENT;
}

void AdjustCursor(PF_EventExtra* extra)
{
    PF_AdjustCursorEventInfo& cursor = extra->u.adjust_cursor;
    if (HeaderHitTest(extra, cursor.screen_point) != HEADER_HIT_NONE) {
        cursor.set_cursor = PF_Cursor_FINGER_POINTER;
        extra->evt_out_flags = PF_EO_HANDLED_EVENT;
    }
}

}   // namespace

PF_Point HeaderOrigin(const PF_LRect& frame)
{
    // 64-bit: a frame from the host is not trusted to be small or ordered.
    const std::int64_t height = static_cast<std::int64_t>(frame.bottom) - frame.top;
    const std::int64_t offset = height >= HEADER_HEIGHT + 1 ? (height - HEADER_HEIGHT) / 2 : 0;
    PF_Point origin{};
    origin.h = frame.left;
    origin.v = static_cast<A_long>(frame.top + offset);
    return origin;
}

int HeaderHitTest(const PF_EventExtra* extra, PF_Point point)
{
    if (!extra) {
        return HEADER_HIT_NONE;
    }
    const PF_Point origin = HeaderOrigin(extra->effect_win.current_frame);
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

HeaderTheme ThemeColors(const PF_InData* in_data)
{
    HostThemeColors colors = HEADER_DEFAULT_COLORS;
    const SuiteScope<PFAppSuite6> app(in_data, kPFAppSuite, kPFAppSuiteVersion6);
    if (app) {
        PF_App_Color color{};
        if (app->PF_AppGetBgColor && app->PF_AppGetBgColor(&color) == PF_Err_NONE) {
            colors.background = FromApp(color);
        }
        if (app->PF_AppGetColor) {
            if (app->PF_AppGetColor(PF_App_Color_TEXT, &color) == PF_Err_NONE) {
                colors.text = FromApp(color);
            }
            if (app->PF_AppGetColor(APP_COLOR_ACCENT, &color) == PF_Err_NONE) {
                colors.accent = FromApp(color);
            }
        }
    }
    return DeriveHeaderTheme(colors);
}

PF_Err DrawHeader(const PF_InData* in_data, PF_EventExtra* extra)
{
    if (!in_data || !extra) {
        return PF_Err_NONE;
    }
    // Released in the reverse order on every way out.
    const SuiteScope<PF_EffectCustomUISuite1> custom_ui(in_data, kPFEffectCustomUISuite,
                                                        kPFEffectCustomUISuiteVersion1);
    const SuiteScope<DRAWBOT_DrawbotSuite1> draw(in_data, kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1);
    const SuiteScope<DRAWBOT_SupplierSuite1> supplier(in_data, kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1);
    const SuiteScope<DRAWBOT_SurfaceSuite2> surface_2(in_data, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2);
    const SuiteScope<DRAWBOT_SurfaceSuite1> surface_1(in_data, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1);
    const DRAWBOT_SurfaceSuite2* surface_suite = surface_2 ? surface_2.get() : surface_1.get();
    if (!custom_ui || !draw || !supplier || !surface_suite) {
        return PF_Err_NONE;
    }

    DRAWBOT_DrawRef reference = nullptr;
    if (!custom_ui->PF_GetDrawingReference ||
        custom_ui->PF_GetDrawingReference(extra->contextH, &reference) != PF_Err_NONE || !reference) {
        return PF_Err_NONE;
    }
    Drawing drawing{supplier.get(), surface_suite, nullptr, nullptr, 0};
    if (!draw->GetSupplier || draw->GetSupplier(reference, &drawing.supplier) != 0 || !drawing.supplier ||
        !draw->GetSurface || draw->GetSurface(reference, &drawing.surface) != 0 || !drawing.surface) {
        return PF_Err_NONE;
    }

    const bool high_density = HighDensity(surface_2.get(), drawing.surface);
    const unsigned char byte_order = ByteOrder(*supplier.get(), drawing.supplier);
    drawing.layout = byte_order == HEADER_BGRA ? kDRAWBOT_PixelLayout_32BGRA_Premul : kDRAWBOT_PixelLayout_32ARGB_Premul;
    const HeaderTheme theme = ThemeColors(in_data);
    const PF_Point origin = HeaderOrigin(extra->effect_win.current_frame);

    // No background: the image's transparent pixels let the panel show through.
    if (!high_density || !DrawHighDensity(drawing, theme, byte_order, origin)) {
        DrawStandard(drawing, theme, byte_order, origin);
    }
    extra->evt_out_flags = PF_EO_HANDLED_EVENT;
    return PF_Err_NONE;
}

PF_Err HeaderEvent(const PF_InData* in_data, PF_OutData* out_data, PF_EventExtra* extra)
{
    if (!IsHeaderEvent(extra)) {
        return PF_Err_NONE;
    }
    switch (extra->e_type) {
    case PF_Event_DO_CLICK:
        HandleClick(out_data, extra);
        return PF_Err_NONE;
    case PF_Event_DRAW:
        return DrawHeader(in_data, extra);
    case PF_Event_ADJUST_CURSOR:
        AdjustCursor(extra);
        return PF_Err_NONE;
    default:
        return PF_Err_NONE;
    }
}
