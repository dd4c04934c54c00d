// The band renderer: which rows reach the callback, on how many threads, how it stops, and that the
// thread count never changes a bit of the output.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "KernelTestUtil.h"
#include "RenderBandCPU.h"

using namespace qftest;

namespace {

// A simulated machine: its processor count, thread starts that can be made to fail, and a count of
// started and finished threads (all started threads must have finished once RenderBandCPU returns).
struct Machine {
    std::atomic<int> attempts{0}, started{0}, finished{0};
    int startsBeforeFailure = -1;  // negative: starting never fails

    BandRenderHooks Hooks(unsigned processors)
    {
        BandRenderHooks h;
        h.processors = processors;
        h.startThread = [this](std::function<void()> work) {
            attempts++;
            if (startsBeforeFailure >= 0 && started >= startsBeforeFailure)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                        "thread constructor failed");
            started++;
            return std::thread([this, work = std::move(work)] {
                work();
                finished++;
            });
        };
        return h;
    }
};

// Counts deliveries per row and notes which rows the calling thread delivered, in order.
struct RowLog {
    std::vector<std::atomic<int>> count;
    std::thread::id caller = std::this_thread::get_id();
    std::vector<int32_t> callerRows;  // touched only by the calling thread
    explicit RowLog(int rows) : count(size_t(rows)) {}

    RowCallback Callback()
    {
        return [this](int32_t row, const float*) {
            ASSERT_GE(row, 0);
            ASSERT_LT(size_t(row), count.size());
            count[size_t(row)]++;
            if (std::this_thread::get_id() == caller)
                callerRows.push_back(row);
        };
    }
    int Total() const
    {
        int n = 0;
        for (const auto& c : count)
            n += c.load();
        return n;
    }
};

// A one-shot signal with a bounded wait, so a broken renderer fails the test instead of hanging it.
class Gate {
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

// Rows with no waves: each pixel is one load, so large thread counts stay cheap.
struct CheapBand {
    QF_Frame frame;
    Image src;
    CheapBand(int w, int h) : frame(PlainFrame(w, h)), src(TestCard(w, h)) {}
};

} // namespace

TEST(BandRenderer, EveryRowOnceOnAnyNumberOfProcessors)
{
    const int rows = 150;
    CheapBand band(3, rows);
    for (unsigned processors : {0u, 1u, 2u, 3u, 7u, 64u, 200u}) {
        Machine machine;
        RowLog log(rows);
        EXPECT_TRUE(RenderBandCPU(band.frame, band.src.px.data(), nullptr, log.Callback(), 0, {},
                                  machine.Hooks(processors)));
        for (int r = 0; r < rows; r++)
            ASSERT_EQ(log.count[size_t(r)], 1) << "row " << r << ", " << processors << " processors";
        int expectedStarts = processors < 2 ? 0 : int(std::min(processors, 64u)) - 1;
        EXPECT_EQ(machine.started, expectedStarts) << processors << " processors";
        EXPECT_EQ(machine.finished, machine.started);
    }
}

TEST(BandRenderer, ThreadCountCappedByRowsAnd64)
{
    struct Case {
        unsigned processors;
        int threadCount, rows, starts;
    } cases[] = {
        {16, 0, 3, 2},     // never more threads than rows
        {200, 0, 100, 63}, // 63 started plus the caller
        {1, 5, 10, 4},     // a positive thread count overrides the processor count
        {1, 500, 100, 63},
        {8, 1, 10, 0},
    };
    for (const Case& c : cases) {
        CheapBand band(2, c.rows);
        Machine machine;
        RowLog log(c.rows);
        EXPECT_TRUE(RenderBandCPU(band.frame, band.src.px.data(), nullptr, log.Callback(), c.threadCount, {},
                                  machine.Hooks(c.processors)));
        EXPECT_EQ(log.Total(), c.rows);
        EXPECT_EQ(machine.started, c.starts) << c.processors << " processors, " << c.rows << " rows";
    }
}

