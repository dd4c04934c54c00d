// The row shaders and the choice between them: the scalar row loop, and the vector row shaders of
// cpu/simd wrapped so that every frame can be given to them.
#include "ShadeRow.h"

#include "PixelFormats.h"
#include "ShadeRowVector.h"

#include <cstring>

namespace {

// The scalar kernel reads the worlds in place: a texel converted as WorldToWorkBuffer converts it.
template <class P> void Fetch(const WorldView& world, int x, int y, float* bgra)
{
    using T = typename P::Channel;
    const char* pixel = RowAddress(world, y) + std::ptrdiff_t(x) * P::PIXEL_BYTES;
    const int at[4] = {P::B, P::G, P::R, P::A};
    for (int c = 0; c < 4; c++) {
        T level;
        std::memcpy(&level, pixel + at[c] * int(sizeof(T)), sizeof(T));
        bgra[c] = ReadLevel<P>(level);
    }
}

void FetchTexel(const WorldView* world, int x, int y, float* bgra)
{
    WithPixelFormat(world->depth, world->order, [&]<class P>() { Fetch<P>(*world, x, y, bgra); });
}

} // namespace

#define QF_HOST_IMAGE const WorldView*
#define QF_HOST_FETCH(image, pitch, x, y, bgra) FetchTexel(image, x, y, bgra)
#include "WarpKernel.h"

namespace {

// Straight B, G, R, A into one pixel of the output's format, as WorkRowToWorld writes it.
template <class P> void Store(char* pixel, const qf4& v)
{
    using T = typename P::Channel;
    const float bgra[4] = {v.x, v.y, v.z, v.w};
    const int at[4] = {P::B, P::G, P::R, P::A};
    for (int c = 0; c < 4; c++) {
        const T level = WriteLevel<P>(bgra[c]);
        std::memcpy(pixel + at[c] * int(sizeof(T)), &level, sizeof(T));
    }
}

template <VectorIsa ISA> void AnyFrameVectorRow(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row)
{
    if (VectorFrameSupported(frame, worlds)) {
        LaneShadeRow(ISA)(frame, worlds, row);
    } else {
        ShadeRowScalar(frame, worlds, row);
    }
}

bool ForcedIsa(ShadePath path, VectorIsa* isa)
{
    switch (path) {
    case ShadePath::SSE2:
        *isa = VectorIsa::SSE2;
        return true;
    case ShadePath::AVX2:
        *isa = VectorIsa::AVX2;
        return true;
    case ShadePath::AVX512:
        *isa = VectorIsa::AVX512;
        return true;
    case ShadePath::Automatic:
    case ShadePath::Scalar:
        break;
    }
    return false;
}

} // namespace

void ShadeRowScalar(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row)
{
    char* const out = RowAddress(worlds.output, row);
    WithPixelFormat(worlds.output.depth, worlds.output.order, [&]<class P>() {
        for (int32_t x = 0; x < frame.out_w; x++)
            Store<P>(out + std::ptrdiff_t(x) * P::PIXEL_BYTES, qf_shade(&frame, &worlds.input, &worlds.map, x, row));
    });
}

ShadeRowFn VectorShadeRow(VectorIsa isa)
{
    if (!VectorIsaSupported(isa)) {
        return nullptr;
    }
    switch (isa) {
    case VectorIsa::SSE2:
        return AnyFrameVectorRow<VectorIsa::SSE2>;
    case VectorIsa::AVX2:
        return AnyFrameVectorRow<VectorIsa::AVX2>;
    case VectorIsa::AVX512:
        return AnyFrameVectorRow<VectorIsa::AVX512>;
    }
    return nullptr;
}

bool ShadePathSupported(ShadePath path)
{
    VectorIsa isa;
    return !ForcedIsa(path, &isa) || VectorIsaSupported(isa);
}

ShadeRowFn ShadeRowFor(ShadePath path)
{
    VectorIsa isa;
    if (path == ShadePath::Automatic) {
        if (WidestVectorIsa(&isa))
            return VectorShadeRow(isa);
    } else if (ForcedIsa(path, &isa) && VectorIsaSupported(isa)) {
        return VectorShadeRow(isa);
    }
    return ShadeRowScalar;
}

ShadeRowFn ProcessShadeRow()
{
    // Chosen once per process, from the processor alone (HostCpuFeatures: what the processor and the
    // operating system run): a pure function of the machine, so every frame of the process takes the
    // same path and nothing can change it while renders run.
    static const ShadeRowFn chosen = ShadeRowFor(ShadePath::Automatic);
    return chosen;
}
