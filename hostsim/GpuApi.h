// The OpenCL 1.1 and CUDA driver API calls the host's GPU side makes, with the few types and constants
// they take, so that the host needs neither the vendors' headers nor anything of the plug-in's. Sizes
// and calling conventions are the public headers'. Included only by the host's GPU files: the names
// live in a namespace of their own, apart from any header that spells them the vendors' way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hostgpu {

#if defined(_WIN32)
#define QF_HOST_GPU_CALL __stdcall
#else
#define QF_HOST_GPU_CALL
#endif

// ---- OpenCL 1.1 ----

using cl_int = std::int32_t;
using cl_uint = std::uint32_t;
using cl_bool = cl_uint;
using cl_bitfield = std::uint64_t;
using cl_mem_flags = cl_bitfield;
using cl_device_type = cl_bitfield;
using cl_command_queue_properties = cl_bitfield;
using cl_device_info = cl_uint;
using cl_context_properties = std::intptr_t;
using cl_platform_id = struct _cl_platform_id*;
using cl_device_id = struct _cl_device_id*;
using cl_context = struct _cl_context*;
using cl_command_queue = struct _cl_command_queue*;
using cl_mem = struct _cl_mem*;
using cl_event = struct _cl_event*;

inline constexpr cl_int CL_SUCCESS = 0;
inline constexpr cl_bool CL_TRUE = 1;
inline constexpr cl_device_type CL_DEVICE_TYPE_GPU = 1 << 2;
inline constexpr cl_device_type CL_DEVICE_TYPE_ALL = 0xFFFFFFFF;
inline constexpr cl_device_info CL_DEVICE_NAME = 0x102B;
inline constexpr cl_context_properties CL_CONTEXT_PLATFORM = 0x1084;
inline constexpr cl_mem_flags CL_MEM_READ_WRITE = 1 << 0;

#define QF_HOST_OPENCL_CALLS(X)                                                                                 \
    X(clGetPlatformIDs, cl_int, (cl_uint, cl_platform_id*, cl_uint*))                                         \
    X(clGetDeviceIDs, cl_int, (cl_platform_id, cl_device_type, cl_uint, cl_device_id*, cl_uint*))             \
    X(clGetDeviceInfo, cl_int, (cl_device_id, cl_device_info, size_t, void*, size_t*))                        \
    X(clCreateContext, cl_context,                                                                            \
      (const cl_context_properties*, cl_uint, const cl_device_id*, void(QF_HOST_GPU_CALL*)(const char*,       \
       const void*, size_t, void*), void*, cl_int*))                                                          \
    X(clReleaseContext, cl_int, (cl_context))                                                                 \
    X(clCreateCommandQueue, cl_command_queue, (cl_context, cl_device_id, cl_command_queue_properties, cl_int*)) \
    X(clReleaseCommandQueue, cl_int, (cl_command_queue))                                                      \
    X(clCreateBuffer, cl_mem, (cl_context, cl_mem_flags, size_t, void*, cl_int*))                             \
    X(clReleaseMemObject, cl_int, (cl_mem))                                                                   \
    X(clEnqueueReadBuffer, cl_int,                                                                            \
      (cl_command_queue, cl_mem, cl_bool, size_t, size_t, void*, cl_uint, const cl_event*, cl_event*))        \
    X(clEnqueueWriteBuffer, cl_int,                                                                           \
      (cl_command_queue, cl_mem, cl_bool, size_t, size_t, const void*, cl_uint, const cl_event*, cl_event*))  \
    X(clFinish, cl_int, (cl_command_queue))

// ---- CUDA driver API ----

using CUresult = int;   // an int-sized enumeration in the driver's header
using CUdevice = int;
using CUdeviceptr = unsigned long long;   // the 64-bit addresses of the _v2 entry points
using CUcontext = struct CUctx_st*;
using CUstream = struct CUstream_st*;
using CUevent = struct CUevent_st*;

inline constexpr CUresult CUDA_SUCCESS = 0;

#define QF_HOST_CUDA_CALLS(X)                                                                                   \
    X(cuInit, CUresult, (unsigned int))                                                                       \
    X(cuDeviceGetCount, CUresult, (int*))                                                                     \
    X(cuDeviceGet, CUresult, (CUdevice*, int))                                                                \
    X(cuDeviceGetName, CUresult, (char*, int, CUdevice))                                                      \
    X(cuDevicePrimaryCtxRetain, CUresult, (CUcontext*, CUdevice))                                             \
    X(cuDevicePrimaryCtxRelease_v2, CUresult, (CUdevice))                                                     \
    X(cuCtxPushCurrent_v2, CUresult, (CUcontext))                                                             \
    X(cuCtxPopCurrent_v2, CUresult, (CUcontext*))                                                             \
    X(cuStreamCreate, CUresult, (CUstream*, unsigned int))                                                    \
    X(cuStreamDestroy_v2, CUresult, (CUstream))                                                               \
    X(cuStreamSynchronize, CUresult, (CUstream))                                                              \
    X(cuMemAlloc_v2, CUresult, (CUdeviceptr*, size_t))                                                        \
    X(cuMemFree_v2, CUresult, (CUdeviceptr))                                                                  \
    X(cuMemcpyHtoD_v2, CUresult, (CUdeviceptr, const void*, size_t))                                          \
    X(cuMemcpyDtoH_v2, CUresult, (void*, CUdeviceptr, size_t))

// Timing events: without them a device is timed on the host's clock.
#define QF_HOST_CUDA_EVENT_CALLS(X)                                                                             \
    X(cuEventCreate, CUresult, (CUevent*, unsigned int))                                                      \
    X(cuEventRecord, CUresult, (CUevent, CUstream))                                                           \
    X(cuEventSynchronize, CUresult, (CUevent))                                                                \
    X(cuEventElapsedTime, CUresult, (float*, CUevent, CUevent))                                               \
    X(cuEventDestroy_v2, CUresult, (CUevent))

#define QF_HOST_GPU_SLOT(name, result, params) result(QF_HOST_GPU_CALL* name) params = nullptr;

struct OpenCLCalls {
    QF_HOST_OPENCL_CALLS(QF_HOST_GPU_SLOT)
    std::string missing;   // why the table is unusable; empty when every call resolved
};

struct CudaCalls {
    QF_HOST_CUDA_CALLS(QF_HOST_GPU_SLOT)
    QF_HOST_CUDA_EVENT_CALLS(QF_HOST_GPU_SLOT)
    std::string missing;
    bool events = false;   // every event call resolved
};

// The process's tables, resolved on first use from the stand-in runtime when one was loaded
// (LoadStandInRuntime), else from the system's runtime; never destroyed.
const OpenCLCalls& OpenCL();
const CudaCalls& Cuda();

}   // namespace hostgpu
