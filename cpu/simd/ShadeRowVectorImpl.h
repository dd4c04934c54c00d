// Shared declarations of the per-instruction-set row shaders (ShadeRowSSE2.cpp, ShadeRowAVX2.cpp,
// ShadeRowAVX512.cpp) and the scalar pieces they fall back on, which live in ShadeRowVector.cpp so they
// are compiled for the baseline processor.
#pragma once

#include <cstdint>

#include "ShadeRowVector.h"
#include "WarpTypes.h"

// True when the vector row shaders can take this frame: every buffer index fits 30 bits and every layer
// coordinate, origin and bound 29 bits, so no integer step of the vector code can overflow, and aa_cap is
// at most VECTOR_MAX_AA_CAP.
bool VectorFrameSupported(const QF_Frame& frame);

inline constexpr int VECTOR_MAX_AA_CAP = 64;

void ShadeRowSSE2(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);
void ShadeRowAVX2(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);
void ShadeRowAVX512(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out);
