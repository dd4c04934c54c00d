// Whole 1920 x 1080 frames through the host simulator and the plug-in module: the smart pre-render and
// the CPU smart render, input conversion and output writing included, as a host renders them. Reports
// megapixels per second of output (the counter "MP", a rate) and per second of CPU time ("MP_per_cpu_s").
//
// Thread count: the module always asks for one thread per logical processor, and nothing outside it can
// change that. The "1 core" runs therefore pin the rendering thread, and with it every worker it starts,
// to one processor: the module still starts its workers, but they share that one core, so the figure is
// what one core delivers. The "all cores" runs leave the affinity alone.
#include "HostSim.h"
#include "ParamIndex.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>

#ifdef __linux__
#include <sched.h>
#endif

namespace {

constexpr A_long WIDTH = 1920;
constexpr A_long HEIGHT = 1080;

// Platform seam: keeps the calling thread, and the threads it starts, on one processor for a scope.
class OneCore {
public:
    OneCore()
    {
#ifdef __linux__
        if (sched_getaffinity(0, sizeof(saved_), &saved_) != 0) {
            return;
        }
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &saved_)) {
                cpu_set_t one;
                CPU_ZERO(&one);
                CPU_SET(cpu, &one);
                pinned_ = sched_setaffinity(0, sizeof(one), &one) == 0;
                return;
            }
        }
#endif
    }
    ~OneCore()
    {
#ifdef __linux__
        if (pinned_) {
            sched_setaffinity(0, sizeof(saved_), &saved_);
        }
#endif
    }
    OneCore(const OneCore&) = delete;
    OneCore& operator=(const OneCore&) = delete;

    bool pinned() const { return pinned_; }

private:
    bool pinned_ = false;
#ifdef __linux__
    cpu_set_t saved_{};
#endif
};

// A smooth, partly transparent picture: every warp reads real colour.
FloatImage Picture()
{
    FloatImage image(WIDTH, HEIGHT);
    for (A_long y = 0; y < HEIGHT; ++y) {
        for (A_long x = 0; x < WIDTH; ++x) {
            image.Set(x, y, 0.5f + 0.4f * std::sin(0.013f * x), 0.5f + 0.4f * std::cos(0.017f * y),
                      static_cast<float>(x) / WIDTH, 0.75f + 0.25f * std::sin(0.005f * (x + y)));
        }
    }
    return image;
}

// One started effect instance for the whole program, with the picture as an 8-bit and a float layer.
struct Studio {
    HostSim host{QF_MODULE_PATH};
    int layer8 = NO_LAYER;
    int layer32 = NO_LAYER;

    Studio()
    {
        if (host.Start() != PF_Err_NONE) {
            throw std::runtime_error("the module did not start");
        }
        const FloatImage picture = Picture();
        layer8 = host.layers().Add(picture, PixelDepth::Bits8);
        layer32 = host.layers().Add(picture, PixelDepth::Float);
    }
};

Studio& TheStudio()
{
    static Studio studio;
    return studio;
}

struct Look {
    int antialiasing = 3;   // popup values; 3 "High" and the rest are the defaults
    int waveform = 1;
    int iterations = 1;
};

void RenderFrames(benchmark::State& state, Look look, PixelDepth depth, bool one_core)
{
    Studio& studio = TheStudio();
    HostSim& host = studio.host;
    host.params().SetInputLayer(depth == PixelDepth::Float ? studio.layer32 : studio.layer8);
    host.params().Set(PARAM_ANTIALIASING, look.antialiasing);
    host.params().Set(PARAM_WAVEFORM, look.waveform);
    host.params().Set(PARAM_ITERATIONS, look.iterations);

    RenderRequest request;
    request.depth = depth;
    request.read_back = false;
    std::unique_ptr<OneCore> pin;
    if (one_core) {
        pin = std::make_unique<OneCore>();
        if (!pin->pinned()) {
            state.SkipWithError("cannot pin the render to one processor here");
            return;
        }
    }
    const std::clock_t cpu_start = std::clock();   // process CPU time, every thread
    for (auto _ : state) {
        const RenderResult result = host.render().Frame(request);
        if (result.error != PF_Err_NONE) {
            state.SkipWithError(("render failed: " + std::to_string(result.error)).c_str());
            break;
        }
    }
    const double megapixels = static_cast<double>(WIDTH) * HEIGHT * 1e-6 * static_cast<double>(state.iterations());
    state.counters["MP"] = benchmark::Counter(megapixels, benchmark::Counter::kIsRate);
    // Megapixels per second of CPU time over all threads: what one busy core delivers, even on a machine
    // shared with other work.
    const double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    if (cpu_seconds > 0) {
        state.counters["MP_per_cpu_s"] = megapixels / cpu_seconds;
    }
}

void Register(const std::string& name, Look look, PixelDepth depth, bool one_core)
{
    benchmark::RegisterBenchmark(name.c_str(), RenderFrames, look, depth, one_core)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()   // the CPU column counts the module's worker threads too
        ->UseRealTime();            // the rate is per second of wall-clock time
}

}   // namespace

int main(int argc, char** argv)
{
    // The default look, both world depths, on one core and on all of them.
    for (const bool one_core : {true, false}) {
        const std::string cores = one_core ? "/1core" : "/allcores";
        Register("Render/default/8bit" + cores, Look{}, PixelDepth::Bits8, one_core);
        Register("Render/default/float" + cores, Look{}, PixelDepth::Float, one_core);
    }
    const char* const aa_names[] = {"off", "low", "high", "best"};
    for (int level = 1; level <= 4; ++level) {
        Register(std::string("Render/antialiasing:") + aa_names[level - 1] + "/8bit/allcores", Look{level, 1, 1},
                 PixelDepth::Bits8, false);
    }
    const char* const waveforms[] = {"sine", "liquid", "drip", "triangle", "square", "sawtooth"};
    for (int waveform = 1; waveform <= 6; ++waveform) {
        Register(std::string("Render/waveform:") + waveforms[waveform - 1] + "/8bit/allcores", Look{3, waveform, 1},
                 PixelDepth::Bits8, false);
    }
    for (int iterations = 1; iterations <= 4; ++iterations) {
        Register("Render/iterations:" + std::to_string(iterations) + "/8bit/allcores", Look{3, 1, iterations},
                 PixelDepth::Bits8, false);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
