// The embedded OpenCL program, built with an empty option string on the machine's OpenCL device (PoCL in
// CI), renders the same bits as the CPU kernel.
#include <gtest/gtest.h>

#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "KernelTestUtil.h"
#include "WarpKernelsEmbedded.h"

using qftest::Bits;
using qftest::Image;

namespace {

struct ClEnv {
    cl_context ctx = nullptr;
    cl_device_id dev = nullptr;
    cl_command_queue queue = nullptr;
    cl_program program = nullptr;
    cl_kernel kernel = nullptr;
    std::string skip; // why there is nothing to test on
    std::string error; // why the program did not build
};

ClEnv& Env()
{
    static ClEnv env = [] {
        ClEnv e;
        cl_uint n = 0;
        cl_platform_id platforms[8];
        if (clGetPlatformIDs(8, platforms, &n) != CL_SUCCESS || n == 0) {
            e.skip = "no OpenCL platform";
            return e;
        }
        for (cl_uint i = 0; i < n && !e.dev; i++)
            if (clGetDeviceIDs(platforms[i], CL_DEVICE_TYPE_ALL, 1, &e.dev, nullptr) != CL_SUCCESS)
                e.dev = nullptr;
        if (!e.dev) {
            e.skip = "no OpenCL device";
            return e;
        }
        cl_int st;
        e.ctx = clCreateContext(nullptr, 1, &e.dev, nullptr, nullptr, &st);
        e.queue = clCreateCommandQueue(e.ctx, e.dev, 0, &st);
        const char* text = QF_OPENCL_PROGRAM;
        size_t len = QF_OPENCL_PROGRAM_LENGTH;
        e.program = clCreateProgramWithSource(e.ctx, 1, &text, &len, &st);
        st = clBuildProgram(e.program, 1, &e.dev, "", nullptr, nullptr);
        if (st != CL_SUCCESS) {
            size_t size = 0;
            clGetProgramBuildInfo(e.program, e.dev, CL_PROGRAM_BUILD_LOG, 0, nullptr, &size);
            std::string log(size, '\0');
            clGetProgramBuildInfo(e.program, e.dev, CL_PROGRAM_BUILD_LOG, size, log.data(), nullptr);
            e.error = "clBuildProgram failed: " + std::to_string(st) + "\n" + log;
            return e;
        }
        e.kernel = clCreateKernel(e.program, "qf_render", &st);
        if (st != CL_SUCCESS)
            e.error = "clCreateKernel failed: " + std::to_string(st);
        return e;
    }();
    return env;
}

#define REQUIRE_OPENCL()                                                                                             \
    do {                                                                                                             \
        if (!Env().skip.empty())                                                                                     \
            GTEST_SKIP() << "skipped: " << Env().skip;                                                               \
        ASSERT_TRUE(Env().error.empty()) << Env().error;                                                             \
    } while (0)

// Renders the frame on the device in bands of band_rows rows, with 16 x 16 work-groups whose grid
// overhangs the band, as the plug-in launches it.
Image RenderCL(QF_Frame f, const Image& src, const Image* map, int band_rows)
{
    ClEnv& e = Env();
    cl_int st;
    Image out(f.out_pitch, f.out_h, -7, -7, -7, -7); // poison: every written pixel must be overwritten
    cl_mem s = clCreateBuffer(e.ctx, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, src.px.size() * 4,
                              const_cast<float*>(src.px.data()), &st);
    cl_mem d = clCreateBuffer(e.ctx, CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR, out.px.size() * 4, out.px.data(), &st);
    cl_mem m = map ? clCreateBuffer(e.ctx, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, map->px.size() * 4,
                                    const_cast<float*>(map->px.data()), &st)
                   : nullptr;
    for (int y0 = 0; y0 < f.out_h; y0 += band_rows) {
        f.band_y0 = y0;
        f.band_h = std::min(band_rows, f.out_h - y0);
        cl_mem fb = clCreateBuffer(e.ctx, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, sizeof f, &f, &st);
        clSetKernelArg(e.kernel, 0, sizeof(cl_mem), &s);
        clSetKernelArg(e.kernel, 1, sizeof(cl_mem), &d);
        clSetKernelArg(e.kernel, 2, sizeof(cl_mem), m ? &m : nullptr);
        clSetKernelArg(e.kernel, 3, sizeof(cl_mem), &fb);
        size_t local[2] = {16, 16};
        size_t global[2] = {size_t(f.out_w + 15) / 16 * 16, size_t(f.band_h + 15) / 16 * 16};
        EXPECT_EQ(clEnqueueNDRangeKernel(e.queue, e.kernel, 2, nullptr, global, local, 0, nullptr, nullptr), CL_SUCCESS);
        clReleaseMemObject(fb);
    }
    clEnqueueReadBuffer(e.queue, d, CL_TRUE, 0, out.px.size() * 4, out.px.data(), 0, nullptr, nullptr);
    clReleaseMemObject(s);
    clReleaseMemObject(d);
    if (m)
        clReleaseMemObject(m);
    return out;
}

QF_Frame BaseFrame(int w, int h)
{
    QF_Frame f = qftest::PlainFrame(w, h);
    f.out_pitch = w + 3; // rows wider than the image: the pitch must be honoured
    qftest::AddWave(f, 0.21f, 0.05f, 0.4f, 1.9f, 3.6f, 0.9f, -0.6f, 2.7f);
    qftest::AddWave(f, -0.07f, 0.33f, 2.2f, -1.0f, -0.5f, 2.9f, 1.6f, 0.2f);
    qftest::AddWave(f, 0.15f, -0.19f, -2.5f, 0.7f, 2.3f, -1.9f, 0.8f, 1.4f);
    return f;
}

struct Case {
    std::string name;
    QF_Frame frame;
    bool with_map;
};

std::vector<Case> Cases(int w, int h)
{
    std::vector<Case> cases;
    QF_Frame base = BaseFrame(w, h);
    for (int wf = 0; wf < QF_WAVEFORM_COUNT; wf++) {
        QF_Frame f = base;
        f.waveform = wf;
        cases.push_back({"waveform " + std::to_string(wf), f, false});
    }
    for (int edge = 0; edge < 4; edge++) {
        QF_Frame f = base;
        f.edge_mode = edge;
        f.out_x0 = -5; // reach past the layer on the left and the top
        f.out_y0 = -4;
        cases.push_back({"edge " + std::to_string(edge), f, false});
    }
    for (int cap : {1, 2, 4, 8}) {
        QF_Frame f = base;
        f.aa_cap = cap;
        f.iterations = 2;
        cases.push_back({"aa_cap " + std::to_string(cap), f, false});
    }
    QF_Frame f = base;
    f.bicubic = 0;
    f.aa_cap = 1;
    cases.push_back({"bilinear", f, false});
    f = base;
    f.split = 0.35f;
    f.mix = 0.6f;
    cases.push_back({"split and mix", f, false});
    f = base;
    f.dsx = 0.5f;
    f.dsy = 0.25f;
    f.iterations = 3;
    cases.push_back({"downsample", f, false});
    for (int ch = 0; ch < 5; ch++) {
        f = base;
        f.has_map = 1;
        f.map_w = 11;
        f.map_h = 7;
        f.map_pitch = 11;
        f.map_sx = 11.0f / float(w);
        f.map_sy = 7.0f / float(h);
        f.map_ox = f.map_oy = -0.5f;
        f.map_channel = ch;
        f.map_invert = ch == 2;
        cases.push_back({"map channel " + std::to_string(ch), f, true});
    }
    return cases;
}

TEST(OpenCLKernel, BuildsWithAnEmptyOptionString)
{
    REQUIRE_OPENCL();
    EXPECT_NE(Env().kernel, nullptr);
}

TEST(OpenCLKernel, MatchesTheCpuKernelBitForBit)
{
    REQUIRE_OPENCL();
    const int w = 37, h = 23; // not a multiple of the work-group size
    Image src = qftest::TestCard(w, h);
    const float NaN = std::numeric_limits<float>::quiet_NaN();
    src.set(10, 10, NaN, std::numeric_limits<float>::infinity(), 0.5f, 1.0f);
    src.set(11, 10, 0.5f, 0.5f, 0.5f, NaN);
    Image map = qftest::TestCard(11, 7);
    for (const Case& c : Cases(w, h)) {
        const Image* m = c.with_map ? &map : nullptr;
        QF_Frame whole = c.frame;
        Image cpu(whole.out_pitch, h, -7, -7, -7, -7);
        cpu = qftest::ReferenceRender(whole, src, m, &cpu);
        Image gpu = RenderCL(c.frame, src, m, 7);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < whole.out_pitch; x++)
                for (int k = 0; k < 4; k++) {
                    float a = cpu.at(x, y)[k], b = gpu.at(x, y)[k];
                    ASSERT_EQ(Bits(a), Bits(b)) << c.name << ": pixel " << x << "," << y << " channel " << k
                                                << " cpu " << a << " opencl " << b << " diff " << (b - a);
                }
    }
}

} // namespace
