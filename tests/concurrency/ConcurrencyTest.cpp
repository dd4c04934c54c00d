// The host renders on several threads at once: effect instances on many threads render different frames and
// the same frame, on the CPU (smart and legacy roads), on OpenCL and on CUDA, while GPU devices are set up
// and set down; header controls draw while the image cache fills. Every result must equal, bit for bit,
// what one thread gets alone. The ThreadSanitizer build (preset tsan) runs this program.
#include "Drawbot.h"
#include "GpuHost.h"
#include "RenderTestSupport.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

constexpr int THREADS = 6;

// The process as a host runs it: the plug-in is loaded once, before any render thread starts, and stays
// loaded (the threads' own instances then share it; loading it on many threads at once would only test
// the system's loader). The log of failed GPU frames goes to a folder of this process, and the stand-in
// CUDA driver, which runs CUDA frames on the CPU, is in place before the plug-in looks for a driver.
class HostProcess : public ::testing::Environment {
public:
    void SetUp() override
    {
        folder_ = std::filesystem::path(QF_TEST_TMP_DIR) / std::to_string(getpid());
        std::filesystem::create_directories(folder_);
        setenv("TMPDIR", folder_.c_str(), 1);
        LoadStandInRuntime(GpuKind::Cuda, QF_FAKE_CUDA);
        loaded_ = std::make_unique<HostSim>(QF_MODULE_PATH);
    }
    void TearDown() override
    {
        loaded_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

private:
    std::filesystem::path folder_;
    std::unique_ptr<HostSim> loaded_;
};

const ::testing::Environment* const host_process = ::testing::AddGlobalTestEnvironment(new HostProcess);

// One frame a host may ask for.
struct Frame {
    A_long time;
    PixelDepth depth;
    bool legacy;
};

// Every thread starts its own effect instance: a host keeps one per layer it applies the effect to, and
// its callbacks run on the thread of the command.
std::unique_ptr<HostSim> Instance(PixelDepth input_depth)
{
    auto host = std::make_unique<HostSim>(QF_MODULE_PATH);
    EXPECT_EQ(host->Start(), PF_Err_NONE);
    host->params().SetInputLayer(host->layers().Add(Pattern(53, 37), input_depth));
    host->params().SetMapLayer(host->layers().Add(Pattern(13, 9, 0.0f), input_depth));
    host->params().Set(PARAM_ITERATIONS, 2);
    host->params().Set(PARAM_COLOR_SPLIT, 30.0);
    host->params().Set(PARAM_EVOLUTION_SPEED, 0.7);
    host->params().Set(PARAM_ANTIALIASING, 4);
    return host;
}

FloatImage Draw(HostSim& host, const Frame& frame)
{
    host.settings().current_time = frame.time;
    if (frame.legacy) {
        LegacyRequest request;
        request.depth = frame.depth;
        const RenderResult result = host.render().Legacy(request);
        EXPECT_EQ(result.error, PF_Err_NONE);
        return result.image;
    }
    RenderRequest request;
    request.depth = frame.depth;
    const RenderResult result = host.render().Frame(request);
    EXPECT_EQ(result.error, PF_Err_NONE);
    return result.image;
}

// Runs body(thread index) on THREADS threads started together.
template <typename Body>
void OnThreads(Body body)
{
    std::atomic<int> waiting{THREADS};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) {
                std::this_thread::yield();
            }
            body(t);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

TEST(Concurrency, CpuFramesOnManyThreadsEqualSerialFrames)
{
    std::vector<Frame> frames;
    for (A_long time = 0; time < 4; ++time) {
        frames.push_back(Frame{time * 7, PixelDepth::Bits16, false});
        frames.push_back(Frame{time * 7, PixelDepth::Bits8, true});
    }
    frames.push_back(Frame{5, PixelDepth::Bits16, false});   // the same frame on every thread at once
    std::vector<FloatImage> serial;
    {
        const auto host = Instance(PixelDepth::Bits16);
        for (const Frame& frame : frames) {
            serial.push_back(Draw(*host, frame));
        }
    }
    // results[t][i]: thread t's render of frame i; each thread takes the frames in its own order, so
    // different and identical frames overlap.
    std::vector<std::vector<FloatImage>> results(THREADS, std::vector<FloatImage>(frames.size()));
    OnThreads([&](int t) {
        const auto host = Instance(PixelDepth::Bits16);
        for (std::size_t n = 0; n < frames.size(); ++n) {
            const std::size_t i = (n + static_cast<std::size_t>(t) * 3) % frames.size();
            results[t][i] = Draw(*host, frames[i]);
        }
        results[t].back() = Draw(*host, frames.back());
    });
    for (int t = 0; t < THREADS; ++t) {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_TRUE(SameImage(results[t][i], serial[i])) << "thread " << t << ", frame " << i;
        }
    }
}

