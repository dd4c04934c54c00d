// The simulated host's drawing side: custom-UI events, the drawing suites and the raster behind them.
#include "Drawbot.h"

#include "EffectModule.h"
#include "Faults.h"
#include "Instance.h"
#include "Suites.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace {

constexpr SPErr DRAW_ERROR = PF_Err_BAD_CALLBACK_PARAM;
const PF_App_ColorType APP_COLOR_ACCENT = static_cast<PF_App_ColorType>(55);
constexpr int MAX_SURFACE_SIDE = 8192;    // device pixels
constexpr A_long MAX_PANEL_SIDE = 4096;   // panel pixels

DRAWBOT_MatrixF32 Identity()
{
    return DRAWBOT_MatrixF32{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
}

DRAWBOT_MatrixF32 Scale(float s)
{
    return DRAWBOT_MatrixF32{{{s, 0, 0}, {0, s, 0}, {0, 0, 1}}};
}

// Row vectors: a point goes through `first`, then `then`.
DRAWBOT_MatrixF32 Multiply(const DRAWBOT_MatrixF32& first, const DRAWBOT_MatrixF32& then)
{
    DRAWBOT_MatrixF32 m{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) {
                sum += static_cast<double>(first.mat[i][k]) * then.mat[k][j];
            }
            m.mat[i][j] = static_cast<float>(sum);
        }
    }
    return m;
}

bool Finite(const DRAWBOT_MatrixF32& m)
{
    for (const auto& row : m.mat) {
        for (float v : row) {
            if (!std::isfinite(v)) {
                return false;
            }
        }
    }
    return true;
}

// Device pixels per panel pixel for the raster: the screen scale when it is usable, else 1.
float RasterScale(float screen_scale)
{
    return std::isfinite(screen_scale) && screen_scale > 0.0f ? screen_scale : 1.0f;
}

}   // namespace

// ---- themes and images ----

PanelTheme PanelTheme::Dark()
{
    return PanelTheme{{0.14f, 0.14f, 0.14f}, {0.84f, 0.84f, 0.84f}, {0.33f, 0.62f, 1.0f}};
}

PanelTheme PanelTheme::Light()
{
    return PanelTheme{{0.86f, 0.86f, 0.86f}, {0.12f, 0.12f, 0.12f}, {0.05f, 0.33f, 0.8f}};
}

PF_App_Color ToAppColor(const Rgb& color)
{
    const auto channel = [](float c) {
        const float clamped = std::isnan(c) ? 0.0f : std::clamp(c, 0.0f, 1.0f);
        return static_cast<A_u_short>(std::lround(clamped * 65535.0f));
    };
    return PF_App_Color{channel(color[0]), channel(color[1]), channel(color[2])};
}

Rgba8 MadeImage::At(int x, int y) const
{
    const unsigned char* p = bytes.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    if (layout == kDRAWBOT_PixelLayout_32BGRA_Premul) {
        return {p[2], p[1], p[0], p[3]};
    }
    return {p[1], p[2], p[3], p[0]};
}

// ---- the raster ----

