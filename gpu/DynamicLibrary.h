// Platform seam: the three library operations the GPU runtime loader needs. Libraries found or loaded
// here are never unloaded, so addresses looked up in them stay valid until the process ends.
#pragma once

#if defined(_WIN32)
typedef wchar_t LibraryNameChar;
// Windows names the runtimes by their DLLs in the system folder.
inline constexpr const wchar_t* OPENCL_LIBRARY_NAME = L"OpenCL.dll";
inline constexpr const wchar_t* CUDA_LIBRARY_NAME = L"nvcuda.dll";
#else
typedef char LibraryNameChar;
// The ABI-versioned names the runtime packages install (also each library's SONAME).
inline constexpr const char* OPENCL_LIBRARY_NAME = "libOpenCL.so.1";
inline constexpr const char* CUDA_LIBRARY_NAME = "libcuda.so.1";
#endif

// An opaque library handle; null means none.
typedef void* LibraryHandle;
// Any exported function; cast to the entry point's own type before calling.
typedef void (*SymbolAddress)();

// The copy of the named library that the process has already loaded, or null. Loads nothing.
LibraryHandle FindLoadedLibrary(const LibraryNameChar* name);
// Loads the named library by the platform's search for system libraries (Windows: only the system
// folder), or returns null.
LibraryHandle LoadSystemLibrary(const LibraryNameChar* name);
// The address of the exported function, or null when the library does not export it.
SymbolAddress FindSymbol(LibraryHandle library, const char* name);
