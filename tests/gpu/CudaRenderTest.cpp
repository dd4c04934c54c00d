// The CUDA road on the stand-in driver, which runs the kernel's CUDA entry on the CPU with device memory
// in host memory: the CPU's pixels, one grid of 16 x 16 blocks per band, a balanced context stack, and the
// driver's failures at set-up and at render.
#include "GpuTestSupport.h"
#include "StandIns.h"

namespace {

const StandIn& cu = CudaStandIn();

class CudaRender : public GpuHostTest {
protected:
    void SetUp() override
    {
        OpenCLStandIn().Reset();
        cu.Reset();
        GpuHostTest::SetUp();
        ASSERT_EQ(host.gpu().SetUp(PF_GPU_Framework_CUDA), PF_Err_NONE);
        ASSERT_NE(host.gpu().Device(), nullptr) << host.gpu().Unavailable();
        ASSERT_TRUE(host.gpu().Accepted()) << (LogMessages().empty() ? "" : LogMessages().front());
        EXPECT_EQ(Balance(), 0);
        UseFloatInput(37, 29);
        host.params().Set(PARAM_ITERATIONS, 2);
        host.params().Set(PARAM_COLOR_SPLIT, 25.0);
        host.params().Set(PARAM_EVOLUTION_SPEED, 0.4);
        host.settings().current_time = 20;
        cpu_ = Render(Renderer::Cpu).image;
        cu.Reset();
    }

    void TearDown() override
    {
        EXPECT_EQ(Balance(), 0) << "every context push has its pop";
        GpuHostTest::TearDown();
    }

    static int Balance() { return cu.Control<QfFakeContextBalanceFn>("qf_fake_context_balance")(); }
    static int Modules() { return cu.Control<QfFakeModulesFn>("qf_fake_modules")(); }

    RenderResult OnCuda(RenderRequest request = {}) { return Render(Renderer::Cuda, request); }

    std::string RenderFailed(const std::string& error) const
    {
        return "GPU render failed (" + error + "), frame redone on the CPU";
    }

    FloatImage cpu_;
};

TEST_F(CudaRender, DrawsTheCpuPixelsWithOneGridPerBand)
{
    const RenderResult result = OnCuda();
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_EQ(result.drawn_by, Renderer::Cuda);
    EXPECT_TRUE(SameImage(result.image, cpu_));
    const std::vector<QfFakeLaunch> launches = cu.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].size[0], 3u);   // 37 columns in blocks of 16
    EXPECT_EQ(launches[0].size[1], 2u);   // 29 rows
    EXPECT_EQ(launches[0].size[2], 1u);
    EXPECT_EQ(launches[0].group[0], 16u);
    EXPECT_EQ(launches[0].group[1], 16u);
    EXPECT_EQ(launches[0].group[2], 1u);
    EXPECT_EQ(launches[0].band_y0, 0);
    EXPECT_EQ(launches[0].band_h, 29);
    EXPECT_EQ(cu.Calls("cuMemcpyDtoHAsync_v2") + cu.Calls("cuMemcpyHtoDAsync_v2"), 0);   // no pixel left the device
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(CudaRender, MapsDownsampleAndPaddedRowsMatchTheCpu)
{
    host.params().SetMapLayer(host.layers().Add(Pattern(15, 11, 0.0f), PixelDepth::Float));
    RenderRequest request;
    request.rect = PF_LRect{3, 2, 36, 27};
    const RenderResult cpu = Render(Renderer::Cpu, request);
    request.gpu_row_padding = 32;
    EXPECT_TRUE(SameImage(OnCuda(request).image, cpu.image));

    host.settings().downsample_x = PF_RationalScale{1, 2};
    host.settings().downsample_y = PF_RationalScale{1, 2};
    UseFloatInput(19, 15);
    EXPECT_TRUE(SameImage(OnCuda().image, Render(Renderer::Cpu).image));
}

// 1500 x 720: bands of 699 and 21 rows, grids of 94 x 44 and 94 x 2 blocks.
TEST_F(CudaRender, AFrameOfTwoBands)
{
    UseFloatInput(1500, 720);
    host.params().Set(PARAM_ANTIALIASING, 1);
    host.params().Set(PARAM_ITERATIONS, 1);
    const FloatImage cpu = Render(Renderer::Cpu).image;
    cu.Reset();
    EXPECT_TRUE(SameImage(OnCuda().image, cpu));
    const std::vector<QfFakeLaunch> launches = cu.Launches();
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[0].size[0], 94u);
    EXPECT_EQ(launches[0].size[1], 44u);
    EXPECT_EQ(launches[0].band_y0, 0);
    EXPECT_EQ(launches[0].band_h, 699);
    EXPECT_EQ(launches[1].size[0], 94u);
    EXPECT_EQ(launches[1].size[1], 2u);
    EXPECT_EQ(launches[1].band_y0, 699);
    EXPECT_EQ(launches[1].band_h, 21);
}