void RasterSurface::Reset(int width, int height, const Rgba8& fill)
{
    width_ = width;
    height_ = height;
    pixels_.assign(static_cast<std::size_t>(width) * height * 4, 0);
    for (std::size_t i = 0; i < pixels_.size(); i += 4) {
        std::copy(fill.begin(), fill.end(), pixels_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

Rgba8 RasterSurface::Pixel(int x, int y) const
{
    const unsigned char* p = pixels_.data() + (static_cast<std::size_t>(y) * width_ + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

void RasterSurface::DrawImage(const MadeImage& image, const DRAWBOT_MatrixF32& to_device, float x, float y,
                              float opacity)
{
    // Inverse of the affine part: device back to the drawing space.
    const double a = to_device.mat[0][0], b = to_device.mat[0][1];
    const double c = to_device.mat[1][0], d = to_device.mat[1][1];
    const double tx = to_device.mat[2][0], ty = to_device.mat[2][1];
    const double det = a * d - b * c;
    if (det == 0.0 || !std::isfinite(det)) {
        return;
    }

    // Device bounds of the image's four corners.
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (const double u : {static_cast<double>(x), static_cast<double>(x) + image.width}) {
        for (const double v : {static_cast<double>(y), static_cast<double>(y) + image.height}) {
            const double dx = u * a + v * c + tx;
            const double dy = u * b + v * d + ty;
            x0 = std::min(x0, dx), x1 = std::max(x1, dx);
            y0 = std::min(y0, dy), y1 = std::max(y1, dy);
        }
    }
    const int px0 = static_cast<int>(std::max(0.0, std::floor(x0)));
    const int py0 = static_cast<int>(std::max(0.0, std::floor(y0)));
    const int px1 = static_cast<int>(std::min(static_cast<double>(width_), std::ceil(x1)));
    const int py1 = static_cast<int>(std::min(static_cast<double>(height_), std::ceil(y1)));

    for (int py = py0; py < py1; ++py) {
        for (int px = px0; px < px1; ++px) {
            // The device pixel's centre, in the image's pixels.
            const double ex = px + 0.5 - tx;
            const double ey = py + 0.5 - ty;
            const double u = (ex * d - ey * c) / det - x;
            const double v = (ey * a - ex * b) / det - y;
            const double i = std::floor(u), j = std::floor(v);
            if (i < 0 || j < 0 || i >= image.width || j >= image.height) {
                continue;
            }
            const Rgba8 src = image.At(static_cast<int>(i), static_cast<int>(j));
            unsigned char* dst = pixels_.data() + (static_cast<std::size_t>(py) * width_ + px) * 4;
            const float keep = 1.0f - src[3] / 255.0f * opacity;
            for (int k = 0; k < 4; ++k) {
                const float value = src[k] * opacity + dst[k] * keep;
                dst[k] = static_cast<unsigned char>(std::lround(std::clamp(value, 0.0f, 255.0f)));
            }
        }
    }
}

RgbaImage RasterSurface::Picture() const
{
    RgbaImage picture{width_, height_, pixels_};
    for (std::size_t i = 0; i < pixels_.size(); i += 4) {
        const int alpha = pixels_[i + 3];
        for (int k = 0; k < 3; ++k) {
            // Un-premultiplied, rounded: (c x 255 + alpha / 2) / alpha.
            picture.pixels[i + k] =
                alpha ? static_cast<unsigned char>(std::min(255, (pixels_[i + k] * 255 + alpha / 2) / alpha)) : 0;
        }
    }
    return picture;
}

// ---- the suite functions ----

struct DrawingHost::Callbacks {
    // The drawing side of the instance whose command runs on this thread, once the call is counted and no
    // injected failure answers it.
    static DrawingHost* Enter(HostCall call, SPErr& err, int param_index = -1);

    // As Enter, for a call on the host's surface.
    static DrawingHost* OnSurface(HostCall call, DRAWBOT_SurfaceRef surface, SPErr& err);
    static PF_Err GetDrawingReference(const PF_ContextH context, DRAWBOT_DrawRef* reference);

    // The supplier or the surface of the host's one drawing reference.
    template <typename Ref>
    static SPErr HandOut(HostCall call, DRAWBOT_DrawRef reference, Ref* out, Ref (DrawingHost::*handle)());
    static SPErr GetSupplier(DRAWBOT_DrawRef reference, DRAWBOT_SupplierRef* supplier);
    static SPErr GetSurface(DRAWBOT_DrawRef reference, DRAWBOT_SurfaceRef* surface);
    static SPErr Answer(HostCall call, DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* out,
                        bool DrawingSettings::*setting);
    static SPErr PrefersPixelLayoutBGRA(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* prefers);
    static SPErr SupportsPixelLayoutBGRA(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* supports);
    static SPErr SupportsPixelLayoutARGB(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* supports);
    static SPErr NewImageFromBuffer(DRAWBOT_SupplierRef supplier, int width, int height, int row_bytes,
                                    DRAWBOT_PixelLayout layout, const void* data, DRAWBOT_ImageRef* image);
    static SPErr ReleaseObject(DRAWBOT_ObjectRef object);
    static SPErr PushStateStack(DRAWBOT_SurfaceRef surface);
    static SPErr PopStateStack(DRAWBOT_SurfaceRef surface);
    static SPErr Transform(DRAWBOT_SurfaceRef surface, const DRAWBOT_MatrixF32* matrix);
    static SPErr DrawImage(DRAWBOT_SurfaceRef surface, DRAWBOT_ImageRef image_ref, const DRAWBOT_PointF32* origin,
                           float alpha);
    static SPErr Flush(DRAWBOT_SurfaceRef);
    static SPErr GetTransformToScreenScale(DRAWBOT_SurfaceRef surface, float* scale);
    static PF_Err AppGetBgColor(PF_App_Color* color);

    // An injection's param_index picks the colour type it fails.
    static PF_Err AppGetColor(PF_App_ColorType type, PF_App_Color* color);
};

DrawingHost* DrawingHost::Callbacks::Enter(HostCall call, SPErr& err, int param_index)
{
    const EffectInstance* instance = EffectInstance::OnThisThread();
    DrawingHost* ui = instance ? instance->drawing : nullptr;
    if (!ui) {
        err = DRAW_ERROR;
        return nullptr;
    }
    PF_Err injected = PF_Err_NONE;
    if (ui->faults_.Injected(call, injected, param_index)) {
        err = injected;
        return nullptr;
    }
    return ui;
}

DrawingHost* DrawingHost::Callbacks::OnSurface(HostCall call, DRAWBOT_SurfaceRef surface, SPErr& err)
{
    DrawingHost* ui = Enter(call, err);
    if (ui && surface != ui->SurfaceRef()) {
        err = DRAW_ERROR;
        return nullptr;
    }
    return ui;
}

PF_Err DrawingHost::Callbacks::GetDrawingReference(const PF_ContextH context, DRAWBOT_DrawRef* reference)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = Enter(HostCall::GetDrawingReference, err);
    if (!ui) {
        return err;
    }
    if (!reference || context != &ui->context_ptr_) {
        return DRAW_ERROR;
    }
    *reference = ui->DrawRef();
    return PF_Err_NONE;
}

template <typename Ref>
SPErr DrawingHost::Callbacks::HandOut(HostCall call, DRAWBOT_DrawRef reference, Ref* out, Ref (DrawingHost::*handle)())
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = Enter(call, err);
    if (!ui) {
        return err;
    }
    if (!out || reference != ui->DrawRef()) {
        return DRAW_ERROR;
    }
    *out = (ui->*handle)();
    return PF_Err_NONE;
}

SPErr DrawingHost::Callbacks::GetSupplier(DRAWBOT_DrawRef reference, DRAWBOT_SupplierRef* supplier)
{
    return HandOut(HostCall::GetSupplier, reference, supplier, &DrawingHost::SupplierRef);
}

SPErr DrawingHost::Callbacks::GetSurface(DRAWBOT_DrawRef reference, DRAWBOT_SurfaceRef* surface)
{
    return HandOut(HostCall::GetSurface, reference, surface, &DrawingHost::SurfaceRef);
}

SPErr DrawingHost::Callbacks::Answer(HostCall call, DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* out,
                                     bool DrawingSettings::*setting)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = Enter(call, err);
    if (!ui) {
        return err;
    }
    if (!out || supplier != ui->SupplierRef()) {
        return DRAW_ERROR;
    }
    *out = ui->settings_.*setting;
    return PF_Err_NONE;
}

SPErr DrawingHost::Callbacks::PrefersPixelLayoutBGRA(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* prefers)
{
    return Answer(HostCall::PrefersPixelLayoutBGRA, supplier, prefers, &DrawingSettings::prefers_bgra);
}

SPErr DrawingHost::Callbacks::SupportsPixelLayoutBGRA(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* supports)
{
    return Answer(HostCall::SupportsPixelLayoutBGRA, supplier, supports, &DrawingSettings::supports_bgra);
}

SPErr DrawingHost::Callbacks::SupportsPixelLayoutARGB(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* supports)
{
    return Answer(HostCall::SupportsPixelLayoutARGB, supplier, supports, &DrawingSettings::supports_argb);
}

SPErr DrawingHost::Callbacks::NewImageFromBuffer(DRAWBOT_SupplierRef supplier, int width, int height,
                                                 int row_bytes, DRAWBOT_PixelLayout layout, const void* data,
                                                 DRAWBOT_ImageRef* image)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = Enter(HostCall::NewImageFromBuffer, err);
    if (!ui) {
        return err;
    }
    const bool layout_ok = (layout == kDRAWBOT_PixelLayout_32BGRA_Premul && ui->settings_.supports_bgra) ||
                           (layout == kDRAWBOT_PixelLayout_32ARGB_Premul && ui->settings_.supports_argb);
    if (supplier != ui->SupplierRef() || !image || !data || !layout_ok || width <= 0 || height <= 0 ||
        width > MAX_SURFACE_SIDE || height > MAX_SURFACE_SIDE || row_bytes < width * 4) {
        return DRAW_ERROR;
    }
    MadeImage made;
    made.width = width;
    made.height = height;
    made.row_bytes = row_bytes;
    made.layout = layout;
    made.source = data;
    made.bytes.resize(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        std::memcpy(made.bytes.data() + static_cast<std::size_t>(y) * width * 4,
                    static_cast<const unsigned char*>(data) + static_cast<std::size_t>(y) * row_bytes,
                    static_cast<std::size_t>(width) * 4);
    }
    ui->images_.push_back(std::move(made));
    *image = reinterpret_cast<DRAWBOT_ImageRef>(&ui->images_.back());
    return PF_Err_NONE;
}

SPErr DrawingHost::Callbacks::ReleaseObject(DRAWBOT_ObjectRef object)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = Enter(HostCall::ReleaseObject, err);
    if (!ui) {
        return err;
    }
    MadeImage* image = ui->FindImage(object);
    if (!image || image->released) {
        ++ui->bad_releases_;
        return DRAW_ERROR;
    }
    image->released = true;
    return PF_Err_NONE;
}

