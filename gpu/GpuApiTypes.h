// The few OpenCL 1.1 and CUDA driver API types and constants the plug-in uses, so that nothing here
// needs the vendors' headers. Sizes and calling conventions match the public headers; the OpenCL
// part is spelled so that <CL/cl.h> may also be included in the same file, before or after this one.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- OpenCL 1.1 ----

#if defined(_WIN32)
#define QF_CL_API_CALL __stdcall
#else
#define QF_CL_API_CALL
#endif

typedef int32_t cl_int;
typedef uint32_t cl_uint;
typedef uint64_t cl_ulong;
typedef cl_uint cl_bool;
typedef cl_ulong cl_bitfield;
typedef cl_bitfield cl_mem_flags;
typedef cl_uint cl_program_build_info;
typedef cl_uint cl_kernel_work_group_info;

typedef struct _cl_context* cl_context;
typedef struct _cl_device_id* cl_device_id;
typedef struct _cl_command_queue* cl_command_queue;
typedef struct _cl_mem* cl_mem;
typedef struct _cl_program* cl_program;
typedef struct _cl_kernel* cl_kernel;
typedef struct _cl_event* cl_event;

// Macros, as in the public header, so either may come first without a clash.
#ifndef CL_SUCCESS
#define CL_SUCCESS                                  0
#endif
#ifndef CL_FALSE
#define CL_FALSE                                    0
#endif
#ifndef CL_TRUE
#define CL_TRUE                                     1
#endif
#ifndef CL_MEM_READ_ONLY
#define CL_MEM_READ_ONLY                            (1 << 2)
#endif
#ifndef CL_MEM_COPY_HOST_PTR
#define CL_MEM_COPY_HOST_PTR                        (1 << 5)
#endif
#ifndef CL_PROGRAM_BUILD_LOG
#define CL_PROGRAM_BUILD_LOG                        0x1183
#endif
#ifndef CL_KERNEL_WORK_GROUP_SIZE
#define CL_KERNEL_WORK_GROUP_SIZE                   0x11B0
#endif

// ---- CUDA driver API ----

#if defined(_WIN32)
#define QF_CUDA_API_CALL __stdcall
#else
#define QF_CUDA_API_CALL
#endif

// An enumeration in the driver's header, int-sized; a plain int holds every status without
// pretending to know them all.
typedef int CUresult;
inline constexpr CUresult CUDA_SUCCESS = 0;

typedef struct CUctx_st* CUcontext;
typedef struct CUmod_st* CUmodule;
typedef struct CUfunc_st* CUfunction;
typedef struct CUstream_st* CUstream;
// Device addresses of the 64-bit (_v2) entry points.
typedef unsigned long long CUdeviceptr;
static_assert(sizeof(CUdeviceptr) == 8, "the _v2 driver entry points take 64-bit device addresses");

// Just-in-time compiler options passed to cuModuleLoadDataEx; only the error log is asked for.
enum CUjit_option_enum : int {
    CU_JIT_ERROR_LOG_BUFFER = 5,            // value: char* buffer for the error log
    CU_JIT_ERROR_LOG_BUFFER_SIZE_BYTES = 6, // value: the buffer's size in bytes, stored in the pointer
};
typedef enum CUjit_option_enum CUjit_option;
