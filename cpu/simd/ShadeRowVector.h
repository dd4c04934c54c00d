// The vector row shaders: several pixels of a row at once (4 lanes with SSE2, 8 with AVX2, 16 with
// AVX-512), each lane performing exactly qf_shade's single-precision operations in qf_shade's order, so
// every output bit equals the scalar kernel's. Each instruction set is compiled in its own file with its
// own flags and chosen at run time, so the module still runs on any x86-64 processor.
#pragma once

#include <cstdint>

#include "WarpTypes.h"

// Pixels [x0, x1) of output row `row` through qf_shade, into out (pixel x at out + 4 x): the reference
// the vector shaders match, and what they fall back on. Compiled for the baseline processor.
void ShadePixelsScalar(const QF_Frame& frame, const float* src, const float* map, int32_t row, int32_t x0, int32_t x1,
                       float* out);

enum class VectorIsa { SSE2, AVX2, AVX512 };

// Compiled into this build (the compiler knew the instructions and the target is x86-64).
bool VectorIsaBuilt(VectorIsa isa);

// Built, and this processor and operating system run it.
bool VectorIsaSupported(VectorIsa isa);

const char* VectorIsaName(VectorIsa isa);

// The widest supported instruction set; false when none is (another architecture, or a build without
// vector code).
bool WidestVectorIsa(VectorIsa* isa);

// Row shader with ShadeRowFn's contract (cpu/ShadeRow.h): pixels 0 to out_w - 1 of output row `row`
// into out. Null when the instruction set is not supported here. Frames outside what the vector code
// handles (buffers past 2^30 pixels, coordinates past 2^29, aa_cap above 64) are shaded by qf_shade.
using VectorShadeRowFn = void (*)(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);
VectorShadeRowFn VectorShadeRow(VectorIsa isa);
