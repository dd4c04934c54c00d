// The render roads of the simulated host: the records a test or tool fills to ask for a frame, what comes
// back, the frame in flight, and the command sequences of one smart frame (on the CPU or a GPU device)
// and one legacy frame, with the pre-render and smart-render callbacks and "PF World Suite" 2.
//
// All rectangles are layer pixels at the resolution being rendered (see Layers.h).
#pragma once

#include "AE_Effect.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectGPUSuites.h"
#include "AE_EffectSuites.h"
#include "Layers.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class EffectModule;
class FaultInjector;
class GpuHost;
class GpuWorld;
class ParamStore;
class SuiteTable;

// Which command renders a smart frame after the pre-render.
enum class Renderer {
    Cpu,      // PF_Cmd_SMART_RENDER
    OpenCL,   // PF_Cmd_SMART_RENDER_GPU on the machine's OpenCL device, when it sets up and is offered
    Cuda,     // the same on the machine's CUDA device
    Auto,     // a GPU when one sets up (CUDA first, then OpenCL), else the CPU
};

// "cpu", "opencl", "cuda", "auto"; and back (false when the text names none).
const char* RendererName(Renderer renderer);
bool ParseRenderer(std::string_view text, Renderer& renderer);

// One frame through PF_Cmd_SMART_PRE_RENDER and the render command of `renderer`.
struct RenderRequest {
    Renderer renderer = Renderer::Cpu;
    std::optional<PF_LRect> rect;          // the output request; none asks for the whole input layer
    PixelDepth depth = PixelDepth::Bits8;  // the output world's depth
    A_long output_row_padding = 0;         // bytes past the pixels of every output row
    A_long gpu_row_padding = 0;            // GPU frames: bytes past every row of each GPU world (a multiple of 16)
    PF_GPU_Framework what_gpu = PF_GPU_Framework_NONE;   // the pre-render's what_gpu
    bool render = true;                    // false: pre-render only; the host then frees the record
    int renders = 1;                       // render commands sent with the same record, each with a fresh output
    bool pass_pre_render_data = true;      // false: the render gets no pre_render_data
    bool read_back = true;                 // copy the output world into the result's image
    // in_data's width and height; 0 takes the input layer's size at full resolution (its size divided
    // by the downsample factor), or the host settings' size when there is no input layer.
    A_long layer_width = 0, layer_height = 0;
};

// One frame through PF_Cmd_RENDER. The input and map layers travel in their parameters as whole worlds
// with origin (0, 0); they must be 8- or 16-bit, the depths the legacy road knows.
struct LegacyRequest {
    PixelDepth depth = PixelDepth::Bits8;  // output world: 8-bit, or 16-bit with PF_WorldFlag_DEEP
    A_long width = 0, height = 0;          // output world size; 0 takes the input layer's
    A_long output_row_padding = 0;
    A_long output_origin_x = 0, output_origin_y = 0;   // in_data's: output pixel (ox, oy) is layer (0, 0)
    bool read_back = true;
    A_long layer_width = 0, layer_height = 0;          // as in RenderRequest
};

struct RenderResult {
    PF_Err error = PF_Err_NONE;            // the first failing command's code
    PF_Err pre_render_error = PF_Err_NONE;
    PF_Err render_error = PF_Err_NONE;
    bool rendered = false;                 // the render command was sent
    // The renderer whose command drew the frame: Cpu or the GPU device's (a GPU frame that failed there
    // is redone on the CPU inside the plug-in, which logs it), and why a GPU asked for did not draw it.
    Renderer drawn_by = Renderer::Cpu;
    std::string gpu_note;
    // The last render command: milliseconds on the host's clock until its work was done (GPU: the device
    // finished too), and on the device's own clock (CUDA events; OpenCL: the host's clock), -1 for the CPU.
    double render_ms = 0;
    double device_ms = -1;
    // What the pre-render returned.
    PF_LRect result_rect{};
    PF_LRect max_result_rect{};
    PF_RenderOutputFlags flags = 0;
    bool solid = false;
    bool had_pre_render_data = false;      // a record came back with a delete function
    // The output world as floats (B, G, R, A straight), and the layer position of its pixel (0, 0).
    // Pixels the plug-in did not write read as whatever the fresh world held (bytes 0xCD).
    FloatImage image;
    A_long origin_x = 0, origin_y = 0;
    std::vector<FloatImage> images;        // every render's output, in order; `image` is the last
};

