// The smart pre-render as the host sees it: the controls read at the frame time, the input and map
// requests, the rectangles and flags returned, and clean-up when a host call fails.
#include "RenderTestSupport.h"

#include "WarpSettings.h"

namespace {

using SmartPreRender = RenderHost;

bool SameRect(const PF_LRect& a, const PF_LRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string RectText(const PF_LRect& r)
{
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

#define EXPECT_RECT(actual, l, t, r, b) \
    EXPECT_PRED2(SameRect, actual, (PF_LRect{l, t, r, b})) << RectText(actual)

RenderRequest PreRenderOnly()
{
    RenderRequest request;
    request.render = false;
    return request;
}

TEST_F(SmartPreRender, InputRequestIsTheOutputRequestGrownByTheMargin)
{
    // Default controls on a 1920 x 1080 layer: margin 1326 at full resolution.
    host.params().SetInputLayer(host.layers().Add(FloatImage(1920, 1080), PixelDepth::Bits8));
    RenderResult result = host.render().Frame(PreRenderOnly());
    ASSERT_EQ(result.error, PF_Err_NONE);
    ASSERT_GE(host.render().layer_checkouts().size(), 1u);
    const LayerCheckout& input = host.render().layer_checkouts()[0];
    EXPECT_EQ(input.index, PARAM_INPUT);
    EXPECT_EQ(input.checkout_id, 0);
    EXPECT_RECT(input.request.rect, -1326, -1326, 1920 + 1326, 1080 + 1326);
    EXPECT_FALSE(input.request.preserve_rgb_of_zero_alpha);   // the host asked for it on the output
    EXPECT_EQ(input.request.channel_mask, 0xF);
    EXPECT_RECT(result.result_rect, 0, 0, 1920, 1080);
    EXPECT_RECT(result.max_result_rect, 0, 0, 1920, 1080);
    EXPECT_FALSE(result.solid);
    EXPECT_TRUE(result.had_pre_render_data);
    EXPECT_EQ(host.render().PreRenderDataFreed(), 1);

    // Half resolution halves the displacement part only; Amount 0 leaves anti-aliasing and the extra.
    host.params().SetInputLayer(host.layers().Add(FloatImage(960, 540), PixelDepth::Bits8));
    host.settings().downsample_x = PF_RationalScale{1, 2};
    host.settings().downsample_y = PF_RationalScale{1, 2};
    ASSERT_EQ(host.render().Frame(PreRenderOnly()).error, PF_Err_NONE);
    EXPECT_RECT(host.render().layer_checkouts()[0].request.rect, -667, -667, 960 + 667, 540 + 667);
    host.params().Set(PARAM_AMOUNT, 0.0);
    ASSERT_EQ(host.render().Frame(PreRenderOnly()).error, PF_Err_NONE);
    EXPECT_RECT(host.render().layer_checkouts()[0].request.rect, -8, -8, 968, 548);
}

TEST_F(SmartPreRender, ControlsAndLayersAreReadAtTheFrameTime)
{
    UseInput(64, 48);
    host.settings().current_time = 45;
    host.settings().time_step = 2;
    host.settings().time_scale = 30;
    ASSERT_EQ(host.render().Frame(PreRenderOnly()).error, PF_Err_NONE);
    ASSERT_FALSE(host.params().checkouts().empty());
    for (const CheckoutRecord& checkout : host.params().checkouts()) {
        EXPECT_TRUE(IsRenderParam(checkout.index)) << checkout.index;
        EXPECT_EQ(checkout.what_time, 45);
        EXPECT_EQ(checkout.time_step, 2);
        EXPECT_EQ(checkout.time_scale, 30u);
    }
    EXPECT_EQ(host.params().OutstandingCheckouts(), 0);
    ASSERT_EQ(host.render().layer_checkouts().size(), 2u);
    for (const LayerCheckout& layer : host.render().layer_checkouts()) {
        EXPECT_EQ(layer.what_time, 45);
        EXPECT_EQ(layer.time_step, 2);
        EXPECT_EQ(layer.time_scale, 30u);
    }
}

TEST_F(SmartPreRender, ResultRectIsTheRequestClippedToTheLayer)
{
    UseInput(64, 48);
    RenderRequest request = PreRenderOnly();
    request.rect = PF_LRect{-10, -5, 30, 20};
    RenderResult result = host.render().Frame(request);
    ASSERT_EQ(result.error, PF_Err_NONE);
    EXPECT_RECT(result.result_rect, 0, 0, 30, 20);
    EXPECT_RECT(result.max_result_rect, 0, 0, 64, 48);

    request.rect = PF_LRect{100, 100, 200, 200};
    result = host.render().Frame(request);
    ASSERT_EQ(result.error, PF_Err_NONE);
    EXPECT_RECT(result.result_rect, 0, 0, 0, 0);
    EXPECT_RECT(result.max_result_rect, 0, 0, 64, 48);
}

TEST_F(SmartPreRender, WrapAndMirrorRequestTheWholeLayer)
{
    UseInput(64, 48);
    host.params().SetMapLayer(host.layers().Add(Pattern(16, 16), PixelDepth::Bits8));
    for (const int edges : {2, 3}) {   // "Wrap Around", "Mirror"
        host.params().Set(PARAM_EDGES, edges);
        RenderRequest request = PreRenderOnly();
        request.rect = PF_LRect{10, 10, 20, 20};
        ASSERT_EQ(host.render().Frame(request).error, PF_Err_NONE);
        ASSERT_EQ(host.render().layer_checkouts().size(), 2u);
        EXPECT_RECT(host.render().layer_checkouts()[0].request.rect, -1048576, -1048576, 1048576, 1048576);
    }
    // The map is stretched over the layer, so all of it is asked for, whatever the edges.
    host.params().Set(PARAM_EDGES, 1);
    ASSERT_EQ(host.render().Frame(PreRenderOnly()).error, PF_Err_NONE);
    const LayerCheckout& map = host.render().layer_checkouts()[1];
    EXPECT_EQ(map.index, PARAM_MAP_LAYER);
    EXPECT_EQ(map.checkout_id, 1);
    EXPECT_RECT(map.request.rect, -1048576, -1048576, 1048576, 1048576);
    EXPECT_FALSE(map.request.preserve_rgb_of_zero_alpha);
}

TEST_F(SmartPreRender, GpuIsOfferedForOpenClAndCudaOnly)
{
    UseInput(16, 16);
    // The back-off state starts at 0, so nothing withholds the offer in this process.
    const PF_GPU_Framework frameworks[] = {PF_GPU_Framework_NONE, PF_GPU_Framework_OPENCL, PF_GPU_Framework_METAL,
                                           PF_GPU_Framework_CUDA, PF_GPU_Framework_DIRECTX};
    const PF_RenderOutputFlags expected[] = {0, PF_RenderOutputFlag_GPU_RENDER_POSSIBLE, 0,
                                             PF_RenderOutputFlag_GPU_RENDER_POSSIBLE, 0};
    for (int i = 0; i < 5; ++i) {
        RenderRequest request = PreRenderOnly();
        request.what_gpu = frameworks[i];
        const RenderResult result = host.render().Frame(request);
        ASSERT_EQ(result.error, PF_Err_NONE);
        EXPECT_EQ(result.flags, expected[i]) << "what_gpu " << frameworks[i];
    }
}

TEST_F(SmartPreRender, FailedParameterCheckoutChecksEverythingBackIn)
{
    UseInput(16, 16);
    for (const int failing : {static_cast<int>(PARAM_PRESET), static_cast<int>(PARAM_MIX)}) {
        host.ClearLogs();
        host.faults().Clear();
        Injection fail;
        fail.call = HostCall::CheckoutParam;
        fail.param_index = failing;
        fail.error = PF_Err_BAD_CALLBACK_PARAM;
        host.faults().Inject(fail);
        const RenderResult result = host.render().Frame();
        EXPECT_EQ(result.error, PF_Err_BAD_CALLBACK_PARAM) << failing;
        EXPECT_FALSE(result.rendered);
        EXPECT_EQ(host.params().OutstandingCheckouts(), 0) << failing;
        EXPECT_EQ(host.suites().Outstanding(), 0);
        EXPECT_TRUE(host.render().layer_checkouts().empty());
        // No further parameter is asked for after the failure.
        EXPECT_EQ(host.params().checkouts().back().index, failing);
    }
}

TEST_F(SmartPreRender, FailedInputCheckoutReturnsItsError)
{
    UseInput(16, 16);
    Injection fail;
    fail.call = HostCall::CheckoutLayer;
    fail.param_index = PARAM_INPUT;
    fail.error = PF_Err_OUT_OF_MEMORY;
    host.faults().Inject(fail);
    const RenderResult result = host.render().Frame();
    EXPECT_EQ(result.error, PF_Err_OUT_OF_MEMORY);
    EXPECT_FALSE(result.rendered);
    EXPECT_EQ(host.params().OutstandingCheckouts(), 0);
    EXPECT_EQ(host.render().PreRenderDataFreed(), 0);   // the plug-in freed its own record
}

TEST_F(SmartPreRender, MissingRecordsAreRefused)
{
    UseInput(16, 16);
    PF_PreRenderInput input{};
    PF_PreRenderOutput output{};
    PF_PreRenderCallbacks cb = RenderRoads::PreRenderCallbacks();
    PF_PreRenderExtra no_output{&input, nullptr, &cb};
    EXPECT_EQ(host.module().SendCommand(PF_Cmd_SMART_PRE_RENDER, &no_output), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host.module().SendCommand(PF_Cmd_SMART_PRE_RENDER, nullptr), PF_Err_INTERNAL_STRUCT_DAMAGED);
    PF_PreRenderCallbacks no_checkout{};
    PF_PreRenderExtra no_callback{&input, &output, &no_checkout};
    EXPECT_EQ(host.module().SendCommand(PF_Cmd_SMART_PRE_RENDER, &no_callback), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(output.pre_render_data, nullptr);
    EXPECT_EQ(host.params().OutstandingCheckouts(), 0);
}

}   // namespace
