// The one call every renderer makes for a frame: the complete QF_Frame from a settings snapshot, a time and
// where the buffers lie.
#pragma once

#include "RenderGeometry.h"
#include "WarpSettings.h"
#include "WarpTypes.h"

// The frame at `time` seconds (non-finite counts as 0), downsample dsx, dsy, over the buffers of `layout`:
// waves and render switches (BuildFrame), geometry (FillGeometry) and the three pitches (map_pitch 0 when
// the frame has no map). band_y0 = 0 and band_h = the output height; reserved words are 0.
QF_Frame MakeFrame(const SanitizedSettings& settings, double time, float dsx, float dsy, const FrameLayout& layout);
