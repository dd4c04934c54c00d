// Frames of a sequence: numbered file names and the host time of each frame.
#pragma once

#include "AE_Effect.h"

#include <optional>
#include <string>

// A file name with one frame-number field, as image tools write it: '#' for four digits, '@' for one
// (so "####" is sixteen and "@@@" three), or printf's %d / %0Nd; zero-padded. Names without one are a single
// file for every frame.
class FramePattern {
public:
    // Throws CliError when the name holds more than one field, or a frame range ("shot.1-10#.exr").
    explicit FramePattern(std::string name);

    bool numbered() const { return !printf_pattern_.empty(); }
    const std::string& text() const { return name_; }
    // The name of frame `frame` (the name itself when it is not numbered).
    std::string Name(long frame) const;

private:
    std::string name_;
    std::string printf_pattern_;   // the name with its field as %0Nd; empty: not numbered
};

// "A-B" (first and last frame, inclusive) or "A" (one frame); frames are numbered from 0.
struct FrameRange {
    long first = 0;
    long last = 0;

    long count() const { return last - first + 1; }
};
// Throws CliError when the text is not a range.
FrameRange ParseFrameRange(const std::string& text);

// Host time: a frame at `frames_per_second` is `step` units of 1/`scale` second long. Whole rates count
// in frames (scale = rate, step 1); rates such as 29.97 in 1/30000 s with steps of 1001.
struct FrameClock {
    A_u_long scale = 24;
    A_long step = 1;
};
// Throws CliError when the rate is not a positive number up to 1000.
FrameClock ClockFor(double frames_per_second);
// The same from text: "24", "29.97" or a fraction such as "30000/1001" (then exactly that rate).
FrameClock ClockFor(const std::string& frames_per_second);
// "24", "30000/1001": the clock's rate as the shortest exact text.
std::string RateText(const FrameClock& clock);

// A moment the host renders: current_time / time_scale seconds, frames time_step long.
struct HostTime {
    A_long time = 0;
    A_long step = 1;
    A_u_long scale = 24;
};
// Frame `frame` of the clock; throws CliError when it does not fit the host's 32-bit time.
HostTime TimeOfFrame(const FrameClock& clock, long frame);
// `seconds` exactly where the clock's units, milliseconds or microseconds hold it, else the nearest
// microsecond; throws CliError when it does not fit the host's 32-bit time.
HostTime TimeAt(const FrameClock& clock, double seconds);
