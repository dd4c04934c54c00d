// The runtimes' call tables, resolved once per process from the system's runtime or a stand-in.
#include "GpuRuntime.h"

#include "GpuApi.h"
#include "ModuleLoader.h"

#include <memory>
#include <mutex>
#include <stdexcept>

namespace {

#if defined(_WIN32)
// Windows names the runtimes by their DLLs in the system folder.
constexpr const char* OPENCL_LIBRARY = "OpenCL.dll";
constexpr const char* CUDA_LIBRARY = "nvcuda.dll";
#else
// The ABI-versioned names the runtime packages install (also each library's SONAME).
constexpr const char* OPENCL_LIBRARY = "libOpenCL.so.1";
constexpr const char* CUDA_LIBRARY = "libcuda.so.1";
#endif

#define QF_HOST_RESOLVE(name, result, params)                                                             \
    api.name = reinterpret_cast<decltype(api.name)>(find(#name));                                         \
    if (!api.name && api.missing.empty())                                                                 \
        api.missing = "the runtime lacks " #name;

// Optional calls: looked up, and left null when missing.
#define QF_HOST_FIND(name, result, params) api.name = reinterpret_cast<decltype(api.name)>(find(#name));

// The process's runtime libraries: stand-ins first, when a test loaded them, else the system's.
struct Runtimes {
    std::mutex lock;
    LoadedModule* stand_in[2] = {nullptr, nullptr};
    std::string stand_in_path[2];
    bool resolved[2] = {false, false};
    hostgpu::OpenCLCalls opencl;
    hostgpu::CudaCalls cuda;
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

const char* RuntimeName(GpuKind kind)
{
    return kind == GpuKind::OpenCL ? OPENCL_LIBRARY : CUDA_LIBRARY;
}

}   // namespace

namespace hostgpu {

const OpenCLCalls& OpenCL()
{
    Runtimes& r = TheRuntimes();
    const std::lock_guard<std::mutex> lock(r.lock);
    if (!r.resolved[0]) {
        r.resolved[0] = true;
        OpenCLCalls& api = r.opencl;
        void* library = nullptr;
        if (r.stand_in[0]) {
            // The stand-in forwards to the real runtime; the host's own calls go there directly.
            using TargetFn = void* (*)();
            const auto target = reinterpret_cast<TargetFn>(r.stand_in[0]->Find("qf_fake_target"));
            library = target ? target() : nullptr;
        } else {
            library = OpenSystemLibrary(OPENCL_LIBRARY);
        }
        const auto find = [library](const char* name) { return FindLibrarySymbol(library, name); };
        if (!library) {
            api.missing = "no OpenCL runtime";
        } else {
            QF_HOST_OPENCL_CALLS(QF_HOST_RESOLVE)
        }
    }
    return r.opencl;
}

const CudaCalls& Cuda()
{
    Runtimes& r = TheRuntimes();
    const std::lock_guard<std::mutex> lock(r.lock);
    if (!r.resolved[1]) {
        r.resolved[1] = true;
        CudaCalls& api = r.cuda;
        // The stand-in is the whole driver.
        LoadedModule* stand_in = r.stand_in[1];
        void* library = stand_in ? nullptr : OpenSystemLibrary(CUDA_LIBRARY);
        const auto find = [stand_in, library](const char* name) {
            return stand_in ? stand_in->Find(name) : FindLibrarySymbol(library, name);
        };
        if (!stand_in && !library) {
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

}   // namespace hostgpu

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
    if (r.resolved[slot] || FindProcessLibrary(RuntimeName(kind))) {
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
