/* The per-pixel warp, written once and compiled three ways: plain C/C++ for the CPU renderer, OpenCL C
 * (QF_OPENCL) and CUDA (QF_CUDA). Only the flavour section below knows which compiler it is under.
 *
 * Coordinate rules:
 * - Sampling positions are absolute layer coordinates at the current downsample; layer pixel i has its
 *   centre at i. Output pixel (bx, by) is layer pixel (out_x0 + bx, out_y0 + by); input pixel (ix, iy)
 *   is layer pixel (in_x0 + ix, in_y0 + iy). Because nothing is relative to a tile, a frame rendered in
 *   bands or tiles is bit-identical to the frame rendered whole.
 * - The displacement field lives in full-resolution layer pixels: layer pixel X at downsample dsx sits
 *   at full-resolution coordinate (X + 0.5) / dsx.
 * - A texel outside the layer bounds [lay_x0, lay_x1) x [lay_y0, lay_y1) is read through the edge mode;
 *   "transparent" gives transparent black. Interpolation works on premultiplied colour.
 *
 * Numerics: IEEE single precision, round to nearest, every formula in the written order, never a fused
 * multiply-add, so the three builds give the same bits. Sine and cosine come from qf_sincos, not from a
 * math library. */
#ifndef QF_WARP_KERNEL_H
#define QF_WARP_KERNEL_H

#if defined(QF_OPENCL)
/* OpenCL C: the record is in constant memory, buffers in global memory. */
#define QF_FN
#define QF_GPTR __global
#define QF_FPTR __constant
#define QF_FLOOR(x) floor(x)
#define QF_SQRT(x) sqrt(x)
#define QF_FABS(x) fabs(x)
typedef size_t qf_index;
#elif defined(QF_CUDA)
/* CUDA through clang's NVPTX back end; no CUDA headers are needed. */
#ifndef __device__
#define __device__ __attribute__((device))
#endif
#define QF_FN static __device__ __attribute__((always_inline)) inline
#define QF_GPTR
#define QF_FPTR
#define QF_FLOOR(x) __builtin_floorf(x)
#define QF_SQRT(x) __builtin_sqrtf(x)
#define QF_FABS(x) __builtin_fabsf(x)
typedef unsigned long long qf_index;
#include "WarpTypes.h"
#else
/* C/C++ for the CPU. An includer may define QF_HOST_IMAGE, the type of an image, and
 * QF_HOST_FETCH(image, pitch, x, y, bgra), which stores pixel (x, y)'s blue, green, red and alpha as four
 * floats at bgra, to read images in its own layout instead of work buffers: the CPU renderer reads the
 * host's pixels in place that way. */
#include <math.h>
#include <stddef.h>
#define QF_FN static inline
#define QF_GPTR
#define QF_FPTR
#define QF_FLOOR(x) floorf(x)
#define QF_SQRT(x) sqrtf(x)
#define QF_FABS(x) fabsf(x)
typedef size_t qf_index;
#include "WarpTypes.h"
#endif

/* The input and strength map as the functions below take them: a work buffer, or the includer's own. */
#ifdef QF_HOST_IMAGE
typedef QF_HOST_IMAGE qf_image;
#else
typedef QF_GPTR const float* qf_image;
#endif

/* Angle constants, as the nearest single-precision values (bits 0x40C90FDB and 0x3E22F983). */
#define QF_TWO_PI 6.28318530717959f
#define QF_INV_2PI 0.159154943091895f

/* Sine and cosine polynomial coefficients on [-pi/2, pi/2]. */
#define QF_S1 -1.66666667e-1f
#define QF_S2 8.33333333e-3f
#define QF_S3 -1.98412698e-4f
#define QF_S4 2.75573192e-6f
#define QF_S5 -2.50521084e-8f
#define QF_C1 -0.5f
#define QF_C2 4.16666667e-2f
#define QF_C3 -1.38888889e-3f
#define QF_C4 2.48015873e-5f
#define QF_C5 -2.75573192e-7f
#define QF_C6 2.08767570e-9f

