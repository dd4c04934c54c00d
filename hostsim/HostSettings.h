// What the host puts into every in_data: which application it is, the layer's size, the time and the
// downsample. Every part that sends a command or answers a callback reads the same record.
#pragma once

#include "AE_Effect.h"

struct HostSettings {
    static constexpr A_long APPL_ID_AFTER_EFFECTS = 0x46585443;   // 'FXTC'
    static constexpr A_long APPL_ID_PREMIERE = 0x50724D72;        // 'PrMr'

    A_long appl_id = APPL_ID_AFTER_EFFECTS;
    A_long width = 1920, height = 1080;   // layer size, full resolution
    A_long current_time = 0;
    A_long time_step = 1;
    A_long total_time = 300;
    A_u_long time_scale = 30;
    PF_RationalScale downsample_x{1, 1}, downsample_y{1, 1};
    A_long output_origin_x = 0, output_origin_y = 0;
};
