// The vector row shaders: several pixels of a row at once (4 lanes with SSE2, 8 with AVX2, 16 with
// AVX-512), each lane performing exactly qf_shade's single-precision operations in qf_shade's order, so
// every output bit equals the scalar kernel's. Each instruction set compiles the kernel's lane flavour
// (kernel/WarpKernelLanes.h) in its own file with its own flags and is chosen at run time, so the module
// still runs on any x86-64 processor. VectorShadeRow (ShadeRow.h) wraps them for every frame.
#pragma once

#include <cstdint>

#include "ShadeRow.h"
#include "WarpTypes.h"

enum class VectorIsa { SSE2, AVX2, AVX512 };

// Compiled into this build (the compiler knew the instructions and the target is x86-64).
bool VectorIsaBuilt(VectorIsa isa);

// Built, and this processor and operating system run it.
bool VectorIsaSupported(VectorIsa isa);

const char* VectorIsaName(VectorIsa isa);

// The widest supported instruction set; false when none is (another architecture, or a build without
// vector code).
bool WidestVectorIsa(VectorIsa* isa);

// Most anti-aliasing sub-samples per axis the lanes take.
inline constexpr int VECTOR_MAX_AA_CAP = 64;

// True when the lanes can take this frame over these worlds: the input's and the map's rows are a whole
// number of pixels apart, the pixel offset of every texel the frame reads fits 30 bits and every layer
// coordinate, origin and bound 29 bits, so no integer step of the lanes can overflow, and aa_cap is at
// most VECTOR_MAX_AA_CAP.
bool VectorFrameSupported(const QF_Frame& frame, const ShadeWorlds& worlds);

// Whether the lanes can read w x h pixels of this world in place (the world part of VectorFrameSupported).
bool VectorWorldAddressable(const WorldView& world, int32_t w, int32_t h);

// Row shader with ShadeRowFn's contract (cpu/ShadeRow.h).
using VectorShadeRowFn = ShadeRowFn;

// The lanes of one instruction set as a row shader, for frames VectorFrameSupported accepts only. Null
// when the instruction set is not supported here.
VectorShadeRowFn LaneShadeRow(VectorIsa isa);
