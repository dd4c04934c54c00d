// Holds one host suite for the length of a scope: acquired by exact name and version through in_data's
// basic suite, released on every way out, exceptions included. A suite that cannot be had leaves the
// scope empty, and the caller switches its feature off.
#pragma once

#include "AE_Effect.h"
#include "SPBasic.h"

template <typename Suite>
class SuiteScope {
public:
    SuiteScope(const PF_InData* in_data, const char* name, A_long version)
        : SuiteScope(in_data ? in_data->pica_basicP : nullptr, name, version)
    {
    }

    SuiteScope(SPBasicSuite* basic, const char* name, A_long version) : name_(name), version_(version)
    {
        if (!basic || !basic->AcquireSuite) {
            return;
        }
        const void* suite = nullptr;
        if (basic->AcquireSuite(name, version, &suite) != 0) {
            return;
        }
        // A successful acquisition is released even when it yielded no table: the host counted it.
        basic_ = basic;
        suite_ = static_cast<const Suite*>(suite);
    }

    ~SuiteScope()
    {
        if (basic_ && basic_->ReleaseSuite) {
            basic_->ReleaseSuite(name_, version_);
        }
    }

    SuiteScope(const SuiteScope&) = delete;
    SuiteScope& operator=(const SuiteScope&) = delete;

    explicit operator bool() const { return suite_ != nullptr; }
    const Suite* get() const { return suite_; }
    const Suite* operator->() const { return suite_; }

private:
    SPBasicSuite* basic_ = nullptr;
    const Suite* suite_ = nullptr;
    const char* name_;
    A_long version_;
};
