// The GPU devices the host drives: an OpenCL device with its context and in-order queue, a CUDA device
// with its primary context and a stream, a device of a framework the host cannot drive, and the device
// memory behind GPU worlds.
#include "GpuDeviceHost.h"

#include "GpuApi.h"
#include "Pixels.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

using namespace hostgpu;

namespace {

std::string Status(const char* call, long status)
{
    return std::string(call) + " failed: " + std::to_string(status);
}

// ---- OpenCL ----

class OpenCLDevice final : public GpuDeviceHost {
public:
    OpenCLDevice(const OpenCLCalls& cl, cl_device_id device, cl_context context, cl_command_queue queue,
                 std::string name)
        : GpuDeviceHost(PF_GPU_Framework_OPENCL, std::move(name)), cl_(cl), device_(device), context_(context),
          queue_(queue)
    {
    }
    ~OpenCLDevice() override
    {
        cl_.clFinish(queue_);
        cl_.clReleaseCommandQueue(queue_);
        cl_.clReleaseContext(context_);
    }

    PF_GPUDeviceInfo Info() const override
    {
        PF_GPUDeviceInfo info{};
        info.device_framework = PF_GPU_Framework_OPENCL;
        info.compatibleB = 1;
        info.devicePV = device_;
        info.contextPV = context_;
        info.command_queuePV = queue_;
        return info;
    }

    void* Allocate(std::size_t bytes) override
    {
        cl_int status = CL_SUCCESS;
        cl_mem buffer = cl_.clCreateBuffer(context_, CL_MEM_READ_WRITE, bytes, nullptr, &status);
        if (!buffer || status != CL_SUCCESS) {
            throw std::runtime_error(Status("clCreateBuffer", status));
        }
        return buffer;
    }
    void Free(void* buffer) override
    {
        if (buffer) {
            cl_.clReleaseMemObject(static_cast<cl_mem>(buffer));
        }
    }
    void Write(void* buffer, const void* host, std::size_t bytes) override
    {
        const cl_int status =
            cl_.clEnqueueWriteBuffer(queue_, static_cast<cl_mem>(buffer), CL_TRUE, 0, bytes, host, 0, nullptr, nullptr);
        if (status != CL_SUCCESS) {
            throw std::runtime_error(Status("clEnqueueWriteBuffer", status));
        }
    }
    void Read(void* buffer, void* host, std::size_t bytes) override
    {
        const cl_int status =
            cl_.clEnqueueReadBuffer(queue_, static_cast<cl_mem>(buffer), CL_TRUE, 0, bytes, host, 0, nullptr, nullptr);
        if (status != CL_SUCCESS) {
            throw std::runtime_error(Status("clEnqueueReadBuffer", status));
        }
    }
    void Finish() override
    {
        const cl_int status = cl_.clFinish(queue_);
        if (status != CL_SUCCESS) {
            throw std::runtime_error(Status("clFinish", status));
        }
    }

private:
    const OpenCLCalls& cl_;
    cl_device_id device_;
    cl_context context_;
    cl_command_queue queue_;
};

std::unique_ptr<GpuDeviceHost> OpenOpenCL(std::string& why)
{
    const OpenCLCalls& cl = OpenCL();
    if (!cl.missing.empty()) {
        why = cl.missing;
        return nullptr;
    }
    cl_uint count = 0;
    cl_platform_id platforms[16];
    if (cl.clGetPlatformIDs(16, platforms, &count) != CL_SUCCESS || count == 0) {
        why = "no OpenCL platform";
        return nullptr;
    }
    count = count < 16 ? count : 16;
    cl_platform_id platform = nullptr;
    cl_device_id device = nullptr;
    // A GPU on any platform first, then any device.
    for (const cl_device_type type : {CL_DEVICE_TYPE_GPU, CL_DEVICE_TYPE_ALL}) {
        for (cl_uint i = 0; i < count && !device; ++i) {
            if (cl.clGetDeviceIDs(platforms[i], type, 1, &device, nullptr) != CL_SUCCESS) {
                device = nullptr;
            } else {
                platform = platforms[i];
            }
        }
    }
    if (!device) {
        why = "no OpenCL device";
        return nullptr;
    }
    char name[256] = {};
    cl.clGetDeviceInfo(device, CL_DEVICE_NAME, sizeof name - 1, name, nullptr);
    const cl_context_properties properties[] = {CL_CONTEXT_PLATFORM, reinterpret_cast<cl_context_properties>(platform),
                                                0};
    cl_int status = CL_SUCCESS;
    cl_context context = cl.clCreateContext(properties, 1, &device, nullptr, nullptr, &status);
    if (!context || status != CL_SUCCESS) {
        why = Status("clCreateContext", status);
        return nullptr;
    }
    cl_command_queue queue = cl.clCreateCommandQueue(context, device, 0, &status);
    if (!queue || status != CL_SUCCESS) {
        cl.clReleaseContext(context);
        why = Status("clCreateCommandQueue", status);
        return nullptr;
    }
    return std::make_unique<OpenCLDevice>(cl, device, context, queue, name);
}

// ---- CUDA ----

CUdeviceptr Address(void* buffer)
{
    return static_cast<CUdeviceptr>(reinterpret_cast<std::uintptr_t>(buffer));
}

class CudaDevice final : public GpuDeviceHost {
public:
    CudaDevice(const CudaCalls& cu, CUdevice device, CUcontext context, CUstream stream, std::string name)
        : GpuDeviceHost(PF_GPU_Framework_CUDA, std::move(name)), cu_(cu), device_(device), context_(context),
          stream_(stream)
    {
    }
    ~CudaDevice() override
    {
        if (cu_.cuCtxPushCurrent_v2(context_) == CUDA_SUCCESS) {
            cu_.cuStreamSynchronize(stream_);
            cu_.cuStreamDestroy_v2(stream_);
            CUcontext popped = nullptr;
            cu_.cuCtxPopCurrent_v2(&popped);
        }
        cu_.cuDevicePrimaryCtxRelease_v2(device_);
    }

