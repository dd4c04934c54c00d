// The embedded GPU programs as text: what the OpenCL runtime and the CUDA driver are handed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "WarpKernelsEmbedded.h"

namespace {

std::string Ptx() { return std::string(QF_CUDA_PTX, QF_CUDA_PTX_LENGTH); }

int Count(const std::string& text, const std::regex& re)
{
    return int(std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

TEST(OpenCLProgram, FlavourAndPragmaFirstAndExactLength)
{
    EXPECT_EQ(std::strlen(QF_OPENCL_PROGRAM), QF_OPENCL_PROGRAM_LENGTH);
    std::string cl(QF_OPENCL_PROGRAM, QF_OPENCL_PROGRAM_LENGTH);
    EXPECT_EQ(cl.rfind("#define QF_OPENCL 1\n#pragma OPENCL FP_CONTRACT OFF\n", 0), 0u);
    // The parts in order: types, kernel, entry.
    size_t types = cl.find("#ifndef QF_WARP_TYPES_H"), kernel = cl.find("#ifndef QF_WARP_KERNEL_H"),
           entry = cl.find("__kernel void qf_render");
    ASSERT_NE(types, std::string::npos);
    ASSERT_NE(kernel, std::string::npos);
    ASSERT_NE(entry, std::string::npos);
    EXPECT_LT(types, kernel);
    EXPECT_LT(kernel, entry);
}

TEST(CudaProgram, HeaderDirectivesAndTheOneEntry)
{
    std::string ptx = Ptx();
    EXPECT_EQ(std::strlen(QF_CUDA_PTX), QF_CUDA_PTX_LENGTH);
    EXPECT_NE(ptx.find("\n.version 4.2\n"), std::string::npos);
    EXPECT_NE(ptx.find("\n.target sm_50\n"), std::string::npos);
    EXPECT_NE(ptx.find("\n.address_size 64\n"), std::string::npos);
    EXPECT_EQ(Count(ptx, std::regex(R"(\.visible\s+\.entry)")), 1);
    EXPECT_EQ(Count(ptx, std::regex(R"(\.entry\s)")), 1);
    EXPECT_EQ(Count(ptx, std::regex(R"(\.visible\s+\.func)")), 0);
    std::smatch m;
    std::regex entry(R"(\.visible \.entry qf_render\(\s*)"
                     R"(\.param \.u64 qf_render_param_0,\s*)"
                     R"(\.param \.u64 qf_render_param_1,\s*)"
                     R"(\.param \.u64 qf_render_param_2,\s*)"
                     R"(\.param \.align 4 \.b8 qf_render_param_3\[1176\]\s*\)\s*)"
                     R"(\.maxntid 256, 1, 1\s*\.minnctapersm 2)");
    EXPECT_TRUE(std::regex_search(ptx, m, entry)) << "entry signature or launch bounds differ";
}

TEST(CudaProgram, ArithmeticIsUnfusedAndCorrectlyRounded)
{
    std::string ptx = Ptx();
    EXPECT_EQ(Count(ptx, std::regex(R"(\b(fma|mad)\.[a-z.]*f(32|64)\b)")), 0) << "fused multiply-add";
    // Explicit rounding modes keep ptxas from contracting mul and add itself.
    EXPECT_EQ(Count(ptx, std::regex(R"(\b(mul|add|sub)\.f32\b)")), 0) << "float arithmetic without .rn";
    EXPECT_EQ(Count(ptx, std::regex(R"(\b(div|sqrt|rcp|rsqrt)\.(approx|full)\b)")), 0);
    EXPECT_GT(Count(ptx, std::regex(R"(\bdiv\.rn\.f32\b)")), 0);
    EXPECT_GT(Count(ptx, std::regex(R"(\bsqrt\.rn\.f32\b)")), 0);
    EXPECT_EQ(Count(ptx, std::regex(R"(\.ftz\b)")), 0) << "denormals flushed";
    EXPECT_EQ(Count(ptx, std::regex(R"(\.(local|shared)\b)")), 0) << "shared or local memory";
    EXPECT_EQ(Count(ptx, std::regex(R"(\b(sin|cos|ex2|lg2)\.approx)")), 0) << "hardware transcendentals";
}

TEST(CudaProgram, AssemblesWithPtxas)
{
    std::string ptxas = QF_TEST_PTXAS;
    if (ptxas.empty())
        GTEST_SKIP() << "skipped: no ptxas on this machine";
    // Newer toolkits no longer assemble for sm_50 itself; any later target checks the same text.
    for (const char* arch : {"sm_50", "sm_75"}) {
        std::string cmd = "\"" + ptxas + "\" --gpu-name " + arch + " -o /dev/null \"" QF_TEST_PTX_FILE "\" 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buf[512];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        int rc = pclose(p);
        if (rc == 0)
            return;
        if (out.find("is not defined for option") == std::string::npos)
            FAIL() << "ptxas " << arch << ": " << out;
    }
    FAIL() << "ptxas accepted no target";
}

} // namespace
