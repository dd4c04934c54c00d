// Typed property sets and the property suite: a missing property is kOfxStatErrUnknown, an element past
// the end kOfxStatErrBadIndex, a read of another type kOfxStatErrValue, as hosts answer.
#include "Properties.h"

namespace {

template <typename T> bool Grow(std::vector<T>& values, int index)
{
    if (index < 0) {
        return false;
    }
    if (static_cast<size_t>(index) >= values.size()) {
        values.resize(static_cast<size_t>(index) + 1);
    }
    return true;
}

template <typename T> std::vector<T>& Values(Property& p);
template <> std::vector<std::string>& Values(Property& p) { return p.strings; }
template <> std::vector<int>& Values(Property& p) { return p.ints; }
template <> std::vector<double>& Values(Property& p) { return p.doubles; }
template <> std::vector<void*>& Values(Property& p) { return p.pointers; }

template <typename T> PropType TypeOf();
template <> PropType TypeOf<std::string>() { return PropType::String; }
template <> PropType TypeOf<int>() { return PropType::Int; }
template <> PropType TypeOf<double>() { return PropType::Double; }
template <> PropType TypeOf<void*>() { return PropType::Pointer; }

template <typename T> OfxStatus SetOne(OfxPropertySetHandle set, const char* name, int index, T value)
{
    if (!set || !name) {
        return kOfxStatErrBadHandle;
    }
    Property& p = PropertyStore::From(set)->Writable(name, TypeOf<T>());
    if (p.type != TypeOf<T>()) {
        return kOfxStatErrValue;
    }
    if (!Grow(Values<T>(p), index)) {
        return kOfxStatErrBadIndex;
    }
    Values<T>(p)[static_cast<size_t>(index)] = value;
    return kOfxStatOK;
}

template <typename T> OfxStatus SetMany(OfxPropertySetHandle set, const char* name, int count, const T* values)
{
    for (int i = 0; i < count; ++i) {
        const OfxStatus status = SetOne<T>(set, name, i, values[i]);
        if (status != kOfxStatOK) {
            return status;
        }
    }
    return kOfxStatOK;
}

template <typename T> OfxStatus GetOne(OfxPropertySetHandle set, const char* name, int index, T* value)
{
    if (!set || !name || !value) {
        return kOfxStatErrBadHandle;
    }
    Property* p = PropertyStore::From(set)->Find(name);
    if (!p) {
        return kOfxStatErrUnknown;
    }
    if (p->type != TypeOf<T>()) {
        return kOfxStatErrValue;
    }
    if (index < 0 || static_cast<size_t>(index) >= Values<T>(*p).size()) {
        return kOfxStatErrBadIndex;
    }
    *value = Values<T>(*p)[static_cast<size_t>(index)];
    return kOfxStatOK;
}

template <typename T> OfxStatus GetMany(OfxPropertySetHandle set, const char* name, int count, T* values)
{
    for (int i = 0; i < count; ++i) {
        const OfxStatus status = GetOne<T>(set, name, i, values + i);
        if (status != kOfxStatOK) {
            return status;
        }
    }
    return kOfxStatOK;
}

// Strings are handed out as pointers into the host's copies.
OfxStatus GetString(OfxPropertySetHandle set, const char* name, int index, char** value)
{
    std::string* text = nullptr;
    if (!set || !name || !value) {
        return kOfxStatErrBadHandle;
    }
    Property* p = PropertyStore::From(set)->Find(name);
    if (!p) {
        return kOfxStatErrUnknown;
    }
    if (p->type != PropType::String) {
        return kOfxStatErrValue;
    }
    if (index < 0 || static_cast<size_t>(index) >= p->strings.size()) {
        return kOfxStatErrBadIndex;
    }
    text = &p->strings[static_cast<size_t>(index)];
    *value = text->data();
    return kOfxStatOK;
}

OfxStatus SetString(OfxPropertySetHandle set, const char* name, int index, const char* value)
{
    return value ? SetOne<std::string>(set, name, index, value) : kOfxStatErrValue;
}

const OfxPropertySuiteV1 SUITE = {
    [](OfxPropertySetHandle s, const char* n, int i, void* v) { return SetOne<void*>(s, n, i, v); },
    SetString,
    [](OfxPropertySetHandle s, const char* n, int i, double v) { return SetOne<double>(s, n, i, v); },
    [](OfxPropertySetHandle s, const char* n, int i, int v) { return SetOne<int>(s, n, i, v); },
    [](OfxPropertySetHandle s, const char* n, int c, void* const* v) { return SetMany<void*>(s, n, c, v); },
    [](OfxPropertySetHandle s, const char* n, int c, const char* const* v) {
        for (int i = 0; i < c; ++i) {
            const OfxStatus status = SetString(s, n, i, v[i]);
            if (status != kOfxStatOK) {
                return status;
            }
        }
        return kOfxStatOK;
    },
    [](OfxPropertySetHandle s, const char* n, int c, const double* v) { return SetMany<double>(s, n, c, v); },
    [](OfxPropertySetHandle s, const char* n, int c, const int* v) { return SetMany<int>(s, n, c, v); },
    [](OfxPropertySetHandle s, const char* n, int i, void** v) { return GetOne<void*>(s, n, i, v); },
    GetString,
    [](OfxPropertySetHandle s, const char* n, int i, double* v) { return GetOne<double>(s, n, i, v); },
    [](OfxPropertySetHandle s, const char* n, int i, int* v) { return GetOne<int>(s, n, i, v); },
    [](OfxPropertySetHandle s, const char* n, int c, void** v) { return GetMany<void*>(s, n, c, v); },
    [](OfxPropertySetHandle s, const char* n, int c, char** v) {
        for (int i = 0; i < c; ++i) {
            const OfxStatus status = GetString(s, n, i, v + i);
            if (status != kOfxStatOK) {
                return status;
            }
        }
        return kOfxStatOK;
    },
    [](OfxPropertySetHandle s, const char* n, int c, double* v) { return GetMany<double>(s, n, c, v); },
    [](OfxPropertySetHandle s, const char* n, int c, int* v) { return GetMany<int>(s, n, c, v); },
    [](OfxPropertySetHandle s, const char* n) -> OfxStatus {
        Property* p = s && n ? PropertyStore::From(s)->Find(n) : nullptr;
        return p ? kOfxStatOK : kOfxStatErrUnknown;
    },
    [](OfxPropertySetHandle s, const char* n, int* count) -> OfxStatus {
        const Property* p = s && n && count ? PropertyStore::From(s)->Find(n) : nullptr;
        if (!p) {
            return kOfxStatErrUnknown;
        }
        *count = p->Dimension();
        return kOfxStatOK;
    },
};

}   // namespace

