// Frame time, downsample, margins, request rectangles, the geometric half of QF_Frame and the whole
// frame record.
#include "FrameBuilder.h"
#include "FrameTestUtil.h"
#include "RenderGeometry.h"
#include "WaveGeneration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

void ExpectRect(const PixelRect& r, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

// A buffer of width x height at layer position (x0, y0), rows packed.
BufferPlacement Buffer(int width, int height, int x0 = 0, int y0 = 0)
{
    return BufferPlacement{x0, y0, width, height, width};
}

QF_Frame Fill(const FrameLayout& layout, float dsx = 1.0f, float dsy = 1.0f)
{
    QF_Frame frame;
    std::memset(&frame, 0, sizeof frame);
    FillGeometry(layout, dsx, dsy, frame);
    return frame;
}

// A 1920 x 1080 layer at full resolution, all of it in the input buffer; the output a part of it.
FrameLayout LayerLayout()
{
    FrameLayout layout;
    layout.input = Buffer(1920, 1080);
    layout.layer = PixelRect{0, 0, 1920, 1080};
    layout.output = Buffer(500, 400, 100, 50);
    return layout;
}

}   // namespace

TEST(FrameTime, IsTimeOverTimeScale)
{
    EXPECT_EQ(FrameTimeSeconds(-3003, 1000), -3.003);
    EXPECT_EQ(FrameTimeSeconds(-3003, 0), 0.0);
    EXPECT_GT(FrameTimeSeconds(2147483647, 4294967295u), 0.0);   // unsigned: not -1
}

TEST(Downsample, OnlyRatiosAboveZeroUpTo1000Count)
{
    EXPECT_EQ(DownsampleFactor(1, 0), 1.0f);
    EXPECT_EQ(DownsampleFactor(0, 1), 1.0f);
    EXPECT_EQ(DownsampleFactor(2000, 1), 1.0f);
    EXPECT_EQ(DownsampleFactor(1000, 1), 1000.0f);
    EXPECT_EQ(DownsampleFactor(1, 4), 0.25f);
    EXPECT_EQ(DownsampleFactor(1, 3), static_cast<float>(1.0 / 3.0));
    EXPECT_EQ(DownsampleFactor(-1, 2), 1.0f);
    EXPECT_EQ(DownsampleFactor(1, 2), 0.5f);
}

TEST(Margin, DefaultControlsOnA1080pLayer)
{
    const WarpSettings s = Controls().Read(1.0);
    const double expected[5] = {64.47, 125.38, 280.89, 161.73, 245.91};
    const std::vector<WaveDraft> drafts = GenerateWaves(Sane(s), s.wave_count);
    ASSERT_EQ(drafts.size(), 5u);
    double sum = 0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(drafts[i].amplitude, expected[i], 0.005) << "wave " << i;
        sum += drafts[i].amplitude;
    }
    EXPECT_NEAR(MaxDisplacement(Sane(s)), sum * 1.5, 1e-9);
    EXPECT_NEAR(MaxDisplacement(Sane(s)), 1317.57, 0.005);

    EXPECT_EQ(InputMargin(Sane(s), 1.0, 1.0), 1326);
    EXPECT_EQ(InputMargin(Sane(s), 0.5, 0.5), 667);   // the displacement halves, aa_cap and the extra do not
    EXPECT_EQ(InputMargin(Sane(s), 0.5, 1.0), 1326);  // the larger factor counts
    EXPECT_EQ(InputMargin(Sane(s), std::numeric_limits<float>::quiet_NaN(), 0.5), 1326);

    WarpSettings still = s;
    still.amount = 0;
    EXPECT_EQ(InputMargin(Sane(still), 1.0, 1.0), 8);
    still.antialiasing = 0;
    EXPECT_EQ(InputMargin(Sane(still), 1.0, 1.0), 5);
}

TEST(Margin, ColourSplitWidensItAndTheCapLimitsIt)
{
    WarpSettings s = Controls().Read(1.0);
    const double plain = MaxDisplacement(Sane(s));
    s.color_split = -0.5;
    EXPECT_DOUBLE_EQ(MaxDisplacement(Sane(s)), plain * 1.5);

    s.amount = 10;
    s.strength = 20;
    s.wave_size = 100000;
    s.scale = 100;
    s.wave_count = 32;
    EXPECT_EQ(InputMargin(Sane(s), 1000.0, 1000.0), MARGIN_CAP);
}

TEST(InputRequest, WrapAndMirrorAskForTheWholeLayer)
{
    WarpSettings s = Controls().Read(1.0);
    const PixelRect request{10, 20, 30, 40};
    for (int mode : {QF_EDGE_WRAP, QF_EDGE_MIRROR}) {
        s.edge_mode = mode;
        ExpectRect(InputRequestRect(s, request, 1326), -1048576, -1048576, 1048576, 1048576);
    }
    s.edge_mode = QF_EDGE_REPEAT;
    ExpectRect(InputRequestRect(s, request, 1326), 10 - 1326, 20 - 1326, 30 + 1326, 40 + 1326);
    s.edge_mode = QF_EDGE_TRANSPARENT;
    ExpectRect(InputRequestRect(s, request, 5), 5, 15, 35, 45);
}

