// OpenCL failures as the plug-in meets them, played by the stand-in runtime in front of the real one: a
// set-up that fails is logged and declined, a frame that fails is logged and redone on the CPU with the
// CPU's pixels, and repeated failures withhold the GPU for a while.
#include "GpuTestSupport.h"
#include "StandIns.h"

namespace {

const auto* const log_folder = ::testing::AddGlobalTestEnvironment(new LogFolderEnvironment);
const auto* const stand_ins = ::testing::AddGlobalTestEnvironment(new StandInEnvironment);

const StandIn& cl = OpenCLStandIn();

class OpenCLFaults : public GpuHostTest {
protected:
    void SetUp() override
    {
        OpenCLStandIn().Reset();
        CudaStandIn().Reset();
        GpuHostTest::SetUp();
        ASSERT_EQ(host.gpu().SetUp(PF_GPU_Framework_OPENCL), PF_Err_NONE);
        if (!host.gpu().Device()) {
            GTEST_SKIP() << "skipped: no device (" << host.gpu().Unavailable() << ")";
        }
        ASSERT_TRUE(host.gpu().Accepted());
        cl.Reset();
        UseFloatInput(24, 20);
        host.params().Set(PARAM_ITERATIONS, 2);
        host.params().Set(PARAM_COLOR_SPLIT, 20.0);
        cpu_ = Render(Renderer::Cpu).image;
    }

    // Sets the device down and up again with the stand-in's books cleared first.
    PF_Err SetUpAgain()
    {
        EXPECT_EQ(host.gpu().SetDown(), PF_Err_NONE);
        ClearLog();
        return host.gpu().SetUp(PF_GPU_Framework_OPENCL);
    }

    std::string RenderFailed(const std::string& error) const
    {
        return "GPU render failed (" + error + "), frame redone on the CPU";
    }

    FloatImage cpu_;   // the frame set up above, rendered on the CPU
};

TEST_F(OpenCLFaults, EachSetUpCallFailingIsLoggedOnceAndDeclined)
{
    struct Case {
        const char* call;
        int status;
        int releases;   // programs released on the way out
    };
    for (const Case& c : {Case{"clCreateProgramWithSource", -6, 0}, Case{"clCreateProgramWithSource", 0, 0},
                          Case{"clBuildProgram", -11, 1}, Case{"clCreateKernel", -46, 1},
                          Case{"clCreateKernel", 0, 1}}) {
        SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.status));
        ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
        cl.Reset();
        ClearLog();
        cl.Fail(c.call, c.status);
        cl.Control<QfFakeBuildLogFn>("qf_fake_build_log")("", 0);   // no build log to append
        EXPECT_EQ(host.gpu().SetUp(PF_GPU_Framework_OPENCL), PF_Err_NONE);
        EXPECT_FALSE(host.gpu().Accepted());
        EXPECT_EQ(host.gpu().Data(), nullptr);
        EXPECT_EQ(LogMessages(), std::vector<std::string>{"GPU setup failed (OpenCL): " + std::string(c.call) +
                                                          " failed: " + std::to_string(c.status)});
        EXPECT_EQ(cl.Calls("clReleaseProgram"), c.releases);
        EXPECT_EQ(cl.Calls("clReleaseKernel"), 0);
    }
    // Declined: frames of this device go to the CPU.
    const RenderResult result = Render(Renderer::OpenCL);
    EXPECT_EQ(result.drawn_by, Renderer::Cpu);
    EXPECT_TRUE(SameImage(result.image, cpu_));
}

TEST_F(OpenCLFaults, TheBuildLogIsAppendedWhenItsSizeIsPlausible)
{
    const std::string text = "error: no such thing\nnote: line two";
    struct Case {
        size_t size;
        std::string appended;
    };
    for (const Case& c : {Case{1, ""}, Case{2, "\ner"}, Case{text.size() + 1, "\n" + text},
                          Case{1048575, "\n" + text}, Case{1048576, ""}}) {
        SCOPED_TRACE("reported size " + std::to_string(c.size));
        ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
        cl.Reset();
        ClearLog();
        cl.Fail("clBuildProgram", -11);
        cl.Control<QfFakeBuildLogFn>("qf_fake_build_log")(text.c_str(), c.size);
        EXPECT_EQ(host.gpu().SetUp(PF_GPU_Framework_OPENCL), PF_Err_NONE);
        EXPECT_FALSE(host.gpu().Accepted());
        // The log's line breaks stay in the entry: its message goes on over the following lines.
        std::string logged;
        for (const std::string& line : LogMessages()) {
            logged += (logged.empty() ? "" : "\n") + line;
        }
        EXPECT_EQ(logged, "GPU setup failed (OpenCL): clBuildProgram failed: -11" + c.appended);
    }
}

