// The layer scale factor: a length ratio against 1920 x 1080, limited to 0.05 to 20.
#include "LayerScale.h"

#include <gtest/gtest.h>

namespace {

TEST(LayerScale, IsTheLengthRatioToFullHd)
{
    EXPECT_EQ(LayerScaleFactor(1920, 1080), 1.0);
    EXPECT_EQ(LayerScaleFactor(3840, 2160), 2.0);
    EXPECT_DOUBLE_EQ(LayerScaleFactor(192, 108), 0.1);
    EXPECT_DOUBLE_EQ(LayerScaleFactor(1080, 1920), 1.0);
}

TEST(LayerScale, IsLimitedAndFallsBackToOne)
{
    EXPECT_EQ(LayerScaleFactor(20, 20), 0.05);
    EXPECT_EQ(LayerScaleFactor(1, 1), 0.05);
    EXPECT_EQ(LayerScaleFactor(30000, 30000), 20.0);
    EXPECT_EQ(LayerScaleFactor(0, 1080), 1.0);
    EXPECT_EQ(LayerScaleFactor(1920, -5), 1.0);
}

}   // namespace
