// Small helpers for kernel tests: bit views of floats, frames over tiny buffers, a plain reference render.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "WarpKernel.h"

namespace qftest {

inline uint32_t Bits(float v)
{
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return b;
}

inline float FromBits(uint32_t b)
{
    float v;
    std::memcpy(&v, &b, 4);
    return v;
}

// A work buffer of w x h pixels (B, G, R, A), tightly packed.
struct Image {
    int w = 0, h = 0;
    std::vector<float> px;
    Image() = default;
    Image(int width, int height, float b = 0, float g = 0, float r = 0, float a = 1) : w(width), h(height)
    {
        px.resize(size_t(w) * h * 4);
        for (size_t i = 0; i < px.size(); i += 4) {
            px[i] = b;
            px[i + 1] = g;
            px[i + 2] = r;
            px[i + 3] = a;
        }
    }
    float* at(int x, int y) { return &px[(size_t(y) * w + x) * 4]; }
    const float* at(int x, int y) const { return &px[(size_t(y) * w + x) * 4]; }
    void set(int x, int y, float b, float g, float r, float a)
    {
        float* p = at(x, y);
        p[0] = b;
        p[1] = g;
        p[2] = r;
        p[3] = a;
    }
};

// A deterministic, textured test image with varying alpha.
inline Image TestCard(int w, int h, bool opaque = false)
{
    Image img(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float checker = ((x / 4 + y / 4) & 1) ? 0.9f : 0.15f;
            float a = opaque ? 1.0f : 0.25f + 0.75f * float((x * 7 + y * 3) % 11) / 10.0f;
            img.set(x, y, checker, float(x) / float(w), float(y) / float(h), a);
        }
    return img;
}

// A frame whose input, output and layer all cover the same w x h area at origin 0, no waves.
inline QF_Frame PlainFrame(int w, int h)
{
    QF_Frame f;
    std::memset(&f, 0, sizeof f);
    f.out_w = f.in_w = w;
    f.out_h = f.in_h = h;
    f.out_pitch = f.in_pitch = w;
    f.band_h = h;
    f.lay_x1 = w;
    f.lay_y1 = h;
    f.iterations = 1;
    f.aa_cap = 4;
    f.bicubic = 1;
    f.dsx = f.dsy = 1.0f;
    f.mix = 1.0f;
    return f;
}

// Adds one wave with the given vector, phases and displacements.
inline void AddWave(QF_Frame& f, float kx, float ky, float phf, float phd, float fx, float fy, float dx, float dy)
{
    QF_Wave& w = f.waves[f.num_waves++];
    w.kx = kx;
    w.ky = ky;
    w.phf = phf;
    w.phd = phd;
    w.fx = fx;
    w.fy = fy;
    w.dx = dx;
    w.dy = dy;
}

// The reference CPU render: every pixel of the frame's band through qf_shade, in order.
inline Image ReferenceRender(const QF_Frame& f, const Image& src, const Image* map = nullptr, Image* into = nullptr)
{
    Image out = into ? *into : Image(f.out_pitch, f.out_h, 0, 0, 0, 0);
    int y0 = f.band_y0 < 0 ? 0 : f.band_y0;
    int y1 = f.band_y0 + f.band_h < f.out_h ? f.band_y0 + f.band_h : f.out_h;
    for (int y = y0; y < y1; y++)
        for (int x = 0; x < f.out_w; x++) {
            qf4 v = qf_shade(&f, src.px.data(), map ? map->px.data() : nullptr, x, y);
            out.set(x, y, v.x, v.y, v.z, v.w);
        }
    return out;
}

// Index of the first float that differs bit for bit, or -1.
inline long FirstBitDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return 0;
    for (size_t i = 0; i < a.size(); i++)
        if (Bits(a[i]) != Bits(b[i]))
            return long(i);
    return -1;
}

} // namespace qftest
