// The parallel band renderer: runs the kernel over the output rows of one frame on up to 64 threads,
// writing each row into the output world, or handing it to the caller as floats.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <thread>

#include "ShadeRow.h"
#include "WarpTypes.h"

// Receives one finished output row: row is the output buffer row (0 is the output's first row, not
// band_y0), pixels are its out_w pixels (B, G, R, A, straight alpha). Called from any of the render
// threads, several at once, each time for a different row; the pixels must be copied out before it
// returns, since the worker reuses the buffer for its next row.
using RowCallback = std::function<void(int32_t row, const float* pixels)>;

// Returns true when the render is to stop. Called only on the thread that called RenderBandCPU, so it
// may use host services bound to that thread. May be empty.
using AbortCallback = std::function<bool()>;

// Renders rows max(band_y0, 0) to min(band_y0 + band_h, out_h) of the frame, each exactly once unless
// stopped, through the process's row shader (ProcessShadeRow, ShadeRow.h), which reads the input and map
// worlds in place and writes every row into worlds.output in its format: no buffer besides the worlds.
// threadCount 0 or less: one thread per logical processor. Returns true when every row was written or
// there was nothing to render, false when the abort callback asked to stop. The first exception raised on
// any render thread is raised here after every thread has been joined.
bool RenderBandCPU(const QF_Frame& frame, const ShadeWorlds& worlds, int threadCount,
                   const AbortCallback& abortCallback);

// The same over float work buffers, each finished row handed to rowCallback: src covers in_h rows of
// in_pitch pixels; map is read only when has_map is non-zero. Each thread shades into one row buffer of
// its own. A row buffer that cannot be allocated, or a throwing callback, raises as above; an empty row
// callback raises std::bad_function_call.
bool RenderBandCPU(const QF_Frame& frame, const float* src, const float* map, const RowCallback& rowCallback,
                   int threadCount, const AbortCallback& abortCallback);

// What the band renderer takes from the machine. The overload below lets tests and benchmarks
// simulate another processor count, thread starts that fail, or a particular row shader.
struct BandRenderHooks {
    // Logical processors to assume; empty asks the system (std::thread::hardware_concurrency).
    std::optional<unsigned> processors;
    // Starts a thread running the given work, or throws (std::system_error) when it cannot; empty
    // uses std::thread. The work never throws.
    std::function<std::thread(std::function<void()>)> startThread;
    // The row shader, with ShadeRowFn's contract; empty uses ProcessShadeRow(). Tests and benchmarks pass
    // ShadeRowFor(path) here to force a path.
    std::function<void(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row)> shadeRow;
};

bool RenderBandCPU(const QF_Frame& frame, const ShadeWorlds& worlds, int threadCount,
                   const AbortCallback& abortCallback, const BandRenderHooks& hooks);
bool RenderBandCPU(const QF_Frame& frame, const float* src, const float* map, const RowCallback& rowCallback,
                   int threadCount, const AbortCallback& abortCallback, const BandRenderHooks& hooks);

// Largest number of threads working on one call: the caller and MAX_BAND_THREADS - 1 started ones.
inline constexpr int MAX_BAND_THREADS = 64;

// The calling thread polls the abort callback after every this many of its own rows.
inline constexpr int ABORT_POLL_ROWS = 4;
