// GPU runtime loading: one attempt per runtime and process, under one lock for both runtimes.
#include "GpuLoader.h"

#include "DynamicLibrary.h"

namespace {

// Function-local statics: zero flags from the first use on, whatever the order of static set-up.
OpenCLApi& MutableOpenCLTable()
{
    static OpenCLApi table;
    return table;
}

CudaApi& MutableCudaTable()
{
    static CudaApi table;
    return table;
}

// Stores the looked-up address, null or not, and says whether there was one.
template <typename Slot>
bool Resolve(LibraryHandle library, const char* name, Slot& slot)
{
    slot = reinterpret_cast<Slot>(FindSymbol(library, name));
    return slot != nullptr;
}

// The loading algorithm shared by both runtimes; resolveAll fills the table's slots in order and
// says whether every one resolved.
template <typename Table, typename ResolveAll>
void LoadRuntime(Table& table, const LibraryNameChar* libraryName, ResolveAll resolveAll)
{
    const std::lock_guard<std::mutex> lock(GpuLoaderLock());
    if (table.tried)
        return;
    // Set before the attempt: a failed attempt is never repeated while the process lives.
    table.tried = true;
    LibraryHandle library = FindLoadedLibrary(libraryName);
    if (library == nullptr)
        library = LoadSystemLibrary(libraryName);
    if (library == nullptr)
        return;
    table.available = resolveAll(library, table);
}

// Every slot is looked up even after a miss, so the table shows all that is missing.
#define QF_RESOLVE(name, result, params) all = Resolve(library, #name, api.name) && all;

} // namespace

std::mutex& GpuLoaderLock()
{
    static std::mutex lock;
    return lock;
}

void LoadOpenCL()
{
    LoadRuntime(MutableOpenCLTable(), OPENCL_LIBRARY_NAME, [](LibraryHandle library, OpenCLApi& api) {
        bool all = true;
        QF_OPENCL_ENTRY_POINTS(QF_RESOLVE)
        return all;
    });
}

void LoadCuda()
{
    LoadRuntime(MutableCudaTable(), CUDA_LIBRARY_NAME, [](LibraryHandle library, CudaApi& api) {
        bool all = true;
        QF_CUDA_ENTRY_POINTS(QF_RESOLVE)
        return all;
    });
}

const OpenCLApi& OpenCLTable()
{
    return MutableOpenCLTable();
}

const CudaApi& CudaTable()
{
    return MutableCudaTable();
}
