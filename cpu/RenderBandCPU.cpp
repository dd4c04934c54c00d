// Dynamic row-by-row scheduling over one atomic counter; threads live for one call only.
#include "RenderBandCPU.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>
#include <vector>

namespace {

// Shared by every thread of one call; owned by the call.
struct BandJob {
    const QF_Frame& frame;
    const float* src;
    const float* map;
    const ShadeRowFn shadeRow;  // the process's row shader, unless the hooks bring their own
    const BandRenderHooks& hooks;
    const RowCallback& rowCallback;
    const AbortCallback& abortCallback;
    int32_t first;                  // first row of the band, output rows
    int32_t end;                    // first row past the band
    std::atomic<int32_t> nextRow;   // next row to claim
    std::atomic<bool> stop{false};  // set on abort or on a failure
    std::atomic<bool> failed{false};
    std::exception_ptr firstFailure;  // written only by the thread that set `failed`, read after the join

    BandJob(const QF_Frame& f, const float* s, const float* m, const BandRenderHooks& h, const RowCallback& rows,
            const AbortCallback& abort, int32_t firstRow, int32_t endRow)
        : frame(f), src(s), map(m), shadeRow(ProcessShadeRow()), hooks(h), rowCallback(rows), abortCallback(abort),
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
    // One row buffer per thread for the whole call, zero-filled, so no allocation happens per row.
    std::vector<float> pixels(size_t(job.frame.out_w) * 4);
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
            job.hooks.shadeRow(job.frame, job.src, job.map, row, pixels.data());
        else
            job.shadeRow(job.frame, job.src, job.map, row, pixels.data());
        job.rowCallback(row, pixels.data());
        if (pollAbort && ++rowsDone % ABORT_POLL_ROWS == 0 && job.abortCallback()) {
            job.stop.exchange(true);
            break;
        }
        if (job.stop.load())
            break;
    }
}

} // namespace

bool RenderBandCPU(const QF_Frame& frame, const float* src, const float* map, const RowCallback& rowCallback,
                   int threadCount, const AbortCallback& abortCallback)
{
    return RenderBandCPU(frame, src, map, rowCallback, threadCount, abortCallback, BandRenderHooks{});
}

bool RenderBandCPU(const QF_Frame& frame, const float* src, const float* map, const RowCallback& rowCallback,
                   int threadCount, const AbortCallback& abortCallback, const BandRenderHooks& hooks)
{
    const int32_t first = std::max(frame.band_y0, 0);
    // In 64 bits: band_y0 + band_h may pass INT32_MAX.
    const int32_t end = int32_t(std::min<int64_t>(int64_t(frame.band_y0) + frame.band_h, frame.out_h));
    if (frame.out_w <= 0 || end <= first)
        return true;
    if (!rowCallback)
        throw std::bad_function_call();

    int64_t n = threadCount > 0 ? threadCount
                                : int64_t(hooks.processors ? *hooks.processors : std::thread::hardware_concurrency());
    n = std::min<int64_t>(std::max<int64_t>(n, 1), int64_t(end) - first);
    const int toStart = int(std::min<int64_t>(n, MAX_BAND_THREADS)) - 1;

    BandJob job(frame, src, map, hooks, rowCallback, abortCallback, first, end);

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
