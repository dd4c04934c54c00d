// The suites of the test host: image effect, parameter and message suites over the host's objects (the
// property suite is in Properties.cpp).
#include "OfxHostSim.h"

#include <cstdarg>
#include <cstdio>

HostParam* HostParamSet::Find(const std::string& name)
{
    for (HostParam& param : params) {
        if (param.name == name) {
            return &param;
        }
    }
    return nullptr;
}

HostClip* HostEffect::Clip(const std::string& name)
{
    for (HostClip& clip : clips) {
        if (clip.name == name) {
            return &clip;
        }
    }
    return nullptr;
}

namespace {

HostEffect* EffectOf(OfxImageEffectHandle handle)
{
    return reinterpret_cast<HostEffect*>(handle);
}

HostClip* ClipOf(OfxImageClipHandle handle)
{
    return reinterpret_cast<HostClip*>(handle);
}

HostParam* ParamOf(OfxParamHandle handle)
{
    return reinterpret_cast<HostParam*>(handle);
}

HostParamSet* ParamSetOf(OfxParamSetHandle handle)
{
    return reinterpret_cast<HostParamSet*>(handle);
}

// ---- image effect suite ----

OfxStatus ClipDefine(OfxImageEffectHandle effect, const char* name, OfxPropertySetHandle* props)
{
    HostEffect* e = EffectOf(effect);
    if (!e || !name || !props) {
        return kOfxStatErrBadHandle;
    }
    if (e->is_instance || e->Clip(name)) {
        return kOfxStatErrExists;
    }
    HostClip& clip = e->clips.emplace_back();
    clip.name = name;
    clip.effect = e;
    clip.props.Set(kOfxPropType, kOfxTypeClip);
    clip.props.Set(kOfxPropName, name);
    *props = clip.props.handle();
    return kOfxStatOK;
}

OfxStatus ClipGetHandle(OfxImageEffectHandle effect, const char* name, OfxImageClipHandle* clip,
                        OfxPropertySetHandle* props)
{
    HostEffect* e = EffectOf(effect);
    HostClip* c = e && name ? e->Clip(name) : nullptr;
    if (!c || !clip) {
        return kOfxStatErrBadHandle;
    }
    *clip = reinterpret_cast<OfxImageClipHandle>(c);
    if (props) {
        *props = c->props.handle();
    }
    return kOfxStatOK;
}

const OfxImageEffectSuiteV1 IMAGE_EFFECT_SUITE = {
    [](OfxImageEffectHandle effect, OfxPropertySetHandle* props) -> OfxStatus {
        if (!effect || !props) {
            return kOfxStatErrBadHandle;
        }
        *props = EffectOf(effect)->props.handle();
        return kOfxStatOK;
    },
    [](OfxImageEffectHandle effect, OfxParamSetHandle* set) -> OfxStatus {
        if (!effect || !set) {
            return kOfxStatErrBadHandle;
        }
        *set = reinterpret_cast<OfxParamSetHandle>(&EffectOf(effect)->params);
        return kOfxStatOK;
    },
    ClipDefine,
    ClipGetHandle,
    [](OfxImageClipHandle clip, OfxPropertySetHandle* props) -> OfxStatus {
        if (!clip || !props) {
            return kOfxStatErrBadHandle;
        }
        *props = ClipOf(clip)->props.handle();
        return kOfxStatOK;
    },
    [](OfxImageClipHandle clip, OfxTime time, const OfxRectD* region, OfxPropertySetHandle* image) -> OfxStatus {
        HostClip* c = ClipOf(clip);
        if (!c || !image || !c->effect || !c->effect->is_instance) {
            return kOfxStatErrBadHandle;
        }
        return c->effect->host->GetImage(*c, time, region, image);
    },
    [](OfxPropertySetHandle image) -> OfxStatus {
        OfxHostSim* host = OfxHostSim::Current();
        return host ? host->ReleaseImage(image) : kOfxStatErrBadHandle;
    },
    [](OfxImageClipHandle clip, OfxTime, OfxRectD* bounds) -> OfxStatus {
        HostClip* c = ClipOf(clip);
        if (!c || !bounds || !c->effect || !c->effect->is_instance) {
            return kOfxStatErrBadHandle;
        }
        *bounds = c->effect->host->RegionOfDefinition(*c);
        return kOfxStatOK;
    },
    [](OfxImageEffectHandle effect) -> int { return effect && EffectOf(effect)->host->Abort() ? 1 : 0; },
    [](OfxImageEffectHandle, size_t, OfxImageMemoryHandle*) -> OfxStatus { return kOfxStatErrUnsupported; },
    [](OfxImageMemoryHandle) -> OfxStatus { return kOfxStatErrUnsupported; },
    [](OfxImageMemoryHandle, void**) -> OfxStatus { return kOfxStatErrUnsupported; },
    [](OfxImageMemoryHandle) -> OfxStatus { return kOfxStatErrUnsupported; },
};

// ---- parameter suite ----

OfxStatus ParamDefine(OfxParamSetHandle set, const char* type, const char* name, OfxPropertySetHandle* props)
{
    HostParamSet* s = ParamSetOf(set);
    if (!s || !type || !name) {
        return kOfxStatErrBadHandle;
    }
    if (s->Find(name)) {
        return kOfxStatErrExists;
    }
    HostParam& param = s->params.emplace_back();
    param.name = name;
    param.type = type;
    param.props.Set(kOfxPropType, kOfxTypeParameter);
    param.props.Set(kOfxPropName, name);
    param.props.Set(kOfxParamPropType, type);
    if (props) {
        *props = param.props.handle();
    }
    return kOfxStatOK;
}

OfxStatus ParamGetHandle(OfxParamSetHandle set, const char* name, OfxParamHandle* param, OfxPropertySetHandle* props)
{
    HostParam* p = set && name ? ParamSetOf(set)->Find(name) : nullptr;
    if (!p || !param) {
        return kOfxStatErrUnknown;
    }
    *param = reinterpret_cast<OfxParamHandle>(p);
    if (props) {
        *props = p->props.handle();
    }
    return kOfxStatOK;
}

// Values are constant over time here: the value at any time is the value.
OfxStatus GetValue(HostParam* p, va_list args)
{
    if (!p || !p->HasValue()) {
        return kOfxStatErrBadHandle;
    }
    if (p->IsDouble()) {
        *va_arg(args, double*) = p->number;
    } else {
        *va_arg(args, int*) = p->integer;
    }
    return kOfxStatOK;
}

OfxStatus ParamGetValue(OfxParamHandle param, ...)
{
    va_list args;
    va_start(args, param);
    const OfxStatus status = GetValue(ParamOf(param), args);
    va_end(args);
    return status;
}

OfxStatus ParamGetValueAtTime(OfxParamHandle param, OfxTime time, ...)
{
    va_list args;
    va_start(args, time);
    const OfxStatus status = GetValue(ParamOf(param), args);
    va_end(args);
    return status;
}

OfxStatus ParamSetValue(OfxParamHandle param, ...)
{
    HostParam* p = ParamOf(param);
    if (!p || !p->HasValue()) {
        return kOfxStatErrBadHandle;
    }
    va_list args;
    va_start(args, param);
    if (p->IsDouble()) {
        p->number = va_arg(args, double);
    } else {
        p->integer = va_arg(args, int);
    }
    va_end(args);
    if (OfxHostSim* host = OfxHostSim::Current()) {
        host->PluginEdited(*p);
    }
    return kOfxStatOK;
}

// Derivatives, integrals and keyframes: the test host has no animation curves.
OfxStatus NoCurveAt(OfxParamHandle, OfxTime, ...)
{
    return kOfxStatErrUnsupported;
}

OfxStatus NoCurveBetween(OfxParamHandle, OfxTime, OfxTime, ...)
{
    return kOfxStatErrUnsupported;
}

const OfxParameterSuiteV1 PARAMETER_SUITE = {
    ParamDefine,
    ParamGetHandle,
    [](OfxParamSetHandle set, OfxPropertySetHandle* props) -> OfxStatus {
        if (!set || !props) {
            return kOfxStatErrBadHandle;
        }
        *props = ParamSetOf(set)->props.handle();
        return kOfxStatOK;
    },
    [](OfxParamHandle param, OfxPropertySetHandle* props) -> OfxStatus {
        if (!param || !props) {
            return kOfxStatErrBadHandle;
        }
        *props = ParamOf(param)->props.handle();
        return kOfxStatOK;
    },
    ParamGetValue,
    ParamGetValueAtTime,
    NoCurveAt,
    NoCurveBetween,
    ParamSetValue,
    NoCurveAt,
    [](OfxParamHandle param, unsigned int* keys) -> OfxStatus {
        if (!param || !keys) {
            return kOfxStatErrBadHandle;
        }
        *keys = 0;
        return kOfxStatOK;
    },
    [](OfxParamHandle, unsigned int, OfxTime*) -> OfxStatus { return kOfxStatErrBadIndex; },
    [](OfxParamHandle, OfxTime, int, int*) -> OfxStatus { return kOfxStatFailed; },
    [](OfxParamHandle, OfxTime) -> OfxStatus { return kOfxStatErrBadIndex; },
    [](OfxParamHandle) -> OfxStatus { return kOfxStatOK; },
    [](OfxParamHandle, OfxParamHandle, OfxTime, const OfxRangeD*) -> OfxStatus { return kOfxStatErrUnsupported; },
    [](OfxParamSetHandle set, const char*) -> OfxStatus {
        OfxHostSim* host = OfxHostSim::Current();
        if (!set || !host) {
            return kOfxStatErrBadHandle;
        }
        host->BeginEdit();
        return kOfxStatOK;
    },
    [](OfxParamSetHandle set) -> OfxStatus {
        OfxHostSim* host = OfxHostSim::Current();
        if (!set || !host) {
            return kOfxStatErrBadHandle;
        }
        return host->EndEdit() ? kOfxStatOK : kOfxStatFailed;
    },
};

// ---- message suite (version 2, whose table begins with version 1's) ----

std::string Format(const char* format, va_list args)
{
    char text[1024];
    std::vsnprintf(text, sizeof text, format ? format : "", args);
    return text;
}

OfxStatus Post(void* handle, const char* type, bool persistent, const char* format, va_list args)
{
    OfxHostSim* host = OfxHostSim::Current();
    if (!host || (persistent && !handle)) {
        return kOfxStatErrBadHandle;
    }
    host->messages.push_back(PostedMessage{type ? type : "", Format(format, args), persistent});
    return kOfxStatOK;
}

OfxStatus Message(void* handle, const char* type, const char*, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const OfxStatus status = Post(handle, type, false, format, args);
    va_end(args);
    return status;
}

OfxStatus PersistentMessage(void* handle, const char* type, const char*, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const OfxStatus status = Post(handle, type, true, format, args);
    va_end(args);
    return status;
}

const OfxMessageSuiteV2 MESSAGE_SUITE = {
    Message,
    PersistentMessage,
    [](void* handle) -> OfxStatus {
        OfxHostSim* host = OfxHostSim::Current();
        if (!host || !handle) {
            return kOfxStatErrBadHandle;
        }
        host->ClearPersistentMessages();
        return kOfxStatOK;
    },
};

}   // namespace

const void* FetchHostSuite(const char* name, int version)
{
    const std::string suite = name ? name : "";
    if (suite == kOfxPropertySuite && version == 1) {
        return PropertySuite();
    }
    if (suite == kOfxImageEffectSuite && version == 1) {
        return &IMAGE_EFFECT_SUITE;
    }
    if (suite == kOfxParameterSuite && version == 1) {
        return &PARAMETER_SUITE;
    }
    if (suite == kOfxMessageSuite && (version == 1 || version == 2)) {
        return &MESSAGE_SUITE;
    }
    return nullptr;
}