TEST(BandRenderer, EmptyOrOutsideBandsCallNothing)
{
    auto with = [](int outW, int outH, int bandY0, int bandH) {
        QF_Frame f = PlainFrame(4, 4);
        f.out_w = outW;
        f.out_h = outH;
        f.band_y0 = bandY0;
        f.band_h = bandH;
        return f;
    };
    const QF_Frame frames[] = {
        with(0, 4, 0, 4),   with(-1, 4, 0, 4),  with(4, 4, 0, 0),   with(4, 4, 0, -3),
        with(4, 4, 4, 2),   with(4, 4, 9, 2),   with(4, 4, -5, 3),  with(4, 0, 0, 4),
        with(4, 4, std::numeric_limits<int32_t>::max(), 1),
    };
    Image src = TestCard(4, 4);
    for (const QF_Frame& f : frames) {
        Machine machine;
        int calls = 0;
        bool result = RenderBandCPU(
            f, src.px.data(), nullptr, [&](int32_t, const float*) { calls++; }, 0,
            [&] {
                calls++;
                return true;
            },
            machine.Hooks(8));
        EXPECT_TRUE(result) << "out " << f.out_w << "x" << f.out_h << ", band " << f.band_y0 << "+" << f.band_h;
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(machine.attempts, 0);
        // Nothing to render is not a misuse, even without a row callback.
        EXPECT_TRUE(RenderBandCPU(f, src.px.data(), nullptr, RowCallback{}, 0, AbortCallback{}));
    }
}

TEST(BandRenderer, BandIsClippedToTheOutput)
{
    struct Case {
        int bandY0, bandH, first, end;
    } cases[] = {
        {-3, 10, 0, 6},
        {2, 100, 2, 6},
        {1, std::numeric_limits<int32_t>::max(), 1, 6},  // band_y0 + band_h passes INT32_MAX
        {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 0, 0},
    };
    for (const Case& c : cases) {
        CheapBand band(2, 6);
        band.frame.band_y0 = c.bandY0;
        band.frame.band_h = c.bandH;
        RowLog log(6);
        EXPECT_TRUE(RenderBandCPU(band.frame, band.src.px.data(), nullptr, log.Callback(), 3, {}));
        for (int r = 0; r < 6; r++)
            EXPECT_EQ(log.count[size_t(r)], r >= c.first && r < c.end ? 1 : 0)
                << "row " << r << ", band " << c.bandY0 << "+" << c.bandH;
    }
}