SPErr DrawingHost::Callbacks::PushStateStack(DRAWBOT_SurfaceRef surface)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = OnSurface(HostCall::PushStateStack, surface, err);
    if (!ui) {
        return err;
    }
    ui->states_.push_back(ui->transform_);
    return PF_Err_NONE;
}

SPErr DrawingHost::Callbacks::PopStateStack(DRAWBOT_SurfaceRef surface)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = OnSurface(HostCall::PopStateStack, surface, err);
    if (!ui) {
        return err;
    }
    if (ui->states_.empty()) {
        return DRAW_ERROR;
    }
    ui->transform_ = ui->states_.back();
    ui->states_.pop_back();
    return PF_Err_NONE;
}

SPErr DrawingHost::Callbacks::Transform(DRAWBOT_SurfaceRef surface, const DRAWBOT_MatrixF32* matrix)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = OnSurface(HostCall::Transform, surface, err);
    if (!ui) {
        return err;
    }
    if (!matrix || !Finite(*matrix)) {
        return DRAW_ERROR;
    }
    // The new transform applies first, in the space drawn in until now.
    ui->transform_ = Multiply(*matrix, ui->transform_);
    return PF_Err_NONE;
}

SPErr DrawingHost::Callbacks::DrawImage(DRAWBOT_SurfaceRef surface, DRAWBOT_ImageRef image_ref,
                                        const DRAWBOT_PointF32* origin, float alpha)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = OnSurface(HostCall::DrawImage, surface, err);
    if (!ui) {
        return err;
    }
    MadeImage* image = ui->FindImage(image_ref);
    if (!image || image->released || !origin || !std::isfinite(origin->x) ||
        !std::isfinite(origin->y) || !(alpha >= 0.0f && alpha <= 1.0f)) {
        return DRAW_ERROR;
    }
    // A host may read the plug-in's buffer as late as this: it must still hold what it held.
    const auto* source = static_cast<const unsigned char*>(image->source);
    for (int y = 0; y < image->height; ++y) {
        if (std::memcmp(image->bytes.data() + static_cast<std::size_t>(y) * image->width * 4,
                        source + static_cast<std::size_t>(y) * image->row_bytes,
                        static_cast<std::size_t>(image->width) * 4) != 0) {
            ++ui->source_changes_;
            break;
        }
    }
    const DRAWBOT_MatrixF32 to_device =
        Multiply(ui->transform_, Scale(RasterScale(ui->settings_.screen_scale)));
    ui->surface_.DrawImage(*image, to_device, origin->x, origin->y, alpha);
    ++image->draws;
    const int index = static_cast<int>(image - &ui->images_.front());
    ui->draws_.push_back(DrawRecord{index, *origin, alpha, ui->transform_});
    return PF_Err_NONE;
}

