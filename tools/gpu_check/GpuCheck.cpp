// qf_gpu_check: the plug-in's GPU road on this machine's GPU, through the host simulator. Renders a set of
// frames on the GPU and on the CPU and compares them value by value, then times full-HD and 4K frames of
// the default look. Prints a short report; the exit status says whether everything held:
//   0  every frame was drawn by the GPU, bit-identical to the CPU (or within --tolerance), nothing logged
//   1  a frame differed, was not drawn by the GPU, failed, or the plug-in logged a GPU failure
//   2  no GPU device of the kind asked for, or the plug-in declined it
//   3  bad arguments or the plug-in could not be loaded
#include "GpuHost.h"
#include "HostSim.h"
#include "ParamIndex.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string module;
    PF_GPU_Framework framework = PF_GPU_Framework_CUDA;
    std::string stand_in;                 // a stand-in runtime library to load first (self-test)
    std::string log_dir = "gpu-check-log";
    int repeat = 10;                      // timed frames per size
    std::vector<std::pair<A_long, A_long>> sizes{{1920, 1080}, {3840, 2160}};
    A_long check_width = 640, check_height = 360;
    float tolerance = 0.0f;               // largest difference accepted; 0: bit-identical only
};

void Usage()
{
    std::fprintf(stderr,
                 "usage: qf_gpu_check --module PATH [--opencl] [--stand-in LIBRARY] [--log-dir DIR]\n"
                 "                    [--repeat N] [--sizes WxH,WxH...] [--check-size WxH] [--tolerance T]\n");
}

bool ParseSize(const std::string& text, std::pair<A_long, A_long>& size)
{
    int w = 0, h = 0;
    char x = 0;
    if (std::sscanf(text.c_str(), "%d%c%d", &w, &x, &h) != 3 || x != 'x' || w < 1 || h < 1) {
        return false;
    }
    size = {w, h};
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--module" && has_value) {
            o.module = argv[++i];
        } else if (arg == "--opencl") {
            o.framework = PF_GPU_Framework_OPENCL;
        } else if (arg == "--stand-in" && has_value) {
            o.stand_in = argv[++i];
        } else if (arg == "--log-dir" && has_value) {
            o.log_dir = argv[++i];
        } else if (arg == "--repeat" && has_value) {
            o.repeat = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--tolerance" && has_value) {
            o.tolerance = std::strtof(argv[++i], nullptr);
        } else if (arg == "--check-size" && has_value) {
            std::pair<A_long, A_long> size;
            if (!ParseSize(argv[++i], size)) {
                return false;
            }
            o.check_width = size.first;
            o.check_height = size.second;
        } else if (arg == "--sizes" && has_value) {
            o.sizes.clear();
            std::string list = argv[++i];
            for (size_t start = 0; start <= list.size();) {
                const size_t end = std::min(list.find(',', start), list.size());
                std::pair<A_long, A_long> size;
                if (end > start) {
                    if (!ParseSize(list.substr(start, end - start), size)) {
                        return false;
                    }
                    o.sizes.push_back(size);
                }
                start = end + 1;
            }
        } else {
            return false;
        }
    }
    return !o.module.empty();
}

// A picture with fine detail, soft colour ramps, partial alpha and a few hard edges, so every warp and
// every sampling path shows in the pixels.
FloatImage Picture(A_long width, A_long height)
{
    FloatImage image(width, height);
    for (A_long y = 0; y < height; ++y) {
        for (A_long x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(width);
            const float v = static_cast<float>(y) / static_cast<float>(height);
            const bool check = ((x / 24) + (y / 24)) % 2 == 0;
            const float b = 0.5f + 0.5f * std::sin(40.0f * u + 7.0f * v);
            const float g = check ? 0.85f : 0.15f + 0.5f * v;
            const float r = u;
            const float a = 0.4f + 0.6f * (0.5f + 0.5f * std::cos(9.0f * v - 5.0f * u));
            image.Set(x, y, b, g, r, a);
        }
    }
    return image;
}

struct Comparison {
    size_t values = 0;
    size_t identical = 0;   // bit for bit, or both NaN
    double max_difference = 0;
};

Comparison Compare(const FloatImage& gpu, const FloatImage& cpu)
{
    Comparison c;
    if (gpu.width != cpu.width || gpu.height != cpu.height) {
        c.max_difference = INFINITY;
        return c;
    }
    c.values = gpu.pixels.size();
    for (size_t i = 0; i < c.values; ++i) {
        const float a = gpu.pixels[i];
        const float b = cpu.pixels[i];
        if (std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b))) {
            ++c.identical;
            continue;
        }
        const double d = std::isnan(a) || std::isnan(b) ? INFINITY : std::fabs(static_cast<double>(a) - b);
        c.max_difference = std::max(c.max_difference, d);
    }
    return c;
}

Renderer RendererOf(PF_GPU_Framework framework)
{
    return framework == PF_GPU_Framework_OPENCL ? Renderer::OpenCL : Renderer::Cuda;
}