TEST(InputRequest, GrowingStopsAtTheCoordinateLimit)
{
    const WarpSettings s = Controls().Read(1.0);
    constexpr std::int32_t big = std::numeric_limits<std::int32_t>::max();
    const PixelRect near_limit{-1073740000, -big, 1073740000, big};
    ExpectRect(InputRequestRect(s, near_limit, MARGIN_CAP), -1073741824, -1073741824, 1073741824, 1073741824);
}

TEST(InputRequest, RegionForAnOutputTakesTheMarginOrTheWholeLayer)
{
    WarpSettings s = Controls().Read(1.0);
    ExpectRect(InputRegionFor(Sane(s), 1.0f, 1.0f, PixelRect{10, 20, 30, 40}), 10 - 1326, 20 - 1326, 30 + 1326,
               40 + 1326);
    ExpectRect(InputRegionFor(Sane(s), 0.5f, 0.5f, PixelRect{10, 20, 30, 40}), 10 - 667, 20 - 667, 30 + 667, 40 + 667);
    s.edge_mode = QF_EDGE_MIRROR;
    ExpectRect(InputRegionFor(Sane(s), 1.0f, 1.0f, PixelRect{10, 20, 30, 40}), -1048576, -1048576, 1048576, 1048576);
}

TEST(ResultRect, IsTheRequestClippedToTheLayer)
{
    ExpectRect(IntersectRect(PixelRect{-50, 10, 700, 2000}, PixelRect{0, 0, 640, 480}), 0, 10, 640, 480);
    ExpectRect(IntersectRect(PixelRect{700, 10, 800, 20}, PixelRect{0, 0, 640, 480}), 0, 0, 0, 0);
    ExpectRect(IntersectRect(PixelRect{640, 0, 700, 480}, PixelRect{0, 0, 640, 480}), 0, 0, 0, 0);
}

TEST(FillGeometry, BuffersKeepTheirPlacesAndSizes)
{
    QF_Frame f = Fill(LayerLayout(), 0.5f, 0.25f);
    EXPECT_EQ(f.out_x0, 100);
    EXPECT_EQ(f.out_y0, 50);
    EXPECT_EQ(f.out_w, 500);
    EXPECT_EQ(f.out_h, 400);
    EXPECT_EQ(f.band_y0, 0);
    EXPECT_EQ(f.band_h, 400);
    EXPECT_EQ(f.in_x0, 0);
    EXPECT_EQ(f.in_y0, 0);
    EXPECT_EQ(f.in_w, 1920);
    EXPECT_EQ(f.in_h, 1080);
    EXPECT_EQ(f.lay_x1, 1920);
    EXPECT_EQ(f.lay_y1, 1080);
    EXPECT_EQ(f.dsx, 0.5f);
    EXPECT_EQ(f.dsy, 0.25f);
    EXPECT_EQ(f.has_map, 0);

    FrameLayout moved = LayerLayout();
    moved.input = Buffer(1920, 1080, 3, 0);
    moved.output = Buffer(500, 400, 0, -7);
    f = Fill(moved);
    EXPECT_EQ(f.in_x0, 3);
    EXPECT_EQ(f.in_y0, 0);
    EXPECT_EQ(f.out_x0, 0);
    EXPECT_EQ(f.out_y0, -7);
}

TEST(FillGeometry, WithoutLayerExtentTheInputBufferIsTheLayer)
{
    FrameLayout layout = LayerLayout();
    layout.layer = PixelRect{};
    layout.input = Buffer(640, 480, -20, 30);
    QF_Frame f = Fill(layout);
    EXPECT_EQ(f.lay_x0, -20);
    EXPECT_EQ(f.lay_y0, 30);
    EXPECT_EQ(f.lay_x1, 620);
    EXPECT_EQ(f.lay_y1, 510);

    // An origin near the top of the range is held at POSITION_LIMIT instead of overflowing.
    constexpr int top = std::numeric_limits<int>::max();
    layout.input = Buffer(640, 480, top - 10, top);
    f = Fill(layout);
    EXPECT_EQ(f.lay_x1, POSITION_LIMIT);
    EXPECT_EQ(f.lay_y1, POSITION_LIMIT);
}

TEST(FillGeometry, HalfSizeMapIsStretchedOverTheLayer)
{
    FrameLayout layout = LayerLayout();
    layout.map = Buffer(960, 540);
    layout.map_layer = PixelRect{0, 0, 960, 540};
    const QF_Frame f = Fill(layout);
    EXPECT_EQ(f.has_map, 1);
    EXPECT_EQ(f.map_w, 960);
    EXPECT_EQ(f.map_h, 540);
    EXPECT_EQ(f.map_sx, 0.5f);
    EXPECT_EQ(f.map_sy, 0.5f);
    EXPECT_EQ(f.map_ox, -0.5f);
    EXPECT_EQ(f.map_oy, -0.5f);
}

