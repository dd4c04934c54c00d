// The plug-in on the machine's OpenCL device (PoCL in CI) through the host's GPU road: the same frames as
// the CPU renderer, bit for bit, over the kernel's switches, and the GPU render's answers to a host that
// gives it less than a frame needs.
#include "GpuTestSupport.h"

#include <functional>

namespace {

const auto* const log_folder = ::testing::AddGlobalTestEnvironment(new LogFolderEnvironment);

class OpenCLRender : public GpuHostTest {
protected:
    void SetUp() override
    {
        GpuHostTest::SetUp();
        ASSERT_EQ(host.gpu().SetUp(PF_GPU_Framework_OPENCL), PF_Err_NONE);
        if (!host.gpu().Device()) {
            GTEST_SKIP() << "skipped: no device (" << host.gpu().Unavailable() << ")";
        }
        ASSERT_TRUE(host.gpu().Accepted()) << "the effect declined " << host.gpu().Device()->name() << "; log: "
                                        << (LogMessages().empty() ? "" : LogMessages().front());
    }

    // The frame on the CPU and on OpenCL; both must succeed, the GPU one on the GPU.
    ::testing::AssertionResult SameOnBoth(const std::string& what, RenderRequest request = {})
    {
        const RenderResult cpu = Render(Renderer::Cpu, request);
        request.gpu_row_padding = gpu_padding;
        const RenderResult gpu = Render(Renderer::OpenCL, request);
        if (cpu.error != PF_Err_NONE || gpu.error != PF_Err_NONE) {
            return ::testing::AssertionFailure() << what << ": errors " << cpu.error << " (CPU), " << gpu.error
                                                 << " (OpenCL)";
        }
        if (gpu.drawn_by != Renderer::OpenCL) {
            return ::testing::AssertionFailure() << what << ": drawn by " << RendererName(gpu.drawn_by) << " ("
                                                 << gpu.gpu_note << ")";
        }
        if (cpu.origin_x != gpu.origin_x || cpu.origin_y != gpu.origin_y) {
            return ::testing::AssertionFailure() << what << ": the outputs sit at different places";
        }
        ::testing::AssertionResult same = SameImage(gpu.image, cpu.image);
        if (!same) {
            return ::testing::AssertionFailure() << what << ": " << same.message();
        }
        return ::testing::AssertionSuccess();
    }

