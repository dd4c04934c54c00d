// Running the built `quaverflux` program in a folder of its own, and making and reading its image files
// with straight alpha, independently of the program's own image code.
#pragma once

#include "HostSim.h"
#include "ParamIndex.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

struct CliRun {
    int status = -1;        // exit status; 128 + signal when a signal ended it
    std::string out, err;   // standard output and standard error
};

// Starts the program with `args` in `folder`, its output streams going to files there; returns its pid.
inline pid_t StartCli(const std::vector<std::string>& args, const fs::path& folder, const std::string& log_name = "run")
{
    const std::string out = (folder / (log_name + ".out")).string();
    const std::string err = (folder / (log_name + ".err")).string();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) {
            _exit(126);
        }
        const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        std::vector<char*> argv;
        std::string program = QF_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& arg : copies) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

inline std::string FileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits for the program and collects what it wrote.
inline CliRun FinishCli(pid_t pid, const fs::path& folder, const std::string& log_name = "run")
{
    CliRun run;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid) {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.out = FileText(folder / (log_name + ".out"));
    run.err = FileText(folder / (log_name + ".err"));
    return run;
}

inline CliRun RunCli(const std::vector<std::string>& args, const fs::path& folder)
{
    return FinishCli(StartCli(args, folder), folder);
}

// A shell command run in `folder` (other programs: ffmpeg, ffprobe): its status, standard output and error.
inline CliRun RunShell(const std::string& command, const fs::path& folder)
{
    const fs::path err = folder / "shell.err";
    const std::string line = "cd '" + folder.string() + "' && { " + command + " ; } 2>'" + err.string() + "'";
    CliRun run;
    if (std::FILE* pipe = popen(line.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
            run.out.append(buffer, n);
        }
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.err = FileText(err);
    return run;
}

// A file's pixels as R, G, B, A (alpha 1 when the file has none) exactly as stored: integer codes for 8- and
// 16-bit files, floats otherwise; alpha left as stored.
struct FilePixels {
    int width = 0, height = 0, channels = 0;
    OIIO::TypeDesc type;
    std::vector<double> rgba;   // integer codes or float values

    const double* At(int x, int y) const { return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
};

inline FilePixels ReadPixels(const fs::path& path)
{
    FilePixels pixels;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path.string(), &config);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path << ": " << OIIO::geterror();
        return pixels;
    }
    const OIIO::ImageSpec& spec = in->spec();
    pixels.width = spec.width;
    pixels.height = spec.height;
    pixels.channels = spec.nchannels;
    pixels.type = spec.format;
    const std::size_t n = static_cast<std::size_t>(spec.width) * spec.height;
    const OIIO::TypeDesc read = spec.format == OIIO::TypeDesc::UINT8 || spec.format == OIIO::TypeDesc::UINT16
                                    ? spec.format
                                    : OIIO::TypeDesc(OIIO::TypeDesc::FLOAT);
    std::vector<std::uint8_t> bytes(n * spec.nchannels);
    std::vector<std::uint16_t> words(n * spec.nchannels);
    std::vector<float> floats(n * spec.nchannels);
    void* data = read == OIIO::TypeDesc::UINT8    ? static_cast<void*>(bytes.data())
                 : read == OIIO::TypeDesc::UINT16 ? static_cast<void*>(words.data())
                                                  : static_cast<void*>(floats.data());
    EXPECT_TRUE(in->read_image(0, 0, 0, spec.nchannels, read, data)) << in->geterror();
    pixels.rgba.assign(n * 4, 1.0);
    const double alpha_one = read == OIIO::TypeDesc::UINT8 ? 255.0 : read == OIIO::TypeDesc::UINT16 ? 65535.0 : 1.0;
    for (std::size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 4; ++c) {
            const int from = spec.nchannels >= 3 ? c : (c < 3 ? 0 : 1);
            double v = c == 3 ? alpha_one : 0.0;
            if (from < spec.nchannels && (c < 3 || spec.nchannels == 4 || spec.nchannels == 2)) {
                const std::size_t at = i * spec.nchannels + from;
                v = read == OIIO::TypeDesc::UINT8 ? bytes[at] : read == OIIO::TypeDesc::UINT16 ? words[at] : floats[at];
            }
            pixels.rgba[i * 4 + c] = v;
        }
    }
    return pixels;
}