TEST_F(OpenCLFaults, TheWorkGroupFollowsTheKernelsLargestGroup)
{
    struct Case {
        size_t largest;   // 0: the query fails
        unsigned side;    // 0: the runtime chooses
    };
    for (const Case& c : {Case{1024, 16}, Case{256, 16}, Case{255, 8}, Case{64, 8}, Case{63, 0}, Case{0, 0}}) {
        SCOPED_TRACE("largest work-group " + std::to_string(c.largest));
        ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
        cl.Reset();
        if (c.largest) {
            cl.Control<QfFakeWorkGroupSizeFn>("qf_fake_work_group_size")(c.largest);
        } else {
            cl.Fail("clGetKernelWorkGroupInfo", -30);
        }
        ASSERT_EQ(host.gpu().SetUp(PF_GPU_Framework_OPENCL), PF_Err_NONE);
        ASSERT_TRUE(host.gpu().Accepted());   // a failed query is no failure
        const RenderResult result = Render(Renderer::OpenCL);
        EXPECT_TRUE(SameImage(result.image, cpu_));
        const std::vector<QfFakeLaunch> launches = cl.Launches();
        ASSERT_EQ(launches.size(), 1u);
        const QfFakeLaunch& launch = launches[0];
        EXPECT_EQ(launch.has_group, c.side ? 1 : 0);
        if (c.side) {
            EXPECT_EQ(launch.group[0], c.side);
            EXPECT_EQ(launch.group[1], c.side);
            EXPECT_EQ(launch.size[0], 24 + (c.side - 24 % c.side) % c.side);
            EXPECT_EQ(launch.size[1], 20 + (c.side - 20 % c.side) % c.side);
        } else {
            EXPECT_EQ(launch.size[0], 24u);   // exactly the band
            EXPECT_EQ(launch.size[1], 20u);
        }
        EXPECT_EQ(launch.band_y0, 0);
        EXPECT_EQ(launch.band_h, 20);
        EXPECT_TRUE(LogMessages().empty());
    }
}

TEST_F(OpenCLFaults, AFailedLaunchIsLoggedAndRedoneOnTheCpu)
{
    struct Case {
        const char* call;
        std::string error;
    };
    for (const Case& c : {Case{"clCreateBuffer", "clCreateBuffer failed: -4"},
                          Case{"clSetKernelArg", "OpenCL launch failed: -4"},
                          Case{"clEnqueueNDRangeKernel", "OpenCL launch failed: -4"}}) {
        SCOPED_TRACE(c.call);
        cl.Reset();
        ClearLog();
        cl.Fail(c.call, -4);
        const RenderResult result = Render(Renderer::OpenCL);
        EXPECT_EQ(result.error, PF_Err_NONE);
        EXPECT_EQ(result.drawn_by, Renderer::OpenCL);
        EXPECT_TRUE(SameImage(result.image, cpu_));
        EXPECT_EQ(LogMessages(), std::vector<std::string>{RenderFailed(c.error)});
        // Every frame-record buffer made is released, the failing band's too.
        const int made = cl.Calls("clCreateBuffer") - (std::string(c.call) == "clCreateBuffer" ? 1 : 0);
        EXPECT_EQ(cl.Calls("clReleaseMemObject"), made);
        EXPECT_EQ(cl.Calls("clFlush"), 0);
        // A frame that works in between: no back-off builds up over the cases.
        EXPECT_EQ(Render(Renderer::OpenCL).drawn_by, Renderer::OpenCL);
    }
}

// 1500 x 720 renders as bands of 699 and 21 rows. The second launch fails after the first band was
// drawn: the CPU redoes the whole frame.
TEST_F(OpenCLFaults, ASecondBandFailingRedoesTheWholeFrame)
{
    UseFloatInput(1500, 720);
    host.params().Set(PARAM_ANTIALIASING, 1);
    const FloatImage cpu = Render(Renderer::Cpu).image;
    cl.Fail("clEnqueueNDRangeKernel", -5, 1);
    const RenderResult result = Render(Renderer::OpenCL);
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_TRUE(SameImage(result.image, cpu));
    EXPECT_EQ(cl.Calls("clEnqueueNDRangeKernel"), 2);
    const std::vector<QfFakeLaunch> launches = cl.Launches();   // the ones that ran
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].band_y0, 0);
    EXPECT_EQ(launches[0].band_h, 699);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{RenderFailed("OpenCL launch failed: -5")});
}

