// Platform seam: plug-in module loading and the system's runtime libraries.
#include "ModuleLoader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#if defined(_WIN32)

namespace {

std::wstring Wide(const char* ascii)
{
    return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

}   // namespace

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

void* FindProcessLibrary(const char* name)
{
    return GetModuleHandleW(Wide(name).c_str());
}

void* OpenSystemLibrary(const char* name)
{
    // Only the system folder, as the plug-in itself searches: a runtime planted elsewhere is never taken.
    return LoadLibraryExW(Wide(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void* FindLibrarySymbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
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

void* FindProcessLibrary(const char* name)
{
    // The extra reference this takes is never dropped.
    return dlopen(name, RTLD_NOW | RTLD_NOLOAD);
}

void* OpenSystemLibrary(const char* name)
{
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* FindLibrarySymbol(void* library, const char* name)
{
    return dlsym(library, name);
}

#endif