class Check {
public:
    Check(const Options& options, HostSim& host) : o_(options), host_(host)
    {
        for (int i = 1; i < host_.params().Count(); ++i) {
            defaults_.push_back(host_.params().Get(i));
        }
        settings_ = host_.settings();
    }

    // The controls, the time and the downsample as a fresh instance has them.
    void Reset()
    {
        for (int i = 1; i < host_.params().Count(); ++i) {
            host_.params().Set(i, defaults_[static_cast<size_t>(i - 1)]);
        }
        host_.settings() = settings_;
        host_.params().SetMapLayer(NO_LAYER);
    }

    int UseInput(A_long width, A_long height)
    {
        const int layer = host_.layers().Add(Picture(width, height), PixelDepth::Float);
        host_.params().SetInputLayer(layer);
        return layer;
    }

    // One frame on both renderers; prints a line and says whether it held.
    bool Agree(const std::string& name, RenderRequest request = {})
    {
        request.depth = PixelDepth::Float;
        request.renderer = Renderer::Cpu;
        const RenderResult cpu = host_.render().Frame(request);
        request.renderer = RendererOf(o_.framework);
        const RenderResult gpu = host_.render().Frame(request);
        const Comparison c = Compare(gpu.image, cpu.image);
        const double share = c.values ? 100.0 * static_cast<double>(c.identical) / static_cast<double>(c.values) : 0;
        const bool drawn = gpu.drawn_by == RendererOf(o_.framework);
        const bool ok = cpu.error == PF_Err_NONE && gpu.error == PF_Err_NONE && drawn && c.values > 0 &&
                        (c.identical == c.values || c.max_difference <= o_.tolerance);
        const std::string note =
            drawn ? "" : " (drawn by " + std::string(RendererName(gpu.drawn_by)) + ": " + gpu.gpu_note + ")";
        std::printf("  %-34s %5dx%-5d identical %8.4f%%  max diff %-10.3g gpu %8.3f ms  %s%s\n", name.c_str(),
                    gpu.image.width, gpu.image.height, share, c.max_difference, gpu.device_ms, ok ? "ok" : "MISMATCH",
                    note.c_str());
        if (cpu.error != PF_Err_NONE || gpu.error != PF_Err_NONE) {
            std::printf("    errors: CPU %d, GPU %d\n", cpu.error, gpu.error);
        }
        ++frames_;
        identical_ += c.identical;
        values_ += c.values;
        worst_ = std::max(worst_, c.max_difference);
        failures_ += ok ? 0 : 1;
        return ok;
    }

    void Agreement()
    {
        const A_long w = o_.check_width;
        const A_long h = o_.check_height;
        std::printf("Agreement with the CPU renderer (%dx%d float layers):\n", w, h);
        Reset();
        UseInput(w, h);
        Agree("default look");
        for (int preset = 2; preset <= 15; ++preset) {
            Reset();
            UseInput(w, h);
            host_.ChoosePreset(preset);
            Agree("preset " + std::to_string(preset));
        }
        for (int waveform = 1; waveform <= 6; ++waveform) {
            Reset();
            UseInput(w, h);
            host_.params().Set(PARAM_WAVES, 8);
            host_.params().Set(PARAM_ITERATIONS, 2);
            host_.params().Set(PARAM_WAVEFORM, waveform);
            Agree("waveform " + std::to_string(waveform));
        }
        for (int edges = 1; edges <= 4; ++edges) {
            Reset();
            UseInput(w, h);
            host_.params().Set(PARAM_STRENGTH, 4.0);
            host_.params().Set(PARAM_EDGES, edges);
            RenderRequest request;
            request.rect = PF_LRect{-w / 10, -h / 10, w + w / 10, h + h / 10};
            Agree("edges " + std::to_string(edges), request);
        }
        for (int interpolation = 1; interpolation <= 2; ++interpolation) {
            for (int level = 1; level <= 4; ++level) {
                Reset();
                UseInput(w, h);
                host_.params().Set(PARAM_INTERPOLATION, interpolation);
                host_.params().Set(PARAM_ANTIALIASING, level);
                Agree("antialiasing " + std::to_string(level) + (interpolation == 1 ? " bilinear" : " bicubic"));
            }
        }
        Reset();
        UseInput(w, h);
        host_.params().Set(PARAM_COLOR_SPLIT, 40.0);
        host_.params().Set(PARAM_MIX, 70.0);
        host_.params().Set(PARAM_EVOLUTION_SPEED, 0.5);
        host_.settings().current_time = 37;
        Agree("colour split, mix, animation");
        for (int channel = 1; channel <= 5; ++channel) {
            Reset();
            UseInput(w, h);
            host_.params().SetMapLayer(host_.layers().Add(Picture(w / 3 + 1, h / 3 + 1), PixelDepth::Float));
            host_.params().Set(PARAM_MAP_CHANNEL, channel);
            host_.params().Set(PARAM_INVERT_MAP, channel % 2);
            Agree("strength map, channel " + std::to_string(channel));
        }
        Reset();
        host_.settings().downsample_x = PF_RationalScale{1, 2};
        host_.settings().downsample_y = PF_RationalScale{1, 2};
        UseInput(w / 2, h / 2);
        Agree("downsample 1/2");
        Reset();
        UseInput(w + 1, h - 1);
        RenderRequest padded;
        padded.gpu_row_padding = 64;
        Agree("odd width, padded rows", padded);
    }

