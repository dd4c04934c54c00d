// The CPU render of one frame, shared by the smart render and the legacy render: the worlds they checked
// out or were handed become work buffers, the frame record is built from the pre-render record, and
// every output row is shaded on the band renderer's threads and written back in the output's depth.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"
#include "RenderGeometry.h"

// One host world and the pixel format to read or write it in.
struct FormattedWorld {
    PF_EffectWorld* world = nullptr;
    PF_PixelFormat format = PF_PixelFormat_ARGB32;
};

// Renders the frame of `data` into output (non-empty, with pixels). An input that is missing, empty or
// without pixels clears the output to transparent black; a map that is missing or without pixels is left
// out. in_data's abort callback is polled while the rows are shaded. Returns PF_Err_NONE, or
// PF_Interrupt_CANCEL when aborted (rows written before the abort stay). Out of memory raises
// std::bad_alloc; every buffer is freed on the way out.
PF_Err RenderFrameCPU(const PF_InData& in_data, const PreRenderData& data, FormattedWorld input,
                      FormattedWorld output, FormattedWorld map);

// Whether a world can be read or written: present, at least one pixel wide and high, with pixel data.
bool HasPixels(const PF_EffectWorld* world);
