// A frei0r instance: parameters to control values, and one frame on the CPU.
#include "Frei0rInstance.h"

#include "LayerScale.h"
#include "ParamRules.h"
#include "WarpRender.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Beyond this many seconds (about 31 years) a host's time is a fault, not a frame time.
constexpr double MAX_SECONDS = 1e9;
// The time unit's choices: seconds, then milliseconds.
constexpr const char* TIME_UNITS = "s|ms";

bool SameValue(const ParamValue& a, const ParamValue& b)
{
    return a.number == b.number && a.integer == b.integer;
}

void WriteLine(const std::string& text)
{
    std::fprintf(stderr, "Quaverflux: %s\n", text.c_str());
    std::fflush(stderr);
}

}   // namespace

Frei0rInstance::Frei0rInstance(std::int32_t width, std::int32_t height) : width_(width), height_(height)
{
    for (int i = FREI0R_FIRST_CONTROL; i < FREI0R_PARAM_COUNT; ++i) {
        numbers_[static_cast<std::size_t>(i)] = Frei0rDefault(FREI0R_PARAMS[static_cast<std::size_t>(i)].control);
    }
}

void Frei0rInstance::SetParam(int param, const void* value)
{
    if (param < 0 || param >= FREI0R_PARAM_COUNT || !value) {
        return;
    }
    const Frei0rParam& info = FREI0R_PARAMS[static_cast<std::size_t>(param)];
    if (info.role != Frei0rRole::Control) {
        const char* given = *static_cast<char* const*>(value);
        const std::string text = given ? given : "";
        std::string& slot = info.role == Frei0rRole::Preset ? preset_ : info.role == Frei0rRole::Look ? look_ : time_unit_;
        resolved_ = resolved_ && slot == text;
        slot = text;
        return;
    }
    double number = *static_cast<const double*>(value);
    number = std::isnan(number) ? Frei0rDefault(info.control) : number < 0.0 ? 0.0 : number > 1.0 ? 1.0 : number;
    double& slot = numbers_[static_cast<std::size_t>(param)];
    resolved_ = resolved_ && slot == number;
    slot = number;
}

void Frei0rInstance::GetParam(int param, void* value) const
{
    if (param < 0 || param >= FREI0R_PARAM_COUNT || !value) {
        return;
    }
    switch (FREI0R_PARAMS[static_cast<std::size_t>(param)].role) {
    case Frei0rRole::Preset:
        *static_cast<const char**>(value) = preset_.c_str();
        break;
    case Frei0rRole::Look:
        *static_cast<const char**>(value) = look_.c_str();
        break;
    case Frei0rRole::TimeUnit:
        *static_cast<const char**>(value) = time_unit_.c_str();
        break;
    case Frei0rRole::Control:
        *static_cast<double*>(value) = numbers_[static_cast<std::size_t>(param)];
        break;
    }
}

