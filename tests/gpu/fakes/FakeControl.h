// The control surface of the stand-in GPU runtimes (the OpenCL interposer and the CUDA driver fake).
// Tests find these functions with dlsym in the runtime the host simulator loaded before the plug-in.
#pragma once

#include <stddef.h>

// One kernel launch as the runtime saw it. OpenCL: size = global size, group = local size (has_group 0
// when the runtime was left to choose). CUDA: size = grid, group = block. band_y0 and band_h are read
// from the frame record the launch received (-1 when there was none).
typedef struct {
    unsigned size[3];
    unsigned group[3];
    int has_group;
    int band_y0;
    int band_h;
} QfFakeLaunch;

// Function types of the exported controls, for dlsym.
// Forget all faults, counts, the call log, the launches and the overrides.
typedef void (*QfFakeResetFn)(void);
// Make `call` (an entry point's name) fail: the next `skip` calls work, then `times` calls (every one
// when -1) fail with `status`. An entry point that returns an object returns null and stores `status`
// through its error argument (a status of 0 makes it a null result reported as success).
typedef void (*QfFakeFailFn)(const char* call, int skip, int times, int status);
// How many times `call` was made since the last reset, failed ones included.
typedef int (*QfFakeCallsFn)(const char* call);
// The names of the calls since the last reset, in order, one per line; returns the full length and
// copies what fits (terminated) into buffer.
typedef size_t (*QfFakeCallLogFn)(char* buffer, size_t size);
// The launches since the last reset; returns their number and copies up to `capacity` of them.
typedef int (*QfFakeLaunchesFn)(QfFakeLaunch* out, int capacity);

// OpenCL interposer only.
// The handle (dlopen) of the real runtime it forwards to.
typedef void* (*QfFakeTargetFn)(void);
// Answer CL_PROGRAM_BUILD_LOG queries with `text`, reporting `reported_size` bytes (null: forward).
typedef void (*QfFakeBuildLogFn)(const char* text, size_t reported_size);
// Answer CL_KERNEL_WORK_GROUP_SIZE queries with `size` (0: forward).
typedef void (*QfFakeWorkGroupSizeFn)(size_t size);

// CUDA driver fake only.
// Successful context pushes minus successful pops, over all threads, since the last reset.
typedef int (*QfFakeContextBalanceFn)(void);
// Modules loaded and not unloaded.
typedef int (*QfFakeModulesFn)(void);
