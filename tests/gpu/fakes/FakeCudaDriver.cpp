// A CUDA driver of our own, named libcuda.so.1, for machines without an NVIDIA GPU. Device memory is
// host memory, so a device address is a host pointer; cuLaunchKernel runs the kernel's CUDA entry on
// the CPU for every thread of the grid, with the frame record taken by value from the parameter list.
// It checks what a real driver would refuse (contexts, handles, the PTX text, addresses outside an
// allocation), fails the calls a test names (FakeControl.h) and records launches and context pushes.
// Besides the nine entry points the plug-in uses, it has the few a host needs to make a context, a
// stream, memory and timing events.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FakeFaults.h"
#include "GpuApiTypes.h"
#include "WarpKernel.h"

typedef int CUdevice;
typedef struct CUevent_st* CUevent;

struct CUctx_st {
    int id;
};
struct CUmod_st {
    CUcontext context;
};
struct CUfunc_st {
    CUmodule module;
};
struct CUstream_st {
    int id;
};
struct CUevent_st {
    std::chrono::steady_clock::time_point when;
    bool recorded;
};

namespace {

enum : CUresult {
    CUDA_ERROR_INVALID_VALUE = 1,
    CUDA_ERROR_OUT_OF_MEMORY = 2,
    CUDA_ERROR_NOT_INITIALIZED = 3,
    CUDA_ERROR_NO_DEVICE = 100,
    CUDA_ERROR_INVALID_DEVICE = 101,
    CUDA_ERROR_INVALID_CONTEXT = 201,
    CUDA_ERROR_INVALID_PTX = 218,
    CUDA_ERROR_INVALID_HANDLE = 400,
    CUDA_ERROR_NOT_FOUND = 500,
    CUDA_ERROR_NOT_READY = 600,
    CUDA_ERROR_ILLEGAL_ADDRESS = 700,
};

// The entry's launch bound (.maxntid 256, 1, 1).
constexpr unsigned MAX_THREADS_PER_BLOCK = 256;

struct Driver {
    std::mutex lock;
    bool initialised = false;
    std::set<CUcontext> contexts;
    std::set<CUmodule> modules;
    std::set<CUfunction> functions;
    std::set<CUstream> streams;
    std::map<std::uintptr_t, std::size_t> allocations;   // start, bytes
    std::atomic<int> push_balance{0};
    CUcontext primary = nullptr;
    int primary_retains = 0;
};

Driver& TheDriver()
{
    static Driver driver;
    return driver;
}

// The thread's context stack, as the driver keeps one per thread.
thread_local std::vector<CUcontext> t_contexts;

bool Fails(const char* call, CUresult* result)
{
    int status = 0;
    if (FakeCallFails(call, &status)) {
        *result = status;
        return true;
    }
    return false;
}

bool HasCurrentContext()
{
    if (t_contexts.empty()) {
        return false;
    }
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    return driver.contexts.count(t_contexts.back()) > 0;
}

// Whether [address, address + bytes) lies inside one allocation.
bool Allocated(CUdeviceptr address, std::size_t bytes)
{
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    auto after = driver.allocations.upper_bound(static_cast<std::uintptr_t>(address));
    if (after == driver.allocations.begin()) {
        return false;
    }
    const auto& [start, size] = *std::prev(after);
    const std::uintptr_t end = start + size;
    return address >= start && bytes <= end - address;
}

// Bytes from a buffer's start to the end of the last pixel the kernel may touch in rows [0, rows) of
// width pixels, pitch pixels apart.
std::size_t ReachBytes(int rows, int width, int pitch)
{
    if (rows <= 0 || width <= 0) {
        return 0;
    }
    return ((static_cast<std::size_t>(rows) - 1) * static_cast<std::size_t>(std::max(pitch, 0)) +
            static_cast<std::size_t>(width)) * 16;
}

void WriteJitLog(unsigned count, const CUjit_option* options, void** values, const char* text)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    for (unsigned i = 0; options && values && i < count; ++i) {
        if (options[i] == CU_JIT_ERROR_LOG_BUFFER) {
            buffer = static_cast<char*>(values[i]);
        } else if (options[i] == CU_JIT_ERROR_LOG_BUFFER_SIZE_BYTES) {
            size = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(values[i]));
        }
    }
    if (buffer && size > 0) {
        const std::size_t n = std::min(size - 1, std::strlen(text));
        std::memcpy(buffer, text, n);
        buffer[n] = '\0';
    }
}

