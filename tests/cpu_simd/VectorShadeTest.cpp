// The vector row shaders against qf_shade, bit for bit, on every instruction set this machine runs:
// the default look, every waveform, edge mode, anti-aliasing level and interpolation, colour split, mix,
// strength map, downsample, iterations, every width up to 40, non-finite and huge input and wave records,
// outputs outside the layer, and random frames; then the run-time choice among them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "RenderBandCPU.h"
#include "ShadeRow.h"
#include "ShadeRowVector.h"
#include "SimdTestUtil.h"

using qftest::AddWave;
using qftest::Image;
using qftest::PlainFrame;

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float INF = std::numeric_limits<float>::infinity();

const VectorIsa ALL_ISAS[] = {VectorIsa::SSE2, VectorIsa::AVX2, VectorIsa::AVX512};

// A frame over a w x h card with waves strong enough that footprints span several pixels, so the
// anti-aliasing grid takes every sub-sample count up to the cap.
QF_Frame WavyFrame(int w, int h)
{
    QF_Frame f = PlainFrame(w, h);
    AddWave(f, 0.31f, 0.05f, 0.4f, 1.9f, 9.6f, 1.4f, -0.3f, 3.7f);
    AddWave(f, -0.07f, 0.23f, 2.2f, -1.0f, -0.5f, 8.9f, 4.1f, 0.2f);
    AddWave(f, 0.12f, -0.17f, -2.5f, 0.7f, 1.3f, -1.0f, 0.8f, 6.9f);
    return f;
}

// The same card under layer bounds, input and output that do not line up: the input buffer starts one
// pixel left of the layer and stops short of its right edge, the output starts outside the layer.
QF_Frame OffsetFrame(int w, int h)
{
    QF_Frame f = WavyFrame(w, h);
    f.out_x0 = -3;
    f.out_y0 = -2;
    f.in_x0 = -1;
    f.in_y0 = 1;
    f.lay_x0 = 0;
    f.lay_y0 = 0;
    f.lay_x1 = w + 1;
    f.lay_y1 = h - 1;
    return f;
}

std::string Describe(const QF_Frame& f)
{
    char text[320];
    std::snprintf(text, sizeof text,
                  "frame %dx%d out (%d,%d) in (%d,%d) %dx%d layer [%d,%d)x[%d,%d) waves %d waveform %d iter %d edge %d "
                  "cap %d bicubic %d ds %g,%g split %g mix %g map %d ch %d inv %d",
                  f.out_w, f.out_h, f.out_x0, f.out_y0, f.in_x0, f.in_y0, f.in_w, f.in_h, f.lay_x0, f.lay_x1, f.lay_y0,
                  f.lay_y1, f.num_waves, f.waveform, f.iterations, f.edge_mode, f.aa_cap, f.bicubic, double(f.dsx),
                  double(f.dsy), double(f.split), double(f.mix), f.has_map, f.map_channel, f.map_invert);
    return text;
}

class VectorShade : public ::testing::TestWithParam<VectorIsa> {
protected:
    void SetUp() override
    {
        if (!VectorIsaBuilt(GetParam()))
            GTEST_SKIP() << "skipped: this build has no " << VectorIsaName(GetParam()) << " row shader";
        if (!VectorIsaSupported(GetParam()))
            GTEST_SKIP() << "skipped: CPU lacks " << VectorIsaName(GetParam());
    }

    // Renders the frame through qf_shade and through the vector shader; they must agree bit for bit.
    // Returns false (after reporting) when they do not, so loops can stop at the first bad frame.
    bool Same(const QF_Frame& f, const Image& src, const Image* map = nullptr, const std::string& what = "")
    {
        const Image canvas(f.out_pitch, f.out_h, -5, -5, -5, -5);
        Image into = canvas;
        const Image expected = qftest::ReferenceRender(f, src, map, &into);
        const Image actual = qftest::RenderRows(VectorShadeRow(GetParam()), f, src, map, canvas);
        const std::string diff = qftest::FirstDifference(expected, actual);
        if (diff.empty())
            return true;
        ADD_FAILURE() << VectorIsaName(GetParam()) << ", " << what << (what.empty() ? "" : ", ") << Describe(f)
                      << ": " << diff;
        return false;
    }
};

TEST_P(VectorShade, DefaultLook)
{
    const QF_Frame f = qftest::DefaultLookFrame(320, 180);
    ASSERT_EQ(f.num_waves, 5);
    ASSERT_EQ(f.aa_cap, 4);
    ASSERT_EQ(f.bicubic, 1);
    Same(f, qftest::TestCard(320, 180, true), nullptr, "opaque card");
    Same(f, qftest::TestCard(320, 180), nullptr, "card with varying alpha");
}

