// One effect instance in the host simulator, set up as a host sets it up for a render: the module started,
// the input and map layers at the render's downsample, the controls, the renderer; then frames at any time.
// It adds nothing to the pixels: what comes back is the host's output world.
#pragma once

#include "Controls.h"
#include "Frames.h"
#include "HostSim.h"

#include <memory>
#include <string>

struct RenderSetup {
    std::string module_path;
    PixelDepth depth = PixelDepth::Bits8;   // every world: layers and output
    int downsample = 1;                     // the host renders at 1/downsample of full resolution
    bool legacy = false;                    // PF_Cmd_RENDER instead of the smart road
    Renderer renderer = Renderer::Cpu;
};

struct RenderedFrame {
    FloatImage image;              // the output layer at the render's resolution, B, G, R, A straight
    Renderer drawn_by = Renderer::Cpu;
    std::string gpu_note;          // why a GPU asked for did not draw it
    double milliseconds = 0;       // the render command
};

class FrameRenderer {
public:
    // Loads and starts the module; with --renderer opencl or cuda the device must set up. The host's abort
    // callback answers "cancel" once the user interrupts (Ctrl-C). Throws CliError.
    explicit FrameRenderer(const RenderSetup& setup);

    HostSim& host() { return *host_; }
    // The input layer as the host holds it: at the render's resolution, in the setup's depth.
    const PixelBuffer& input() const { return host_->layers().At(input_layer_); }
    const RenderSetup& setup() const { return setup_; }

    // The input layer, from a full-resolution image already in the setup's depth. Later inputs must have
    // the first one's size (a sequence); throws CliError otherwise.
    void SetInput(const FloatImage& image, const std::string& name);
    // The Map Layer, any size; again for each frame of a map sequence.
    void SetMap(const FloatImage& image);
    // Applies the controls; the input must be set (a look scales Wave Size to the layer's size).
    void ApplyControls(const ControlPlan& plan);

    // The output layer at `time`. Throws Interrupted when the user cancelled it, CliError when the effect
    // failed.
    RenderedFrame Render(const HostTime& time, const std::string& what);

private:
    void UseLayerSize();

    RenderSetup setup_;
    std::unique_ptr<HostSim> host_;
    int input_layer_ = NO_LAYER;
    int map_layer_ = NO_LAYER;
    A_long full_width_ = 0, full_height_ = 0;   // the input at full resolution
};

// The layer as a host renders it at 1/factor resolution: each pixel the average of a factor x factor block
// (premultiplied, so transparent pixels add no colour), blocks at the right and bottom edges cut short;
// integer depths keep their levels.
FloatImage DownsampleLayer(const FloatImage& image, int factor, PixelDepth depth);

// The module loaded and started in a host of its own; throws CliError saying why it did not load or start.
std::unique_ptr<HostSim> StartPlugin(const std::string& module_path);

// The plug-in module: `explicit_path` when given, else beside the program, in the build tree's host/
// folder beside the program's cli/ folder, or where the build put it. Throws CliError when none exists.
std::string FindModule(const std::string& explicit_path);
