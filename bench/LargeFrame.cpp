// Renders one float frame of SIZE x SIZE pixels (default 8192) through the host simulator and the module,
// and reports the resident memory: the host's own buffers (input layer and output world, 16 bytes a pixel
// each) before the render, and the peak during it, which adds the plug-in's float work buffer of the
// input and its per-thread rows.
//     build/bench/large_frame [SIZE]
#include "HostSim.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
    {
        // A gradient, so the warp has something to move; the float image is freed once the layer holds it.
        FloatImage image(size, size);
        for (A_long y = 0; y < size; ++y) {
            for (A_long x = 0; x < size; ++x) {
                image.Set(x, y, static_cast<float>(x) / size, static_cast<float>(y) / size, 0.5f, 1.0f);
            }
        }
        host.params().SetInputLayer(host.layers().Add(image, PixelDepth::Float));
    }
    host.settings().width = size;
    host.settings().height = size;
    RenderRequest request;
    request.depth = PixelDepth::Float;
    request.read_back = false;

    const double before = StatusMiB("VmRSS");
    const bool reset = ResetPeak();
    const auto start = std::chrono::steady_clock::now();
    const RenderResult result = host.render().Frame(request);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double peak = StatusMiB("VmHWM");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    const double pixels_mib = static_cast<double>(size) * size * 16.0 / (1024.0 * 1024.0);
    std::printf("frame %d x %d float: result %d in %.1f s\n", size, size, static_cast<int>(result.error), seconds);
    std::printf("one float world: %.0f MiB\n", pixels_mib);
    std::printf("resident before the render (input layer, module): %.0f MiB\n", before);
    std::printf("peak during the render%s: %.0f MiB (%.0f MiB above the resident size before it)\n",
                reset ? "" : " (peak not reset: whole process)", peak, peak - before);
    std::printf("peak resident size of the process (ru_maxrss, layer set-up included): %.0f MiB\n",
                usage.ru_maxrss / 1024.0);
    return result.error == PF_Err_NONE ? 0 : 1;
}