TEST_P(VectorShade, EveryWaveformEdgeModeAntialiasingAndInterpolation)
{
    const Image src = qftest::TestCard(29, 17);
    // Codes past the last waveform and edge mode behave as sine and repeat; caps below 1 act as 1.
    for (int waveform = 0; waveform <= QF_WAVEFORM_COUNT; waveform++)
        for (int edge = 0; edge <= 4; edge++)
            for (int cap : {0, 1, 2, 4, 8})
                for (int bicubic = 0; bicubic < 2; bicubic++) {
                    QF_Frame f = OffsetFrame(29, 17);
                    f.waveform = waveform;
                    f.edge_mode = edge;
                    f.aa_cap = cap;
                    f.bicubic = bicubic;
                    if (!Same(f, src))
                        return;
                }
}

TEST_P(VectorShade, ColourSplitMixAndIterations)
{
    const Image src = qftest::TestCard(23, 13);
    for (float split : {0.0f, 0.4f, -0.7f, 2.0f, NaN})
        for (float mix : {1.0f, 0.3f, 2.0f, NaN, 0.0f, -1.0f})
            for (int iterations = 0; iterations <= 4; iterations++) {
                QF_Frame f = OffsetFrame(23, 13);
                f.split = split;
                f.mix = mix;
                f.iterations = iterations;
                if (!Same(f, src))
                    return;
            }
}

TEST_P(VectorShade, StrengthMapEveryChannelAndInvert)
{
    const int w = 27, h = 15;
    const Image src = qftest::TestCard(w, h);
    // A smaller map, scaled over the layer, with values below 0, above 1 and not finite, and varying
    // alpha, so some pixels take the early exit, some are partly warped and some get a NaN strength.
    Image map(14, 8);
    for (int y = 0; y < map.h; y++)
        for (int x = 0; x < map.w; x++) {
            float v = float((x * 5 + y * 3) % 9) / 6.0f - 0.2f;
            map.set(x, y, v, 1.0f - v, 0.5f * v, 0.3f + 0.1f * float(x % 8));
        }
    map.set(3, 2, NaN, NaN, NaN, 1.0f);
    map.set(9, 5, INF, -INF, 2.0f, NaN);
    map.set(11, 6, 0.2f, 0.4f, 0.6f, -1.0f);
    for (int channel = 0; channel <= 5; channel++)
        for (int invert = 0; invert < 2; invert++) {
            QF_Frame f = OffsetFrame(w, h);
            f.has_map = 1;
            f.map_w = map.w;
            f.map_h = map.h;
            f.map_pitch = map.w;
            f.map_channel = channel;
            f.map_invert = invert;
            f.map_sx = 0.5f;
            f.map_sy = 0.55f;
            f.map_ox = -0.4f;
            f.map_oy = 0.3f;
            if (!Same(f, src, &map))
                return;
        }
    QF_Frame f = OffsetFrame(w, h);
    f.has_map = 1;
    f.map_w = map.w;
    f.map_h = map.h;
    f.map_pitch = map.w + 2;
    f.map_sx = -0.0f;  // every map x is -0: floor must keep the sign
    f.map_ox = -0.0f;
    f.map_sy = 0.25f;
    Image wide(map.w + 2, map.h, 0.4f, 0.9f, 0.1f, 1.0f);
    Same(f, src, &wide, "negative zero map position");
    f.map_w = 0;  // an empty map: strength 0, every pixel passes through
    Same(f, src, &wide, "empty map");
}

TEST_P(VectorShade, Downsample)
{
    const Image src = qftest::TestCard(31, 19);
    const float factors[][2] = {{0.5f, 0.5f}, {0.25f, 0.25f}, {0.5f, 0.25f}, {1.0f, 0.5f}, {0.75f, 1.0f}};
    for (const auto& ds : factors)
        for (int split = 0; split < 2; split++) {
            QF_Frame f = OffsetFrame(31, 19);
            f.dsx = ds[0];
            f.dsy = ds[1];
            f.split = split ? 0.3f : 0.0f;
            if (!Same(f, src))
                return;
        }
}

