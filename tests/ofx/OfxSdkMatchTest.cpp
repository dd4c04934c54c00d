// Our OpenFX headers against the standard's, declaration by declaration (built only when OFX_SDK_DIR
// names the standard's include folder): every typedef, every record's layout and field types, every
// suite function's parameter list, and every constant must be the standard's.
#include "OfxSdkSide.h"

#include <gtest/gtest.h>

TEST(OfxSdkDeclarations, EveryDeclarationIsTheStandards)
{
    const std::vector<SdkDeclaration> ours = DescribeOurOfx();
    const std::vector<SdkDeclaration> standard = DescribeStandardOfx();
    ASSERT_EQ(ours.size(), standard.size());   // one list, compiled twice
    ASSERT_GT(ours.size(), 200u);
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ASSERT_EQ(ours[i].name, standard[i].name);
        EXPECT_EQ(ours[i].description, standard[i].description) << ours[i].name;
    }
}