/* Liquid: cos 1.3, sin 1.3 and the factor that scales the peak of s + 0.45 sin(2 ph + 1.3) to 1. */
#define QF_LIQUID_CB 0.267498829f
#define QF_LIQUID_SB 0.963558185f
#define QF_LIQUID_NORM 0.692467f
/* Drip: eps, sqrt(eps) and sqrt(1 + eps). */
#define QF_DRIP_EPS 0.02f
#define QF_DRIP_A0 0.141421356f
#define QF_DRIP_A1 1.009950494f
/* Sawtooth rises over this share of the period. */
#define QF_SAW_RISE 0.85f
/* Soft square saturation. */
#define QF_SQUARE_K 6.0f

/* Colours at or above this magnitude (and NaN) are treated as 0 (bits 0x7149F2CA). */
#define QF_SANE_LIMIT 1e30f
/* Sampling positions are held inside +-1e7 so integer conversions stay in range. */
#define QF_COORD_LIMIT 1e7f
/* Alpha at or below this gives a transparent result (bits 0x358637BD). */
#define QF_MIN_ALPHA 1e-6f

/* One pixel: x, y, z, w hold blue, green, red, alpha. */
typedef struct {
    float x, y, z, w;
} qf4;

QF_FN qf4 qf4_set(float b, float g, float r, float a)
{
    qf4 v;
    v.x = b;
    v.y = g;
    v.z = r;
    v.w = a;
    return v;
}

QF_FN qf4 qf4_zero(void) { return qf4_set(0.0f, 0.0f, 0.0f, 0.0f); }

/* acc + a * s per member. */
QF_FN qf4 qf4_madd(qf4 acc, qf4 a, float s)
{
    return qf4_set(acc.x + a.x * s, acc.y + a.y * s, acc.z + a.z * s, acc.w + a.w * s);
}

/* a + (b - a) * t per member. */
QF_FN qf4 qf4_lerp(qf4 a, qf4 b, float t)
{
    return qf4_set(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.w + (b.w - a.w) * t);
}

QF_FN float qf_minf(float a, float b) { return a < b ? a : b; }
QF_FN float qf_maxf(float a, float b) { return a > b ? a : b; }
QF_FN int qf_mini(int a, int b) { return a < b ? a : b; }
QF_FN int qf_maxi(int a, int b) { return a > b ? a : b; }

QF_FN float qf_clampf(float v, float lo, float hi)
{
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return v;
}

/* NaN and infinities (and absurd magnitudes) become 0. */
QF_FN float qf_sane(float v) { return QF_FABS(v) < QF_SANE_LIMIT ? v : 0.0f; }

/* ---- Trigonometry and waveforms ---------------------------------------------------------------- */

/* Sine and cosine of any x (radians). The reduction to turns is single precision, so for large x the
 * result is the sine of the reduced argument, identical on every build. */
QF_FN void qf_sincos(float x, float* s, float* c)
{
    float t = x * QF_INV_2PI;
    t = t - QF_FLOOR(t + 0.5f);
    float sg = 1.0f;
    /* Reflect into [-1/4, 1/4] turn: keeps the sine, flips the cosine. */
    if (t > 0.25f) {
        t = 0.5f - t;
        sg = -1.0f;
    } else if (t < -0.25f) {
        t = -0.5f - t;
        sg = -1.0f;
    }
    float a = t * QF_TWO_PI;
    float a2 = a * a;
    float sn = a * (1.0f + a2 * (QF_S1 + a2 * (QF_S2 + a2 * (QF_S3 + a2 * (QF_S4 + a2 * QF_S5)))));
    float cs = 1.0f + a2 * (QF_C1 + a2 * (QF_C2 + a2 * (QF_C3 + a2 * (QF_C4 + a2 * (QF_C5 + a2 * QF_C6)))));
    *s = sn;
    *c = sg * cs;
}

