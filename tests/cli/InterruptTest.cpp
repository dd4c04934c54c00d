// Ctrl-C during a long sequence: the frame in flight is cancelled through the host's abort callback, the
// program exits with 130, and every file in the folder is either complete or as it was before.
#include "CliTestSupport.h"

#include <cstdio>
#include <regex>

namespace {

using Interrupt = CliTest;

}   // namespace

TEST_F(Interrupt, CtrlCCancelsTheFrameInFlightAndLeavesNoPartialFile)
{
    constexpr int SIZE = 512;
    WritePixels(At("in.png"), SIZE, SIZE, OIIO::TypeDesc::UINT8, PatternValues(SIZE, SIZE, 255.0));
    // A frame the render would reach much later already exists; it must survive untouched.
    WritePixels(At("out.9999.png"), 4, 4, OIIO::TypeDesc::UINT8, PatternValues(4, 4, 255.0));
    const std::string untouched = FileText(At("out.9999.png"));
    std::ofstream(At("look.json")) << "my look";   // --save-look writes only after a render that succeeded

    // Slow frames (every wave, four iterations, the best antialiasing): frame 0's file appears just before
    // frame 1 begins; the signal comes a quarter of frame 0's render time later, with frame 1 in flight.
    const pid_t pid = StartCli({"render", "in.png", "-o", "out.#.png", "--frames", "0-9999", "--set", "Waves=32",
                                "--set", "Iterations=4", "--set", "Antialiasing=Best", "--set", "Evolution Speed=1",
                                "--verbose", "--save-look", "look.json"},
                               folder);
    // Whatever goes wrong below, the program does not outlive the test.
    struct EndProgram {
        pid_t pid;
        ~EndProgram()
        {
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
    } end_program{pid};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (!Exists("out.0000.png") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(Exists("out.0000.png")) << "no frame was written";
    const std::string log = FileText(At("run.err"));
    const std::string drawn = "frame 0: drawn by cpu in ";
    const std::size_t at = log.find(drawn);
    ASSERT_NE(at, std::string::npos) << log;
    const double frame_ms = std::stod(log.substr(at + drawn.size()));
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(frame_ms * 250.0)));
    ASSERT_EQ(kill(pid, SIGINT), 0);
    const CliRun run = FinishCli(pid, folder);
    end_program.pid = 0;   // reaped

    EXPECT_EQ(run.status, 130) << run.err;
    // Normally frame 1; on a machine so loaded that the signal lands later, whichever frame was in flight.
    std::smatch cancelled;
    ASSERT_TRUE(std::regex_search(run.err, cancelled,
                                  std::regex("interrupted: the effect cancelled frame ([0-9]+); ([0-9]+) of 10000 frames "
                                             "written")))
        << run.err;
    const int in_flight = std::stoi(cancelled[1].str());
    EXPECT_GE(in_flight, 1);
    EXPECT_EQ(std::stoi(cancelled[2].str()), in_flight);
    EXPECT_TRUE(FilesContaining(folder, ".part-").empty());
    char name[32];
    std::snprintf(name, sizeof name, "out.%04d.png", in_flight);
    EXPECT_FALSE(Exists(name));
    const FilePixels first = ReadPixels(At("out.0000.png"));
    EXPECT_EQ(first.width, SIZE);
    EXPECT_EQ(first.height, SIZE);
    EXPECT_EQ(FileText(At("out.9999.png")), untouched);
    EXPECT_EQ(FileText(At("look.json")), "my look");
}