SPErr DrawingHost::Callbacks::Flush(DRAWBOT_SurfaceRef)
{
    return PF_Err_NONE;
}

SPErr DrawingHost::Callbacks::GetTransformToScreenScale(DRAWBOT_SurfaceRef surface, float* scale)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = OnSurface(HostCall::GetTransformToScreenScale, surface, err);
    if (!ui) {
        return err;
    }
    if (!scale) {
        return DRAW_ERROR;
    }
    *scale = ui->settings_.screen_scale;
    return PF_Err_NONE;
}

PF_Err DrawingHost::Callbacks::AppGetBgColor(PF_App_Color* color)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = Enter(HostCall::AppGetBgColor, err);
    if (!ui) {
        return err;
    }
    if (!color || !ui->settings_.background) {
        return DRAW_ERROR;
    }
    *color = *ui->settings_.background;
    return PF_Err_NONE;
}

PF_Err DrawingHost::Callbacks::AppGetColor(PF_App_ColorType type, PF_App_Color* color)
{
    SPErr err = PF_Err_NONE;
    DrawingHost* ui = Enter(HostCall::AppGetColor, err, type);
    if (!ui) {
        return err;
    }
    const std::optional<PF_App_Color>& answer = type == PF_App_Color_TEXT      ? ui->settings_.text
                                                : type == APP_COLOR_ACCENT ? ui->settings_.accent
                                                                           : std::optional<PF_App_Color>();
    if (!color || !answer) {
        return DRAW_ERROR;
    }
    *color = *answer;
    return PF_Err_NONE;
}

