// The simulated host's GPU devices: the runtimes reached at run time through the platform's library seam,
// an OpenCL device with its context and in-order queue, a CUDA device with its primary context and a
// stream, and the GPU worlds' device memory.
#include "GpuHost.h"

#include "DynamicLibrary.h"
#include "HostSim.h"
#include "GpuApiTypes.h"
#include "Layers.h"
#include "ModuleLoader.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

// ---- the host's OpenCL and CUDA calls, beyond the plug-in's types in GpuApiTypes.h ----

typedef struct _cl_platform_id* cl_platform_id;
typedef cl_bitfield cl_device_type;
typedef intptr_t cl_context_properties;
typedef cl_bitfield cl_command_queue_properties;
typedef cl_uint cl_device_info;

constexpr cl_device_type CL_DEVICE_TYPE_GPU_ = 1 << 2;
constexpr cl_device_type CL_DEVICE_TYPE_ALL_ = 0xFFFFFFFF;
constexpr cl_device_info CL_DEVICE_NAME_ = 0x102B;
constexpr cl_context_properties CL_CONTEXT_PLATFORM_ = 0x1084;
constexpr cl_mem_flags CL_MEM_READ_WRITE_ = 1 << 0;

#define QF_HOST_OPENCL_CALLS(X)                                                                                 \
    X(clGetPlatformIDs, cl_int, (cl_uint, cl_platform_id*, cl_uint*))                                         \
    X(clGetDeviceIDs, cl_int, (cl_platform_id, cl_device_type, cl_uint, cl_device_id*, cl_uint*))             \
    X(clGetDeviceInfo, cl_int, (cl_device_id, cl_device_info, size_t, void*, size_t*))                        \
    X(clCreateContext, cl_context,                                                                            \
      (const cl_context_properties*, cl_uint, const cl_device_id*, void(QF_CL_API_CALL*)(const char*,         \
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

typedef int CUdevice;
typedef struct CUevent_st* CUevent;

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

#define QF_HOST_OPENCL_SLOT(name, result, params) result(QF_CL_API_CALL* name) params = nullptr;
#define QF_HOST_CUDA_SLOT(name, result, params) result(QF_CUDA_API_CALL* name) params = nullptr;

struct HostOpenCL {
    QF_HOST_OPENCL_CALLS(QF_HOST_OPENCL_SLOT)
    std::string missing;   // why the table is unusable; empty when every call resolved
};

struct HostCuda {
    QF_HOST_CUDA_CALLS(QF_HOST_CUDA_SLOT)
    QF_HOST_CUDA_EVENT_CALLS(QF_HOST_CUDA_SLOT)
    std::string missing;
    bool events = false;   // every event call resolved
};

#define QF_HOST_RESOLVE(name, result, params)                                                             \
    api.name = reinterpret_cast<decltype(api.name)>(FindSymbol(library, #name));                          \
    if (!api.name && api.missing.empty())                                                                 \
        api.missing = "the runtime lacks " #name;

#define QF_HOST_RESOLVE_MODULE(name, result, params)                                                      \
    api.name = reinterpret_cast<decltype(api.name)>(module->Find(#name));                                 \
    if (!api.name && api.missing.empty())                                                                 \
        api.missing = "the runtime lacks " #name;

// Optional calls: looked up, and left null when missing.
#define QF_HOST_FIND(name, result, params) api.name = reinterpret_cast<decltype(api.name)>(FindSymbol(library, #name));
#define QF_HOST_FIND_MODULE(name, result, params) api.name = reinterpret_cast<decltype(api.name)>(module->Find(#name));

// The process's runtime libraries: stand-ins first, when a test loaded them, else the system's.
struct Runtimes {
    std::mutex lock;
    LoadedModule* stand_in[2] = {nullptr, nullptr};
    std::string stand_in_path[2];
    bool resolved[2] = {false, false};
    HostOpenCL opencl;
    HostCuda cuda;
};

Runtimes& TheRuntimes()
{
    // Never destroyed: the plug-in may still hold addresses in these libraries while the process ends.
    static Runtimes* runtimes = new Runtimes();
    return *runtimes;
}

int Slot(GpuKind kind)
{
    return kind == GpuKind::OpenCL ? 0 : 1;
}

const LibraryNameChar* RuntimeName(GpuKind kind)
{
    return kind == GpuKind::OpenCL ? OPENCL_LIBRARY_NAME : CUDA_LIBRARY_NAME;
}

const HostOpenCL& OpenCLCalls()
{
    Runtimes& r = TheRuntimes();
    const std::lock_guard<std::mutex> lock(r.lock);
    if (!r.resolved[0]) {
        r.resolved[0] = true;
        HostOpenCL& api = r.opencl;
        LibraryHandle library = nullptr;
        if (r.stand_in[0]) {
            // The stand-in forwards to the real runtime; the host's own calls go there directly.
            using TargetFn = void* (*)();
            const auto target = reinterpret_cast<TargetFn>(r.stand_in[0]->Find("qf_fake_target"));
            library = target ? target() : nullptr;
        } else {
            library = LoadSystemLibrary(OPENCL_LIBRARY_NAME);
        }
        if (!library) {
            api.missing = "no OpenCL runtime";
        } else {
            QF_HOST_OPENCL_CALLS(QF_HOST_RESOLVE)
        }
    }
    return r.opencl;
}

const HostCuda& CudaCalls()
{
    Runtimes& r = TheRuntimes();
    const std::lock_guard<std::mutex> lock(r.lock);
    if (!r.resolved[1]) {
        r.resolved[1] = true;
        HostCuda& api = r.cuda;
        LibraryHandle library = r.stand_in[1] ? nullptr : LoadSystemLibrary(CUDA_LIBRARY_NAME);
        if (r.stand_in[1]) {
            // The stand-in is the whole driver.
            LoadedModule* module = r.stand_in[1];
            QF_HOST_CUDA_CALLS(QF_HOST_RESOLVE_MODULE)
            QF_HOST_CUDA_EVENT_CALLS(QF_HOST_FIND_MODULE)
        } else if (!library) {
            api.missing = "no CUDA driver";
        } else {
            QF_HOST_CUDA_CALLS(QF_HOST_RESOLVE)
            QF_HOST_CUDA_EVENT_CALLS(QF_HOST_FIND)
        }
        api.events = api.cuEventCreate && api.cuEventRecord && api.cuEventSynchronize && api.cuEventElapsedTime &&
                     api.cuEventDestroy_v2;
    }
    return r.cuda;
}

std::string Status(const char* call, long status)
{
    return std::string(call) + " failed: " + std::to_string(status);
}

// ---- OpenCL ----

class OpenCLDevice final : public GpuDeviceHost {
public:
    OpenCLDevice(const HostOpenCL& cl, cl_device_id device, cl_context context, cl_command_queue queue,
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
        cl_mem buffer = cl_.clCreateBuffer(context_, CL_MEM_READ_WRITE_, bytes, nullptr, &status);
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
    const HostOpenCL& cl_;
    cl_device_id device_;
    cl_context context_;
    cl_command_queue queue_;
};

std::unique_ptr<GpuDeviceHost> OpenOpenCL(std::string& why)
{
    const HostOpenCL& cl = OpenCLCalls();
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
    for (const cl_device_type type : {CL_DEVICE_TYPE_GPU_, CL_DEVICE_TYPE_ALL_}) {
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
    cl.clGetDeviceInfo(device, CL_DEVICE_NAME_, sizeof name - 1, name, nullptr);
    const cl_context_properties properties[] = {CL_CONTEXT_PLATFORM_, reinterpret_cast<cl_context_properties>(platform),
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
    CudaDevice(const HostCuda& cu, CUdevice device, CUcontext context, CUstream stream, std::string name)
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

    const HostCuda& cu_;
    CUdevice device_;
    CUcontext context_;
    CUstream stream_;
};

std::unique_ptr<GpuDeviceHost> OpenCuda(std::string& why)
{
    const HostCuda& cu = CudaCalls();
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

const char* GpuKindName(GpuKind kind)
{
    return kind == GpuKind::OpenCL ? "OpenCL" : "CUDA";
}

void LoadStandInRuntime(GpuKind kind, const std::string& path)
{
    Runtimes& r = TheRuntimes();
    const std::lock_guard<std::mutex> lock(r.lock);
    const int slot = Slot(kind);
    if (r.stand_in[slot]) {
        if (r.stand_in_path[slot] == path) {
            return;
        }
        throw std::runtime_error(std::string("another stand-in ") + GpuKindName(kind) + " runtime is loaded");
    }
    // The plug-in takes the first library of the runtime's name in the process: it has to be this one.
    if (r.resolved[slot] || FindLoadedLibrary(RuntimeName(kind))) {
        throw std::runtime_error(std::string("the ") + GpuKindName(kind) +
                                 " runtime is already loaded in this process; load the stand-in first");
    }
    std::string error;
    std::unique_ptr<LoadedModule> module = LoadedModule::Open(path, error);
    if (!module) {
        throw std::runtime_error("cannot load " + path + ": " + error);
    }
    r.stand_in[slot] = module.release();   // for the life of the process
    r.stand_in_path[slot] = path;
}

void* StandInSymbol(GpuKind kind, const char* name)
{
    Runtimes& r = TheRuntimes();
    const std::lock_guard<std::mutex> lock(r.lock);
    LoadedModule* module = r.stand_in[Slot(kind)];
    return module ? module->Find(name) : nullptr;
}

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

// ---- the renderer choice ----

const char* RendererName(Renderer renderer)
{
    switch (renderer) {
    case Renderer::Cpu:
        return "cpu";
    case Renderer::OpenCL:
        return "opencl";
    case Renderer::Cuda:
        return "cuda";
    case Renderer::Auto:
        return "auto";
    }
    return "?";
}

bool ParseRenderer(std::string_view text, Renderer& renderer)
{
    for (const Renderer r : {Renderer::Cpu, Renderer::OpenCL, Renderer::Cuda, Renderer::Auto}) {
        if (text == RendererName(r)) {
            renderer = r;
            return true;
        }
    }
    return false;
}

// ---- "PF GPU Device Suite" 1 ----

struct HostSim::GpuCallbacks {
    static HostSim* From(PF_ProgPtr effect_ref) { return reinterpret_cast<HostSim*>(effect_ref); }

    static PF_Err GetDeviceInfo(PF_ProgPtr effect_ref, A_u_long device_index, PF_GPUDeviceInfo* info)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::GetDeviceInfo, err)) {
            return err;
        }
        if (!info || device_index != 0 || !host->gpu_->device) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *info = host->gpu_->device->Info();
        return PF_Err_NONE;
    }

    // Worlds this host did not hand out in the current GPU frame are unknown to it.
    static PF_Err GetGPUWorldData(PF_ProgPtr effect_ref, PF_EffectWorld* world, void** data)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        const auto found = host->gpu_->handed_out.find(world);
        const int param_index = found == host->gpu_->handed_out.end() ? -1 : found->second.second;
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::GetGPUWorldData, err, param_index)) {
            return err;
        }
        if (!data || found == host->gpu_->handed_out.end()) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *data = found->second.first->buffer();
        return PF_Err_NONE;
    }

    // The rest of the suite is not offered by this host.
    static PF_Err Refuse(PF_ProgPtr) { return PF_Err_INTERNAL_STRUCT_DAMAGED; }
    static PF_Err GetDeviceCount(PF_ProgPtr effect_ref, A_u_long* count)
    {
        HostSim* host = From(effect_ref);
        if (!host || !count) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *count = host->gpu_->device ? 1 : 0;
        return PF_Err_NONE;
    }
    static PF_Err DeviceAccess(PF_ProgPtr, A_u_long) { return PF_Err_INTERNAL_STRUCT_DAMAGED; }
    static PF_Err AllocateDeviceMemory(PF_ProgPtr, A_u_long, size_t, void**) { return PF_Err_OUT_OF_MEMORY; }
    static PF_Err FreeDeviceMemory(PF_ProgPtr, A_u_long, void*) { return PF_Err_INTERNAL_STRUCT_DAMAGED; }
    static PF_Err PurgeDeviceMemory(PF_ProgPtr, A_u_long, size_t, size_t*) { return PF_Err_INTERNAL_STRUCT_DAMAGED; }
    static PF_Err AllocateHostMemory(PF_ProgPtr, A_u_long, size_t, void**) { return PF_Err_OUT_OF_MEMORY; }
    static PF_Err FreeHostMemory(PF_ProgPtr, A_u_long, void*) { return PF_Err_INTERNAL_STRUCT_DAMAGED; }
    static PF_Err PurgeHostMemory(PF_ProgPtr, A_u_long, size_t, size_t*) { return PF_Err_INTERNAL_STRUCT_DAMAGED; }
    static PF_Err CreateGPUWorld(PF_ProgPtr, A_u_long, A_long, A_long, PF_RationalScale, PF_Field, PF_PixelFormat,
                                 PF_Boolean, PF_EffectWorld**)
    {
        return PF_Err_OUT_OF_MEMORY;
    }
    static PF_Err DisposeGPUWorld(PF_ProgPtr, PF_EffectWorld*) { return PF_Err_INTERNAL_STRUCT_DAMAGED; }
    static PF_Err GetGPUWorldSize(PF_ProgPtr effect_ref, PF_EffectWorld* world, size_t* bytes)
    {
        HostSim* host = From(effect_ref);
        const auto found = host ? host->gpu_->handed_out.find(world) : decltype(host->gpu_->handed_out.end()){};
        if (!host || !bytes || found == host->gpu_->handed_out.end()) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *bytes = found->second.first->bytes();
        return PF_Err_NONE;
    }
    static PF_Err GetGPUWorldDeviceIndex(PF_ProgPtr effect_ref, PF_EffectWorld* world, A_u_long* index)
    {
        HostSim* host = From(effect_ref);
        if (!host || !index || !host->gpu_->handed_out.count(world)) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *index = 0;
        return PF_Err_NONE;
    }
};

const PF_GPUDeviceSuite1* HostSim::GpuDeviceSuite()
{
    static const PF_GPUDeviceSuite1 suite{
        GpuCallbacks::GetDeviceCount,     GpuCallbacks::GetDeviceInfo,        GpuCallbacks::DeviceAccess,
        GpuCallbacks::DeviceAccess,       GpuCallbacks::AllocateDeviceMemory, GpuCallbacks::FreeDeviceMemory,
        GpuCallbacks::PurgeDeviceMemory,  GpuCallbacks::AllocateHostMemory,   GpuCallbacks::FreeHostMemory,
        GpuCallbacks::PurgeHostMemory,    GpuCallbacks::CreateGPUWorld,       GpuCallbacks::DisposeGPUWorld,
        GpuCallbacks::GetGPUWorldData,    GpuCallbacks::GetGPUWorldSize,      GpuCallbacks::GetGPUWorldDeviceIndex};
    return &suite;
}

// ---- devices ----

void HostSim::StartGpuHost()
{
    gpu_ = std::make_unique<GpuHostState>();
    ProvideSuite(kPFGPUDeviceSuite, kPFGPUDeviceSuiteVersion1, GpuDeviceSuite());
}

void HostSim::StopGpuHost() noexcept
{
    try {
        SetDownGpuDevice();
    } catch (...) {
        // Closing must not throw out of the destructor; the device's own resources are released anyway.
    }
}

PF_Err HostSim::SetUpGpuDevice(PF_GPU_Framework framework)
{
    if (const PF_Err err = SetDownGpuDevice()) {
        return err;
    }
    GpuHostState& gpu = *gpu_;
    gpu.unavailable.clear();
    if (framework == PF_GPU_Framework_OPENCL || framework == PF_GPU_Framework_CUDA) {
        const GpuKind kind = framework == PF_GPU_Framework_OPENCL ? GpuKind::OpenCL : GpuKind::Cuda;
        gpu.device = GpuDeviceHost::Open(kind, gpu.unavailable);
        if (!gpu.device) {
            return PF_Err_NONE;
        }
    } else {
        gpu.device = GpuDeviceHost::Foreign(framework);
    }
    // The command has an out_data of its own: its flags speak for this device only.
    PF_GPUDeviceSetupInput input{framework, 0};
    PF_GPUDeviceSetupOutput output{};
    PF_GPUDeviceSetupExtra extra{&input, &output};
    PF_InData in_data = MakeInData();
    PF_OutData out_data = out_data_;
    const PF_Err err = CallEffectMain(PF_Cmd_GPU_DEVICE_SETUP, &in_data, &out_data, nullptr, nullptr, &extra);
    gpu.data = output.gpu_data;
    gpu.accepted = err == PF_Err_NONE && output.gpu_data && (out_data.out_flags2 & PF_OutFlag2_SUPPORTS_GPU_RENDER_F32);
    return err;
}

PF_Err HostSim::SetDownGpuDevice()
{
    GpuHostState& gpu = *gpu_;
    gpu.EndFrame();   // the frame's worlds live in the device's memory
    if (!gpu.device) {
        return PF_Err_NONE;
    }
    PF_Err err = PF_Err_NONE;
    if (gpu.data) {
        PF_GPUDeviceSetdownInput input{gpu.data, gpu.device->framework(), 0};
        PF_GPUDeviceSetdownExtra extra{&input};
        PF_InData in_data = MakeInData();
        PF_OutData out_data = out_data_;
        err = CallEffectMain(PF_Cmd_GPU_DEVICE_SETDOWN, &in_data, &out_data, nullptr, nullptr, &extra);
    }
    gpu.data = nullptr;
    gpu.accepted = false;
    gpu.device.reset();
    return err;
}

GpuDeviceHost* HostSim::GpuDevice() const
{
    return gpu_->device.get();
}

bool HostSim::GpuAccepted() const
{
    return gpu_->accepted;
}

void* HostSim::GpuData() const
{
    return gpu_->data;
}

const std::string& HostSim::GpuUnavailable() const
{
    return gpu_->unavailable;
}

// ---- GPU frames ----

bool HostSim::PrepareGpuFrame(const RenderRequest& request, RenderResult& result)
{
    GpuHostState& gpu = *gpu_;
    gpu.row_padding = request.gpu_row_padding;
    const auto framework_of = [](Renderer renderer) {
        return renderer == Renderer::OpenCL ? PF_GPU_Framework_OPENCL : PF_GPU_Framework_CUDA;
    };
    const auto use = [&](PF_GPU_Framework framework) {
        if (!gpu.device || gpu.device->framework() != framework) {
            if (const PF_Err err = SetUpGpuDevice(framework)) {
                result.gpu_note = "PF_Cmd_GPU_DEVICE_SETUP returned " + std::to_string(err);
                return false;
            }
        }
        if (!gpu.device) {
            result.gpu_note = gpu.unavailable;
            return false;
        }
        if (!gpu.accepted) {
            result.gpu_note = std::string("the effect declined the ") +
                              (framework == PF_GPU_Framework_OPENCL ? "OpenCL" : "CUDA") + " device";
            return false;
        }
        return true;
    };
    switch (request.renderer) {
    case Renderer::Cpu:
        return false;
    case Renderer::OpenCL:
    case Renderer::Cuda:
        return use(framework_of(request.renderer));
    case Renderer::Auto:
        if (gpu.device && gpu.accepted) {
            return true;
        }
        if (use(PF_GPU_Framework_CUDA)) {
            return true;
        }
        {
            const std::string cuda_note = result.gpu_note;
            if (use(PF_GPU_Framework_OPENCL)) {
                result.gpu_note.clear();
                return true;
            }
            result.gpu_note = "CUDA: " + cuda_note + "; OpenCL: " + result.gpu_note;
        }
        return false;
    }
    return false;
}

PF_EffectWorld* HostSim::HandOutGpuLayer(const PixelBuffer& layer, const PF_LRect& rect, int param_index)
{
    GpuHostState& gpu = *gpu_;
    const A_long left = std::max<A_long>(rect.left, 0);
    const A_long top = std::max<A_long>(rect.top, 0);
    const A_long right = std::min(rect.right, layer.width());
    const A_long bottom = std::min(rect.bottom, layer.height());
    // The host converts the layer to float BGRA on the device, as it does for any GPU frame.
    FloatImage pixels;
    if (right > left && bottom > top) {
        pixels = layer.Load().Crop(left, top, right - left, bottom - top);
    }
    GpuWorld& world = *gpu.worlds.emplace_back(std::make_unique<GpuWorld>(*gpu.device, pixels, gpu.row_padding));
    world.world().origin_x = left;
    world.world().origin_y = top;
    PF_EffectWorld* handed = render_.HandOut(world.world(), PF_PixelFormat_GPU_BGRA128);
    gpu.handed_out[handed] = {&world, param_index};
    return handed;
}

PF_EffectWorld* HostSim::HandOutGpuOutput(const PF_LRect& rect)
{
    GpuHostState& gpu = *gpu_;
    const bool empty = !(rect.right > rect.left && rect.bottom > rect.top);
    const A_long width = empty ? 0 : rect.right - rect.left;
    const A_long height = empty ? 0 : rect.bottom - rect.top;
    // Fresh device memory holds no particular picture: bytes 0xCD, as in the host's CPU worlds.
    GpuWorld& world =
        *gpu.worlds.emplace_back(std::make_unique<GpuWorld>(*gpu.device, width, height, gpu.row_padding, 0xCD));
    if (!empty) {
        world.world().origin_x = rect.left;
        world.world().origin_y = rect.top;
    }
    PF_EffectWorld* handed = render_.HandOut(world.world(), PF_PixelFormat_GPU_BGRA128);
    gpu.handed_out[handed] = {&world, -1};
    return handed;
}

PF_Err HostSim::SendGpuRender(const PF_PreRenderInput& pre_render, void* pre_render_data, const RenderRequest& request,
                              RenderResult& result)
{
    GpuHostState& gpu = *gpu_;
    PF_SmartRenderInput input{};
    input.output_request = pre_render.output_request;
    input.bitdepth = 32;   // GPU worlds are float
    input.pre_render_data = pre_render_data;
    input.gpu_data = gpu.data;
    input.what_gpu = gpu.device->framework();
    input.device_index = 0;
    PF_SmartRenderCallbacks cb = SmartRenderCallbacks();
    PF_SmartRenderExtra extra{&input, &cb};

    gpu.frame_on_gpu = true;
    // A host has the frame's GPU worlds ready before it sends the command, so their uploads are no part
    // of the effect's time. The callbacks hand out these same worlds (injected failures still apply).
    try {
        for (const auto& [id, checkout] : render_.checkouts) {
            const PF_LRect& r = checkout.result;
            if (checkout.layer != NO_LAYER && r.right > r.left && r.bottom > r.top && !render_.layer_pixels.count(id)) {
                render_.layer_pixels[id] = HandOutGpuLayer(Layer(checkout.layer), r, checkout.index);
            }
        }
        if (!render_.output_world) {
            render_.output_world = HandOutGpuOutput(render_.output_rect);
        }
    } catch (...) {
        gpu.frame_on_gpu = false;
        throw;
    }
    PF_Err err = PF_Err_NONE;
    const auto start = std::chrono::steady_clock::now();
    try {
        result.device_ms = gpu.device->TimeOnDevice([&] { err = SendCommand(PF_Cmd_SMART_RENDER_GPU, &extra); });
    } catch (...) {
        gpu.frame_on_gpu = false;
        throw;
    }
    result.render_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    gpu.frame_on_gpu = false;
    result.drawn_by = gpu.device->framework() == PF_GPU_Framework_OPENCL ? Renderer::OpenCL : Renderer::Cuda;

    const auto output = gpu.handed_out.find(render_.output_world);
    if (request.read_back && output != gpu.handed_out.end()) {
        result.images.push_back(output->second.first->Read());
        result.image = result.images.back();
        result.origin_x = render_.output_world->origin_x;
        result.origin_y = render_.output_world->origin_y;
    }
    return err;
}