// Copies between host memory and an allocation, in the caller's context; every copy finishes before
// it returns, so the asynchronous forms are the synchronous ones.
CUresult CopyToHost(void* host, CUdeviceptr device, size_t bytes)
{
    if (!HasCurrentContext()) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    if (!host || !Allocated(device, bytes)) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    std::memcpy(host, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(device)), bytes);
    return CUDA_SUCCESS;
}

CUresult CopyToDevice(CUdeviceptr device, const void* host, size_t bytes)
{
    if (!HasCurrentContext()) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    if (!host || !Allocated(device, bytes)) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(device)), host, bytes);
    return CUDA_SUCCESS;
}

// The CUDA entry of the kernel for one block row range, thread by thread, as the device runs it.
void RunRows(const QF_Frame& F, const float* src, float* dst, const float* map, unsigned grid_x, unsigned block_x,
             unsigned block_y, unsigned first_block_row, unsigned end_block_row)
{
    for (unsigned by_block = first_block_row; by_block < end_block_row; ++by_block) {
        for (unsigned ty = 0; ty < block_y; ++ty) {
            const int ry = static_cast<int>(by_block * block_y + ty);
            const int by = ry + F.band_y0;
            for (unsigned bx_block = 0; bx_block < grid_x; ++bx_block) {
                for (unsigned tx = 0; tx < block_x; ++tx) {
                    const int bx = static_cast<int>(bx_block * block_x + tx);
                    if (bx >= F.out_w || by >= F.out_h || ry >= F.band_h) {
                        continue;
                    }
                    const qf4 v = qf_shade(&F, src, map, bx, by);
                    const qf_index i = (static_cast<qf_index>(by) * static_cast<qf_index>(F.out_pitch) +
                                        static_cast<qf_index>(bx)) * 4;
                    dst[i] = v.x;
                    dst[i + 1] = v.y;
                    dst[i + 2] = v.z;
                    dst[i + 3] = v.w;
                }
            }
        }
    }
}

}   // namespace

void FakeResetRuntime()
{
    TheDriver().push_balance = 0;
}

extern "C" {

// ---- controls ----

int qf_fake_context_balance(void)
{
    return TheDriver().push_balance.load();
}

int qf_fake_modules(void)
{
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    return static_cast<int>(driver.modules.size());
}

// ---- the nine entry points of the plug-in ----

CUresult cuCtxPushCurrent_v2(CUcontext ctx)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuCtxPushCurrent_v2", &result)) {
        return result;
    }
    Driver& driver = TheDriver();
    {
        const std::lock_guard<std::mutex> lock(driver.lock);
        if (!driver.contexts.count(ctx)) {
            return CUDA_ERROR_INVALID_CONTEXT;
        }
    }
    t_contexts.push_back(ctx);
    ++driver.push_balance;
    return CUDA_SUCCESS;
}

CUresult cuCtxPopCurrent_v2(CUcontext* pctx)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuCtxPopCurrent_v2", &result)) {
        return result;
    }
    if (t_contexts.empty()) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    if (pctx) {
        *pctx = t_contexts.back();
    }
    t_contexts.pop_back();
    --TheDriver().push_balance;
    return CUDA_SUCCESS;
}

CUresult cuModuleLoadDataEx(CUmodule* module, const void* image, unsigned int numOptions, CUjit_option* options,
                            void** optionValues)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuModuleLoadDataEx", &result)) {
        WriteJitLog(numOptions, options, optionValues, "fake JIT: injected failure");
        return result;
    }
    if (!module || !image) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    if (!HasCurrentContext()) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    // The text a real driver would accept for this kernel: the directives and the one entry.
    const char* text = static_cast<const char*>(image);
    for (const char* needed : {".version 4.2", ".target sm_50", ".address_size 64", ".visible .entry qf_render("}) {
        if (!std::strstr(text, needed)) {
            const std::string log = std::string("fake JIT: PTX lacks \"") + needed + "\"";
            WriteJitLog(numOptions, options, optionValues, log.c_str());
            return CUDA_ERROR_INVALID_PTX;
        }
    }
    auto* loaded = new CUmod_st{t_contexts.back()};
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    driver.modules.insert(loaded);
    *module = loaded;
    return CUDA_SUCCESS;
}

