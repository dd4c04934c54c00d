// Drawing the header through the host's drawing suites: which image for which screen, where it lands, the
// fallbacks, the byte orders, the theme read from the host, and that everything taken is given back.
#include "HeaderTheme.h"
#include "UiTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>

namespace {

const PF_LRect FRAME_80{30, 20, 400, 100};   // content 15 pixels below the top: origin (30, 35)

// A host call that fails `times` times (every time: -1).
Injection Failing(HostCall call, int times = 1)
{
    Injection injection;
    injection.call = call;
    injection.times = times;
    return injection;
}

// A suite that cannot be acquired, by name (every version).
Injection Missing(const char* suite, int times = -1)
{
    Injection injection = Failing(HostCall::AcquireSuite, times);
    injection.suite = suite;
    return injection;
}

HeaderColor FromApp(const Rgb& rgb)
{
    const PF_App_Color c = ToAppColor(rgb);
    return {c.red / 65535.0f, c.green / 65535.0f, c.blue / 65535.0f};
}

// The colours the plug-in should paint in for a host theme, read through the 16-bit host colours.
HeaderTheme Expected(const PanelTheme& theme)
{
    return DeriveHeaderTheme({FromApp(theme.text), FromApp(theme.accent), FromApp(theme.background)});
}

PanelTheme Theme(float background, float text, Rgb accent = {0.33f, 0.62f, 1.0f})
{
    return PanelTheme{{background, background, background}, {text, text, text}, accent};
}

bool IsHalfScale(const DRAWBOT_MatrixF32& m)
{
    return m.mat[0][0] == 0.5f && m.mat[1][1] == 0.5f && m.mat[0][1] == 0 && m.mat[1][0] == 0 &&
           m.mat[2][0] == 0 && m.mat[2][1] == 0 && m.mat[2][2] == 1;
}

bool IsIdentity(const DRAWBOT_MatrixF32& m)
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (m.mat[i][j] != (i == j ? 1.0f : 0.0f)) {
                return false;
            }
        }
    }
    return true;
}

// One mask pixel of the image the plug-in handed over, as R, G, B bytes.
std::array<int, 3> Rgb8At(const MadeImage& image, int index)
{
    const Rgba8 p = image.At(index % image.width, index / image.width);
    return {p[0], p[1], p[2]};
}

std::array<int, 3> Bytes(const HeaderColor& c)
{
    return {ChannelByte(c.r), ChannelByte(c.g), ChannelByte(c.b)};
}

class HeaderDraw : public HeaderHost {
protected:
    // One draw; checks what every draw must leave behind and returns the event.
    EventResult Draw()
    {
        ui.ClearLogs();
        const EventResult drawn = ui.SendDraw();
        EXPECT_EQ(drawn.err, PF_Err_NONE);
        ExpectNothingHeld();
        return drawn;
    }

    void ExpectNothingHeld()
    {
        EXPECT_EQ(host.suites().Outstanding(), 0);
        EXPECT_EQ(ui.ImagesOutstanding(), 0);
        EXPECT_EQ(ui.BadReleases(), 0);
        EXPECT_EQ(ui.StateDepth(), 0);
        EXPECT_EQ(ui.SourceChanges(), 0);
    }

    // The only image drawn.
    const MadeImage& Drawn()
    {
        EXPECT_EQ(ui.draws().size(), 1u);
        return ui.images().at(ui.draws().at(0).image);
    }

    // The premultiplied colour of the drawn image at the fullest pixel of a 1x mask, and what a colour
    // gives there.
    std::array<int, 3> at(const unsigned char* mask) { return Rgb8At(Drawn(), PeakPixel(mask)); }
    static std::array<int, 3> expect(const unsigned char* mask, HeaderColor color)
    {
        return Bytes(Covered(color, mask[PeakPixel(mask)]));
    }

    void ExpectOneXDrawnAt(float x, float y)
    {
        ASSERT_EQ(ui.draws().size(), 1u);
        const DrawRecord& record = ui.draws()[0];
        EXPECT_EQ(Drawn().width, 300);
        EXPECT_EQ(record.point.x, x);
        EXPECT_EQ(record.point.y, y);
        EXPECT_EQ(record.opacity, 1.0f);
        EXPECT_TRUE(IsIdentity(record.transform));
    }

