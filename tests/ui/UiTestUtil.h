// Shared pieces of the header control's tests: a started effect in the host simulator, a stand-in browser
// launcher that records what it was asked to open, and ways to find pixels of a given kind in the artwork.
#pragma once

#include "Drawbot.h"
#include "HeaderArt.h"
#include "HeaderImage.h"
#include "HeaderTheme.h"
#include "HostSim.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The effect, started, with the host's drawing side at hand.
class HeaderHost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host.Start(), PF_Err_NONE); }

    HostSim host{QF_MODULE_PATH};
    DrawingHost& ui = host.drawing();
};

// Puts an "xdg-open" first on PATH that appends its argument count and arguments to a file, so no real
// browser starts. The launcher runs detached from the process that starts it; this process becomes the
// subreaper of such orphans, so Opened() can wait for every one of them before reading the record.
class FakeBrowser {
public:
    explicit FakeBrowser(const std::string& script_body = {})
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qf-browser-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            ADD_FAILURE() << "mkdtemp failed";
            return;
        }
        folder_ = pattern;
        record_ = folder_ / "opened.txt";
        const std::filesystem::path launcher = folder_ / "xdg-open";
        std::ofstream(launcher) << (script_body.empty() ? "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$*\" >> '" +
                                                              record_.string() + "'\n"
                                                        : script_body);
        chmod(launcher.c_str(), 0755);

        const char* path = std::getenv("PATH");
        saved_path_ = path ? path : "";
        setenv("PATH", (folder_.string() + ":/usr/bin:/bin").c_str(), 1);
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    }

    ~FakeBrowser()
    {
        Reap();
        setenv("PATH", saved_path_.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    const std::filesystem::path& folder() const { return folder_; }

    // Every launch so far, once all have finished, as "argument count|arguments".
    std::vector<std::string> Opened()
    {
        Reap();
        std::vector<std::string> lines;
        std::ifstream in(record_);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

private:
    static void Reap()
    {
        int status = 0;
        while (waitpid(-1, &status, 0) > 0 || errno == EINTR) {
        }
    }

    std::filesystem::path folder_;
    std::filesystem::path record_;
    std::string saved_path_;
};

// The first pixel of a 1x mask at its highest coverage, away from the badge.
inline int PeakPixel(const unsigned char* mask)
{
    int peak = -1;
    for (int i = 0; i < HEADER_WIDTH * HEADER_HEIGHT; ++i) {
        if (i % HEADER_WIDTH >= 70 && (peak < 0 || mask[i] > mask[peak])) {
            peak = i;
        }
    }
    return peak;
}

// A colour premultiplied by a mask's coverage, as the header image computes it.
inline HeaderColor Covered(const HeaderColor& color, unsigned char coverage)
{
    const float a = coverage / 255.0f;
    return {a * color.r, a * color.g, a * color.b};
}

// A colour channel as the image stores it.
inline int ChannelByte(float value)
{
    return static_cast<int>(value * 255.0f + 0.5f);
}