CUresult cuModuleGetFunction(CUfunction* hfunc, CUmodule hmod, const char* name)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuModuleGetFunction", &result)) {
        return result;
    }
    if (!hfunc || !name) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    if (!driver.modules.count(hmod)) {
        return CUDA_ERROR_INVALID_HANDLE;
    }
    if (std::strcmp(name, "qf_render") != 0) {
        return CUDA_ERROR_NOT_FOUND;
    }
    auto* function = new CUfunc_st{hmod};
    driver.functions.insert(function);
    *hfunc = function;
    return CUDA_SUCCESS;
}

CUresult cuModuleUnload(CUmodule hmod)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuModuleUnload", &result)) {
        return result;
    }
    if (!HasCurrentContext()) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    if (!driver.modules.erase(hmod)) {
        return CUDA_ERROR_INVALID_HANDLE;
    }
    for (auto it = driver.functions.begin(); it != driver.functions.end();) {
        if ((*it)->module == hmod) {
            delete *it;
            it = driver.functions.erase(it);
        } else {
            ++it;
        }
    }
    delete hmod;
    return CUDA_SUCCESS;
}

CUresult cuLaunchKernel(CUfunction f, unsigned int gridDimX, unsigned int gridDimY, unsigned int gridDimZ,
                        unsigned int blockDimX, unsigned int blockDimY, unsigned int blockDimZ,
                        unsigned int sharedMemBytes, CUstream hStream, void** kernelParams, void** extra)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuLaunchKernel", &result)) {
        return result;
    }
    if (!HasCurrentContext()) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    {
        Driver& driver = TheDriver();
        const std::lock_guard<std::mutex> lock(driver.lock);
        if (!driver.functions.count(f) || (hStream && !driver.streams.count(hStream))) {
            return CUDA_ERROR_INVALID_HANDLE;
        }
    }
    const unsigned long long threads = 1ull * blockDimX * blockDimY * blockDimZ;
    if (!kernelParams || extra || sharedMemBytes != 0 || gridDimX == 0 || gridDimY == 0 || gridDimZ == 0 ||
        threads == 0 || threads > MAX_THREADS_PER_BLOCK) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    CUdeviceptr src = 0;
    CUdeviceptr dst = 0;
    CUdeviceptr map = 0;
    QF_Frame F;
    std::memcpy(&src, kernelParams[0], sizeof src);
    std::memcpy(&dst, kernelParams[1], sizeof dst);
    std::memcpy(&map, kernelParams[2], sizeof map);
    std::memcpy(&F, kernelParams[3], sizeof F);
    FakeRecordLaunch(QfFakeLaunch{{gridDimX, gridDimY, gridDimZ}, {blockDimX, blockDimY, blockDimZ}, 1, F.band_y0,
                                  F.band_h});

    // A real device faults on an address outside its allocations; here that is the launch's error.
    const int last_row = std::min(F.out_h, F.band_y0 + F.band_h);
    if (!Allocated(dst, ReachBytes(last_row, F.out_w, F.out_pitch)) ||
        !Allocated(src, ReachBytes(F.in_h, F.in_w, F.in_pitch)) ||
        (F.has_map && !Allocated(map, ReachBytes(F.map_h, F.map_w, F.map_pitch)))) {
        return CUDA_ERROR_ILLEGAL_ADDRESS;
    }
    const auto* s = reinterpret_cast<const float*>(static_cast<std::uintptr_t>(src));
    auto* d = reinterpret_cast<float*>(static_cast<std::uintptr_t>(dst));
    const auto* m = reinterpret_cast<const float*>(static_cast<std::uintptr_t>(map));
    // Every z layer repeats the same x-y threads: the entry reads x and y alone.
    for (unsigned z = 0; z < gridDimZ * blockDimZ; ++z) {
        const unsigned workers = std::max(1u, std::min(std::thread::hardware_concurrency(), gridDimY));
        std::vector<std::thread> threads_started;
        for (unsigned w = 1; w < workers; ++w) {
            threads_started.emplace_back(RunRows, std::cref(F), s, d, m, gridDimX, blockDimX, blockDimY,
                                         gridDimY * w / workers, gridDimY * (w + 1) / workers);
        }
        RunRows(F, s, d, m, gridDimX, blockDimX, blockDimY, 0, gridDimY / workers);
        for (std::thread& t : threads_started) {
            t.join();
        }
    }
    return CUDA_SUCCESS;
}

