// Shared steps of the render and sheet commands.
#include "CommandSupport.h"

#include "CliError.h"
#include "Paths.h"

#include <cstdio>

ControlPlan PlanControls(const FrameOptions& options, const ControlCatalogue& controls)
{
    ControlPlan plan;
    if (options.look) {
        plan.look = ReadLookFile(*options.look, controls);
    }
    for (const std::string& setting : options.settings) {
        plan.settings.push_back(ParseSetting(controls, setting));
    }
    return plan;
}

RenderSetup SetupFor(const GlobalOptions& global, const FrameOptions& options, PixelDepth input_depth)
{
    RenderSetup setup;
    setup.depth = options.depth == 0 ? input_depth : static_cast<PixelDepth>(options.depth);
    setup.downsample = options.downsample;
    setup.legacy = options.legacy;
    if (!ParseRenderer(options.renderer, setup.renderer)) {
        throw CliError("--renderer " + Quoted(options.renderer) + ": give cpu, opencl, cuda or auto");
    }
    if (setup.legacy && setup.renderer != Renderer::Cpu) {
        throw CliError("--legacy renders through PF_Cmd_RENDER, on the CPU only: leave out --renderer");
    }
    if (setup.legacy && setup.depth == PixelDepth::Float) {
        throw CliError(std::string("--legacy has no 32-bit float worlds") +
                       (options.depth == 0 ? " (the input is float)" : "") + ": add --depth 8 or --depth 16");
    }
    setup.module_path = FindModule(global.module);
    return setup;
}

void CheckNotAnInput(const std::string& path, const std::string& role, const std::vector<std::string>& inputs)
{
    for (const std::string& input : inputs) {
        if (SameFile(path, input)) {
            throw CliError("the " + role + " " + path + " is the input " + input + ": choose another name");
        }
    }
}

std::string DepthName(PixelDepth depth)
{
    switch (depth) {
    case PixelDepth::Bits8:
        return "8-bit";
    case PixelDepth::Bits16:
        return "16-bit";
    default:
        return "32-bit float";
    }
}

std::string DrawnBy(const RenderedFrame& frame)
{
    char ms[32];
    std::snprintf(ms, sizeof(ms), "%.1f", frame.milliseconds);
    std::string text = std::string("drawn by ") + RendererName(frame.drawn_by) + " in " + ms + " ms";
    if (!frame.gpu_note.empty()) {
        text += " (no GPU: " + frame.gpu_note + ")";
    }
    return text;
}
