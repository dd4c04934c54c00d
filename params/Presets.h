// The Preset menu's fourteen looks: each writes the same thirteen controls. Popup value 1 is "Custom"
// (no record); value v >= 2 is PRESET_TABLE[v - 2].
#pragma once

#include "ParamIndex.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

struct PresetLook {
    const char* name;
    double wave_size;            // pixels at a 1920 x 1080 layer
    double strength;
    double fold;                 // percent
    double drip;                 // percent
    double direction;            // degrees
    std::int32_t waves;
    std::int32_t waveform;       // 0-based: Sine, Liquid, Drip, Triangle, Square, Sawtooth
    double size_variation;       // percent
    double strength_variation;   // percent
    double direction_spread;     // degrees
    std::int32_t iterations;
    std::int32_t seed;
    double color_split;          // percent
};

inline constexpr int PRESET_CUSTOM = 1;
inline constexpr int PRESET_FIRST_LOOK = 2;
inline constexpr int PRESET_LOOK_COUNT = 14;

inline constexpr PresetLook PRESET_TABLE[PRESET_LOOK_COUNT] = {
    {"Melting Portrait", 440, 2, 100, 50, 0, 5, 0, 80, 60, 20, 1, 2, 0},
    {"Liquid Eyes", 440, 1.5, 100, 50, 0, 5, 1, 80, 60, 20, 1, 2, 0},
    {"Deep Swirl", 440, 1.2, 100, 50, 0, 5, 0, 80, 60, 20, 2, 2, 0},
    {"Mirror Folds", 360, 2.5, 150, 0, 0, 4, 0, 60, 40, 10, 1, 4, 0},
    {"Dripping Paint", 300, 1.6, 40, 140, 0, 7, 2, 90, 50, 25, 1, 8, 0},
    {"Wood Grain", 260, 3, 120, 80, 0, 8, 0, 100, 50, 60, 1, 5, 0},
    {"Psychedelic", 380, 1, 100, 100, 30, 7, 1, 100, 60, 100, 2, 11, 8},
    {"Heat Haze", 90, 0.35, 60, 100, 90, 8, 0, 100, 50, 60, 1, 3, 0},
    {"Silk", 700, 1.1, 70, 100, 0, 6, 0, 70, 40, 180, 1, 7, 0},
    {"Zigzag", 300, 1.5, 60, 100, 0, 4, 3, 50, 30, 10, 1, 3, 0},
    {"Glitch Blocks", 260, 1.2, 100, 60, 0, 6, 4, 80, 60, 0, 1, 9, 10},
    {"Tidal Smear", 500, 1.8, 120, 60, 0, 5, 5, 60, 40, 15, 1, 6, 0},
    {"Kaleido Melt", 420, 1.6, 160, 30, 0, 6, 0, 70, 40, 60, 2, 12, 0},
    {"Sideways Melt", 440, 2, 100, 50, 90, 5, 0, 80, 60, 20, 1, 2, 0},
};

// The controls a look writes, in the order it writes them. Touching any of them by hand turns the
// menu to "Custom".
inline constexpr int PRESET_CONTROLLED_PARAMS[13] = {
    PARAM_WAVE_SIZE, PARAM_STRENGTH, PARAM_FOLD, PARAM_DRIP, PARAM_DIRECTION,
    PARAM_WAVES, PARAM_WAVEFORM, PARAM_SIZE_VARIATION, PARAM_STRENGTH_VARIATION,
    PARAM_DIRECTION_SPREAD, PARAM_ITERATIONS, PARAM_RANDOM_SEED, PARAM_COLOR_SPLIT};

constexpr bool IsPresetControlled(int index)
{
    for (int controlled : PRESET_CONTROLLED_PARAMS) {
        if (controlled == index) {
            return true;
        }
    }
    return false;
}

namespace preset_detail {
inline constexpr std::string_view CUSTOM_CHOICE = "Custom";

constexpr std::size_t ChoicesLength()
{
    std::size_t n = CUSTOM_CHOICE.size();
    for (const PresetLook& look : PRESET_TABLE) {
        n += 1 + std::string_view(look.name).size();
    }
    return n + 1;   // terminating zero
}

constexpr std::array<char, ChoicesLength()> BuildChoices()
{
    std::array<char, ChoicesLength()> text{};
    std::size_t at = 0;
    for (char c : CUSTOM_CHOICE) {
        text[at++] = c;
    }
    for (const PresetLook& look : PRESET_TABLE) {
        text[at++] = '|';
        for (char c : std::string_view(look.name)) {
            text[at++] = c;
        }
    }
    return text;
}
}   // namespace preset_detail

// The Preset popup's choice string, built from the looks' names so the menu and the table never differ.
inline constexpr std::array<char, preset_detail::ChoicesLength()> PRESET_CHOICES = preset_detail::BuildChoices();