/* Waveform value at phase ph (radians), nominally in [-1, 1], and its derivative d/dph in *dw. */
QF_FN float qf_wave(int type, float ph, float* dw)
{
    if (type == QF_WAVE_TRIANGLE) {
        float u = ph * QF_INV_2PI + 0.25f;
        u = u - QF_FLOOR(u);
        float slope = 4.0f * QF_INV_2PI;
        *dw = u < 0.5f ? slope : -slope;
        return 1.0f - 4.0f * QF_FABS(u - 0.5f);
    }
    if (type == QF_WAVE_SAWTOOTH) {
        const float rise = QF_SAW_RISE;
        const float fall = 1.0f - rise;
        float u = ph * QF_INV_2PI + 0.5f * rise;
        u = u - QF_FLOOR(u);
        if (u < rise) {
            *dw = (2.0f / rise) * QF_INV_2PI;
            return -1.0f + (2.0f * u) / rise;
        }
        *dw = (-2.0f / fall) * QF_INV_2PI;
        return 1.0f - (2.0f * (u - rise)) / fall;
    }
    float s, c;
    qf_sincos(ph, &s, &c);
    if (type == QF_WAVE_LIQUID) {
        /* A second harmonic, phase-shifted by 1.3, gives lopsided organic crests. */
        float s2 = (2.0f * s) * c;
        float c2 = c * c - s * s;
        float h = s2 * QF_LIQUID_CB + c2 * QF_LIQUID_SB;
        float hc = c2 * QF_LIQUID_CB - s2 * QF_LIQUID_SB;
        *dw = (c + 0.9f * hc) * QF_LIQUID_NORM;
        return (s + 0.45f * h) * QF_LIQUID_NORM;
    }
    if (type == QF_WAVE_DRIP) {
        /* Broad crests, pointed troughs: a smoothed |sin(ph / 2)|, rescaled to [-1, 1]. */
        float a = QF_SQRT(0.5f * (1.0f - c) + QF_DRIP_EPS);
        float k = 2.0f / (QF_DRIP_A1 - QF_DRIP_A0);
        *dw = (k * s) / (4.0f * a);
        return -1.0f + k * (a - QF_DRIP_A0);
    }
    if (type == QF_WAVE_SQUARE) {
        float d = 1.0f + QF_SQUARE_K * QF_FABS(s);
        float k1 = 1.0f + QF_SQUARE_K;
        *dw = (c * k1) / (d * d);
        return (s * k1) / d;
    }
    *dw = c;
    return s;
}

/* ---- Texel access and sampling ------------------------------------------------------------------ */

/* Where pixel (x, y) is, and its stored blue, green, red and alpha (QF_BLUE .. QF_ALPHA of the image and
 * the place): a work buffer's float index at `pitch` pixels a row, or the includer's pixel read whole by
 * QF_HOST_FETCH (which knows its images' row distance itself). */
#ifdef QF_HOST_FETCH
typedef qf4 qf_pixel;
QF_FN qf_pixel qf_pixel_at(qf_image img, int pitch, int x, int y)
{
    float p[4];
    (void)pitch; /* a fetch that knows its rows' distance need not read it */
    QF_HOST_FETCH(img, pitch, x, y, p);
    return qf4_set(p[0], p[1], p[2], p[3]);
}
#define QF_BLUE(img, p) ((p).x)
#define QF_GREEN(img, p) ((p).y)
#define QF_RED(img, p) ((p).z)
#define QF_ALPHA(img, p) ((p).w)
#else
typedef qf_index qf_pixel;
QF_FN qf_pixel qf_pixel_at(qf_image buf, int pitch, int x, int y)
{
    (void)buf; /* read through QF_BLUE .. QF_ALPHA */
    return ((qf_index)y * (qf_index)pitch + (qf_index)x) * 4;
}
#define QF_BLUE(buf, i) ((buf)[(i)])
#define QF_GREEN(buf, i) ((buf)[(i) + 1])
#define QF_RED(buf, i) ((buf)[(i) + 2])
#define QF_ALPHA(buf, i) ((buf)[(i) + 3])
#endif

/* Straight pixel (x, y); non-positive or NaN alpha is transparent black, alpha is held at 1 and
 * non-finite colour reads as 0. */
QF_FN qf4 qf_load_straight(qf_image buf, int pitch, int x, int y)
{
    qf_pixel p = qf_pixel_at(buf, pitch, x, y);
    float a = QF_ALPHA(buf, p);
    if (!(a > 0.0f))
        return qf4_zero();
    if (a > 1.0f)
        a = 1.0f;
    return qf4_set(qf_sane(QF_BLUE(buf, p)), qf_sane(QF_GREEN(buf, p)), qf_sane(QF_RED(buf, p)), a);
}

QF_FN qf4 qf_load_premul(qf_image buf, int pitch, int x, int y)
{
    qf4 p = qf_load_straight(buf, pitch, x, y);
    return qf4_set(p.x * p.w, p.y * p.w, p.z * p.w, p.w);
}

