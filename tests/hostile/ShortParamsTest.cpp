// A host whose PF_Cmd_PARAMS_SETUP failed part-way holds fewer parameters than the effect reads, and says
// so in num_params. Commands that read the parameters take the missing ones as absent: no read past
// the end of the host's array (this crashed the legacy render before), and defaults where values are missing.
#include "RenderTestSupport.h"

namespace {

class ShortParams : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(host.module().Register(), PF_Err_NONE);
        ASSERT_EQ(host.module().GlobalSetup(), PF_Err_NONE);
        Injection fail;
        fail.call = HostCall::AddParam;
        fail.error = PF_Err_OUT_OF_MEMORY;
        fail.skip = 5;
        host.faults().Inject(fail);
        ASSERT_EQ(host.module().ParamsSetup(), PF_Err_OUT_OF_MEMORY);
        host.faults().Clear();
        ASSERT_EQ(host.params().Count(), 6);   // the input layer and the five added before the failure
        host.params().SetInputLayer(host.layers().Add(picture_, PixelDepth::Bits8));
    }

    HostSim host{QF_MODULE_PATH};
    FloatImage picture_ = Pattern(23, 14);
};

TEST_F(ShortParams, LegacyRenderTakesTheMissingParametersAsAbsent)
{
    // Mix is among the missing: an absent Mix is 0, so the frame is the input as it is.
    const RenderResult result = host.render().Legacy();
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_TRUE(SameImage(result.image, Quantised(picture_, PixelDepth::Bits8)));
}

TEST_F(ShortParams, SmartRenderTakesTheMissingParametersAsAbsent)
{
    // The pre-render asks only for what the host holds (asking for more got the host's refusal back),
    // and the frame is the legacy road's.
    const RenderResult result = host.render().Frame();
    EXPECT_EQ(result.pre_render_error, PF_Err_NONE);
    EXPECT_EQ(result.render_error, PF_Err_NONE);
    for (const CheckoutRecord& checkout : host.params().checkouts()) {
        EXPECT_LT(checkout.index, 6);
    }
    EXPECT_TRUE(SameImage(result.image, Quantised(picture_, PixelDepth::Bits8)));
}

TEST_F(ShortParams, ParameterCommandsTouchOnlyWhatTheHostHolds)
{
    EXPECT_EQ(host.module().SendUserChangedParam(PARAM_PRESET), PF_Err_NONE);
    EXPECT_EQ(host.module().SendUserChangedParam(PARAM_AMOUNT), PF_Err_NONE);
    EXPECT_EQ(host.module().SendUpdateParamsUI(), PF_Err_NONE);
    EXPECT_TRUE(host.params().ui_updates().empty());   // Loop and Loop Duration are not there to update
    EXPECT_EQ(host.module().SendCommand(PF_Cmd_QUERY_DYNAMIC_FLAGS), PF_Err_NONE);
}

TEST_F(ShortParams, ACompleteSetUpAfterwardsRendersTheWarp)
{
    ASSERT_EQ(host.module().ParamsSetup(), PF_Err_NONE);
    ASSERT_EQ(host.params().Count(), PARAM_COUNT);
    const RenderResult result = host.render().Legacy();
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_FALSE(SameImage(result.image, Quantised(picture_, PixelDepth::Bits8)));
}

}   // namespace
