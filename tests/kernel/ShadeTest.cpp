// The per-pixel shading: early exits, iterations, colour split, mix, downsample, and band/tile invariance.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "KernelTestUtil.h"

using qftest::AddWave;
using qftest::Bits;
using qftest::Image;
using qftest::PlainFrame;

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float PI_F = 3.14159265358979f;

qf4 Shade(const QF_Frame& f, const Image& src, int x, int y, const Image* map = nullptr)
{
    return qf_shade(&f, src.px.data(), map ? map->px.data() : nullptr, x, y);
}

void ExpectSame(qf4 a, qf4 b, const std::string& what)
{
    EXPECT_EQ(Bits(a.x), Bits(b.x)) << what << " blue " << a.x << " vs " << b.x;
    EXPECT_EQ(Bits(a.y), Bits(b.y)) << what << " green " << a.y << " vs " << b.y;
    EXPECT_EQ(Bits(a.z), Bits(b.z)) << what << " red " << a.z << " vs " << b.z;
    EXPECT_EQ(Bits(a.w), Bits(b.w)) << what << " alpha " << a.w << " vs " << b.w;
}

// A frame with a few real waves over a 24 x 20 test card.
QF_Frame WavyFrame(int w = 24, int h = 20)
{
    QF_Frame f = PlainFrame(w, h);
    AddWave(f, 0.31f, 0.05f, 0.4f, 1.9f, 2.6f, 0.4f, -0.3f, 1.7f);
    AddWave(f, -0.07f, 0.23f, 2.2f, -1.0f, -0.5f, 1.9f, 1.1f, 0.2f);
    AddWave(f, 0.12f, -0.17f, -2.5f, 0.7f, 1.3f, -1.0f, 0.8f, 0.9f);
    return f;
}

// A phase at which the triangle wave is exactly 1.
float UnitTrianglePhase()
{
    float ph = PI_F / 2;
    float dw;
    for (int i = 0; i < 64 && qf_wave(QF_WAVE_TRIANGLE, ph, &dw) != 1.0f; i++)
        ph = std::nextafter(ph, 2.0f);
    return ph;
}

// A wave with no wave vector: a constant displacement (sx, sy) with an identity Jacobian.
QF_Frame ShiftFrame(int w, int h, float sx, float sy)
{
    QF_Frame f = PlainFrame(w, h);
    f.waveform = QF_WAVE_TRIANGLE;
    AddWave(f, 0, 0, UnitTrianglePhase(), 0, sx, sy, 0, 0);
    return f;
}

TEST(Shade, EarlyExitsReturnTheStraightInputPixel)
{
    Image src = qftest::TestCard(24, 20);
    src.set(3, 4, 0.2f, NaN, 0.7f, 1.5f); // alpha held at 1, NaN colour to 0
    src.set(5, 5, 0.2f, 0.3f, 0.7f, 0.0f); // transparent
    Image zero_map(24, 20, 0, 0, 0, 1);
    for (int exit_kind = 0; exit_kind < 3; exit_kind++) {
        QF_Frame f = WavyFrame();
        const Image* map = nullptr;
        if (exit_kind == 0)
            f.num_waves = 0; // the wave records are ignored then
        if (exit_kind == 1)
            f.mix = 0.0f;
        if (exit_kind == 2) {
            f.has_map = 1;
            f.map_w = 24;
            f.map_h = 20;
            f.map_pitch = 24;
            f.map_sx = f.map_sy = 1;
            f.map_ox = f.map_oy = -0.5f;
            map = &zero_map;
        }
        for (int y = 0; y < 20; y++)
            for (int x = 0; x < 24; x++)
                ExpectSame(Shade(f, src, x, y, map), qf_load_straight(src.px.data(), 24, x, y),
                           "exit " + std::to_string(exit_kind));
    }
    // A NaN mix does not take the exit.
    QF_Frame f = WavyFrame();
    f.mix = NaN;
    EXPECT_NE(Bits(Shade(f, src, 10, 10).x), Bits(qf_load_straight(src.px.data(), 24, 10, 10).x));
}

TEST(Shade, EarlyExitHoldsThePixelInsideTheInputBuffer)
{
    // Output larger than the input: pixels beyond take the nearest input pixel.
    Image src = qftest::TestCard(8, 8);
    QF_Frame f = PlainFrame(8, 8);
    f.out_w = 12;
    f.out_pitch = 12;
    f.out_x0 = -2;
    ExpectSame(Shade(f, src, 0, 3), qf_load_straight(src.px.data(), 8, 0, 3), "left of input");
    ExpectSame(Shade(f, src, 11, 3), qf_load_straight(src.px.data(), 8, 7, 3), "right of input");
}

