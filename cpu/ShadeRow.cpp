// The row shaders and the process-wide choice between them.
#include "ShadeRow.h"

#include <atomic>

#include "ShadeRowVector.h"

namespace {

std::atomic<ShadePath> g_shadePath{ShadePath::Automatic};

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

void SetShadePath(ShadePath path)
{
    g_shadePath.store(path);
}

ShadePath GetShadePath()
{
    return g_shadePath.load();
}

bool ShadePathSupported(ShadePath path)
{
    VectorIsa isa;
    return !ForcedIsa(path, &isa) || VectorIsaSupported(isa);
}

ShadeRowFn SelectedShadeRow()
{
    const ShadePath path = g_shadePath.load();
    VectorIsa isa;
    if (path == ShadePath::Automatic) {
        if (WidestVectorIsa(&isa))
            return VectorShadeRow(isa);
    } else if (ForcedIsa(path, &isa) && VectorIsaSupported(isa)) {
        return VectorShadeRow(isa);
    }
    return ShadeRowScalar;
}

void ShadeRow(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out)
{
    SelectedShadeRow()(frame, src, map, row, out);
}
