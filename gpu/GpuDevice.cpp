// GPU device set-up and tear-down: the embedded programs built for one host device, and the two
// commands that hand the record to the host and take it back.
#include "GpuDevice.h"

#include <memory>
#include <optional>
#include <vector>

#include "AE_EffectPixelFormat.h"
#include "AE_EffectGPUSuites.h"
#include "CudaContextScope.h"
#include "GpuLoader.h"
#include "LogFile.h"
#include "SuiteScope.h"
#include "WarpKernelsEmbedded.h"

namespace {

constexpr const char* KERNEL_ENTRY = "qf_render";

void SetError(std::string* error, const std::string& text)
{
    if (error) {
        *error = text;
    }
}

// "<call> failed: <status>", the status in signed decimal.
std::string CallFailed(const char* call, long status)
{
    return std::string(call) + " failed: " + std::to_string(status);
}

// Releases an OpenCL program on every way out unless kept: a failed build, a missing kernel or an
// exception while an error text is being written must not leave it behind.
class ProgramGuard {
public:
    ProgramGuard(const OpenCLApi& cl, cl_program program) : cl_(cl), program_(program) {}
    ~ProgramGuard()
    {
        if (program_) {
            cl_.clReleaseProgram(program_);
        }
    }
    ProgramGuard(const ProgramGuard&) = delete;
    ProgramGuard& operator=(const ProgramGuard&) = delete;
    cl_program Keep()
    {
        cl_program kept = program_;
        program_ = nullptr;
        return kept;
    }

private:
    const OpenCLApi& cl_;
    cl_program program_;
};

// The build log for the device, up to its first NUL; none when the runtime gives none of a plausible size.
std::optional<std::string> BuildLog(const OpenCLApi& cl, cl_program program, cl_device_id device)
{
    std::size_t size = 0;
    if (cl.clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, 0, nullptr, &size) != CL_SUCCESS ||
        size < BUILD_LOG_MIN_BYTES || size > BUILD_LOG_MAX_BYTES) {
        return std::nullopt;
    }
    // One byte more than asked for, so a runtime that fills the whole size still leaves a terminator.
    std::vector<char> text(size + 1, '\0');
    if (cl.clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, size, text.data(), nullptr) != CL_SUCCESS) {
        return std::nullopt;
    }
    return std::string(text.data());
}

GpuDeviceData* SetupOpenCL(void* context, void* device, std::string* error)
{
    LoadOpenCL();
    const OpenCLApi& cl = OpenCLTable();
    if (!cl.available) {
        SetError(error, "OpenCL library not available");
        return nullptr;
    }
    if (!context || !device) {
        SetError(error, "no OpenCL context / device");
        return nullptr;
    }
    auto record = std::make_unique<GpuDeviceData>();
    record->framework = GpuFramework::OpenCL;
    record->opencl_context = static_cast<cl_context>(context);
    record->opencl_device = static_cast<cl_device_id>(device);

    const char* source = QF_OPENCL_PROGRAM;
    const std::size_t length = QF_OPENCL_PROGRAM_LENGTH;
    cl_int status = CL_SUCCESS;
    cl_program program = cl.clCreateProgramWithSource(record->opencl_context, 1, &source, &length, &status);
    if (!program || status != CL_SUCCESS) {
        if (program) {
            cl.clReleaseProgram(program);
        }
        SetError(error, CallFailed("clCreateProgramWithSource", status));
        return nullptr;
    }
    ProgramGuard program_guard(cl, program);

    // An empty option string, not a null pointer: the kernel's numerics rely on no flags at all.
    status = cl.clBuildProgram(program, 1, &record->opencl_device, "", nullptr, nullptr);
    if (status != CL_SUCCESS) {
        std::string text = CallFailed("clBuildProgram", status);
        if (const std::optional<std::string> log = BuildLog(cl, program, record->opencl_device)) {
            text += "\n" + *log;
        }
        SetError(error, text);
        return nullptr;
    }

    status = CL_SUCCESS;
    cl_kernel kernel = cl.clCreateKernel(program, KERNEL_ENTRY, &status);
    if (!kernel || status != CL_SUCCESS) {
        if (kernel) {
            cl.clReleaseKernel(kernel);
        }
        SetError(error, CallFailed("clCreateKernel", status));
        return nullptr;
    }
    record->opencl_kernel = kernel;

    std::size_t max_size = 0;
    const bool queried = cl.clGetKernelWorkGroupInfo(kernel, record->opencl_device, CL_KERNEL_WORK_GROUP_SIZE,
                                                     sizeof max_size, &max_size, nullptr) == CL_SUCCESS;
    ChooseWorkGroup(queried, max_size, *record);
    record->opencl_program = program_guard.Keep();
    return record.release();
}

void UnloadModule(const CudaApi& cu, CUcontext context, CUmodule module)
{
    const CudaContextScope scope(cu, context);
    if (scope.pushed()) {
        cu.cuModuleUnload(module);
    }
}

