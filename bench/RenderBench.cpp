// Whole 1920 x 1080 frames through the host simulator and the plug-in module: the smart pre-render and
// the CPU smart render, reading the input and writing the output included, as a host renders them.
// Reports megapixels per second of output (the counter "MP", a rate) and per second of CPU time
// ("MP_per_cpu_s").
//
// The "beside" runs put the module next to the kernel alone: each iteration renders the frame through the
// module and then the same frame record through RenderBandCPU over a float work copy of the same layer,
// rows copied into a float frame (the band renderer's own rate, as qf_bench measures it), and times the
// pre-render alone. Counters: module_MP and band_MP (megapixels per second of each, wall clock),
// module_per_band (their ratio; 1 means nothing outside the kernel costs anything), pre_render_share (the
// pre-render's share of the module's frame). Interleaving frame by frame keeps the ratio fair on a machine
// shared with other work.
//
// Thread count: the module always asks for one thread per logical processor, and nothing outside it can
// change that. The "1 core" runs therefore pin the rendering thread, and with it every worker it starts,
// to one processor: the module still starts its workers, but they share that one core, so the figure is
// what one core delivers. The "all cores" runs leave the affinity alone.
#include "FrameBuilder.h"
#include "HostSim.h"
#include "ParamIndex.h"
#include "PixelConversion.h"
#include "RenderBandCPU.h"
#include "WarpRender.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

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

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The frame record the module makes for the default look over the whole 1920 x 1080 layer at time 0.
QF_Frame DefaultLookFrame()
{
    const PixelRect whole{0, 0, WIDTH, HEIGHT};
    FrameLayout layout;
    layout.input = BufferPlacement{0, 0, WIDTH, HEIGHT, WIDTH};
    layout.layer = whole;
    layout.output = BufferPlacement{0, 0, WIDTH, HEIGHT, WIDTH};
    return MakeFrame(FrameSettings(DefaultParamValues(), WIDTH, HEIGHT), 0.0, 1.0f, 1.0f, layout);
}

void ModuleBesideBand(benchmark::State& state, PixelDepth depth)
{
    Studio& studio = TheStudio();
    HostSim& host = studio.host;
    const int layer = depth == PixelDepth::Float ? studio.layer32 : studio.layer8;
    host.params().SetInputLayer(layer);
    const Look look;
    host.params().Set(PARAM_ANTIALIASING, look.antialiasing);
    host.params().Set(PARAM_WAVEFORM, look.waveform);
    host.params().Set(PARAM_ITERATIONS, look.iterations);

    // The layer as the kernel reads it, and a frame for the band renderer's rows.
    const PF_EffectWorld world = host.layers().At(layer).World();
    std::vector<float> src;
    WorldToWorkBuffer(WorldView{world.data, world.width, world.height, world.rowbytes,
                                depth == PixelDepth::Float ? WorldDepth::Float : WorldDepth::Bits8, ChannelOrder::ARGB,
                                0, 0},
                      src);
    const QF_Frame frame = DefaultLookFrame();
    std::vector<float> out(static_cast<size_t>(WIDTH) * HEIGHT * 4);
    const RowCallback rows = [&out](std::int32_t row, const float* pixels) {
        std::memcpy(&out[static_cast<size_t>(row) * WIDTH * 4], pixels, static_cast<size_t>(WIDTH) * 16);
    };

    RenderRequest request;
    request.depth = depth;
    request.read_back = false;
    RenderRequest pre_render_only = request;
    pre_render_only.render = false;
    double module_s = 0, band_s = 0, pre_render_s = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const RenderResult result = host.render().Frame(request);
        module_s += Seconds(start);
        if (result.error != PF_Err_NONE) {
            state.SkipWithError(("render failed: " + std::to_string(result.error)).c_str());
            break;
        }
        start = std::chrono::steady_clock::now();
        RenderBandCPU(frame, src.data(), nullptr, rows, 0, {});
        band_s += Seconds(start);
        benchmark::DoNotOptimize(out.data());
        start = std::chrono::steady_clock::now();
        host.render().Frame(pre_render_only);
        pre_render_s += Seconds(start);
    }
    const double megapixels = static_cast<double>(WIDTH) * HEIGHT * 1e-6 * static_cast<double>(state.iterations());
    if (module_s > 0 && band_s > 0) {
        state.counters["module_MP"] = megapixels / module_s;
        state.counters["band_MP"] = megapixels / band_s;
        state.counters["module_per_band"] = band_s / module_s;
        state.counters["pre_render_share"] = pre_render_s / module_s;
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
    // The module beside the kernel alone, the default look at 8 and 32 bits, on every core.
    for (const PixelDepth depth : {PixelDepth::Bits8, PixelDepth::Float}) {
        benchmark::RegisterBenchmark(depth == PixelDepth::Float ? "Beside/default/float/allcores" : "Beside/default/8bit/allcores",
                                     ModuleBesideBand, depth)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(4.0)
            ->UseRealTime();
    }
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