int Property::Dimension() const
{
    switch (type) {
    case PropType::String:
        return static_cast<int>(strings.size());
    case PropType::Int:
        return static_cast<int>(ints.size());
    case PropType::Double:
        return static_cast<int>(doubles.size());
    default:
        return static_cast<int>(pointers.size());
    }
}

void PropertyStore::Set(const std::string& name, std::vector<std::string> values)
{
    Property& p = props_[name];
    p = Property{};
    p.type = PropType::String;
    p.strings = std::move(values);
}

void PropertyStore::SetInts(const std::string& name, std::vector<int> values)
{
    Property& p = props_[name];
    p = Property{};
    p.type = PropType::Int;
    p.ints = std::move(values);
}

void PropertyStore::SetDoubles(const std::string& name, std::vector<double> values)
{
    Property& p = props_[name];
    p = Property{};
    p.type = PropType::Double;
    p.doubles = std::move(values);
}

void PropertyStore::Set(const std::string& name, void* value)
{
    Property& p = props_[name];
    p = Property{};
    p.type = PropType::Pointer;
    p.pointers = {value};
}

const Property* PropertyStore::Find(const std::string& name) const
{
    const auto it = props_.find(name);
    return it == props_.end() ? nullptr : &it->second;
}

Property* PropertyStore::Find(const std::string& name)
{
    const auto it = props_.find(name);
    return it == props_.end() ? nullptr : &it->second;
}

Property& PropertyStore::Writable(const std::string& name, PropType type)
{
    const auto [it, added] = props_.try_emplace(name);
    if (added) {
        it->second.type = type;
    }
    return it->second;
}

std::string PropertyStore::String(const std::string& name, int index, const std::string& fallback) const
{
    const Property* p = Find(name);
    return p && p->type == PropType::String && index >= 0 && static_cast<size_t>(index) < p->strings.size()
               ? p->strings[static_cast<size_t>(index)]
               : fallback;
}

int PropertyStore::Int(const std::string& name, int index, int fallback) const
{
    const Property* p = Find(name);
    return p && p->type == PropType::Int && index >= 0 && static_cast<size_t>(index) < p->ints.size()
               ? p->ints[static_cast<size_t>(index)]
               : fallback;
}

double PropertyStore::Double(const std::string& name, int index, double fallback) const
{
    const Property* p = Find(name);
    return p && p->type == PropType::Double && index >= 0 && static_cast<size_t>(index) < p->doubles.size()
               ? p->doubles[static_cast<size_t>(index)]
               : fallback;
}

void* PropertyStore::Pointer(const std::string& name, int index) const
{
    const Property* p = Find(name);
    return p && p->type == PropType::Pointer && index >= 0 && static_cast<size_t>(index) < p->pointers.size()
               ? p->pointers[static_cast<size_t>(index)]
               : nullptr;
}

std::vector<std::string> PropertyStore::Strings(const std::string& name) const
{
    const Property* p = Find(name);
    return p && p->type == PropType::String ? p->strings : std::vector<std::string>{};
}

const OfxPropertySuiteV1* PropertySuite()
{
    return &SUITE;
}
