// Running the real frei0r hosts (ffmpeg, melt, gst-launch-1.0) on small RGBA PNGs with FREI0R_PATH at the
// build, and the reference: the same frame rendered by the host simulator at 8 bits.
#pragma once

#include "CliTestSupport.h"

#include <cstdlib>
#include <functional>

struct ProgramRun {
    int status = -1;   // exit status; 128 + signal when a signal ended it
    std::string err;   // standard error (and output), for failure messages and the module's lines
};

// The environment every host runs in: our module's folder as FREI0R_PATH, GStreamer's registry kept in the
// build folder, and, in sanitizer builds, the sanitizer runtime loaded ahead of the host (our module needs
// it; the hosts are not built with it).
inline std::vector<std::string> HostEnvironment(const std::vector<std::string>& extra = {})
{
    std::vector<std::string> env = {"FREI0R_PATH=" QF_FREI0R_DIR, "GST_REGISTRY=" QF_GST_REGISTRY,
                                    "GST_DEBUG_NO_COLOR=1"};
#ifdef QF_SANITIZER_PRELOAD
    env.push_back("LD_PRELOAD=" QF_SANITIZER_PRELOAD);
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
#endif
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// Runs `args` (found on PATH) in `folder` with HostEnvironment() plus `env`, less the variables in `unset`;
// at most 120 s.
inline ProgramRun RunProgram(const std::vector<std::string>& args, const fs::path& folder,
                             const std::vector<std::string>& env = {}, const std::vector<std::string>& unset = {})
{
    const std::string log = (folder / "host.log").string();
    const std::vector<std::string> environment = HostEnvironment(env);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) {
            _exit(126);
        }
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        for (const std::string& setting : environment) {
            const std::size_t equals = setting.find('=');
            setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
        }
        for (const std::string& name : unset) {
            unsetenv(name.c_str());
        }
        std::vector<char*> argv;
        std::vector<std::string> copies = args;
        for (std::string& arg : copies) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        alarm(120);   // a host that hangs is ended (the alarm survives exec)
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ProgramRun run;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid) {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.err = FileText(log);
    return run;
}

// An RGBA picture as bytes, R, G, B, A per pixel, rows top first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<double> rgba;   // codes 0 to 255, as the file helpers keep them
};

inline Picture Pattern(int width, int height, int seed = 0)
{
    return Picture{width, height, PatternValues(width, height, 255.0, seed)};
}

inline void WritePng(const fs::path& path, const Picture& picture)
{
    WritePixels(path, picture.width, picture.height, OIIO::TypeDesc::UINT8, picture.rgba);
}

inline Picture ReadPng(const fs::path& path)
{
    const FilePixels file = ReadPixels(path);
    EXPECT_EQ(file.type, OIIO::TypeDesc::UINT8) << path;
    EXPECT_EQ(file.channels, 4) << path;
    return Picture{file.width, file.height, file.rgba};
}

// The frame the host simulator renders at 8 bits for `input`, the controls set as a user sets them in the
// panel, at time / scale seconds.
inline Picture HostFrame(const Picture& input, const std::function<void(HostSim&)>& controls, A_long time = 0,
                         A_u_long scale = 8)
{
    HostSim host(QF_MODULE_PATH);
    EXPECT_EQ(host.Start(), PF_Err_NONE);
    host.settings().width = input.width;
    host.settings().height = input.height;
    FloatImage image(input.width, input.height);
    for (int i = 0; i < input.width * input.height; ++i) {
        const double* p = &input.rgba[static_cast<std::size_t>(i) * 4];
        image.Set(i % input.width, i / input.width, static_cast<float>(p[2] / 255.0), static_cast<float>(p[1] / 255.0),
                  static_cast<float>(p[0] / 255.0), static_cast<float>(p[3] / 255.0));
    }
    host.params().SetInputLayer(host.layers().Add(image, PixelDepth::Bits8));
    controls(host);
    host.settings().current_time = time;
    host.settings().time_scale = scale;
    const RenderResult result = host.render().Frame(RenderRequest{});
    EXPECT_EQ(result.error, PF_Err_NONE);
    Picture frame{input.width, input.height, {}};
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            const float* p = result.image.At(x, y);
            for (int c : {2, 1, 0, 3}) {
                frame.rgba.push_back(std::floor(p[c] * 255.0 + 0.5));
            }
        }
    }
    return frame;
}

// Every byte equal; the first that is not is reported with its pixel and channel.
inline ::testing::AssertionResult SameFrame(const Picture& actual, const Picture& expected)
{
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure() << "size " << actual.width << " x " << actual.height << ", expected "
                                             << expected.width << " x " << expected.height;
    }
    for (std::size_t i = 0; i < expected.rgba.size(); ++i) {
        if (actual.rgba[i] != expected.rgba[i]) {
            return ::testing::AssertionFailure()
                   << "pixel " << i / 4 % expected.width << ", " << i / 4 / expected.width << " channel " << i % 4
                   << ": " << actual.rgba[i] << ", expected " << expected.rgba[i];
        }
    }
    return ::testing::AssertionSuccess();
}
