// The simulated host's render roads: the pre-render and smart-render callbacks, the world suite, and the
// command sequences of one smart frame (CPU or GPU) and one legacy frame.
#include "Render.h"

#include "EffectModule.h"
#include "Faults.h"
#include "GpuHost.h"
#include "HostSettings.h"
#include "Instance.h"
#include "ParamStore.h"
#include "Suites.h"

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
    FrameSettings(HostSettings& settings, const LayerStore& layers, A_long width, A_long height, int input_layer)
        : settings_(settings), saved_(settings)
    {
        if (width > 0 && height > 0) {
            settings.width = width;
            settings.height = height;
        } else if (input_layer != NO_LAYER) {
            const PixelBuffer& layer = layers.At(input_layer);
            settings.width = FullResolution(layer.width(), settings.downsample_x);
            settings.height = FullResolution(layer.height(), settings.downsample_y);
        }
    }
    ~FrameSettings() { settings_ = saved_; }
    FrameSettings(const FrameSettings&) = delete;
    FrameSettings& operator=(const FrameSettings&) = delete;

private:
    HostSettings& settings_;
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
PF_Err SendCpuRender(EffectModule& module, const PF_PreRenderInput& pre_render, void* pre_render_data)
{
    PF_SmartRenderInput input{};
    input.output_request = pre_render.output_request;
    input.bitdepth = pre_render.bitdepth;
    input.pre_render_data = pre_render_data;
    input.what_gpu = PF_GPU_Framework_NONE;
    PF_SmartRenderCallbacks cb = RenderRoads::SmartRenderCallbacks();
    PF_SmartRenderExtra extra{&input, &cb};
    return module.SendCommand(PF_Cmd_SMART_RENDER, &extra);
}

}   // namespace

// ---- the renderer choice ----

const char* RendererName(Renderer renderer)
{
    switch (renderer) {
    case Renderer::Cpu:
        return "cpu";
    case Renderer::OpenCL:
        return "opencl";
    case Renderer::Cuda:
        return "cuda";
    case Renderer::Auto:
        return "auto";
    }
    return "?";
}

bool ParseRenderer(std::string_view text, Renderer& renderer)
{
    for (const Renderer r : {Renderer::Cpu, Renderer::OpenCL, Renderer::Cuda, Renderer::Auto}) {
        if (text == RendererName(r)) {
            renderer = r;
            return true;
        }
    }
    return false;
}

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

struct RenderRoads::Callbacks {
    static RenderRoads* From(const EffectInstance* instance);
    static RenderRoads* From(PF_ProgPtr effect_ref);
    static PF_Err CheckoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                                const PF_RenderRequest* request, A_long what_time, A_long time_step,
                                A_u_long time_scale, PF_CheckoutResult* result);

    // The result and maximum rectangles a host gives: the request clipped to the layer, and the layer.
    // A parameter pointing at no layer checks out with empty rectangles.
    static PF_Err Answer(RenderRoads& roads, PF_ParamIndex index, A_long checkout_id, const PF_RenderRequest* request,
                         PF_CheckoutResult* result);
    static PF_Err CheckoutLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id, PF_EffectWorld** pixels);
    static PF_Err CheckinLayerPixels(PF_ProgPtr effect_ref, A_long);

    // The output world covers the pre-render's result rectangle.
    static PF_Err CheckoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output);

    // Worlds this host did not hand out in the current frame are unknown to it.
    static PF_Err GetPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format);
    static PF_Err NewWorld(PF_ProgPtr, A_long, A_long, PF_Boolean, PF_PixelFormat, PF_EffectWorld*);
    static PF_Err DisposeWorld(PF_ProgPtr, PF_EffectWorld*);
};

RenderRoads* RenderRoads::Callbacks::From(const EffectInstance* instance)
{
    return instance ? instance->render : nullptr;
}

RenderRoads* RenderRoads::Callbacks::From(PF_ProgPtr effect_ref)
{
    return From(EffectInstance::From(effect_ref));
}

PF_Err RenderRoads::Callbacks::CheckoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                                             const PF_RenderRequest* request, A_long what_time, A_long time_step,
                                             A_u_long time_scale, PF_CheckoutResult* result)
{
    RenderRoads* roads = From(effect_ref);
    if (!roads) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_Err err = PF_Err_NONE;
    if (!roads->faults_.Injected(HostCall::CheckoutLayer, err, index)) {
        err = Answer(*roads, index, checkout_id, request, result);
    }
    roads->state_.log.push_back(LayerCheckout{index, checkout_id, request ? *request : PF_RenderRequest{},
                                              what_time, time_step, time_scale,
                                              result ? *result : PF_CheckoutResult{}, err});
    return err;
}

