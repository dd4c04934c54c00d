// Frame-number patterns, frame ranges and host time.
#include "Frames.h"

#include "CliError.h"

#include <OpenImageIO/filesystem.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <system_error>
#include <vector>

namespace {

constexpr double MAX_FRAMES_PER_SECOND = 1000.0;
// Every frame's names are worked out and checked before the first is rendered.
constexpr long MAX_SEQUENCE_FRAMES = 1000000;
constexpr long long HOST_TIME_MAX = std::numeric_limits<A_long>::max();

bool ParseWhole(const std::string& text, long& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}   // namespace

FramePattern::FramePattern(std::string name) : name_(std::move(name))
{
    // The image library's own reading of '#', '@' and %d, so names mean what they mean to its tools.
    std::string pattern, frame_range;
    if (!OIIO::Filesystem::parse_pattern(name_.c_str(), 0, pattern, frame_range)) {
        return;
    }
    if (!frame_range.empty()) {
        throw CliError(name_ + " names its frames: give them as --frames " + frame_range +
                       " and leave the range out of the name");
    }
    // The field the library found is the first; any other one left in the rest of the name is a second field.
    const std::size_t field = pattern.find('%');
    const std::size_t field_end = field == std::string::npos ? field : pattern.find('d', field);
    std::string rest_pattern, rest_range;
    if (field_end == std::string::npos ||
        OIIO::Filesystem::parse_pattern(pattern.substr(field_end + 1).c_str(), 0, rest_pattern, rest_range)) {
        throw CliError(name_ + " holds more than one frame-number pattern");
    }
    printf_pattern_ = pattern;
}

std::string FramePattern::Name(long frame) const
{
    if (!numbered()) {
        return name_;
    }
    std::vector<std::string> names;
    if (frame < 0 || frame > std::numeric_limits<int>::max() ||
        !OIIO::Filesystem::enumerate_file_sequence(printf_pattern_, {static_cast<int>(frame)}, names) ||
        names.size() != 1) {
        throw CliError("frame " + std::to_string(frame) + " has no name in " + name_);
    }
    return names.front();
}

FrameRange ParseFrameRange(const std::string& text)
{
    FrameRange range;
    const std::size_t dash = text.find('-');
    const bool ok = dash == std::string::npos
                        ? ParseWhole(text, range.first) && (range.last = range.first, true)
                        : ParseWhole(text.substr(0, dash), range.first) && ParseWhole(text.substr(dash + 1), range.last);
    if (!ok || range.first < 0 || range.last < range.first) {
        throw CliError("--frames " + Quoted(text) + ": give the first and last frame, e.g. 1-48 (frames count from 0)");
    }
    if (range.count() > MAX_SEQUENCE_FRAMES) {
        throw CliError("--frames " + Quoted(text) + " covers more than " + std::to_string(MAX_SEQUENCE_FRAMES) +
                       " frames: split it into several renders");
    }
    return range;
}

FrameClock ClockFor(double fps)
{
    if (!(fps > 0.0) || fps > MAX_FRAMES_PER_SECOND) {
        throw CliError("--fps must be above 0 and at most 1000");
    }
    FrameClock clock;
    if (fps == std::floor(fps)) {
        clock.scale = static_cast<A_u_long>(fps);
        clock.step = 1;
    } else if (const double whole = std::round(fps * 1.001);
               whole >= 1.0 && std::fabs(fps - whole * 1000.0 / 1001.0) <= 0.005) {
        // 23.976 (or 23.98), 29.97, 59.94 as people type them: the broadcast rates, exactly 24000/1001 and so on.
        clock.scale = static_cast<A_u_long>(whole * 1000.0);
        clock.step = 1001;
    } else {
        clock.scale = static_cast<A_u_long>(std::lround(fps * 1000.0));
        clock.step = 1000;
    }
    return clock;
}

FrameClock ClockFor(const std::string& text)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) {
        double fps = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), fps);
        if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
            throw CliError("--fps " + Quoted(text) + ": give frames per second, e.g. 24, 29.97 or 30000/1001");
        }
        return ClockFor(fps);
    }
    long frames = 0, seconds = 0;
    if (!ParseWhole(text.substr(0, slash), frames) || !ParseWhole(text.substr(slash + 1), seconds) || frames <= 0 ||
        seconds <= 0) {
        throw CliError("--fps " + Quoted(text) + ": give frames per second, e.g. 24, 29.97 or 30000/1001");
    }
    const long common = std::gcd(frames, seconds);
    frames /= common;
    seconds /= common;
    if (frames > MAX_FRAMES_PER_SECOND * seconds || frames > HOST_TIME_MAX || seconds > HOST_TIME_MAX) {
        throw CliError("--fps must be above 0 and at most 1000");
    }
    return FrameClock{static_cast<A_u_long>(frames), static_cast<A_long>(seconds)};
}

std::string RateText(const FrameClock& clock)
{
    const long common = std::gcd(static_cast<long>(clock.scale), static_cast<long>(clock.step));
    const long frames = static_cast<long>(clock.scale) / common;
    const long seconds = clock.step / common;
    return seconds == 1 ? std::to_string(frames) : std::to_string(frames) + "/" + std::to_string(seconds);
}

HostTime TimeOfFrame(const FrameClock& clock, long frame)
{
    const long long time = static_cast<long long>(frame) * clock.step;
    if (frame < 0 || time > HOST_TIME_MAX - clock.step) {
        throw CliError("frame " + std::to_string(frame) + " is beyond the host's time range at this frame rate");
    }
    return HostTime{static_cast<A_long>(time), clock.step, clock.scale};
}

HostTime TimeAt(const FrameClock& clock, double seconds)
{
    if (!std::isfinite(seconds)) {
        throw CliError("--time must be a number of seconds");
    }
    // One frame of the clock in another scale's units.
    const auto step_in = [&clock](A_u_long scale) {
        return scale == clock.scale ? clock.step
                                    : static_cast<A_long>(std::max(1L, std::lround(static_cast<double>(clock.step) *
                                                                                   scale / clock.scale)));
    };
    const auto fits = [](double units) { return std::fabs(units) <= static_cast<double>(HOST_TIME_MAX); };
    // The clock's own units first, so --time N/fps lands on frame N exactly.
    for (const A_u_long scale : {clock.scale, A_u_long{1000}, A_u_long{1000000}}) {
        const double units = seconds * static_cast<double>(scale);
        const double whole = std::round(units);
        if (std::fabs(units - whole) <= 1e-9 * std::max(1.0, std::fabs(units)) && fits(whole)) {
            return HostTime{static_cast<A_long>(whole), step_in(scale), scale};
        }
    }
    for (const A_u_long scale : {A_u_long{1000000}, A_u_long{1000}}) {
        const double whole = std::round(seconds * static_cast<double>(scale));
        if (fits(whole)) {
            return HostTime{static_cast<A_long>(whole), step_in(scale), scale};
        }
    }
    throw CliError("--time " + std::to_string(seconds) + " is beyond the host's time range");
}
