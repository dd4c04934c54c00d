/* The frame record and the codes shared by the CPU renderer, the OpenCL program and the CUDA module.
 * Every member is a 4-byte int or float so the layout is byte-for-byte the same on all three; the GPU
 * programs read the record by offset, so the offsets below are part of the format. */
#ifndef QF_WARP_TYPES_H
#define QF_WARP_TYPES_H

#define QF_MAX_WAVES 32

/* Waveform codes; any other value renders as a sine. */
#define QF_WAVE_SINE 0
#define QF_WAVE_LIQUID 1
#define QF_WAVE_DRIP 2
#define QF_WAVE_TRIANGLE 3
#define QF_WAVE_SQUARE 4
#define QF_WAVE_SAWTOOTH 5
#define QF_WAVEFORM_COUNT 6

/* What a texel outside the layer reads; any other value repeats the edge pixel. */
#define QF_EDGE_REPEAT 0
#define QF_EDGE_WRAP 1
#define QF_EDGE_MIRROR 2
#define QF_EDGE_TRANSPARENT 3

/* Which value of the strength map is the strength; any other value uses luma. */
#define QF_MAP_LUMA 0
#define QF_MAP_ALPHA 1
#define QF_MAP_RED 2
#define QF_MAP_GREEN 3
#define QF_MAP_BLUE 4

/* One wave: adds w(k.P + phf) * (fx, fy) + w(k.P + phd) * (dx, dy) at full-resolution point P.
 * Units: full-resolution layer pixels and radians. */
typedef struct {
    float kx, ky;   /* wave vector, radians per full-resolution pixel */
    float phf;      /* phase of the fold component, radians */
    float phd;      /* phase of the drip component, radians */
    float fx, fy;   /* fold displacement (along the wave), pixels */
    float dx, dy;   /* drip displacement (across the wave), pixels */
} QF_Wave;

/* Positions are absolute layer coordinates at the current downsample, pixel i centred at i; rectangles
 * are half-open. Buffers hold 4 floats per pixel (B, G, R, A, straight alpha) at float index
 * (y * pitch + x) * 4, pitches in pixels. */
typedef struct {
    int out_x0, out_y0;     /* layer position of output buffer pixel (0, 0) */
    int out_w, out_h;       /* output size, pixels */
    int out_pitch;          /* output row pitch, pixels */
    int band_y0, band_h;    /* output rows written by this launch */
    int in_x0, in_y0;       /* layer position of input buffer pixel (0, 0) */
    int in_w, in_h;         /* input size, pixels */
    int in_pitch;           /* input row pitch, pixels */
    int lay_x0, lay_y0;     /* layer bounds, inclusive */
    int lay_x1, lay_y1;     /* layer bounds, exclusive */
    int has_map;            /* 1: a strength map buffer is passed */
    int map_w, map_h;       /* strength map size, pixels */
    int map_pitch;          /* strength map row pitch, pixels */
    int map_channel;        /* QF_MAP_* */
    int map_invert;         /* non-zero: strength is 1 - map value */
    int num_waves;          /* waves in use, 0 to QF_MAX_WAVES */
    int waveform;           /* QF_WAVE_*, the same for all waves */
    int iterations;         /* field evaluations per pixel; 0 or less: no displacement */
    int edge_mode;          /* QF_EDGE_* */
    int aa_cap;             /* most anti-aliasing sub-samples per axis; below 1 acts as 1 */
    int bicubic;            /* non-zero: single-sample pixels use clamped Catmull-Rom */
    int pad0, pad1;         /* reserved, 0 */
    float dsx, dsy;         /* downsample factors, 1 = full resolution */
    float split;            /* colour split amount, 0 = off */
    float mix;              /* 1 = full effect, 0 or less = untouched input */
    float map_sx, map_sy;   /* map buffer position = layer position * map_s + map_o */
    float map_ox, map_oy;
    QF_Wave waves[QF_MAX_WAVES];
} QF_Frame;

/* The GPU programs read the record by offset: pin the layout wherever a C++ compiler sees it. */
#if defined(__cplusplus) && !defined(QF_CUDA)
#include <cstddef>
#define QF_PIN(field, offset) static_assert(offsetof(QF_Frame, field) == (offset), "QF_Frame." #field)
static_assert(sizeof(QF_Wave) == 32, "QF_Wave is 32 bytes");
static_assert(sizeof(QF_Frame) == 1176, "QF_Frame is 1176 bytes");
static_assert(alignof(QF_Frame) == 4, "QF_Frame is 4-byte aligned");
QF_PIN(out_x0, 0); QF_PIN(out_y0, 4); QF_PIN(out_w, 8); QF_PIN(out_h, 12); QF_PIN(out_pitch, 16);
QF_PIN(band_y0, 20); QF_PIN(band_h, 24); QF_PIN(in_x0, 28); QF_PIN(in_y0, 32); QF_PIN(in_w, 36);
QF_PIN(in_h, 40); QF_PIN(in_pitch, 44); QF_PIN(lay_x0, 48); QF_PIN(lay_y0, 52); QF_PIN(lay_x1, 56);
QF_PIN(lay_y1, 60); QF_PIN(has_map, 64); QF_PIN(map_w, 68); QF_PIN(map_h, 72); QF_PIN(map_pitch, 76);
QF_PIN(map_channel, 80); QF_PIN(map_invert, 84); QF_PIN(num_waves, 88); QF_PIN(waveform, 92);
QF_PIN(iterations, 96); QF_PIN(edge_mode, 100); QF_PIN(aa_cap, 104); QF_PIN(bicubic, 108);
QF_PIN(pad0, 112); QF_PIN(pad1, 116); QF_PIN(dsx, 120); QF_PIN(dsy, 124); QF_PIN(split, 128);
QF_PIN(mix, 132); QF_PIN(map_sx, 136); QF_PIN(map_sy, 140); QF_PIN(map_ox, 144); QF_PIN(map_oy, 148);
QF_PIN(waves, 152);
static_assert(offsetof(QF_Wave, kx) == 0 && offsetof(QF_Wave, ky) == 4 && offsetof(QF_Wave, phf) == 8 &&
                  offsetof(QF_Wave, phd) == 12 && offsetof(QF_Wave, fx) == 16 && offsetof(QF_Wave, fy) == 20 &&
                  offsetof(QF_Wave, dx) == 24 && offsetof(QF_Wave, dy) == 28,
              "QF_Wave layout");
#undef QF_PIN
#endif

#endif /* QF_WARP_TYPES_H */
