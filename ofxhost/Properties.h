// Property sets as the test host keeps them, and the property suite over them. A set is the handle the
// plug-in holds: OfxPropertySetHandle is a PropertyStore pointer.
#pragma once

#include "ofxCore.h"
#include "ofxProperty.h"

#include <map>
#include <string>
#include <vector>

enum class PropType { String, Int, Double, Pointer };

struct Property {
    PropType type = PropType::Int;
    std::vector<std::string> strings;
    std::vector<int> ints;
    std::vector<double> doubles;
    std::vector<void*> pointers;

    int Dimension() const;
};

class PropertyStore {
public:
    OfxPropertySetHandle handle() { return reinterpret_cast<OfxPropertySetHandle>(this); }
    static PropertyStore* From(OfxPropertySetHandle handle) { return reinterpret_cast<PropertyStore*>(handle); }

    // The host's own writes, replacing the property whole.
    void Set(const std::string& name, std::vector<std::string> values);
    void Set(const std::string& name, const std::string& value) { Set(name, std::vector<std::string>{value}); }
    void Set(const std::string& name, const char* value) { Set(name, std::string(value)); }
    void SetInts(const std::string& name, std::vector<int> values);
    void Set(const std::string& name, int value) { SetInts(name, {value}); }
    void SetDoubles(const std::string& name, std::vector<double> values);
    void Set(const std::string& name, double value) { SetDoubles(name, {value}); }
    void Set(const std::string& name, void* value);

    bool Has(const std::string& name) const { return props_.count(name) != 0; }
    const Property* Find(const std::string& name) const;
    Property* Find(const std::string& name);
    // Element `index`, or the fallback when the property or element is missing or of another type.
    std::string String(const std::string& name, int index = 0, const std::string& fallback = {}) const;
    int Int(const std::string& name, int index = 0, int fallback = 0) const;
    double Double(const std::string& name, int index = 0, double fallback = 0.0) const;
    void* Pointer(const std::string& name, int index = 0) const;
    std::vector<std::string> Strings(const std::string& name) const;

    // Whatever the plug-in writes is kept: a real host would refuse names it does not know, but the tests
    // want to see everything the plug-in says.
    Property& Writable(const std::string& name, PropType type);
    const std::map<std::string, Property>& all() const { return props_; }

private:
    std::map<std::string, Property> props_;
};

// The host's property suite, version 1.
const OfxPropertySuiteV1* PropertySuite();