// The header image cache is shared by every instance; draws with themes it has not seen build entries
// while other threads look them up.
TEST(Concurrency, HeaderDrawsOnManyThreadsEqualSerialDraws)
{
    constexpr int THEMES = 5;
    const auto theme = [](int i) {
        PanelTheme theme = i % 2 ? PanelTheme::Light() : PanelTheme::Dark();
        theme.accent = Rgb{0.1f + 0.13f * static_cast<float>(i), 0.5f, 0.9f};
        return theme;
    };
    const auto draw = [&](HostSim& host, int i, float scale) {
        DrawingHost& ui = host.drawing();
        ui.SetTheme(theme(i));
        ui.settings().screen_scale = scale;
        const EventResult drawn = ui.SendDraw();
        EXPECT_EQ(drawn.err, PF_Err_NONE);
        EXPECT_EQ(drawn.event.evt_out_flags, PF_EO_HANDLED_EVENT);
        return ui.surface().Picture().pixels;
    };
    std::vector<std::vector<std::vector<unsigned char>>> results(THREADS,
                                                                 std::vector<std::vector<unsigned char>>(2 * THEMES));
    OnThreads([&](int t) {
        HostSim host(QF_MODULE_PATH);
        ASSERT_EQ(host.Start(), PF_Err_NONE);
        for (int n = 0; n < 2 * THEMES; ++n) {
            const int i = (n + t) % (2 * THEMES);
            results[t][i] = draw(host, i / 2, i % 2 ? 2.0f : 1.0f);
        }
    });
    HostSim host(QF_MODULE_PATH);
    ASSERT_EQ(host.Start(), PF_Err_NONE);
    for (int i = 0; i < 2 * THEMES; ++i) {
        const std::vector<unsigned char> serial = draw(host, i / 2, i % 2 ? 2.0f : 1.0f);
        for (int t = 0; t < THREADS; ++t) {
            EXPECT_EQ(results[t][i], serial) << "thread " << t << ", theme " << i / 2 << ", scale " << 1 + i % 2;
        }
    }
}

// ---- GPU devices ----


// Why the machine has no device of this kind; empty when it has one.
std::string NoDevice(GpuKind kind)
{
    std::string why;
    return GpuDeviceHost::Open(kind, why) ? std::string() : "no " + std::string(GpuKindName(kind)) + " device: " + why;
}

// Each thread sets up a device, renders frames on it and sets it down, twice over, while the others do
// the same; the frames equal the CPU's.
void GpuDevicesRace(Renderer renderer)
{
    const std::vector<A_long> times{0, 11, 23};
    std::vector<FloatImage> cpu;
    {
        const auto host = Instance(PixelDepth::Float);
        for (const A_long time : times) {
            cpu.push_back(Draw(*host, Frame{time, PixelDepth::Float, false}));
        }
    }
    std::vector<std::vector<RenderResult>> results(THREADS);
    OnThreads([&](int t) {
        const auto host = Instance(PixelDepth::Float);
        for (int round = 0; round < 2; ++round) {
            const PF_GPU_Framework framework =
                renderer == Renderer::OpenCL ? PF_GPU_Framework_OPENCL : PF_GPU_Framework_CUDA;
            EXPECT_EQ(host->gpu().SetUp(framework), PF_Err_NONE);
            for (std::size_t n = 0; n < times.size(); ++n) {
                host->settings().current_time = times[(n + static_cast<std::size_t>(t)) % times.size()];
                RenderRequest request;
                request.renderer = renderer;
                request.depth = PixelDepth::Float;
                results[t].push_back(host->render().Frame(request));
            }
            EXPECT_EQ(host->gpu().SetDown(), PF_Err_NONE);
        }
    });
    for (int t = 0; t < THREADS; ++t) {
        ASSERT_EQ(results[t].size(), 2 * times.size());
        for (std::size_t n = 0; n < results[t].size(); ++n) {
            const RenderResult& result = results[t][n];
            const std::size_t i = (n % times.size() + static_cast<std::size_t>(t)) % times.size();
            EXPECT_EQ(result.error, PF_Err_NONE);
            EXPECT_EQ(result.drawn_by, renderer) << result.gpu_note;
            EXPECT_TRUE(SameImage(result.image, cpu[i])) << "thread " << t << ", frame " << n;
        }
    }
}

TEST(Concurrency, OpenCLDevicesSetUpRenderAndSetDownOnManyThreads)
{
    if (const std::string why = NoDevice(GpuKind::OpenCL); !why.empty()) {
        GTEST_SKIP() << why;
    }
    GpuDevicesRace(Renderer::OpenCL);
}

TEST(Concurrency, CudaDevicesSetUpRenderAndSetDownOnManyThreads)
{
    if (const std::string why = NoDevice(GpuKind::Cuda); !why.empty()) {
        GTEST_SKIP() << why;
    }
    GpuDevicesRace(Renderer::Cuda);
}

}   // namespace
