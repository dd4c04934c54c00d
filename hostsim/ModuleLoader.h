// Platform seam: loading a plug-in module by path and finding its exports (dlopen on Linux,
// LoadLibraryW on Windows).
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
