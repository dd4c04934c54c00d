// The row shaders and the choice between them: the scalar row loop, and the vector row shaders of
// cpu/simd wrapped so that every frame can be given to them.
#include "ShadeRow.h"

#include "ShadeRowVector.h"
#include "WarpKernel.h"

namespace {

template <VectorIsa ISA>
void AnyFrameVectorRow(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out)
{
    if (VectorFrameSupported(frame)) {
        LaneShadeRow(ISA)(frame, src, map, row, out);
    } else {
        ShadeRowScalar(frame, src, map, row, out);
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

void ShadeRowScalar(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out)
{
    for (int32_t x = 0; x < frame.out_w; x++) {
        const qf4 v = qf_shade(&frame, src, map, x, row);
        float* p = out + size_t(x) * 4;
        p[0] = v.x;
        p[1] = v.y;
        p[2] = v.z;
        p[3] = v.w;
    }
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