TEST_P(VectorShade, EveryWidthUpTo40)
{
    // Widths that are and are not multiples of 4, 8 and 16 lanes, with a pitch wider than the row: the
    // shader writes exactly out_w pixels, the spare lanes of the last block are never stored.
    for (int w = 1; w <= 40; w++) {
        const Image src = qftest::TestCard(w + 2, 5);
        QF_Frame f = WavyFrame(w + 2, 5);
        f.out_w = w;
        f.out_h = 3;
        f.band_h = 3;
        f.out_pitch = w + 3;
        f.out_x0 = 1;
        f.split = w % 3 == 0 ? 0.25f : 0.0f;
        f.bicubic = w % 2;
        if (!Same(f, src, nullptr, "width " + std::to_string(w)))
            return;
    }
}

TEST_P(VectorShade, NonFiniteAndHugeInputPixels)
{
    const int w = 21, h = 11;
    Image src = qftest::TestCard(w, h);
    const float odd[] = {NaN, INF, -INF, 1e30f, -1e30f, 3e38f, -0.0f, 1e-40f, 0.99999994e30f};
    const float alphas[] = {NaN, INF, -INF, 0.0f, -0.0f, 1e-7f, 2.0f, 1e30f, 1e-6f, 1.0000001e-6f};
    int i = 0;
    for (int y = 0; y < h; y++)
        for (int x = (y * 3) % 4; x < w; x += 4, i++) {
            float* p = src.at(x, y);
            p[i % 3] = odd[i % 9];
            p[3] = alphas[i % 10];
        }
    for (int edge = 0; edge < 4; edge++)
        for (float mix : {1.0f, 0.5f}) {
            QF_Frame f = OffsetFrame(w, h);
            f.edge_mode = edge;
            f.mix = mix;
            if (!Same(f, src))
                return;
        }
    QF_Frame still = OffsetFrame(w, h);
    still.num_waves = 0;  // the frame-wide early exit: straight loads only
    Same(still, src, nullptr, "no waves");
}

TEST_P(VectorShade, NonFiniteAndHugeWaveRecords)
{
    const Image src = qftest::TestCard(19, 9);
    struct Bad {
        const char* what;
        int field;  // index into the wave's 8 floats
        float value;
    };
    const Bad cases[] = {{"NaN kx", 0, NaN},          {"huge kx", 0, 1e30f},       {"infinite ky", 1, INF},
                         {"NaN fold phase", 2, NaN}, {"huge drip phase", 3, 3e38f}, {"NaN fold x", 4, NaN},
                         {"infinite fold y", 5, INF}, {"huge drip x", 6, 1e9f},      {"huge drip y", 7, -1e20f},
                         {"tiny kx", 0, 1e-30f},
                         // About 2.5e9 turns: past the int32 range that a floor built on truncation covers.
                         {"phase past 2^31 turns", 2, 1.6e10f}};
    for (const Bad& bad : cases)
        for (int waveform = 0; waveform < QF_WAVEFORM_COUNT; waveform++) {
            QF_Frame f = OffsetFrame(19, 9);
            f.waveform = waveform;
            float* fields = &f.waves[1].kx;
            fields[bad.field] = bad.value;
            if (!Same(f, src, nullptr, bad.what))
                return;
        }
}

TEST_P(VectorShade, FootprintsOnASampleCountBoundary)
{
    // A triangle wave along x has a constant slope, so the footprint length la = 1 + g can be made
    // exactly 1.25, 2.25 and 3.25, where la - 0.25 is a whole number and ceil must not round up.
    const Image src = qftest::TestCard(26, 6);
    const float slope = 4.0f * QF_INV_2PI;
    for (float g : {0.25f, 1.25f, 2.25f}) {
        // kx = 1/4 scales exactly, so the wave's contribution is g when slope * fx is 4 g.
        float fx = 4.0f * g / slope;
        for (int i = 0; i < 64 && slope * fx != 4.0f * g; i++)
            fx = std::nextafter(fx, slope * fx < 4.0f * g ? 1e9f : 0.0f);
        ASSERT_EQ(slope * fx, 4.0f * g);
        QF_Frame f = PlainFrame(26, 6);
        f.waveform = QF_WAVE_TRIANGLE;
        AddWave(f, 0.25f, 0.0f, 0.3f, 0.0f, fx, 0.0f, 0.0f, 0.0f);
        for (int cap : {4, 8})
            for (int bicubic = 0; bicubic < 2; bicubic++) {
                f.aa_cap = cap;
                f.bicubic = bicubic;
                if (!Same(f, src, nullptr, "la = " + std::to_string(1.0f + g)))
                    return;
            }
    }
}

