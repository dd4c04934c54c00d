// One output row through the kernel. Every CPU render shades its rows through the path selected here,
// so a faster row shader can be added without touching the band renderer.
#pragma once

#include <cstdint>

#include "WarpTypes.h"

// Shades pixels 0 to out_w - 1 of output row `row` into out (out_w pixels of 4 floats, B, G, R, A,
// straight alpha). src and map as for qf_shade; map may be null when has_map is 0.
using ShadeRowFn = void (*)(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);

// The reference path: qf_shade for each pixel, left to right.
void ShadeRowScalar(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);

// Which row shader renders use. Automatic picks the fastest path this processor supports; Scalar
// forces the reference path (tests compare against it, benchmarks measure it); SSE2, AVX2 and AVX512
// force one vector row shader (cpu/simd), bit-identical to the reference, when ShadePathSupported.
enum class ShadePath { Automatic, Scalar, SSE2, AVX2, AVX512 };

// Whether this build and processor can run the path; Automatic and Scalar always can. A forced path
// that cannot run falls back to Scalar.
bool ShadePathSupported(ShadePath path);

// Process-wide; any thread may set it. A render in progress keeps the path it started with.
void SetShadePath(ShadePath path);
ShadePath GetShadePath();

// The row shader the current setting gives on this processor.
ShadeRowFn SelectedShadeRow();

// Shades one row through the selected path.
void ShadeRow(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);
