// Opening a web page: ShellExecuteA on Windows; elsewhere xdg-open from PATH, started in a process of its own.
#include "WebPage.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#else
#include <cerrno>
#include <cstdlib>
#include <string>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

bool IsHttps(const char* address)
{
    return address && std::strncmp(address, "https://", 8) == 0;
}

#if !defined(_WIN32)

// The first executable "xdg-open" on PATH, found before forking: the child may only make async-signal-safe
// calls, and a search needs the heap.
std::string FindOnPath(const char* program)
{
    const char* path = std::getenv("PATH");
    if (!path) {
        return {};
    }
    std::string candidate;
    for (const char* start = path;; ++start) {
        const std::size_t length = std::strcspn(start, ":");
        candidate.assign(start, length);
        if (candidate.empty()) {
            candidate = ".";
        }
        candidate += '/';
        candidate += program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start += length;
        if (*start == '\0') {
            return {};
        }
    }
}

// Starts the program detached: a short-lived child forks the launcher and exits at once, so the host never
// waits for the browser and no zombie stays behind. A close-on-exec pipe tells whether exec succeeded.
bool StartDetached(const std::string& program, const char* argument)
{
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        return false;
    }
    char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(argument), nullptr};
    const pid_t child = fork();
    if (child < 0) {
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        return false;
    }
    if (child == 0) {
        close(pipe_fds[0]);
        const pid_t launcher = fork();
        if (launcher == 0) {
            execv(program.c_str(), argv);
            const int error = errno;
            (void)!write(pipe_fds[1], &error, sizeof error);
            _exit(127);
        }
        _exit(launcher < 0 ? 1 : 0);
    }

    close(pipe_fds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // End of file without a word: the launcher's exec closed the pipe.
    int exec_error = 0;
    ssize_t got;
    while ((got = read(pipe_fds[0], &exec_error, sizeof exec_error)) < 0 && errno == EINTR) {
    }
    close(pipe_fds[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

#endif

}   // namespace

bool OpenWebPage(const char* address)
{
    if (!IsHttps(address)) {
        return false;
    }
#if defined(_WIN32)
    const HINSTANCE result = ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
#else
    const std::string program = FindOnPath("xdg-open");
    return !program.empty() && StartDetached(program, address);
#endif
}
