// PF_Cmd_QUERY_DYNAMIC_FLAGS: the output varies with time when a speed control is non-zero at one of six
// sample times. Speeds that are non-zero only between the samples go unseen.
#include "CommandHandlers.h"

#include "ParamIndex.h"

namespace {

constexpr int SPEED_PARAMS[3] = {PARAM_EVOLUTION_SPEED, PARAM_DRIFT_SPEED_X, PARAM_DRIFT_SPEED_Y};

// True when the speed at `time` is not exactly zero (NaN included), or could not be read.
bool SpeedMayBeNonZero(const PF_InData& in_data, int index, A_long time)
{
    if (!in_data.inter.checkout_param) {
        return true;
    }
    PF_ParamDef def{};
    if (in_data.inter.checkout_param(in_data.effect_ref, index, time, in_data.time_step, in_data.time_scale, &def)) {
        return true;   // a failed checkout is not checked in
    }
    const double speed = def.u.fs_d.value;
    if (in_data.inter.checkin_param) {
        in_data.inter.checkin_param(in_data.effect_ref, &def);
    }
    return speed != 0.0;
}

}   // namespace

PF_Err QueryDynamicFlags(const PF_InData* in_data, PF_OutData* out_data)
{
    if (!in_data || !out_data) {
        return PF_Err_NONE;
    }
    // The fifth time is three rounded quarters, not three quarters rounded.
    const A_long quarter = in_data->total_time / 4;
    const A_long sample_times[6] = {in_data->current_time, 0, quarter, in_data->total_time / 2, 3 * quarter,
                                    in_data->total_time};
    for (const A_long time : sample_times) {
        for (const int index : SPEED_PARAMS) {
            if (SpeedMayBeNonZero(*in_data, index, time)) {
                out_data->out_flags |= PF_OutFlag_NON_PARAM_VARY;
                return PF_Err_NONE;
            }
        }
    }
    out_data->out_flags &= ~PF_OutFlag_NON_PARAM_VARY;
    return PF_Err_NONE;
}
