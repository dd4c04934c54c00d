// The row shaders and the process-wide choice between them.
#include "ShadeRow.h"

#include <atomic>

#include "WarpKernel.h"

namespace {

std::atomic<ShadePath> g_shadePath{ShadePath::Automatic};

} // namespace

void ShadeRowScalar(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out)
{
    for (int32_t x = 0; x < frame.out_w; x++) {
        qf4 v = qf_shade(&frame, src, map, x, row);
        float* p = out + size_t(x) * 4;
        p[0] = v.x;
        p[1] = v.y;
        p[2] = v.z;
        p[3] = v.w;
    }
}

void SetShadePath(ShadePath path)
{
    g_shadePath.store(path);
}

ShadePath GetShadePath()
{
    return g_shadePath.load();
}

ShadeRowFn SelectedShadeRow()
{
    switch (g_shadePath.load()) {
    case ShadePath::Scalar:
        return ShadeRowScalar;
    case ShadePath::Automatic:
        break;
    }
    // No faster path yet: automatic is the reference path.
    return ShadeRowScalar;
}

void ShadeRow(const QF_Frame& frame, const float* src, const float* map, int32_t row, float* out)
{
    SelectedShadeRow()(frame, src, map, row, out);
}
