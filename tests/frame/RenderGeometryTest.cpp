// Frame time, downsample, margins, request and result rectangles, and the geometric half of QF_Frame.
#include "FrameTestUtil.h"
#include "RenderGeometry.h"
#include "WaveGeneration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

void ExpectRect(const PF_LRect& r, A_long left, A_long top, A_long right, A_long bottom)
{
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

PF_EffectWorld World(int width, int height, int origin_x = 0, int origin_y = 0)
{
    PF_EffectWorld w{};
    w.width = width;
    w.height = height;
    w.origin_x = origin_x;
    w.origin_y = origin_y;
    return w;
}

QF_Frame Fill(const PreRenderData& data, const PF_EffectWorld& in, const PF_EffectWorld& out,
              const PF_EffectWorld* map)
{
    QF_Frame frame;
    std::memset(&frame, 0, sizeof frame);
    FillGeometry(data, &in, &out, map, frame);
    return frame;
}

// A 1920 x 1080 layer at full resolution; the output is the request, the input its grown rectangle.
PreRenderData LayerRecord()
{
    PreRenderData d;
    d.settings = Controls().Read(1.0);
    d.input_rect = PF_LRect{0, 0, 1920, 1080};
    d.input_max_rect = PF_LRect{0, 0, 1920, 1080};
    d.output_rect = PF_LRect{100, 50, 600, 450};
    return d;
}

}   // namespace

TEST(FrameTime, IsCurrentTimeOverTimeScale)
{
    PF_InData in{};
    in.current_time = -3003;
    in.time_scale = 1000;
    EXPECT_EQ(FrameTimeSeconds(&in), -3.003);
    in.time_scale = 0;
    EXPECT_EQ(FrameTimeSeconds(&in), 0.0);
    EXPECT_EQ(FrameTimeSeconds(nullptr), 0.0);
    in.current_time = 2147483647;
    in.time_scale = 4294967295u;   // unsigned: not -1
    EXPECT_GT(FrameTimeSeconds(&in), 0.0);
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
    EXPECT_EQ(DownsampleFactor(PF_RationalScale{1, 2}), 0.5f);
}

TEST(Margin, DefaultControlsOnA1080pLayer)
{
    const WarpSettings s = Controls().Read(1.0);
    const double expected[5] = {64.47, 125.38, 280.89, 161.73, 245.91};
    const std::vector<WaveDraft> drafts = GenerateWaves(s, s.wave_count);
    ASSERT_EQ(drafts.size(), 5u);
    double sum = 0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(drafts[i].amplitude, expected[i], 0.005) << "wave " << i;
        sum += drafts[i].amplitude;
    }
    EXPECT_NEAR(MaxDisplacement(s), sum * 1.5, 1e-9);
    EXPECT_NEAR(MaxDisplacement(s), 1317.57, 0.005);

    EXPECT_EQ(InputMargin(s, 1.0, 1.0), 1326);
    EXPECT_EQ(InputMargin(s, 0.5, 0.5), 667);   // the displacement halves, aa_cap and the extra do not
    EXPECT_EQ(InputMargin(s, 0.5, 1.0), 1326);  // the larger factor counts
    EXPECT_EQ(InputMargin(s, std::numeric_limits<float>::quiet_NaN(), 0.5), 1326);

    WarpSettings still = s;
    still.amount = 0;
    EXPECT_EQ(InputMargin(still, 1.0, 1.0), 8);
    still.antialiasing = 0;
    EXPECT_EQ(InputMargin(still, 1.0, 1.0), 5);
}

TEST(Margin, ColourSplitWidensItAndTheCapLimitsIt)
{
    WarpSettings s = Controls().Read(1.0);
    const double plain = MaxDisplacement(s);
    s.color_split = -0.5;
    EXPECT_DOUBLE_EQ(MaxDisplacement(s), plain * 1.5);

    s.amount = 10;
    s.strength = 20;
    s.wave_size = 100000;
    s.scale = 100;
    s.wave_count = 32;
    EXPECT_EQ(InputMargin(s, 1000.0, 1000.0), MARGIN_CAP);
}

TEST(InputRequest, WrapAndMirrorAskForTheWholeLayer)
{
    WarpSettings s = Controls().Read(1.0);
    const PF_LRect request{10, 20, 30, 40};
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
    constexpr A_long big = std::numeric_limits<A_long>::max();
    const PF_LRect near_limit{-1073740000, -big, 1073740000, big};
    ExpectRect(InputRequestRect(s, near_limit, MARGIN_CAP), -1073741824, -1073741824, 1073741824, 1073741824);
}

