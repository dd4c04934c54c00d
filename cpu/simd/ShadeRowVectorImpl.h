// The per-instruction-set row shaders (ShadeRowSSE2.cpp, ShadeRowAVX2.cpp, ShadeRowAVX512.cpp): the lanes
// alone, for frames VectorFrameSupported accepts.
#pragma once

#include <cstdint>

#include "ShadeRowVector.h"
#include "WarpTypes.h"

void ShadeRowSSE2(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);
void ShadeRowAVX2(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);
void ShadeRowAVX512(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);
