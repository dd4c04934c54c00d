// The host's drawing side for custom controls: PF_Cmd_EVENT draws, clicks and cursor events for the header
// control, the "PF Effect Custom UI Suite", the DRAWBOT Draw, Supplier and Surface suites and the
// "PF AE App Suite", backed by a raster that keeps what the plug-in draws.
//
// Typical use:
//     HostSim host(module_path);
//     DrawingHost& ui = host.drawing();
//     ui.settings().screen_scale = 2.0f;
//     EventResult drawn = ui.SendDraw();              // drawn.event.evt_out_flags, ui.surface(), ui.images()
//     EventResult click = ui.SendClick(200, 35);      // a point in the panel
//
// The surface covers the panel from (0, 0) to the control frame's right and bottom edges, in device pixels:
// screen_scale of them per panel pixel, as on a high-density screen.
#pragma once

#include "AE_EffectSuites.h"
#include "AE_EffectUI.h"
#include "adobesdk/DrawbotSuite.h"

#include <array>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class EffectModule;
class FaultInjector;
class SuiteTable;

// A picture: 8-bit RGBA with straight alpha, rows top to bottom, no padding.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;

    const unsigned char* At(int x, int y) const
    {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }
};

using Rgb = std::array<float, 3>;                  // channels 0 to 1
using Rgba8 = std::array<unsigned char, 4>;        // R, G, B, A bytes, colour premultiplied

// The host's interface colours, as "PF AE App Suite" reports them.
struct PanelTheme {
    Rgb background;
    Rgb text;
    Rgb accent;

    static PanelTheme Dark();    // the host's usual dark panel
    static PanelTheme Light();   // a light panel with dark text
};

// A 16-bit host colour from channels 0 to 1.
PF_App_Color ToAppColor(const Rgb& color);

// An image the plug-in made through NewImageFromBuffer: the host's copy of its pixels.
struct MadeImage {
    int width = 0;
    int height = 0;
    int row_bytes = 0;                  // as the plug-in passed it
    DRAWBOT_PixelLayout layout = 0;     // kDRAWBOT_PixelLayout_32ARGB_Premul or _32BGRA_Premul
    const void* source = nullptr;       // the plug-in's buffer, which must stay valid until the release
    std::vector<unsigned char> bytes;   // width x 4 bytes a row, in the image's layout
    bool released = false;
    int draws = 0;

    // One pixel as premultiplied R, G, B, A bytes, whatever the layout.
    Rgba8 At(int x, int y) const;
};

// One successful DrawImage.
struct DrawRecord {
    int image;                    // index into DrawingHost::images()
    DRAWBOT_PointF32 point;       // as passed, in the transformed space
    float opacity;
    DRAWBOT_MatrixF32 transform;  // the plug-in's transform at the time, panel pixels
};

// Premultiplied 8-bit RGBA pixels, composited "over" (rounded to the nearest byte).
class RasterSurface {
public:
    void Reset(int width, int height, const Rgba8& fill);
    int width() const { return width_; }
    int height() const { return height_; }
    Rgba8 Pixel(int x, int y) const;
    // Draws an image whose pixel (i, j) covers [x + i, x + i + 1) x [y + j, y + j + 1) before `to_device`
    // (row vectors: device = [u v 1] x to_device), nearest-pixel sampling, times opacity.
    void DrawImage(const MadeImage& image, const DRAWBOT_MatrixF32& to_device, float x, float y, float opacity);
    // Straight-alpha 8-bit copy.
    RgbaImage Picture() const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<unsigned char> pixels_;
};

struct DrawingSettings {
    float screen_scale = 1.0f;        // GetTransformToScreenScale's answer; device pixels per panel pixel
    bool prefers_bgra = false;        // the supplier's answers about pixel layouts
    bool supports_bgra = true;
    bool supports_argb = true;
    // The theme; an empty colour makes its call fail (background: PF_AppGetBgColor; text: PF_AppGetColor
    // with PF_App_Color_TEXT; accent: with colour type 55).
    std::optional<PF_App_Color> background;
    std::optional<PF_App_Color> text;
    std::optional<PF_App_Color> accent;
    PF_LRect frame{0, 0, 300, 50};    // the header control's frame in the panel (MakeEvent)
    std::optional<Rgb> panel;         // painted opaque before each draw; empty: the surface starts transparent
};