TEST_P(VectorShade, OutputsOutsideTheLayerAndDegenerateLayers)
{
    const Image src = qftest::TestCard(17, 12);
    struct Geometry {
        const char* what;
        int out_x0, out_y0, lay_x0, lay_x1, lay_y0, lay_y1;
    };
    const Geometry cases[] = {{"output left of and above the layer", -40, -30, 0, 17, 0, 12},
                              {"output right of and below the layer", 30, 25, 0, 17, 0, 12},
                              {"layer narrower than the input", 0, 0, 3, 9, 2, 7},
                              {"layer wider than the input", -5, -5, -8, 30, -6, 20},
                              {"empty layer width", 0, 0, 5, 5, 0, 12},
                              {"inverted layer height", 0, 0, 0, 17, 9, 3}};
    for (const Geometry& g : cases)
        for (int edge = 0; edge < 4; edge++) {
            QF_Frame f = WavyFrame(17, 12);
            f.out_x0 = g.out_x0;
            f.out_y0 = g.out_y0;
            f.lay_x0 = g.lay_x0;
            f.lay_x1 = g.lay_x1;
            f.lay_y0 = g.lay_y0;
            f.lay_y1 = g.lay_y1;
            f.edge_mode = edge;
            if (!Same(f, src, nullptr, g.what))
                return;
        }
}

TEST_P(VectorShade, FramesBeyondTheVectorLimitsStillMatch)
{
    // These take the scalar kernel inside the vector shader; the result must not change.
    const Image src = qftest::TestCard(13, 7);
    QF_Frame f = WavyFrame(13, 7);
    f.aa_cap = 200;
    Same(f, src, nullptr, "aa_cap above the vector limit");
    f = WavyFrame(13, 7);
    f.out_x0 = 1 << 29;
    f.lay_x0 = 1 << 29;
    f.lay_x1 = (1 << 29) + 13;
    f.in_x0 = 1 << 29;
    Same(f, src, nullptr, "coordinates past 2^29");
}

// Uniform floats from a fixed generator, the same on every platform.
class Draw {
public:
    explicit Draw(uint32_t seed) : gen_(seed) {}
    float Uniform(float lo, float hi) { return lo + (hi - lo) * float(gen_() >> 8) * (1.0f / 16777216.0f); }
    int Int(int lo, int hi) { return lo + int(gen_() % uint32_t(hi - lo + 1)); }
    bool Chance(int percent) { return Int(0, 99) < percent; }

private:
    std::mt19937 gen_;
};

