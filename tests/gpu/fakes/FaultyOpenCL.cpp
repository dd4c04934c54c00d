// An OpenCL runtime of our own for fault tests: named libOpenCL.so.1 and loaded by the host simulator
// before the plug-in, so the plug-in takes it for the runtime already in the process. It forwards every
// call to the real runtime (QF_REAL_OPENCL_LIBRARY, opened by its full path) and fails the calls the
// test names (FakeControl.h), recording the calls and the launches on the way.
#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "FakeFaults.h"
#include "GpuLoader.h"

namespace {

// The frame record's size and the offsets of band_y0 and band_h in it.
constexpr size_t FRAME_BYTES = 1176;
constexpr size_t BAND_Y0_OFFSET = 20;
constexpr size_t BAND_H_OFFSET = 24;

struct Target {
    void* library = nullptr;
    OpenCLApi api;
};

#define QF_FORWARD_SLOT(name, result, params) \
    target.api.name = reinterpret_cast<decltype(target.api.name)>(dlsym(target.library, #name));

const Target& Real()
{
    static const Target target = [] {
        Target target;
        target.library = dlopen(QF_REAL_OPENCL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!target.library) {
            // Without the runtime there is nothing to interpose: a broken test set-up, not a fault to play.
            std::fprintf(stderr, "OpenCL interposer: cannot open %s: %s\n", QF_REAL_OPENCL_LIBRARY, dlerror());
            std::abort();
        }
        QF_OPENCL_ENTRY_POINTS(QF_FORWARD_SLOT)
        return target;
    }();
    return target;
}

// What the tests set, and what the launches need to know.
struct State {
    std::mutex lock;
    const char* build_log = nullptr;
    std::string build_log_text;
    size_t build_log_size = 0;
    size_t work_group_size = 0;
    std::map<cl_mem, std::pair<int, int>> frame_bands;   // frame-record buffers: band_y0, band_h
    std::map<cl_kernel, cl_mem> frame_args;              // argument 3 of each kernel
};

State& TheState()
{
    static State state;
    return state;
}

}   // namespace

void FakeResetRuntime()
{
    State& state = TheState();
    const std::lock_guard<std::mutex> lock(state.lock);
    state.build_log = nullptr;
    state.build_log_text.clear();
    state.build_log_size = 0;
    state.work_group_size = 0;
    state.frame_bands.clear();
    state.frame_args.clear();
}

extern "C" {

void* qf_fake_target(void)
{
    return Real().library;
}

void qf_fake_build_log(const char* text, size_t reported_size)
{
    State& state = TheState();
    const std::lock_guard<std::mutex> lock(state.lock);
    state.build_log_text = text ? text : "";
    state.build_log = text ? state.build_log_text.c_str() : nullptr;
    state.build_log_size = reported_size;
}

void qf_fake_work_group_size(size_t size)
{
    State& state = TheState();
    const std::lock_guard<std::mutex> lock(state.lock);
    state.work_group_size = size;
}

cl_program clCreateProgramWithSource(cl_context context, cl_uint count, const char** strings, const size_t* lengths,
                                     cl_int* errcode_ret)
{
    int status = 0;
    if (FakeCallFails("clCreateProgramWithSource", &status)) {
        if (errcode_ret) {
            *errcode_ret = status;
        }
        return nullptr;
    }
    return Real().api.clCreateProgramWithSource(context, count, strings, lengths, errcode_ret);
}

cl_int clBuildProgram(cl_program program, cl_uint num_devices, const cl_device_id* device_list, const char* options,
                      void (*pfn_notify)(cl_program, void*), void* user_data)
{
    int status = 0;
    if (FakeCallFails("clBuildProgram", &status)) {
        return status;
    }
    return Real().api.clBuildProgram(program, num_devices, device_list, options, pfn_notify, user_data);
}

cl_int clGetProgramBuildInfo(cl_program program, cl_device_id device, cl_program_build_info param_name,
                             size_t param_value_size, void* param_value, size_t* param_value_size_ret)
{
    int status = 0;
    if (FakeCallFails("clGetProgramBuildInfo", &status)) {
        return status;
    }
    if (param_name == CL_PROGRAM_BUILD_LOG) {
        State& state = TheState();
        const std::lock_guard<std::mutex> lock(state.lock);
        if (state.build_log) {
            if (param_value_size_ret) {
                *param_value_size_ret = state.build_log_size;
            }
            if (param_value && param_value_size > 0) {
                const size_t n = std::min(param_value_size, state.build_log_text.size() + 1);
                std::memcpy(param_value, state.build_log, n);
            }
            return CL_SUCCESS;
        }
    }
    return Real().api.clGetProgramBuildInfo(program, device, param_name, param_value_size, param_value,
                                           param_value_size_ret);
}

cl_kernel clCreateKernel(cl_program program, const char* kernel_name, cl_int* errcode_ret)
{
    int status = 0;
    if (FakeCallFails("clCreateKernel", &status)) {
        if (errcode_ret) {
            *errcode_ret = status;
        }
        return nullptr;
    }
    return Real().api.clCreateKernel(program, kernel_name, errcode_ret);
}

cl_int clGetKernelWorkGroupInfo(cl_kernel kernel, cl_device_id device, cl_kernel_work_group_info param_name,
                                size_t param_value_size, void* param_value, size_t* param_value_size_ret)
{
    int status = 0;
    if (FakeCallFails("clGetKernelWorkGroupInfo", &status)) {
        return status;
    }
    if (param_name == CL_KERNEL_WORK_GROUP_SIZE) {
        State& state = TheState();
        const std::lock_guard<std::mutex> lock(state.lock);
        if (state.work_group_size > 0 && param_value && param_value_size >= sizeof(size_t)) {
            std::memcpy(param_value, &state.work_group_size, sizeof(size_t));
            if (param_value_size_ret) {
                *param_value_size_ret = sizeof(size_t);
            }
            return CL_SUCCESS;
        }
    }
    return Real().api.clGetKernelWorkGroupInfo(kernel, device, param_name, param_value_size, param_value,
                                              param_value_size_ret);
}

cl_int clSetKernelArg(cl_kernel kernel, cl_uint arg_index, size_t arg_size, const void* arg_value)
{
    int status = 0;
    if (FakeCallFails("clSetKernelArg", &status)) {
        return status;
    }
    if (arg_index == 3 && arg_size == sizeof(cl_mem) && arg_value) {
        State& state = TheState();
        const std::lock_guard<std::mutex> lock(state.lock);
        std::memcpy(&state.frame_args[kernel], arg_value, sizeof(cl_mem));
    }
    return Real().api.clSetKernelArg(kernel, arg_index, arg_size, arg_value);
}

cl_int clEnqueueNDRangeKernel(cl_command_queue command_queue, cl_kernel kernel, cl_uint work_dim,
                              const size_t* global_work_offset, const size_t* global_work_size,
                              const size_t* local_work_size, cl_uint num_events_in_wait_list,
                              const cl_event* event_wait_list, cl_event* event)
{
    int status = 0;
    if (FakeCallFails("clEnqueueNDRangeKernel", &status)) {
        return status;
    }
    QfFakeLaunch launch{{1, 1, 1}, {1, 1, 1}, local_work_size != nullptr, -1, -1};
    for (cl_uint d = 0; d < work_dim && d < 3 && global_work_size; ++d) {
        launch.size[d] = static_cast<unsigned>(global_work_size[d]);
        launch.group[d] = local_work_size ? static_cast<unsigned>(local_work_size[d]) : 0;
    }
    {
        State& state = TheState();
        const std::lock_guard<std::mutex> lock(state.lock);
        const auto arg = state.frame_args.find(kernel);
        if (arg != state.frame_args.end()) {
            const auto band = state.frame_bands.find(arg->second);
            if (band != state.frame_bands.end()) {
                launch.band_y0 = band->second.first;
                launch.band_h = band->second.second;
            }
        }
    }
    FakeRecordLaunch(launch);
    return Real().api.clEnqueueNDRangeKernel(command_queue, kernel, work_dim, global_work_offset, global_work_size,
                                             local_work_size, num_events_in_wait_list, event_wait_list, event);
}

cl_mem clCreateBuffer(cl_context context, cl_mem_flags flags, size_t size, void* host_ptr, cl_int* errcode_ret)
{
    int status = 0;
    if (FakeCallFails("clCreateBuffer", &status)) {
        if (errcode_ret) {
            *errcode_ret = status;
        }
        return nullptr;
    }
    cl_mem buffer = Real().api.clCreateBuffer(context, flags, size, host_ptr, errcode_ret);
    if (buffer && size == FRAME_BYTES && host_ptr) {
        std::int32_t y0 = 0;
        std::int32_t h = 0;
        std::memcpy(&y0, static_cast<const char*>(host_ptr) + BAND_Y0_OFFSET, sizeof y0);
        std::memcpy(&h, static_cast<const char*>(host_ptr) + BAND_H_OFFSET, sizeof h);
        State& state = TheState();
        const std::lock_guard<std::mutex> lock(state.lock);
        state.frame_bands[buffer] = {y0, h};
    }
    return buffer;
}

cl_int clReleaseMemObject(cl_mem memobj)
{
    int status = 0;
    if (FakeCallFails("clReleaseMemObject", &status)) {
        return status;
    }
    return Real().api.clReleaseMemObject(memobj);
}

cl_int clReleaseKernel(cl_kernel kernel)
{
    int status = 0;
    if (FakeCallFails("clReleaseKernel", &status)) {
        return status;
    }
    {
        State& state = TheState();
        const std::lock_guard<std::mutex> lock(state.lock);
        state.frame_args.erase(kernel);
    }
    return Real().api.clReleaseKernel(kernel);
}

cl_int clReleaseProgram(cl_program program)
{
    int status = 0;
    if (FakeCallFails("clReleaseProgram", &status)) {
        return status;
    }
    return Real().api.clReleaseProgram(program);
}

cl_int clEnqueueReadBuffer(cl_command_queue command_queue, cl_mem buffer, cl_bool blocking_read, size_t offset,
                           size_t size, void* ptr, cl_uint num_events_in_wait_list, const cl_event* event_wait_list,
                           cl_event* event)
{
    int status = 0;
    if (FakeCallFails("clEnqueueReadBuffer", &status)) {
        return status;
    }
    return Real().api.clEnqueueReadBuffer(command_queue, buffer, blocking_read, offset, size, ptr,
                                          num_events_in_wait_list, event_wait_list, event);
}

cl_int clEnqueueWriteBuffer(cl_command_queue command_queue, cl_mem buffer, cl_bool blocking_write, size_t offset,
                            size_t size, const void* ptr, cl_uint num_events_in_wait_list,
                            const cl_event* event_wait_list, cl_event* event)
{
    int status = 0;
    if (FakeCallFails("clEnqueueWriteBuffer", &status)) {
        return status;
    }
    return Real().api.clEnqueueWriteBuffer(command_queue, buffer, blocking_write, offset, size, ptr,
                                           num_events_in_wait_list, event_wait_list, event);
}

cl_int clFlush(cl_command_queue command_queue)
{
    int status = 0;
    if (FakeCallFails("clFlush", &status)) {
        return status;
    }
    return Real().api.clFlush(command_queue);
}

}   // extern "C"