/* Maps layer index i on one axis through the edge mode into a buffer index. Layer bounds [lo, hi),
 * buffer pixel 0 at layer index b0, buffer size n. Clears *ok when the texel is transparent. */
QF_FN int qf_map_axis(int i, int lo, int hi, int b0, int n, int mode, int* ok)
{
    int len = hi - lo;
    if (len <= 0 || n <= 0) {
        *ok = 0;
        return 0;
    }
    if (mode == QF_EDGE_WRAP) {
        int m = (i - lo) % len;
        if (m < 0)
            m += len;
        i = lo + m;
    } else if (mode == QF_EDGE_MIRROR) {
        /* Reflected tiles with the edge pixel doubled at each seam. */
        int p = 2 * len;
        int m = (i - lo) % p;
        if (m < 0)
            m += p;
        if (m >= len)
            m = p - 1 - m;
        i = lo + m;
    } else if (mode == QF_EDGE_TRANSPARENT) {
        if (i < lo || i >= hi)
            *ok = 0;
    } else {
        i = qf_maxi(lo, qf_mini(hi - 1, i));
    }
    /* The host may give less input than the layer bounds describe: stay inside the buffer. */
    i = i - b0;
    return qf_maxi(0, qf_mini(n - 1, i));
}

/* Premultiplied texel at layer pixel (ix, iy) after edge handling. */
QF_FN qf4 qf_texel(QF_FPTR const QF_Frame* f, qf_image src, int ix, int iy)
{
    int ok = 1;
    int x = qf_map_axis(ix, f->lay_x0, f->lay_x1, f->in_x0, f->in_w, f->edge_mode, &ok);
    int y = qf_map_axis(iy, f->lay_y0, f->lay_y1, f->in_y0, f->in_h, f->edge_mode, &ok);
    if (!ok)
        return qf4_zero();
    return qf_load_premul(src, f->in_pitch, x, y);
}

/* Holds a coordinate inside +-1e7 and sends NaN to -1e7, where the edge mode decides what it reads. */
QF_FN float qf_coord(float v)
{
    if (!(v > -QF_COORD_LIMIT))
        return -QF_COORD_LIMIT;
    if (v > QF_COORD_LIMIT)
        return QF_COORD_LIMIT;
    return v;
}

/* The texel cell of coordinate v: its floor as an integer in *i, the fraction v - floor(v) returned. */
QF_FN float qf_cell(float v, int* i)
{
    float fv = QF_FLOOR(v);
    *i = (int)fv;
    return v - fv;
}

QF_FN qf4 qf_bilinear(QF_FPTR const QF_Frame* f, qf_image src, float x, float y)
{
    int ix, iy;
    float tx = qf_cell(qf_coord(x), &ix);
    float ty = qf_cell(qf_coord(y), &iy);
    qf4 a = qf_texel(f, src, ix, iy);
    qf4 b = qf_texel(f, src, ix + 1, iy);
    qf4 c = qf_texel(f, src, ix, iy + 1);
    qf4 d = qf_texel(f, src, ix + 1, iy + 1);
    return qf4_lerp(qf4_lerp(a, b, tx), qf4_lerp(c, d, tx), ty);
}

/* One Catmull-Rom row at texels ix - 1 .. ix + 2 of row iy. With track set, the two inner texels widen
 * the [lo, hi] range that bounds the result against ringing. */
QF_FN qf4 qf_cubic_row(QF_FPTR const QF_Frame* f, qf_image src, int ix, int iy, float w0, float w1,
                       float w2, float w3, int track, qf4* lo, qf4* hi)
{
    qf4 a = qf_texel(f, src, ix - 1, iy);
    qf4 b = qf_texel(f, src, ix, iy);
    qf4 c = qf_texel(f, src, ix + 1, iy);
    qf4 d = qf_texel(f, src, ix + 2, iy);
    if (track) {
        lo->x = qf_minf(lo->x, qf_minf(b.x, c.x));
        lo->y = qf_minf(lo->y, qf_minf(b.y, c.y));
        lo->z = qf_minf(lo->z, qf_minf(b.z, c.z));
        lo->w = qf_minf(lo->w, qf_minf(b.w, c.w));
        hi->x = qf_maxf(hi->x, qf_maxf(b.x, c.x));
        hi->y = qf_maxf(hi->y, qf_maxf(b.y, c.y));
        hi->z = qf_maxf(hi->z, qf_maxf(b.z, c.z));
        hi->w = qf_maxf(hi->w, qf_maxf(b.w, c.w));
    }
    return qf4_set(((a.x * w0 + b.x * w1) + c.x * w2) + d.x * w3, ((a.y * w0 + b.y * w1) + c.y * w2) + d.y * w3,
                   ((a.z * w0 + b.z * w1) + c.z * w2) + d.z * w3, ((a.w * w0 + b.w * w1) + c.w * w2) + d.w * w3);
}

