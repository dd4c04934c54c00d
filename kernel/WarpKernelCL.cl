/* OpenCL entry: one work item per output pixel of one band. The launch grid may be rounded up past the
 * band and the image; the surplus items return without writing. */
__kernel void qf_render(__global const float* src, __global float* dst, __global const float* map,
                        __constant QF_Frame* F)
{
    int bx = (int)get_global_id(0);
    int by = (int)get_global_id(1) + F->band_y0;
    if (bx >= F->out_w || by >= F->out_h || by >= F->band_y0 + F->band_h)
        return;
    qf4 v = qf_shade(F, src, map, bx, by);
    size_t i = ((size_t)by * (size_t)F->out_pitch + (size_t)bx) * 4;
    dst[i] = v.x;
    dst[i + 1] = v.y;
    dst[i + 2] = v.z;
    dst[i + 3] = v.w;
}