TEST(ResultRect, IsTheRequestClippedToTheLayer)
{
    ExpectRect(IntersectRect(PF_LRect{-50, 10, 700, 2000}, PF_LRect{0, 0, 640, 480}), 0, 10, 640, 480);
    ExpectRect(IntersectRect(PF_LRect{700, 10, 800, 20}, PF_LRect{0, 0, 640, 480}), 0, 0, 0, 0);
    ExpectRect(IntersectRect(PF_LRect{640, 0, 700, 480}, PF_LRect{0, 0, 640, 480}), 0, 0, 0, 0);

    PreRenderData d;
    PF_CheckoutResult input{};
    input.result_rect = PF_LRect{-1226, -1276, 2600, 2026};
    input.max_result_rect = PF_LRect{0, 0, 1920, 1080};
    SetInputCheckout(d, PF_LRect{100, 50, 2100, 700}, input);
    ExpectRect(d.input_rect, -1226, -1276, 2600, 2026);
    ExpectRect(d.input_max_rect, 0, 0, 1920, 1080);
    ExpectRect(d.output_rect, 100, 50, 1920, 700);
}

TEST(ResultRect, AMapNeedsBothRectanglesNonEmpty)
{
    PreRenderData d;
    PF_CheckoutResult map{};
    map.max_result_rect = PF_LRect{0, 0, 960, 540};
    SetMapCheckout(d, map);   // an empty result rectangle: no map
    EXPECT_FALSE(d.has_map);
    map.result_rect = PF_LRect{0, 0, 960, 540};
    SetMapCheckout(d, map);
    EXPECT_TRUE(d.has_map);
    ExpectRect(d.map_max_rect, 0, 0, 960, 540);
}

TEST(PreRender, RecordStartsWithItsInitialValues)
{
    const PreRenderData d;
    EXPECT_EQ(d.time, 0.0);
    EXPECT_EQ(d.dsx, 1.0f);
    EXPECT_EQ(d.dsy, 1.0f);
    EXPECT_FALSE(d.has_map);
    ExpectRect(d.output_rect, 0, 0, 0, 0);
    ExpectRect(d.map_max_rect, 0, 0, 0, 0);
}

TEST(FillGeometry, OriginsComeFromTheWorldOrTheResultRectangle)
{
    PreRenderData d = LayerRecord();
    d.dsx = 0.5f;
    d.dsy = 0.25f;
    const PF_EffectWorld in = World(1920, 1080);
    const PF_EffectWorld out = World(500, 400);
    QF_Frame f = Fill(d, in, out, nullptr);
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

    // Either coordinate of the origin being set makes the world's own origin count, both axes.
    f = Fill(d, World(1920, 1080, 3, 0), World(500, 400, 0, -7), nullptr);
    EXPECT_EQ(f.in_x0, 3);
    EXPECT_EQ(f.in_y0, 0);
    EXPECT_EQ(f.out_x0, 0);
    EXPECT_EQ(f.out_y0, -7);
}

TEST(FillGeometry, WithoutLayerExtentTheInputBufferIsTheLayer)
{
    PreRenderData d = LayerRecord();
    d.input_max_rect = PF_LRect{0, 0, 0, 0};
    d.input_rect = PF_LRect{-20, 30, 0, 0};
    QF_Frame f = Fill(d, World(640, 480), World(10, 10), nullptr);
    EXPECT_EQ(f.lay_x0, -20);
    EXPECT_EQ(f.lay_y0, 30);
    EXPECT_EQ(f.lay_x1, 620);
    EXPECT_EQ(f.lay_y1, 510);

    // An origin near the top of the range is held at POSITION_LIMIT instead of overflowing.
    constexpr int top = std::numeric_limits<int>::max();
    f = Fill(d, World(640, 480, top - 10, top), World(10, 10), nullptr);
    EXPECT_EQ(f.lay_x1, POSITION_LIMIT);
    EXPECT_EQ(f.lay_y1, POSITION_LIMIT);
}

