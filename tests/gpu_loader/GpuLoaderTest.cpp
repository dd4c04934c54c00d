// The GPU runtime loaders, each case in a fresh probe process because a loader runs once per process.
#include <dlfcn.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Built by this folder's CMakeLists: the probe, and each stand-in runtime in its own folder.
const std::string PROBE = QF_LOADER_PROBE;
const std::string RUNTIMES = QF_RUNTIMES_DIR;

std::string RuntimeDir(const std::string& target)
{
    return RUNTIMES + "/" + target;
}

std::string OpenCLFake(const std::string& variant)
{
    return RuntimeDir("fake_opencl_" + variant) + "/libOpenCL.so.1";
}

std::string CudaFake(const std::string& variant)
{
    return RuntimeDir("fake_cuda_" + variant) + "/libcuda.so.1";
}

// One report line of the probe, by key.
using Report = std::map<std::string, std::string>;

struct ProbeRun {
    int exitCode = -1;
    std::string output;
    std::map<std::string, std::vector<Report>> reports; // by what was reported, in order
};

// Runs the probe with LD_LIBRARY_PATH set to searchPath exactly (empty: nothing but the system's).
ProbeRun RunProbe(const std::string& searchPath, const std::string& steps)
{
    ProbeRun run;
    const std::string command = "LD_LIBRARY_PATH='" + searchPath + "' '" + PROBE + "' " + steps + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        run.output += buffer;
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    std::istringstream lines(run.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string what, word;
        words >> what;
        Report report;
        while (words >> word) {
            const size_t eq = word.find('=');
            if (eq != std::string::npos)
                report[word.substr(0, eq)] = word.substr(eq + 1);
        }
        run.reports[what].push_back(report);
    }
    return run;
}

// The single report for what, or an empty one (which fails every expectation on it).
Report Only(const ProbeRun& run, const std::string& what)
{
    const auto it = run.reports.find(what);
    return it != run.reports.end() && it->second.size() == 1 ? it->second[0] : Report{};
}

bool SystemHasLibrary(const char* name)
{
    void* library = dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    if (library != nullptr)
        dlclose(library);
    return library != nullptr;
}

// The runtime is complete and every entry point comes from file, the only copy in the process, found
// after the given number of dlopen calls by name.
void ExpectCompleteFrom(const ProbeRun& run, const std::string& what, const std::string& file, const char* opens)
{
    SCOPED_TRACE(what + "\n" + run.output);
    Report report = Only(run, what);
    EXPECT_EQ(report["tried"], "1");
    EXPECT_EQ(report["available"], "1");
    EXPECT_EQ(report["missing"], "");
    EXPECT_EQ(report["from"], file);
    EXPECT_EQ(report["copies"], "1");
    EXPECT_EQ(report["opens"], opens);
}

TEST(GpuLoader, RuntimeAlreadyInProcessIsUsedWithoutASecondCopy)
{
    // The system's own libOpenCL.so.1 may be installed; the one already loaded must still win, found
    // by the look-up of loaded libraries alone.
    const ProbeRun run =
        RunProbe("", "preload " + OpenCLFake("full") + " preload " + CudaFake("full") + " opencl cuda");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ExpectCompleteFrom(run, "opencl", OpenCLFake("full"), "1");
    ExpectCompleteFrom(run, "cuda", CudaFake("full"), "1");
}

TEST(GpuLoader, RuntimeNotInProcessIsLoadedBySearch)
{
    // One look-up of loaded libraries, then one load.
    const ProbeRun run = RunProbe(RuntimeDir("fake_opencl_full") + ":" + RuntimeDir("fake_cuda_full"), "opencl cuda");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ExpectCompleteFrom(run, "opencl", OpenCLFake("full"), "2");
    ExpectCompleteFrom(run, "cuda", CudaFake("full"), "2");
}

