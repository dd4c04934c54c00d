// Compile-time check: every OpenCL table slot has exactly the type of the public header's function,
// so a call through the table passes what the runtime expects.
#define CL_TARGET_OPENCL_VERSION 110
#include <CL/cl.h>

#include <type_traits>

#include "GpuLoader.h"

#define QF_CHECK_SLOT(name, result, params)                                                            \
    static_assert(std::is_same_v<decltype(OpenCLApi::name), decltype(&::name)>,                        \
                  #name " differs from the public OpenCL header");
QF_OPENCL_ENTRY_POINTS(QF_CHECK_SLOT)
