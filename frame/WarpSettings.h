// The settings snapshot: the control values of one frame in engineering units, brought into safe ranges
// so nothing downstream has to guard against non-finite or out-of-range values.
#pragma once

#include "AE_Effect.h"
#include "LayerScale.h"
#include "ParamIndex.h"

#include <array>
#include <cstdint>
#include <span>

struct WarpSettings {
    double amount = 0;               // fraction, 0 to 10
    double wave_size = 0;            // full-resolution pixels before scaling, 2 to 100000
    double strength = 0;             // amplitude to wavelength / (2 pi), 0 to 20
    double fold = 0;                 // fraction, 0 to 10
    double drip = 0;                 // fraction, 0 to 10
    double direction = 0;            // degrees, (-360, 360)
    std::int32_t wave_count = 0;     // 1 to QF_MAX_WAVES
    std::int32_t waveform = 0;       // QF_WAVE_*
    double size_variation = 0;       // fraction, 0 to 1
    double strength_variation = 0;   // fraction, 0 to 1
    double direction_spread = 0;     // degrees, 0 to 180
    std::int32_t iterations = 0;     // 1 to 4
    std::int32_t seed = 0;           // 0 and up
    double scale = 1.0;              // factor on sizes, offsets and drift, 0.01 to 100
    double evolution = 0;            // turns
    double evolution_speed = 0;      // turns per second
    double offset_x = 0;             // pixels (before scale)
    double offset_y = 0;
    double drift_x = 0;              // pixels per second (before scale)
    double drift_y = 0;
    bool loop = false;
    double loop_duration = 0;        // seconds, 0.01 to 100000
    std::int32_t map_channel = 0;    // QF_MAP_*
    bool invert_map = false;
    double color_split = 0;          // fraction, -1 to 1
    std::int32_t edge_mode = 0;      // QF_EDGE_*
    std::int32_t antialiasing = 0;   // 0 "Off" to 3 "Best"
    bool bicubic = false;
    double mix = 0;                  // fraction, 0 to 1
};

// One entry per parameter index; an entry is the host's definition or null when absent.
using ParamTable = std::array<const PF_ParamDef*, PARAM_COUNT>;

// The parameters the render path checks out (or, in the legacy render, takes from the host's array) before
// ReadSettings: all but the input, the header, the group starts and ends and the map layer, which is
// fetched as pixels.
bool IsRenderParam(int index);

// The table of the host's params array (PARAM_COUNT entries) with the entries that are not render
// parameters left empty. Null params gives an all-empty table.
ParamTable TableFromParams(PF_ParamDef* const* params);

// Reads every field from its parameter (absent entries read as 0, `scale` as 1.0) and sanitises the
// result. layer_scale is used only when Scale With Layer is on.
WarpSettings ReadSettings(std::span<const PF_ParamDef* const, PARAM_COUNT> table, double layer_scale);

// Replaces non-finite doubles by their fallbacks and clamps every field to its range; idempotent.
WarpSettings SanitizeSettings(const WarpSettings& settings);