TEST(GpuLoader, AnySingleMissingEntryPointMakesTheRuntimeUnavailable)
{
    // First, a middle and the last entry point of each table. The CUDA fakes still export the old
    // names without _v2, which must not stand in.
    struct Case {
        std::string what, fake, missing;
    };
    std::vector<Case> cases;
    for (const char* name : {"clCreateProgramWithSource", "clGetKernelWorkGroupInfo", "clFlush"})
        cases.push_back({"opencl", OpenCLFake(std::string("no_") + name), name});
    for (const char* name : {"cuCtxPushCurrent_v2", "cuLaunchKernel", "cuMemcpyHtoDAsync_v2", "cuStreamSynchronize"})
        cases.push_back({"cuda", CudaFake(std::string("no_") + name), name});

    for (const Case& c : cases) {
        const ProbeRun run = RunProbe("", "preload " + c.fake + " " + c.what);
        SCOPED_TRACE(c.fake + "\n" + run.output);
        ASSERT_EQ(run.exitCode, 0);
        Report report = Only(run, c.what);
        EXPECT_EQ(report["tried"], "1");
        EXPECT_EQ(report["available"], "0");
        // Every other entry point was still looked up, in the fake.
        EXPECT_EQ(report["missing"], c.missing);
        EXPECT_EQ(report["from"], c.fake);
    }
}

TEST(GpuLoader, NoLibraryLeavesTheRuntimeUnavailable)
{
    if (SystemHasLibrary("libcuda.so.1"))
        GTEST_SKIP() << "skipped: this machine has a CUDA driver installed";
    const ProbeRun run = RunProbe("", "cuda");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    Report cu = Only(run, "cuda");
    EXPECT_EQ(cu["tried"], "1") << run.output;
    EXPECT_EQ(cu["available"], "0") << run.output;
    EXPECT_EQ(cu["copies"], "0") << run.output;
    EXPECT_EQ(cu["opens"], "2") << run.output;
}

TEST(GpuLoader, TheTwoRuntimesAreIndependent)
{
    // A good OpenCL beside a broken CUDA driver, and the other way round, in both call orders.
    ProbeRun run = RunProbe("", "preload " + OpenCLFake("full") + " preload " + CudaFake("no_cuLaunchKernel") +
                                    " cuda opencl");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Only(run, "opencl")["available"], "1") << run.output;
    EXPECT_EQ(Only(run, "cuda")["available"], "0") << run.output;

    run = RunProbe("", "preload " + OpenCLFake("no_clFlush") + " preload " + CudaFake("full") + " opencl cuda");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Only(run, "opencl")["available"], "0") << run.output;
    EXPECT_EQ(Only(run, "cuda")["available"], "1") << run.output;
}

TEST(GpuLoader, ConcurrentFirstCallsLookTheLibraryUpOnce)
{
    for (const char* variant : {"full", "no_cuStreamSynchronize"}) {
        const ProbeRun run = RunProbe(RuntimeDir(std::string("fake_cuda_") + variant), "cuda-threads 32 cuda");
        ASSERT_EQ(run.exitCode, 0) << run.output;
        Report threads = Only(run, "cuda-threads");
        EXPECT_EQ(threads["agree"], "1") << run.output;
        EXPECT_EQ(threads["available"], variant == std::string("full") ? "1" : "0") << run.output;
        EXPECT_EQ(threads["opens"], "2") << run.output;
        EXPECT_EQ(threads["copies"], "1") << run.output;
        // A later call does no work at all.
        EXPECT_EQ(Only(run, "cuda")["opens"], "2") << run.output;
    }
}

TEST(GpuLoader, AFailedFirstAttemptIsNotRepeated)
{
    if (SystemHasLibrary("libcuda.so.1"))
        GTEST_SKIP() << "skipped: this machine has a CUDA driver installed";
    // The driver turns up in the process after the first attempt: the process stays without CUDA.
    const ProbeRun run = RunProbe("", "cuda preload " + CudaFake("full") + " cuda");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<Report>& reports = run.reports.at("cuda");
    ASSERT_EQ(reports.size(), 2u) << run.output;
    EXPECT_EQ(reports[0].at("available"), "0") << run.output;
    EXPECT_EQ(reports[1].at("available"), "0") << run.output;
    EXPECT_EQ(reports[1].at("copies"), "1") << "the driver is in the process now\n" << run.output;
    EXPECT_EQ(reports[1].at("opens"), "2") << "no second attempt\n" << run.output;
}

} // namespace