PF_Err RenderRoads::Callbacks::Answer(RenderRoads& roads, PF_ParamIndex index, A_long checkout_id,
                                      const PF_RenderRequest* request, PF_CheckoutResult* result)
{
    if (!request || !result || index < 0 || index >= roads.params_.Count() ||
        roads.params_.Registered(index).param_type != PF_Param_LAYER) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const int layer = roads.params_.LayerOf(index);
    *result = PF_CheckoutResult{};
    result->par = PF_RationalScale{1, 1};
    if (layer != NO_LAYER) {
        const PixelBuffer& pixels = roads.layers_.At(layer);
        result->result_rect = Intersect(request->rect, Bounds(pixels));
        result->max_result_rect = Bounds(pixels);
        result->ref_width = pixels.width();
        result->ref_height = pixels.height();
    }
    roads.state_.checkouts[checkout_id] = RenderState::Checkout{index, layer, result->result_rect};
    return PF_Err_NONE;
}

PF_Err RenderRoads::Callbacks::CheckoutLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id, PF_EffectWorld** pixels)
{
    RenderRoads* roads = From(effect_ref);
    if (!roads) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    RenderState& state = roads->state_;
    const auto checkout = state.checkouts.find(checkout_id);
    const int index = checkout == state.checkouts.end() ? -1 : checkout->second.index;
    PF_Err err = PF_Err_NONE;
    if (roads->faults_.Injected(HostCall::CheckoutLayerPixels, err, index)) {
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
    const PixelBuffer& layer = roads->layers_.At(c.layer);
    *pixels = roads->gpu_.frame_on_gpu() ? roads->HandOutGpu(roads->gpu_.NewLayerWorld(layer, c.result), c.index)
                                         : state.HandOut(layer.Window(c.result), FormatOf(layer.depth()));
    state.layer_pixels[checkout_id] = *pixels;
    return PF_Err_NONE;
}

PF_Err RenderRoads::Callbacks::CheckinLayerPixels(PF_ProgPtr effect_ref, A_long)
{
    return From(effect_ref) ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err RenderRoads::Callbacks::CheckoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output)
{
    RenderRoads* roads = From(effect_ref);
    if (!roads) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_Err err = PF_Err_NONE;
    if (roads->faults_.Injected(HostCall::CheckoutOutput, err)) {
        if (output) {
            *output = nullptr;
        }
        return err;
    }
    if (!output) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    RenderState& state = roads->state_;
    if (!state.output_world && roads->gpu_.frame_on_gpu()) {
        state.output_world = roads->HandOutGpu(roads->gpu_.NewOutputWorld(state.output_rect), -1);
    }
    if (!state.output_world) {
        const PF_LRect& r = state.output_rect;
        const bool empty = IsEmpty(r);
        NewOutputWorld(state, r.left, r.top, empty ? 0 : r.right - r.left, empty ? 0 : r.bottom - r.top);
    }
    *output = state.output_world;
    return PF_Err_NONE;
}

PF_Err RenderRoads::Callbacks::GetPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format)
{
    RenderRoads* roads = From(EffectInstance::OnThisThread());
    if (!roads) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_Err err = PF_Err_NONE;
    if (roads->faults_.Injected(HostCall::GetPixelFormat, err)) {
        return err;
    }
    const auto found = roads->state_.formats.find(world);
    if (!format || found == roads->state_.formats.end()) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *format = found->second;
    return PF_Err_NONE;
}

PF_Err RenderRoads::Callbacks::NewWorld(PF_ProgPtr, A_long, A_long, PF_Boolean, PF_PixelFormat, PF_EffectWorld*)
{
    return PF_Err_INTERNAL_STRUCT_DAMAGED;   // not offered by this host
}

