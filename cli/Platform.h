// The command line's one seam to the operating system: interrupts, terminals, the program's own folder and
// the atomic replacement of a file.
#pragma once

#include <cstdio>
#include <string>

// From now on the first Ctrl-C (SIGINT) or SIGTERM only raises a flag, which the render polls through the
// host's abort callback; a second one ends the program at once.
void InstallInterruptHandler();
// The signal that arrived, or 0. Safe to call from any thread.
int InterruptSignal();

// Whether the stream is a terminal (progress bars) rather than a file or a pipe (plain lines).
bool IsTerminal(std::FILE* stream);

// The folder holding the running program, or empty when it cannot be found.
std::string ExecutableFolder();

// A number unique to this process, for temporary file names.
unsigned long ProcessNumber();

// Whether this process may create files in `folder`; false (errno set) when not.
bool FolderWritable(const std::string& folder);

// Renames `from` to `to`, replacing `to` in one step when it exists; false (errno set) on failure.
bool ReplaceFile(const std::string& from, const std::string& to);
