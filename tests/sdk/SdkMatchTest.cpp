// Our stand-in headers against the vendor's, declaration by declaration (built only when AE_SDK_DIR names
// the vendor's headers): every typedef, every record's layout and field types, every suite function's
// parameter list, and every constant must be the vendor's.
#include "SdkSide.h"

#include <gtest/gtest.h>

#include <cxxabi.h>

#include <cstddef>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {

// Mangled type names spelled out as C++ types, so that a failure reads as the two declarations.
std::string Readable(const std::string& description)
{
    const std::size_t at = description.rfind(" type ");
    if (at == std::string::npos) {
        return description;
    }
    const std::string mangled = description.substr(at + 6);
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> plain(abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status),
                                                 std::free);
    return description.substr(0, at) + " type " + (status == 0 && plain ? plain.get() : mangled);
}

TEST(SdkStandIn, EveryDeclarationIsTheVendors)
{
    const std::vector<SdkDeclaration> ours = DescribeStandInSdk();
    const std::vector<SdkDeclaration> vendor = DescribeVendorSdk();
    ASSERT_EQ(ours.size(), vendor.size());  // one list, compiled twice
    ASSERT_GT(ours.size(), 300u);
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ASSERT_EQ(ours[i].name, vendor[i].name);
        EXPECT_EQ(ours[i].description, vendor[i].description)
            << ours[i].name << "\n  stand-in: " << Readable(ours[i].description)
            << "\n  vendor:   " << Readable(vendor[i].description);
    }
}

// A description spells a function's whole parameter list (sizes and offsets alone would pass a table
// with a wrong one): the host-memory functions take the device index after the effect reference.
TEST(SdkStandIn, DescriptionsSpellParameterLists)
{
    std::map<std::string, std::string> ours;
    for (const SdkDeclaration& d : DescribeStandInSdk()) {
        ours[d.name] = Readable(d.description);
    }
    EXPECT_EQ(ours.at("struct PF_GPUDeviceSuite1.AllocateHostMemory"),
              "offset 56 size 8 type int (*)(PF_ProgressInfo*, unsigned int, unsigned long long, void**)");
}

}  // namespace
