// The OpenFX entry: the plug-in record, and one dispatch for every action inside one catch-all that maps
// failures to the host's status codes and never lets an exception out.
#include "OfxEffect.h"
#include "OfxExports.h"
#include "OfxIdentity.h"

#include "LayerScale.h"
#include "ParamRules.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

void SetHost(OfxHost* host)
{
    Suites().host = host;
}

PropertySet EffectProps(OfxImageEffectHandle effect)
{
    OfxPropertySetHandle handle = nullptr;
    const OfxStatus status = Suites().effects->getPropertySet(effect, &handle);
    if (status != kOfxStatOK || !handle) {
        throw ActionFailure(status == kOfxStatOK ? kOfxStatErrBadHandle : status,
                            "Quaverflux: the host gave no properties for the effect");
    }
    return PropertySet(handle);
}

OfxStatus Describe(OfxImageEffectHandle effect)
{
    const PropertySet props = EffectProps(effect);
    props.Set(kOfxPropLabel, OFX_PLUGIN_LABEL);
    props.Set(kOfxPropShortLabel, OFX_PLUGIN_LABEL);
    props.Set(kOfxPropLongLabel, OFX_PLUGIN_LABEL);
    props.Set(kOfxImageEffectPluginPropGrouping, OFX_PLUGIN_GROUPING);
    props.Set(kOfxPropPluginDescription, OFX_PLUGIN_DESCRIPTION);
    props.Set(kOfxPropVersion, static_cast<int>(OFX_PLUGIN_VERSION_MAJOR), 0);
    props.Set(kOfxPropVersion, static_cast<int>(OFX_PLUGIN_VERSION_MINOR), 1);
    props.Set(kOfxPropVersion, static_cast<int>(OFX_PLUGIN_VERSION_FIX), 2);
    props.Set(kOfxPropVersionLabel, OFX_PLUGIN_VERSION_TEXT);
    props.SetStrings(kOfxImageEffectPropSupportedContexts,
                     {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral});
    props.SetStrings(kOfxImageEffectPropSupportedPixelDepths, {kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat});
    props.Set(kOfxImageEffectPluginPropSingleInstance, 0);
    // Renders share nothing but read-only state, and each spreads its rows over the processors itself
    // (the core's band renderer: rows handed out one by one to balance their very different costs, the
    // host's abort asked on the calling thread), so the host need not split frames into slices.
    props.Set(kOfxImageEffectPluginRenderThreadSafety, kOfxImageEffectRenderFullySafe);
    props.Set(kOfxImageEffectPluginPropHostFrameThreading, 0);
    props.Set(kOfxImageEffectPropSupportsMultiResolution, 1);
    props.Set(kOfxImageEffectPropSupportsTiles, 1);
    props.Set(kOfxImageEffectPropTemporalClipAccess, 0);
    props.Set(kOfxImageEffectPropSupportsMultipleClipDepths, 0);
    props.Set(kOfxImageEffectPropSupportsMultipleClipPARs, 0);
    // Whether frames vary in time depends on the speeds (ClipPreferences): the host asks again when they change.
    int slave = 0;
    for (int index : {PARAM_EVOLUTION_SPEED, PARAM_DRIFT_SPEED_X, PARAM_DRIFT_SPEED_Y}) {
        props.Set(kOfxImageEffectPropClipPreferencesSlaveParam, OfxParamName(index), slave++);
    }
    return kOfxStatOK;
}

void DefineClip(OfxImageEffectHandle effect, const char* name, const char* label, bool optional)
{
    OfxPropertySetHandle handle = nullptr;
    const OfxStatus status = Suites().effects->clipDefine(effect, name, &handle);
    if (status != kOfxStatOK || !handle) {
        throw ActionFailure(status == kOfxStatOK ? kOfxStatFailed : status,
                            std::string("Quaverflux: the host refused the clip ") + name);
    }
    const PropertySet props(handle);
    props.Set(kOfxPropLabel, label);
    props.SetStrings(kOfxImageEffectPropSupportedComponents, {kOfxImageComponentRGBA});
    props.Set(kOfxImageEffectPropSupportsTiles, 1);
    props.Set(kOfxImageEffectPropTemporalClipAccess, 0);
    props.Set(kOfxImageClipPropOptional, optional ? 1 : 0);
    props.Set(kOfxImageClipPropIsMask, 0);
}