// Writes R, G, B, A values (codes for integer types) with straight alpha.
inline void WritePixels(const fs::path& path, int width, int height, OIIO::TypeDesc type, const std::vector<double>& rgba,
                        int channels = 4)
{
    auto out = OIIO::ImageOutput::create(path.string());
    ASSERT_TRUE(out) << OIIO::geterror();
    OIIO::ImageSpec spec(width, height, channels, type);
    if (channels == 4) {
        spec.alpha_channel = 3;
        spec.attribute("oiio:UnassociatedAlpha", 1);
    }
    const std::size_t n = static_cast<std::size_t>(width) * height;
    std::vector<float> floats;
    std::vector<std::uint16_t> words;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < n; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double v = rgba[i * 4 + c];
            floats.push_back(static_cast<float>(v));
            words.push_back(static_cast<std::uint16_t>(v));
            bytes.push_back(static_cast<std::uint8_t>(v));
        }
    }
    const void* data = type == OIIO::TypeDesc::UINT8    ? static_cast<const void*>(bytes.data())
                       : type == OIIO::TypeDesc::UINT16 ? static_cast<const void*>(words.data())
                                                        : static_cast<const void*>(floats.data());
    ASSERT_TRUE(out->open(path.string(), spec) && out->write_image(type, data) && out->close()) << out->geterror();
}

// A smooth picture with partial alpha (every warp shows, and premultiplying would show too), as codes of
// `full` (255, 65535) or, with full 0, as floats 0 to 1.
inline std::vector<double> PatternValues(int width, int height, double full, int seed = 0)
{
    std::vector<double> rgba;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double v[4] = {0.5 + 0.45 * std::sin(0.3 * x + 0.1 * y + seed),
                                 0.5 + 0.45 * std::cos(0.2 * y - 0.15 * x + seed),
                                 0.5 + 0.45 * std::sin(0.11 * (x + y) + 1.0 + seed),
                                 0.35 + 0.6 * (0.5 + 0.5 * std::cos(0.23 * x - 0.31 * y))};
            for (double c : v) {
                rgba.push_back(full > 0 ? std::floor(c * full + 0.5) : c);
            }
        }
    }
    return rgba;
}

// The files of a folder whose names contain `part`.
inline std::vector<std::string> FilesContaining(const fs::path& folder, const std::string& part)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(part) != std::string::npos) {
            names.push_back(name);
        }
    }
    return names;
}

// Each test in a fresh folder of its own, removed afterwards.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(::testing::TempDir()) /
                 ("qf_cli_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override
    {
        if (!HasFailure()) {
            fs::remove_all(folder);
        }
    }

    CliRun Run(const std::vector<std::string>& args) { return RunCli(args, folder); }

    // A command the program refuses: one clear line, a non-zero exit, and no file.
    struct BadCase {
        const char* what;
        std::vector<std::string> args;
        const char* message;    // part of the error line
        const char* output;     // the file that must not appear; empty: none to check
    };
    void ExpectEachRefused(const std::vector<BadCase>& cases)
    {
        for (const BadCase& bad : cases) {
            SCOPED_TRACE(bad.what);
            const CliRun run = Run(bad.args);
            EXPECT_NE(run.status, 0);
            EXPECT_NE(run.err.find(bad.message), std::string::npos) << run.err;
            // One line, no more.
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
            if (*bad.output) {
                EXPECT_FALSE(Exists(bad.output));
            }
        }
        EXPECT_TRUE(FilesContaining(folder, ".part-").empty());
    }
    fs::path At(const std::string& name) const { return folder / name; }
    bool Exists(const std::string& name) const { return fs::exists(folder / name); }

    fs::path folder;
};