TEST_F(CudaRender, EachSetUpCallFailingIsLoggedOnceAndDeclined)
{
    // The plug-in's own push is the last one before it loads the module; the host pushes before it too.
    ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
    cu.Reset();
    ASSERT_EQ(host.gpu().SetUp(PF_GPU_Framework_CUDA), PF_Err_NONE);
    const int host_pushes = cu.CallsBefore("cuCtxPushCurrent_v2", "cuModuleLoadDataEx") - 1;

    struct Case {
        const char* call;
        int status;
        int skip;
        std::string error;
    };
    for (const Case& c : {Case{"cuCtxPushCurrent_v2", 201, host_pushes, "cuCtxPushCurrent failed"},
                          Case{"cuModuleLoadDataEx", 218, 0, "CUDA module load failed: 218 fake JIT: injected failure"},
                          Case{"cuModuleGetFunction", 500, 0, "CUDA module load failed: 500 "}}) {
        SCOPED_TRACE(c.call);
        ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
        cu.Reset();
        ClearLog();
        cu.Fail(c.call, c.status, c.skip);
        EXPECT_EQ(host.gpu().SetUp(PF_GPU_Framework_CUDA), PF_Err_NONE);
        EXPECT_FALSE(host.gpu().Accepted());
        EXPECT_EQ(host.gpu().Data(), nullptr);
        EXPECT_EQ(LogMessages(), std::vector<std::string>{"GPU setup failed (CUDA): " + c.error});
        EXPECT_EQ(Modules(), 0);   // a module loaded before the failure is unloaded again
        EXPECT_EQ(Balance(), 0);
    }
    EXPECT_EQ(cu.Calls("cuModuleUnload"), 1);   // the last case loaded one
}

TEST_F(CudaRender, AFailedLaunchIsRedoneOnTheCpu)
{
    cu.Fail("cuLaunchKernel", 719);
    RenderResult result = OnCuda();
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_TRUE(SameImage(result.image, cpu_));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{RenderFailed("CUDA launch failed: 719")});
    EXPECT_EQ(OnCuda().error, PF_Err_NONE);   // a working frame: no back-off

    // The plug-in's push before its launches fails: the host's own pushes come first.
    cu.Reset();
    ASSERT_TRUE(SameImage(OnCuda().image, cpu_));
    const int host_pushes = cu.CallsBefore("cuCtxPushCurrent_v2", "cuLaunchKernel") - 1;
    cu.Reset();
    ClearLog();
    cu.Fail("cuCtxPushCurrent_v2", 201, host_pushes);
    result = OnCuda();
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_TRUE(SameImage(result.image, cpu_));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{RenderFailed("cuCtxPushCurrent failed")});
    EXPECT_EQ(cu.Calls("cuLaunchKernel"), 0);
}

TEST_F(CudaRender, FailedCopiesOfTheFallbackGive512)
{
    cu.Fail("cuLaunchKernel", 719);
    cu.Fail("cuMemcpyDtoHAsync_v2", 700);
    EXPECT_EQ(OnCuda().error, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(OnCuda().error, PF_Err_NONE);
    cu.Fail("cuLaunchKernel", 719);
    cu.Fail("cuMemcpyHtoDAsync_v2", 700);
    EXPECT_EQ(OnCuda().error, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(LogMessages().size(), 2u);
}

TEST_F(CudaRender, AFailedMapDownloadRendersWithoutTheMap)
{
    host.params().SetMapLayer(host.layers().Add(Pattern(9, 9, 0.0f), PixelDepth::Float));
    cu.Fail("cuLaunchKernel", 719);
    cu.Fail("cuMemcpyDtoHAsync_v2", 700, 1);
    const RenderResult result = OnCuda();
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_TRUE(SameImage(result.image, cpu_));
}

TEST_F(CudaRender, AutoTakesTheCudaDevice)
{
    ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
    const RenderResult result = Render(Renderer::Auto);
    EXPECT_EQ(result.drawn_by, Renderer::Cuda) << result.gpu_note;
    EXPECT_TRUE(SameImage(result.image, cpu_));
}

TEST_F(CudaRender, SetDownUnloadsTheModule)
{
    EXPECT_EQ(Modules(), 1);
    ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
    EXPECT_EQ(Modules(), 0);
    EXPECT_EQ(cu.Calls("cuModuleUnload"), 1);
}

}   // namespace