// ---- the drawing host ----

DrawingHost::DrawingHost(EffectModule& module, SuiteTable& suites, FaultInjector& faults)
    : module_(module), faults_(faults), transform_(Identity())
{
    context_.magic = 0x44726177;   // 'Draw'
    context_.w_type = PF_Window_EFFECT;

    custom_ui_suite_.PF_GetDrawingReference = Callbacks::GetDrawingReference;
    draw_suite_.GetSupplier = Callbacks::GetSupplier;
    draw_suite_.GetSurface = Callbacks::GetSurface;
    supplier_suite_.NewImageFromBuffer = Callbacks::NewImageFromBuffer;
    supplier_suite_.SupportsPixelLayoutBGRA = Callbacks::SupportsPixelLayoutBGRA;
    supplier_suite_.PrefersPixelLayoutBGRA = Callbacks::PrefersPixelLayoutBGRA;
    supplier_suite_.SupportsPixelLayoutARGB = Callbacks::SupportsPixelLayoutARGB;
    supplier_suite_.ReleaseObject = Callbacks::ReleaseObject;
    surface_suite_2_.PushStateStack = Callbacks::PushStateStack;
    surface_suite_2_.PopStateStack = Callbacks::PopStateStack;
    surface_suite_2_.Transform = Callbacks::Transform;
    surface_suite_2_.DrawImage = Callbacks::DrawImage;
    surface_suite_2_.Flush = Callbacks::Flush;
    surface_suite_2_.GetTransformToScreenScale = Callbacks::GetTransformToScreenScale;
    const std::size_t version_1_size = offsetof(DRAWBOT_SurfaceSuite2, GetTransformToScreenScale);
    surface_suite_1_ = std::make_unique<unsigned char[]>(version_1_size);
    std::memcpy(surface_suite_1_.get(), &surface_suite_2_, version_1_size);
    app_suite_.PF_AppGetBgColor = Callbacks::AppGetBgColor;
    app_suite_.PF_AppGetColor = Callbacks::AppGetColor;

    suites.Provide(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1, &custom_ui_suite_);
    suites.Provide(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, &draw_suite_);
    suites.Provide(kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1, &supplier_suite_);
    suites.Provide(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2, &surface_suite_2_);
    suites.Provide(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1, surface_suite_1_.get());
    suites.Provide(kPFAppSuite, kPFAppSuiteVersion6, &app_suite_);

    SetTheme(PanelTheme::Dark());
}

