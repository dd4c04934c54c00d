// The bundle in the test host beside the compositing host's road through the host simulator: pictures
// moved between the two hosts' layouts, and comparisons that say where they fail.
#pragma once

#include "HostSim.h"
#include "OfxHostSim.h"
#include "ParamIndex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

// A smooth picture whose colours and alpha vary everywhere, so every warp shows (alpha in [0.5, 1]).
inline Picture TestPicture(int width, int height, float phase = 0.0f)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float* p = picture.At(x, y);
            p[0] = 0.5f + 0.45f * std::sin(0.09f * (x + y) + 1.0f + phase);
            p[1] = 0.5f + 0.45f * std::cos(0.13f * y - 0.07f * x);
            p[2] = 0.5f + 0.45f * std::sin(0.21f * x + 0.05f * y + phase);
            p[3] = 0.5f + 0.5f * (0.5f + 0.5f * std::cos(0.11f * x - 0.17f * y));
        }
    }
    return picture;
}

// The compositing host's image (B, G, R, A) of the same pixels, and back.
inline FloatImage ToFloatImage(const Picture& picture)
{
    FloatImage image(picture.width, picture.height);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const float* p = picture.At(x, y);
            image.Set(x, y, p[2], p[1], p[0], p[3]);
        }
    }
    return image;
}

inline Picture ToPicture(const FloatImage& image)
{
    Picture picture(image.width, image.height);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const float* p = image.At(x, y);
            float* q = picture.At(x, y);
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            q[3] = p[3];
        }
    }
    return picture;
}

inline std::string PixelText(const float* p)
{
    return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) + ", " +
           std::to_string(p[3]) + ")";
}

// Values differ by at most `tolerance`, none past it (0: every value bit for bit); the worst pixel is
// reported on failure.
inline ::testing::AssertionResult PicturesMatch(const Picture& actual, const Picture& expected, float tolerance = 0.0f)
{
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height << ", expected "
                                             << expected.width << "x" << expected.height;
    }
    float worst = -1.0f;
    int wx = 0, wy = 0, past = 0;
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            const float* a = actual.At(x, y);
            const float* e = expected.At(x, y);
            for (int c = 0; c < 4; ++c) {
                const bool same = tolerance == 0.0f ? std::memcmp(&a[c], &e[c], sizeof(float)) == 0
                                                    : std::fabs(a[c] - e[c]) <= tolerance;
                const float d = std::isnan(a[c] - e[c]) ? INFINITY : std::fabs(a[c] - e[c]);
                past += same ? 0 : 1;
                if (!same && d > worst) {
                    worst = d;
                    wx = x;
                    wy = y;
                }
            }
        }
    }
    if (past > 0) {
        return ::testing::AssertionFailure() << past << " values past " << tolerance << "; worst at (" << wx << ", "
                                             << wy << "): " << PixelText(actual.At(wx, wy)) << ", expected "
                                             << PixelText(expected.At(wx, wy)) << ", difference " << worst;
    }
    return ::testing::AssertionSuccess();
}

// One control with its value in each host's units: the compositing host's panel (percent as the number
// shown, angles in degrees, popups 1-based) and the OpenFX parameter (percent as a fraction, popups
// 0-based).
struct Control {
    int index;
    double panel;
    const char* ofx_name;
    double ofx;
};

// Sets the same controls in both hosts.
inline void SetControls(HostSim& ae, OfxHostSim& ofx, std::initializer_list<Control> controls)
{
    for (const Control& c : controls) {
        ae.params().Set(c.index, c.panel);
        ASSERT_EQ(ofx.SetParam(c.ofx_name, c.ofx), kOfxStatOK) << c.ofx_name;
    }
}
