// The simulated host's layers and render roads: the pre-render and smart-render callbacks, the world
// suite, and the command sequences of one smart frame and one legacy frame.
#include "HostSim.h"

#include "GpuHost.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace {

// The bytes of a fresh output world: pixels the plug-in leaves alone stay recognisable.
constexpr unsigned char FRESH_WORLD_BYTE = 0xCD;

bool IsEmpty(const PF_LRect& r)
{
    return !(r.right > r.left && r.bottom > r.top);
}

PF_LRect Intersect(const PF_LRect& a, const PF_LRect& b)
{
    const PF_LRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
    return IsEmpty(r) ? PF_LRect{0, 0, 0, 0} : r;
}

PF_LRect Bounds(const PixelBuffer& layer)
{
    return PF_LRect{0, 0, layer.width(), layer.height()};
}

// A layer length at full resolution from its length at the render's downsample.
A_long FullResolution(A_long length, const PF_RationalScale& downsample)
{
    if (downsample.num <= 0 || downsample.den == 0) {
        return length;
    }
    return static_cast<A_long>(std::lround(static_cast<double>(length) * downsample.den / downsample.num));
}

// Sets in_data's layer size (and output origin) for one frame and puts the host's settings back after.
class FrameSettings {
public:
    FrameSettings(HostSim& host, A_long width, A_long height, int input_layer) : host_(host), saved_(host.settings())
    {
        HostSettings& s = host.settings();
        if (width > 0 && height > 0) {
            s.width = width;
            s.height = height;
        } else if (input_layer != NO_LAYER) {
            const PixelBuffer& layer = host.Layer(input_layer);
            s.width = FullResolution(layer.width(), s.downsample_x);
            s.height = FullResolution(layer.height(), s.downsample_y);
        }
    }
    ~FrameSettings() { host_.settings() = saved_; }
    FrameSettings(const FrameSettings&) = delete;
    FrameSettings& operator=(const FrameSettings&) = delete;

private:
    HostSim& host_;
    HostSettings saved_;
};

// Gives the frame a fresh output world of width x height in the frame's depth and padding, its
// pixel (0, 0) at layer position (x0, y0).
PF_EffectWorld* NewOutputWorld(RenderState& state, A_long x0, A_long y0, A_long width, A_long height)
{
    PixelBuffer& output = state.output;
    if (output.width() != width || output.height() != height || output.depth() != state.output_depth ||
        output.row_padding() != state.output_row_padding) {
        output = PixelBuffer(width, height, state.output_depth, state.output_row_padding);
    }
    output.Fill(FRESH_WORLD_BYTE);
    PF_EffectWorld world = output.World();
    if (world.data) {
        world.origin_x = x0;
        world.origin_y = y0;
    }
    state.output_world = state.HandOut(world, FormatOf(state.output_depth));
    return state.output_world;
}

A_short BitDepth(PixelDepth depth)
{
    return static_cast<A_short>(depth);
}

// PF_Cmd_SMART_RENDER for the CPU.
PF_Err SendCpuRender(HostSim& host, const PF_PreRenderInput& pre_render, void* pre_render_data)
{
    PF_SmartRenderInput input{};
    input.output_request = pre_render.output_request;
    input.bitdepth = pre_render.bitdepth;
    input.pre_render_data = pre_render_data;
    input.what_gpu = PF_GPU_Framework_NONE;
    PF_SmartRenderCallbacks cb = HostSim::SmartRenderCallbacks();
    PF_SmartRenderExtra extra{&input, &cb};
    return host.SendCommand(PF_Cmd_SMART_RENDER, &extra);
}

}   // namespace

// ---- frame state ----

void RenderState::BeginFrame()
{
    checkouts.clear();
    layer_pixels.clear();
    worlds.clear();
    formats.clear();
    output_rect = PF_LRect{};
    output_world = nullptr;
    log.clear();
}

PF_EffectWorld* RenderState::HandOut(const PF_EffectWorld& world, PF_PixelFormat format)
{
    PF_EffectWorld* kept = &worlds.emplace_back(world);
    formats[kept] = format;
    return kept;
}

// ---- callbacks ----

