// The GPU runtime loaders on Windows, run under Wine. A loader makes one attempt per process, so ctest runs
// each scenario in a process of its own (--gtest_filter, see CMakeLists.txt). Stand-in runtimes named
// nvcuda.dll and OpenCL.dll lie beside this program, where a careless search would find them.
#include "GpuLoader.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

namespace {

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The file of the module that holds `address`, in lower case.
std::wstring ModuleFileOf(const void* address)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return L"?";
    wchar_t path[MAX_PATH] = {};
    return Lower(std::wstring(path, GetModuleFileNameW(module, path, MAX_PATH)));
}

std::wstring SystemFolder()
{
    wchar_t path[MAX_PATH] = {};
    return Lower(std::wstring(path, GetSystemDirectoryW(path, MAX_PATH))) + L"\\";
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    const std::wstring self = Lower(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH)));
    return self.substr(0, self.find_last_of(L"\\/") + 1);
}

bool Under(const std::wstring& file, const std::wstring& folder)
{
    return file.compare(0, folder.size(), folder) == 0;
}

// Without a runtime in the process, only the system folder's copy may be used: here Wine's, if any.
TEST(GpuLoaderWindows, IgnoresRuntimesBesideTheHost)
{
    LoadCuda();
    LoadOpenCL();
    EXPECT_TRUE(CudaTable().tried);
    EXPECT_TRUE(OpenCLTable().tried);
    if (CudaTable().available) {
        EXPECT_TRUE(Under(ModuleFileOf(reinterpret_cast<const void*>(CudaTable().cuLaunchKernel)), SystemFolder()));
    } else {
        EXPECT_EQ(CudaTable().cuLaunchKernel, nullptr);
    }
    if (OpenCLTable().available) {
        EXPECT_TRUE(Under(ModuleFileOf(reinterpret_cast<const void*>(OpenCLTable().clFlush)), SystemFolder()));
    }
    EXPECT_EQ(GetModuleHandleW((ProgramFolder() + L"nvcuda.dll").c_str()), nullptr);
    EXPECT_EQ(GetModuleHandleW((ProgramFolder() + L"opencl.dll").c_str()), nullptr);
}

// A runtime the host has already loaded, from anywhere, is the one used: no second copy is loaded.
TEST(GpuLoaderWindows, TakesTheRuntimeTheHostLoaded)
{
    const std::wstring planted = ProgramFolder() + L"nvcuda.dll";
    const HMODULE host_copy = LoadLibraryW(planted.c_str());
    ASSERT_NE(host_copy, nullptr) << "stand-in not built";
    LoadCuda();
    ASSERT_TRUE(CudaTable().available);
    EXPECT_EQ(ModuleFileOf(reinterpret_cast<const void*>(CudaTable().cuCtxPushCurrent_v2)), planted);
    EXPECT_EQ(ModuleFileOf(reinterpret_cast<const void*>(CudaTable().cuStreamSynchronize)), planted);
    // The _v2 names, not the old 32-bit-pointer entry points the stand-in also exports.
    EXPECT_EQ(reinterpret_cast<const void*>(CudaTable().cuCtxPushCurrent_v2),
              reinterpret_cast<const void*>(GetProcAddress(host_copy, "cuCtxPushCurrent_v2")));
    // The OpenCL loader is independent of the CUDA one.
    EXPECT_FALSE(OpenCLTable().tried);
}

}   // namespace
