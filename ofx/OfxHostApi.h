// The host as the plug-in reaches it: the suites fetched once at load, and small typed helpers over the
// property suite. Everything here is process-wide and read-only after the load action, so render
// threads share it without locks.
#pragma once

#include "ofxCore.h"
#include "ofxImageEffect.h"
#include "ofxMessage.h"
#include "ofxParam.h"
#include "ofxProperty.h"

#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>

struct HostSuites {
    OfxHost* host = nullptr;                            // from setHost
    const OfxPropertySuiteV1* props = nullptr;          // required
    const OfxImageEffectSuiteV1* effects = nullptr;     // required
    const OfxParameterSuiteV1* params = nullptr;        // required
    const OfxMessageSuiteV2* messages_v2 = nullptr;     // optional: persistent messages
    const OfxMessageSuiteV1* messages_v1 = nullptr;     // optional: transient messages
};

// The suites of the host that loaded the plug-in.
HostSuites& Suites();

// Fetches the suites from the host given to setHost; kOfxStatErrMissingHostFeature when a required one
// is missing (the plug-in then stays unusable: every later action fails the same way).
OfxStatus FetchSuites();

// A failure of an action with the status to return and, where the user should hear of it, the text to
// post on the effect.
class ActionFailure : public std::runtime_error {
public:
    ActionFailure(OfxStatus status, const std::string& message) : std::runtime_error(message), status_(status) {}
    OfxStatus status() const { return status_; }

private:
    OfxStatus status_;
};

// One property set through the property suite. Setters report nothing: a host may not know an optional
// property, and describing must go on. Getters give nothing when the host has no such property.
class PropertySet {
public:
    explicit PropertySet(OfxPropertySetHandle handle) : handle_(handle) {}
    OfxPropertySetHandle handle() const { return handle_; }

    void Set(const char* name, const char* value, int index = 0) const;
    void Set(const char* name, const std::string& value, int index = 0) const { Set(name, value.c_str(), index); }
    void Set(const char* name, int value, int index = 0) const;
    void Set(const char* name, double value, int index = 0) const;
    void Set(const char* name, void* value, int index = 0) const;
    void SetStrings(const char* name, std::initializer_list<const char*> values) const;

    std::optional<std::string> String(const char* name, int index = 0) const;
    std::optional<int> Int(const char* name, int index = 0) const;
    std::optional<double> Double(const char* name, int index = 0) const;
    void* Pointer(const char* name, int index = 0) const;   // null when absent
    // `count` elements at once; false when the host has fewer.
    bool Ints(const char* name, int count, int* values) const;
    bool Doubles(const char* name, int count, double* values) const;

private:
    OfxPropertySetHandle handle_;
};