void Frei0rInstance::Resolve()
{
    resolved_ = true;
    problem_.clear();

    const int choice = preset_.empty() ? PRESET_CUSTOM : FindChoice(PRESET_CHOICES.data(), preset_);
    if (choice == 0) {
        problem_ = "no look \"" + preset_ + "\" (the looks: " + Frei0rLookNames() + ")";
    }

    if (!look_loaded_ || loaded_look_ != look_) {
        look_reading_ = look_.empty() ? LookReading{} : LoadLookFile(look_);
        loaded_look_ = look_;
        look_loaded_ = true;
    }
    if (problem_.empty() && !look_reading_.error.empty()) {
        problem_ = look_reading_.error;
    }

    const int unit = time_unit_.empty() ? 1 : FindChoice(TIME_UNITS, time_unit_);
    units_per_second_ = unit == 2 ? 1000.0 : 1.0;
    if (problem_.empty() && unit == 0) {
        problem_ = "time unit \"" + time_unit_ + "\" is neither s (seconds) nor ms (milliseconds)";
    }
    if (!problem_.empty()) {
        return;
    }

    // The controls set here: those whose value is not their default.
    std::array<bool, FREI0R_PARAM_COUNT> set{};
    std::array<ParamValue, FREI0R_PARAM_COUNT> value{};
    const ParamValues defaults = DefaultParamValues();
    for (int i = FREI0R_FIRST_CONTROL; i < FREI0R_PARAM_COUNT; ++i) {
        const int control = FREI0R_PARAMS[static_cast<std::size_t>(i)].control;
        value[static_cast<std::size_t>(i)] = ControlFromFrei0r(control, numbers_[static_cast<std::size_t>(i)]);
        set[static_cast<std::size_t>(i)] = !SameValue(value[static_cast<std::size_t>(i)], defaults[control]);
    }
    const auto apply_set = [&](bool look_writes) {
        for (int i = FREI0R_FIRST_CONTROL; i < FREI0R_PARAM_COUNT; ++i) {
            const int control = FREI0R_PARAMS[static_cast<std::size_t>(i)].control;
            if (set[static_cast<std::size_t>(i)] && IsPresetControlled(control) == look_writes) {
                controls_[control] = value[static_cast<std::size_t>(i)];
            }
        }
    };

    controls_ = defaults;
    for (const ParamChange& saved : look_reading_.values) {
        controls_[saved.index] = saved.value;
    }
    apply_set(false);
    if (choice >= PRESET_FIRST_LOOK) {
        controls_[PARAM_PRESET] = ParamValue::Integer(choice);
        const double layer_scale = LayerScaleFactor(static_cast<double>(width_), static_cast<double>(height_));
        for (const ParamChange& change : ChangesAfterEdit(PARAM_PRESET, controls_, layer_scale)) {
            controls_[change.index] = change.value;
        }
    }
    apply_set(true);
}

void Frei0rInstance::Report(const std::string& problem)
{
    if (problem != reported_ && !problem.empty()) {
        WriteLine(problem + "; frames pass through unchanged");
    }
    reported_ = problem;
}

void Frei0rInstance::PassThrough(const std::uint32_t* in, std::uint32_t* out) const
{
    if (in != out) {
        std::memmove(out, in, static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
    }
}

void Frei0rInstance::Update(double time, const std::uint32_t* in, std::uint32_t* out)
{
    if (!in || !out) {
        return;
    }
    const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    const std::uint32_t* source = in;
    try {
        if (!resolved_) {
            Resolve();
        }
        Report(problem_);
        if (!problem_.empty()) {
            PassThrough(in, out);
            return;
        }

        double seconds = time / units_per_second_;
        if (!std::isfinite(seconds) || std::fabs(seconds) > MAX_SECONDS) {
            if (!time_reported_) {
                char given[32];
                std::snprintf(given, sizeof(given), "%g", time);
                WriteLine(std::string("the host's time ") + given +
                          " is not a frame time (not finite, or beyond 1e9 s); such frames render at 0 s");
                time_reported_ = true;
            }
            seconds = 0.0;
        }

        // The renderer reads the input while it writes rows: a host that renders in place gets a copy read.
        const auto begin = reinterpret_cast<std::uintptr_t>(in);
        const auto target = reinterpret_cast<std::uintptr_t>(out);
        if (begin < target + pixels * 4 && target < begin + pixels * 4) {
            input_copy_.assign(in, in + pixels);
            source = input_copy_.data();
        }
        WarpFrameRequest frame;
        frame.controls = controls_;
        frame.time = seconds;
        frame.layer_width = width_;
        frame.layer_height = height_;
        const std::ptrdiff_t row_bytes = static_cast<std::ptrdiff_t>(width_) * 4;
        frame.worlds.input = WorldView{const_cast<std::uint32_t*>(source), width_, height_, row_bytes,
                                       WorldDepth::Bits8, ChannelOrder::RGBA};
        frame.worlds.output = WorldView{out, width_, height_, row_bytes, WorldDepth::Bits8, ChannelOrder::RGBA};
        RenderWarpFrame(frame);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Quaverflux: out of memory for a %d x %d frame; it passes through unchanged\n",
                     static_cast<int>(width_), static_cast<int>(height_));
        PassThrough(source, out);
    } catch (...) {
        std::fprintf(stderr, "Quaverflux: the frame could not be rendered; it passes through unchanged\n");
        PassThrough(source, out);
    }
}