    // Every surface pixel in the image's rectangle holds the image's pixel, every other one is untouched.
    void ExpectSurfaceHolds(const MadeImage& image, int x0, int y0)
    {
        const RasterSurface& surface = ui.surface();
        for (int y = 0; y < surface.height(); ++y) {
            for (int x = 0; x < surface.width(); ++x) {
                const bool inside = x >= x0 && x < x0 + image.width && y >= y0 && y < y0 + image.height;
                const Rgba8 expected = inside ? image.At(x - x0, y - y0) : Rgba8{0, 0, 0, 0};
                ASSERT_EQ(surface.Pixel(x, y), expected) << "pixel (" << x << ", " << y << ")";
            }
        }
    }
};

TEST_F(HeaderDraw, TheScreenScaleChoosesTheImage)
{
    const struct {
        float scale;
        int width;
    } cases[] = {{1.0f, 300}, {1.5f, 300}, {1.5001f, 600}, {2.0f, 600}, {15.9f, 600}, {16.0f, 300},
                 {0.5f, 300}, {std::numeric_limits<float>::quiet_NaN(), 300}};
    ui.settings().frame = FRAME_80;
    for (const auto& c : cases) {
        SCOPED_TRACE("screen scale " + std::to_string(c.scale));
        ui.settings().screen_scale = c.scale;
        EXPECT_EQ(Draw().event.evt_out_flags, PF_EO_HANDLED_EVENT);
        ASSERT_EQ(ui.images().size(), 1u);
        EXPECT_EQ(Drawn().width, c.width);
        if (c.width == 600) {
            EXPECT_EQ(Drawn().height, 100);
            EXPECT_EQ(Drawn().row_bytes, 2400);
            EXPECT_TRUE(IsHalfScale(ui.draws()[0].transform));
            EXPECT_EQ(ui.draws()[0].point.x, 60.0f);
            EXPECT_EQ(ui.draws()[0].point.y, 70.0f);
        } else {
            EXPECT_EQ(Drawn().row_bytes, 1200);
            ExpectOneXDrawnAt(30.0f, 35.0f);
        }
    }
}