TEST(FillGeometry, IdenticalMapReadsTheSameTexel)
{
    FrameLayout layout = LayerLayout();
    layout.layer = PixelRect{-8, 4, 1912, 1084};
    layout.map = Buffer(1920, 1080, -8, 4);
    layout.map_layer = PixelRect{-8, 4, 1912, 1084};
    const QF_Frame f = Fill(layout);
    ASSERT_EQ(f.has_map, 1);
    EXPECT_EQ(f.map_sx, 1.0f);
    EXPECT_EQ(f.map_sy, 1.0f);
    // Layer pixel X (centre X + 0.5) lands on map buffer X - map origin.
    for (int x : {-8, 0, 700, 1911}) {
        EXPECT_EQ(std::floor((x + 0.5f) * f.map_sx + f.map_ox), static_cast<float>(x + 8));
    }

    // Both buffers at layer origin 0: the plain case.
    FrameLayout z = LayerLayout();
    z.map = Buffer(1920, 1080);
    z.map_layer = PixelRect{0, 0, 1920, 1080};
    const QF_Frame g = Fill(z);
    EXPECT_EQ(g.map_ox, -0.5f);
    EXPECT_EQ(g.map_oy, -0.5f);
}

TEST(FillGeometry, MapOriginAndLayerOffsetShiftTheTransform)
{
    FrameLayout layout = LayerLayout();
    layout.layer = PixelRect{-100, 0, 1820, 1080};
    layout.map = Buffer(400, 200, 200, 100);   // a part of the map layer
    layout.map_layer = PixelRect{0, 0, 960, 540};
    QF_Frame f = Fill(layout);
    // 100 * 0.5 + 0 - 200 - 0.5 and 0 * 0.5 + 0 - 100 - 0.5
    EXPECT_EQ(f.map_ox, -150.5f);
    EXPECT_EQ(f.map_oy, -100.5f);

    layout.map = Buffer(400, 200, 10, 0);
    f = Fill(layout);
    EXPECT_EQ(f.map_ox, 39.5f);
    EXPECT_EQ(f.map_oy, -0.5f);
}

TEST(FillGeometry, NoMapWithoutPixelsOrExtent)
{
    FrameLayout layout = LayerLayout();
    layout.map = Buffer(0, 540);
    layout.map_layer = PixelRect{0, 0, 960, 540};
    EXPECT_EQ(Fill(layout).has_map, 0);

    layout.map = Buffer(960, 540);
    layout.map_layer = PixelRect{0, 0, 0, 540};
    EXPECT_EQ(Fill(layout).has_map, 0);

    layout.map_layer = PixelRect{0, 0, 960, 540};
    layout.layer = PixelRect{};   // layer bounds from an empty input buffer
    layout.input = Buffer(0, 0);
    EXPECT_EQ(Fill(layout).has_map, 0);
}

TEST(FillGeometry, LegacyRecordTakesEveryPositionFromTheRectangles)
{
    // As the legacy render lays it out: output origin (10, 20) in in_data, the layers whole at (0, 0).
    FrameLayout layout;
    layout.input = Buffer(800, 600);
    layout.layer = PixelRect{0, 0, 800, 600};
    layout.output = Buffer(800, 600, -10, -20);
    layout.map = Buffer(400, 300);
    layout.map_layer = PixelRect{0, 0, 400, 300};
    const QF_Frame f = Fill(layout);
    EXPECT_EQ(f.out_x0, -10);
    EXPECT_EQ(f.out_y0, -20);
    EXPECT_EQ(f.in_x0, 0);
    EXPECT_EQ(f.lay_x1, 800);
    EXPECT_EQ(f.map_sx, 0.5f);
    EXPECT_EQ(f.map_sy, 0.5f);
    EXPECT_EQ(f.map_ox, -0.5f);
}

TEST(FillGeometry, DownsampleFactorsStayPositive)
{
    const QF_Frame f = Fill(LayerLayout(), 0.0f, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(f.dsx, 1.0f);
    EXPECT_EQ(f.dsy, 1.0f);
}

TEST(MakeFrame, IsTheWavesTheGeometryAndThePitches)
{
    const WarpSettings s = Controls().Float(PARAM_COLOR_SPLIT, 20).Read(1.0);
    FrameLayout layout = LayerLayout();
    layout.input.pitch = 1936;
    layout.output.pitch = 512;
    layout.map = BufferPlacement{0, 0, 960, 540, 976};
    layout.map_layer = PixelRect{0, 0, 960, 540};
    const QF_Frame frame = MakeFrame(Sane(s), 1.25, 0.5f, 0.5f, layout);

    QF_Frame expected;
    std::memset(&expected, 0, sizeof expected);
    BuildFrame(Sane(s), 1.25, expected);
    FillGeometry(layout, 0.5f, 0.5f, expected);
    expected.in_pitch = 1936;
    expected.out_pitch = 512;
    expected.map_pitch = 976;
    EXPECT_EQ(std::memcmp(&frame, &expected, sizeof frame), 0);

    // Without a map there is no map pitch, whatever the placement says.
    layout.map_layer = PixelRect{};
    EXPECT_EQ(MakeFrame(Sane(s), 1.25, 0.5f, 0.5f, layout).map_pitch, 0);
}
