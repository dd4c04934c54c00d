// Progress of a sequence or a contact sheet on standard error: a bar with the count, the rate and the time
// left on a terminal; one plain line per item otherwise (logs, pipes); nothing at all when quiet.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

class Progress {
public:
    // `total` items called `unit` ("frame", "tile"). The bar is drawn only when `stream` is a terminal.
    Progress(long total, std::string unit, bool quiet, std::FILE* stream = stderr);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // One item is done; `what` names it (the file written, the look drawn).
    void Done(const std::string& what);
    // A message of its own line (notes, --verbose), kept clear of the bar.
    void Say(const std::string& line);
    // Ends the bar's line; called by the destructor too.
    void Finish();

    // "1:05" or "12 s".
    static std::string Duration(double seconds);

private:
    void Draw();

    long total_;
    long done_ = 0;
    std::string unit_;
    bool quiet_;
    bool terminal_;
    bool bar_shown_ = false;
    std::FILE* stream_;
    std::chrono::steady_clock::time_point start_;
};
