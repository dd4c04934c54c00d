/* CUDA entry, compiled to PTX by clang's NVPTX back end. The frame record travels by value as the
 * fourth kernel parameter; blocks are 16 x 16 and the grid may overhang the band and the image. */
#define QF_CUDA 1
#include "WarpTypes.h"
#include "WarpKernel.h"

extern "C" __attribute__((global)) __attribute__((launch_bounds(256, 2))) void
qf_render(const float* src, float* dst, const float* map, QF_Frame F)
{
    int bx = (int)(__nvvm_read_ptx_sreg_ctaid_x() * __nvvm_read_ptx_sreg_ntid_x() + __nvvm_read_ptx_sreg_tid_x());
    int ry = (int)(__nvvm_read_ptx_sreg_ctaid_y() * __nvvm_read_ptx_sreg_ntid_y() + __nvvm_read_ptx_sreg_tid_y());
    int by = ry + F.band_y0;
    if (bx >= F.out_w || by >= F.out_h || ry >= F.band_h)
        return;
    qf4 v = qf_shade(&F, src, map, bx, by);
    qf_index i = ((qf_index)by * (qf_index)F.out_pitch + (qf_index)bx) * 4;
    dst[i] = v.x;
    dst[i + 1] = v.y;
    dst[i + 2] = v.z;
    dst[i + 3] = v.w;
}
