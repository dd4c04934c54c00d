// Quaverflux.aex in a Windows process, loaded by the host simulator with LoadLibraryW, under Wine: a GPU
// device set-up for CUDA fails (Wine has no CUDA driver, and the stand-in nvcuda.dll beside this program
// is outside the system folder), is no error for the host, and is logged in GetTempPathA's folder.
#include "HostSim.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string LogPath()
{
    char folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    return std::string(folder, length) + "Quaverflux.log";
}

// A host GPU device of the CUDA framework, with a context pointer the plug-in never gets to use.
PF_Err CudaDeviceInfo(PF_ProgPtr, A_u_long, PF_GPUDeviceInfo* info)
{
    *info = PF_GPUDeviceInfo{};
    info->device_framework = PF_GPU_Framework_CUDA;
    static int context;
    info->contextPV = &context;
    return PF_Err_NONE;
}

TEST(WindowsPlugin, FailedGpuSetupIsLoggedInTheTemporaryFolder)
{
    HostSim host(QF_MODULE_PATH);
    ASSERT_EQ(host.Start(), PF_Err_NONE);
    PF_GPUDeviceSuite1 suite{};
    suite.GetDeviceInfo = CudaDeviceInfo;
    host.suites().Provide(kPFGPUDeviceSuite, kPFGPUDeviceSuiteVersion1, &suite);

    const std::string path = LogPath();
    const std::string before = ReadFile(path);
    PF_GPUDeviceSetupInput input{};
    input.what_gpu = PF_GPU_Framework_CUDA;
    PF_GPUDeviceSetupOutput output{};
    PF_GPUDeviceSetupExtra extra{&input, &output};
    EXPECT_EQ(host.module().SendCommand(PF_Cmd_GPU_DEVICE_SETUP, &extra), PF_Err_NONE);
    EXPECT_EQ(output.gpu_data, nullptr);
    EXPECT_EQ(host.module().out_data().out_flags2 & PF_OutFlag2_SUPPORTS_GPU_RENDER_F32, 0);

    const std::string after = ReadFile(path);
    ASSERT_GT(after.size(), before.size()) << "nothing logged in " << path;
    const std::string line = after.substr(before.size());
    EXPECT_EQ(line.substr(0, 1), "[");
    EXPECT_EQ(line.substr(20), "] GPU setup failed (CUDA): CUDA driver not available\r\n");
}

}   // namespace