    PF_GPUDeviceInfo Info() const override
    {
        PF_GPUDeviceInfo info{};
        info.device_framework = PF_GPU_Framework_CUDA;
        info.compatibleB = 1;
        info.devicePV = reinterpret_cast<void*>(static_cast<std::intptr_t>(device_));
        info.contextPV = context_;
        info.command_queuePV = stream_;
        return info;
    }

    void* Allocate(std::size_t bytes) override
    {
        CUdeviceptr address = 0;
        Check("cuMemAlloc_v2", [&] { return cu_.cuMemAlloc_v2(&address, bytes); });
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
    }
    void Free(void* buffer) override
    {
        if (buffer && cu_.cuCtxPushCurrent_v2(context_) == CUDA_SUCCESS) {
            cu_.cuMemFree_v2(Address(buffer));
            CUcontext popped = nullptr;
            cu_.cuCtxPopCurrent_v2(&popped);
        }
    }
    void Write(void* buffer, const void* host, std::size_t bytes) override
    {
        Check("cuStreamSynchronize", [&] { return cu_.cuStreamSynchronize(stream_); });
        Check("cuMemcpyHtoD_v2", [&] { return cu_.cuMemcpyHtoD_v2(Address(buffer), host, bytes); });
    }
    void Read(void* buffer, void* host, std::size_t bytes) override
    {
        Check("cuStreamSynchronize", [&] { return cu_.cuStreamSynchronize(stream_); });
        Check("cuMemcpyDtoH_v2", [&] { return cu_.cuMemcpyDtoH_v2(host, Address(buffer), bytes); });
    }
    void Finish() override
    {
        Check("cuStreamSynchronize", [&] { return cu_.cuStreamSynchronize(stream_); });
    }
    double TimeOnDevice(const std::function<void()>& work) override
    {
        if (!cu_.events) {
            return GpuDeviceHost::TimeOnDevice(work);
        }
        CUevent start = nullptr;
        CUevent end = nullptr;
        Check("cuEventCreate", [&] { return cu_.cuEventCreate(&start, 0); });
        Check("cuEventCreate", [&] { return cu_.cuEventCreate(&end, 0); });
        float ms = 0.0f;
        try {
            Check("cuEventRecord", [&] { return cu_.cuEventRecord(start, stream_); });
            work();
            Check("cuEventRecord", [&] { return cu_.cuEventRecord(end, stream_); });
            Check("cuEventSynchronize", [&] { return cu_.cuEventSynchronize(end); });
            Check("cuEventElapsedTime", [&] { return cu_.cuEventElapsedTime(&ms, start, end); });
        } catch (...) {
            cu_.cuEventDestroy_v2(start);
            cu_.cuEventDestroy_v2(end);
            throw;
        }
        cu_.cuEventDestroy_v2(start);
        cu_.cuEventDestroy_v2(end);
        return ms;
    }

private:
    // Runs one driver call with the host's context current.
    template <typename Call>
    void Check(const char* name, Call call) const
    {
        if (const CUresult pushed = cu_.cuCtxPushCurrent_v2(context_)) {
            throw std::runtime_error(Status("cuCtxPushCurrent_v2", pushed));
        }
        const CUresult result = call();
        CUcontext popped = nullptr;
        cu_.cuCtxPopCurrent_v2(&popped);
        if (result != CUDA_SUCCESS) {
            throw std::runtime_error(Status(name, result));
        }
    }

