// One effect instance as the plug-in keeps it between actions, and the actions that read or render it.
// Every action handler here throws ActionFailure for a failure the user should hear of; the entry
// (OfxPlugin.cpp) turns it into the status and posts the text.
#pragma once

#include "OfxHostApi.h"
#include "OfxParams.h"

#include <utility>

// Found once at instance creation and only read afterwards, so renders on several threads share it.
struct EffectInstance {
    OfxImageEffectHandle effect = nullptr;
    OfxParamSetHandle param_set = nullptr;
    OfxImageClipHandle source = nullptr;
    OfxImageClipHandle output = nullptr;
    OfxImageClipHandle map = nullptr;   // the general context's strength map; null in the filter context
    ParamHandles params{};
};

// The instance record kept in the effect's instance data; throws ActionFailure when there is none.
EffectInstance& InstanceOf(OfxImageEffectHandle effect);

// The source layer's full-resolution size in pixels (its region of definition, pixel aspect taken out),
// for Scale With Layer and the looks; 0 x 0 when the clip has none.
std::pair<int, int> LayerSizeAt(const EffectInstance& instance, OfxTime time);

// kOfxImageEffectActionGetRegionsOfInterest.
OfxStatus RegionsOfInterest(const EffectInstance& instance, const PropertySet& in_args, const PropertySet& out_args);

// kOfxImageEffectActionGetClipPreferences.
OfxStatus ClipPreferences(const EffectInstance& instance, const PropertySet& out_args);

// kOfxImageEffectActionRender.
OfxStatus Render(const EffectInstance& instance, const PropertySet& in_args);
