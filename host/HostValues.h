// What the host's records say, in the core's terms: control values from parameter definitions, the frame's
// time, downsample and layer scale from in_data, rectangles and worlds.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"
#include "ParamValues.h"
#include "RenderBandCPU.h"
#include "RenderGeometry.h"
#include "WorldView.h"

// The value a definition holds for parameter `index`, read from the member of its kind in the table
// (ParamTable.h): u.fs_d, u.sd, u.ad, u.pd or u.bd. Controls without a value read as zeros.
ParamValue ValueOf(int index, const PF_ParamDef& def);

// Stores a value into the definition of parameter `index`, in the member of its kind, and marks the
// definition PF_ChangeFlag_CHANGED_VALUE for the host to take after the command.
void StoreValue(int index, const ParamValue& value, PF_ParamDef& def);

// The render parameters' values (IsRenderParam) from the host's params array of PARAM_COUNT entries;
// absent entries, the other parameters and a null array read as zeros.
ParamValues RenderValuesOf(PF_ParamDef* const* params);

// The factor of in_data's layer size (LayerScaleFactor); 1 when in_data is missing.
double LayerScaleFactor(const PF_InData* in_data);

// current_time / time_scale in seconds; 0 without in_data or with a zero time scale.
double FrameTimeSeconds(const PF_InData* in_data);

inline float DownsampleFactor(const PF_RationalScale& scale)
{
    return DownsampleFactor(scale.num, scale.den);
}

inline PixelRect ToPixelRect(const PF_LRect& rect)
{
    return PixelRect{rect.left, rect.top, rect.right, rect.bottom};
}

inline PF_LRect ToLRect(const PixelRect& rect)
{
    return PF_LRect{rect.left, rect.top, rect.right, rect.bottom};
}

// The depth of a pixel format code: PF_PixelFormat_ARGB128 float, PF_PixelFormat_ARGB64 16 bits, any
// other code 8 bits.
WorldDepth DepthOf(PF_PixelFormat format);

// The layer position of a world's pixel (0, 0): its own origin when it has one, else the corner of the
// rectangle the host gave for it (a checkout's result rectangle, the output rectangle).
void WorldPosition(const PF_EffectWorld* world, const PF_LRect& rect, std::int32_t& x0, std::int32_t& y0);

// A host world as the core sees it (ARGB in the format's depth), positioned by WorldPosition. No world
// gives a view without pixels.
WorldView ViewOf(const PF_EffectWorld* world, PF_PixelFormat format, const PF_LRect& rect);

// Present, at least one pixel wide and high, with pixel data.
bool HasPixels(const PF_EffectWorld* world);

// Asks in_data's abort callback, with its effect reference, whether to stop: true when it answers an
// error. Empty when the host gives no abort callback.
AbortCallback HostAbort(const PF_InData& in_data);