OfxStatus DescribeInContext(OfxImageEffectHandle effect, const PropertySet& in_args)
{
    const std::string context = in_args.String(kOfxImageEffectPropContext).value_or("");
    const bool general = context == kOfxImageEffectContextGeneral;
    if (!general && context != kOfxImageEffectContextFilter) {
        return kOfxStatErrMissingHostFeature;
    }
    DefineClip(effect, kOfxImageEffectSimpleSourceClipName, kOfxImageEffectSimpleSourceClipName, false);
    if (general) {
        DefineClip(effect, OFX_MAP_CLIP_NAME, OFX_MAP_CLIP_LABEL, true);
    }
    DefineClip(effect, kOfxImageEffectOutputClipName, kOfxImageEffectOutputClipName, false);
    OfxParamSetHandle param_set = nullptr;
    if (Suites().effects->getParamSet(effect, &param_set) != kOfxStatOK || !param_set) {
        throw ActionFailure(kOfxStatFailed, "Quaverflux: the host gave no parameter set");
    }
    DescribeParams(param_set, general);
    return kOfxStatOK;
}

OfxImageClipHandle Clip(OfxImageEffectHandle effect, const char* name)
{
    OfxImageClipHandle clip = nullptr;
    return Suites().effects->clipGetHandle(effect, name, &clip, nullptr) == kOfxStatOK ? clip : nullptr;
}

OfxStatus CreateInstance(OfxImageEffectHandle effect)
{
    const PropertySet props = EffectProps(effect);
    auto instance = std::make_unique<EffectInstance>();
    instance->effect = effect;
    instance->source = Clip(effect, kOfxImageEffectSimpleSourceClipName);
    instance->output = Clip(effect, kOfxImageEffectOutputClipName);
    if (props.String(kOfxImageEffectPropContext) == std::string(kOfxImageEffectContextGeneral)) {
        instance->map = Clip(effect, OFX_MAP_CLIP_NAME);
    }
    if (!instance->source || !instance->output ||
        Suites().effects->getParamSet(effect, &instance->param_set) != kOfxStatOK || !instance->param_set) {
        throw ActionFailure(kOfxStatFailed, "Quaverflux: the host gave the instance no clips or parameters");
    }
    instance->params = FindParams(instance->param_set);
    // A project may come back with Loop on.
    ShowLoopDurationState(instance->params, ReadControls(instance->params, 0.0));
    props.Set(kOfxPropInstanceData, static_cast<void*>(instance.get()));
    instance.release();
    return kOfxStatOK;
}

OfxStatus DestroyInstance(OfxImageEffectHandle effect)
{
    const PropertySet props = EffectProps(effect);
    delete static_cast<EffectInstance*>(props.Pointer(kOfxPropInstanceData));
    props.Set(kOfxPropInstanceData, static_cast<void*>(nullptr));
    return kOfxStatOK;
}

// A control changed. Only the user's own edits choose a look or turn the Preset menu to "Custom": the
// values the plug-in writes come back here as its edits and change nothing more.
OfxStatus InstanceChanged(const EffectInstance& instance, const PropertySet& in_args)
{
    if (in_args.String(kOfxPropType) != std::string(kOfxTypeParameter)) {
        return kOfxStatReplyDefault;
    }
    const int index = OfxParamIndex(in_args.String(kOfxPropName).value_or(""));
    if (index < 0) {
        return kOfxStatReplyDefault;
    }
    double time = in_args.Double(kOfxPropTime).value_or(0.0);
    time = std::isfinite(time) ? time : 0.0;
    const ParamValues values = ReadControls(instance.params, time);
    if (index == PARAM_LOOP) {
        ShowLoopDurationState(instance.params, values);
    }
    if (in_args.String(kOfxPropChangeReason) != std::string(kOfxChangeUserEdited)) {
        return kOfxStatOK;
    }
    const auto [width, height] = LayerSizeAt(instance, time);
    const ParamChanges changes = ChangesAfterEdit(index, values, LayerScaleFactor(width, height));
    if (changes.count == 0) {
        return kOfxStatOK;
    }
    // One undo step for the whole look.
    Suites().params->paramEditBegin(instance.param_set, "Preset");
    OfxStatus result = kOfxStatOK;
    for (const ParamChange& change : changes) {
        const OfxStatus status = WriteControl(instance.params, change);
        result = result == kOfxStatOK ? status : result;
    }
    Suites().params->paramEditEnd(instance.param_set);
    if (result != kOfxStatOK) {
        throw ActionFailure(result, "Quaverflux: the host refused a value of the look (status " +
                                        std::to_string(result) + ")");
    }
    return kOfxStatOK;
}