    const CudaCalls& cu_;
    CUdevice device_;
    CUcontext context_;
    CUstream stream_;
};

std::unique_ptr<GpuDeviceHost> OpenCuda(std::string& why)
{
    const CudaCalls& cu = Cuda();
    if (!cu.missing.empty()) {
        why = cu.missing;
        return nullptr;
    }
    int count = 0;
    if (const CUresult result = cu.cuInit(0)) {
        why = Status("cuInit", result);
        return nullptr;
    }
    if (cu.cuDeviceGetCount(&count) != CUDA_SUCCESS || count < 1) {
        why = "no CUDA device";
        return nullptr;
    }
    CUdevice device = 0;
    if (const CUresult result = cu.cuDeviceGet(&device, 0)) {
        why = Status("cuDeviceGet", result);
        return nullptr;
    }
    char name[256] = {};
    cu.cuDeviceGetName(name, sizeof name, device);
    CUcontext context = nullptr;
    if (const CUresult result = cu.cuDevicePrimaryCtxRetain(&context, device)) {
        why = Status("cuDevicePrimaryCtxRetain", result);
        return nullptr;
    }
    CUstream stream = nullptr;
    CUresult result = cu.cuCtxPushCurrent_v2(context);
    if (result == CUDA_SUCCESS) {
        result = cu.cuStreamCreate(&stream, 0);
        CUcontext popped = nullptr;
        cu.cuCtxPopCurrent_v2(&popped);
    }
    if (result != CUDA_SUCCESS) {
        cu.cuDevicePrimaryCtxRelease_v2(device);
        why = Status("cuStreamCreate", result);
        return nullptr;
    }
    return std::make_unique<CudaDevice>(cu, device, context, stream, name);
}

// ---- Metal, DirectX ----

// Handles for GetDeviceInfo only; they point at nothing the plug-in could use.
class ForeignDevice final : public GpuDeviceHost {
public:
    explicit ForeignDevice(PF_GPU_Framework framework) : GpuDeviceHost(framework, "foreign device") {}
    PF_GPUDeviceInfo Info() const override
    {
        PF_GPUDeviceInfo info{};
        info.device_framework = framework();
        info.compatibleB = 1;
        info.devicePV = const_cast<char*>(&handles_[0]);
        info.contextPV = const_cast<char*>(&handles_[1]);
        info.command_queuePV = const_cast<char*>(&handles_[2]);
        return info;
    }
    void* Allocate(std::size_t) override { throw std::runtime_error("no memory on a foreign device"); }
    void Free(void*) override {}
    void Write(void*, const void*, std::size_t) override { throw std::runtime_error("no memory on a foreign device"); }
    void Read(void*, void*, std::size_t) override { throw std::runtime_error("no memory on a foreign device"); }
    void Finish() override {}

private:
    char handles_[3] = {};
};

}   // namespace

