// The kernel's own sine/cosine and the six waveforms: exact values where the kernel promises them,
// and accuracy against double precision elsewhere.
#include <gtest/gtest.h>

#include <cmath>

#include "KernelTestUtil.h"

using qftest::Bits;

namespace {

const float PI_F = 3.14159265358979f;

struct WaveSample {
    float w, dw;
};

WaveSample Wave(int type, float ph)
{
    WaveSample r;
    r.w = qf_wave(type, ph, &r.dw);
    return r;
}

TEST(Constants, LiteralsAreTheIntendedSinglePrecisionValues)
{
    EXPECT_EQ(Bits(QF_TWO_PI), 0x40C90FDBu);
    EXPECT_EQ(Bits(QF_INV_2PI), 0x3E22F983u);
    const uint32_t expected[] = {0xBE2AAAAB, 0x3C088889, 0xB9500D01, 0x3638EF1D, 0xB2D7322B, 0xBF000000,
                                 0x3D2AAAAB, 0xBAB60B61, 0x37D00D01, 0xB493F27E, 0x310F76C8};
    const float actual[] = {QF_S1, QF_S2, QF_S3, QF_S4, QF_S5, QF_C1, QF_C2, QF_C3, QF_C4, QF_C5, QF_C6};
    for (int i = 0; i < 11; i++)
        EXPECT_EQ(Bits(actual[i]), expected[i]) << "coefficient " << i;
    EXPECT_EQ(Bits(QF_LIQUID_CB), 0x3E88F59Bu);
    EXPECT_EQ(Bits(QF_LIQUID_SB), 0x3F76ABC0u);
    EXPECT_EQ(Bits(QF_LIQUID_NORM), 0x3F314584u);
    EXPECT_EQ(Bits(QF_DRIP_A0), 0x3E10D0C3u);
    EXPECT_EQ(Bits(QF_DRIP_A1), 0x3F81460Fu);
    EXPECT_EQ(Bits(QF_SANE_LIMIT), 0x7149F2CAu);
    EXPECT_EQ(Bits(QF_MIN_ALPHA), 0x358637BDu);
    EXPECT_EQ(Bits(QF_COORD_LIMIT), 0x4B189680u);
}

TEST(SinCos, ExactAtZeroAndPi)
{
    float s, c;
    qf_sincos(0.0f, &s, &c);
    EXPECT_EQ(Bits(s), 0u);
    EXPECT_EQ(c, 1.0f);
    // pi rounded to float reduces to exactly half a turn.
    qf_sincos(PI_F, &s, &c);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(c, -1.0f);
}

TEST(SinCos, LargeArgumentsUseTheSinglePrecisionReduction)
{
    float s, c;
    qf_sincos(1e6f, &s, &c);
    EXPECT_NEAR(s, -0.38268343f, 1e-7f); // not the true sine, -0.34999
    EXPECT_LE(std::fabs(c), 1.0f);
    for (float x : {1e7f, -3e7f, 123456.7f, 1e30f}) {
        qf_sincos(x, &s, &c);
        EXPECT_LE(std::fabs(s), 1.0f + 1e-6f) << x;
        EXPECT_LE(std::fabs(c), 1.0f + 1e-6f) << x;
    }
}

TEST(SinCos, AccurateAgainstDoublePrecision)
{
    // The polynomials are good to about 1e-7; the reduction multiplies by 1/(2 pi) in single precision,
    // so the error grows with |x| by about |x| * 2^-24 * 2 pi.
    double worst_small = 0;
    for (int i = -200000; i <= 200000; i++) {
        float x = float(i) * 1e-4f * 3.2f; // [-64, 64]
        float s, c;
        qf_sincos(x, &s, &c);
        double err = std::max(std::fabs(s - std::sin(double(x))), std::fabs(c - std::cos(double(x))));
        double bound = 2.5e-7 + std::fabs(double(x)) * 4e-7;
        ASSERT_LE(err, bound) << "x = " << x;
        if (std::fabs(x) <= 3.2f)
            worst_small = std::max(worst_small, err);
    }
    EXPECT_LT(worst_small, 4e-7);
    // Identity: sin^2 + cos^2 stays 1 for any argument.
    for (float x = -5000.0f; x < 5000.0f; x += 0.37f) {
        float s, c;
        qf_sincos(x, &s, &c);
        ASSERT_NEAR(double(s) * s + double(c) * c, 1.0, 1e-6) << x;
    }
}

TEST(Waveforms, TriangleAndSawtoothExactPoints)
{
    WaveSample t0 = Wave(QF_WAVE_TRIANGLE, 0.0f);
    EXPECT_EQ(t0.w, 0.0f);
    EXPECT_EQ(Bits(t0.dw), 0x3F22F983u); // 4 / (2 pi), rising
    EXPECT_NEAR(Wave(QF_WAVE_TRIANGLE, PI_F / 2).w, 1.0f, 1e-6f);
    WaveSample tpi = Wave(QF_WAVE_TRIANGLE, PI_F);
    EXPECT_EQ(tpi.w, 0.0f);
    EXPECT_LT(tpi.dw, 0.0f);

    WaveSample s0 = Wave(QF_WAVE_SAWTOOTH, 0.0f);
    EXPECT_EQ(s0.w, 0.0f);
    EXPECT_EQ(Bits(s0.dw), 0x3EBFBC21u);
    // u = 0.925: on the falling flank, 15 % of the period.
    WaveSample spi = Wave(QF_WAVE_SAWTOOTH, PI_F);
    EXPECT_EQ(Bits(spi.dw), 0xC007CFEFu);
    EXPECT_NEAR(spi.w, 1.0f - 2.0f * (0.925f - 0.85f) / 0.15f, 1e-5f);
    // The top at u = 0.85 and the bottom just before u = 1.
    float ph_top = (0.85f - 0.425f) * QF_TWO_PI;
    EXPECT_NEAR(Wave(QF_WAVE_SAWTOOTH, ph_top - 1e-4f).w, 1.0f, 1e-3f);
    float ph_end = (1.0f - 0.425f) * QF_TWO_PI;
    EXPECT_NEAR(Wave(QF_WAVE_SAWTOOTH, ph_end - 1e-4f).w, -1.0f, 1e-3f);
}

TEST(Waveforms, DripSquareLiquidShapes)
{
    // Drip: the pointed trough is exactly -1 where cos is 1; the crest at pi is +1 within rounding.
    WaveSample d0 = Wave(QF_WAVE_DRIP, 0.0f);
    EXPECT_EQ(d0.w, -1.0f);
    EXPECT_EQ(d0.dw, 0.0f);
    EXPECT_NEAR(Wave(QF_WAVE_DRIP, PI_F).w, 1.0f, 2e-6f);
    EXPECT_EQ(Bits(2.0f / (QF_DRIP_A1 - QF_DRIP_A0)), 0x40136027u);

    WaveSample q0 = Wave(QF_WAVE_SQUARE, 0.0f);
    EXPECT_EQ(q0.w, 0.0f);
    EXPECT_EQ(q0.dw, 7.0f);
    EXPECT_NEAR(Wave(QF_WAVE_SQUARE, PI_F / 2).w, 1.0f, 1e-6f);

    EXPECT_NEAR(Wave(QF_WAVE_LIQUID, 0.0f).w, 0.300f, 1e-3f);
    // Liquid is lopsided: its normalisation puts the deep trough at -1, the crests reach about 0.58.
    float peak = -2, low = 2;
    for (int i = 0; i < 20000; i++) {
        float w = Wave(QF_WAVE_LIQUID, float(i) * QF_TWO_PI / 20000.0f).w;
        peak = std::max(peak, w);
        low = std::min(low, w);
    }
    EXPECT_NEAR(peak, 0.5798f, 1e-3f);
    EXPECT_NEAR(low, -1.0f, 1e-4f);
}

TEST(Waveforms, DerivativesMatchFiniteDifferences)
{
    // The Jacobian relies on dw being the true slope of w, for every type, away from the kinks.
    for (int type = 0; type < QF_WAVEFORM_COUNT; type++)
        for (float ph = -6.0f; ph < 6.0f; ph += 0.173f) {
            float h = 1e-3f;
            float wp = Wave(type, ph + h).w, wm = Wave(type, ph - h).w;
            float numeric = (wp - wm) / (2 * h);
            float analytic = Wave(type, ph).dw;
            bool mismatch = std::fabs(numeric - analytic) > 0.05f * (1 + std::fabs(analytic));
            if (type == QF_WAVE_TRIANGLE || type == QF_WAVE_SAWTOOTH) {
                // Piecewise linear: skip only the steps whose difference straddles a corner.
                float shift = type == QF_WAVE_TRIANGLE ? 0.25f : 0.425f;
                float corner = type == QF_WAVE_TRIANGLE ? 0.5f : 0.85f;
                float u = ph * QF_INV_2PI + shift;
                u -= std::floor(u);
                float du = h * QF_INV_2PI * 2;
                bool straddles = std::fabs(u - corner) < du || u < du || u > 1 - du;
                if (straddles)
                    continue;
            }
            EXPECT_FALSE(mismatch) << "type " << type << " ph " << ph << " numeric " << numeric << " analytic "
                                    << analytic;
        }
}

TEST(Waveforms, UnknownCodesAreSine)
{
    for (int code : {6, -1, 9, 1000})
        for (float ph : {0.3f, 2.0f, -4.1f}) {
            WaveSample a = Wave(code, ph), s = Wave(QF_WAVE_SINE, ph);
            EXPECT_EQ(Bits(a.w), Bits(s.w));
            EXPECT_EQ(Bits(a.dw), Bits(s.dw));
        }
    float s, c;
    qf_sincos(2.0f, &s, &c);
    WaveSample w = Wave(QF_WAVE_SINE, 2.0f);
    EXPECT_EQ(Bits(w.w), Bits(s));
    EXPECT_EQ(Bits(w.dw), Bits(c));
}

} // namespace
