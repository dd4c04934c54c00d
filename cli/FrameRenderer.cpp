// The command line's host: one effect instance set up and rendered as a host does it.
#include "FrameRenderer.h"

#include "CliError.h"
#include "GpuHost.h"
#include "Platform.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#ifndef QF_DEFAULT_MODULE_PATH
#define QF_DEFAULT_MODULE_PATH ""
#endif

namespace {

constexpr const char* MODULE_FILE = "Quaverflux.so";

std::string ErrorName(PF_Err err)
{
    switch (err) {
    case PF_Err_OUT_OF_MEMORY:
        return "out of memory";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
        return "internal structure damaged";
    case PF_Err_INVALID_CALLBACK:
        return "invalid callback";
    case PF_Interrupt_CANCEL:
        return "cancelled";
    default:
        return "error " + std::to_string(err);
    }
}

// The output layer: the output world placed at its layer position on a transparent layer of `width` x
// `height` (the plug-in's result rectangle normally covers it whole).
FloatImage OutputLayer(const RenderResult& result, A_long width, A_long height)
{
    if (result.image.width == width && result.image.height == height && result.origin_x == 0 && result.origin_y == 0) {
        return result.image;
    }
    FloatImage layer(width, height);
    for (A_long y = 0; y < result.image.height; ++y) {
        const A_long ly = y + result.origin_y;
        for (A_long x = 0; x < result.image.width; ++x) {
            const A_long lx = x + result.origin_x;
            if (lx >= 0 && lx < width && ly >= 0 && ly < height) {
                std::copy_n(result.image.At(x, y), 4, layer.At(lx, ly));
            }
        }
    }
    return layer;
}

// `cancelled`: the plug-in stopped the frame in flight (PF_Interrupt_CANCEL); else none was begun.
[[noreturn]] void ThrowInterrupted(const std::string& what, bool cancelled)
{
    throw Interrupted(InterruptSignal(), cancelled ? "interrupted: the effect cancelled " + what
                                                   : "interrupted before " + what);
}

}   // namespace

std::string FindModule(const std::string& explicit_path)
{
    std::error_code error;
    if (!explicit_path.empty()) {
        if (!std::filesystem::is_regular_file(explicit_path, error)) {
            throw CliError("no plug-in module at " + explicit_path);
        }
        return explicit_path;
    }
    std::vector<std::string> places;
    if (const std::string folder = ExecutableFolder(); !folder.empty()) {
        places.push_back((std::filesystem::path(folder) / MODULE_FILE).string());
        places.push_back((std::filesystem::path(folder) / ".." / "host" / MODULE_FILE).string());
    }
    places.emplace_back(QF_DEFAULT_MODULE_PATH);
    for (const std::string& place : places) {
        if (!place.empty() && std::filesystem::is_regular_file(place, error)) {
            return place;
        }
    }
    throw CliError(std::string("cannot find the plug-in module ") + MODULE_FILE +
                   ": build it (cmake --build --preset default --target Quaverflux) or name it with --module");
}

FloatImage DownsampleLayer(const FloatImage& image, int factor, PixelDepth depth)
{
    if (factor <= 1) {
        return image;
    }
    const A_long width = (image.width + factor - 1) / factor;
    const A_long height = (image.height + factor - 1) / factor;
    FloatImage small(width, height);
    for (A_long y = 0; y < height; ++y) {
        for (A_long x = 0; x < width; ++x) {
            double sum[4] = {0, 0, 0, 0};
            int count = 0;
            for (A_long sy = y * factor; sy < std::min<A_long>((y + 1) * factor, image.height); ++sy) {
                for (A_long sx = x * factor; sx < std::min<A_long>((x + 1) * factor, image.width); ++sx) {
                    const float* p = image.At(sx, sy);
                    for (int c = 0; c < 3; ++c) {
                        sum[c] += static_cast<double>(p[c]) * p[3];
                    }
                    sum[3] += p[3];
                    ++count;
                }
            }
            const double alpha = sum[3] / count;
            float out[4];
            for (int c = 0; c < 3; ++c) {
                out[c] = static_cast<float>(sum[3] > 0.0 ? sum[c] / sum[3] : 0.0);
            }
            out[3] = static_cast<float>(alpha);
            small.Set(x, y, out[0], out[1], out[2], out[3]);
        }
    }
    if (depth != PixelDepth::Float) {
        PixelBuffer levels(width, height, depth);   // back onto the depth's levels
        levels.Store(small);
        return levels.Load();
    }
    return small;
}

std::unique_ptr<HostSim> StartPlugin(const std::string& module_path)
{
    std::unique_ptr<HostSim> host;
    try {
        host = std::make_unique<HostSim>(module_path);
    } catch (const std::exception& e) {
        throw CliError(std::string("cannot load the plug-in: ") + e.what());
    }
    if (const PF_Err err = host->Start()) {
        throw CliError("the plug-in failed to start: " + ErrorName(err));
    }
    return host;
}

