// OpenFX parameters from the parameter table.
#include "OfxParams.h"

#include "ParamTable.h"

#include <cctype>
#include <string>

namespace {

constexpr double PERCENT = 100.0;
// A hint of range for the angle sliders a host draws: one turn. The value itself is not limited.
constexpr double ANGLE_DISPLAY_MAX = 360.0;

bool HasOfxParam(const ParamSpec& spec)
{
    return spec.kind != ParamKind::Layer && spec.kind != ParamKind::Custom && spec.kind != ParamKind::GroupEnd;
}

bool InMapGroup(int index)
{
    return index >= PARAM_STRENGTH_MAP_GROUP && index <= PARAM_STRENGTH_MAP_GROUP_END;
}

const char* OfxTypeOf(ParamKind kind)
{
    switch (kind) {
    case ParamKind::FloatSlider:
    case ParamKind::Angle:
        return kOfxParamTypeDouble;
    case ParamKind::Slider:
        return kOfxParamTypeInteger;
    case ParamKind::Popup:
        return kOfxParamTypeChoice;
    case ParamKind::Checkbox:
        return kOfxParamTypeBoolean;
    default:
        return kOfxParamTypeGroup;
    }
}

// Percent sliders hold fractions in OpenFX: a division by 100 on the way out and a multiplication on the
// way in, so that whole percentages come back exactly.
bool IsPercent(const ParamSpec& spec)
{
    return spec.kind == ParamKind::FloatSlider && spec.percent;
}

double ToOfx(const ParamSpec& spec, double table_value)
{
    return IsPercent(spec) ? table_value / PERCENT : table_value;
}

double FromOfx(const ParamSpec& spec, double ofx_value)
{
    return IsPercent(spec) ? ofx_value * PERCENT : ofx_value;
}

void DescribeValue(const ParamSpec& spec, const PropertySet& props)
{
    switch (spec.kind) {
    case ParamKind::FloatSlider:
        props.Set(kOfxParamPropDoubleType, spec.percent ? kOfxParamDoubleTypeScale : kOfxParamDoubleTypePlain);
        props.Set(kOfxParamPropDefault, ToOfx(spec, spec.dephault));
        props.Set(kOfxParamPropMin, ToOfx(spec, spec.valid_min));
        props.Set(kOfxParamPropMax, ToOfx(spec, spec.valid_max));
        props.Set(kOfxParamPropDisplayMin, ToOfx(spec, spec.slider_min));
        props.Set(kOfxParamPropDisplayMax, ToOfx(spec, spec.slider_max));
        // A fraction needs two more places to show the percentage's.
        props.Set(kOfxParamPropDigits, spec.precision + (spec.percent ? 2 : 0));
        break;
    case ParamKind::Angle:
        props.Set(kOfxParamPropDoubleType, kOfxParamDoubleTypeAngle);
        props.Set(kOfxParamPropDefault, spec.dephault);
        props.Set(kOfxParamPropDisplayMin, 0.0);
        props.Set(kOfxParamPropDisplayMax, ANGLE_DISPLAY_MAX);
        break;
    case ParamKind::Slider:
        props.Set(kOfxParamPropDefault, static_cast<int>(spec.dephault));
        props.Set(kOfxParamPropMin, static_cast<int>(spec.valid_min));
        props.Set(kOfxParamPropMax, static_cast<int>(spec.valid_max));
        props.Set(kOfxParamPropDisplayMin, static_cast<int>(spec.slider_min));
        props.Set(kOfxParamPropDisplayMax, static_cast<int>(spec.slider_max));
        break;
    case ParamKind::Popup: {
        const std::string_view choices(spec.choices);
        int option = 0;
        for (std::size_t start = 0; start <= choices.size();) {
            std::size_t bar = choices.find('|', start);
            bar = bar == std::string_view::npos ? choices.size() : bar;
            props.Set(kOfxParamPropChoiceOption, std::string(choices.substr(start, bar - start)), option++);
            start = bar + 1;
        }
        props.Set(kOfxParamPropDefault, static_cast<int>(spec.dephault) - 1);
        break;
    }
    case ParamKind::Checkbox:
        props.Set(kOfxParamPropDefault, static_cast<int>(spec.dephault));
        break;
    default:
        break;
    }
}

}   // namespace

std::string OfxParamName(int index)
{
    if (index < 0 || index >= PARAM_COUNT || !HasOfxParam(PARAM_TABLE[index])) {
        return {};
    }
    // "PARAM_WAVE_SIZE" -> "waveSize"
    const std::string_view identifier = std::string_view(PARAM_TABLE[index].identifier).substr(6);
    std::string name;
    bool upper = false;
    for (char c : identifier) {
        if (c == '_') {
            upper = true;
            continue;
        }
        const unsigned char u = static_cast<unsigned char>(c);
        name += static_cast<char>(upper ? std::toupper(u) : std::tolower(u));
        upper = false;
    }
    return name;
}