struct HostSim::RenderCallbacks {
    static HostSim* From(PF_ProgPtr effect_ref) { return reinterpret_cast<HostSim*>(effect_ref); }

    static PF_Err CheckoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                                const PF_RenderRequest* request, A_long what_time, A_long time_step,
                                A_u_long time_scale, PF_CheckoutResult* result)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (!host->Injected(HostCall::CheckoutLayer, err, index)) {
            err = Answer(*host, index, checkout_id, request, result);
        }
        host->render_.log.push_back(LayerCheckout{index, checkout_id, request ? *request : PF_RenderRequest{},
                                                  what_time, time_step, time_scale,
                                                  result ? *result : PF_CheckoutResult{}, err});
        return err;
    }

    // The result and maximum rectangles a host gives: the request clipped to the layer, and the layer.
    // A parameter pointing at no layer checks out with empty rectangles.
    static PF_Err Answer(HostSim& host, PF_ParamIndex index, A_long checkout_id, const PF_RenderRequest* request,
                         PF_CheckoutResult* result)
    {
        if (!request || !result || index < 0 || index >= host.ParamCount() ||
            host.RegisteredParam(index).param_type != PF_Param_LAYER) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        const auto found = host.render_.layer_params.find(index);
        const int layer = found == host.render_.layer_params.end() ? NO_LAYER : found->second;
        *result = PF_CheckoutResult{};
        result->par = PF_RationalScale{1, 1};
        if (layer != NO_LAYER) {
            const PixelBuffer& pixels = host.Layer(layer);
            result->result_rect = Intersect(request->rect, Bounds(pixels));
            result->max_result_rect = Bounds(pixels);
            result->ref_width = pixels.width();
            result->ref_height = pixels.height();
        }
        host.render_.checkouts[checkout_id] = RenderState::Checkout{index, layer, result->result_rect};
        return PF_Err_NONE;
    }

    static PF_Err CheckoutLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id, PF_EffectWorld** pixels)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        RenderState& state = host->render_;
        const auto checkout = state.checkouts.find(checkout_id);
        const int index = checkout == state.checkouts.end() ? -1 : checkout->second.index;
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::CheckoutLayerPixels, err, index)) {
            if (pixels) {
                *pixels = nullptr;
            }
            return err;
        }
        if (!pixels || checkout == state.checkouts.end()) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (const auto given = state.layer_pixels.find(checkout_id); given != state.layer_pixels.end()) {
            *pixels = given->second;
            return PF_Err_NONE;
        }
        const RenderState::Checkout& c = checkout->second;
        if (c.layer == NO_LAYER || IsEmpty(c.result)) {
            *pixels = nullptr;
            return PF_Err_NONE;
        }
        const PixelBuffer& layer = host->Layer(c.layer);
        *pixels = host->gpu_->frame_on_gpu ? host->HandOutGpuLayer(layer, c.result, c.index)
                                           : state.HandOut(layer.Window(c.result), FormatOf(layer.depth()));
        state.layer_pixels[checkout_id] = *pixels;
        return PF_Err_NONE;
    }

    static PF_Err CheckinLayerPixels(PF_ProgPtr effect_ref, A_long)
    {
        return From(effect_ref) ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
    }

    // The output world covers the pre-render's result rectangle.
    static PF_Err CheckoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::CheckoutOutput, err)) {
            if (output) {
                *output = nullptr;
            }
            return err;
        }
        if (!output) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        RenderState& state = host->render_;
        if (!state.output_world && host->gpu_->frame_on_gpu) {
            state.output_world = host->HandOutGpuOutput(state.output_rect);
        }
        if (!state.output_world) {
            const PF_LRect& r = state.output_rect;
            const bool empty = IsEmpty(r);
            NewOutputWorld(state, r.left, r.top, empty ? 0 : r.right - r.left, empty ? 0 : r.bottom - r.top);
        }
        *output = state.output_world;
        return PF_Err_NONE;
    }

    // Worlds this host did not hand out in the current frame are unknown to it.
    static PF_Err GetPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format)
    {
        HostSim* host = HostSim::OnThisThread();
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::GetPixelFormat, err)) {
            return err;
        }
        const auto found = host->render_.formats.find(world);
        if (!format || found == host->render_.formats.end()) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *format = found->second;
        return PF_Err_NONE;
    }

    static PF_Err NewWorld(PF_ProgPtr, A_long, A_long, PF_Boolean, PF_PixelFormat, PF_EffectWorld*)
    {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;   // not offered by this host
    }
    static PF_Err DisposeWorld(PF_ProgPtr, PF_EffectWorld*) { return PF_Err_INTERNAL_STRUCT_DAMAGED; }
};

