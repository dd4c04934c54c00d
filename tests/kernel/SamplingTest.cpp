// Texel loads, edge modes, interpolation, the footprint sampler and the strength map.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "KernelTestUtil.h"

using qftest::Bits;
using qftest::Image;
using qftest::PlainFrame;

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float Inf = std::numeric_limits<float>::infinity();

int MapAxis(int i, int lo, int hi, int b0, int n, int mode, int* ok_out = nullptr)
{
    int ok = 1;
    int r = qf_map_axis(i, lo, hi, b0, n, mode, &ok);
    if (ok_out)
        *ok_out = ok;
    return r;
}

void ExpectSame(qf4 a, qf4 b, const char* what)
{
    EXPECT_EQ(Bits(a.x), Bits(b.x)) << what;
    EXPECT_EQ(Bits(a.y), Bits(b.y)) << what;
    EXPECT_EQ(Bits(a.z), Bits(b.z)) << what;
    EXPECT_EQ(Bits(a.w), Bits(b.w)) << what;
}

TEST(EdgeModes, MapAxisVectors)
{
    // Wrap: tiles.
    EXPECT_EQ(MapAxis(-1, 0, 10, 0, 10, QF_EDGE_WRAP), 9);
    EXPECT_EQ(MapAxis(10, 0, 10, 0, 10, QF_EDGE_WRAP), 0);
    EXPECT_EQ(MapAxis(-21, 0, 10, 0, 10, QF_EDGE_WRAP), 9);
    // Mirror: reflected tiles, the edge pixel doubled at each seam.
    const int mirror_in[] = {-1, 10, 19, 20, -11, 5};
    const int mirror_out[] = {0, 9, 0, 0, 9, 5};
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(MapAxis(mirror_in[k], 0, 10, 0, 10, QF_EDGE_MIRROR), mirror_out[k]) << mirror_in[k];
    // Repeat, and any unknown code: clamp to the layer.
    EXPECT_EQ(MapAxis(-5, 0, 10, 0, 10, QF_EDGE_REPEAT), 0);
    EXPECT_EQ(MapAxis(99, 0, 10, 0, 10, 7), 9);
    EXPECT_EQ(MapAxis(-5, 0, 10, 0, 10, -3), 0);
    // Transparent: outside clears ok, inside keeps it.
    int ok;
    MapAxis(-1, 0, 10, 0, 10, QF_EDGE_TRANSPARENT, &ok);
    EXPECT_EQ(ok, 0);
    MapAxis(10, 0, 10, 0, 10, QF_EDGE_TRANSPARENT, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(MapAxis(9, 0, 10, 0, 10, QF_EDGE_TRANSPARENT, &ok), 9);
    EXPECT_EQ(ok, 1);
    // Layer offset: bounds [100, 110), buffer pixel 0 at layer 100.
    EXPECT_EQ(MapAxis(99, 100, 110, 100, 10, QF_EDGE_WRAP), 9);
    EXPECT_EQ(MapAxis(111, 100, 110, 100, 10, QF_EDGE_MIRROR), 8);
}

TEST(EdgeModes, BufferSmallerThanLayerOrEmpty)
{
    // Layer bounds wider than the buffer: indices past the buffer read its last column.
    EXPECT_EQ(MapAxis(15, 0, 20, 0, 10, QF_EDGE_REPEAT), 9);
    EXPECT_EQ(MapAxis(19, 0, 20, 0, 10, QF_EDGE_WRAP), 9);
    EXPECT_EQ(MapAxis(2, 0, 20, 5, 10, QF_EDGE_REPEAT), 0);
    // Degenerate layer extent or empty buffer: transparent, index 0.
    int ok;
    EXPECT_EQ(MapAxis(3, 10, 10, 0, 10, QF_EDGE_REPEAT, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(MapAxis(3, 0, 10, 0, 0, QF_EDGE_WRAP, &ok), 0);
    EXPECT_EQ(ok, 0);
}

TEST(TexelLoads, GuardsAgainstBadValues)
{
    Image img(4, 1);
    img.set(0, 0, NaN, Inf, -Inf, 0.5f);
    img.set(1, 0, 0.2f, 0.4f, 0.6f, 2.0f);  // alpha above 1 loads as 1
    img.set(2, 0, 0.2f, 0.4f, 0.6f, NaN);   // NaN alpha is transparent
    img.set(3, 0, 0.2f, 0.4f, 0.6f, -1.0f); // so is negative alpha
    ExpectSame(qf_load_straight(img.px.data(), 4, 0, 0), qf4_set(0, 0, 0, 0.5f), "non-finite colour");
    ExpectSame(qf_load_straight(img.px.data(), 4, 1, 0), qf4_set(0.2f, 0.4f, 0.6f, 1.0f), "alpha 2");
    ExpectSame(qf_load_straight(img.px.data(), 4, 2, 0), qf4_zero(), "NaN alpha");
    ExpectSame(qf_load_straight(img.px.data(), 4, 3, 0), qf4_zero(), "negative alpha");
    ExpectSame(qf_load_premul(img.px.data(), 4, 1, 0), qf4_set(0.2f, 0.4f, 0.6f, 1.0f), "premul alpha 1");
    qf4 p = qf_load_premul(img.px.data(), 4, 0, 0);
    EXPECT_EQ(p.w, 0.5f);
    EXPECT_EQ(p.x, 0.0f);
}

TEST(Interpolation, BilinearHalfPixelAndTransparentEdge)
{
    Image img(2, 1);
    img.set(0, 0, 0.0f, 0.0f, 0.0f, 1.0f);
    img.set(1, 0, 1.0f, 1.0f, 1.0f, 1.0f);
    QF_Frame f = PlainFrame(2, 1);
    qf4 mid = qf_bilinear(&f, img.px.data(), 0.5f, 0.0f);
    EXPECT_EQ(mid.x, 0.5f);
    EXPECT_EQ(mid.w, 1.0f);
    // Half a pixel outside the layer with transparent edges: half the premultiplied edge colour.
    f.edge_mode = QF_EDGE_TRANSPARENT;
    qf4 out = qf_bilinear(&f, img.px.data(), 1.5f, 0.0f);
    EXPECT_EQ(out.x, 0.5f);
    EXPECT_EQ(out.w, 0.5f);
    // NaN positions go to -1e7: transparent there, the edge pixel with repeat.
    ExpectSame(qf_bilinear(&f, img.px.data(), NaN, NaN), qf4_zero(), "NaN, transparent");
    f.edge_mode = QF_EDGE_REPEAT;
    ExpectSame(qf_bilinear(&f, img.px.data(), NaN, 0.0f), qf4_set(0, 0, 0, 1), "NaN, repeat");
    ExpectSame(qf_bilinear(&f, img.px.data(), Inf, 0.0f), qf4_set(1, 1, 1, 1), "+inf, repeat");
    EXPECT_EQ(qf_coord(NaN), -1e7f);
    EXPECT_EQ(qf_coord(-Inf), -1e7f);
    EXPECT_EQ(qf_coord(3e9f), 1e7f);
}

TEST(Interpolation, BicubicNeverRingsAtAHardEdge)
{
    // A step from 0 to 1: plain Catmull-Rom overshoots on both sides of it; the clamp keeps [0, 1].
    Image img(8, 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++) {
            float v = x < 4 ? 0.0f : 1.0f;
            img.set(x, y, v, v, v, 1.0f);
        }
    QF_Frame f = PlainFrame(8, 4);
    bool plain_overshoots = false;
    for (float x = 1.0f; x < 6.0f; x += 0.05f) {
        qf4 v = qf_bicubic(&f, img.px.data(), x, 1.3f);
        ASSERT_GE(v.x, 0.0f) << x;
        ASSERT_LE(v.x, 1.0f) << x;
        float w0, w1, w2, w3;
        float fx = std::floor(x);
        qf_cubic_weights(x - fx, &w0, &w1, &w2, &w3);
        int ix = int(fx);
        auto at = [&](int i) { return i < 4 ? 0.0f : 1.0f; };
        float plain = at(ix - 1) * w0 + at(ix) * w1 + at(ix + 1) * w2 + at(ix + 2) * w3;
        plain_overshoots |= plain < -1e-3f || plain > 1.0f + 1e-3f;
    }
    EXPECT_TRUE(plain_overshoots) << "the test image must provoke ringing";
    // At whole-pixel positions bicubic returns the texel itself.
    ExpectSame(qf_bicubic(&f, img.px.data(), 5.0f, 2.0f), qf4_set(1, 1, 1, 1), "whole pixel");
}

TEST(Footprint, SampleCountPerAxis)
{
    EXPECT_EQ(qf_footprint_samples(1.0f), 1);
    EXPECT_EQ(qf_footprint_samples(1.25f), 1);
    EXPECT_EQ(qf_footprint_samples(1.3f), 2);
    EXPECT_EQ(qf_footprint_samples(2.25f), 2);
    EXPECT_EQ(qf_footprint_samples(2.26f), 3);
}

// Bilinear average on the na x nb grid, as the sampler must compute it.
qf4 GridAverage(const QF_Frame& f, const Image& img, float x, float y, float j00, float j01, float j10, float j11,
                int na, int nb)
{
    qf4 acc = qf4_zero();
    for (int j = 0; j < nb; j++)
        for (int i = 0; i < na; i++) {
            float va = (float(i) + 0.5f) / float(na) - 0.5f;
            float vb = (float(j) + 0.5f) / float(nb) - 0.5f;
            qf4 s = qf_bilinear(&f, img.px.data(), (x + j00 * va) + j01 * vb, (y + j10 * va) + j11 * vb);
            acc = qf4_set(acc.x + s.x, acc.y + s.y, acc.z + s.z, acc.w + s.w);
        }
    float inv = 1.0f / float(na * nb);
    return qf4_set(acc.x * inv, acc.y * inv, acc.z * inv, acc.w * inv);
}

TEST(Footprint, SamplerPicksGridFromJacobianAndCap)
{
    Image img = qftest::TestCard(32, 32);
    QF_Frame f = PlainFrame(32, 32);
    f.aa_cap = 4;
    const float x = 15.3f, y = 16.7f;
    // 1.25 long: one (bicubic) sample.
    ExpectSame(qf_sample(&f, img.px.data(), x, y, 1.25f, 0, 0, 1), qf_bicubic(&f, img.px.data(), x, y), "1.25");
    f.bicubic = 0;
    ExpectSame(qf_sample(&f, img.px.data(), x, y, 1.25f, 0, 0, 1), qf_bilinear(&f, img.px.data(), x, y), "bilinear");
    // 1.3 long: two bilinear samples along that axis, whatever the interpolation switch says.
    f.bicubic = 1;
    ExpectSame(qf_sample(&f, img.px.data(), x, y, 1.3f, 0, 0, 1), GridAverage(f, img, x, y, 1.3f, 0, 0, 1, 2, 1),
               "1.3");
    // 100 long with cap 4: scaled to length 5 first, then 4 samples.
    const float s100 = 5.0f / 100.0f;
    ExpectSame(qf_sample(&f, img.px.data(), x, y, 0, 100, 0, 0),
               GridAverage(f, img, x, y, 0, 100 * s100, 0, 0, 1, 4), "100, cap 4");
    // A sheared footprint uses both columns.
    ExpectSame(qf_sample(&f, img.px.data(), x, y, 2.0f, 1.0f, 0.5f, 2.5f),
               GridAverage(f, img, x, y, 2.0f, 1.0f, 0.5f, 2.5f, 2, 3), "sheared");
    // NaN or infinite footprints become cap + 1 long, then shrink to the cap like any long footprint.
    const float shrunk = 5.0f * (5.0f / 6.0f);
    ExpectSame(qf_sample(&f, img.px.data(), x, y, NaN, 0, NaN, 1),
               GridAverage(f, img, x, y, shrunk, 0, 0, 1, 4, 1), "NaN");
    ExpectSame(qf_sample(&f, img.px.data(), x, y, 1, Inf, 0, 0),
               GridAverage(f, img, x, y, 1, 0, 0, shrunk, 1, 4), "inf");
    // aa_cap 0 or negative: one sample whatever the footprint.
    for (int cap : {0, -3}) {
        f.aa_cap = cap;
        ExpectSame(qf_sample(&f, img.px.data(), x, y, 7, 0, 0, 9), qf_bicubic(&f, img.px.data(), x, y), "cap <= 0");
    }
}

TEST(StrengthMap, ChannelsInvertAndBorderClamp)
{
    Image map(2, 2, 1.0f, 1.0f, 1.0f, 1.0f);
    QF_Frame f = PlainFrame(2, 2);
    f.has_map = 1;
    f.map_w = f.map_h = f.map_pitch = 2;
    f.map_sx = f.map_sy = 1.0f;
    f.map_ox = f.map_oy = -0.5f; // layer pixel X reads map texel X
    // Opaque white luma: 0.2126 + 0.7152 + 0.0722 is 1 in single precision.
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 0, 0), 1.0f);
    f.map_invert = 1;
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 0, 0), 0.0f);
    f.map_invert = 0;
    // Colour is read premultiplied: half-transparent white has luma 0.5.
    map.set(1, 1, 1.0f, 1.0f, 1.0f, 0.5f);
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 1, 1), 0.5f);
    map.set(1, 0, 0.25f, 0.5f, 0.75f, 1.0f);
    f.map_channel = QF_MAP_BLUE;
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 1, 0), 0.25f);
    f.map_channel = QF_MAP_GREEN;
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 1, 0), 0.5f);
    f.map_channel = QF_MAP_RED;
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 1, 0), 0.75f);
    f.map_channel = QF_MAP_ALPHA;
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 1, 1), 0.5f);
    f.map_channel = 9; // unknown: luma
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 1, 0), (0.2126f * 0.75f + 0.7152f * 0.5f) + 0.0722f * 0.25f);
    // Far outside the map: the border texel, whatever the edge mode.
    f.edge_mode = QF_EDGE_TRANSPARENT;
    f.map_channel = QF_MAP_LUMA;
    EXPECT_EQ(qf_map_value(&f, map.px.data(), -500, -500), 1.0f);
    // Values beyond [0, 1] are clamped; an empty map gives strength 0.
    map.set(0, 0, 3.0f, 3.0f, 3.0f, 1.0f);
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 0, 0), 1.0f);
    f.map_w = 0;
    EXPECT_EQ(qf_map_value(&f, map.px.data(), 0, 0), 0.0f);
}

} // namespace