GpuDeviceData* SetupCuda(void* context, std::string* error)
{
    LoadCuda();
    const CudaApi& cu = CudaTable();
    if (!cu.available) {
        SetError(error, "CUDA driver not available");
        return nullptr;
    }
    if (!context) {
        SetError(error, "no CUDA context");
        return nullptr;
    }
    auto record = std::make_unique<GpuDeviceData>();
    record->framework = GpuFramework::Cuda;
    record->cuda_context = static_cast<CUcontext>(context);

    char jit_log[CUDA_JIT_LOG_BYTES] = {};
    CUjit_option options[2] = {CU_JIT_ERROR_LOG_BUFFER, CU_JIT_ERROR_LOG_BUFFER_SIZE_BYTES};
    // The size travels as the pointer's value, as the driver reads it.
    void* values[2] = {jit_log, reinterpret_cast<void*>(static_cast<std::uintptr_t>(CUDA_JIT_LOG_BYTES))};

    CUmodule module = nullptr;
    CUfunction function = nullptr;
    bool loaded = false;
    CUresult result = CUDA_SUCCESS;
    {
        const CudaContextScope scope(cu, record->cuda_context);
        if (!scope.pushed()) {
            SetError(error, "cuCtxPushCurrent failed");
            return nullptr;
        }
        result = cu.cuModuleLoadDataEx(&module, QF_CUDA_PTX, 2, options, values);
        loaded = result == CUDA_SUCCESS;
        if (loaded) {
            result = cu.cuModuleGetFunction(&function, module, KERNEL_ENTRY);
        }
    }
    if (result == CUDA_SUCCESS && function) {
        record->cuda_module = module;
        record->cuda_function = function;
        return record.release();
    }
    if (loaded) {
        UnloadModule(cu, record->cuda_context, module);
    }
    // The driver may fill the whole buffer; the log ends at the buffer's end at the latest.
    jit_log[CUDA_JIT_LOG_BYTES - 1] = '\0';
    SetError(error, "CUDA module load failed: " + std::to_string(result) + " " + jit_log);
    return nullptr;
}

}   // namespace

void ChooseWorkGroup(bool queried, std::size_t max_size, GpuDeviceData& record)
{
    if (queried && max_size >= 256) {
        record.work_group[0] = record.work_group[1] = 16;
        record.use_work_group_size = true;
    } else if (queried && max_size >= 64) {
        record.work_group[0] = record.work_group[1] = 8;
        record.use_work_group_size = true;
    } else {
        record.use_work_group_size = false;
    }
}

GpuDeviceData* SetupGpuDevice(GpuFramework framework, void* context, void* device, std::string* error)
{
    try {
        return framework == GpuFramework::OpenCL ? SetupOpenCL(context, device, error) : SetupCuda(context, error);
    } catch (...) {
        // What was created is released by its guard on the way here.
        try {
            SetError(error, "exception during GPU setup");
        } catch (...) {
        }
        return nullptr;
    }
}

void DestroyGpuDevice(GpuDeviceData* record)
{
    if (!record) {
        return;
    }
    const std::unique_ptr<GpuDeviceData> owned(record);
    if (record->framework == GpuFramework::OpenCL) {
        LoadOpenCL();
        const OpenCLApi& cl = OpenCLTable();
        if (cl.available) {
            // The kernel holds a reference to its program: kernel first.
            if (record->opencl_kernel) {
                cl.clReleaseKernel(record->opencl_kernel);
            }
            if (record->opencl_program) {
                cl.clReleaseProgram(record->opencl_program);
            }
        }
        return;
    }
    LoadCuda();
    const CudaApi& cu = CudaTable();
    if (cu.available && record->cuda_module) {
        UnloadModule(cu, record->cuda_context, record->cuda_module);
    }
}

PF_Err GpuDeviceSetup(const PF_InData* in_data, PF_OutData* out_data, PF_GPUDeviceSetupExtra* extra)
{
    if (out_data) {
        out_data->out_flags2 = 0;
    }
    if (!in_data) {
        return PF_Err_NONE;
    }
    const SuiteScope<PF_GPUDeviceSuite1> gpu_suite(in_data, kPFGPUDeviceSuite, kPFGPUDeviceSuiteVersion1);
    if (!gpu_suite || !extra || !extra->input) {
        return PF_Err_NONE;
    }
    PF_GPUDeviceInfo info{};
    if (!gpu_suite->GetDeviceInfo ||
        gpu_suite->GetDeviceInfo(in_data->effect_ref, extra->input->device_index, &info) != PF_Err_NONE) {
        return PF_Err_NONE;
    }
    GpuFramework framework;
    if (extra->input->what_gpu == PF_GPU_Framework_OPENCL) {
        framework = GpuFramework::OpenCL;
    } else if (extra->input->what_gpu == PF_GPU_Framework_CUDA) {
        framework = GpuFramework::Cuda;
    } else {
        return PF_Err_NONE;   // Metal, DirectX, none: no record, the host renders on the CPU
    }

    std::string error;
    GpuDeviceData* record = SetupGpuDevice(framework, info.contextPV, info.devicePV, &error);
    if (record && extra->output) {
        extra->output->gpu_data = record;
        if (out_data) {
            out_data->out_flags2 = PF_OutFlag2_SUPPORTS_GPU_RENDER_F32;
        }
    } else if (record) {
        DestroyGpuDevice(record);   // nowhere to hand it
    } else {
        LogMessage("GPU setup failed (%s): %s", framework == GpuFramework::OpenCL ? "OpenCL" : "CUDA",
                   error.c_str());
    }
    return PF_Err_NONE;
}

PF_Err GpuDeviceSetdown(PF_GPUDeviceSetdownExtra* extra)
{
    if (extra && extra->input && extra->input->gpu_data) {
        DestroyGpuDevice(static_cast<GpuDeviceData*>(extra->input->gpu_data));
    }
    return PF_Err_NONE;
}
