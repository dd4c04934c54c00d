// The log writer: best-effort, time-stamped lines about GPU failures in "Quaverflux.log".
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define QF_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define QF_PRINTF_FORMAT(fmt, first)
#endif

// File name inside the temporary folder; the folder string already ends with a separator.
inline constexpr const char* LOG_FILE_NAME = "Quaverflux.log";

// Appends "[YYYY-MM-DD hh:mm:ss] " (local time), the formatted message and a newline, opening and
// closing the file for this one line. Any thread may call it; one process-wide mutex keeps lines
// whole and in the order their callers took it. A missing folder or an unopenable file drops the
// message silently; out of memory while building the path passes to the caller as std::bad_alloc.
void LogMessage(const char* format, ...) QF_PRINTF_FORMAT(1, 2);