TEST(FillGeometry, HalfSizeMapIsStretchedOverTheLayer)
{
    PreRenderData d = LayerRecord();
    d.has_map = true;
    d.map_rect = PF_LRect{0, 0, 960, 540};
    d.map_max_rect = PF_LRect{0, 0, 960, 540};
    const PF_EffectWorld map = World(960, 540);
    const QF_Frame f = Fill(d, World(1920, 1080), World(500, 400), &map);
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
    PreRenderData d = LayerRecord();
    d.input_max_rect = PF_LRect{-8, 4, 1912, 1084};
    d.has_map = true;
    d.map_rect = PF_LRect{-8, 4, 1912, 1084};
    d.map_max_rect = d.map_rect;
    const PF_EffectWorld map = World(1920, 1080);
    const QF_Frame f = Fill(d, World(1920, 1080), World(500, 400), &map);
    ASSERT_EQ(f.has_map, 1);
    EXPECT_EQ(f.map_sx, 1.0f);
    EXPECT_EQ(f.map_sy, 1.0f);
    // Layer pixel X (centre X + 0.5) lands on map buffer X - map origin.
    for (int x : {-8, 0, 700, 1911}) {
        EXPECT_EQ(std::floor((x + 0.5f) * f.map_sx + f.map_ox), static_cast<float>(x + 8));
    }

    // Both buffers at layer origin 0: the plain case.
    PreRenderData z = LayerRecord();
    z.has_map = true;
    z.map_rect = PF_LRect{0, 0, 1920, 1080};
    z.map_max_rect = z.map_rect;
    const QF_Frame g = Fill(z, World(1920, 1080), World(500, 400), &map);
    EXPECT_EQ(g.map_ox, -0.5f);
    EXPECT_EQ(g.map_oy, -0.5f);
}

TEST(FillGeometry, MapOriginAndLayerOffsetShiftTheTransform)
{
    PreRenderData d = LayerRecord();
    d.input_max_rect = PF_LRect{-100, 0, 1820, 1080};
    d.map_rect = PF_LRect{200, 100, 600, 300};
    d.map_max_rect = PF_LRect{0, 0, 960, 540};
    const PF_EffectWorld part = World(400, 200);
    QF_Frame f = Fill(d, World(1920, 1080), World(500, 400), &part);
    // 100 * 0.5 + 0 - 200 - 0.5 and 0 * 0.5 + 0 - 100 - 0.5
    EXPECT_EQ(f.map_ox, -150.5f);
    EXPECT_EQ(f.map_oy, -100.5f);

    const PF_EffectWorld placed = World(400, 200, 10, 0);
    f = Fill(d, World(1920, 1080), World(500, 400), &placed);
    EXPECT_EQ(f.map_ox, 39.5f);
    EXPECT_EQ(f.map_oy, -0.5f);
}

TEST(FillGeometry, NoMapWithoutPixelsOrExtent)
{
    PreRenderData d = LayerRecord();
    d.map_rect = PF_LRect{0, 0, 960, 540};
    d.map_max_rect = PF_LRect{0, 0, 960, 540};
    const PF_EffectWorld empty = World(0, 540);
    EXPECT_EQ(Fill(d, World(1920, 1080), World(500, 400), &empty).has_map, 0);

    const PF_EffectWorld map = World(960, 540);
    d.map_max_rect = PF_LRect{0, 0, 0, 540};
    EXPECT_EQ(Fill(d, World(1920, 1080), World(500, 400), &map).has_map, 0);

    d.map_max_rect = PF_LRect{0, 0, 960, 540};
    d.input_max_rect = PF_LRect{0, 0, 0, 0};   // layer bounds from an empty input buffer
    EXPECT_EQ(Fill(d, World(0, 0), World(500, 400), &map).has_map, 0);
}

TEST(FillGeometry, LegacyRecordTakesEveryPositionFromTheRectangles)
{
    // As the legacy render fills it: output origin (10, 20) in in_data, worlds with cleared origins.
    PreRenderData d;
    d.input_rect = d.input_max_rect = PF_LRect{0, 0, 800, 600};
    d.output_rect = PF_LRect{-10, -20, 790, 580};
    d.has_map = true;
    d.map_rect = d.map_max_rect = PF_LRect{0, 0, 400, 300};
    const PF_EffectWorld map = World(400, 300);
    const QF_Frame f = Fill(d, World(800, 600), World(800, 600), &map);
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
    PreRenderData d = LayerRecord();
    d.dsx = 0.0f;
    d.dsy = std::numeric_limits<float>::quiet_NaN();
    const QF_Frame f = Fill(d, World(1920, 1080), World(500, 400), nullptr);
    EXPECT_EQ(f.dsx, 1.0f);
    EXPECT_EQ(f.dsy, 1.0f);
}