DrawingHost::~DrawingHost() = default;

void DrawingHost::SetTheme(const PanelTheme& theme)
{
    settings_.background = ToAppColor(theme.background);
    settings_.text = ToAppColor(theme.text);
    settings_.accent = ToAppColor(theme.accent);
}

PF_EventExtra DrawingHost::MakeEvent(PF_EventType type)
{
    PF_EventExtra event{};
    event.contextH = &context_ptr_;
    event.e_type = type;
    event.effect_win.index = 1;   // the header control
    event.effect_win.current_frame = settings_.frame;
    if (type == PF_Event_DRAW) {
        event.u.draw.update_rect = settings_.frame;
    }
    return event;
}

EventResult DrawingHost::SendEvent(PF_EventExtra event)
{
    if (event.e_type == PF_Event_DRAW) {
        ResetSurface(event.effect_win.current_frame);
    }
    const PF_Err err = module_.SendCommand(PF_Cmd_EVENT, &event);
    return EventResult{err, event};
}

EventResult DrawingHost::SendClick(A_long h, A_long v, A_long num_clicks)
{
    PF_EventExtra event = MakeEvent(PF_Event_DO_CLICK);
    event.u.do_click.screen_point.h = h;
    event.u.do_click.screen_point.v = v;
    event.u.do_click.num_clicks = num_clicks;
    return SendEvent(event);
}

EventResult DrawingHost::SendCursor(A_long h, A_long v)
{
    PF_EventExtra event = MakeEvent(PF_Event_ADJUST_CURSOR);
    event.u.adjust_cursor.screen_point.h = h;
    event.u.adjust_cursor.screen_point.v = v;
    return SendEvent(event);
}

void DrawingHost::ResetSurface(const PF_LRect& frame)
{
    // The panel from its origin to the frame's far edges, as device pixels.
    const float scale = RasterScale(settings_.screen_scale);
    const auto side = [scale](A_long panel) {
        const double device = std::ceil(std::clamp<A_long>(panel, 1, MAX_PANEL_SIDE) * static_cast<double>(scale));
        return static_cast<int>(std::min<double>(device, MAX_SURFACE_SIDE));
    };
    Rgba8 fill{0, 0, 0, 0};
    if (settings_.panel) {
        for (int k = 0; k < 3; ++k) {
            fill[k] = static_cast<unsigned char>(std::lround(std::clamp((*settings_.panel)[k], 0.0f, 1.0f) * 255.0f));
        }
        fill[3] = 255;
    }
    surface_.Reset(side(frame.right), side(frame.bottom), fill);
    transform_ = Identity();
    states_.clear();
}

MadeImage* DrawingHost::FindImage(const void* ref)
{
    for (MadeImage& image : images_) {
        if (&image == ref) {
            return &image;
        }
    }
    return nullptr;
}

int DrawingHost::ImagesReleased() const
{
    return static_cast<int>(std::count_if(images_.begin(), images_.end(), [](const MadeImage& i) { return i.released; }));
}

void DrawingHost::ClearLogs()
{
    images_.clear();
    draws_.clear();
    bad_releases_ = 0;
    source_changes_ = 0;
}

RgbaImage DrawHeaderImage(DrawingHost& ui, float screen_scale, const PanelTheme& theme)
{
    const DrawingSettings saved = ui.settings();
    struct Restore {
        DrawingHost& ui;
        const DrawingSettings& saved;
        ~Restore() { ui.settings() = saved; }
    } restore{ui, saved};

    ui.SetTheme(theme);
    ui.settings().screen_scale = screen_scale;
    ui.settings().panel = theme.background;
    ui.settings().frame = PF_LRect{0, 0, 300, 50};
    const EventResult drawn = ui.SendDraw();
    if (drawn.err != PF_Err_NONE || !(drawn.event.evt_out_flags & PF_EO_HANDLED_EVENT)) {
        throw std::runtime_error("the plug-in did not draw its header (error " + std::to_string(drawn.err) + ")");
    }
    return ui.surface().Picture();
}
