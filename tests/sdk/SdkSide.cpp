// Describes every declaration listed in SdkDeclarations.inc as the host SDK headers on the include path
// declare it. Compiled twice: against our stand-in (QF_SDK_DESCRIBE=DescribeStandInSdk) and against the
// vendor's headers (QF_SDK_DESCRIBE=DescribeVendorSdk). A name one side lacks fails that compilation.
//
// Types are described by their mangled names, which resolve every typedef and spell every struct tag and
// every parameter of a function pointer: a suite function with a wrong parameter list, or a record field
// of a different type, gives a different text.
#include "AE_Effect.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectGPUSuites.h"
#include "AE_EffectSuites.h"
#include "AE_EffectUI.h"
#include "AE_PluginData.h"
#include "adobesdk/DrawbotSuite.h"
#include "SPBasic.h"

#include "SdkSide.h"

#include <cstddef>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

// Everything below has internal linkage: both compilations link into one program, and each must keep
// its own instantiations (a shared template over an SDK type would let the linker keep only one side's).
namespace {

template <class T>
std::string TypeName() {
    return typeid(T).name();
}

template <class V>
std::string ValueOf(V value) {
    // The promoted type, as it takes part in expressions (an enumeration promotes to int or unsigned).
    return std::to_string(static_cast<long long>(value)) + " " + TypeName<decltype(+value)>();
}

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

#define QF_SDK_TYPE(T) out.push_back({#T, "type " + TypeName<T>()});
#define QF_SDK_FIELD(T, f)                                                                            \
    out.push_back({#T "." #f, "offset " + std::to_string(offsetof(T, f)) + " size " +                \
                                  std::to_string(sizeof(std::declval<T &>().f)) + " type " +         \
                                  TypeName<decltype(std::declval<T &>().f)>()});
#define QF_SDK_RECORD(T, ...)                                                                         \
    out.push_back({#T, "size " + std::to_string(sizeof(T)) + " align " + std::to_string(alignof(T)) + \
                           " type " + TypeName<T>()});                                                \
    QF_SDK_FOR_EACH(QF_SDK_FIELD, T, __VA_ARGS__)
#define QF_SDK_LEADING(T, ...)                                                                        \
    out.push_back({#T, "align " + std::to_string(alignof(T)) + " type " + TypeName<T>()});             \
    QF_SDK_FOR_EACH(QF_SDK_FIELD, T, __VA_ARGS__)
// Constants are often macros, which the list's expansion would replace by their bodies before a name
// could be taken: the names come from the whole list as written, split at its top-level commas.
#define QF_SDK_VALUE(unused, v) "value " + ValueOf(v),
#define QF_SDK_VALUES(...) AddNamed(out, #__VA_ARGS__, {QF_SDK_FOR_EACH(QF_SDK_VALUE, ~, __VA_ARGS__)});
#define QF_SDK_STRING(unused, s) std::string("text \"") + s + "\"",
#define QF_SDK_STRINGS(...) AddNamed(out, #__VA_ARGS__, {QF_SDK_FOR_EACH(QF_SDK_STRING, ~, __VA_ARGS__)});

void AddNamed(std::vector<SdkDeclaration>& out, const std::string& names, const std::vector<std::string>& texts)
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
            out.push_back({name, index < texts.size() ? texts[index] : "(no value)"});
            ++index;
            start = i + 1;
        }
    }
}

}  // namespace

std::vector<SdkDeclaration> QF_SDK_DESCRIBE() {
    std::vector<SdkDeclaration> out;
#include "SdkDeclarations.inc"
    return out;
}
