// Layers and frame rendering in the simulated host: the records a test or tool fills to ask for a frame,
// what comes back, and what the host keeps about layers and the frame in flight. HostSim's render
// methods (Render.cpp) use them.
//
// Layers hold their pixels at the resolution being rendered: with downsample 1/2 on both axes, a
// 1920 x 1080 layer is added as 960 x 540. All rectangles are layer pixels at that resolution.
#pragma once

#include "Layers.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A layer parameter pointing at no layer.
inline constexpr int NO_LAYER = -1;

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

// One frame through PF_Cmd_RENDER. The input and map layers travel in parameters 0 and 30 as whole
// worlds with origin (0, 0); they must be 8- or 16-bit, the depths the legacy road knows.
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

// Failure injection (HostSim.h) reaches checkout_layer, checkout_layer_pixels, checkout_output and
// PF_GetPixelFormat; an injected PF_Err_NONE on checkout_layer_pixels or checkout_output succeeds without
// handing out a world, as a host does for a layer that has no pixels at that time.

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

// What the host keeps about layers and the frame in flight.
struct RenderState {
    std::deque<PixelBuffer> layers;        // by layer id; a deque so worlds into them stay valid
    std::map<int, int> layer_params;       // layer parameter index -> layer id

    // The frame in flight, from its pre-render to the end of its render.
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

    // Forgets the frame in flight (the layers stay).
    void BeginFrame();
    // Keeps a world and the format the world suite reports for it; the pointer stays valid until the
    // next frame begins.
    PF_EffectWorld* HandOut(const PF_EffectWorld& world, PF_PixelFormat format);
};
