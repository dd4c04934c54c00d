// Exposes the kernel as the CPU renderer compiles it, so the build can inspect the generated code.
#include "WarpKernel.h"

extern "C" qf4 QfProbeShade(const QF_Frame* f, const float* src, const float* map, int x, int y)
{
    return qf_shade(f, src, map, x, y);
}
