// Every GPU runtime call of the plug-in failing in turn, played by the stand-in runtimes (the OpenCL one in
// front of PoCL, the CUDA driver that runs frames on the CPU). The calls of a clean device set-up and of a
// clean GPU frame are taken from the stand-in's call log; then the k-th call of each name fails, for every
// k. A set-up must decline the device (unless the failure only costs the work-group hint) with one log
// line and nothing left created; a frame must come out with the CPU's pixels, redone on the CPU where
// the GPU failed; the fallback's own copies give 512 (input, output) or a frame without the map. After
// each case the device sets up and renders on the GPU again.
#include "GpuDevice.h"
#include "GpuTestSupport.h"
#include "StandIns.h"

#include <dlfcn.h>

#include <map>
#include <set>

namespace {

const auto* const log_folder = ::testing::AddGlobalTestEnvironment(new LogFolderEnvironment);
const auto* const stand_ins = ::testing::AddGlobalTestEnvironment(new StandInEnvironment);

const StandIn& cl = OpenCLStandIn();
const StandIn& cu = CudaStandIn();

constexpr int CL_FAILURE = -5;     // CL_OUT_OF_RESOURCES
constexpr int CU_FAILURE = 2;      // CUDA_ERROR_OUT_OF_MEMORY

// The calls of a log the plug-in made, as (name, k: the how-manieth call of that name). The OpenCL stand-in
// sees only the plug-in's calls. The CUDA stand-in is the simulated host's driver too: there the plug-in's
// calls are the entry points only it uses, and its context push and pop around them (the last push before
// its first call, the first pop after its last).
std::vector<std::pair<std::string, int>> PluginCalls(const std::vector<std::string>& log, bool opencl)
{
    static const std::set<std::string> PLUGIN_ONLY{"cuModuleLoadDataEx",   "cuModuleGetFunction",
                                                    "cuModuleUnload",       "cuLaunchKernel",
                                                    "cuMemcpyDtoHAsync_v2", "cuMemcpyHtoDAsync_v2"};
    std::vector<std::pair<std::string, int>> calls;
    std::map<std::string, int> seen;
    std::ptrdiff_t first = -1, last = -1;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const int k = seen[log[i]]++;
        if (opencl || PLUGIN_ONLY.count(log[i])) {
            calls.emplace_back(log[i], k);
            first = first < 0 ? static_cast<std::ptrdiff_t>(i) : first;
            last = static_cast<std::ptrdiff_t>(i);
        }
    }
    if (opencl || first < 0) {
        return calls;
    }
    int pushes = 0, pops = 0, push = -1, pop = -1;
    for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(log.size()); ++i) {
        if (log[i] == "cuCtxPushCurrent_v2") {
            push = i < first ? pushes : push;
            ++pushes;
        } else if (log[i] == "cuCtxPopCurrent_v2") {
            pop = i > last && pop < 0 ? pops : pop;
            ++pops;
        }
    }
    if (push >= 0) {
        calls.emplace_back("cuCtxPushCurrent_v2", push);
    }
    if (pop >= 0) {
        calls.emplace_back("cuCtxPopCurrent_v2", pop);
    }
    return calls;
}

