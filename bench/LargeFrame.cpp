// Renders one float frame of SIZE x SIZE pixels (default 8192) three ways and reports the resident memory
// of each: through the host simulator and the module, as a host renders it (the host's input layer and
// output world, 16 bytes a pixel each, plus whatever the plug-in needs); then through the core's
// RenderFrameCPU over the same input world into an output world of its own, once reading the worlds in
// place and once forcing the work-copy road the renderer once took (a float copy of the whole input and
// float output rows). Each peak is measured from a fresh start (the kernel's high-water mark is reset to
// the resident size just before the render), so the figures above that start compare directly.
//     build/bench/large_frame [SIZE]
#include "HostSim.h"
#include "WarpRender.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <sys/resource.h>

namespace {

// A field of /proc/self/status in MiB ("VmRSS", "VmHWM").
double StatusMiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024.0;   // kB
        }
    }
    return -1.0;
}

// Starts a new peak: the kernel's high-water mark of resident pages drops to the current resident size.
bool ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

// Runs one render between a reset and a reading of the peak, and prints both.
template <typename RENDER> bool Measure(const char* road, RENDER&& render)
{
    const double before = StatusMiB("VmRSS");
    const bool reset = ResetPeak();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = render();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double peak = StatusMiB("VmHWM");
    std::printf("%s: %s in %.1f s\n", road, ok ? "rendered" : "FAILED", seconds);
    std::printf("    resident before: %.0f MiB; peak during the render%s: %.0f MiB, %.0f MiB above the start\n",
                before, reset ? "" : " (peak not reset: whole process)", peak, peak - before);
    return ok;
}

}   // namespace

int main(int argc, char** argv)
{
    const A_long size = argc > 1 ? std::atoi(argv[1]) : 8192;
    if (size < 1) {
        std::fprintf(stderr, "usage: %s [SIZE]\n", argv[0]);
        return 2;
    }
    HostSim host(QF_MODULE_PATH);
    if (host.Start() != PF_Err_NONE) {
        std::fprintf(stderr, "start-up failed\n");
        return 1;
    }
    int layer = NO_LAYER;
    {
        // A gradient, so the warp has something to move; the float image is freed once the layer holds it.
        FloatImage image(size, size);
        for (A_long y = 0; y < size; ++y) {
            for (A_long x = 0; x < size; ++x) {
                image.Set(x, y, static_cast<float>(x) / size, static_cast<float>(y) / size, 0.5f, 1.0f);
            }
        }
        layer = host.layers().Add(image, PixelDepth::Float);
        host.params().SetInputLayer(layer);
    }
    host.settings().width = size;
    host.settings().height = size;
    const double world_mib = static_cast<double>(size) * size * 16.0 / (1024.0 * 1024.0);
    std::printf("frame %d x %d float; one float world: %.0f MiB\n", size, size, world_mib);

    bool ok = Measure("module, through the host (input layer resident before; output world made by the host)", [&] {
        RenderRequest request;
        request.depth = PixelDepth::Float;
        request.read_back = false;
        return host.render().Frame(request).error == PF_Err_NONE;
    });

    // The core over the same input world, into a new output world each time.
    const PF_EffectWorld input = host.layers().At(layer).World();
    const SanitizedSettings settings = FrameSettings(DefaultParamValues(), size, size);
    const auto core = [&](WorldReading reading) {
        const std::size_t floats = static_cast<std::size_t>(size) * size * 4;
        const std::unique_ptr<float[]> output(new float[floats]);
        FrameWorlds worlds;
        worlds.input = WorldView{input.data, size, size, input.rowbytes, WorldDepth::Float, ChannelOrder::ARGB, 0, 0};
        worlds.output = WorldView{output.get(), size, size, static_cast<std::ptrdiff_t>(size) * 16, WorldDepth::Float,
                                  ChannelOrder::ARGB, 0, 0};
        return RenderFrameCPU(settings, 0.0, 1.0f, 1.0f, worlds, {}, reading) == RenderStatus::Done;
    };
    ok = Measure("core, reading the worlds in place (output world made by the caller)",
                 [&] { return core(WorldReading::InPlace); }) && ok;
    ok = Measure("core, through the work-copy road (output world made by the caller)",
                 [&] { return core(WorldReading::WorkCopy); }) && ok;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident size of the process (ru_maxrss, layer set-up included): %.0f MiB\n",
                usage.ru_maxrss / 1024.0);
    return ok ? 0 : 1;
}
