// One output row through the kernel. Every CPU render shades its rows through a row shader chosen here,
// so a faster row shader can be added without touching the band renderer.
#pragma once

#include <cstdint>

#include "WarpTypes.h"

// Shades pixels 0 to out_w - 1 of output row `row` into out (out_w pixels of 4 floats, B, G, R, A,
// straight alpha). src and map as for qf_shade; map may be null when has_map is 0.
using ShadeRowFn = void (*)(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);

// The reference path: qf_shade for each pixel, left to right.
void ShadeRowScalar(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);

enum class VectorIsa;

// The vector row shader of an instruction set (cpu/simd) for every frame: frames outside what its lanes
// take (buffers past 2^30 pixels, coordinates past 2^29, aa_cap above 64) go to ShadeRowScalar. Null
// when the instruction set is not supported here.
ShadeRowFn VectorShadeRow(VectorIsa isa);

// Row shaders by name. Automatic is the fastest path this processor supports; Scalar the reference path
// (tests compare against it, benchmarks measure it); SSE2, AVX2 and AVX512 one vector row shader
// (cpu/simd), bit-identical to the reference, when ShadePathSupported.
enum class ShadePath { Automatic, Scalar, SSE2, AVX2, AVX512 };

// Whether this build and processor can run the path; Automatic and Scalar always can.
bool ShadePathSupported(ShadePath path);

// The row shader of a path on this processor; a forced path that cannot run gives ShadeRowScalar. Tests
// and benchmarks that want a particular path pass this to the band renderer (BandRenderHooks).
ShadeRowFn ShadeRowFor(ShadePath path);

// The row shader every render uses unless told otherwise: ShadeRowFor(ShadePath::Automatic).
ShadeRowFn ProcessShadeRow();