TEST(Shade, ZeroIterationsSampleThePixelItself)
{
    Image src = qftest::TestCard(16, 16);
    src.set(4, 4, 0.5f, 0.5f, 0.5f, 1e-7f); // at or below 1e-6 alpha: transparent result
    QF_Frame f = WavyFrame(16, 16);
    f.iterations = 0;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            qf4 v = Shade(f, src, x, y), in = qf_load_straight(src.px.data(), 16, x, y);
            if (x == 4 && y == 4) {
                ExpectSame(v, qf4_zero(), "tiny alpha");
                continue;
            }
            EXPECT_EQ(v.w, in.w);
            EXPECT_NEAR(v.x, in.x, 1e-6f);
            EXPECT_NEAR(v.y, in.y, 1e-6f);
            EXPECT_NEAR(v.z, in.z, 1e-6f);
        }
}

TEST(Shade, ConstantShiftMovesTheImage)
{
    // A whole-pixel displacement of (+2, -1) samples two pixels right and one up, exactly.
    Image src = qftest::TestCard(16, 16, true);
    QF_Frame f = ShiftFrame(16, 16, 2.0f, -1.0f);
    float dw;
    ASSERT_EQ(qf_wave(QF_WAVE_TRIANGLE, UnitTrianglePhase(), &dw), 1.0f);
    ExpectSame(Shade(f, src, 5, 7), qf_load_straight(src.px.data(), 16, 7, 6), "shift");
}

TEST(Shade, ColourSplitFansChannelsAlongTheDisplacement)
{
    Image src = qftest::TestCard(32, 32);
    for (float split : {0.5f, -0.5f}) {
        QF_Frame f = ShiftFrame(32, 32, 3.0f, 1.0f);
        f.split = split;
        const int X = 12, Y = 15;
        float ddx = 3.0f, ddy = 1.0f;
        auto at = [&](float k) {
            return qf_sample(&f, src.px.data(), float(X) + ddx * k, float(Y) + ddy * k, 1, 0, 0, 1);
        };
        qf4 g = at(1.0f), r = at(1.0f + split), b = at(1.0f - split);
        qf4 v = Shade(f, src, X, Y);
        float a = std::min(g.w, 1.0f);
        EXPECT_EQ(Bits(v.w), Bits(a));
        EXPECT_EQ(Bits(v.y), Bits(g.y / a));
        EXPECT_EQ(Bits(v.z), Bits(r.z / a)) << "red at 1 + split";
        EXPECT_EQ(Bits(v.x), Bits(b.x / a)) << "blue at 1 - split";
    }
    // split 0.5 and -0.5 swap the roles of red and blue.
    QF_Frame p = ShiftFrame(32, 32, 3.0f, 1.0f), m = p;
    p.split = 0.5f;
    m.split = -0.5f;
    qf4 vp = Shade(p, src, 9, 9), vm = Shade(m, src, 9, 9);
    EXPECT_NE(Bits(vp.z), Bits(vm.z));
    EXPECT_EQ(Bits(vp.y), Bits(vm.y));
}

TEST(Shade, MixBlendsPremultipliedAndSaturatesAtOne)
{
    Image src = qftest::TestCard(24, 20);
    QF_Frame full = WavyFrame(), half = full, over = full;
    half.mix = 0.5f;
    over.mix = 3.0f;
    for (int y = 2; y < 18; y += 3)
        for (int x = 2; x < 22; x += 3) {
            ExpectSame(Shade(over, src, x, y), Shade(full, src, x, y), "mix above 1");
            qf4 w = Shade(full, src, x, y);
            qf4 warped = qf4_set(w.x * w.w, w.y * w.w, w.z * w.w, w.w);
            qf4 orig = qf_load_premul(src.px.data(), 24, x, y);
            qf4 avg = qf4_lerp(orig, warped, 0.5f);
            qf4 v = Shade(half, src, x, y);
            EXPECT_NEAR(v.w, avg.w, 1e-6f);
            EXPECT_NEAR(v.x, avg.x / avg.w, 2e-6f);
            EXPECT_NEAR(v.z, avg.z / avg.w, 2e-6f);
        }
}

