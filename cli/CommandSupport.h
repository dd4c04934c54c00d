// Steps the render and sheet commands share: checking the command line before any work, and setting up
// the host from it.
#pragma once

#include "Commands.h"
#include "FrameRenderer.h"

#include <string>
#include <vector>

// The look file and --set values, checked against the controls; the Preset menu left alone.
ControlPlan PlanControls(const FrameOptions& options, const ControlCatalogue& controls);

// The host set-up for these options, given the input's own depth. Throws CliError for combinations the
// host cannot render (the legacy road has no float worlds and no GPU).
RenderSetup SetupFor(const GlobalOptions& global, const FrameOptions& options, PixelDepth input_depth);

// Throws CliError when `path` (written by the command, as `role`) names one of `inputs`.
void CheckNotAnInput(const std::string& path, const std::string& role, const std::vector<std::string>& inputs);

// "8-bit", "16-bit", "32-bit float".
std::string DepthName(PixelDepth depth);
// "drawn by cpu in 12.3 ms", with the reason when a GPU asked for did not draw it.
std::string DrawnBy(const RenderedFrame& frame);
