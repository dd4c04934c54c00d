// The plug-in as a GPU host drives it: a started instance with layers, the log file in a test folder of
// its own, and a frame rendered by a chosen renderer.
#pragma once

#include "GpuHost.h"
#include "RenderTestSupport.h"

#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The log's folder: TMPDIR is pointed at a folder of this test process before any test runs. One per
// process: the cases of a program may run in parallel processes, each clearing and reading its own log.
inline std::filesystem::path LogFolder()
{
    static const std::filesystem::path folder = std::filesystem::path(QF_TEST_TMP_DIR) / std::to_string(getpid());
    return folder;
}

class LogFolderEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::filesystem::create_directories(LogFolder());
        setenv("TMPDIR", LogFolder().c_str(), 1);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(LogFolder(), ignored);
    }
};

// The messages of the log's entries (the time stamp cut off); a message with a line break continues on
// the next line, which comes back as it is.
inline std::vector<std::string> LogMessages()
{
    std::vector<std::string> messages;
    std::ifstream in(LogFolder() / "Quaverflux.log");
    for (std::string line; std::getline(in, line);) {
        const bool stamped = line.size() > 22 && line[0] == '[' && line[20] == ']' && line[21] == ' ';
        messages.push_back(stamped ? line.substr(22) : line);
    }
    return messages;
}

inline void ClearLog()
{
    std::error_code ignored;
    std::filesystem::remove(LogFolder() / "Quaverflux.log", ignored);
}

class GpuHostTest : public RenderHost {
protected:
    void SetUp() override
    {
        ClearLog();
        RenderHost::SetUp();
    }

    // The frame of `request` (float output) through `renderer`.
    RenderResult Render(Renderer renderer, RenderRequest request = {})
    {
        request.renderer = renderer;
        request.depth = PixelDepth::Float;
        return host.render().Frame(request);
    }

    // A float layer of Pattern(width, height), made the effect's input.
    int UseFloatInput(A_long width, A_long height)
    {
        return UseInput(width, height, PixelDepth::Float);
    }
};
