// Conversions between a host's pixels (WorldView: 8-bit, 16-bit with full scale 32768 or 65535, or float, in any
// order of PixelFormats.h) and the kernel's float work buffers (B, G, R, A). Colour passes as it is: no
// alpha arithmetic either way. The CPU renderer reads and writes worlds in place with the same arithmetic;
// these serve the GPU worlds' fallback, tests, and the work-copy road it keeps for comparison.
#pragma once

#include "WorldView.h"

#include <cstdint>
#include <vector>

// Converts the whole world into buffer: width x height pixels, rows packed (pitch = width), 4 floats per
// pixel in the order B, G, R, A. A world without pixels gives an empty buffer. Running out of memory while
// resizing raises std::bad_alloc.
void WorldToWorkBuffer(const WorldView& world, std::vector<float>& buffer);

// Writes work row `pixels` (at least width pixels, B, G, R, A) into row `row` of the world, touching
// nothing else, so different rows may be written at once from several threads. 8- and 16-bit values
// are rounded and clamped to the channel's range (NaN gives 0); float values are copied bit for bit.
// A row outside the world, or a world without pixels, writes nothing.
void WorkRowToWorld(const WorldView& world, std::int32_t row, const float* pixels);

// A float work buffer as a world: width x height pixels of B, G, R, A, `pitch` pixels from one row to the
// next, at layer position (0, 0). The renderer reads it and never writes through it unless it is an
// output.
WorldView WorkBufferWorld(const float* pixels, std::int32_t width, std::int32_t height, std::int32_t pitch);