FrameRenderer::FrameRenderer(const RenderSetup& setup) : setup_(setup), host_(StartPlugin(setup.module_path))
{
    host_->faults().AbortWhen([] { return InterruptSignal() != 0; });
    host_->settings().downsample_x = PF_RationalScale{1, static_cast<A_u_long>(setup.downsample)};
    host_->settings().downsample_y = PF_RationalScale{1, static_cast<A_u_long>(setup.downsample)};

    if (setup.renderer == Renderer::OpenCL || setup.renderer == Renderer::Cuda) {
        const bool opencl = setup.renderer == Renderer::OpenCL;
        const char* name = opencl ? "OpenCL" : "CUDA";
        const PF_Err err = host_->gpu().SetUp(opencl ? PF_GPU_Framework_OPENCL : PF_GPU_Framework_CUDA);
        if (err != PF_Err_NONE) {
            throw CliError(std::string("--renderer ") + RendererName(setup.renderer) + ": the plug-in's " + name +
                           " set-up failed: " + ErrorName(err));
        }
        if (!host_->gpu().Device()) {
            throw CliError(std::string("--renderer ") + RendererName(setup.renderer) + ": no " + name + " device (" +
                           host_->gpu().Unavailable() + "); use --renderer cpu or auto");
        }
        if (!host_->gpu().Accepted()) {
            throw CliError(std::string("--renderer ") + RendererName(setup.renderer) + ": the effect declined the " +
                           name + " device " + Quoted(host_->gpu().Device()->name()) +
                           " (its reason is in Quaverflux.log in the temporary folder); use --renderer cpu or auto");
        }
    }
}

void FrameRenderer::SetInput(const FloatImage& image, const std::string& name)
{
    if (input_layer_ != NO_LAYER) {
        if (image.width != full_width_ || image.height != full_height_) {
            throw CliError(name + " is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                           ", the sequence's first frame " + std::to_string(full_width_) + " x " +
                           std::to_string(full_height_));
        }
        host_->layers().SetPixels(input_layer_, DownsampleLayer(image, setup_.downsample, setup_.depth));
        return;
    }
    full_width_ = image.width;
    full_height_ = image.height;
    input_layer_ = host_->layers().Add(DownsampleLayer(image, setup_.downsample, setup_.depth), setup_.depth);
    host_->params().SetInputLayer(input_layer_);
    UseLayerSize();
}

void FrameRenderer::SetMap(const FloatImage& image)
{
    const FloatImage layer = DownsampleLayer(image, setup_.downsample, setup_.depth);
    if (map_layer_ != NO_LAYER && host_->layers().At(map_layer_).width() == layer.width &&
        host_->layers().At(map_layer_).height() == layer.height) {
        host_->layers().SetPixels(map_layer_, layer);   // a map sequence: the same layer, new pixels
        return;
    }
    map_layer_ = host_->layers().Add(layer, setup_.depth);
    host_->params().SetMapLayer(map_layer_);
}

void FrameRenderer::UseLayerSize()
{
    // in_data's width and height: the layer at full resolution, as commands outside a render see it.
    host_->settings().width = full_width_;
    host_->settings().height = full_height_;
}

void FrameRenderer::ApplyControls(const ControlPlan& plan)
{
    UseLayerSize();
    plan.Apply(*host_);
}

RenderedFrame FrameRenderer::Render(const HostTime& time, const std::string& what)
{
    if (InterruptSignal() != 0) {
        ThrowInterrupted(what, false);
    }
    HostSettings& settings = host_->settings();
    settings.current_time = time.time;
    settings.time_step = time.step;
    settings.time_scale = time.scale;
    settings.total_time = std::max(settings.total_time, time.time + time.step);

    RenderResult result;
    try {
        if (setup_.legacy) {
            LegacyRequest request;
            request.depth = setup_.depth;
            request.layer_width = full_width_;
            request.layer_height = full_height_;
            result = host_->render().Legacy(request);
        } else {
            RenderRequest request;
            request.renderer = setup_.renderer;
            request.depth = setup_.depth;
            request.layer_width = full_width_;
            request.layer_height = full_height_;
            result = host_->render().Frame(request);
        }
    } catch (const std::exception& e) {
        throw CliError(what + ": the host failed: " + e.what());
    }
    if (result.error == PF_Interrupt_CANCEL && InterruptSignal() != 0) {
        ThrowInterrupted(what, true);
    }
    if (result.error != PF_Err_NONE) {
        throw CliError(what + ": the effect failed (" + ErrorName(result.error) + ")");
    }
    if (!result.rendered) {
        throw CliError(what + ": the effect rendered nothing");
    }
    RenderedFrame frame;
    frame.image = OutputLayer(result, input().width(), input().height());
    if (result.drawn_by != Renderer::Cpu && setup_.depth != PixelDepth::Float) {
        // GPU worlds are float: the host brings the frame to the project's depth, rounding as it rounds into
        // any of its worlds (and as the plug-in does on the CPU).
        PixelBuffer world(frame.image.width, frame.image.height, setup_.depth);
        world.Store(frame.image);
        frame.image = world.Load();
    }
    frame.drawn_by = result.drawn_by;
    frame.gpu_note = result.gpu_note;
    frame.milliseconds = result.render_ms;
    return frame;
}