    void Timing()
    {
        std::printf("Timing, default look (%d frames each after 2 warm-up frames):\n", o_.repeat);
        for (const auto& [w, h] : o_.sizes) {
            Reset();
            UseInput(w, h);
            RenderRequest request;
            request.depth = PixelDepth::Float;
            request.renderer = RendererOf(o_.framework);
            request.read_back = false;
            std::vector<double> device, host;
            bool drawn = true;
            for (int i = 0; i < o_.repeat + 2; ++i) {
                const RenderResult r = host_.render().Frame(request);
                drawn = drawn && r.error == PF_Err_NONE && r.drawn_by == request.renderer;
                if (i >= 2) {
                    device.push_back(r.device_ms);
                    host.push_back(r.render_ms);
                }
            }
            std::sort(device.begin(), device.end());
            std::sort(host.begin(), host.end());
            const double median = device[device.size() / 2];
            std::printf("  %5dx%-5d GPU %8.3f ms median, %8.3f ms best (%7.1f Mpixel/s); host %8.3f ms median%s\n", w,
                        h, median, device.front(), static_cast<double>(w) * h / (median * 1000.0),
                        host[host.size() / 2], drawn ? "" : "  NOT ALL ON THE GPU");
            failures_ += drawn ? 0 : 1;
            Agree("default look, compared", RenderRequest{});
        }
    }

    int failures() const { return failures_; }
    void Summary() const
    {
        std::printf("Frames compared: %d; values bit-identical: %.6f%%; largest difference: %.3g\n", frames_,
                    values_ ? 100.0 * static_cast<double>(identical_) / static_cast<double>(values_) : 0.0, worst_);
    }

private:
    const Options& o_;
    HostSim& host_;
    std::vector<double> defaults_;
    HostSettings settings_;
    int frames_ = 0;
    size_t identical_ = 0;
    size_t values_ = 0;
    double worst_ = 0;
    int failures_ = 0;
};

// The plug-in's log lines about GPU failures written during the run.
std::vector<std::string> GpuFailuresLogged(const std::filesystem::path& folder)
{
    std::vector<std::string> lines;
    std::ifstream in(folder / "Quaverflux.log");
    for (std::string line; std::getline(in, line);) {
        if (line.find("GPU setup failed") != std::string::npos || line.find("GPU render failed") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

int Run(const Options& o)
{
    // The plug-in logs into the temporary folder: a folder of this run, emptied first.
    const std::filesystem::path log_dir = std::filesystem::absolute(o.log_dir);
    std::filesystem::create_directories(log_dir);
    std::filesystem::remove(log_dir / "Quaverflux.log");
    setenv("TMPDIR", log_dir.c_str(), 1);

    const GpuKind kind = o.framework == PF_GPU_Framework_OPENCL ? GpuKind::OpenCL : GpuKind::Cuda;
    if (!o.stand_in.empty()) {
        LoadStandInRuntime(kind, o.stand_in);
        std::printf("Stand-in %s runtime: %s\n", GpuKindName(kind), o.stand_in.c_str());
    }
    HostSim host(o.module);
    if (const PF_Err err = host.Start()) {
        std::fprintf(stderr, "the plug-in did not start: error %d\n", err);
        return 3;
    }
    if (const PF_Err err = host.gpu().SetUp(o.framework)) {
        std::fprintf(stderr, "PF_Cmd_GPU_DEVICE_SETUP returned %d\n", err);
        return 2;
    }
    if (!host.gpu().Device()) {
        std::printf("No %s device: %s\n", GpuKindName(kind), host.gpu().Unavailable().c_str());
        return 2;
    }
    std::printf("%s device: %s\n", GpuKindName(kind), host.gpu().Device()->name().c_str());
    if (!host.gpu().Accepted()) {
        std::printf("The plug-in declined the device.\n");
        for (const std::string& line : GpuFailuresLogged(log_dir)) {
            std::printf("  log: %s\n", line.c_str());
        }
        return 2;
    }

    Check check(o, host);
    check.Agreement();
    check.Timing();
    check.Summary();
    const std::vector<std::string> logged = GpuFailuresLogged(log_dir);
    for (const std::string& line : logged) {
        std::printf("  log: %s\n", line.c_str());
    }
    const bool ok = check.failures() == 0 && logged.empty();
    std::printf("%s\n", ok ? "GPU CHECK PASSED" : "GPU CHECK FAILED");
    return ok ? 0 : 1;
}

}   // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage();
        return 3;
    }
    try {
        return Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qf_gpu_check: %s\n", e.what());
        return 3;
    }
}
