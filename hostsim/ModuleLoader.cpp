// Platform seam: plug-in module loading.
#include "ModuleLoader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#if defined(_WIN32)

std::unique_ptr<LoadedModule> LoadedModule::Open(const std::string& path, std::string& error)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    HMODULE handle = LoadLibraryW(wide.c_str());
    if (!handle) {
        error = "LoadLibraryW failed: " + std::to_string(GetLastError());
        return nullptr;
    }
    return std::unique_ptr<LoadedModule>(new LoadedModule(handle));
}

LoadedModule::~LoadedModule()
{
    FreeLibrary(static_cast<HMODULE>(handle_));
}

void* LoadedModule::Find(const char* name) const
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

#else

std::unique_ptr<LoadedModule> LoadedModule::Open(const std::string& path, std::string& error)
{
    // RTLD_LOCAL: like a host, keep the plug-in's symbols out of the process's global scope.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = reason ? reason : "dlopen failed";
        return nullptr;
    }
    return std::unique_ptr<LoadedModule>(new LoadedModule(handle));
}

LoadedModule::~LoadedModule()
{
    dlclose(handle_);
}

void* LoadedModule::Find(const char* name) const
{
    return dlsym(handle_, name);
}

#endif