TEST_F(OpenCLFaults, TwoFailuresInARowWithholdTheGpu)
{
    cl.Fail("clEnqueueNDRangeKernel", -5, 0, 2);
    for (int frame = 0; frame < 2; ++frame) {
        const RenderResult failed = Render(Renderer::OpenCL);
        EXPECT_NE(failed.flags & PF_RenderOutputFlag_GPU_RENDER_POSSIBLE, 0);
        EXPECT_EQ(failed.drawn_by, Renderer::OpenCL);
        EXPECT_TRUE(SameImage(failed.image, cpu_));
    }
    const RenderResult withheld = Render(Renderer::OpenCL);
    EXPECT_EQ(withheld.flags & PF_RenderOutputFlag_GPU_RENDER_POSSIBLE, 0);
    EXPECT_EQ(withheld.drawn_by, Renderer::Cpu);
    EXPECT_EQ(withheld.gpu_note, "the pre-render did not offer the GPU");
    EXPECT_TRUE(SameImage(withheld.image, cpu_));
    EXPECT_EQ(LogMessages().size(), 2u);
}

TEST_F(OpenCLFaults, ASuccessInBetweenStartsTheCountAgain)
{
    for (int round = 0; round < 3; ++round) {
        cl.Fail("clEnqueueNDRangeKernel", -5);
        EXPECT_EQ(Render(Renderer::OpenCL).drawn_by, Renderer::OpenCL);   // fails, redone on the CPU
        const RenderResult next = Render(Renderer::OpenCL);                // works: the count starts again
        EXPECT_NE(next.flags & PF_RenderOutputFlag_GPU_RENDER_POSSIBLE, 0) << "round " << round;
        EXPECT_EQ(next.drawn_by, Renderer::OpenCL);
    }
    EXPECT_EQ(LogMessages().size(), 3u);
}

TEST_F(OpenCLFaults, FailedCopiesOfTheFallbackGive512)
{
    // Download of the input.
    cl.Fail("clEnqueueNDRangeKernel", -5);
    cl.Fail("clEnqueueReadBuffer", -36);
    EXPECT_EQ(Render(Renderer::OpenCL).error, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(Render(Renderer::OpenCL).error, PF_Err_NONE);   // a working frame between the two
    // Upload of the result.
    cl.Fail("clEnqueueNDRangeKernel", -5);
    cl.Fail("clEnqueueWriteBuffer", -36);
    EXPECT_EQ(Render(Renderer::OpenCL).error, PF_Err_INTERNAL_STRUCT_DAMAGED);
    // Only the launch failures are logged, not the copies'.
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{RenderFailed("OpenCL launch failed: -5"),
                                                       RenderFailed("OpenCL launch failed: -5")}));
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

TEST_F(OpenCLFaults, AFailedMapDownloadRendersWithoutTheMap)
{
    host.params().SetMapLayer(host.layers().Add(Pattern(14, 10, 0.0f), PixelDepth::Float));
    const FloatImage with_map = Render(Renderer::Cpu).image;
    ASSERT_FALSE(SameImage(with_map, cpu_));
    cl.Fail("clEnqueueNDRangeKernel", -5);
    cl.Fail("clEnqueueReadBuffer", -36, 1);   // the input comes down, the map does not
    const RenderResult result = Render(Renderer::OpenCL);
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_TRUE(SameImage(result.image, cpu_));
    // With the map downloaded the fallback keeps it.
    cl.Fail("clEnqueueNDRangeKernel", -5);
    EXPECT_TRUE(SameImage(Render(Renderer::OpenCL).image, with_map));
}

TEST_F(OpenCLFaults, MetalAndDirectXDevicesGetNoRecord)
{
    for (const PF_GPU_Framework framework : {PF_GPU_Framework_METAL, PF_GPU_Framework_DIRECTX}) {
        ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
        cl.Reset();
        CudaStandIn().Reset();
        EXPECT_EQ(host.gpu().SetUp(framework), PF_Err_NONE);
        EXPECT_FALSE(host.gpu().Accepted());
        EXPECT_EQ(host.gpu().Data(), nullptr);
        EXPECT_TRUE(cl.CallLog().empty());
        EXPECT_TRUE(CudaStandIn().CallLog().empty());
    }
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(OpenCLFaults, SetDownReleasesTheKernelBeforeTheProgram)
{
    ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
    EXPECT_EQ(cl.CallLog(), (std::vector<std::string>{"clReleaseKernel", "clReleaseProgram"}));
}

}   // namespace
