// Frames of a sequence: numbered file names and the host time of each frame.
#pragma once

#include "AE_Effect.h"

#include <optional>
#include <string>

// A file name with one frame-number field: a run of '#' (as many digits as marks, zero-padded) or a
// printf-style %d / %0Nd. Names without one are a single file for every frame.
class FramePattern {
public:
    // Throws CliError when the name holds more than one field.
    explicit FramePattern(std::string name);

    bool numbered() const { return field_length_ > 0; }
    const std::string& text() const { return name_; }
    // The name of frame `frame` (the name itself when it is not numbered).
    std::string Name(long frame) const;

private:
    std::string name_;
    std::size_t field_at_ = 0;
    std::size_t field_length_ = 0;   // characters of the field in the name; 0: none
    int digits_ = 0;                 // zero-padded width; 0 or 1: no padding
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
