// The machine's GPU runtimes as the host reaches them: the OpenCL runtime and the CUDA driver, loaded at
// run time (as the plug-in loads them), or stand-ins of our own put in their place for fault tests.
//
// Stand-in runtimes: LoadStandInRuntime puts a library named like the runtime (libOpenCL.so.1,
// libcuda.so.1) into the process before the plug-in looks, so the plug-in takes it for the runtime
// already loaded. An OpenCL stand-in forwards to the real runtime and names it through its export
// `qf_fake_target` (a library handle); the host then drives its own calls through the real one, so only
// the plug-in's calls pass the stand-in. A CUDA stand-in is the whole driver for the host too.
#pragma once

#include <string>

enum class GpuKind { OpenCL, Cuda };

const char* GpuKindName(GpuKind kind);   // "OpenCL", "CUDA"

// Loads the library at `path` for the process, for good, as the runtime of this kind. Must come before
// any runtime of this kind is loaded in the process (throws std::runtime_error otherwise, or when the
// library cannot be loaded). Loading the same path again does nothing. Linux only.
void LoadStandInRuntime(GpuKind kind, const std::string& path);
// An export of the stand-in loaded for this kind, or null (none loaded, or no such export).
void* StandInSymbol(GpuKind kind, const char* name);
