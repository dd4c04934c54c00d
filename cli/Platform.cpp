// POSIX side of the command line's seam; the program is built natively only.
#include "Platform.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_signal = 0;

extern "C" void OnInterrupt(int signal)
{
    g_signal = signal;
}

}   // namespace

void InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: a second signal takes the default action, for a user who does not want to wait.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int InterruptSignal()
{
    return g_signal;
}

bool IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

std::string ExecutableFolder()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

unsigned long ProcessNumber()
{
    return static_cast<unsigned long>(getpid());
}

bool FolderWritable(const std::string& folder)
{
    return access(folder.c_str(), W_OK | X_OK) == 0;
}

bool ReplaceFile(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}