// A checkout_layer call as the plug-in made it and as the host answered it.
struct LayerCheckout {
    PF_ParamIndex index;
    A_long checkout_id;
    PF_RenderRequest request;
    A_long what_time, time_step;
    A_u_long time_scale;
    PF_CheckoutResult result;
    PF_Err error;
};

// The frame in flight, from its pre-render to the end of its render.
struct RenderState {
    struct Checkout {
        PF_ParamIndex index;
        int layer;                         // NO_LAYER when the parameter points at none
        PF_LRect result;
    };
    std::map<A_long, Checkout> checkouts;              // by checkout id
    std::map<A_long, PF_EffectWorld*> layer_pixels;    // by checkout id, once handed out
    std::deque<PF_EffectWorld> worlds;                 // every world handed out this frame
    std::map<const PF_EffectWorld*, PF_PixelFormat> formats;   // what PF_GetPixelFormat reports
    PF_LRect output_rect{};
    PixelDepth output_depth = PixelDepth::Bits8;
    A_long output_row_padding = 0;
    PixelBuffer output;                    // reused between frames of the same size and depth
    PF_EffectWorld* output_world = nullptr;
    std::vector<LayerCheckout> log;        // checkout_layer calls of the current frame
    int pre_render_data_freed = 0;         // records freed through the plug-in's delete function

    // Forgets the frame in flight.
    void BeginFrame();
    // Keeps a world and the format the world suite reports for it; the pointer stays valid until the
    // next frame begins.
    PF_EffectWorld* HandOut(const PF_EffectWorld& world, PF_PixelFormat format);
};

class RenderRoads {
public:
    // Offers "PF World Suite" 2 on `suites`.
    RenderRoads(EffectModule& module, ParamStore& params, LayerStore& layers, GpuHost& gpu, FaultInjector& faults,
                SuiteTable& suites);
    RenderRoads(const RenderRoads&) = delete;
    RenderRoads& operator=(const RenderRoads&) = delete;

    // The smart road: PF_Cmd_SMART_PRE_RENDER, then the renderer's command unless the pre-render failed
    // or the request says not to, then the pre-render record freed through the plug-in's function.
    RenderResult Frame(const RenderRequest& request = {});
    // The legacy road: PF_Cmd_RENDER with the layers in the parameter array.
    RenderResult Legacy(const LegacyRequest& request = {});

    // The host's callback tables, for sending the smart commands by hand.
    static PF_PreRenderCallbacks PreRenderCallbacks();
    static PF_SmartRenderCallbacks SmartRenderCallbacks();
    // The frame in flight (or last rendered), for sending the smart commands by hand.
    RenderState& state() { return state_; }
    // The checkout_layer calls of the frame last begun.
    const std::vector<LayerCheckout>& layer_checkouts() const { return state_.log; }
    int PreRenderDataFreed() const { return state_.pre_render_data_freed; }

private:
    struct Callbacks;

    // Whether a frame of this request goes to the GPU device (setting one up when asked for); the reason
    // when not goes to result.gpu_note.
    bool PrepareGpuFrame(const RenderRequest& request, RenderResult& result);
    // A GPU world handed out as checkout_layer_pixels and checkout_output give them.
    PF_EffectWorld* HandOutGpu(GpuWorld& world, int param_index);
    // PF_Cmd_SMART_RENDER_GPU, timed, and the output read back into the result.
    PF_Err SendGpuRender(const PF_PreRenderInput& pre_render, void* pre_render_data, const RenderRequest& request,
                         RenderResult& result);

    EffectModule& module_;
    ParamStore& params_;
    LayerStore& layers_;
    GpuHost& gpu_;
    FaultInjector& faults_;
    PF_WorldSuite2 world_suite_{};
    RenderState state_;
};
