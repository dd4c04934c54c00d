// Launch geometry of the GPU render (bands, OpenCL work sizes, CUDA grids), the work-group choice, the
// back-off state, and LaunchGpuFrame's refusals before any runtime is touched.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "GpuBackoff.h"
#include "GpuDevice.h"
#include "GpuRender.h"

namespace {

std::vector<std::pair<int, int>> Bands(int out_w, int out_h)
{
    std::vector<std::pair<int, int>> bands;
    for (const GpuBand& band : GpuBands(out_w, out_h))
        bands.emplace_back(band.y0, band.h);
    return bands;
}

TEST(GpuBands, FullHdIsTwoLaunches)
{
    EXPECT_EQ(GpuBandRows(1920), 546);
    // Rows 0 to 545 and 546 to 1079.
    EXPECT_EQ(Bands(1920, 1080), (std::vector<std::pair<int, int>>{{0, 546}, {546, 534}}));
}

TEST(GpuBands, RowsFollowTheWidth)
{
    EXPECT_EQ(GpuBandRows(4096), 256);
    EXPECT_EQ(GpuBandRows(10), 104857);
    EXPECT_EQ(Bands(10, 200000), (std::vector<std::pair<int, int>>{{0, 104857}, {104857, 95143}}));
    EXPECT_EQ(GpuBandRows(1), 1048576);
}

TEST(GpuBands, VeryWideOutputsKeepSixteenRows)
{
    EXPECT_EQ(GpuBandRows(100000), GPU_MIN_BAND_ROWS);
    EXPECT_EQ(Bands(100000, 40), (std::vector<std::pair<int, int>>{{0, 16}, {16, 16}, {32, 8}}));
    EXPECT_EQ(GpuBandRows(INT_MAX), GPU_MIN_BAND_ROWS);
}

TEST(GpuBands, DegenerateSizes)
{
    EXPECT_TRUE(GpuBands(1920, 0).empty());
    EXPECT_TRUE(GpuBands(1920, -5).empty());
    EXPECT_EQ(GpuBandRows(0), 1048576);   // a width below 1 counts as 1
    EXPECT_EQ(GpuBandRows(-3), 1048576);
    // The last band of a very tall output ends exactly at out_h, without overflowing the row counter.
    const std::vector<GpuBand> bands = GpuBands(1, INT_MAX);
    ASSERT_FALSE(bands.empty());
    EXPECT_EQ(static_cast<long long>(bands.back().y0) + bands.back().h, INT_MAX);
    EXPECT_EQ(bands.size(), 2048u);
}

TEST(GpuLaunchShape, OpenCLRoundsUpToWholeWorkGroups)
{
    GpuDeviceData record;
    OpenCLWorkSize size = OpenCLBandWorkSize(1000, 546, record);
    EXPECT_TRUE(size.has_local);
    EXPECT_EQ(size.global[0], 1008u);
    EXPECT_EQ(size.global[1], 560u);
    EXPECT_EQ(size.local[0], 16u);
    EXPECT_EQ(size.local[1], 16u);

    record.work_group[0] = record.work_group[1] = 8;
    size = OpenCLBandWorkSize(1000, 546, record);
    EXPECT_EQ(size.global[0], 1000u);
    EXPECT_EQ(size.global[1], 552u);
    EXPECT_EQ(size.local[0], 8u);
}

TEST(GpuLaunchShape, OpenCLWithoutWorkGroupIsExact)
{
    GpuDeviceData record;
    record.use_work_group_size = false;
    const OpenCLWorkSize size = OpenCLBandWorkSize(1000, 546, record);
    EXPECT_FALSE(size.has_local);
    EXPECT_EQ(size.global[0], 1000u);
    EXPECT_EQ(size.global[1], 546u);
}

TEST(GpuLaunchShape, CudaGridOfSixteenBySixteenBlocks)
{
    const CudaLaunchShape shape = CudaBandShape(1000, 546);
    EXPECT_EQ(shape.grid[0], 63u);
    EXPECT_EQ(shape.grid[1], 35u);
    EXPECT_EQ(shape.grid[2], 1u);
    EXPECT_EQ(shape.block[0], 16u);
    EXPECT_EQ(shape.block[1], 16u);
    EXPECT_EQ(shape.block[2], 1u);
    EXPECT_EQ(CudaBandShape(INT_MAX, 16).grid[0], 134217728u);   // no overflow in the rounding
}

TEST(GpuWorkGroup, ChosenFromTheKernelsLargestGroup)
{
    struct Case {
        bool queried;
        std::size_t max;
        bool use;
        std::size_t side;
    };
    for (const Case& c : {Case{true, 1024, true, 16}, Case{true, 256, true, 16}, Case{true, 255, true, 8},
                          Case{true, 64, true, 8}, Case{true, 63, false, 0}, Case{false, 1024, false, 0}}) {
        GpuDeviceData record;
        ChooseWorkGroup(c.queried, c.max, record);
        EXPECT_EQ(record.use_work_group_size, c.use) << "maximum " << c.max << (c.queried ? "" : " (query failed)");
        if (c.use) {
            EXPECT_EQ(record.work_group[0], c.side) << "maximum " << c.max;
            EXPECT_EQ(record.work_group[1], c.side) << "maximum " << c.max;
        }
    }
}

TEST(GpuBackoffState, SecondFailureInARowWithholdsTheGpuForAMinute)
{
    GpuBackoff backoff;
    EXPECT_TRUE(backoff.OfferAllowed());
    backoff.FrameFailed();
    EXPECT_EQ(backoff.FailureCount(), 1);
    EXPECT_EQ(backoff.RetryAfterMs(), 0);
    EXPECT_TRUE(backoff.OfferAllowed());

    const std::int64_t before = SteadyClockMs();
    backoff.FrameFailed();
    const std::int64_t after = SteadyClockMs();
    EXPECT_EQ(backoff.FailureCount(), 0);
    EXPECT_GE(backoff.RetryAfterMs(), before + GPU_RETRY_DELAY_MS);
    EXPECT_LE(backoff.RetryAfterMs(), after + GPU_RETRY_DELAY_MS);
    EXPECT_FALSE(backoff.OfferAllowed());
}

TEST(GpuBackoffState, ASuccessInBetweenStartsCountingAnew)
{
    GpuBackoff backoff;
    backoff.FrameFailed();
    backoff.FrameSucceeded();
    EXPECT_EQ(backoff.FailureCount(), 0);
    backoff.FrameFailed();
    EXPECT_EQ(backoff.RetryAfterMs(), 0);
    EXPECT_TRUE(backoff.OfferAllowed());
}

TEST(GpuBackoffState, TheProcessHasOne)
{
    EXPECT_EQ(&ProcessGpuBackoff(), &ProcessGpuBackoff());
}

TEST(LaunchGpuFrame, RefusesMissingBuffersAndEmptyOutputs)
{
    GpuDeviceData record;
    QF_Frame frame{};
    frame.out_w = 4;
    frame.out_h = 4;
    int a = 0, b = 0;
    std::string error;
    EXPECT_FALSE(LaunchGpuFrame(nullptr, nullptr, &a, &b, nullptr, frame, &error));
    EXPECT_EQ(error, "bad arguments");
    error.clear();
    EXPECT_FALSE(LaunchGpuFrame(&record, nullptr, nullptr, &b, nullptr, frame, &error));
    EXPECT_EQ(error, "bad arguments");
    error.clear();
    EXPECT_FALSE(LaunchGpuFrame(&record, nullptr, &a, nullptr, nullptr, frame, &error));
    EXPECT_EQ(error, "bad arguments");
    error.clear();
    frame.out_h = 0;
    EXPECT_FALSE(LaunchGpuFrame(&record, nullptr, &a, &b, nullptr, frame, &error));
    EXPECT_EQ(error, "bad arguments");
    EXPECT_FALSE(LaunchGpuFrame(&record, nullptr, &a, &b, nullptr, frame, nullptr));   // no text wanted
}

TEST(LaunchGpuFrame, ARecordWithoutItsKernelIsNotReady)
{
    QF_Frame frame{};
    frame.out_w = frame.out_h = 4;
    int a = 0, b = 0;
    std::string error;
    GpuDeviceData opencl;
    EXPECT_FALSE(LaunchGpuFrame(&opencl, nullptr, &a, &b, nullptr, frame, &error));
    EXPECT_EQ(error, "OpenCL not ready");
    GpuDeviceData cuda;
    cuda.framework = GpuFramework::Cuda;
    EXPECT_FALSE(LaunchGpuFrame(&cuda, nullptr, &a, &b, nullptr, frame, &error));
    EXPECT_EQ(error, "CUDA not ready");
}

// Whether the runtime is installed or not, a device without the host's handles gets no record.
TEST(SetupGpuDevice, MissingHostHandlesGiveNoRecord)
{
    std::string error;
    EXPECT_EQ(SetupGpuDevice(GpuFramework::OpenCL, nullptr, nullptr, &error), nullptr);
    EXPECT_TRUE(error == "no OpenCL context / device" || error == "OpenCL library not available") << error;
    int context = 0;
    error.clear();
    EXPECT_EQ(SetupGpuDevice(GpuFramework::OpenCL, &context, nullptr, &error), nullptr);
    EXPECT_TRUE(error == "no OpenCL context / device" || error == "OpenCL library not available") << error;
    error.clear();
    EXPECT_EQ(SetupGpuDevice(GpuFramework::Cuda, nullptr, &context, &error), nullptr);
    EXPECT_TRUE(error == "no CUDA context" || error == "CUDA driver not available") << error;
    EXPECT_EQ(SetupGpuDevice(GpuFramework::Cuda, nullptr, nullptr, nullptr), nullptr);   // no text wanted
    DestroyGpuDevice(nullptr);                                                           // ignored
}

TEST(GpuCopies, MissingBuffersFailWithoutAMessage)
{
    GpuDeviceData record;
    float host[4] = {};
    int device = 0;
    std::string error;
    EXPECT_FALSE(DownloadFromGpu(nullptr, nullptr, &device, sizeof host, host, &error));
    EXPECT_FALSE(DownloadFromGpu(&record, nullptr, nullptr, sizeof host, host, &error));
    EXPECT_FALSE(UploadToGpu(&record, nullptr, &device, sizeof host, nullptr, &error));
    EXPECT_TRUE(error.empty());
}

}   // namespace