TEST(Shade, HalfResolutionSamplesEverySecondFullResolutionPixel)
{
    Image src = qftest::TestCard(24, 20);
    QF_Frame f = WavyFrame();
    f.dsx = f.dsy = 0.5f;
    f.aa_cap = 1; // single samples, so the expected value is one bicubic tap
    for (int Y : {0, 3, 9})
        for (int X : {0, 5, 11}) {
            float dx, dy, j00, j01, j10, j11;
            qf_field(&f, float(2 * X + 1), float(2 * Y + 1), &dx, &dy, &j00, &j01, &j10, &j11);
            qf4 s = qf_bicubic(&f, src.px.data(), float(X) + dx * 0.5f, float(Y) + dy * 0.5f);
            qf4 v = Shade(f, src, X, Y);
            float a = std::min(s.w, 1.0f);
            EXPECT_EQ(Bits(v.w), Bits(a)) << X << "," << Y;
            EXPECT_EQ(Bits(v.z), Bits(qf_sane(s.z / a))) << X << "," << Y;
        }
}

TEST(Shade, UnknownCodesRenderAsTheirDefaults)
{
    Image src = qftest::TestCard(24, 20);
    Image map = qftest::TestCard(24, 20);
    QF_Frame known = WavyFrame();
    known.has_map = 1;
    known.map_w = 24;
    known.map_h = 20;
    known.map_pitch = 24;
    known.map_sx = known.map_sy = 1;
    known.edge_mode = QF_EDGE_REPEAT;
    QF_Frame odd = known;
    odd.waveform = 9;
    odd.edge_mode = 7;
    odd.map_channel = 9;
    Image a = qftest::ReferenceRender(known, src, &map), b = qftest::ReferenceRender(odd, src, &map);
    EXPECT_EQ(qftest::FirstBitDifference(a.px, b.px), -1);
}

TEST(Shade, BandsAndTilesAreBitIdenticalToTheWholeFrame)
{
    Image src = qftest::TestCard(40, 30);
    QF_Frame f = WavyFrame(40, 30);
    f.in_w = 40;
    f.in_h = 30;
    f.in_pitch = 40;
    f.lay_x1 = 40;
    f.lay_y1 = 30;
    for (int edge = 0; edge < 4; edge++) {
        f.edge_mode = edge;
        f.split = edge == 2 ? 0.3f : 0.0f;
        Image whole = qftest::ReferenceRender(f, src);
        // Bands of 7 rows.
        Image banded(40, 30, 0, 0, 0, 0);
        for (int y0 = 0; y0 < 30; y0 += 7) {
            QF_Frame b = f;
            b.band_y0 = y0;
            b.band_h = 7;
            banded = qftest::ReferenceRender(b, src, nullptr, &banded);
        }
        ASSERT_EQ(qftest::FirstBitDifference(whole.px, banded.px), -1) << "bands, edge " << edge;
        // 13 x 11 tiles, each its own output buffer placed by out_x0 / out_y0.
        for (int ty = 0; ty < 30; ty += 11)
            for (int tx = 0; tx < 40; tx += 13) {
                QF_Frame t = f;
                t.out_x0 = tx;
                t.out_y0 = ty;
                t.out_w = t.out_pitch = std::min(13, 40 - tx);
                t.out_h = t.band_h = std::min(11, 30 - ty);
                Image tile = qftest::ReferenceRender(t, src);
                for (int y = 0; y < t.out_h; y++)
                    for (int x = 0; x < t.out_w; x++)
                        for (int k = 0; k < 4; k++)
                            ASSERT_EQ(Bits(tile.at(x, y)[k]), Bits(whole.at(tx + x, ty + y)[k]))
                                << "tile pixel " << tx + x << "," << ty + y << " edge " << edge;
            }
    }
}

TEST(Shade, HostileValuesNeverProduceNonFiniteOutput)
{
    Image src = qftest::TestCard(16, 16);
    src.set(7, 7, NaN, std::numeric_limits<float>::infinity(), 1e38f, 1.0f);
    QF_Frame f = WavyFrame(16, 16);
    f.waves[0].fx = 1e30f;
    f.waves[1].kx = NaN;
    f.split = 1.0f;
    f.mix = 0.7f;
    Image out = qftest::ReferenceRender(f, src);
    for (float v : out.px)
        ASSERT_TRUE(std::isfinite(v));
}

} // namespace
