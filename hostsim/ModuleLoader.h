// Platform seam: loading a plug-in module by path and finding its exports (dlopen on Linux, LoadLibraryW
// on Windows), and reaching the system's GPU runtime libraries by name.
#pragma once

#include <memory>
#include <string>

class LoadedModule {
public:
    // The module at `path` (UTF-8), or null with `error` saying why.
    static std::unique_ptr<LoadedModule> Open(const std::string& path, std::string& error);
    ~LoadedModule();   // unloads it
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // The exported function's address, or null.
    void* Find(const char* name) const;

private:
    explicit LoadedModule(void* handle) : handle_(handle) {}
    void* handle_;
};

// System libraries by their file name (ASCII): "libOpenCL.so.1", "OpenCL.dll". Libraries reached here are
// never unloaded, so addresses found in them stay valid until the process ends.
// The copy the process has already loaded (matched by SONAME on Linux), or null; loads nothing.
void* FindProcessLibrary(const char* name);
// Loads it by the platform's search for system libraries (Windows: the system folder only), or null.
void* OpenSystemLibrary(const char* name);
// An export of a library found or loaded above, or null.
void* FindLibrarySymbol(void* library, const char* name);
