// GPU runtime loading: the OpenCL runtime and the CUDA driver are found at run time, once per
// process, and the entry points the plug-in calls are resolved into one table per runtime.
#pragma once

#include <mutex>

#include "GpuApiTypes.h"

// X(entry point, result, parameters): the OpenCL 1.1 entry points, in the order they are resolved.
// Each expands once to declare a table slot and once to look the name up.
#define QF_OPENCL_ENTRY_POINTS(X)                                                                    \
    X(clCreateProgramWithSource, cl_program,                                                         \
      (cl_context context, cl_uint count, const char** strings, const size_t* lengths,               \
       cl_int* errcode_ret))                                                                         \
    X(clBuildProgram, cl_int,                                                                        \
      (cl_program program, cl_uint num_devices, const cl_device_id* device_list, const char* options, \
       void(QF_CL_API_CALL* pfn_notify)(cl_program program, void* user_data), void* user_data))      \
    X(clGetProgramBuildInfo, cl_int,                                                                 \
      (cl_program program, cl_device_id device, cl_program_build_info param_name,                    \
       size_t param_value_size, void* param_value, size_t* param_value_size_ret))                    \
    X(clCreateKernel, cl_kernel, (cl_program program, const char* kernel_name, cl_int* errcode_ret)) \
    X(clGetKernelWorkGroupInfo, cl_int,                                                              \
      (cl_kernel kernel, cl_device_id device, cl_kernel_work_group_info param_name,                  \
       size_t param_value_size, void* param_value, size_t* param_value_size_ret))                    \
    X(clSetKernelArg, cl_int,                                                                        \
      (cl_kernel kernel, cl_uint arg_index, size_t arg_size, const void* arg_value))                 \
    X(clEnqueueNDRangeKernel, cl_int,                                                                \
      (cl_command_queue command_queue, cl_kernel kernel, cl_uint work_dim,                           \
       const size_t* global_work_offset, const size_t* global_work_size,                             \
       const size_t* local_work_size, cl_uint num_events_in_wait_list,                               \
       const cl_event* event_wait_list, cl_event* event))                                            \
    X(clCreateBuffer, cl_mem,                                                                        \
      (cl_context context, cl_mem_flags flags, size_t size, void* host_ptr, cl_int* errcode_ret))    \
    X(clReleaseMemObject, cl_int, (cl_mem memobj))                                                   \
    X(clReleaseKernel, cl_int, (cl_kernel kernel))                                                   \
    X(clReleaseProgram, cl_int, (cl_program program))                                                \
    X(clEnqueueReadBuffer, cl_int,                                                                   \
      (cl_command_queue command_queue, cl_mem buffer, cl_bool blocking_read, size_t offset,          \
       size_t size, void* ptr, cl_uint num_events_in_wait_list, const cl_event* event_wait_list,     \
       cl_event* event))                                                                             \
    X(clEnqueueWriteBuffer, cl_int,                                                                  \
      (cl_command_queue command_queue, cl_mem buffer, cl_bool blocking_write, size_t offset,         \
       size_t size, const void* ptr, cl_uint num_events_in_wait_list,                                \
       const cl_event* event_wait_list, cl_event* event))                                            \
    X(clFlush, cl_int, (cl_command_queue command_queue))

// X(entry point, result, parameters): the CUDA driver entry points, in the order they are resolved.
// The _v2 names are the 64-bit-pointer forms and are looked up under exactly those names.
#define QF_CUDA_ENTRY_POINTS(X)                                                                      \
    X(cuCtxPushCurrent_v2, CUresult, (CUcontext ctx))                                                \
    X(cuCtxPopCurrent_v2, CUresult, (CUcontext * pctx))                                              \
    X(cuModuleLoadDataEx, CUresult,                                                                  \
      (CUmodule * module, const void* image, unsigned int numOptions, CUjit_option* options,         \
       void** optionValues))                                                                         \
    X(cuModuleGetFunction, CUresult, (CUfunction * hfunc, CUmodule hmod, const char* name))          \
    X(cuModuleUnload, CUresult, (CUmodule hmod))                                                     \
    X(cuLaunchKernel, CUresult,                                                                      \
      (CUfunction f, unsigned int gridDimX, unsigned int gridDimY, unsigned int gridDimZ,            \
       unsigned int blockDimX, unsigned int blockDimY, unsigned int blockDimZ,                       \
       unsigned int sharedMemBytes, CUstream hStream, void** kernelParams, void** extra))            \
    X(cuMemcpyDtoHAsync_v2, CUresult,                                                                \
      (void* dstHost, CUdeviceptr srcDevice, size_t ByteCount, CUstream hStream))                    \
    X(cuMemcpyHtoDAsync_v2, CUresult,                                                                \
      (CUdeviceptr dstDevice, const void* srcHost, size_t ByteCount, CUstream hStream))              \
    X(cuStreamSynchronize, CUresult, (CUstream hStream))

#define QF_OPENCL_SLOT(name, result, params) result(QF_CL_API_CALL* name) params = nullptr;
#define QF_CUDA_SLOT(name, result, params) result(QF_CUDA_API_CALL* name) params = nullptr;

// Process-wide OpenCL table. Written only by the first LoadOpenCL, under GpuLoaderLock; read-only
// afterwards. Call through it only when available is true.
struct OpenCLApi {
    QF_OPENCL_ENTRY_POINTS(QF_OPENCL_SLOT)
    bool tried = false;     // the one loading attempt has been made
    bool available = false; // library found and every slot above non-null
};

// Process-wide CUDA driver table, with the same rules as OpenCLApi.
struct CudaApi {
    QF_CUDA_ENTRY_POINTS(QF_CUDA_SLOT)
    bool tried = false;
    bool available = false;
};

#undef QF_OPENCL_SLOT
#undef QF_CUDA_SLOT

// The one mutex both loaders hold while they fill their table.
std::mutex& GpuLoaderLock();

// Make sure the runtime's table is filled: the first call in the process finds the library (one
// already loaded in the process first, else from the system's library folder) and resolves every
// entry point; later calls only take and release GpuLoaderLock. A failed attempt is never repeated.
// Every GPU operation calls its loader before reading the table, which also orders its reads after
// the writes of the first call.
void LoadOpenCL();
void LoadCuda();

// The tables. Read them only after calling the matching loader on this thread.
const OpenCLApi& OpenCLTable();
const CudaApi& CudaTable();
