// Wave generation: a seeded random stream gives every wave its size, strength, direction, start phases and
// evolution multiplier; BuildFrame turns them and the frame time into the wave records and render switches
// of QF_Frame. All in double precision, rounded to float only when stored.
#pragma once

#include "WarpSettings.h"
#include "WarpTypes.h"

#include <cstdint>
#include <vector>

// Used as these exact doubles so every build gives the same wave records.
inline constexpr double TWO_PI = 6.283185307179586;
inline constexpr double PI = 3.141592653589793;
inline constexpr double LN_4 = 1.3862943611198906;
inline constexpr double INV_2_POW_53 = 1.1102230246251565e-16;

inline constexpr std::int32_t EVOLUTION_MULTIPLIERS[4] = {1, 2, -1, -2};
// aa_cap of the frame record for antialiasing "Off", "Low", "High", "Best".
inline constexpr std::int32_t AA_CAP_BY_LEVEL[4] = {1, 2, 4, 8};

// A SplitMix64 mix whose increment is applied to the previous output rather than to a separate counter:
// each output is also the new state. Saved projects depend on this exact sequence.
class RandomStream {
public:
    // Starts from the seed and takes the first step, whose output is not a draw.
    explicit RandomStream(std::uint32_t seed);

    std::uint64_t Next();
    // A draw in [0, 1) from the top 53 bits of the next output.
    double Uniform();
    std::uint64_t State() const { return state_; }

private:
    std::uint64_t state_;
};

struct WaveDraft {
    double wavelength;    // full-resolution layer pixels
    double wave_number;   // 2 pi / wavelength, radians per pixel
    double amplitude;     // pixels, before the fold and drip factors
    double cos_dir;       // direction of the wave vector
    double sin_dir;
    double fold_draw;     // [0, 1): fold start phase in turns
    double drip_draw;     // [0, 1): drip start phase in turns
    std::int32_t evo_mult;   // one of EVOLUTION_MULTIPLIERS
};

// The first `count` waves of the pattern. Wave i depends only on the seed, i and the settings, so adding
// waves keeps the earlier ones bit-identical.
std::vector<WaveDraft> GenerateWaves(const SanitizedSettings& settings, int count);

// Writes the wave records and render switches for the frame at `time` seconds (non-finite counts as 0).
// The caller zeroes the frame first and fills the geometry afterwards (MakeFrame does all of it).
void BuildFrame(const SanitizedSettings& settings, double time, QF_Frame& frame);
