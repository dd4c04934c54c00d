// The basic suite and the host's table of suites.
#include "Suites.h"

#include "Faults.h"
#include "Instance.h"

#include <cstdlib>
#include <cstring>

namespace {

// The basic suite's "suite not found" code ('S!Fd').
constexpr SPErr SUITE_NOT_FOUND = 0x53214664;

}   // namespace

struct SuiteTable::Functions {
    // The basic suite's functions carry no context: the suites are those of the command on this thread.
    static SuiteTable* Active()
    {
        const EffectInstance* instance = EffectInstance::OnThisThread();
        return instance ? instance->suites : nullptr;
    }

    static SPErr AcquireSuite(const char* name, A_long version, const void** suite)
    {
        SuiteTable* table = Active();
        return table ? table->Acquire(name, version, suite) : SUITE_NOT_FOUND;
    }

    static SPErr ReleaseSuite(const char* name, A_long version)
    {
        SuiteTable* table = Active();
        return table ? table->Release(name, version) : SUITE_NOT_FOUND;
    }

    static SPBoolean IsEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

    static SPErr AllocateBlock(size_t size, void** block)
    {
        if (!block) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *block = std::malloc(size ? size : 1);
        return *block ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
    }

    static SPErr FreeBlock(void* block)
    {
        std::free(block);
        return PF_Err_NONE;
    }

    static SPErr ReallocateBlock(void* block, size_t size, void** new_block)
    {
        if (!new_block) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        void* moved = std::realloc(block, size ? size : 1);
        if (!moved) {
            return PF_Err_OUT_OF_MEMORY;
        }
        *new_block = moved;
        return PF_Err_NONE;
    }

    static SPErr Undefined() { return SUITE_NOT_FOUND; }
};

SuiteTable::SuiteTable(FaultInjector& faults) : faults_(faults)
{
    basic_.AcquireSuite = Functions::AcquireSuite;
    basic_.ReleaseSuite = Functions::ReleaseSuite;
    basic_.IsEqual = Functions::IsEqual;
    basic_.AllocateBlock = Functions::AllocateBlock;
    basic_.FreeBlock = Functions::FreeBlock;
    basic_.ReallocateBlock = Functions::ReallocateBlock;
    basic_.Undefined = Functions::Undefined;
    Provide(kSPBasicSuite, kSPBasicSuiteVersion, &basic_);
}

void SuiteTable::Provide(const std::string& name, int version, const void* table)
{
    tables_[std::make_pair(name, version)] = table;
}

void SuiteTable::Withdraw(const std::string& name, int version)
{
    tables_.erase(std::make_pair(name, version));
}

SPErr SuiteTable::Acquire(const char* name, A_long version, const void** suite)
{
    if (!name || !suite) {
        return SUITE_NOT_FOUND;
    }
    PF_Err err = PF_Err_NONE;
    bool null_suite = false;
    const auto key = std::make_pair(std::string(name), static_cast<int>(version));
    if (faults_.Injected(HostCall::AcquireSuite, err, -1, name, &null_suite)) {
        if (!null_suite) {
            return err;
        }
        *suite = nullptr;
        ++counts_[key].first;
        return PF_Err_NONE;
    }
    const auto found = tables_.find(key);
    if (found == tables_.end()) {
        return SUITE_NOT_FOUND;
    }
    *suite = found->second;
    ++counts_[key].first;
    return PF_Err_NONE;
}

// Counted even when an injected error is returned: the plug-in has let go of the suite either way.
// Never inject a throw here: releases run in destructors.
SPErr SuiteTable::Release(const char* name, A_long version)
{
    if (!name) {
        return SUITE_NOT_FOUND;
    }
    ++counts_[std::make_pair(std::string(name), static_cast<int>(version))].second;
    PF_Err err = PF_Err_NONE;
    if (faults_.Injected(HostCall::ReleaseSuite, err, -1, name)) {
        return err;
    }
    return PF_Err_NONE;
}

int SuiteTable::Acquired(std::string_view name, int version) const
{
    const auto found = counts_.find(std::make_pair(std::string(name), version));
    return found == counts_.end() ? 0 : found->second.first;
}

int SuiteTable::Released(std::string_view name, int version) const
{
    const auto found = counts_.find(std::make_pair(std::string(name), version));
    return found == counts_.end() ? 0 : found->second.second;
}

int SuiteTable::Outstanding() const
{
    int outstanding = 0;
    for (const auto& [key, counts] : counts_) {
        outstanding += counts.first - counts.second;
    }
    return outstanding;
}