CUresult cuMemcpyDtoHAsync_v2(void* dstHost, CUdeviceptr srcDevice, size_t ByteCount, CUstream hStream)
{
    (void)hStream;
    CUresult result = CUDA_SUCCESS;
    return Fails("cuMemcpyDtoHAsync_v2", &result) ? result : CopyToHost(dstHost, srcDevice, ByteCount);
}

CUresult cuMemcpyHtoDAsync_v2(CUdeviceptr dstDevice, const void* srcHost, size_t ByteCount, CUstream hStream)
{
    (void)hStream;
    CUresult result = CUDA_SUCCESS;
    return Fails("cuMemcpyHtoDAsync_v2", &result) ? result : CopyToDevice(dstDevice, srcHost, ByteCount);
}

CUresult cuStreamSynchronize(CUstream hStream)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuStreamSynchronize", &result)) {
        return result;
    }
    (void)hStream;   // every operation has finished when its call returns
    return CUDA_SUCCESS;
}

// ---- what a host needs besides ----

CUresult cuInit(unsigned int flags)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuInit", &result)) {
        return result;
    }
    if (flags != 0) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    driver.initialised = true;
    return CUDA_SUCCESS;
}

CUresult cuDriverGetVersion(int* version)
{
    if (!version) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    *version = 12000;
    return CUDA_SUCCESS;
}

CUresult cuDeviceGetCount(int* count)
{
    if (!count) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    if (!driver.initialised) {
        return CUDA_ERROR_NOT_INITIALIZED;
    }
    *count = 1;
    return CUDA_SUCCESS;
}

CUresult cuDeviceGet(CUdevice* device, int ordinal)
{
    if (!device) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    if (ordinal != 0) {
        return CUDA_ERROR_INVALID_DEVICE;
    }
    *device = 0;
    return CUDA_SUCCESS;
}

CUresult cuDeviceGetName(char* name, int len, CUdevice device)
{
    if (!name || len <= 0 || device != 0) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    const char* text = "fake CUDA device (host memory, CPU kernel)";
    std::strncpy(name, text, static_cast<std::size_t>(len));
    name[len - 1] = '\0';
    return CUDA_SUCCESS;
}

CUresult cuCtxCreate_v2(CUcontext* pctx, unsigned int flags, CUdevice device)
{
    (void)flags;
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuCtxCreate_v2", &result)) {
        return result;
    }
    if (!pctx || device != 0) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    static std::atomic<int> next_id{1};
    auto* context = new CUctx_st{next_id++};
    {
        Driver& driver = TheDriver();
        const std::lock_guard<std::mutex> lock(driver.lock);
        if (!driver.initialised) {
            delete context;
            return CUDA_ERROR_NOT_INITIALIZED;
        }
        driver.contexts.insert(context);
    }
    // A new context is current on the creating thread.
    t_contexts.push_back(context);
    *pctx = context;
    return CUDA_SUCCESS;
}

// The device's primary context: made on the first retain, kept while anything retains it. Not made
// current by retaining.
CUresult cuDevicePrimaryCtxRetain(CUcontext* pctx, CUdevice dev)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuDevicePrimaryCtxRetain", &result)) {
        return result;
    }
    if (!pctx || dev != 0) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    if (!driver.initialised) {
        return CUDA_ERROR_NOT_INITIALIZED;
    }
    if (driver.primary_retains++ == 0) {
        driver.primary = new CUctx_st{0};
        driver.contexts.insert(driver.primary);
    }
    *pctx = driver.primary;
    return CUDA_SUCCESS;
}

CUresult cuDevicePrimaryCtxRelease_v2(CUdevice dev)
{
    if (dev != 0) {
        return CUDA_ERROR_INVALID_DEVICE;
    }
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    if (driver.primary_retains == 0) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    if (--driver.primary_retains == 0) {
        driver.contexts.erase(driver.primary);
        delete driver.primary;
        driver.primary = nullptr;
    }
    return CUDA_SUCCESS;
}

CUresult cuCtxDestroy_v2(CUcontext ctx)
{
    Driver& driver = TheDriver();
    {
        const std::lock_guard<std::mutex> lock(driver.lock);
        if (!driver.contexts.erase(ctx)) {
            return CUDA_ERROR_INVALID_CONTEXT;
        }
    }
    t_contexts.erase(std::remove(t_contexts.begin(), t_contexts.end(), ctx), t_contexts.end());
    delete ctx;
    return CUDA_SUCCESS;
}

CUresult cuCtxSynchronize(void)
{
    return HasCurrentContext() ? CUDA_SUCCESS : CUDA_ERROR_INVALID_CONTEXT;
}