TEST(BandRenderer, OneThreadRendersInAscendingOrderAndPollsEveryFourthRow)
{
    CheapBand band(2, 10);
    Machine machine;
    RowLog log(10);
    int polls = 0;
    std::vector<size_t> rowsAtPoll;
    EXPECT_TRUE(RenderBandCPU(
        band.frame, band.src.px.data(), nullptr, log.Callback(), 0,
        [&] {
            polls++;
            rowsAtPoll.push_back(log.callerRows.size());
            return false;
        },
        machine.Hooks(1)));
    EXPECT_EQ(machine.attempts, 0);
    EXPECT_EQ(log.callerRows, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(rowsAtPoll, (std::vector<size_t>{4, 8}));
}

TEST(BandRenderer, AbortStopsAfterTheCallersFourthRow)
{
    CheapBand band(2, 100);
    Machine machine;
    RowLog log(100);
    int polls = 0;
    bool result = RenderBandCPU(
        band.frame, band.src.px.data(), nullptr, log.Callback(), 0,
        [&] {
            polls++;
            return true;
        },
        machine.Hooks(1));
    EXPECT_FALSE(result);
    EXPECT_EQ(polls, 1);
    EXPECT_EQ(log.callerRows, (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(log.Total(), 4);
}

TEST(BandRenderer, AbortLetsRowsInFlightFinish)
{
    // The worker holds its first row until the abort has been asked for; the caller waits for the worker
    // to have claimed that row, so the abort lands while it is in flight.
    CheapBand band(2, 100);
    Machine machine;
    RowLog log(100);
    Gate workerClaimed, abortAsked;
    std::atomic<int32_t> workerRow{-1};
    std::atomic<bool> timedOut{false};
    BandRenderHooks hooks = machine.Hooks(2);
    hooks.shadeRow = [&](const QF_Frame& f, const ShadeWorlds& worlds, int32_t row) {
        if (std::this_thread::get_id() == log.caller) {
            if (!workerClaimed.Wait())
                timedOut = true;
        } else if (workerRow.load() < 0) {
            workerRow = row;
            workerClaimed.Open();
            if (!abortAsked.Wait())
                timedOut = true;
        }
        ShadeRowScalar(f, worlds, row);
    };
    bool result = RenderBandCPU(
        band.frame, band.src.px.data(), nullptr, log.Callback(), 0,
        [&] {
            abortAsked.Open();
            return true;
        },
        hooks);
    ASSERT_FALSE(timedOut);
    EXPECT_FALSE(result);
    EXPECT_EQ(log.callerRows.size(), 4u);
    ASSERT_GE(workerRow.load(), 0);
    EXPECT_EQ(log.count[size_t(workerRow.load())], 1) << "the row in flight was dropped";
    // The worker may claim more rows between the abort answer and the stop flag; none twice.
    for (int r = 0; r < 100; r++)
        EXPECT_LE(log.count[size_t(r)], 1) << "row " << r;
    EXPECT_EQ(machine.finished, 1);
}

TEST(BandRenderer, EmptyAbortCallbackRendersEverything)
{
    CheapBand band(2, 40);
    RowLog log(40);
    Machine machine;
    EXPECT_TRUE(RenderBandCPU(band.frame, band.src.px.data(), nullptr, log.Callback(), 0, AbortCallback{},
                              machine.Hooks(1)));
    EXPECT_EQ(log.Total(), 40);
}

TEST(BandRenderer, FailingThreadStartsStillComplete)
{
    for (int startsBeforeFailure : {0, 1, 2}) {
        CheapBand band(2, 60);
        Machine machine;
        machine.startsBeforeFailure = startsBeforeFailure;
        RowLog log(60);
        EXPECT_TRUE(RenderBandCPU(band.frame, band.src.px.data(), nullptr, log.Callback(), 0, {}, machine.Hooks(8)));
        for (int r = 0; r < 60; r++)
            ASSERT_EQ(log.count[size_t(r)], 1) << "row " << r;
        EXPECT_EQ(machine.started, startsBeforeFailure);
        EXPECT_EQ(machine.attempts, startsBeforeFailure + 1) << "kept starting threads after a failure";
        EXPECT_EQ(machine.finished, machine.started);
    }
}

TEST(BandRenderer, WorkerExceptionReachesTheCallerAfterTheJoin)
{
    // A throwing row callback, and a row that cannot be shaded for lack of memory, both on a worker.
    // The caller holds its first row until the worker has thrown, so the worker surely gets a row.
    for (bool inCallback : {true, false}) {
        CheapBand band(2, 200);
        Machine machine;
        Gate workerThrew;
        std::atomic<bool> timedOut{false};
        const std::thread::id caller = std::this_thread::get_id();
        BandRenderHooks hooks = machine.Hooks(4);
        hooks.shadeRow = [&](const QF_Frame& f, const ShadeWorlds& worlds, int32_t row) {
            if (std::this_thread::get_id() == caller) {
                if (!workerThrew.Wait())
                    timedOut = true;
            } else if (!inCallback) {
                workerThrew.Open();
                throw std::bad_alloc();
            }
            ShadeRowScalar(f, worlds, row);
        };
        auto rows = [&](int32_t, const float*) {
            if (inCallback && std::this_thread::get_id() != caller) {
                workerThrew.Open();
                throw std::runtime_error("row store failed");
            }
        };
        if (inCallback) {
            try {
                RenderBandCPU(band.frame, band.src.px.data(), nullptr, rows, 0, {}, hooks);
                ADD_FAILURE() << "the worker's exception was lost";
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "row store failed");
            }
        } else {
            EXPECT_THROW(RenderBandCPU(band.frame, band.src.px.data(), nullptr, rows, 0, {}, hooks), std::bad_alloc);
        }
        EXPECT_FALSE(timedOut);
        EXPECT_EQ(machine.started, 3);
        EXPECT_EQ(machine.finished, machine.started) << "returned before joining every worker";
    }
}

TEST(BandRenderer, CallerExceptionPassesOnAfterTheJoin)
{
    // From the row callback and from the abort callback, both on the caller. Workers hold their rows
    // until the caller has failed, so the caller surely gets rows of its own.
    for (bool inAbort : {false, true}) {
        CheapBand band(2, 200);
        Machine machine;
        Gate callerFailed;
        const std::thread::id caller = std::this_thread::get_id();
        BandRenderHooks hooks = machine.Hooks(4);
        hooks.shadeRow = [&](const QF_Frame& f, const ShadeWorlds& worlds, int32_t row) {
            if (std::this_thread::get_id() != caller)
                callerFailed.Wait();
            ShadeRowScalar(f, worlds, row);
        };
        auto rows = [&](int32_t, const float*) {
            if (!inAbort && std::this_thread::get_id() == caller) {
                callerFailed.Open();
                throw std::runtime_error("caller row failed");
            }
        };
        auto abort = [&]() -> bool {
            callerFailed.Open();
            throw std::runtime_error("abort failed");
        };
        try {
            RenderBandCPU(band.frame, band.src.px.data(), nullptr, rows, 0, abort, hooks);
            ADD_FAILURE() << "the caller's exception was lost";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), inAbort ? "abort failed" : "caller row failed");
        }
        EXPECT_EQ(machine.started, 3);
        EXPECT_EQ(machine.finished, machine.started) << "returned before joining every worker";
    }
}

