// The log writer and its temporary-folder seam; each case points TMPDIR at a folder of its own.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "LogFile.h"
#include "TempFolder.h"

namespace fs = std::filesystem;

namespace {

// Splits "[YYYY-MM-DD hh:mm:ss] message" into its stamp and message; false when the prefix is malformed.
bool SplitEntry(const std::string& text, std::string& stamp, std::string& message)
{
    const std::string shape = "[dddd-dd-dd dd:dd:dd] ";
    if (text.size() < shape.size())
        return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool matches = shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(text[i])) != 0 : text[i] == shape[i];
        if (!matches)
            return false;
    }
    stamp = text.substr(1, 19);
    message = text.substr(shape.size());
    return true;
}

// The message of one entry, or a note saying the prefix is wrong.
std::string Message(const std::string& text)
{
    std::string stamp, message;
    return SplitEntry(text, stamp, message) ? message : "(malformed entry) " + text;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Sets an environment variable for one case and puts the old value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = getenv(name)) {
            old_ = old;
            hadOld_ = true;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (hadOld_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

class LogFile : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "qf-log-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        tmpdir_.emplace("TMPDIR", folder_.c_str());
        log_ = folder_ / LOG_FILE_NAME;
    }
    void TearDown() override
    {
        tmpdir_.reset();
        fs::remove_all(folder_);
    }

    fs::path folder_;
    fs::path log_;
    std::optional<ScopedEnv> tmpdir_;
};

std::string LocalStamp(time_t t)
{
    tm local{};
    localtime_r(&t, &local);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

TEST_F(LogFile, LineIsLocalTimeStampThenMessage)
{
    std::string before, after;
    {
        // A zone far from UTC, so a stamp in universal time would not pass.
        ScopedEnv zone("TZ", "QFT-5:30");
        tzset();
        before = LocalStamp(time(nullptr));
        LogMessage("GPU setup failed (%s): %s", "OpenCL", "no OpenCL context / device");
        after = LocalStamp(time(nullptr));
    }
    tzset();
    const std::string text = ReadFile(log_);
    std::string stamp, message;
    ASSERT_TRUE(SplitEntry(text, stamp, message)) << text;
    EXPECT_EQ(message, "GPU setup failed (OpenCL): no OpenCL context / device\n");
    EXPECT_LE(before, stamp);
    EXPECT_GE(after, stamp);
}

TEST_F(LogFile, AppendsAfterWhatTheFileHolds)
{
    std::ofstream(log_) << "earlier line\n";
    LogMessage("GPU render failed (%s), frame redone on the CPU", "CUDA launch failed: 719");
    LogMessage("second %d", -5);
    const std::vector<std::string> lines = Lines(ReadFile(log_));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_EQ(Message(lines[1]), "GPU render failed (CUDA launch failed: 719), frame redone on the CPU");
    EXPECT_EQ(Message(lines[2]), "second -5");
}

TEST_F(LogFile, NewlineInMessageBreaksTheEntryUnescaped)
{
    LogMessage("clBuildProgram failed: %d\n%s", -11, "line 3: error");
    EXPECT_EQ(Message(ReadFile(log_)), "clBuildProgram failed: -11\nline 3: error\n");
}

TEST_F(LogFile, TwoThreadsNeverInterleave)
{
    // Messages longer than the stdio buffer leave the file in several writes each, so without the
    // lock two writers would splice their lines.
    constexpr int LINES_PER_THREAD = 200;
    const std::string payloads[2] = {std::string(9000, 'a'), std::string(9000, 'b')};
    auto writer = [&](int id) {
        for (int i = 0; i < LINES_PER_THREAD; ++i)
            LogMessage("%d %d %s", id, i, payloads[id].c_str());
    };
    std::thread first(writer, 0), second(writer, 1);
    first.join();
    second.join();

    int next[2] = {0, 0};
    for (const std::string& line : Lines(ReadFile(log_))) {
        std::string stamp, message;
        ASSERT_TRUE(SplitEntry(line, stamp, message)) << line.substr(0, 80) << "...";
        std::istringstream fields(message);
        int id = -1, index = -1;
        std::string payload, rest;
        fields >> id >> index >> payload >> rest;
        ASSERT_TRUE(id == 0 || id == 1) << message.substr(0, 80) << "...";
        ASSERT_EQ(index, next[id]) << "thread " << id << " lost or reordered a line";
        ASSERT_TRUE(payload == payloads[id] && rest.empty()) << "line of thread " << id << " is not whole";
        ++next[id];
    }
    EXPECT_EQ(next[0], LINES_PER_THREAD);
    EXPECT_EQ(next[1], LINES_PER_THREAD);
}

TEST_F(LogFile, DeletedFileIsCreatedAgain)
{
    LogMessage("one");
    ASSERT_TRUE(fs::exists(log_));
    fs::remove(log_);
    LogMessage("two");
    const std::vector<std::string> lines = Lines(ReadFile(log_));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Message(lines[0]), "two");
}

TEST_F(LogFile, UnusableFolderDropsTheMessageSilently)
{
    const fs::path missing = folder_ / "missing";
    {
        ScopedEnv tmpdir("TMPDIR", missing.c_str());
        LogMessage("dropped");
    }
    EXPECT_FALSE(fs::exists(missing));

    // A folder that exists but, with its separator, is one character too long for the buffer.
    std::string longFolder = folder_.string();
    while (longFolder.size() < TEMP_PATH_CAPACITY - 1) {
        const size_t remaining = TEMP_PATH_CAPACITY - 1 - longFolder.size();
        size_t name = std::min<size_t>(remaining - 1, 100);
        if (remaining - 1 - name == 1) // never leave room for "/" alone
            --name;
        longFolder += "/" + std::string(name, 'd');
    }
    fs::create_directories(longFolder);
    {
        ScopedEnv tmpdir("TMPDIR", longFolder.c_str());
        LogMessage("dropped");
    }
    EXPECT_FALSE(fs::exists(fs::path(longFolder) / LOG_FILE_NAME));
}

TEST(TempFolder, EndsWithSeparatorAndFallsBackToTmp)
{
    {
        ScopedEnv tmpdir("TMPDIR", "/var/qf-tmp");
        EXPECT_EQ(TempFolder(), "/var/qf-tmp/");
    }
    {
        ScopedEnv tmpdir("TMPDIR", "/var/qf-tmp/");
        EXPECT_EQ(TempFolder(), "/var/qf-tmp/");
    }
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
        ScopedEnv tmpdir("TMPDIR", unusable);
        EXPECT_EQ(TempFolder(), "/tmp/") << (unusable ? unusable : "(unset)");
    }
}

TEST(TempFolder, FolderMustFitTheBufferWithItsTerminator)
{
    const std::string fits = "/" + std::string(TEMP_PATH_CAPACITY - 3, 'f') + "/";
    ASSERT_EQ(fits.size(), TEMP_PATH_CAPACITY - 1);
    {
        ScopedEnv tmpdir("TMPDIR", fits.c_str());
        EXPECT_EQ(TempFolder(), fits);
    }
    {
        const std::string tooLong = "/" + std::string(TEMP_PATH_CAPACITY - 2, 'f');
        ScopedEnv tmpdir("TMPDIR", tooLong.c_str());
        EXPECT_EQ(TempFolder(), "");
    }
}

} // namespace
