// Run-time choice among the vector row shaders, and which frames their lanes take (compiled here, for the
// baseline processor).
#include "ShadeRowVector.h"

#include <cstdint>

#include "CpuFeatures.h"
#include "PixelFormats.h"
#include "ShadeRowVectorImpl.h"

namespace {

constexpr int64_t COORD_LIMIT = int64_t(1) << 29;
constexpr int64_t INDEX_LIMIT = int64_t(1) << 30;

bool Small(int64_t v)
{
    return v > -COORD_LIMIT && v < COORD_LIMIT;
}

// The world's first w x h pixels, when its rows are a whole number of pixels apart and the lanes' pixel
// offset of every one of them fits INDEX_LIMIT.
bool AddressableWorld(const WorldView& world, int32_t w, int32_t h)
{
    const int64_t pixel = PixelBytes(world);
    if (w < 1 || h < 1 || world.row_bytes % pixel != 0)
        return false;
    const int64_t stride = int64_t(world.row_bytes) / pixel;
    return w <= INDEX_LIMIT && (stride < 0 ? -stride : stride) <= (INDEX_LIMIT - w) / h;
}

} // namespace

bool VectorWorldAddressable(const WorldView& world, int32_t w, int32_t h)
{
    return AddressableWorld(world, w, h);
}

bool VectorFrameSupported(const QF_Frame& f, const ShadeWorlds& worlds)
{
    if (!AddressableWorld(worlds.input, f.in_w, f.in_h))
        return false;
    if (f.has_map && f.map_w > 0 && f.map_h > 0 && !AddressableWorld(worlds.map, f.map_w, f.map_h))
        return false;
    if (f.aa_cap > VECTOR_MAX_AA_CAP)
        return false;
    const int64_t coords[] = {f.out_x0, f.out_y0, int64_t(f.out_x0) + f.out_w, int64_t(f.out_y0) + f.out_h, f.in_x0,
                              f.in_y0, f.lay_x0, f.lay_y0, f.lay_x1, f.lay_y1};
    for (int64_t v : coords)
        if (!Small(v))
            return false;
    return true;
}

bool VectorIsaBuilt(VectorIsa isa)
{
    switch (isa) {
    case VectorIsa::SSE2:
#ifdef QF_HAVE_SSE2
        return true;
#else
        return false;
#endif
    case VectorIsa::AVX2:
#ifdef QF_HAVE_AVX2
        return true;
#else
        return false;
#endif
    case VectorIsa::AVX512:
#ifdef QF_HAVE_AVX512
        return true;
#else
        return false;
#endif
    }
    return false;
}

bool VectorIsaSupported(VectorIsa isa)
{
    if (!VectorIsaBuilt(isa))
        return false;
    const CpuFeatures& cpu = HostCpuFeatures();
    switch (isa) {
    case VectorIsa::SSE2:
        return cpu.sse2;
    case VectorIsa::AVX2:
        return cpu.avx2;
    case VectorIsa::AVX512:
        return cpu.avx512f;
    }
    return false;
}

const char* VectorIsaName(VectorIsa isa)
{
    switch (isa) {
    case VectorIsa::SSE2:
        return "SSE2";
    case VectorIsa::AVX2:
        return "AVX2";
    case VectorIsa::AVX512:
        return "AVX-512";
    }
    return "?";
}

bool WidestVectorIsa(VectorIsa* isa)
{
    const VectorIsa widestFirst[] = {VectorIsa::AVX512, VectorIsa::AVX2, VectorIsa::SSE2};
    for (VectorIsa v : widestFirst)
        if (VectorIsaSupported(v)) {
            *isa = v;
            return true;
        }
    return false;
}

VectorShadeRowFn LaneShadeRow(VectorIsa isa)
{
    if (!VectorIsaSupported(isa))
        return nullptr;
    switch (isa) {
#ifdef QF_HAVE_SSE2
    case VectorIsa::SSE2:
        return ShadeRowSSE2;
#endif
#ifdef QF_HAVE_AVX2
    case VectorIsa::AVX2:
        return ShadeRowAVX2;
#endif
#ifdef QF_HAVE_AVX512
    case VectorIsa::AVX512:
        return ShadeRowAVX512;
#endif
    default:
        return nullptr;
    }
}
