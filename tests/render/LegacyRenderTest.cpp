// PF_Cmd_RENDER as a host without smart rendering sends it: the layers in the parameter array, the
// output placed by in_data's origin, and what happens when there is nothing to read or the host cancels.
#include "RenderTestSupport.h"

#include <array>

namespace {

using LegacyRender = RenderHost;

TEST_F(LegacyRender, LegacyOutputOriginPlacesTheLayer)
{
    UseInput(40, 30);
    const FloatImage smart = host.render().Frame().image;
    LegacyRequest legacy;
    legacy.width = 60;
    legacy.height = 50;
    legacy.output_origin_x = 10;
    legacy.output_origin_y = 20;
    const RenderResult result = host.render().Legacy(legacy);
    ASSERT_EQ(result.error, PF_Err_NONE);
    EXPECT_EQ(result.origin_x, -10);
    // Output pixel (10, 20) is layer pixel (0, 0).
    EXPECT_TRUE(SameImage(result.image.Crop(10, 20, 40, 30), smart));
    EXPECT_EQ(UnwrittenRows(result.image, PixelDepth::Bits8), 0);
}

TEST_F(LegacyRender, LegacyRenderWithoutInputDrawsNothing)
{
    const RenderResult result = host.render().Legacy(LegacyRequest{PixelDepth::Bits8, 16, 8});
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_EQ(UnwrittenRows(result.image, PixelDepth::Bits8), 8);
}

TEST_F(LegacyRender, EmptyInputLayerGivesTransparentOutput)
{
    // A layer with pixel data but no pixels: the kernel must not read from it.
    std::array<PF_ParamDef, PARAM_COUNT> defs{};
    std::array<PF_ParamDef*, PARAM_COUNT> params{};
    for (int i = 0; i < PARAM_COUNT; ++i) {
        defs[i] = host.params().At(i, 0);
        params[i] = &defs[i];
    }
    PF_Pixel dummy{};
    defs[PARAM_INPUT].u.ld.data = &dummy;
    defs[PARAM_INPUT].u.ld.width = 0;
    defs[PARAM_INPUT].u.ld.height = 0;
    PixelBuffer output(8, 4, PixelDepth::Bits8);
    output.Fill(0xCD);
    PF_EffectWorld world = output.World();
    PF_InData in_data = host.module().MakeInData();
    EXPECT_EQ(host.module().CallEffectMain(PF_Cmd_RENDER, &in_data, &host.module().out_data(), params.data(), &world, nullptr),
              PF_Err_NONE);
    for (const float v : output.Load().pixels) {
        ASSERT_EQ(v, 0.0f);
    }
}

TEST_F(LegacyRender, AbortStopsTheRenderWithCancel)
{
    constexpr A_long ROWS = 65536;   // more rows than other threads can finish during the caller's 4
    UseInput(4, ROWS);
    host.faults().AbortAfter(0);
    RenderResult result;
    for (int attempt = 0; attempt < 5; ++attempt) {   // retried only if the caller never reached its 4th row
        host.ClearLogs();
        result = host.render().Legacy();
        if (host.faults().CallCount(HostCall::Abort) > 0) {
            break;
        }
    }
    EXPECT_EQ(result.error, PF_Interrupt_CANCEL);
    EXPECT_EQ(host.faults().CallCount(HostCall::Abort), 1);
    EXPECT_GT(UnwrittenRows(result.image, PixelDepth::Bits8), 0);
}

TEST_F(LegacyRender, DeepWorldsAreSixteenBit)
{
    // The same frame at 8 and at 16 bits: reading a deep world as 8-bit would give nothing alike.
    UseInput(32, 24, PixelDepth::Bits16);
    LegacyRequest deep;
    deep.depth = PixelDepth::Bits16;
    const RenderResult sixteen = host.render().Legacy(deep);
    UseInput(32, 24, PixelDepth::Bits8);
    const RenderResult eight = host.render().Legacy();
    ASSERT_EQ(sixteen.error, PF_Err_NONE);
    ASSERT_EQ(eight.error, PF_Err_NONE);
    EXPECT_TRUE(ImagesNear(eight.image, sixteen.image, 2.5f / 255, 0.0, 2.5f / 255));
}

}   // namespace