    A_long gpu_padding = 0;
};

// Controls that make every part of the kernel work: several waves, two iterations, animation.
void BusyLook(HostSim& host)
{
    host.params().Set(PARAM_WAVES, 5);
    host.params().Set(PARAM_ITERATIONS, 2);
    host.params().Set(PARAM_EVOLUTION_SPEED, 0.3);
    host.params().Set(PARAM_DRIFT_SPEED_X, 12.0);
    host.settings().current_time = 45;
}

TEST_F(OpenCLRender, EveryWaveformMatchesTheCpu)
{
    UseFloatInput(37, 29);   // an odd width: the work-groups overhang the output
    BusyLook(host);
    for (int waveform = 1; waveform <= 6; ++waveform) {
        host.params().Set(PARAM_WAVEFORM, waveform);
        EXPECT_TRUE(SameOnBoth("waveform " + std::to_string(waveform)));
    }
}

TEST_F(OpenCLRender, EveryEdgeModeMatchesTheCpu)
{
    UseFloatInput(41, 27);
    BusyLook(host);
    host.params().Set(PARAM_STRENGTH, 3.0);   // pixels come from far beyond the layer
    RenderRequest request;
    request.rect = PF_LRect{-6, -5, 45, 30};   // the output reaches past the layer too
    for (int edges = 1; edges <= 4; ++edges) {
        host.params().Set(PARAM_EDGES, edges);
        EXPECT_TRUE(SameOnBoth("edges " + std::to_string(edges), request));
    }
}

TEST_F(OpenCLRender, EveryAntialiasingLevelAndBothInterpolationsMatchTheCpu)
{
    UseFloatInput(33, 31);
    BusyLook(host);
    for (int interpolation = 1; interpolation <= 2; ++interpolation) {
        host.params().Set(PARAM_INTERPOLATION, interpolation);
        for (int level = 1; level <= 4; ++level) {
            host.params().Set(PARAM_ANTIALIASING, level);
            EXPECT_TRUE(SameOnBoth("antialiasing " + std::to_string(level) + ", interpolation " +
                                   std::to_string(interpolation)));
        }
    }
}

TEST_F(OpenCLRender, ColourSplitAndMixMatchTheCpu)
{
    UseFloatInput(35, 25);
    BusyLook(host);
    host.params().Set(PARAM_COLOR_SPLIT, 40.0);
    EXPECT_TRUE(SameOnBoth("colour split"));
    host.params().Set(PARAM_MIX, 45.0);
    EXPECT_TRUE(SameOnBoth("colour split and mix"));
}

TEST_F(OpenCLRender, StrengthMapMatchesTheCpuForEveryChannel)
{
    UseFloatInput(39, 30);
    BusyLook(host);
    host.params().SetMapLayer(host.layers().Add(Pattern(17, 12, 0.0f), PixelDepth::Float));
    for (int channel = 1; channel <= 5; ++channel) {
        host.params().Set(PARAM_MAP_CHANNEL, channel);
        host.params().Set(PARAM_INVERT_MAP, channel == 3 ? 1 : 0);
        EXPECT_TRUE(SameOnBoth("map channel " + std::to_string(channel)));
    }
}

TEST_F(OpenCLRender, DownsampledFramesMatchTheCpu)
{
    host.settings().downsample_x = PF_RationalScale{1, 2};
    host.settings().downsample_y = PF_RationalScale{1, 3};
    UseFloatInput(31, 21);   // the layer at this resolution
    BusyLook(host);
    EXPECT_TRUE(SameOnBoth("downsample 1/2 x 1/3"));
}

TEST_F(OpenCLRender, PaddedGpuRowsAndPartialRequestsMatchTheCpu)
{
    UseFloatInput(40, 32);
    BusyLook(host);
    gpu_padding = 48;   // rows wider than the picture: every world's pitch must be honoured
    host.params().SetMapLayer(host.layers().Add(Pattern(13, 9, 0.0f), PixelDepth::Float));
    RenderRequest request;
    request.rect = PF_LRect{5, 3, 34, 30};
    EXPECT_TRUE(SameOnBoth("padded rows, part of the layer", request));
}

// 1500 x 720 is launched as bands of 699 and 21 rows: the overhanging work-groups of the first band
// must not write the first rows of the second.
TEST_F(OpenCLRender, AFrameOfTwoBandsMatchesTheCpu)
{
    UseFloatInput(1500, 720);
    host.params().Set(PARAM_ANTIALIASING, 1);
    host.params().Set(PARAM_INTERPOLATION, 1);
    EXPECT_TRUE(SameOnBoth("two bands"));
}

TEST_F(OpenCLRender, AutoTakesTheGpu)
{
    UseFloatInput(20, 20);
    const RenderResult result = Render(Renderer::Auto);
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_NE(result.drawn_by, Renderer::Cpu) << result.gpu_note;
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(OpenCLRender, NoInputPixelsGiveTransparentBlackLikeTheCpu)
{
    UseFloatInput(8, 6);
    Injection no_pixels;   // the checkout succeeds without a world, as for a layer with nothing at this time
    no_pixels.call = HostCall::CheckoutLayerPixels;
    no_pixels.error = PF_Err_NONE;
    no_pixels.param_index = PARAM_INPUT;
    no_pixels.times = -1;
    host.faults().Inject(no_pixels);
    const RenderResult cpu = Render(Renderer::Cpu);
    const RenderResult gpu = Render(Renderer::OpenCL);
    EXPECT_EQ(gpu.error, PF_Err_NONE);
    EXPECT_EQ(gpu.drawn_by, Renderer::OpenCL);
    EXPECT_TRUE(SameImage(gpu.image, FloatImage(8, 6)));
    EXPECT_TRUE(SameImage(gpu.image, cpu.image));
}

TEST_F(OpenCLRender, AnOutputThatIsNoGpuWorldIsRefused)
{
    UseFloatInput(12, 12);
    Injection no_format;
    no_format.call = HostCall::GetPixelFormat;   // the format stays PF_PixelFormat_INVALID
    host.faults().Inject(no_format);
    const RenderResult result = Render(Renderer::OpenCL);
    EXPECT_EQ(result.error, PF_Err_UNRECOGNIZED_PARAM_TYPE);
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

TEST_F(OpenCLRender, HostFailuresEndTheFrameWithTheirCode)
{
    UseFloatInput(12, 12);
    Injection fail;
    fail.call = HostCall::GetDeviceInfo;
    fail.error = PF_Err_OUT_OF_MEMORY;
    host.faults().Inject(fail);
    EXPECT_EQ(Render(Renderer::OpenCL).error, PF_Err_OUT_OF_MEMORY);
    host.faults().Clear();
    fail.call = HostCall::GetGPUWorldData;
    fail.error = PF_Err_BAD_CALLBACK_PARAM;
    fail.param_index = PARAM_INPUT;
    host.faults().Inject(fail);
    EXPECT_EQ(Render(Renderer::OpenCL).error, PF_Err_BAD_CALLBACK_PARAM);
    host.faults().Clear();
    fail.call = HostCall::AcquireSuite;
    fail.param_index = -1;
    fail.suite = kPFGPUDeviceSuite;
    host.faults().Inject(fail);
    EXPECT_EQ(Render(Renderer::OpenCL).error, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host.suites().Outstanding(), 0);
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(OpenCLRender, AMapWithoutDeviceDataIsLeftOut)
{
    UseFloatInput(30, 24);
    BusyLook(host);
    const RenderResult without = Render(Renderer::Cpu);
    host.params().SetMapLayer(host.layers().Add(Pattern(10, 10, 0.0f), PixelDepth::Float));
    Injection fail;
    fail.call = HostCall::GetGPUWorldData;
    fail.param_index = PARAM_MAP_LAYER;
    host.faults().Inject(fail);
    const RenderResult gpu = Render(Renderer::OpenCL);
    EXPECT_EQ(gpu.error, PF_Err_NONE);
    EXPECT_TRUE(SameImage(gpu.image, without.image));
    EXPECT_FALSE(SameImage(Render(Renderer::Cpu).image, without.image));   // the map does change the picture
}

TEST_F(OpenCLRender, SetDownAndSetUpAgain)
{
    UseFloatInput(16, 16);
    EXPECT_EQ(host.gpu().SetDown(), PF_Err_NONE);
    EXPECT_EQ(host.gpu().Device(), nullptr);
    EXPECT_TRUE(SameOnBoth("after a new set-up"));   // the renderer sets the device up again
}

}   // namespace
