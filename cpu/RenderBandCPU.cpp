// Dynamic row-by-row scheduling over one atomic counter; threads live for one call only.
#include "RenderBandCPU.h"

#include "PixelConversion.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>
#include <vector>

namespace {

// Shared by every thread of one call; owned by the call.
struct BandJob {
    const QF_Frame& frame;
    const ShadeWorlds& worlds;
    const ShadeRowFn shadeRow;  // the process's row shader, unless the hooks bring their own
    const BandRenderHooks& hooks;
    const RowCallback* rowCallback;  // null: rows are written into worlds.output
    const AbortCallback& abortCallback;
    int32_t first;                  // first row of the band, output rows
    int32_t end;                    // first row past the band
    std::atomic<int32_t> nextRow;   // next row to claim
    std::atomic<bool> stop{false};  // set on abort or on a failure
    std::atomic<bool> failed{false};
    std::exception_ptr firstFailure;  // written only by the thread that set `failed`, read after the join

    BandJob(const QF_Frame& f, const ShadeWorlds& w, const BandRenderHooks& h, const RowCallback* rows,
            const AbortCallback& abort, int32_t firstRow, int32_t endRow)
        : frame(f), worlds(w), shadeRow(ProcessShadeRow()), hooks(h), rowCallback(rows), abortCallback(abort),
          first(firstRow), end(endRow), nextRow(firstRow)
    {
    }

    // Stops the render and keeps the first exception any thread raised.
    void Fail(std::exception_ptr e) noexcept
    {
        stop.exchange(true);
        if (!failed.exchange(true))
            firstFailure = std::move(e);
    }
};

void RunWorker(BandJob& job, bool calling)
{
    // Rows for a callback are shaded into one row buffer per thread for the whole call, zero-filled, so no
    // allocation happens per row: an output world whose every row is that buffer (row bytes 0).
    std::vector<float> pixels;
    ShadeWorlds worlds = job.worlds;
    if (job.rowCallback) {
        pixels.resize(size_t(job.frame.out_w) * 4);
        worlds.output = WorkBufferWorld(pixels.data(), job.frame.out_w, 1, 0);
    }
    if (job.stop.load())
        return;
    const bool pollAbort = calling && static_cast<bool>(job.abortCallback);
    int rowsDone = 0;
    for (;;) {
        int32_t row = job.nextRow.fetch_add(1);
        // Every thread claims at most once past the end, but near INT32_MAX that claim can wrap the
        // counter; a wrapped value lies below the band and counts as past the end.
        if (row >= job.end || row < job.first)
            break;
        if (job.hooks.shadeRow)
            job.hooks.shadeRow(job.frame, worlds, row);
        else
            job.shadeRow(job.frame, worlds, row);
        if (job.rowCallback)
            (*job.rowCallback)(row, pixels.data());
        if (pollAbort && ++rowsDone % ABORT_POLL_ROWS == 0 && job.abortCallback()) {
            job.stop.exchange(true);
            break;
        }
        if (job.stop.load())
            break;
    }
}

// The rows of the frame's band: [first, end).
bool BandRows(const QF_Frame& frame, int32_t& first, int32_t& end)
{
    first = std::max(frame.band_y0, 0);
    // In 64 bits: band_y0 + band_h may pass INT32_MAX.
    end = int32_t(std::min<int64_t>(int64_t(frame.band_y0) + frame.band_h, frame.out_h));
    return frame.out_w > 0 && end > first;
}

bool RenderBand(const QF_Frame& frame, const ShadeWorlds& worlds, const RowCallback* rowCallback, int threadCount,
                const AbortCallback& abortCallback, const BandRenderHooks& hooks)
{
    int32_t first, end;
    if (!BandRows(frame, first, end))
        return true;

    int64_t n = threadCount > 0 ? threadCount
                                : int64_t(hooks.processors ? *hooks.processors : std::thread::hardware_concurrency());
    n = std::min<int64_t>(std::max<int64_t>(n, 1), int64_t(end) - first);
    const int toStart = int(std::min<int64_t>(n, MAX_BAND_THREADS)) - 1;

    BandJob job(frame, worlds, hooks, rowCallback, abortCallback, first, end);

    std::vector<std::thread> workers;
    if (toStart > 0) {
        // A thread that cannot be started, or recorded, only means fewer threads: the ones running and
        // the caller share the rows. Reserving first makes recording a started thread unable to fail.
        try {
            workers.reserve(size_t(toStart));
            auto work = [&job] {
                try {
                    RunWorker(job, false);
                } catch (...) {
                    job.Fail(std::current_exception());
                }
            };
            for (int i = 0; i < toStart; i++)
                workers.push_back(hooks.startThread ? hooks.startThread(work) : std::thread(work));
        } catch (...) {
        }
    }

    try {
        RunWorker(job, true);
    } catch (...) {
        job.Fail(std::current_exception());
    }
    for (std::thread& t : workers)
        if (t.joinable())
            t.join();
    if (job.firstFailure)
        std::rethrow_exception(job.firstFailure);
    return !job.stop.load();
}

} // namespace

bool RenderBandCPU(const QF_Frame& frame, const ShadeWorlds& worlds, int threadCount,
                   const AbortCallback& abortCallback)
{
    return RenderBand(frame, worlds, nullptr, threadCount, abortCallback, BandRenderHooks{});
}

bool RenderBandCPU(const QF_Frame& frame, const ShadeWorlds& worlds, int threadCount,
                   const AbortCallback& abortCallback, const BandRenderHooks& hooks)
{
    return RenderBand(frame, worlds, nullptr, threadCount, abortCallback, hooks);
}

bool RenderBandCPU(const QF_Frame& frame, const float* src, const float* map, const RowCallback& rowCallback,
                   int threadCount, const AbortCallback& abortCallback)
{
    return RenderBandCPU(frame, src, map, rowCallback, threadCount, abortCallback, BandRenderHooks{});
}

bool RenderBandCPU(const QF_Frame& frame, const float* src, const float* map, const RowCallback& rowCallback,
                   int threadCount, const AbortCallback& abortCallback, const BandRenderHooks& hooks)
{
    int32_t first, end;
    if (!BandRows(frame, first, end))
        return true;
    if (!rowCallback)
        throw std::bad_function_call();
    ShadeWorlds worlds;
    worlds.input = WorkBufferWorld(src, frame.in_w, frame.in_h, frame.in_pitch);
    if (frame.has_map && map)
        worlds.map = WorkBufferWorld(map, frame.map_w, frame.map_h, frame.map_pitch);
    return RenderBand(frame, worlds, &rowCallback, threadCount, abortCallback, hooks);
}