TEST_F(HeaderDraw, TheImageLandsAtTheOriginPixelForPixel)
{
    const struct {
        PF_LRect frame;
        int x, y;
    } cases[] = {{FRAME_80, 30, 35}, {{0, 0, 300, 51}, 0, 0}, {{5, 7, 305, 57}, 5, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE("frame " + std::to_string(c.frame.bottom - c.frame.top) + " tall");
        ui.settings().frame = c.frame;
        Draw();
        ExpectSurfaceHolds(Drawn(), c.x, c.y);
    }
    // At 2x, through the pushed state and the half-scale transform: one image pixel per device pixel.
    ui.settings().frame = FRAME_80;
    ui.settings().screen_scale = 2.0f;
    Draw();
    ASSERT_EQ(Drawn().width, 600);
    ExpectSurfaceHolds(Drawn(), 60, 70);
}

TEST_F(HeaderDraw, AFailing2xStepFallsBackTo1xInTheSameEvent)
{
    ui.settings().frame = FRAME_80;
    ui.settings().screen_scale = 2.0f;
    for (HostCall step : {HostCall::NewImageFromBuffer, HostCall::PushStateStack, HostCall::Transform,
                          HostCall::DrawImage}) {
        SCOPED_TRACE("failing step " + std::to_string(static_cast<int>(step)));
        host.faults().Clear();
        host.faults().Inject(Failing(step));
        host.ClearLogs();
        EXPECT_EQ(Draw().event.evt_out_flags, PF_EO_HANDLED_EVENT);
        ExpectOneXDrawnAt(30.0f, 35.0f);
        // The state is popped exactly when it was pushed.
        const bool pushed = step == HostCall::Transform || step == HostCall::DrawImage;
        EXPECT_EQ(host.faults().CallCount(HostCall::PopStateStack), pushed ? 1 : 0);
    }
}

TEST_F(HeaderDraw, A1xImageThatCannotBeMadeLeavesTheAreaBlankButTheEventHandled)
{
    host.faults().Inject(Failing(HostCall::NewImageFromBuffer, -1));
    for (float scale : {1.0f, 2.0f}) {
        ui.settings().screen_scale = scale;
        EXPECT_EQ(Draw().event.evt_out_flags, PF_EO_HANDLED_EVENT);
        EXPECT_TRUE(ui.draws().empty());
    }
}

TEST_F(HeaderDraw, WithoutItsSuitesOrObjectsNothingIsDrawnAndTheEventStaysUnhandled)
{
    auto expect_nothing = [&](const std::string& what) {
        SCOPED_TRACE(what);
        const EventResult drawn = Draw();
        EXPECT_EQ(drawn.event.evt_out_flags, 0);
        EXPECT_TRUE(ui.images().empty());
        host.faults().Clear();
    };
    for (const char* suite : {kPFEffectCustomUISuite, kDRAWBOT_DrawSuite, kDRAWBOT_SupplierSuite,
                              kDRAWBOT_SurfaceSuite}) {
        Injection missing = Missing(suite);
        host.faults().Inject(missing);
        expect_nothing(std::string(suite) + " missing");
        missing.null_suite = true;   // acquired, but no table: still released
        host.faults().Inject(missing);
        expect_nothing(std::string(suite) + " without a table");
    }
    for (HostCall call : {HostCall::GetDrawingReference, HostCall::GetSupplier, HostCall::GetSurface}) {
        host.faults().Inject(Failing(call));
        expect_nothing("call " + std::to_string(static_cast<int>(call)) + " failing");
    }
}

TEST_F(HeaderDraw, SurfaceSuite1AloneDrawsAt1x)
{
    host.faults().Inject(Missing(kDRAWBOT_SurfaceSuite, 1));   // version 2 is asked for first
    ui.settings().frame = FRAME_80;
    ui.settings().screen_scale = 2.0f;
    host.ClearLogs();
    EXPECT_EQ(Draw().event.evt_out_flags, PF_EO_HANDLED_EVENT);
    ExpectOneXDrawnAt(30.0f, 35.0f);
    EXPECT_EQ(host.faults().CallCount(HostCall::GetTransformToScreenScale), 0);
    EXPECT_EQ(host.suites().Acquired(kDRAWBOT_SurfaceSuite, 1), 1);
}

TEST_F(HeaderDraw, BgraAndArgbGiveTheSamePicture)
{
    const struct {
        bool prefers_bgra, supports_bgra, supports_argb;
        DRAWBOT_PixelLayout layout;
    } hosts[] = {{false, true, true, kDRAWBOT_PixelLayout_32ARGB_Premul},
                 {true, true, true, kDRAWBOT_PixelLayout_32BGRA_Premul},
                 {false, true, false, kDRAWBOT_PixelLayout_32BGRA_Premul},
                 {false, false, true, kDRAWBOT_PixelLayout_32ARGB_Premul}};
    ui.settings().frame = FRAME_80;
    for (float scale : {1.0f, 2.0f}) {
        ui.settings().screen_scale = scale;
        std::vector<Rgba8> reference;
        for (const auto& h : hosts) {
            ui.settings().prefers_bgra = h.prefers_bgra;
            ui.settings().supports_bgra = h.supports_bgra;
            ui.settings().supports_argb = h.supports_argb;
            Draw();
            EXPECT_EQ(Drawn().layout, h.layout);
            std::vector<Rgba8> picture;
            for (int y = 0; y < ui.surface().height(); ++y) {
                for (int x = 0; x < ui.surface().width(); ++x) {
                    picture.push_back(ui.surface().Pixel(x, y));
                }
            }
            if (reference.empty()) {
                reference = picture;
            }
            EXPECT_TRUE(picture == reference) << "layout " << h.layout << " at scale " << scale;
        }
    }
}

TEST_F(HeaderDraw, ColourBytesNeverExceedAlpha)
{
    for (const PanelTheme& theme : {PanelTheme::Dark(), PanelTheme::Light(), Theme(1.0f, 1.0f, {1, 1, 1}),
                                    Theme(0.0f, 1.0f, {1, 1, 1})}) {
        ui.SetTheme(theme);
        for (float scale : {1.0f, 2.0f}) {
            ui.settings().screen_scale = scale;
            Draw();
            const MadeImage& image = Drawn();
            for (int y = 0; y < image.height; ++y) {
                for (int x = 0; x < image.width; ++x) {
                    const Rgba8 p = image.At(x, y);
                    ASSERT_TRUE(p[0] <= p[3] && p[1] <= p[3] && p[2] <= p[3]) << "pixel (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST_F(HeaderDraw, TheColoursComeFromTheHostsTheme)
{
    const unsigned char* text = HEADER_TEXT_MASK_1X;
    const unsigned char* secondary = HEADER_SECONDARY_MASK_1X;
    const unsigned char* accent = HEADER_ACCENT_MASK_1X;

    // A light panel whose text is close to it: 0.1 grey.
    ui.SetTheme(Theme(0.9f, 0.8f, {0.0f, 0.3f, 0.7f}));
    Draw();
    EXPECT_EQ(at(text), expect(text, {0.1f, 0.1f, 0.1f}));
    EXPECT_EQ(at(accent), expect(accent, FromApp({0.0f, 0.3f, 0.7f})));

    // An accent close to a dark panel, and one close to a light panel.
    ui.SetTheme(Theme(0.14f, 0.84f, {0.2f, 0.2f, 0.2f}));
    Draw();
    EXPECT_EQ(at(accent), expect(accent, {0.4f, 0.68f, 1.0f}));
    ui.SetTheme(Theme(0.85f, 0.1f, {0.8f, 0.8f, 0.8f}));
    Draw();
    EXPECT_EQ(at(accent), expect(accent, {0.05f, 0.33f, 0.8f}));

    // The secondary colour: 0.62 text + 0.38 background, from the host's colours.
    const PanelTheme tinted{{0.2f, 0.1f, 0.05f}, {0.95f, 0.85f, 0.6f}, {0.3f, 0.7f, 1.0f}};
    ui.SetTheme(tinted);
    Draw();
    const HeaderColor t = FromApp(tinted.text), b = FromApp(tinted.background);
    EXPECT_EQ(at(secondary),
              expect(secondary, {0.62f * t.r + 0.38f * b.r, 0.62f * t.g + 0.38f * b.g, 0.62f * t.b + 0.38f * b.b}));
    EXPECT_EQ(at(text), expect(text, t));
}

TEST_F(HeaderDraw, FailingThemeCallsLeaveTheirColourAtItsDefault)
{
    const unsigned char* text = HEADER_TEXT_MASK_1X;
    const unsigned char* accent = HEADER_ACCENT_MASK_1X;
    ui.SetTheme(Theme(0.14f, 0.3f, {1.0f, 1.0f, 0.0f}));

    ui.settings().text.reset();   // the default 0.84 is readable on the dark panel
    Draw();
    EXPECT_EQ(at(text), expect(text, HEADER_DEFAULT_TEXT));
    EXPECT_EQ(at(accent), expect(accent, {1.0f, 1.0f, 0.0f}));

    ui.SetTheme(Theme(0.9f, 0.84f, {1.0f, 0.0f, 0.0f}));
    ui.settings().background.reset();   // the default dark background: 0.84 text stays
    Injection no_accent = Failing(HostCall::AppGetColor, -1);
    no_accent.param_index = 55;
    host.faults().Inject(no_accent);
    Draw();
    EXPECT_EQ(at(text), expect(text, HEADER_DEFAULT_TEXT));
    EXPECT_EQ(at(accent), expect(accent, HEADER_DEFAULT_ACCENT));

    // No App suite at all: the defaults throughout.
    host.faults().Clear();
    host.faults().Inject(Missing(kPFAppSuite));
    Draw();
    EXPECT_EQ(Drawn().bytes, BuildHeaderPixels(1, HEADER_ARGB, DeriveHeaderTheme(HEADER_DEFAULT_COLORS)));
}

TEST_F(HeaderDraw, AnExceptionLeavesNothingHeld)
{
    ui.settings().screen_scale = 2.0f;
    for (InjectedThrow kind : {InjectedThrow::BadAlloc, InjectedThrow::RuntimeError}) {
        host.faults().Clear();
        Injection failure = Failing(HostCall::DrawImage);
        failure.throws = kind;
        host.faults().Inject(failure);
        ui.ClearLogs();
        const EventResult drawn = ui.SendDraw();
        EXPECT_EQ(drawn.err, kind == InjectedThrow::BadAlloc ? PF_Err_OUT_OF_MEMORY : PF_Err_INTERNAL_STRUCT_DAMAGED);
        ExpectNothingHeld();
    }
}

TEST_F(HeaderDraw, ManyThemesStayCorrectPastTheCacheCapacity)
{
    for (int n = 0; n < 40; ++n) {
        const PanelTheme theme = Theme(0.1f + n * 0.001f, 0.9f - n * 0.002f, {0.3f, 0.5f + n * 0.01f, 1.0f});
        ui.SetTheme(theme);
        ui.settings().screen_scale = n % 2 ? 2.0f : 1.0f;
        Draw();
        EXPECT_EQ(Drawn().bytes, BuildHeaderPixels(n % 2 ? 2 : 1, HEADER_ARGB, Expected(theme))) << "theme " << n;
    }
}

TEST(HeaderDrawThreads, SeparateHostsDrawAtOnce)
{
    constexpr int THREADS = 4;
    std::atomic<int> wrong{0}, unhandled{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            HostSim host(QF_MODULE_PATH);
            DrawingHost& ui = host.drawing();
            for (int round = 0; round < 12; ++round) {
                const int n = (t + round) % 8;   // the threads share themes
                const PanelTheme theme = Theme(0.12f + n * 0.01f, 0.8f, {0.2f, 0.4f + n * 0.05f, 1.0f});
                const int scale = round % 2 ? 2 : 1;
                ui.SetTheme(theme);
                ui.settings().screen_scale = static_cast<float>(scale);
                ui.ClearLogs();
                if (!(ui.SendDraw().event.evt_out_flags & PF_EO_HANDLED_EVENT) || ui.draws().size() != 1) {
                    ++unhandled;
                    continue;
                }
                if (ui.images()[ui.draws()[0].image].bytes != BuildHeaderPixels(scale, HEADER_ARGB, Expected(theme))) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(unhandled.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(HeaderDraw, DrawHeaderImageShowsTheHeaderOverThePanel)
{
    const RgbaImage dark = DrawHeaderImage(host.drawing(), 2.0f, PanelTheme::Dark());
    ASSERT_EQ(dark.width, 600);
    ASSERT_EQ(dark.height, 100);
    EXPECT_EQ(std::vector<unsigned char>(dark.At(599, 99), dark.At(599, 99) + 4),
              (std::vector<unsigned char>{36, 36, 36, 255}));
    int full = 0;
    while (HEADER_TEXT_MASK_2X[full] != 255) {
        ++full;
    }
    const unsigned char* ink = dark.At(full % 600, full / 600);
    EXPECT_EQ(std::vector<unsigned char>(ink, ink + 4), (std::vector<unsigned char>{214, 214, 214, 255}));
    EXPECT_EQ(ui.settings().screen_scale, 1.0f);   // the host's own settings are back

    const RgbaImage light = DrawHeaderImage(host.drawing(), 1.0f, PanelTheme::Light());
    EXPECT_EQ(light.width, 300);
    EXPECT_EQ(light.height, 50);
    EXPECT_EQ(light.At(299, 0)[0], 219);

    host.faults().Inject(Missing(kDRAWBOT_DrawSuite));
    EXPECT_THROW(DrawHeaderImage(host.drawing(), 1.0f, PanelTheme::Dark()), std::runtime_error);
}

}   // namespace
