// GPU device set-up and tear-down: the kernel built for one host GPU device (an OpenCL program and
// kernel, or a CUDA module and function), kept in a record the host holds between set-up and set-down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "GpuApiTypes.h"

// The plug-in's own framework codes (not any host's numbering).
enum class GpuFramework : std::uint32_t { OpenCL = 1, Cuda = 2 };

// Size of the buffer the CUDA just-in-time compiler may write its error log into, bytes.
inline constexpr unsigned CUDA_JIT_LOG_BYTES = 4096;
// A build log is appended to the error only when its reported size (terminator included) lies in this
// range, bytes.
inline constexpr std::size_t BUILD_LOG_MIN_BYTES = 2;
inline constexpr std::size_t BUILD_LOG_MAX_BYTES = 0xFFFFF;

// One per accepted host GPU device, from its set-up to its set-down. Only the fields of its framework
// are set. Contexts and devices are the host's, borrowed: never retained or released here. Nothing
// changes after set-up but the launch lock's state.
struct GpuDeviceData {
    GpuFramework framework = GpuFramework::OpenCL;
    // Held for one whole OpenCL frame launch: a kernel object keeps its arguments as shared state.
    std::mutex launch_lock;

    cl_context opencl_context = nullptr;     // borrowed
    cl_device_id opencl_device = nullptr;    // borrowed
    cl_program opencl_program = nullptr;     // owned, built from the embedded source
    cl_kernel opencl_kernel = nullptr;       // owned, the entry qf_render
    // Work-group width and height, side by side so the pair is the local work size of a launch.
    std::size_t work_group[2] = {16, 16};
    bool use_work_group_size = true;         // false: the OpenCL runtime picks the work-group shape

    CUcontext cuda_context = nullptr;        // borrowed
    CUmodule cuda_module = nullptr;          // owned, loaded from the embedded PTX
    CUfunction cuda_function = nullptr;      // the entry qf_render in cuda_module
};

// The work-group shape for a kernel whose largest work-group holds max_size items: 16 x 16 from 256,
// 8 x 8 from 64, below that (or when the query failed: queried false) the runtime's choice.
void ChooseWorkGroup(bool queried, std::size_t max_size, GpuDeviceData& record);

// Builds the kernel for one host device. context and device are the host's untyped handles (cl_context
// and cl_device_id, or CUcontext; the device is not used for CUDA). Returns a new record, or null with one message
// in *error (when error is not null) after freeing everything it created.
GpuDeviceData* SetupGpuDevice(GpuFramework framework, void* context, void* device, std::string* error);

// Releases the record's program and kernel (kernel first) or its module, then deletes it. Null is
// ignored; release failures are not reported.
void DestroyGpuDevice(GpuDeviceData* record);