TEST(BandRenderer, EmptyRowCallbackIsAMisuse)
{
    CheapBand band(2, 8);
    Machine machine;
    EXPECT_THROW(RenderBandCPU(band.frame, band.src.px.data(), nullptr, RowCallback{}, 0, {}, machine.Hooks(4)),
                 std::bad_function_call);
    EXPECT_EQ(machine.finished, machine.started);
}

TEST(BandRenderer, ThreadCountNeverChangesABit)
{
    // A warped frame with anti-aliasing, split and a partial band, through every path and thread count,
    // against the plain reference loop. Rows outside the band keep the canvas value.
    QF_Frame f = PlainFrame(29, 23);
    AddWave(f, 0.21f, 0.05f, 0.3f, 1.1f, 3.0f, 0.7f, -0.9f, 4.0f);
    AddWave(f, -0.08f, 0.17f, 2.0f, -0.4f, -1.2f, 2.5f, 2.2f, 0.9f);
    f.iterations = 2;
    f.split = 0.3f;
    f.mix = 0.8f;
    f.out_pitch = 31;  // pitch wider than the row: the renderer must hand out exactly out_w pixels
    f.band_y0 = 2;
    f.band_h = 19;
    const Image src = TestCard(29, 23);
    const Image canvas(31, 23, -7, -7, -7, -7);
    Image into = canvas;
    const Image expected = ReferenceRender(f, src, nullptr, &into);

    for (ShadePath path : {ShadePath::Automatic, ShadePath::Scalar}) {
        for (int processors : {0, 1, 2, 7, 200}) {
            Image out = canvas;
            auto rows = [&](int32_t row, const float* px) {
                std::memcpy(out.at(0, row), px, size_t(f.out_w) * 4 * sizeof(float));
            };
            Machine machine;
            BandRenderHooks hooks = processors == 0 ? BandRenderHooks{} : machine.Hooks(unsigned(processors));
            hooks.shadeRow = ShadeRowFor(path);
            // 0 and the automatic path: the real machine, through the overload the host uses.
            bool result = processors == 0 && path == ShadePath::Automatic
                              ? RenderBandCPU(f, src.px.data(), nullptr, rows, 0, {})
                              : RenderBandCPU(f, src.px.data(), nullptr, rows, 0, {}, hooks);
            EXPECT_TRUE(result);
            long diff = FirstBitDifference(out.px, expected.px);
            if (diff >= 0) {
                long pixel = diff / 4;
                ADD_FAILURE() << "path " << int(path) << ", " << processors << " processors: pixel ("
                              << pixel % out.w << ", " << pixel / out.w << ") channel " << diff % 4 << " expected "
                              << expected.px[size_t(diff)] << " got " << out.px[size_t(diff)];
            }
        }
    }
}