const PF_WorldSuite2* HostSim::WorldSuite()
{
    static const PF_WorldSuite2 suite{RenderCallbacks::NewWorld, RenderCallbacks::DisposeWorld,
                                      RenderCallbacks::GetPixelFormat};
    return &suite;
}

PF_PreRenderCallbacks HostSim::PreRenderCallbacks()
{
    PF_PreRenderCallbacks cb{};
    cb.checkout_layer = RenderCallbacks::CheckoutLayer;
    return cb;
}

PF_SmartRenderCallbacks HostSim::SmartRenderCallbacks()
{
    PF_SmartRenderCallbacks cb{};
    cb.checkout_layer_pixels = RenderCallbacks::CheckoutLayerPixels;
    cb.checkin_layer_pixels = RenderCallbacks::CheckinLayerPixels;
    cb.checkout_output = RenderCallbacks::CheckoutOutput;
    return cb;
}

// ---- layers ----

int HostSim::AddLayer(const FloatImage& image, PixelDepth depth, A_long row_padding)
{
    PixelBuffer& layer = render_.layers.emplace_back(image.width, image.height, depth, row_padding);
    layer.Store(image);
    return static_cast<int>(render_.layers.size()) - 1;
}

const PixelBuffer& HostSim::Layer(int layer) const
{
    if (layer < 0 || layer >= static_cast<int>(render_.layers.size())) {
        throw std::out_of_range("no layer " + std::to_string(layer));
    }
    return render_.layers[layer];
}

void HostSim::SetLayerPixels(int layer, const FloatImage& image)
{
    Layer(layer);
    render_.layers[layer].Store(image);
}

FloatImage HostSim::LayerPixels(int layer) const
{
    return Layer(layer).Load();
}

void HostSim::SetLayerParam(int index, int layer)
{
    if (layer != NO_LAYER) {
        Layer(layer);
    }
    render_.layer_params[index] = layer;
}

void HostSim::FillLayerParam(int index, PF_ParamDef& def) const
{
    const auto found = render_.layer_params.find(index);
    def.u.ld = found == render_.layer_params.end() || found->second == NO_LAYER ? PF_LayerDef{}
                                                                                : Layer(found->second).World();
}

// ---- render roads ----

