// Platform seam: finding, loading and searching the GPU runtime libraries.
#include "DynamicLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#if defined(_WIN32)

LibraryHandle FindLoadedLibrary(const LibraryNameChar* name)
{
    return GetModuleHandleW(name);
}

LibraryHandle LoadSystemLibrary(const LibraryNameChar* name)
{
    // Only the system folder: a runtime DLL planted beside the host or in the working folder is
    // never picked up.
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

SymbolAddress FindSymbol(LibraryHandle library, const char* name)
{
    return reinterpret_cast<SymbolAddress>(GetProcAddress(static_cast<HMODULE>(library), name));
}

#else

LibraryHandle FindLoadedLibrary(const LibraryNameChar* name)
{
    // The dynamic linker also matches the SONAME of libraries loaded under another path, so a
    // runtime the host loaded from anywhere is found. The extra reference is never dropped.
    return dlopen(name, RTLD_NOW | RTLD_NOLOAD);
}

LibraryHandle LoadSystemLibrary(const LibraryNameChar* name)
{
    // RTLD_LOCAL keeps the runtime's symbols out of the global scope of the host.
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

SymbolAddress FindSymbol(LibraryHandle library, const char* name)
{
    return reinterpret_cast<SymbolAddress>(dlsym(library, name));
}

#endif
