// Conversions between the host's ARGB pixel worlds (8-bit, 16-bit with full scale 32768, float) and the
// kernel's float work buffers (B, G, R, A). Colour passes as it is: no alpha arithmetic either way.
#pragma once

#include <cstdint>
#include <vector>

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"

// Converts the whole world into buffer: width x height pixels, rows packed (pitch = width), 4 floats per
// pixel in the order B, G, R, A. The format code picks the depth: PF_PixelFormat_ARGB128 float,
// PF_PixelFormat_ARGB64 16-bit, any other code 8-bit. An empty world (or none) gives an empty buffer.
// Running out of memory while resizing raises std::bad_alloc.
void WorldToWorkBuffer(const PF_EffectWorld* world, PF_PixelFormat format, std::vector<float>& buffer);

// Writes work row `pixels` (at least width pixels, B, G, R, A) into row `row` of the world, touching
// nothing else, so different rows may be written at once from several threads. 8- and 16-bit values
// are rounded and clamped to the channel's range (NaN gives 0); float values are copied bit for bit.
// A row outside the world writes nothing.
void WorkRowToWorld(PF_EffectWorld* world, PF_PixelFormat format, int32_t row, const float* pixels);
