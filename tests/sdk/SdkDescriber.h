// Describes declarations of a set of SDK headers, name by name, for a test to compare two sets that
// must agree: included once by each side's source (SdkSide.cpp for the compositing host's SDK,
// tests/ofx/OfxSdkSide.cpp for OpenFX), after the headers it describes and before the list of
// declarations it expands.
//
// Types are described by their mangled names, which resolve every typedef and spell every struct tag and
// every parameter of a function pointer: a suite function with a wrong parameter list, or a record field
// of a different type, gives a different text.
#pragma once

#include "SdkSide.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

// Everything below has internal linkage: both compilations link into one program, and each must keep
// its own code (a shared inline function over an SDK type would let the linker keep only one side's).
namespace {

struct Constant {
    long long value;
    const char* promoted_type;  // as the constant takes part in expressions (an enumeration promotes)
};

// Each entry of the list becomes one call with constant arguments, so that the long list compiles fast.
class Describer {
public:
    explicit Describer(std::vector<SdkDeclaration>& out) : out_(out) {}

    [[gnu::noinline]] void Type(const char* name, const char* mangled)
    {
        out_.push_back({name, std::string("type ") + mangled});
    }
    // A size of 0: the leading part of a table, whose size is the host's alone.
    [[gnu::noinline]] void Record(const char* name, std::size_t size, std::size_t align, const char* mangled)
    {
        out_.push_back({name, (size ? "size " + std::to_string(size) + " " : std::string()) + "align " +
                                  std::to_string(align) + " type " + mangled});
    }
    [[gnu::noinline]] void Field(const char* name, std::size_t offset, std::size_t size, const char* mangled)
    {
        out_.push_back({name, "offset " + std::to_string(offset) + " size " + std::to_string(size) + " type " +
                                  mangled});
    }
    // Constants are often macros, which the list's expansion replaces by their bodies before a name can
    // be taken: the names come from the whole list as written, split at its top-level commas.
    [[gnu::noinline]] void Values(const char* names, std::initializer_list<Constant> values)
    {
        std::vector<std::string> texts;
        for (const Constant& c : values) {
            texts.push_back("value " + std::to_string(c.value) + " " + c.promoted_type);
        }
        Named(names, texts);
    }
    [[gnu::noinline]] void Strings(const char* names, std::initializer_list<const char*> values)
    {
        std::vector<std::string> texts;
        for (const char* text : values) {
            texts.push_back(std::string("text \"") + text + "\"");
        }
        Named(names, texts);
    }

private:
    void Named(const std::string& names, const std::vector<std::string>& texts)
    {
        std::size_t start = 0;
        std::size_t index = 0;
        int depth = 0;
        for (std::size_t i = 0; i <= names.size(); ++i) {
            const char c = i < names.size() ? names[i] : ',';
            depth += c == '(' ? 1 : c == ')' ? -1 : 0;
            if (c == ',' && depth == 0) {
                const std::size_t first = names.find_first_not_of(' ', start);
                const std::string name = names.substr(first, names.find_last_not_of(' ', i - 1) + 1 - first);
                out_.push_back({name, index < texts.size() ? texts[index] : "(no value)"});
                ++index;
                start = i + 1;
            }
        }
    }

    std::vector<SdkDeclaration>& out_;
};

// QF_SDK_FOR_EACH(m, ctx, a, b, ...) expands to m(ctx, a) m(ctx, b) ...
#define QF_SDK_PARENS ()
#define QF_SDK_EXPAND(...) QF_SDK_EXPAND3(QF_SDK_EXPAND3(QF_SDK_EXPAND3(QF_SDK_EXPAND3(__VA_ARGS__))))
#define QF_SDK_EXPAND3(...) QF_SDK_EXPAND2(QF_SDK_EXPAND2(QF_SDK_EXPAND2(QF_SDK_EXPAND2(__VA_ARGS__))))
#define QF_SDK_EXPAND2(...) QF_SDK_EXPAND1(QF_SDK_EXPAND1(QF_SDK_EXPAND1(QF_SDK_EXPAND1(__VA_ARGS__))))
#define QF_SDK_EXPAND1(...) __VA_ARGS__
#define QF_SDK_FOR_EACH(m, ctx, ...) __VA_OPT__(QF_SDK_EXPAND(QF_SDK_FOR_EACH_ONE(m, ctx, __VA_ARGS__)))
#define QF_SDK_FOR_EACH_ONE(m, ctx, first, ...) \
    m(ctx, first) __VA_OPT__(QF_SDK_FOR_EACH_AGAIN QF_SDK_PARENS(m, ctx, __VA_ARGS__))
#define QF_SDK_FOR_EACH_AGAIN() QF_SDK_FOR_EACH_ONE

#define QF_SDK_TYPE(T) describe.Type(#T, typeid(T).name());
#define QF_SDK_FIELD(T, f)                                                                              \
    describe.Field(#T "." #f, offsetof(T, f), sizeof(std::declval<T&>().f),                             \
                   typeid(decltype(std::declval<T&>().f)).name());
#define QF_SDK_RECORD(T, ...)                                                                           \
    describe.Record(#T, sizeof(T), alignof(T), typeid(T).name());                                       \
    QF_SDK_FOR_EACH(QF_SDK_FIELD, T, __VA_ARGS__)
#define QF_SDK_LEADING(T, ...)                                                                          \
    describe.Record(#T, 0, alignof(T), typeid(T).name());                                               \
    QF_SDK_FOR_EACH(QF_SDK_FIELD, T, __VA_ARGS__)
#define QF_SDK_VALUE(unused, v) Constant{static_cast<long long>(v), typeid(decltype(+(v))).name()},
#define QF_SDK_VALUES(...) describe.Values(#__VA_ARGS__, {QF_SDK_FOR_EACH(QF_SDK_VALUE, ~, __VA_ARGS__)});
#define QF_SDK_STRING(unused, s) s,
#define QF_SDK_STRINGS(...) describe.Strings(#__VA_ARGS__, {QF_SDK_FOR_EACH(QF_SDK_STRING, ~, __VA_ARGS__)});

}  // namespace