/* Catmull-Rom weights for fraction t. */
QF_FN void qf_cubic_weights(float t, float* w0, float* w1, float* w2, float* w3)
{
    float t2 = t * t;
    float t3 = t2 * t;
    *w0 = (-0.5f * t3 + t2) - 0.5f * t;
    *w1 = (1.5f * t3 - 2.5f * t2) + 1.0f;
    *w2 = (-1.5f * t3 + 2.0f * t2) + 0.5f * t;
    *w3 = 0.5f * t3 - 0.5f * t2;
}

/* Catmull-Rom bicubic, clamped per channel to the range of the inner 2 x 2 texels so it never rings
 * into halos. */
QF_FN qf4 qf_bicubic(QF_FPTR const QF_Frame* f, qf_image src, float x, float y)
{
    int ix, iy;
    float tx = qf_cell(qf_coord(x), &ix);
    float ty = qf_cell(qf_coord(y), &iy);
    float x0, x1, x2, x3, y0, y1, y2, y3;
    qf_cubic_weights(tx, &x0, &x1, &x2, &x3);
    qf_cubic_weights(ty, &y0, &y1, &y2, &y3);
    qf4 lo = qf4_set(1e30f, 1e30f, 1e30f, 1e30f);
    qf4 hi = qf4_set(-1e30f, -1e30f, -1e30f, -1e30f);
    qf4 acc = qf4_zero();
    acc = qf4_madd(acc, qf_cubic_row(f, src, ix, iy - 1, x0, x1, x2, x3, 0, &lo, &hi), y0);
    acc = qf4_madd(acc, qf_cubic_row(f, src, ix, iy, x0, x1, x2, x3, 1, &lo, &hi), y1);
    acc = qf4_madd(acc, qf_cubic_row(f, src, ix, iy + 1, x0, x1, x2, x3, 1, &lo, &hi), y2);
    acc = qf4_madd(acc, qf_cubic_row(f, src, ix, iy + 2, x0, x1, x2, x3, 0, &lo, &hi), y3);
    return qf4_set(qf_clampf(acc.x, lo.x, hi.x), qf_clampf(acc.y, lo.y, hi.y), qf_clampf(acc.z, lo.z, hi.z),
                   qf_clampf(acc.w, lo.w, hi.w));
}

/* Samples per axis for a footprint of length l: one up to 1.25 pixels, one more per further pixel,
 * i.e. ceil(l - 0.25) formed without a ceil built-in. */
QF_FN int qf_footprint_samples(float l)
{
    float v = l - 0.25f;
    int n = (int)v;
    if ((float)n < v)
        n = n + 1;
    return n;
}

/* Premultiplied colour averaged over the pixel's footprint: the parallelogram spanned by the Jacobian
 * columns (j00, j10) and (j01, j11), in buffer pixels, capped at aa_cap sub-samples per axis. */