// Posts a failure's text where the user sees it: on the effect until the next good render where the
// host keeps such messages, else as a one-off message.
void PostError(const void* handle, const char* text, bool on_effect)
{
    const HostSuites& s = Suites();
    void* target = const_cast<void*>(handle);
    if (on_effect && s.messages_v2) {
        s.messages_v2->setPersistentMessage(target, kOfxMessageError, "", "%s", text);
    } else if (s.messages_v1) {
        s.messages_v1->message(target, kOfxMessageError, "", "%s", text);
    }
}

OfxStatus Dispatch(const char* action, OfxImageEffectHandle effect, const PropertySet& in_args,
                   const PropertySet& out_args)
{
    if (std::strcmp(action, kOfxActionDescribe) == 0) {
        return Describe(effect);
    }
    if (std::strcmp(action, kOfxImageEffectActionDescribeInContext) == 0) {
        return DescribeInContext(effect, in_args);
    }
    if (std::strcmp(action, kOfxActionCreateInstance) == 0) {
        return CreateInstance(effect);
    }
    if (std::strcmp(action, kOfxActionDestroyInstance) == 0) {
        return DestroyInstance(effect);
    }
    if (std::strcmp(action, kOfxActionInstanceChanged) == 0) {
        return InstanceChanged(InstanceOf(effect), in_args);
    }
    if (std::strcmp(action, kOfxImageEffectActionGetRegionsOfInterest) == 0) {
        return RegionsOfInterest(InstanceOf(effect), in_args, out_args);
    }
    if (std::strcmp(action, kOfxImageEffectActionGetClipPreferences) == 0) {
        return ClipPreferences(InstanceOf(effect), out_args);
    }
    if (std::strcmp(action, kOfxImageEffectActionRender) == 0) {
        const OfxStatus status = Render(InstanceOf(effect), in_args);
        if (status == kOfxStatOK && Suites().messages_v2) {
            Suites().messages_v2->clearPersistentMessage(effect);
        }
        return status;
    }
    return kOfxStatReplyDefault;
}

OfxStatus MainEntry(const char* action, const void* handle, OfxPropertySetHandle in_args,
                    OfxPropertySetHandle out_args)
{
    if (!action) {
        return kOfxStatErrBadHandle;
    }
    if (std::strcmp(action, kOfxActionLoad) == 0) {
        return FetchSuites();
    }
    if (std::strcmp(action, kOfxActionUnload) == 0) {
        return kOfxStatOK;   // the suites stay valid while the binary is loaded
    }
    if (!Suites().props || !Suites().effects || !Suites().params) {
        return kOfxStatErrMissingHostFeature;
    }
    const bool render = std::strcmp(action, kOfxImageEffectActionRender) == 0;
    try {
        return Dispatch(action, static_cast<OfxImageEffectHandle>(const_cast<void*>(handle)), PropertySet(in_args),
                        PropertySet(out_args));
    } catch (const ActionFailure& failure) {
        PostError(handle, failure.what(), render);
        return failure.status();
    } catch (const std::bad_alloc&) {
        PostError(handle, "Quaverflux: out of memory", render);
        return kOfxStatErrMemory;
    } catch (...) {
        PostError(handle, "Quaverflux: internal error", render);
        return kOfxStatFailed;
    }
}

OfxPlugin PLUGIN = {
    kOfxImageEffectPluginApi, kOfxImageEffectPluginApiVersion, OFX_PLUGIN_IDENTIFIER,
    OFX_PLUGIN_VERSION_MAJOR, OFX_PLUGIN_VERSION_MINOR, SetHost, MainEntry,
};

}   // namespace

EffectInstance& InstanceOf(OfxImageEffectHandle effect)
{
    auto* instance = static_cast<EffectInstance*>(EffectProps(effect).Pointer(kOfxPropInstanceData));
    if (!instance) {
        throw ActionFailure(kOfxStatErrBadHandle, "Quaverflux: an action came for an instance never created");
    }
    return *instance;
}

int OfxGetNumberOfPlugins(void)
{
    return 1;
}

OfxPlugin* OfxGetPlugin(int nth)
{
    return nth == 0 ? &PLUGIN : nullptr;
}
