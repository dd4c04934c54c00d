// Frame-number patterns, frame ranges and host time.
#include "Frames.h"

#include "CliError.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

constexpr double MAX_FRAMES_PER_SECOND = 1000.0;
// Every frame's names are worked out and checked before the first is rendered.
constexpr long MAX_SEQUENCE_FRAMES = 1000000;
constexpr long long HOST_TIME_MAX = std::numeric_limits<A_long>::max();

// A '#' run or a %d / %0Nd field at `at`: its length in the name and its digits; 0 when none starts there.
std::size_t FieldAt(const std::string& name, std::size_t at, int& digits)
{
    if (name[at] == '#') {
        std::size_t end = at;
        while (end < name.size() && name[end] == '#') {
            ++end;
        }
        digits = static_cast<int>(end - at);
        return end - at;
    }
    if (name[at] == '%') {
        std::size_t end = at + 1;
        while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) {
            ++end;
        }
        if (end < name.size() && name[end] == 'd') {
            digits = 0;
            std::from_chars(name.data() + at + 1, name.data() + end, digits);
            return end + 1 - at;
        }
    }
    return 0;
}

bool ParseWhole(const std::string& text, long& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}   // namespace

FramePattern::FramePattern(std::string name) : name_(std::move(name))
{
    for (std::size_t at = 0; at < name_.size();) {
        int digits = 0;
        const std::size_t length = FieldAt(name_, at, digits);
        if (length == 0) {
            ++at;
            continue;
        }
        if (field_length_ != 0) {
            throw CliError(name_ + " holds more than one frame-number pattern");
        }
        field_at_ = at;
        field_length_ = length;
        digits_ = digits;
        at += length;
    }
}

std::string FramePattern::Name(long frame) const
{
    if (!numbered()) {
        return name_;
    }
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < digits_) {
        number.insert(0, static_cast<std::size_t>(digits_) - number.size(), '0');
    }
    return name_.substr(0, field_at_) + number + name_.substr(field_at_ + field_length_);
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
    } else if (const double ntsc = fps * 1001.0; std::fabs(ntsc - std::round(ntsc)) < 1e-6) {
        // 23.976, 29.97, 59.94: the broadcast rates, exactly 24000/1001 and so on.
        clock.scale = static_cast<A_u_long>(std::lround(ntsc));
        clock.step = 1001;
    } else {
        clock.scale = static_cast<A_u_long>(std::lround(fps * 1000.0));
        clock.step = 1000;
    }
    return clock;
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
