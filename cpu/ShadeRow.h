// One output row through the kernel, reading the input and the strength map where they are and writing
// the row into the output world in its own format. Every CPU render shades its rows through a row shader
// chosen here, so a faster row shader can be added without touching the band renderer.
#pragma once

#include <cstdint>

#include "WarpTypes.h"
#include "WorldView.h"

// The worlds of one frame as the row shaders see them, in any depth and order (PixelFormats.h): the
// input and the strength map, read only where the frame record says (in_w x in_h pixels, and map_w x
// map_h when has_map is set), and the output, whose row r is written at output.data + r *
// output.row_bytes, out_w pixels. Origins and the record's pitches are not read: the record places the
// worlds, and each world's row_bytes says how its rows follow each other. A float work buffer is a world
// of depth Float and order BGRA (WorkBufferWorld, PixelConversion.h).
struct ShadeWorlds {
    WorldView input;
    WorldView map;
    WorldView output;
};

// Shades pixels 0 to out_w - 1 of output row `row` and writes them, straight alpha, into that row of
// worlds.output, converted to its format exactly as WorkRowToWorld converts (PixelConversion.h). Texels
// are read as WorldToWorkBuffer would have read them into a work buffer, so the row's bits are the same
// as qf_shade's over such a buffer.
using ShadeRowFn = void (*)(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row);

// The reference path: qf_shade for each pixel, left to right.
void ShadeRowScalar(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row);

enum class VectorIsa;

// The vector row shader of an instruction set (cpu/simd) for every frame: frames outside what its lanes
// take (texel offsets past 2^30, coordinates past 2^29, aa_cap above 64) go to ShadeRowScalar. Null
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
