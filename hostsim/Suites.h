// The host's suites: tables offered by name and version through the basic suite ("SPBasic Suite"), and
// counted as the plug-in acquires and releases them. Each part offers its own suites here.
#pragma once

#include "AE_Effect.h"
#include "SPBasic.h"

#include <map>
#include <string>
#include <string_view>
#include <utility>

class FaultInjector;

class SuiteTable {
public:
    // Offers the basic suite itself; acquisitions and releases go through `faults`.
    explicit SuiteTable(FaultInjector& faults);
    SuiteTable(const SuiteTable&) = delete;
    SuiteTable& operator=(const SuiteTable&) = delete;

    // in_data's pica_basicP. Its functions find the table of the instance whose command runs on this thread.
    SPBasicSuite* basic() { return &basic_; }

    // Offers a table by name and version (replacing one offered before), or withdraws it.
    void Provide(const std::string& name, int version, const void* table);
    void Withdraw(const std::string& name, int version);

    int Acquired(std::string_view name, int version) const;   // successful acquisitions
    int Released(std::string_view name, int version) const;
    int Outstanding() const;      // acquisitions not released, over all suites
    void ClearCounts() { counts_.clear(); }

private:
    struct Functions;   // the basic suite's functions

    SPErr Acquire(const char* name, A_long version, const void** suite);
    SPErr Release(const char* name, A_long version);

    FaultInjector& faults_;
    SPBasicSuite basic_{};
    std::map<std::pair<std::string, int>, const void*> tables_;
    std::map<std::pair<std::string, int>, std::pair<int, int>> counts_;   // acquired, released
};