// What an event left behind.
struct EventResult {
    PF_Err err;
    PF_EventExtra event;   // as the plug-in left it: evt_out_flags, set_cursor
};

class DrawingHost {
public:
    // Offers the drawing suites on `suites`; events go to the module as PF_Cmd_EVENT.
    DrawingHost(EffectModule& module, SuiteTable& suites, FaultInjector& faults);
    ~DrawingHost();
    DrawingHost(const DrawingHost&) = delete;
    DrawingHost& operator=(const DrawingHost&) = delete;

    DrawingSettings& settings() { return settings_; }
    void SetTheme(const PanelTheme& theme);

    // ---- events ----
    // An event for the header control (parameter 1) in the Effect Controls window, in settings().frame.
    PF_EventExtra MakeEvent(PF_EventType type);
    // Sends PF_Cmd_EVENT. A draw first resets the surface to the event's frame and the panel colour.
    EventResult SendEvent(PF_EventExtra event);
    EventResult SendDraw() { return SendEvent(MakeEvent(PF_Event_DRAW)); }
    EventResult SendClick(A_long h, A_long v, A_long num_clicks = 1);
    EventResult SendCursor(A_long h, A_long v);

    // ---- what was drawn ----
    const RasterSurface& surface() const { return surface_; }
    const std::deque<MadeImage>& images() const { return images_; }   // every image made, in order
    const std::vector<DrawRecord>& draws() const { return draws_; }
    int ImagesReleased() const;
    int ImagesOutstanding() const { return static_cast<int>(images_.size()) - ImagesReleased(); }
    int StateDepth() const { return static_cast<int>(states_.size()); }   // pushes not popped
    int BadReleases() const { return bad_releases_; }   // releases of unknown or released objects
    // Draws that found an image's source buffer changed since it was made (freed or overwritten).
    int SourceChanges() const { return source_changes_; }
    void ClearLogs();

private:
    struct Callbacks;

    DRAWBOT_DrawRef DrawRef() { return reinterpret_cast<DRAWBOT_DrawRef>(&draw_tag_); }
    DRAWBOT_SupplierRef SupplierRef() { return reinterpret_cast<DRAWBOT_SupplierRef>(&supplier_tag_); }
    DRAWBOT_SurfaceRef SurfaceRef() { return reinterpret_cast<DRAWBOT_SurfaceRef>(&surface_tag_); }
    MadeImage* FindImage(const void* ref);
    void ResetSurface(const PF_LRect& frame);

    EffectModule& module_;
    FaultInjector& faults_;
    DrawingSettings settings_;

    PF_Context context_{};
    PF_ContextPtr context_ptr_ = &context_;
    char draw_tag_ = 0, supplier_tag_ = 0, surface_tag_ = 0;   // their addresses are the handles

    PF_EffectCustomUISuite1 custom_ui_suite_{};
    DRAWBOT_DrawbotSuite1 draw_suite_{};
    DRAWBOT_SupplierSuite1 supplier_suite_{};
    DRAWBOT_SurfaceSuite2 surface_suite_2_{};
    // Version 1 is allocated only up to Flush, so reading GetTransformToScreenScale through it is caught.
    std::unique_ptr<unsigned char[]> surface_suite_1_;
    PFAppSuite6 app_suite_{};

    RasterSurface surface_;
    DRAWBOT_MatrixF32 transform_{};                // the plug-in's, panel pixels
    std::vector<DRAWBOT_MatrixF32> states_;
    std::deque<MadeImage> images_;                 // a deque: the handles point at its elements
    std::vector<DrawRecord> draws_;
    int bad_releases_ = 0;
    int source_changes_ = 0;
};

// The header as the host shows it: drawn by the plug-in through `ui` at a screen scale (1 or 2), over the
// panel in the theme's background colour, 300 x 50 panel pixels. Throws std::runtime_error when the plug-in
// did not draw it.
RgbaImage DrawHeaderImage(DrawingHost& ui, float screen_scale, const PanelTheme& theme);
