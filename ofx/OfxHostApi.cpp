// The host's suites and typed property access.
#include "OfxHostApi.h"

HostSuites& Suites()
{
    static HostSuites suites;
    return suites;
}

OfxStatus FetchSuites()
{
    HostSuites& s = Suites();
    if (!s.host || !s.host->fetchSuite) {
        return kOfxStatErrMissingHostFeature;
    }
    auto fetch = [&](const char* name, int version) { return s.host->fetchSuite(s.host->host, name, version); };
    s.props = static_cast<const OfxPropertySuiteV1*>(fetch(kOfxPropertySuite, 1));
    s.effects = static_cast<const OfxImageEffectSuiteV1*>(fetch(kOfxImageEffectSuite, 1));
    s.params = static_cast<const OfxParameterSuiteV1*>(fetch(kOfxParameterSuite, 1));
    s.messages_v2 = static_cast<const OfxMessageSuiteV2*>(fetch(kOfxMessageSuite, 2));
    s.messages_v1 = static_cast<const OfxMessageSuiteV1*>(fetch(kOfxMessageSuite, 1));
    return s.props && s.effects && s.params ? kOfxStatOK : kOfxStatErrMissingHostFeature;
}

void PropertySet::Set(const char* name, const char* value, int index) const
{
    Suites().props->propSetString(handle_, name, index, value);
}

void PropertySet::Set(const char* name, int value, int index) const
{
    Suites().props->propSetInt(handle_, name, index, value);
}

void PropertySet::Set(const char* name, double value, int index) const
{
    Suites().props->propSetDouble(handle_, name, index, value);
}

void PropertySet::Set(const char* name, void* value, int index) const
{
    Suites().props->propSetPointer(handle_, name, index, value);
}

void PropertySet::SetStrings(const char* name, std::initializer_list<const char*> values) const
{
    int index = 0;
    for (const char* value : values) {
        Set(name, value, index++);
    }
}

std::optional<std::string> PropertySet::String(const char* name, int index) const
{
    char* value = nullptr;
    if (Suites().props->propGetString(handle_, name, index, &value) != kOfxStatOK || !value) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<int> PropertySet::Int(const char* name, int index) const
{
    int value = 0;
    if (Suites().props->propGetInt(handle_, name, index, &value) != kOfxStatOK) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> PropertySet::Double(const char* name, int index) const
{
    double value = 0.0;
    if (Suites().props->propGetDouble(handle_, name, index, &value) != kOfxStatOK) {
        return std::nullopt;
    }
    return value;
}

void* PropertySet::Pointer(const char* name, int index) const
{
    void* value = nullptr;
    if (Suites().props->propGetPointer(handle_, name, index, &value) != kOfxStatOK) {
        return nullptr;
    }
    return value;
}

bool PropertySet::Ints(const char* name, int count, int* values) const
{
    return Suites().props->propGetIntN(handle_, name, count, values) == kOfxStatOK;
}

bool PropertySet::Doubles(const char* name, int count, double* values) const
{
    return Suites().props->propGetDoubleN(handle_, name, count, values) == kOfxStatOK;
}
