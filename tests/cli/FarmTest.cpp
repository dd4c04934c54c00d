// Rendering on a farm: --chunk pieces join into the whole render, --skip-existing finishes what a failed task
// left, and an array job on a real (one-node) Slurm cluster renders the same frames as one machine.
#include "CliTestSupport.h"

#include <sys/prctl.h>

#include <regex>

namespace {

using Farm = CliTest;

constexpr int FRAMES = 24;

std::vector<std::string> LookArgs()
{
    return {"--set", "Evolution Speed=1", "--set", "Waves=3"};
}

std::vector<std::string> With(std::vector<std::string> head, const std::vector<std::string>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The processes whose command line mentions `text`: daemons left behind would show here.
std::vector<std::string> ProcessesMentioning(const std::string& text)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(getpid())) {
            continue;
        }
        std::string command = FileText(entry.path() / "cmdline");
        std::replace(command.begin(), command.end(), '\0', ' ');
        if (command.find(text) != std::string::npos) {
            found.push_back(pid + ": " + command);
        }
    }
    return found;
}

}   // namespace

// Four pieces of ten frames: 2, 2, 2 and the remaining 4, together the one-machine render byte for byte; a
// piece with no frames says so and writes nothing.
TEST_F(Farm, ChunksJoinIntoTheWholeRender)
{
    WritePixels(At("in.png"), 24, 16, OIIO::TypeDesc::UINT8, PatternValues(24, 16, 255.0));
    fs::create_directories(At("one"));
    fs::create_directories(At("pieces"));
    ASSERT_EQ(Run(With({"render", "in.png", "-o", "one/f.#.png", "--frames", "0-9", "-q"}, LookArgs())).status, 0);
    const std::vector<int> sizes = {2, 2, 2, 4};
    for (int piece = 1; piece <= 4; ++piece) {
        const CliRun run = Run(With({"render", "in.png", "-o", "pieces/f.#.png", "--frames", "0-9", "--chunk",
                                     std::to_string(piece) + "/4"},
                                    LookArgs()));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("frame " + std::to_string(sizes[piece - 1]) + "/" + std::to_string(sizes[piece - 1]) + " "),
                  std::string::npos)
            << run.err;
    }
    for (int frame = 0; frame <= 9; ++frame) {
        char name[32];
        std::snprintf(name, sizeof(name), "f.%04d.png", frame);
        EXPECT_EQ(FileText(At("pieces") / name), FileText(At("one") / name)) << name;
    }
    EXPECT_EQ(FilesContaining(At("pieces"), ".png").size(), 10u);

    const CliRun empty = Run({"render", "in.png", "-o", "none/f.#.png", "--frames", "0-9", "--chunk", "3/20"});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_NE(empty.err.find("--chunk 3/20 holds no frames"), std::string::npos) << empty.err;
    const CliRun bad = Run({"render", "in.png", "-o", "pieces/f.#.png", "--frames", "0-9", "--chunk", "5/4"});
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("--chunk \"5/4\""), std::string::npos) << bad.err;
}

// A re-run with --skip-existing renders only the missing frames and leaves the others as they are.
TEST_F(Farm, SkipExistingFinishesWhatAFailedTaskLeft)
{
    WritePixels(At("in.png"), 24, 16, OIIO::TypeDesc::UINT8, PatternValues(24, 16, 255.0));
    ASSERT_EQ(Run(With({"render", "in.png", "-o", "f.#.png", "--frames", "0-5", "-q"}, LookArgs())).status, 0);
    const std::string two = FileText(At("f.0002.png"));
    fs::remove(At("f.0002.png"));
    fs::remove(At("f.0004.png"));
    std::ofstream(At("f.0000.png")) << "kept as it is";
    const CliRun run = Run(With({"render", "in.png", "-o", "f.#.png", "--frames", "0-5", "--skip-existing"}, LookArgs()));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FileText(At("f.0000.png")), "kept as it is");
    EXPECT_EQ(FileText(At("f.0002.png")), two);
    EXPECT_TRUE(Exists("f.0004.png"));
    EXPECT_NE(run.err.find("frame 1/6 f.0000.png (exists)"), std::string::npos) << run.err;
}

// An array job of four tasks on a one-node Slurm cluster of its own renders a 24-frame sequence; every frame
// is the one-machine render's, byte for byte, and no daemon outlives the test.
TEST_F(Farm, SlurmArrayJobMatchesOneMachine)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "skipped: the Slurm cluster needs root (namespaces, jobs without cgroups)";
    }
    WritePixels(At("in.png"), 32, 24, OIIO::TypeDesc::UINT8, PatternValues(32, 24, 255.0));
    fs::create_directories(At("one"));
    fs::create_directories(At("farm"));
    const std::string frames = "0-" + std::to_string(FRAMES - 1);
    ASSERT_EQ(Run(With({"render", "in.png", "-o", "one/f.#.png", "--frames", frames, "-q"}, LookArgs())).status, 0);

    // An array job as the README writes it, with this build's program.
    std::ofstream(At("warp.sbatch")) << "#!/bin/bash\n"
                                        "#SBATCH --job-name=warp\n"
                                        "#SBATCH --array=1-4\n"
                                        "#SBATCH --cpus-per-task=1\n"
                                        "#SBATCH --output=warp-%a.log\n"
                                     << "exec " << QF_CLI_PATH << " render in.png -o farm/f.#.png --frames " << frames
                                     << " --set 'Evolution Speed=1' --set Waves=3"
                                        " --chunk \"$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT\" --skip-existing\n";

    const fs::path cluster = At("cluster");
    const pid_t pid = fork();
    if (pid == 0) {
        // The cluster goes when this test goes, however it ends: its namespace dies with this child.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (chdir(folder.c_str()) != 0) {
            _exit(126);
        }
        const int log = open("cluster.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, 1);
        dup2(log, 2);
        execl("/bin/bash", "bash", QF_SLURM_CLUSTER_SCRIPT, cluster.c_str(), "timeout", "300", "sbatch", "--wait",
              "warp.sbatch", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(420);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the cluster run did not end in time\n" << FileText(At("cluster.log"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string log = FileText(At("cluster.log"));
    ASSERT_TRUE(WIFEXITED(status)) << log;
    ASSERT_EQ(WEXITSTATUS(status), 0) << log << FileText(cluster / "log" / "slurmctld.log");
    EXPECT_TRUE(std::regex_search(log, std::regex("Submitted batch job [0-9]+"))) << log;

    for (int task = 1; task <= 4; ++task) {
        const std::string task_log = FileText(At("warp-" + std::to_string(task) + ".log"));
        EXPECT_NE(task_log.find("frame 6/6"), std::string::npos) << "task " << task << ": " << task_log;
    }
    for (int frame = 0; frame < FRAMES; ++frame) {
        char name[32];
        std::snprintf(name, sizeof(name), "f.%04d.png", frame);
        ASSERT_TRUE(fs::exists(At("farm") / name)) << name;
        EXPECT_EQ(FileText(At("farm") / name), FileText(At("one") / name)) << name;
    }
    EXPECT_EQ(FilesContaining(At("farm"), ".png").size(), static_cast<std::size_t>(FRAMES));
    EXPECT_TRUE(ProcessesMentioning(cluster.string()).empty());
}
