// Makes the host's CUDA context current on this thread for one scope, and pops it on every way out.
#pragma once

#include "GpuLoader.h"

class CudaContextScope {
public:
    CudaContextScope(const CudaApi& cu, CUcontext context) : cu_(cu)
    {
        pushed_ = cu_.cuCtxPushCurrent_v2(context) == CUDA_SUCCESS;
    }
    ~CudaContextScope()
    {
        if (pushed_) {
            CUcontext popped = nullptr;   // the host's context, not ours to keep
            cu_.cuCtxPopCurrent_v2(&popped);
        }
    }
    CudaContextScope(const CudaContextScope&) = delete;
    CudaContextScope& operator=(const CudaContextScope&) = delete;

    // False when the push failed: nothing is current and nothing is popped.
    bool pushed() const { return pushed_; }

private:
    const CudaApi& cu_;
    bool pushed_ = false;
};