TEST_P(VectorShade, RandomFrames)
{
    Draw d(20240917u);
    for (int n = 0; n < 300; n++) {
        const int inW = d.Int(1, 48), inH = d.Int(1, 9);
        const Image src = qftest::TestCard(inW, inH, d.Chance(30));
        QF_Frame f = PlainFrame(inW, inH);
        f.out_w = d.Int(1, 70);
        f.out_h = d.Int(1, 4);
        f.out_pitch = f.out_w + d.Int(0, 3);
        f.band_h = f.out_h;
        f.out_x0 = d.Int(-20, 20);
        f.out_y0 = d.Int(-6, 6);
        f.in_x0 = d.Int(-4, 4);
        f.in_y0 = d.Int(-4, 4);
        f.lay_x0 = d.Int(-6, 4);
        f.lay_x1 = f.lay_x0 + d.Int(0, 60);
        f.lay_y0 = d.Int(-6, 4);
        f.lay_y1 = f.lay_y0 + d.Int(0, 14);
        const int waves = d.Int(0, 7);
        for (int i = 0; i < waves; i++) {
            float k = d.Chance(10) ? d.Uniform(-3.0f, 3.0f) : d.Uniform(-0.5f, 0.5f);
            float a = d.Chance(10) ? 200.0f : 12.0f;
            AddWave(f, k, d.Uniform(-0.5f, 0.5f), d.Uniform(-4, 4), d.Uniform(-4, 4), d.Uniform(-a, a),
                    d.Uniform(-a, a), d.Uniform(-a, a), d.Uniform(-a, a));
        }
        f.waveform = d.Int(0, 6);
        f.iterations = d.Int(0, 4);
        f.edge_mode = d.Int(0, 4);
        f.aa_cap = d.Int(0, 9);
        f.bicubic = d.Int(0, 1);
        const float ds[] = {1.0f, 0.5f, 0.25f, 0.75f};
        f.dsx = ds[d.Int(0, 3)];
        f.dsy = d.Chance(70) ? f.dsx : ds[d.Int(0, 3)];
        f.split = d.Chance(30) ? d.Uniform(-1, 1) : 0.0f;
        f.mix = d.Chance(30) ? d.Uniform(-0.2f, 1.2f) : 1.0f;
        Image map;
        if (d.Chance(25)) {
            map = qftest::TestCard(d.Int(1, 12), d.Int(1, 6));
            f.has_map = 1;
            f.map_w = map.w;
            f.map_h = map.h;
            f.map_pitch = map.w;
            f.map_channel = d.Int(0, 5);
            f.map_invert = d.Int(0, 1);
            f.map_sx = d.Uniform(-0.5f, 1.0f);
            f.map_sy = d.Uniform(-0.5f, 1.0f);
            f.map_ox = d.Uniform(-3, 3);
            f.map_oy = d.Uniform(-3, 3);
        }
        if (!Same(f, src, f.has_map ? &map : nullptr, "random frame " + std::to_string(n)))
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Isa, VectorShade, ::testing::ValuesIn(ALL_ISAS),
                         [](const ::testing::TestParamInfo<VectorIsa>& info) {
                             return std::string(info.param == VectorIsa::AVX512 ? "AVX512" : VectorIsaName(info.param));
                         });

TEST(VectorDispatch, TheWidestSupportedInstructionSetIsChosen)
{
#if defined(__x86_64__) || defined(_M_X64)
    // SSE2 is part of x86-64 and needs no check beyond the build.
    EXPECT_EQ(VectorIsaSupported(VectorIsa::SSE2), VectorIsaBuilt(VectorIsa::SSE2));
#endif
    VectorIsa widest;
    const bool any = WidestVectorIsa(&widest);
    for (VectorIsa isa : ALL_ISAS)
        if (VectorIsaSupported(isa)) {
            ASSERT_TRUE(any);
            EXPECT_GE(int(widest), int(isa)) << VectorIsaName(isa) << " runs here, yet " << VectorIsaName(widest)
                                             << " was chosen";
        } else {
            EXPECT_EQ(VectorShadeRow(isa), nullptr) << VectorIsaName(isa);
        }
    EXPECT_EQ(ShadeRowFor(ShadePath::Automatic), any ? VectorShadeRow(widest) : ShadeRowScalar);
    // What every render uses: the same choice, made once for the process.
    EXPECT_EQ(ProcessShadeRow(), ShadeRowFor(ShadePath::Automatic));
}

TEST(VectorDispatch, AForcedPathRunsWhereSupportedAndIsScalarElsewhere)
{
    const std::pair<ShadePath, VectorIsa> forced[] = {
        {ShadePath::SSE2, VectorIsa::SSE2}, {ShadePath::AVX2, VectorIsa::AVX2}, {ShadePath::AVX512, VectorIsa::AVX512}};
    for (const auto& [path, isa] : forced) {
        EXPECT_EQ(ShadePathSupported(path), VectorIsaSupported(isa));
        EXPECT_EQ(ShadeRowFor(path), VectorIsaSupported(isa) ? VectorShadeRow(isa) : ShadeRowScalar)
            << VectorIsaName(isa);
    }
    EXPECT_EQ(ShadeRowFor(ShadePath::Scalar), ShadeRowScalar);
}

TEST(VectorDispatch, TheBandRendererGivesTheScalarBitsOnEveryPath)
{
    // The default look through RenderBandCPU on two threads, whichever row shader it picks.
    const int w = 203, h = 37;  // 203 = 12 blocks of 16 and 11 spare pixels
    const QF_Frame f = qftest::DefaultLookFrame(w, h);
    const Image src = qftest::TestCard(w, h);
    const Image expected = qftest::ReferenceRender(f, src);
    for (ShadePath path : {ShadePath::Automatic, ShadePath::SSE2, ShadePath::AVX2, ShadePath::AVX512}) {
        Image out(w, h, -1, -1, -1, -1);
        auto rows = [&](int32_t row, const float* px) {
            std::memcpy(out.at(0, row), px, size_t(w) * 4 * sizeof(float));
        };
        BandRenderHooks hooks;
        hooks.shadeRow = ShadeRowFor(path);
        EXPECT_TRUE(path == ShadePath::Automatic ? RenderBandCPU(f, src.px.data(), nullptr, rows, 2, {})
                                                 : RenderBandCPU(f, src.px.data(), nullptr, rows, 2, {}, hooks));
        EXPECT_EQ(qftest::FirstDifference(expected, out), "") << "path " << int(path);
    }
}

} // namespace
