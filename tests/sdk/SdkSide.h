// What one set of host SDK headers declares, name by name: our stand-in and the vendor's headers are each
// described by the same source (SdkSide.cpp, compiled once per set) so that the test can compare them.
#pragma once

#include <string>
#include <vector>

struct SdkDeclaration {
    std::string name;         // as listed in SdkDeclarations.inc, e.g. "PF_InData.effect_ref"
    std::string description;  // value, size and offset, and the type's mangled name
};

std::vector<SdkDeclaration> DescribeStandInSdk();
std::vector<SdkDeclaration> DescribeVendorSdk();

