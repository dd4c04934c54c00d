// A started effect instance with layers, and image comparisons that say where they fail.
#pragma once

#include "HostSim.h"
#include "ParamIndex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

// A smooth picture whose colours and alpha vary over the layer, so every warp shows. Alpha stays within
// [alpha_min, 1].
inline FloatImage Pattern(A_long width, A_long height, float alpha_min = 0.5f)
{
    FloatImage image(width, height);
    for (A_long y = 0; y < height; ++y) {
        for (A_long x = 0; x < width; ++x) {
            const float b = 0.5f + 0.45f * std::sin(0.21f * x + 0.05f * y);
            const float g = 0.5f + 0.45f * std::cos(0.13f * y - 0.07f * x);
            const float r = 0.5f + 0.45f * std::sin(0.09f * (x + y) + 1.0f);
            const float a = alpha_min + (1.0f - alpha_min) * (0.5f + 0.5f * std::cos(0.11f * x - 0.17f * y));
            image.Set(x, y, b, g, r, a);
        }
    }
    return image;
}

// The image as a world of this depth would hold it.
inline FloatImage Quantised(const FloatImage& image, PixelDepth depth)
{
    PixelBuffer buffer(image.width, image.height, depth);
    buffer.Store(image);
    return buffer.Load();
}

inline std::string PixelText(const float* p)
{
    return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) + ", " +
           std::to_string(p[3]) + ")";
}

// Every value bit for bit (NaN payloads included); the first difference is reported.
inline ::testing::AssertionResult SameImage(const FloatImage& actual, const FloatImage& expected)
{
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height << ", expected "
                                             << expected.width << "x" << expected.height;
    }
    for (A_long y = 0; y < actual.height; ++y) {
        for (A_long x = 0; x < actual.width; ++x) {
            if (std::memcmp(actual.At(x, y), expected.At(x, y), 4 * sizeof(float)) != 0) {
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << "): "
                                                     << PixelText(actual.At(x, y)) << ", expected "
                                                     << PixelText(expected.At(x, y));
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Values may differ by up to `tolerance`; at most `share` of them by more, and none by more than
// `hard_max`. The worst difference is reported on failure.
inline ::testing::AssertionResult ImagesNear(const FloatImage& actual, const FloatImage& expected, float tolerance,
                                             double share, float hard_max)
{
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure() << "sizes differ";
    }
    size_t past = 0;
    float worst = 0.0f;
    A_long wx = 0, wy = 0;
    for (A_long y = 0; y < actual.height; ++y) {
        for (A_long x = 0; x < actual.width; ++x) {
            for (int c = 0; c < 4; ++c) {
                const float d = std::fabs(actual.At(x, y)[c] - expected.At(x, y)[c]);
                if (!(d <= tolerance)) {
                    ++past;
                }
                if (!(d <= worst)) {
                    worst = d;
                    wx = x;
                    wy = y;
                }
            }
        }
    }
    const double allowed = share * static_cast<double>(actual.pixels.size());
    if (past > allowed || !(worst <= hard_max)) {
        return ::testing::AssertionFailure() << past << " values past " << tolerance << " (allowed " << allowed
                                             << "), worst " << worst << " at (" << wx << ", " << wy
                                             << "): " << PixelText(actual.At(wx, wy)) << ", expected "
                                             << PixelText(expected.At(wx, wy));
    }
    return ::testing::AssertionSuccess();
}

// Pixels the plug-in wrote: the host fills fresh output worlds with bytes 0xCD.
inline int UnwrittenRows(const FloatImage& image, PixelDepth depth)
{
    PixelBuffer fresh(1, 1, depth);
    fresh.Fill(0xCD);
    const FloatImage marker = fresh.Load();
    int rows = 0;
    for (A_long y = 0; y < image.height; ++y) {
        bool untouched = true;
        for (A_long x = 0; x < image.width && untouched; ++x) {
            untouched = std::memcmp(image.At(x, y), marker.At(0, 0), 4 * sizeof(float)) == 0;
        }
        rows += untouched ? 1 : 0;
    }
    return rows;
}

class RenderHost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host.Start(), PF_Err_NONE); }

    // A layer holding Pattern(width, height) in `depth`, made the effect's input.
    int UseInput(A_long width, A_long height, PixelDepth depth = PixelDepth::Bits8, A_long row_padding = 0)
    {
        const int layer = host.layers().Add(Pattern(width, height), depth, row_padding);
        host.params().SetInputLayer(layer);
        return layer;
    }

    HostSim host{QF_MODULE_PATH};
};