QF_FN qf4 qf_sample(QF_FPTR const QF_Frame* f, qf_image src, float x, float y, float j00, float j01,
                    float j10, float j11)
{
    int cap = f->aa_cap;
    float la = QF_SQRT(j00 * j00 + j10 * j10);
    float lb = QF_SQRT(j01 * j01 + j11 * j11);
    float lmax = (float)cap + 1.0f;
    /* NaN or overflowing footprints fall back to the cap. */
    if (!(la < 1e30f)) {
        la = lmax + 1.0f;
        j00 = lmax;
        j10 = 0.0f;
    }
    if (!(lb < 1e30f)) {
        lb = lmax + 1.0f;
        j01 = 0.0f;
        j11 = lmax;
    }
    /* Extreme compressions cost no more than the cap. */
    if (la > lmax) {
        float s = lmax / la;
        j00 = j00 * s;
        j10 = j10 * s;
        la = lmax;
    }
    if (lb > lmax) {
        float s = lmax / lb;
        j01 = j01 * s;
        j11 = j11 * s;
        lb = lmax;
    }
    int na = qf_maxi(1, qf_mini(cap, qf_footprint_samples(la)));
    int nb = qf_maxi(1, qf_mini(cap, qf_footprint_samples(lb)));
    if (na * nb == 1)
        return f->bicubic ? qf_bicubic(f, src, x, y) : qf_bilinear(f, src, x, y);
    /* Regular grid at cell centres; sub-samples are always bilinear. */
    qf4 acc = qf4_zero();
    for (int j = 0; j < nb; j++) {
        float vb = ((float)j + 0.5f) / (float)nb - 0.5f;
        for (int i = 0; i < na; i++) {
            float va = ((float)i + 0.5f) / (float)na - 0.5f;
            qf4 s = qf_bilinear(f, src, (x + j00 * va) + j01 * vb, (y + j10 * va) + j11 * vb);
            acc = qf4_set(acc.x + s.x, acc.y + s.y, acc.z + s.z, acc.w + s.w);
        }
    }
    float inv = 1.0f / (float)(na * nb);
    return qf4_set(acc.x * inv, acc.y * inv, acc.z * inv, acc.w * inv);
}

/* Strength in [0, 1] at layer pixel (X, Y). The map always clamps at its border, whatever the edge
 * mode, and is read premultiplied, so a half-transparent white pixel has luma 0.5. */
QF_FN float qf_map_value(QF_FPTR const QF_Frame* f, qf_image map, int X, int Y)
{
    float x = qf_coord(((float)X + 0.5f) * f->map_sx + f->map_ox);
    float y = qf_coord(((float)Y + 0.5f) * f->map_sy + f->map_oy);
    int x0, y0;
    float tx = qf_cell(x, &x0);
    float ty = qf_cell(y, &y0);
    int x1 = x0 + 1;
    int y1 = y0 + 1;
    if (f->map_w <= 0 || f->map_h <= 0)
        return 0.0f;
    x0 = qf_maxi(0, qf_mini(f->map_w - 1, x0));
    x1 = qf_maxi(0, qf_mini(f->map_w - 1, x1));
    y0 = qf_maxi(0, qf_mini(f->map_h - 1, y0));
    y1 = qf_maxi(0, qf_mini(f->map_h - 1, y1));
    int pitch = f->map_pitch;
    qf4 top = qf4_lerp(qf_load_premul(map, pitch, x0, y0), qf_load_premul(map, pitch, x1, y0), tx);
    qf4 bottom = qf4_lerp(qf_load_premul(map, pitch, x0, y1), qf_load_premul(map, pitch, x1, y1), tx);
    qf4 v = qf4_lerp(top, bottom, ty);
    float m;
    int ch = f->map_channel;
    if (ch == QF_MAP_ALPHA)
        m = v.w;
    else if (ch == QF_MAP_RED)
        m = v.z;
    else if (ch == QF_MAP_GREEN)
        m = v.y;
    else if (ch == QF_MAP_BLUE)
        m = v.x;
    else
        m = (0.2126f * v.z + 0.7152f * v.y) + 0.0722f * v.x; /* Rec. 709 luma */
    m = qf_clampf(m, 0.0f, 1.0f);
    return f->map_invert ? 1.0f - m : m;
}

/* ---- Displacement field and shading ------------------------------------------------------------- */

/* Sum of the waves at full-resolution point (px, py): displacement (*dx, *dy) and its Jacobian
 * (*j00 = dDx/dx, *j01 = dDx/dy, *j10 = dDy/dx, *j11 = dDy/dy). */
