// The row shaders and the choice between them.
#include "ShadeRow.h"

#include "ShadeRowVector.h"

namespace {

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
    ShadePixelsScalar(frame, src, map, row, 0, frame.out_w, out);
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
