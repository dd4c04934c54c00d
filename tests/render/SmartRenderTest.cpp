// The CPU smart render as the host sees it: what it returns when a host call fails or the host cancels,
// and what it draws when there is nothing to warp.
#include "RenderTestSupport.h"

namespace {

using SmartRender = RenderHost;

Injection Fail(HostCall call, PF_Err error, int param_index = -1)
{
    Injection injection;
    injection.call = call;
    injection.error = error;
    injection.param_index = param_index;
    return injection;
}

bool AllZero(const FloatImage& image)
{
    for (const float v : image.pixels) {
        if (v != 0.0f) {
            return false;
        }
    }
    return !image.pixels.empty();
}

TEST_F(SmartRender, RenderWithoutPreRenderDataIsDamaged)
{
    UseInput(16, 16);
    RenderRequest request;
    request.pass_pre_render_data = false;
    const RenderResult result = host.render().Frame(request);
    EXPECT_EQ(result.error, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host.render().PreRenderDataFreed(), 1);   // the host still frees the record it was given
}

TEST_F(SmartRender, FailedPixelCheckoutsReturnTheirError)
{
    UseInput(16, 16);
    host.faults().Inject(Fail(HostCall::CheckoutLayerPixels, PF_Err_OUT_OF_MEMORY, PARAM_INPUT));
    EXPECT_EQ(host.render().Frame().error, PF_Err_OUT_OF_MEMORY);
    host.faults().Clear();
    host.faults().Inject(Fail(HostCall::CheckoutOutput, PF_Err_BAD_CALLBACK_PARAM));
    EXPECT_EQ(host.render().Frame().error, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

TEST_F(SmartRender, ExceptionsBecomeHostCodesAfterTheSuiteIsReleased)
{
    UseInput(16, 16);
    Injection fail = Fail(HostCall::GetPixelFormat, PF_Err_NONE);
    fail.throws = InjectedThrow::BadAlloc;
    host.faults().Inject(fail);
    EXPECT_EQ(host.render().Frame().error, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host.suites().Acquired(kPFWorldSuite, kPFWorldSuiteVersion2), 1);
    EXPECT_EQ(host.suites().Outstanding(), 0);

    host.faults().Clear();
    fail.throws = InjectedThrow::RuntimeError;
    host.faults().Inject(fail);
    EXPECT_EQ(host.render().Frame().error, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

TEST_F(SmartRender, AbortStopsTheRenderWithCancel)
{
    // So many rows that the other threads cannot finish them all while the calling thread shades its
    // 4, even when it is held up: only then is the abort callback asked.
    constexpr A_long ROWS = 65536;
    UseInput(4, ROWS);
    host.faults().AbortAfter(0);
    // A calling thread held up long enough could still find every row taken; then it never asks, and the
    // frame is tried again.
    RenderResult result;
    for (int attempt = 0; attempt < 5; ++attempt) {
        host.ClearLogs();
        result = host.render().Frame();
        if (host.faults().CallCount(HostCall::Abort) > 0) {
            break;
        }
    }
    EXPECT_EQ(result.error, PF_Interrupt_CANCEL);
    EXPECT_EQ(host.faults().CallCount(HostCall::Abort), 1);   // asked once, after the calling thread's 4th row
    const int unwritten = UnwrittenRows(result.image, PixelDepth::Bits8);
    EXPECT_GT(unwritten, 0);
    EXPECT_LE(unwritten, ROWS - 4);
    EXPECT_EQ(host.suites().Outstanding(), 0);

    host.faults().Clear();
    UseInput(4, 64);
    host.faults().AbortAfter(1000000);   // asked, never stopping
    const RenderResult whole = host.render().Frame();
    EXPECT_EQ(whole.error, PF_Err_NONE);
    EXPECT_EQ(UnwrittenRows(whole.image, PixelDepth::Bits8), 0);
}

TEST_F(SmartRender, OutputOfWidthZeroReturnsWithoutTouchingAnything)
{
    UseInput(64, 48);
    host.params().SetMapLayer(host.layers().Add(Pattern(8, 8), PixelDepth::Bits8));
    RenderRequest request;
    request.rect = PF_LRect{10, 0, 10, 48};
    const RenderResult result = host.render().Frame(request);
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_TRUE(result.rendered);
    EXPECT_EQ(result.image.width, 0);
    // Neither the map nor the world suite was asked for: nothing was converted.
    EXPECT_EQ(host.faults().CallCount(HostCall::CheckoutLayerPixels), 1);
    EXPECT_EQ(host.suites().Acquired(kPFWorldSuite, kPFWorldSuiteVersion2), 0);
}

TEST_F(SmartRender, MissingInputGivesTransparentOutput)
{
    UseInput(32, 24);
    // The host has no pixels for the input at this time: success without a world.
    Injection no_world = Fail(HostCall::CheckoutLayerPixels, PF_Err_NONE, PARAM_INPUT);
    no_world.times = -1;
    host.faults().Inject(no_world);
    for (const PixelDepth depth : {PixelDepth::Bits8, PixelDepth::Bits16, PixelDepth::Float}) {
        RenderRequest request;
        request.depth = depth;
        const RenderResult result = host.render().Frame(request);
        EXPECT_EQ(result.error, PF_Err_NONE);
        EXPECT_EQ(result.image.width, 32);
        EXPECT_TRUE(AllZero(result.image)) << static_cast<int>(depth);
    }
}

TEST_F(SmartRender, TransparentInputGivesTransparentOutput)
{
    host.params().SetInputLayer(host.layers().Add(FloatImage(32, 24), PixelDepth::Float));
    EXPECT_TRUE(AllZero(host.render().Frame().image));

    // Colour under zero alpha stays invisible too.
    FloatImage hidden = Pattern(32, 24);
    for (A_long y = 0; y < hidden.height; ++y) {
        for (A_long x = 0; x < hidden.width; ++x) {
            hidden.At(x, y)[3] = 0.0f;
        }
    }
    host.params().SetInputLayer(host.layers().Add(hidden, PixelDepth::Float));
    RenderRequest request;
    request.depth = PixelDepth::Float;
    const RenderResult result = host.render().Frame(request);
    ASSERT_EQ(result.error, PF_Err_NONE);
    for (A_long y = 0; y < result.image.height; ++y) {
        for (A_long x = 0; x < result.image.width; ++x) {
            ASSERT_EQ(result.image.At(x, y)[3], 0.0f) << "(" << x << ", " << y << ")";
        }
    }
}

TEST_F(SmartRender, WithoutTheWorldSuiteEveryWorldIsEightBit)
{
    UseInput(32, 24);
    const FloatImage reported = host.render().Frame().image;
    host.suites().Withdraw(kPFWorldSuite, kPFWorldSuiteVersion2);
    const RenderResult assumed = host.render().Frame();
    EXPECT_EQ(assumed.error, PF_Err_NONE);
    EXPECT_TRUE(SameImage(assumed.image, reported));
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

TEST_F(SmartRender, OutputWorldPositionFollowsTheResultRect)
{
    UseInput(64, 48);
    RenderRequest request;
    request.rect = PF_LRect{-8, 5, 40, 30};
    const RenderResult result = host.render().Frame(request);
    ASSERT_EQ(result.error, PF_Err_NONE);
    EXPECT_EQ(result.origin_x, 0);
    EXPECT_EQ(result.origin_y, 5);
    EXPECT_EQ(result.image.width, 40);
    EXPECT_EQ(result.image.height, 25);
    EXPECT_EQ(UnwrittenRows(result.image, PixelDepth::Bits8), 0);
}

}   // namespace