QF_FN void qf_field(QF_FPTR const QF_Frame* f, float px, float py, float* dx, float* dy, float* j00, float* j01,
                    float* j10, float* j11)
{
    float sx = 0.0f, sy = 0.0f, a = 0.0f, b = 0.0f, c = 0.0f, d = 0.0f;
    int n = f->num_waves;
    int type = f->waveform;
    for (int i = 0; i < n && i < QF_MAX_WAVES; i++) {
        QF_FPTR const QF_Wave* w = &f->waves[i];
        float base = w->kx * px + w->ky * py;
        float dwf, dwd;
        float wf = qf_wave(type, base + w->phf, &dwf);
        float wd = qf_wave(type, base + w->phd, &dwd);
        sx = sx + (wf * w->fx + wd * w->dx);
        sy = sy + (wf * w->fy + wd * w->dy);
        float gx = dwf * w->fx + dwd * w->dx;
        float gy = dwf * w->fy + dwd * w->dy;
        a = a + gx * w->kx;
        b = b + gx * w->ky;
        c = c + gy * w->kx;
        d = d + gy * w->ky;
    }
    *dx = sx;
    *dy = sy;
    *j00 = a;
    *j01 = b;
    *j10 = c;
    *j11 = d;
}

/* Straight B, G, R, A of output pixel (bx, by). map is read only when has_map is set. */
QF_FN qf4 qf_shade(QF_FPTR const QF_Frame* f, qf_image src, qf_image map, int bx, int by)
{
    int X = f->out_x0 + bx;
    int Y = f->out_y0 + by;
    /* The input pixel at the same layer position, held inside the input buffer. */
    int ox = qf_maxi(0, qf_mini(f->in_w - 1, X - f->in_x0));
    int oy = qf_maxi(0, qf_mini(f->in_h - 1, Y - f->in_y0));
    float m = 1.0f;
    if (f->has_map)
        m = qf_map_value(f, map, X, Y);
    /* Nothing to warp; NaN strength or mix deliberately does not take this exit. */
    if (m <= 0.0f || f->mix <= 0.0f || f->num_waves <= 0)
        return qf_load_straight(src, f->in_pitch, ox, oy);

    float pfx = ((float)X + 0.5f) / f->dsx;
    float pfy = ((float)Y + 0.5f) / f->dsy;
    float a00 = 1.0f, a01 = 0.0f, a10 = 0.0f, a11 = 1.0f;
    float dispx = 0.0f, dispy = 0.0f;
    /* Q_n = P + m D(Q_(n-1)), with the Jacobian carried by the chain rule. */
    for (int it = 0; it < f->iterations; it++) {
        float fdx, fdy, g00, g01, g10, g11;
        qf_field(f, pfx + dispx, pfy + dispy, &fdx, &fdy, &g00, &g01, &g10, &g11);
        float e00 = 1.0f + m * (g00 * a00 + g01 * a10);
        float e01 = m * (g00 * a01 + g01 * a11);
        float e10 = m * (g10 * a00 + g11 * a10);
        float e11 = 1.0f + m * (g10 * a01 + g11 * a11);
        a00 = e00;
        a01 = e01;
        a10 = e10;
        a11 = e11;
        dispx = m * fdx;
        dispy = m * fdy;
    }
    /* From full-resolution pixels to buffer pixels at the current downsample. */
    float ddx = dispx * f->dsx;
    float ddy = dispy * f->dsy;
    float j00 = a00;
    float j11 = a11;
    float j01 = (a01 * f->dsx) / f->dsy;
    float j10 = (a10 * f->dsy) / f->dsx;
    float sx = (float)X;
    float sy = (float)Y;

    qf4 res;
    if (f->split == 0.0f) {
        res = qf_sample(f, src, sx + ddx, sy + ddy, j00, j01, j10, j11);
    } else {
        /* Colour split: red moves 1 + split times as far, blue 1 - split times. */
        float kr = 1.0f + f->split;
        float kb = 1.0f - f->split;
        qf4 g = qf_sample(f, src, sx + ddx, sy + ddy, j00, j01, j10, j11);
        qf4 r = qf_sample(f, src, sx + ddx * kr, sy + ddy * kr, j00, j01, j10, j11);
        qf4 b = qf_sample(f, src, sx + ddx * kb, sy + ddy * kb, j00, j01, j10, j11);
        res = qf4_set(b.x, g.y, r.z, g.w);
    }
    if (f->mix < 1.0f) {
        qf4 orig = qf_load_premul(src, f->in_pitch, ox, oy);
        res = qf4_lerp(orig, res, f->mix);
    }
    float a = res.w;
    if (!(a > QF_MIN_ALPHA))
        return qf4_zero();
    a = qf_minf(a, 1.0f);
    return qf4_set(qf_sane(res.x / a), qf_sane(res.y / a), qf_sane(res.z / a), a);
}

#endif /* QF_WARP_KERNEL_H */
