// Failures the command line reports to its user: one line of text and the program's exit status.
#pragma once

#include <stdexcept>
#include <string>

// Exit statuses.
inline constexpr int EXIT_FAILED = 1;        // bad input, unreadable files, a failed render or write
inline constexpr int EXIT_USAGE = 2;         // the command line itself does not parse
inline constexpr int EXIT_SIGNAL_BASE = 128; // interrupted: 128 plus the signal's number (130 for Ctrl-C)

class CliError : public std::runtime_error {
public:
    explicit CliError(const std::string& message, int status = EXIT_FAILED)
        : std::runtime_error(message), status_(status)
    {
    }
    int status() const { return status_; }

private:
    int status_;
};

// The user stopped the program (Ctrl-C); what was in flight was cancelled and cleaned up.
class Interrupted : public CliError {
public:
    explicit Interrupted(int signal, const std::string& message) : CliError(message, EXIT_SIGNAL_BASE + signal) {}
};

// "name" in double quotes, as messages quote names and paths.
inline std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}
