// A stand-in OpenCL runtime for the loader tests: every entry point the plug-in resolves, doing
// nothing. Defining QF_FAKE_OMIT_<entry point> leaves that one out, as a broken runtime would.
#include "GpuApiTypes.h"

extern "C" {

#ifndef QF_FAKE_OMIT_clCreateProgramWithSource
cl_program QF_CL_API_CALL clCreateProgramWithSource(cl_context, cl_uint, const char**, const size_t*, cl_int* errcode_ret)
{
    if (errcode_ret)
        *errcode_ret = CL_SUCCESS;
    return nullptr;
}
#endif
#ifndef QF_FAKE_OMIT_clBuildProgram
cl_int QF_CL_API_CALL clBuildProgram(cl_program, cl_uint, const cl_device_id*, const char*,
                                     void(QF_CL_API_CALL*)(cl_program, void*), void*)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clGetProgramBuildInfo
cl_int QF_CL_API_CALL clGetProgramBuildInfo(cl_program, cl_device_id, cl_program_build_info, size_t, void*, size_t*)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clCreateKernel
cl_kernel QF_CL_API_CALL clCreateKernel(cl_program, const char*, cl_int* errcode_ret)
{
    if (errcode_ret)
        *errcode_ret = CL_SUCCESS;
    return nullptr;
}
#endif
#ifndef QF_FAKE_OMIT_clGetKernelWorkGroupInfo
cl_int QF_CL_API_CALL clGetKernelWorkGroupInfo(cl_kernel, cl_device_id, cl_kernel_work_group_info, size_t, void*, size_t*)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clSetKernelArg
cl_int QF_CL_API_CALL clSetKernelArg(cl_kernel, cl_uint, size_t, const void*)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clEnqueueNDRangeKernel
cl_int QF_CL_API_CALL clEnqueueNDRangeKernel(cl_command_queue, cl_kernel, cl_uint, const size_t*, const size_t*,
                                             const size_t*, cl_uint, const cl_event*, cl_event*)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clCreateBuffer
cl_mem QF_CL_API_CALL clCreateBuffer(cl_context, cl_mem_flags, size_t, void*, cl_int* errcode_ret)
{
    if (errcode_ret)
        *errcode_ret = CL_SUCCESS;
    return nullptr;
}
#endif
#ifndef QF_FAKE_OMIT_clReleaseMemObject
cl_int QF_CL_API_CALL clReleaseMemObject(cl_mem)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clReleaseKernel
cl_int QF_CL_API_CALL clReleaseKernel(cl_kernel)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clReleaseProgram
cl_int QF_CL_API_CALL clReleaseProgram(cl_program)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clEnqueueReadBuffer
cl_int QF_CL_API_CALL clEnqueueReadBuffer(cl_command_queue, cl_mem, cl_bool, size_t, size_t, void*, cl_uint,
                                          const cl_event*, cl_event*)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clEnqueueWriteBuffer
cl_int QF_CL_API_CALL clEnqueueWriteBuffer(cl_command_queue, cl_mem, cl_bool, size_t, size_t, const void*, cl_uint,
                                           const cl_event*, cl_event*)
{
    return CL_SUCCESS;
}
#endif
#ifndef QF_FAKE_OMIT_clFlush
cl_int QF_CL_API_CALL clFlush(cl_command_queue)
{
    return CL_SUCCESS;
}
#endif

} // extern "C"