// The statuses a failing call reports: an error; for OpenCL calls that return an object, also a null
// object with a success status.
std::vector<int> Statuses(const std::string& name, bool opencl)
{
    if (!opencl) {
        return {CU_FAILURE};
    }
    if (name == "clCreateProgramWithSource" || name == "clCreateKernel" || name == "clCreateBuffer") {
        return {CL_FAILURE, 0};
    }
    return {CL_FAILURE};
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The owned handles of the plug-in's record, read while the host still holds it.
struct OwnedHandles {
    cl_program opencl_program = nullptr;
    cl_kernel opencl_kernel = nullptr;
    CUcontext cuda_context = nullptr;
    CUmodule cuda_module = nullptr;
};

OwnedHandles Handles(const void* data)
{
    OwnedHandles handles;
    if (const auto* record = static_cast<const GpuDeviceData*>(data)) {
        handles = OwnedHandles{record->opencl_program, record->opencl_kernel, record->cuda_context, record->cuda_module};
    }
    return handles;
}

// What a refused release at set-down left behind belongs to the runtime, which would free it with its
// context; the test process frees it itself so that LeakSanitizer sees only the plug-in's leaks.
void ReleaseRefused(const std::string& name, const OwnedHandles& record)
{
    if (name == "clReleaseKernel" || name == "clReleaseProgram") {
        void* real = cl.Control<QfFakeTargetFn>("qf_fake_target")();
        const bool kernel = name == "clReleaseKernel";
        const auto release = reinterpret_cast<cl_int (*)(void*)>(dlsym(real, name.c_str()));
        ASSERT_NE(release, nullptr);
        release(kernel ? static_cast<void*>(record.opencl_kernel) : static_cast<void*>(record.opencl_program));
    } else if (name == "cuCtxPushCurrent_v2" || name == "cuModuleUnload") {
        // The host has closed its context by now: the module goes with a context of the test's own.
        const auto symbol = [](const char* entry) { return StandInSymbol(GpuKind::Cuda, entry); };
        const auto retain = reinterpret_cast<CUresult (*)(CUcontext*, int)>(symbol("cuDevicePrimaryCtxRetain"));
        const auto release = reinterpret_cast<CUresult (*)(int)>(symbol("cuDevicePrimaryCtxRelease_v2"));
        const auto push = reinterpret_cast<CUresult (*)(CUcontext)>(symbol("cuCtxPushCurrent_v2"));
        const auto unload = reinterpret_cast<CUresult (*)(CUmodule)>(symbol("cuModuleUnload"));
        const auto pop = reinterpret_cast<CUresult (*)(CUcontext*)>(symbol("cuCtxPopCurrent_v2"));
        ASSERT_TRUE(retain && release && push && unload && pop);
        CUcontext context = nullptr;
        ASSERT_EQ(retain(&context, 0), 0);
        ASSERT_EQ(push(context), 0);
        EXPECT_EQ(unload(record.cuda_module), 0);
        EXPECT_EQ(pop(&context), 0);
        EXPECT_EQ(release(0), 0);
    }
}

class GpuFailureMatrix : public GpuHostTest {
protected:
    void SetUp() override
    {
        cl.Reset();
        cu.Reset();
        GpuHostTest::SetUp();
        UseFloatInput(24, 20);
        host.params().SetMapLayer(host.layers().Add(Pattern(7, 5, 0.0f), PixelDepth::Float));
        host.params().Set(PARAM_ITERATIONS, 2);
        host.params().Set(PARAM_COLOR_SPLIT, 20.0);
        cpu_ = Render(Renderer::Cpu).image;
        host.params().SetMapLayer(NO_LAYER);
        cpu_without_map_ = Render(Renderer::Cpu).image;
        host.params().SetMapLayer(map_layer_ = host.layers().Add(Pattern(7, 5, 0.0f), PixelDepth::Float));
    }

    const StandIn& Runtime(PF_GPU_Framework framework) const
    {
        return framework == PF_GPU_Framework_OPENCL ? cl : cu;
    }
    static Renderer RendererOf(PF_GPU_Framework framework)
    {
        return framework == PF_GPU_Framework_OPENCL ? Renderer::OpenCL : Renderer::Cuda;
    }

    // The device is back: it sets up, renders on the GPU with the CPU's pixels, and the back-off count
    // starts again from this success.
    void ExpectUsable(PF_GPU_Framework framework)
    {
        Runtime(framework).Reset();
        ASSERT_EQ(host.gpu().SetDown(), PF_Err_NONE);
        ASSERT_EQ(host.gpu().SetUp(framework), PF_Err_NONE);
        ASSERT_TRUE(host.gpu().Accepted());
        const RenderResult result = Render(RendererOf(framework));
        EXPECT_EQ(result.error, PF_Err_NONE);
        EXPECT_EQ(result.drawn_by, RendererOf(framework)) << result.gpu_note;
        EXPECT_TRUE(SameImage(result.image, cpu_));
    }

    int RunSetUpMatrix(PF_GPU_Framework framework);
    int RunRenderMatrix(PF_GPU_Framework framework);
    int RunFallbackMatrix(PF_GPU_Framework framework);

    FloatImage cpu_;
    FloatImage cpu_without_map_;
    int map_layer_ = NO_LAYER;
};

int GpuFailureMatrix::RunSetUpMatrix(PF_GPU_Framework framework)
{
    const StandIn& runtime = Runtime(framework);
    const bool opencl = framework == PF_GPU_Framework_OPENCL;
    EXPECT_EQ(host.gpu().SetDown(), PF_Err_NONE);
    runtime.Reset();
    EXPECT_EQ(host.gpu().SetUp(framework), PF_Err_NONE);
    EXPECT_TRUE(host.gpu().Accepted());
    const auto calls = PluginCalls(runtime.CallLog(), opencl);
    int cases = 0;
    for (const auto& [name, k] : calls) {
        for (const int status : Statuses(name, opencl)) {
            SCOPED_TRACE(name + " #" + std::to_string(k) + " fails at set-up with " + std::to_string(status));
            EXPECT_EQ(host.gpu().SetDown(), PF_Err_NONE);
            runtime.Reset();
            ClearLog();
            runtime.Fail(name.c_str(), status, k, 1);
            EXPECT_EQ(host.gpu().SetUp(framework), PF_Err_NONE);
            ++cases;
            // The work-group query only hints; a failed pop is discarded. Everything else declines the device.
            const bool harmless = name == "clGetKernelWorkGroupInfo" || name == "cuCtxPopCurrent_v2";
            EXPECT_EQ(host.gpu().Accepted(), harmless);
            const std::vector<std::string> log = LogMessages();
            if (!harmless) {
                EXPECT_EQ(log.size(), 1u);
                EXPECT_TRUE(!log.empty() &&
                            StartsWith(log[0], opencl ? "GPU setup failed (OpenCL): " : "GPU setup failed (CUDA): "));
            }
            EXPECT_EQ(host.gpu().SetDown(), PF_Err_NONE);
            if (opencl) {
                // Every program and kernel made is released, the failed creation aside.
                EXPECT_EQ(cl.Calls("clReleaseProgram"),
                          cl.Calls("clCreateProgramWithSource") - (name == "clCreateProgramWithSource" ? 1 : 0));
                EXPECT_EQ(cl.Calls("clReleaseKernel"), cl.Calls("clCreateKernel") - (name == "clCreateKernel" ? 1 : 0));
            } else {
                EXPECT_EQ(cu.Control<QfFakeModulesFn>("qf_fake_modules")(), 0);
                if (name != "cuCtxPopCurrent_v2") {
                    EXPECT_EQ(cu.Control<QfFakeContextBalanceFn>("qf_fake_context_balance")(), 0);
                }
            }
            ExpectUsable(framework);
        }
    }
    // Set-down: a release that fails is not the host's concern.
    runtime.Reset();
    EXPECT_EQ(host.gpu().SetDown(), PF_Err_NONE);
    for (const auto& [name, k] : PluginCalls(runtime.CallLog(), opencl)) {
        SCOPED_TRACE(name + " #" + std::to_string(k) + " fails at set-down");
        EXPECT_EQ(host.gpu().SetUp(framework), PF_Err_NONE);
        const OwnedHandles record = Handles(host.gpu().Data());
        runtime.Reset();
        runtime.Fail(name.c_str(), opencl ? CL_FAILURE : CU_FAILURE, k, 1);
        EXPECT_EQ(host.gpu().SetDown(), PF_Err_NONE);
        ++cases;
        ReleaseRefused(name, record);
        ExpectUsable(framework);
        EXPECT_EQ(host.gpu().SetDown(), PF_Err_NONE);
    }
    return cases;
}

int GpuFailureMatrix::RunRenderMatrix(PF_GPU_Framework framework)
{
    const StandIn& runtime = Runtime(framework);
    const bool opencl = framework == PF_GPU_Framework_OPENCL;
    EXPECT_EQ(host.gpu().SetUp(framework), PF_Err_NONE);
    runtime.Reset();
    const RenderResult clean = Render(RendererOf(framework));
    EXPECT_EQ(clean.drawn_by, RendererOf(framework));
    const auto calls = PluginCalls(runtime.CallLog(), opencl);
    int cases = 0;
    for (const auto& [name, k] : calls) {
        // The band record's release was made; a runtime refusing it keeps a buffer the test cannot reach.
        if (name == "clReleaseMemObject") {
            continue;
        }
        for (const int status : Statuses(name, opencl)) {
            SCOPED_TRACE(name + " #" + std::to_string(k) + " fails in a frame with " + std::to_string(status));
            runtime.Reset();
            ClearLog();
            runtime.Fail(name.c_str(), status, k, 1);
            const RenderResult result = Render(RendererOf(framework));
            ++cases;
            EXPECT_EQ(result.error, PF_Err_NONE);
            EXPECT_TRUE(SameImage(result.image, cpu_));
            const std::vector<std::string> log = LogMessages();
            // The final flush is not consulted; a failing pop is discarded.
            const bool harmless = name == "clFlush" || name == "cuCtxPopCurrent_v2";
            if (harmless) {
                EXPECT_TRUE(log.empty());
            } else if (!log.empty()) {
                EXPECT_EQ(log.size(), 1u);
                EXPECT_TRUE(StartsWith(log[0], "GPU render failed (")) << log[0];
            } else {
                ADD_FAILURE() << "a failed GPU call left no log line";
            }
            if (!opencl && name != "cuCtxPopCurrent_v2") {
                EXPECT_EQ(cu.Control<QfFakeContextBalanceFn>("qf_fake_context_balance")(), 0);
            }
            ExpectUsable(framework);
        }
    }
    return cases;
}

// The CPU redo of a failed frame: with every launch failing, each copy it makes fails in turn.
int GpuFailureMatrix::RunFallbackMatrix(PF_GPU_Framework framework)
{
    const StandIn& runtime = Runtime(framework);
    const bool opencl = framework == PF_GPU_Framework_OPENCL;
    const char* launch = opencl ? "clEnqueueNDRangeKernel" : "cuLaunchKernel";
    const char* download = opencl ? "clEnqueueReadBuffer" : "cuMemcpyDtoHAsync_v2";
    const char* upload = opencl ? "clEnqueueWriteBuffer" : "cuMemcpyHtoDAsync_v2";
    EXPECT_EQ(host.gpu().SetUp(framework), PF_Err_NONE);
    runtime.Reset();
    runtime.Fail(launch, opencl ? CL_FAILURE : CU_FAILURE, 0, -1);
    const RenderResult redone = Render(RendererOf(framework));
    EXPECT_TRUE(SameImage(redone.image, cpu_));
    const int downloads = runtime.Calls(download);   // the input's and the map's
    ExpectUsable(framework);   // a success between failures keeps the GPU offered
    int cases = 0;
    for (const char* copy : {download, upload}) {
        const int count = copy == download ? downloads : 1;
        for (int k = 0; k < count; ++k) {
            SCOPED_TRACE(std::string(copy) + " #" + std::to_string(k) + " fails in the CPU redo");
            runtime.Reset();
            ClearLog();
            runtime.Fail(launch, opencl ? CL_FAILURE : CU_FAILURE, 0, -1);
            runtime.Fail(copy, opencl ? CL_FAILURE : CU_FAILURE, k, 1);
            const RenderResult result = Render(RendererOf(framework));
            ++cases;
            if (copy == download && k == 1) {
                EXPECT_EQ(result.error, PF_Err_NONE);   // the map's: the frame is redone without it
                EXPECT_TRUE(SameImage(result.image, cpu_without_map_));
            } else {
                EXPECT_EQ(result.error, PF_Err_INTERNAL_STRUCT_DAMAGED);
            }
            ExpectUsable(framework);
        }
    }
    return cases;
}

TEST_F(GpuFailureMatrix, OpenCL)
{
    ASSERT_EQ(host.gpu().SetUp(PF_GPU_Framework_OPENCL), PF_Err_NONE);
    if (!host.gpu().Device()) {
        GTEST_SKIP() << "no OpenCL device (" << host.gpu().Unavailable() << ")";
    }
    const int setup = RunSetUpMatrix(PF_GPU_Framework_OPENCL);
    const int frame = RunRenderMatrix(PF_GPU_Framework_OPENCL);
    const int fallback = RunFallbackMatrix(PF_GPU_Framework_OPENCL);
    std::printf("OpenCL: %d set-up, %d frame and %d fallback failure cases\n", setup, frame, fallback);
    EXPECT_GE(setup, 8);      // program, build, kernel, work-group query; two releases at set-down
    EXPECT_GE(frame, 8);      // band record (failing and null), four arguments, launch, flush
    EXPECT_EQ(fallback, 3);   // input and map downloads, output upload
}

TEST_F(GpuFailureMatrix, Cuda)
{
    ASSERT_EQ(host.gpu().SetUp(PF_GPU_Framework_CUDA), PF_Err_NONE);
    ASSERT_NE(host.gpu().Device(), nullptr) << host.gpu().Unavailable();
    const int setup = RunSetUpMatrix(PF_GPU_Framework_CUDA);
    const int frame = RunRenderMatrix(PF_GPU_Framework_CUDA);
    const int fallback = RunFallbackMatrix(PF_GPU_Framework_CUDA);
    std::printf("CUDA: %d set-up, %d frame and %d fallback failure cases\n", setup, frame, fallback);
    EXPECT_GE(setup, 7);      // push, module load, function lookup, pop; push, unload, pop at set-down
    EXPECT_GE(frame, 3);      // push, launch, pop
    EXPECT_EQ(fallback, 3);
}

}   // namespace