RenderResult HostSim::RenderFrame(const RenderRequest& request)
{
    render_.BeginFrame();
    gpu_->EndFrame();
    const auto input = render_.layer_params.find(PARAM_INPUT);
    const int input_layer = input == render_.layer_params.end() ? NO_LAYER : input->second;
    const FrameSettings frame(*this, request.layer_width, request.layer_height, input_layer);
    render_.output_depth = request.depth;
    render_.output_row_padding = request.output_row_padding;

    PF_PreRenderInput pre_input{};
    pre_input.output_request.rect = request.rect.value_or(
        input_layer != NO_LAYER ? Bounds(Layer(input_layer)) : PF_LRect{0, 0, settings_.width, settings_.height});
    pre_input.output_request.channel_mask = 0xF;   // alpha, red, green, blue
    pre_input.output_request.preserve_rgb_of_zero_alpha = true;
    pre_input.bitdepth = BitDepth(request.depth);
    pre_input.what_gpu = request.what_gpu;
    RenderResult result;
    const bool on_gpu = PrepareGpuFrame(request, result);
    if (on_gpu) {
        pre_input.gpu_data = GpuData();
        pre_input.what_gpu = GpuDevice()->framework();
        pre_input.device_index = 0;
    }
    PF_PreRenderOutput pre_output{};
    PF_PreRenderCallbacks pre_cb = PreRenderCallbacks();
    PF_PreRenderExtra pre_extra{&pre_input, &pre_output, &pre_cb};

    result.pre_render_error = SendCommand(PF_Cmd_SMART_PRE_RENDER, &pre_extra);
    result.error = result.pre_render_error;
    if (result.pre_render_error != PF_Err_NONE) {
        return result;   // a failed pre-render keeps nothing for the host
    }
    result.result_rect = pre_output.result_rect;
    result.max_result_rect = pre_output.max_result_rect;
    result.flags = pre_output.flags;
    result.solid = pre_output.solid != 0;
    result.had_pre_render_data = pre_output.pre_render_data && pre_output.delete_pre_render_data_func;

    render_.output_rect = pre_output.result_rect;
    void* data = request.pass_pre_render_data ? pre_output.pre_render_data : nullptr;
    for (int i = 0; request.render && i < request.renders; ++i) {
        render_.output_world = nullptr;   // every render writes into a fresh output world
        if (on_gpu && (result.flags & PF_RenderOutputFlag_GPU_RENDER_POSSIBLE)) {
            result.render_error = SendGpuRender(pre_input, data, request, result);   // reads the output back
        } else {
            if (on_gpu) {
                result.gpu_note = "the pre-render did not offer the GPU";
            }
            const auto start = std::chrono::steady_clock::now();
            result.render_error = SendCpuRender(*this, pre_input, data);
            result.render_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            result.drawn_by = Renderer::Cpu;
            result.device_ms = -1;
            if (request.read_back && render_.output_world) {
                result.images.push_back(ReadWorld(*render_.output_world, render_.output_depth));
                result.image = result.images.back();
                result.origin_x = render_.output_world->origin_x;
                result.origin_y = render_.output_world->origin_y;
            }
        }
        result.rendered = true;
        result.error = result.render_error;
        if (result.render_error != PF_Err_NONE) {
            break;
        }
    }
    if (result.had_pre_render_data) {
        pre_output.delete_pre_render_data_func(pre_output.pre_render_data);
        ++render_.pre_render_data_freed;
    }
    gpu_->EndFrame();
    return result;
}

RenderResult HostSim::RenderLegacy(const LegacyRequest& request)
{
    render_.BeginFrame();
    const auto layer_of = [this](int index) {
        const auto found = render_.layer_params.find(index);
        return found == render_.layer_params.end() ? NO_LAYER : found->second;
    };
    const int input_layer = layer_of(PARAM_INPUT);
    const int map_layer = layer_of(PARAM_MAP_LAYER);
    for (const int layer : {input_layer, map_layer}) {
        if (layer != NO_LAYER && Layer(layer).depth() == PixelDepth::Float) {
            throw std::invalid_argument("the legacy render has no float layers");
        }
    }
    if (request.depth == PixelDepth::Float) {
        throw std::invalid_argument("the legacy render has no float output");
    }
    const FrameSettings frame(*this, request.layer_width, request.layer_height, input_layer);
    settings_.output_origin_x = request.output_origin_x;
    settings_.output_origin_y = request.output_origin_y;

    A_long width = request.width;
    A_long height = request.height;
    if (width <= 0 || height <= 0) {
        width = input_layer != NO_LAYER ? Layer(input_layer).width() : settings_.width;
        height = input_layer != NO_LAYER ? Layer(input_layer).height() : settings_.height;
    }
    render_.output_depth = request.depth;
    render_.output_row_padding = request.output_row_padding;
    // The legacy output carries no origin of its own: in_data's output origin places it.
    PF_EffectWorld* output = NewOutputWorld(render_, 0, 0, width, height);

    RenderResult result;
    result.render_error = SendCommand(PF_Cmd_RENDER, nullptr, output);
    result.error = result.render_error;
    result.rendered = true;
    if (request.read_back) {
        result.image = ReadWorld(*output, request.depth);
        result.images.push_back(result.image);
    }
    // Negated in 64 bits: the most negative origin has no positive int32 (it wraps to itself).
    result.origin_x = static_cast<A_long>(-std::int64_t{request.output_origin_x});
    result.origin_y = static_cast<A_long>(-std::int64_t{request.output_origin_y});
    return result;
}
