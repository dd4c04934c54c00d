// The per-instruction-set row shaders (ShadeRowSSE2.cpp, ShadeRowAVX2.cpp, ShadeRowAVX512.cpp): the lanes
// alone, for frames VectorFrameSupported accepts, and what their intrinsic layers share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PixelFormats.h"
#include "ShadeRow.h"
#include "ShadeRowVector.h"
#include "WarpTypes.h"

void ShadeRowSSE2(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row);
void ShadeRowAVX2(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row);
void ShadeRowAVX512(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row);

// The address of a lane's texel: base + off pixels of SCALE bytes, off signed (rows stored bottom-up
// lie before base). Static: each instruction-set file has its own copy.
template <int SCALE> static inline const char* LaneAddress(const char* base, int32_t off)
{
    return base + std::ptrdiff_t(off) * SCALE;
}