CUresult cuStreamCreate(CUstream* phStream, unsigned int flags)
{
    (void)flags;
    if (!phStream) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    if (!HasCurrentContext()) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    static std::atomic<int> next_id{1};
    auto* stream = new CUstream_st{next_id++};
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    driver.streams.insert(stream);
    *phStream = stream;
    return CUDA_SUCCESS;
}

CUresult cuStreamDestroy_v2(CUstream hStream)
{
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    if (!driver.streams.erase(hStream)) {
        return CUDA_ERROR_INVALID_HANDLE;
    }
    delete hStream;
    return CUDA_SUCCESS;
}

CUresult cuMemAlloc_v2(CUdeviceptr* dptr, size_t bytesize)
{
    CUresult result = CUDA_SUCCESS;
    if (Fails("cuMemAlloc_v2", &result)) {
        return result;
    }
    if (!dptr || bytesize == 0) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    if (!HasCurrentContext()) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    // Device allocations are 256-byte aligned.
    const std::size_t rounded = (bytesize + 255) / 256 * 256;
    void* memory = std::aligned_alloc(256, rounded);
    if (!memory) {
        return CUDA_ERROR_OUT_OF_MEMORY;
    }
    Driver& driver = TheDriver();
    const std::lock_guard<std::mutex> lock(driver.lock);
    driver.allocations[reinterpret_cast<std::uintptr_t>(memory)] = bytesize;
    *dptr = static_cast<CUdeviceptr>(reinterpret_cast<std::uintptr_t>(memory));
    return CUDA_SUCCESS;
}

CUresult cuMemFree_v2(CUdeviceptr dptr)
{
    Driver& driver = TheDriver();
    {
        const std::lock_guard<std::mutex> lock(driver.lock);
        if (!driver.allocations.erase(static_cast<std::uintptr_t>(dptr))) {
            return CUDA_ERROR_INVALID_VALUE;
        }
    }
    std::free(reinterpret_cast<void*>(static_cast<std::uintptr_t>(dptr)));
    return CUDA_SUCCESS;
}

CUresult cuMemcpyHtoD_v2(CUdeviceptr dstDevice, const void* srcHost, size_t ByteCount)
{
    return CopyToDevice(dstDevice, srcHost, ByteCount);
}

CUresult cuMemcpyDtoH_v2(void* dstHost, CUdeviceptr srcDevice, size_t ByteCount)
{
    return CopyToHost(dstHost, srcDevice, ByteCount);
}

CUresult cuMemsetD8_v2(CUdeviceptr dstDevice, unsigned char uc, size_t N)
{
    if (!HasCurrentContext()) {
        return CUDA_ERROR_INVALID_CONTEXT;
    }
    if (!Allocated(dstDevice, N)) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    std::memset(reinterpret_cast<void*>(static_cast<std::uintptr_t>(dstDevice)), uc, N);
    return CUDA_SUCCESS;
}

CUresult cuEventCreate(CUevent* phEvent, unsigned int Flags)
{
    (void)Flags;
    if (!phEvent) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    *phEvent = new CUevent_st{{}, false};
    return CUDA_SUCCESS;
}

CUresult cuEventRecord(CUevent hEvent, CUstream hStream)
{
    (void)hStream;
    if (!hEvent) {
        return CUDA_ERROR_INVALID_HANDLE;
    }
    hEvent->when = std::chrono::steady_clock::now();
    hEvent->recorded = true;
    return CUDA_SUCCESS;
}

CUresult cuEventSynchronize(CUevent hEvent)
{
    return hEvent ? CUDA_SUCCESS : CUDA_ERROR_INVALID_HANDLE;
}

CUresult cuEventElapsedTime(float* pMilliseconds, CUevent hStart, CUevent hEnd)
{
    if (!pMilliseconds || !hStart || !hEnd) {
        return CUDA_ERROR_INVALID_VALUE;
    }
    if (!hStart->recorded || !hEnd->recorded) {
        return CUDA_ERROR_NOT_READY;
    }
    *pMilliseconds = std::chrono::duration<float, std::milli>(hEnd->when - hStart->when).count();
    return CUDA_SUCCESS;
}

CUresult cuEventDestroy_v2(CUevent hEvent)
{
    if (!hEvent) {
        return CUDA_ERROR_INVALID_HANDLE;
    }
    delete hEvent;
    return CUDA_SUCCESS;
}

}   // extern "C"
