// Progress bar and progress lines.
#include "Progress.h"

#include "Platform.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int BAR_WIDTH = 30;

}   // namespace

Progress::Progress(long total, std::string unit, bool quiet, std::FILE* stream)
    : total_(total), unit_(std::move(unit)), quiet_(quiet), terminal_(IsTerminal(stream)), stream_(stream),
      start_(std::chrono::steady_clock::now())
{
    if (!quiet_ && terminal_) {
        Draw();
    }
}

Progress::~Progress()
{
    Finish();
}

std::string Progress::Duration(double seconds)
{
    const long whole = std::lround(std::max(0.0, seconds));
    if (whole < 60) {
        return std::to_string(whole) + " s";
    }
    const long minutes = whole / 60;
    const long rest = whole % 60;
    return std::to_string(minutes) + ":" + (rest < 10 ? "0" : "") + std::to_string(rest);
}

void Progress::Done(const std::string& what)
{
    ++done_;
    if (quiet_) {
        return;
    }
    if (terminal_) {
        Draw();
        return;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = elapsed > 0.0 ? done_ / elapsed : 0.0;
    std::string line = "quaverflux: " + unit_ + " " + std::to_string(done_) + "/" + std::to_string(total_) + " " + what;
    if (rate > 0.0) {
        char text[64];
        std::snprintf(text, sizeof(text), " (%.2f %ss/s", rate, unit_.c_str());
        line += text;
        line += done_ < total_ ? ", " + Duration((total_ - done_) / rate) + " left)" : ")";
    }
    std::fprintf(stream_, "%s\n", line.c_str());
    std::fflush(stream_);
}

void Progress::Say(const std::string& line)
{
    if (quiet_) {
        return;
    }
    if (bar_shown_) {
        std::fprintf(stream_, "\r\033[K");   // the message takes the bar's line; the bar comes back below it
    }
    std::fprintf(stream_, "%s\n", line.c_str());
    if (bar_shown_) {
        Draw();
    }
    std::fflush(stream_);
}

void Progress::Finish()
{
    if (bar_shown_) {
        std::fprintf(stream_, "\n");
        std::fflush(stream_);
        bar_shown_ = false;
    }
}

void Progress::Draw()
{
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = elapsed > 0.0 && done_ > 0 ? done_ / elapsed : 0.0;
    const int filled = total_ > 0 ? static_cast<int>(BAR_WIDTH * done_ / total_) : BAR_WIDTH;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(BAR_WIDTH - filled), '-');
    char rate_text[48] = "";
    if (rate > 0.0) {
        std::snprintf(rate_text, sizeof(rate_text), "  %.2f %ss/s", rate, unit_.c_str());
    }
    const std::string left = rate > 0.0 && done_ < total_ ? "  " + Duration((total_ - done_) / rate) + " left" : "";
    std::fprintf(stream_, "\r\033[K[%s] %ld/%ld %ss%s%s", bar.c_str(), done_, total_, unit_.c_str(), rate_text,
                 left.c_str());
    std::fflush(stream_);
    bar_shown_ = true;
}
