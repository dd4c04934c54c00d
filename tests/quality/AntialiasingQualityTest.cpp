// How close the footprint anti-aliasing comes to the true box-filtered warp: a strong two-wave warp of a
// 1920 x 1080 card at "High" against an 8 x 8 supersampled bilinear rendering of the same warp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "KernelTestUtil.h"
#include "RenderBandCPU.h"

using qftest::AddWave;
using qftest::Image;
using qftest::PlainFrame;

namespace {

const int W = 1920, H = 1080;
const double PI = 3.141592653589793;

// Blue: a black and white checker of 32-pixel squares; green: a horizontal gradient; red: fine stripes
// 0.5 + 0.5 sin(0.9 x), a period of 7 pixels. Opaque.
Image QualityCard()
{
    Image card(W, H);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            card.set(x, y, ((x / 32 + y / 32) & 1) ? 1.0f : 0.0f, float(x) / float(W - 1),
                     float(0.5 + 0.5 * std::sin(0.9 * x)), 1.0f);
    return card;
}

// The warp dx = 25 sin(2 pi y / 40 + 0.3), dy = 25 sin(2 pi x / 40 + 0.3), with x and y in the field's
// own coordinates (full-resolution layer pixels from the layer's corner, so pixel X's centre is at
// X + 0.5). Each component is one sine wave whose fold vector carries the whole amplitude along one
// axis; the drip vectors are zero. With one iteration and no map the output samples P + D(P).
QF_Frame QualityFrame(int aaCap, int bicubic)
{
    QF_Frame f = PlainFrame(W, H);
    const float k = float(2.0 * PI / 40.0);
    AddWave(f, 0.0f, k, 0.3f, 0.0f, 25.0f, 0.0f, 0.0f, 0.0f);  // dx from y
    AddWave(f, k, 0.0f, 0.3f, 0.0f, 0.0f, 25.0f, 0.0f, 0.0f);  // dy from x
    f.waveform = QF_WAVE_SINE;
    f.iterations = 1;
    f.edge_mode = QF_EDGE_REPEAT;
    f.aa_cap = aaCap;
    f.bicubic = bicubic;
    return f;
}

// Bilinear colour (blue, green, red) of the card at layer position (x, y), edges repeated.
void CardBilinear(const Image& card, double x, double y, double out[3])
{
    const double fx = std::floor(x), fy = std::floor(y);
    const double tx = x - fx, ty = y - fy;
    auto texel = [&](int ix, int iy) {
        ix = ix < 0 ? 0 : (ix >= W ? W - 1 : ix);
        iy = iy < 0 ? 0 : (iy >= H ? H - 1 : iy);
        return card.at(ix, iy);
    };
    const float* a = texel(int(fx), int(fy));
    const float* b = texel(int(fx) + 1, int(fy));
    const float* c = texel(int(fx), int(fy) + 1);
    const float* d = texel(int(fx) + 1, int(fy) + 1);
    for (int ch = 0; ch < 3; ch++) {
        const double top = a[ch] + (b[ch] - a[ch]) * tx;
        const double bottom = c[ch] + (d[ch] - c[ch]) * tx;
        out[ch] = top + (bottom - top) * ty;
    }
}

// The reference pixel: the warp evaluated exactly at 8 x 8 cell centres of the pixel's square, each
// sampled bilinearly, averaged.
void Supersampled(const Image& card, int X, int Y, double out[3])
{
    out[0] = out[1] = out[2] = 0.0;
    for (int j = 0; j < 8; j++)
        for (int i = 0; i < 8; i++) {
            const double px = X - 0.5 + (i + 0.5) / 8.0;
            const double py = Y - 0.5 + (j + 0.5) / 8.0;
            const double dx = 25.0 * std::sin(2.0 * PI * (py + 0.5) / 40.0 + 0.3);
            const double dy = 25.0 * std::sin(2.0 * PI * (px + 0.5) / 40.0 + 0.3);
            double s[3];
            CardBilinear(card, px + dx, py + dy, s);
            for (int ch = 0; ch < 3; ch++)
                out[ch] += s[ch] / 64.0;
        }
}

// Interior pixels: 40 pixels from every edge, beyond the 25-pixel displacement and the footprint.
const int MARGIN = 40;
// The reference is costly, so it is taken on every 3rd column of every 7th row: both strides are
// coprime with the 40-pixel warp period, the 32-pixel checker and the 7-pixel stripes, so the chosen
// pixels meet every phase of the warp and of the card. Over all interior pixels the RMS differs from
// this estimate by about 2 %.
const int STEP_X = 3, STEP_Y = 7;

// RMS over blue, green and red of the chosen pixels of `out` (W x H) against the reference.
double RmsError(const Image& card, const Image& out)
{
    double sum = 0.0;
    long n = 0;
    for (int y = MARGIN; y < H - MARGIN; y += STEP_Y)
        for (int x = MARGIN; x < W - MARGIN; x += STEP_X) {
            double ref[3];
            Supersampled(card, x, y, ref);
            const float* p = out.at(x, y);
            for (int ch = 0; ch < 3; ch++) {
                const double e = double(p[ch]) - ref[ch];
                sum += e * e;
                n++;
            }
        }
    return std::sqrt(sum / double(n));
}

Image Render(const QF_Frame& f, const Image& card)
{
    Image out(W, H, 0, 0, 0, 0);
    auto rows = [&](int32_t row, const float* px) { std::memcpy(out.at(0, row), px, size_t(W) * 4 * sizeof(float)); };
    EXPECT_TRUE(RenderBandCPU(f, card.px.data(), nullptr, rows, 0, {}));
    return out;
}

TEST(AntialiasingQuality, HighStaysCloseToTheSupersampledWarp)
{
    // The whole frame through the band renderer, on every thread with the widest row shader, as the
    // plug-in renders it.
    const Image card = QualityCard();
    const double high = RmsError(card, Render(QualityFrame(4, 1), card));
    EXPECT_LE(high, 0.0075) << "RMS error at High (aa_cap 4, bicubic)";
    // One bilinear sample per pixel aliases badly here (about 0.07): the measure can tell the two apart.
    const double off = RmsError(card, Render(QualityFrame(1, 0), card));
    EXPECT_GE(off, 0.05) << "RMS error with one bilinear sample";
    std::printf("RMS error against the 8 x 8 supersampled warp: High %.5f, one bilinear sample %.5f\n", high, off);
}

} // namespace