std::unique_ptr<GpuDeviceHost> GpuDeviceHost::Open(GpuKind kind, std::string& why)
{
    return kind == GpuKind::OpenCL ? OpenOpenCL(why) : OpenCuda(why);
}

std::unique_ptr<GpuDeviceHost> GpuDeviceHost::Foreign(PF_GPU_Framework framework)
{
    return std::make_unique<ForeignDevice>(framework);
}

double GpuDeviceHost::TimeOnDevice(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    Finish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// ---- GPU worlds ----

namespace {

constexpr A_long GPU_PIXEL_BYTES = 16;

}   // namespace

void GpuWorld::Init(A_long width, A_long height, A_long row_padding)
{
    if (width < 0 || height < 0 || row_padding < 0 || row_padding % GPU_PIXEL_BYTES != 0) {
        throw std::invalid_argument("bad GPU world size or row padding");
    }
    world_.width = width;
    world_.height = height;
    world_.rowbytes = width * GPU_PIXEL_BYTES + row_padding;
    world_.pix_aspect_ratio = PF_RationalScale{1, 1};
    world_.extent_hint = PF_LRect{0, 0, width, height};
    bytes_ = static_cast<std::size_t>(world_.rowbytes) * static_cast<std::size_t>(height);
    // Device memory is reached only through GetGPUWorldData; the world's data pointer stays null.
    world_.data = nullptr;
    buffer_ = bytes_ ? device_.Allocate(bytes_) : nullptr;
}

GpuWorld::GpuWorld(GpuDeviceHost& device, const FloatImage& image, A_long row_padding) : device_(device)
{
    Init(image.width, image.height, row_padding);
    if (!buffer_) {
        return;
    }
    std::vector<unsigned char> bytes(bytes_, 0xCD);
    const std::size_t row = static_cast<std::size_t>(image.width) * GPU_PIXEL_BYTES;
    for (A_long y = 0; y < image.height; ++y) {
        std::memcpy(bytes.data() + static_cast<std::size_t>(y) * world_.rowbytes, image.At(0, y), row);
    }
    try {
        device_.Write(buffer_, bytes.data(), bytes_);
    } catch (...) {
        device_.Free(buffer_);
        throw;
    }
}

GpuWorld::GpuWorld(GpuDeviceHost& device, A_long width, A_long height, A_long row_padding, unsigned char fill)
    : device_(device)
{
    Init(width, height, row_padding);
    if (!buffer_) {
        return;
    }
    const std::vector<unsigned char> bytes(bytes_, fill);
    try {
        device_.Write(buffer_, bytes.data(), bytes_);
    } catch (...) {
        device_.Free(buffer_);
        throw;
    }
}

GpuWorld::~GpuWorld()
{
    device_.Free(buffer_);
}

FloatImage GpuWorld::Read() const
{
    FloatImage image(world_.width, world_.height);
    if (!buffer_) {
        return image;
    }
    std::vector<unsigned char> bytes(bytes_);
    device_.Read(buffer_, bytes.data(), bytes_);
    const std::size_t row = static_cast<std::size_t>(world_.width) * GPU_PIXEL_BYTES;
    for (A_long y = 0; y < world_.height; ++y) {
        std::memcpy(image.At(0, y), bytes.data() + static_cast<std::size_t>(y) * world_.rowbytes, row);
    }
    return image;
}