PF_Err RenderRoads::Callbacks::DisposeWorld(PF_ProgPtr, PF_EffectWorld*)
{
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

RenderRoads::RenderRoads(EffectModule& module, ParamStore& params, LayerStore& layers, GpuHost& gpu,
                         FaultInjector& faults, SuiteTable& suites)
    : module_(module), params_(params), layers_(layers), gpu_(gpu), faults_(faults)
{
    world_suite_ = PF_WorldSuite2{Callbacks::NewWorld, Callbacks::DisposeWorld, Callbacks::GetPixelFormat};
    suites.Provide(kPFWorldSuite, kPFWorldSuiteVersion2, &world_suite_);
}

PF_PreRenderCallbacks RenderRoads::PreRenderCallbacks()
{
    PF_PreRenderCallbacks cb{};
    cb.checkout_layer = Callbacks::CheckoutLayer;
    return cb;
}

PF_SmartRenderCallbacks RenderRoads::SmartRenderCallbacks()
{
    PF_SmartRenderCallbacks cb{};
    cb.checkout_layer_pixels = Callbacks::CheckoutLayerPixels;
    cb.checkin_layer_pixels = Callbacks::CheckinLayerPixels;
    cb.checkout_output = Callbacks::CheckoutOutput;
    return cb;
}

// ---- the smart road ----

RenderResult RenderRoads::Frame(const RenderRequest& request)
{
    state_.BeginFrame();
    gpu_.EndFrame();
    const int input_layer = params_.LayerOf(0);
    HostSettings& settings = module_.settings();
    const FrameSettings frame(settings, layers_, request.layer_width, request.layer_height, input_layer);
    state_.output_depth = request.depth;
    state_.output_row_padding = request.output_row_padding;

    PF_PreRenderInput pre_input{};
    pre_input.output_request.rect = request.rect.value_or(
        input_layer != NO_LAYER ? Bounds(layers_.At(input_layer)) : PF_LRect{0, 0, settings.width, settings.height});
    pre_input.output_request.channel_mask = 0xF;   // alpha, red, green, blue
    pre_input.output_request.preserve_rgb_of_zero_alpha = true;
    pre_input.bitdepth = BitDepth(request.depth);
    pre_input.what_gpu = request.what_gpu;
    RenderResult result;
    const bool on_gpu = PrepareGpuFrame(request, result);
    if (on_gpu) {
        pre_input.gpu_data = gpu_.Data();
        pre_input.what_gpu = gpu_.Device()->framework();
        pre_input.device_index = 0;
    }
    PF_PreRenderOutput pre_output{};
    PF_PreRenderCallbacks pre_cb = PreRenderCallbacks();
    PF_PreRenderExtra pre_extra{&pre_input, &pre_output, &pre_cb};

    result.pre_render_error = module_.SendCommand(PF_Cmd_SMART_PRE_RENDER, &pre_extra);
    result.error = result.pre_render_error;
    if (result.pre_render_error != PF_Err_NONE) {
        return result;   // a failed pre-render keeps nothing for the host
    }
    result.result_rect = pre_output.result_rect;
    result.max_result_rect = pre_output.max_result_rect;
    result.flags = pre_output.flags;
    result.solid = pre_output.solid != 0;
    result.had_pre_render_data = pre_output.pre_render_data && pre_output.delete_pre_render_data_func;

    state_.output_rect = pre_output.result_rect;
    void* data = request.pass_pre_render_data ? pre_output.pre_render_data : nullptr;
    for (int i = 0; request.render && i < request.renders; ++i) {
        state_.output_world = nullptr;   // every render writes into a fresh output world
        if (on_gpu && (result.flags & PF_RenderOutputFlag_GPU_RENDER_POSSIBLE)) {
            result.render_error = SendGpuRender(pre_input, data, request, result);   // reads the output back
        } else {
            if (on_gpu) {
                result.gpu_note = "the pre-render did not offer the GPU";
            }
            const auto start = std::chrono::steady_clock::now();
            result.render_error = SendCpuRender(module_, pre_input, data);
            result.render_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            result.drawn_by = Renderer::Cpu;
            result.device_ms = -1;
            if (request.read_back && state_.output_world) {
                result.images.push_back(ReadWorld(*state_.output_world, state_.output_depth));
                result.image = result.images.back();
                result.origin_x = state_.output_world->origin_x;
                result.origin_y = state_.output_world->origin_y;
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
        ++state_.pre_render_data_freed;
    }
    gpu_.EndFrame();
    return result;
}

bool RenderRoads::PrepareGpuFrame(const RenderRequest& request, RenderResult& result)
{
    gpu_.BeginFrame(request.gpu_row_padding);
    switch (request.renderer) {
    case Renderer::Cpu:
        return false;
    case Renderer::OpenCL:
        return gpu_.Use(PF_GPU_Framework_OPENCL, result.gpu_note);
    case Renderer::Cuda:
        return gpu_.Use(PF_GPU_Framework_CUDA, result.gpu_note);
    case Renderer::Auto:
        if (gpu_.Device() && gpu_.Accepted()) {
            return true;
        }
        if (gpu_.Use(PF_GPU_Framework_CUDA, result.gpu_note)) {
            return true;
        }
        {
            const std::string cuda_note = result.gpu_note;
            if (gpu_.Use(PF_GPU_Framework_OPENCL, result.gpu_note)) {
                result.gpu_note.clear();
                return true;
            }
            result.gpu_note = "CUDA: " + cuda_note + "; OpenCL: " + result.gpu_note;
        }
        return false;
    }
    return false;
}

PF_EffectWorld* RenderRoads::HandOutGpu(GpuWorld& world, int param_index)
{
    PF_EffectWorld* handed = state_.HandOut(world.world(), PF_PixelFormat_GPU_BGRA128);
    gpu_.Track(handed, world, param_index);
    return handed;
}

PF_Err RenderRoads::SendGpuRender(const PF_PreRenderInput& pre_render, void* pre_render_data,
                                  const RenderRequest& request, RenderResult& result)
{
    PF_SmartRenderInput input{};
    input.output_request = pre_render.output_request;
    input.bitdepth = 32;   // GPU worlds are float
    input.pre_render_data = pre_render_data;
    input.gpu_data = gpu_.Data();
    input.what_gpu = gpu_.Device()->framework();
    input.device_index = 0;
    PF_SmartRenderCallbacks cb = SmartRenderCallbacks();
    PF_SmartRenderExtra extra{&input, &cb};

    gpu_.set_frame_on_gpu(true);
    // A host has the frame's GPU worlds ready before it sends the command, so their uploads are no part
    // of the effect's time. The callbacks hand out these same worlds (injected failures still apply).
    try {
        for (const auto& [id, checkout] : state_.checkouts) {
            const PF_LRect& r = checkout.result;
            if (checkout.layer != NO_LAYER && r.right > r.left && r.bottom > r.top && !state_.layer_pixels.count(id)) {
                state_.layer_pixels[id] = HandOutGpu(gpu_.NewLayerWorld(layers_.At(checkout.layer), r), checkout.index);
            }
        }
        if (!state_.output_world) {
            state_.output_world = HandOutGpu(gpu_.NewOutputWorld(state_.output_rect), -1);
        }
    } catch (...) {
        gpu_.set_frame_on_gpu(false);
        throw;
    }
    PF_Err err = PF_Err_NONE;
    const auto start = std::chrono::steady_clock::now();
    try {
        result.device_ms =
            gpu_.Device()->TimeOnDevice([&] { err = module_.SendCommand(PF_Cmd_SMART_RENDER_GPU, &extra); });
    } catch (...) {
        gpu_.set_frame_on_gpu(false);
        throw;
    }
    result.render_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    gpu_.set_frame_on_gpu(false);
    result.drawn_by = gpu_.Device()->framework() == PF_GPU_Framework_OPENCL ? Renderer::OpenCL : Renderer::Cuda;

    const GpuWorld* output = gpu_.Tracked(state_.output_world);
    if (request.read_back && output) {
        result.images.push_back(output->Read());
        result.image = result.images.back();
        result.origin_x = state_.output_world->origin_x;
        result.origin_y = state_.output_world->origin_y;
    }
    return err;
}

// ---- the legacy road ----

RenderResult RenderRoads::Legacy(const LegacyRequest& request)
{
    state_.BeginFrame();
    const int input_layer = params_.LayerOf(0);
    const int map_layer = params_.LayerOf(params_.MapLayerIndex());
    for (const int layer : {input_layer, map_layer}) {
        if (layer != NO_LAYER && layers_.At(layer).depth() == PixelDepth::Float) {
            throw std::invalid_argument("the legacy render has no float layers");
        }
    }
    if (request.depth == PixelDepth::Float) {
        throw std::invalid_argument("the legacy render has no float output");
    }
    HostSettings& settings = module_.settings();
    const FrameSettings frame(settings, layers_, request.layer_width, request.layer_height, input_layer);
    settings.output_origin_x = request.output_origin_x;
    settings.output_origin_y = request.output_origin_y;

    A_long width = request.width;
    A_long height = request.height;
    if (width <= 0 || height <= 0) {
        width = input_layer != NO_LAYER ? layers_.At(input_layer).width() : settings.width;
        height = input_layer != NO_LAYER ? layers_.At(input_layer).height() : settings.height;
    }
    state_.output_depth = request.depth;
    state_.output_row_padding = request.output_row_padding;
    // The legacy output carries no origin of its own: in_data's output origin places it.
    PF_EffectWorld* output = NewOutputWorld(state_, 0, 0, width, height);

    RenderResult result;
    result.render_error = module_.SendCommand(PF_Cmd_RENDER, nullptr, output);
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
