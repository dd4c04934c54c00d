// A stand-in CUDA driver for the loader tests: every entry point the plug-in resolves, doing nothing.
// Defining QF_FAKE_OMIT_<entry point> leaves that one out. Like a real driver it also exports the
// old 32-bit-pointer names without _v2, which must never stand in for the _v2 ones.
#include "GpuApiTypes.h"

extern "C" {

CUresult QF_CUDA_API_CALL cuCtxPushCurrent(CUcontext)
{
    return CUDA_SUCCESS;
}
CUresult QF_CUDA_API_CALL cuCtxPopCurrent(CUcontext*)
{
    return CUDA_SUCCESS;
}
CUresult QF_CUDA_API_CALL cuMemcpyDtoHAsync(void*, unsigned int, unsigned int, CUstream)
{
    return CUDA_SUCCESS;
}
CUresult QF_CUDA_API_CALL cuMemcpyHtoDAsync(unsigned int, const void*, unsigned int, CUstream)
{
    return CUDA_SUCCESS;
}

#ifndef QF_FAKE_OMIT_cuCtxPushCurrent_v2
CUresult QF_CUDA_API_CALL cuCtxPushCurrent_v2(CUcontext)
{
    return CUDA_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_cuCtxPopCurrent_v2
CUresult QF_CUDA_API_CALL cuCtxPopCurrent_v2(CUcontext* pctx)
{
    if (pctx)
        *pctx = nullptr;
    return CUDA_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_cuModuleLoadDataEx
CUresult QF_CUDA_API_CALL cuModuleLoadDataEx(CUmodule*, const void*, unsigned int, CUjit_option*, void**)
{
    return CUDA_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_cuModuleGetFunction
CUresult QF_CUDA_API_CALL cuModuleGetFunction(CUfunction*, CUmodule, const char*)
{
    return CUDA_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_cuModuleUnload
CUresult QF_CUDA_API_CALL cuModuleUnload(CUmodule)
{
    return CUDA_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_cuLaunchKernel
CUresult QF_CUDA_API_CALL cuLaunchKernel(CUfunction, unsigned int, unsigned int, unsigned int, unsigned int,
                                         unsigned int, unsigned int, unsigned int, CUstream, void**, void**)
{
    return CUDA_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_cuMemcpyDtoHAsync_v2
CUresult QF_CUDA_API_CALL cuMemcpyDtoHAsync_v2(void*, CUdeviceptr, size_t, CUstream)
{
    return CUDA_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_cuMemcpyHtoDAsync_v2
CUresult QF_CUDA_API_CALL cuMemcpyHtoDAsync_v2(CUdeviceptr, const void*, size_t, CUstream)
{
    return CUDA_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_cuStreamSynchronize
CUresult QF_CUDA_API_CALL cuStreamSynchronize(CUstream)
{
    return CUDA_SUCCESS;
}
#endif

} // extern "C"