int OfxParamIndex(std::string_view name)
{
    for (int index = 0; index < PARAM_COUNT; ++index) {
        if (!name.empty() && OfxParamName(index) == name) {
            return index;
        }
    }
    return -1;
}

void DescribeParams(OfxParamSetHandle param_set, bool with_map)
{
    const OfxParameterSuiteV1& suite = *Suites().params;
    std::string group;   // the group being filled; empty at the top level
    for (int index = 0; index < PARAM_COUNT; ++index) {
        const ParamSpec& spec = PARAM_TABLE[index];
        if (spec.kind == ParamKind::GroupEnd) {
            group.clear();
        }
        if (!HasOfxParam(spec) || (InMapGroup(index) && !with_map)) {
            continue;
        }
        const std::string name = OfxParamName(index);
        OfxPropertySetHandle handle = nullptr;
        const OfxStatus status = suite.paramDefine(param_set, OfxTypeOf(spec.kind), name.c_str(), &handle);
        if (status != kOfxStatOK || !handle) {
            throw ActionFailure(status == kOfxStatOK ? kOfxStatFailed : status,
                                "Quaverflux: the host refused the parameter \"" + std::string(spec.name) + "\"");
        }
        const PropertySet props(handle);
        props.Set(kOfxPropLabel, spec.name);
        props.Set(kOfxParamPropScriptName, name);
        if (!group.empty()) {
            props.Set(kOfxParamPropParent, group);
        }
        if (spec.kind == ParamKind::GroupStart) {
            props.Set(kOfxParamPropGroupOpen, spec.start_collapsed ? 0 : 1);
            group = name;
            continue;
        }
        props.Set(kOfxParamPropAnimates, spec.fixed_in_time ? 0 : 1);
        if (spec.starts_disabled) {
            props.Set(kOfxParamPropEnabled, 0);
        }
        DescribeValue(spec, props);
    }
}

ParamHandles FindParams(OfxParamSetHandle param_set)
{
    ParamHandles handles{};
    for (int index = 0; index < PARAM_COUNT; ++index) {
        const std::string name = OfxParamName(index);
        if (name.empty() || PARAM_TABLE[index].kind == ParamKind::GroupStart) {
            continue;
        }
        OfxParamHandle handle = nullptr;
        if (Suites().params->paramGetHandle(param_set, name.c_str(), &handle, nullptr) == kOfxStatOK) {
            handles[index] = handle;
        }
    }
    return handles;
}

ParamValues ReadControls(const ParamHandles& params, OfxTime time)
{
    const OfxParameterSuiteV1& suite = *Suites().params;
    ParamValues values{};
    for (int index = 0; index < PARAM_COUNT; ++index) {
        if (!params[index]) {
            continue;
        }
        const ParamSpec& spec = PARAM_TABLE[index];
        OfxStatus status = kOfxStatOK;
        if (spec.kind == ParamKind::FloatSlider || spec.kind == ParamKind::Angle) {
            double value = 0.0;
            status = suite.paramGetValueAtTime(params[index], time, &value);
            values[index] = ParamValueFromNumber(index, FromOfx(spec, value));
        } else {
            int value = 0;
            status = suite.paramGetValueAtTime(params[index], time, &value);
            values[index] = ParamValue::Integer(spec.kind == ParamKind::Popup ? value + 1 : value);
        }
        if (status != kOfxStatOK) {
            throw ActionFailure(kOfxStatFailed, "Quaverflux: the host could not give the value of \"" +
                                                    std::string(spec.name) + "\" (status " +
                                                    std::to_string(status) + ")");
        }
    }
    return values;
}

OfxStatus WriteControl(const ParamHandles& params, const ParamChange& change)
{
    if (change.index < 0 || change.index >= PARAM_COUNT || !params[change.index]) {
        return kOfxStatErrBadIndex;
    }
    const ParamSpec& spec = PARAM_TABLE[change.index];
    const OfxParameterSuiteV1& suite = *Suites().params;
    switch (spec.kind) {
    case ParamKind::FloatSlider:
        return suite.paramSetValue(params[change.index], ToOfx(spec, change.value.number));
    case ParamKind::Angle:
        return suite.paramSetValue(params[change.index], change.value.integer / 65536.0);
    case ParamKind::Popup:
        return suite.paramSetValue(params[change.index], static_cast<int>(change.value.integer - 1));
    default:
        return suite.paramSetValue(params[change.index], static_cast<int>(change.value.integer));
    }
}

void ShowLoopDurationState(const ParamHandles& params, const ParamValues& values)
{
    OfxPropertySetHandle handle = nullptr;
    if (!params[PARAM_LOOP_DURATION] ||
        Suites().params->paramGetPropertySet(params[PARAM_LOOP_DURATION], &handle) != kOfxStatOK || !handle) {
        return;
    }
    PropertySet(handle).Set(kOfxParamPropEnabled, LoopDurationGreyed(values) ? 0 : 1);
}
