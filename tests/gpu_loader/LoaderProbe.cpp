// Child process for the loader tests: the loaders run once per process, so every case gets a fresh
// one. Arguments are steps, run in order:
//   preload PATH      dlopen PATH by its full path, as a host that loaded the runtime itself
//   opencl | cuda     call the loader and print one report line
//   cuda-threads N    N threads call LoadCuda at the same moment; print one report line
// A report line is "<what> key=value ...": tried, available, missing (entry points whose slot is
// null), from (the file every resolved entry point lies in, "mixed" if not one), copies (objects
// loaded in the process under the runtime's file name), opens (dlopen calls made by name for the
// runtime) and, for cuda-threads, agree (every thread saw the same available flag).
#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "DynamicLibrary.h"
#include "GpuLoader.h"

namespace {

std::atomic<int> OpenCLOpens{0};
std::atomic<int> CudaOpens{0};

} // namespace

// Counts the loader's lookups by interposing dlopen for this executable only (hidden visibility
// keeps every other library on the real one).
extern "C" void* dlopen(const char* file, int mode) noexcept
{
    using DlopenFn = void* (*)(const char*, int);
    static const DlopenFn next = reinterpret_cast<DlopenFn>(dlsym(RTLD_NEXT, "dlopen"));
    if (file != nullptr && std::strcmp(file, OPENCL_LIBRARY_NAME) == 0)
        ++OpenCLOpens;
    if (file != nullptr && std::strcmp(file, CUDA_LIBRARY_NAME) == 0)
        ++CudaOpens;
    return next(file, mode);
}

namespace {

struct SlotReport {
    std::string missing;
    std::string from;
};

void AddSlot(SlotReport& report, const char* name, SymbolAddress address)
{
    if (address == nullptr) {
        report.missing += report.missing.empty() ? name : std::string(",") + name;
        return;
    }
    Dl_info info{};
    const std::string file =
        dladdr(reinterpret_cast<void*>(address), &info) != 0 && info.dli_fname ? info.dli_fname : "?";
    if (report.from.empty())
        report.from = file;
    else if (report.from != file)
        report.from = "mixed";
}

#define QF_REPORT_SLOT(name, result, params) AddSlot(report, #name, reinterpret_cast<SymbolAddress>(api.name));

SlotReport Slots(const OpenCLApi& api)
{
    SlotReport report;
    QF_OPENCL_ENTRY_POINTS(QF_REPORT_SLOT)
    return report;
}

SlotReport Slots(const CudaApi& api)
{
    SlotReport report;
    QF_CUDA_ENTRY_POINTS(QF_REPORT_SLOT)
    return report;
}

int CountLoadedCopies(const char* fileName)
{
    struct Search {
        const char* fileName;
        int count;
    } search{fileName, 0};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            const char* base = info->dlpi_name ? std::strrchr(info->dlpi_name, '/') : nullptr;
            base = base ? base + 1 : info->dlpi_name;
            if (base != nullptr && std::strcmp(base, s->fileName) == 0)
                ++s->count;
            return 0;
        },
        &search);
    return search.count;
}

template <typename Table>
void Report(const char* what, const Table& api, const char* fileName, int opens, const char* extra = "")
{
    const SlotReport slots = Slots(api);
    std::printf("%s tried=%d available=%d missing=%s from=%s copies=%d opens=%d%s\n", what, api.tried ? 1 : 0,
                api.available ? 1 : 0, slots.missing.c_str(), slots.from.c_str(), CountLoadedCopies(fileName),
                opens, extra);
}

void CudaThreads(int count)
{
    std::latch start(count);
    std::vector<char> seen(static_cast<size_t>(count));
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            LoadCuda();
            seen[static_cast<size_t>(i)] = CudaTable().available ? 1 : 0;
        });
    }
    for (std::thread& t : threads)
        t.join();
    bool agree = true;
    for (char s : seen)
        agree = agree && s == seen[0];
    Report("cuda-threads", CudaTable(), CUDA_LIBRARY_NAME, CudaOpens.load(), agree ? " agree=1" : " agree=0");
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        if (step == "preload" && i + 1 < argc) {
            if (dlopen(argv[++i], RTLD_NOW | RTLD_LOCAL) == nullptr) {
                std::printf("preload failed: %s\n", dlerror());
                return 2;
            }
        } else if (step == "opencl") {
            LoadOpenCL();
            Report("opencl", OpenCLTable(), OPENCL_LIBRARY_NAME, OpenCLOpens.load());
        } else if (step == "cuda") {
            LoadCuda();
            Report("cuda", CudaTable(), CUDA_LIBRARY_NAME, CudaOpens.load());
        } else if (step == "cuda-threads" && i + 1 < argc) {
            CudaThreads(std::atoi(argv[++i]));
        } else {
            std::printf("unknown step: %s\n", step.c_str());
            return 2;
        }
    }
    return 0;
}
