// The default look at 1920 x 1080: the scalar kernel against the vector row shaders of every instruction
// set this processor runs, one thread and all threads through the band renderer, and OpenCV's remap
// (float BGRA, precomputed maps, bilinear and bicubic, one thread) on the same frame size as a yardstick.
// The widest row shader also reads and writes host worlds in place: 8-bit and float ARGB, rows of the
// same depth out.
// Each benchmark renders whole frames and reports megapixels per second; a summary with the ratios
// follows the table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

#ifdef QF_BENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include "KernelTestUtil.h"
#include "PixelConversion.h"
#include "RenderBandCPU.h"
#include "ShadeRow.h"
#include "ShadeRowVector.h"
#include "SimdTestUtil.h"

namespace {

const int W = 1920, H = 1080;
// Long enough for several frames of the slowest path.
const double MIN_SECONDS = 2.0;

struct Scene {
    QF_Frame frame;
    qftest::Image src;
    Scene() : frame(qftest::DefaultLookFrame(W, H)), src(qftest::TestCard(W, H)) {}
};

const Scene& TheScene()
{
    static const Scene scene;
    return scene;
}

// Megapixels per second of the fastest frame per benchmark name, for the summary: on a shared machine
// the fastest frame is the one least disturbed by other work.
std::map<std::string, double>& Results()
{
    static std::map<std::string, double> results;
    return results;
}

void Report(benchmark::State& state)
{
    const double pixels = double(W) * H;
    state.counters["MP/s"] = benchmark::Counter(pixels * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
    state.SetItemsProcessed(int64_t(state.iterations()) * W * H);
}

// Times frames and keeps the fastest. One-thread benchmarks count the thread's own processor time, so
// other programs on a shared machine disturb them less; several threads need the wall clock.
class FrameClock {
public:
    explicit FrameClock(bool threadTime) : threadTime_(threadTime) {}
    void Start() { t0_ = Now(); }
    void Stop()
    {
        const double s = Now() - t0_;
        best_ = best_ > 0 && best_ < s ? best_ : s;
    }
    void Remember(const std::string& name) const
    {
        if (best_ <= 0)
            return;
        double& mps = Results()[name];
        mps = std::max(mps, double(W) * H / best_ * 1e-6);
    }

private:
    double Now() const
    {
        if (threadTime_) {
            timespec ts;
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
            return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }

    bool threadTime_;
    double t0_ = 0;
    double best_ = 0;
};

// One thread, every row of the card in order through one row shader over these worlds.
void TimeRows(benchmark::State& state, ShadeRowFn shade, const ShadeWorlds& worlds, const std::string& name)
{
    const Scene& s = TheScene();
    FrameClock clock(true);
    for (auto _ : state) {
        clock.Start();
        for (int y = 0; y < H; y++)
            shade(s.frame, worlds, y);
        benchmark::DoNotOptimize(worlds.output.data);
        clock.Stop();
    }
    Report(state);
    clock.Remember(name);
}

// The card as the float work buffer, every row into one float row buffer.
void ShadeRows(benchmark::State& state, ShadeRowFn shade, const std::string& name)
{
    const Scene& s = TheScene();
    std::vector<float> row(size_t(W) * 4);
    ShadeWorlds worlds;
    worlds.input = WorkBufferWorld(s.src.px.data(), W, H, W);
    worlds.output = WorkBufferWorld(row.data(), W, 1, 0);  // every row into the one row buffer
    TimeRows(state, shade, worlds, name);
}

// The card as a host world of this depth (ARGB), read in place, every row written into one row of the
// same depth.
void ShadeHostRows(benchmark::State& state, ShadeRowFn shade, WorldDepth depth, const std::string& name)
{
    const Scene& s = TheScene();
    const int pixel = depth == WorldDepth::Float ? 16 : 4;
    std::vector<unsigned char> world(size_t(W) * H * size_t(pixel));
    const WorldView input{world.data(), W, H, std::ptrdiff_t(W) * pixel, depth, ChannelOrder::ARGB, 0, 0};
    for (int y = 0; y < H; y++)
        WorkRowToWorld(input, y, s.src.at(0, y));
    std::vector<unsigned char> row(size_t(W) * size_t(pixel));
    ShadeWorlds worlds;
    worlds.input = input;
    worlds.output = WorldView{row.data(), W, 1, 0, depth, ChannelOrder::ARGB, 0, 0};
    TimeRows(state, shade, worlds, name);
}

// Whole frames through RenderBandCPU with the given thread count (0: one per logical processor).
void RenderBand(benchmark::State& state, ShadePath path, int threads, const std::string& name)
{
    const Scene& s = TheScene();
    BandRenderHooks hooks;
    hooks.shadeRow = ShadeRowFor(path);
    std::vector<float> out(size_t(W) * H * 4);
    auto rows = [&](int32_t row, const float* px) { std::memcpy(&out[size_t(row) * W * 4], px, size_t(W) * 16); };
    FrameClock clock(false);
    for (auto _ : state) {
        clock.Start();
        RenderBandCPU(s.frame, s.src.px.data(), nullptr, rows, threads, {}, hooks);
        benchmark::DoNotOptimize(out.data());
        clock.Stop();
    }
    Report(state);
    clock.Remember(name);
}

#ifdef QF_BENCH_HAVE_OPENCV
// The same warp's sampling positions as remap maps: each pixel's centre plus its displacement.
void RemapMaps(cv::Mat& mapX, cv::Mat& mapY)
{
    const QF_Frame& f = TheScene().frame;
    mapX.create(H, W, CV_32FC1);
    mapY.create(H, W, CV_32FC1);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            float dx, dy, j00, j01, j10, j11;
            qf_field(&f, (float(x) + 0.5f) / f.dsx, (float(y) + 0.5f) / f.dsy, &dx, &dy, &j00, &j01, &j10, &j11);
            mapX.at<float>(y, x) = float(x) + dx * f.dsx;
            mapY.at<float>(y, x) = float(y) + dy * f.dsy;
        }
}

void OpenCvRemap(benchmark::State& state, int interpolation, const std::string& name)
{
    cv::setNumThreads(1);
    const qftest::Image& img = TheScene().src;
    cv::Mat src(H, W, CV_32FC4, const_cast<float*>(img.px.data()));
    cv::Mat dst(H, W, CV_32FC4), mapX, mapY;
    RemapMaps(mapX, mapY);
    FrameClock clock(true);
    for (auto _ : state) {
        clock.Start();
        cv::remap(src, dst, mapX, mapY, interpolation, cv::BORDER_REPLICATE);
        benchmark::DoNotOptimize(dst.data);
        clock.Stop();
    }
    Report(state);
    clock.Remember(name);
}
#endif

struct Path {
    const char* name;
    ShadePath path;
};
const Path VECTOR_PATHS[] = {{"SSE2", ShadePath::SSE2}, {"AVX2", ShadePath::AVX2}, {"AVX512", ShadePath::AVX512}};

// 1, 2 and every logical processor.
std::vector<int> ThreadCounts()
{
    const int all = int(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<int> counts = {1, 2};
    if (all > 2)
        counts.push_back(all);
    return counts;
}

void Register()
{
#ifdef QF_BENCH_HAVE_OPENCV
    benchmark::RegisterBenchmark("OpenCvRemap/bilinear", OpenCvRemap, cv::INTER_LINEAR, "cv bilinear")
        ->Unit(benchmark::kMillisecond)->MinTime(MIN_SECONDS);
    benchmark::RegisterBenchmark("OpenCvRemap/bicubic", OpenCvRemap, cv::INTER_CUBIC, "cv bicubic")
        ->Unit(benchmark::kMillisecond)->MinTime(MIN_SECONDS);
#endif
    benchmark::RegisterBenchmark("ShadeRows/Scalar", ShadeRows, ShadeRowScalar, "Scalar")
        ->Unit(benchmark::kMillisecond)->MinTime(MIN_SECONDS);
    for (const Path& p : VECTOR_PATHS)
        if (ShadePathSupported(p.path)) {
            benchmark::RegisterBenchmark((std::string("ShadeRows/") + p.name).c_str(), ShadeRows, ShadeRowFor(p.path),
                                         p.name)
                ->Unit(benchmark::kMillisecond)->MinTime(MIN_SECONDS);
        }
    for (WorldDepth depth : {WorldDepth::Bits8, WorldDepth::Float}) {
        const std::string name = depth == WorldDepth::Float ? "in place float" : "in place 8-bit";
        benchmark::RegisterBenchmark(("ShadeRows/widest/" + name).c_str(), ShadeHostRows,
                                     ShadeRowFor(ShadePath::Automatic), depth, name)
            ->Unit(benchmark::kMillisecond)->MinTime(MIN_SECONDS);
    }
    for (ShadePath path : {ShadePath::Scalar, ShadePath::Automatic})
        for (int threads : ThreadCounts()) {
            const std::string name = std::string(path == ShadePath::Scalar ? "Scalar" : "Vector") + " " +
                                     std::to_string(threads) + (threads == 1 ? " thread" : " threads");
            benchmark::RegisterBenchmark(("RenderBandCPU/" + name).c_str(), RenderBand, path, threads, name)
                ->Unit(benchmark::kMillisecond)->MinTime(MIN_SECONDS)
                ->UseRealTime();
        }
}

void Line(const char* label, double mps, const char* extra = "")
{
    std::printf("  %-36s %8.2f MP/s%s\n", label, mps, extra);
}

void Summary()
{
    auto& r = Results();
    auto get = [&](const std::string& k) { auto it = r.find(k); return it == r.end() ? 0.0 : it->second; };
    char text[160];
    std::printf("\nDefault look, %d x %d, fastest frame of each benchmark above (one thread: thread processor "
                "time; several: wall clock):\n", W, H);
    const double scalar = get("Scalar");
    if (scalar > 0)
        Line("scalar qf_shade, 1 thread", scalar);
    double widest = 0;
    for (const Path& p : VECTOR_PATHS) {
        const double v = get(p.name);
        if (v <= 0)
            continue;
        widest = v;
        std::snprintf(text, sizeof text, "   %.2fx scalar", scalar > 0 ? v / scalar : 0.0);
        Line((std::string("vector ") + p.name + ", 1 thread").c_str(), v, scalar > 0 ? text : "");
    }
    for (const char* depth : {"8-bit", "float"}) {
        const double v = get(std::string("in place ") + depth);
        if (v <= 0)
            continue;
        std::snprintf(text, sizeof text, "   %.2fx the float work buffer", widest > 0 ? v / widest : 0.0);
        Line((std::string("widest vector, host ARGB ") + depth + " in place, 1 thread").c_str(), v,
             widest > 0 ? text : "");
    }
    for (const char* kind : {"Scalar", "Vector"}) {
        const double one = get(std::string(kind) + " 1 thread");
        for (int threads : ThreadCounts()) {
            const double v = get(std::string(kind) + " " + std::to_string(threads) + (threads == 1 ? " thread" : " threads"));
            if (v <= 0)
                continue;
            std::snprintf(text, sizeof text, "   %.2fx 1 thread, %.2f MP/s per thread", one > 0 ? v / one : 0.0,
                          v / threads);
            if (one <= 0)
                std::snprintf(text, sizeof text, "   %.2f MP/s per thread", v / threads);
            Line((std::string("RenderBandCPU ") + kind + ", " + std::to_string(threads) + " thread(s)").c_str(), v,
                 threads == 1 ? "" : text);
        }
    }
    for (const char* cv : {"cv bilinear", "cv bicubic"}) {
        const double v = get(cv);
        if (v <= 0)
            continue;
        std::snprintf(text, sizeof text, "   widest vector path is %.2fx this", widest > 0 ? widest / v : 0.0);
        Line((std::string("OpenCV remap ") + (cv + 3) + ", 1 thread").c_str(), v, widest > 0 ? text : "");
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Summary();
    return 0;
}
