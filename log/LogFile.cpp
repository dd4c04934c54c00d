// The log writer: one mutex around folder query, open, write and close, so a line is never split.
#include "LogFile.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

#include "TempFolder.h"

namespace {

std::mutex LogMutex;

// Local time, so the stamps line up with the user's clock when a log is sent in.
void FormatLocalTime(char (&stamp)[32])
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    const bool converted = localtime_s(&local, &now) == 0;
#else
    const bool converted = localtime_r(&now, &local) != nullptr;
#endif
    stamp[0] = '\0';
    if (converted)
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
}

} // namespace

void LogMessage(const char* format, ...)
{
    const std::lock_guard<std::mutex> lock(LogMutex);

    const std::string folder = TempFolder();
    if (folder.empty())
        return;
    const std::string path = folder + LOG_FILE_NAME;

    // Text mode: on Windows each '\n' is stored as CR LF.
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr)
        return;

    char stamp[32];
    FormatLocalTime(stamp);
    std::fprintf(file, "[%s] ", stamp);
    std::va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fputc('\n', file);
    // Closed at once so the line is on disk before the next caller writes; nothing stays open.
    std::fclose(file);
}
