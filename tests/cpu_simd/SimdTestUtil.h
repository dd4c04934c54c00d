// Frames and renders for comparing the vector row shaders with the scalar kernel.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FrameTestUtil.h"
#include "KernelTestUtil.h"
#include "LayerScale.h"
#include "PixelConversion.h"
#include "ShadeRowVector.h"
#include "WaveGeneration.h"

namespace qftest {

// The look a new instance of the effect has: every control at its default, Scale With Layer taken for
// a w x h layer, time 0, over a plain w x h frame.
inline QF_Frame DefaultLookFrame(int w, int h)
{
    Controls controls;
    const WarpSettings settings = controls.Read(LayerScaleFactor(double(w), double(h)));
    QF_Frame f = PlainFrame(w, h);
    BuildFrame(SanitizedSettings(settings), 0.0, f);
    return f;
}

// Every row of the frame's band through a row shader into a copy of `canvas` (out_pitch wide).
inline Image RenderRows(VectorShadeRowFn shade, const QF_Frame& f, const Image& src, const Image* map,
                        const Image& canvas)
{
    Image out = canvas;
    std::vector<float> row(size_t(f.out_w > 0 ? f.out_w : 0) * 4 + 64, -9.0f);
    int y0 = f.band_y0 < 0 ? 0 : f.band_y0;
    int y1 = f.band_y0 + f.band_h < f.out_h ? f.band_y0 + f.band_h : f.out_h;
    ShadeWorlds worlds;
    worlds.input = WorkBufferWorld(src.px.data(), f.in_w, f.in_h, f.in_pitch);
    if (map)
        worlds.map = WorkBufferWorld(map->px.data(), f.map_w, f.map_h, f.map_pitch);
    // Every row into the one row buffer.
    worlds.output = WorkBufferWorld(row.data(), f.out_w, 1, 0);
    for (int y = y0; y < y1; y++) {
        shade(f, worlds, y);
        std::memcpy(out.at(0, y), row.data(), size_t(f.out_w) * 4 * sizeof(float));
        // The shader writes out_w pixels and not one float more.
        for (size_t i = size_t(f.out_w) * 4; i < row.size(); i++)
            if (Bits(row[i]) != Bits(-9.0f)) {
                out.px.clear();
                return out;
            }
    }
    return out;
}

// Empty when a and b agree bit for bit, else where and how they first differ.
inline std::string FirstDifference(const Image& expected, const Image& actual)
{
    if (actual.px.empty())
        return "the row shader wrote past out_w pixels";
    long i = FirstBitDifference(expected.px, actual.px);
    if (i < 0)
        return "";
    const char* channel[] = {"blue", "green", "red", "alpha"};
    long pixel = i / 4;
    return "pixel (" + std::to_string(pixel % expected.w) + ", " + std::to_string(pixel / expected.w) + ") " +
           channel[i % 4] + ": expected " + std::to_string(expected.px[size_t(i)]) + " (bits " +
           std::to_string(Bits(expected.px[size_t(i)])) + "), got " + std::to_string(actual.px[size_t(i)]) +
           " (bits " + std::to_string(Bits(actual.px[size_t(i)])) + ")";
}

} // namespace qftest
