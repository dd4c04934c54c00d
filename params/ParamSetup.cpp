// Parameter set-up from the table.
#include "ParamSetup.h"

#include <cmath>
#include <cstring>

void FillParamDef(const ParamSpec& row, PF_ParamDef& def)
{
    std::memset(&def, 0, sizeof def);
    def.param_type = row.type;
    std::strncpy(def.name, row.name, sizeof def.name - 1);
    def.name[sizeof def.name - 1] = '\0';
    def.flags = row.flags;
    def.ui_flags = row.ui_flags;
    def.ui_width = static_cast<A_short>(row.ui_width);
    def.ui_height = static_cast<A_short>(row.ui_height);
    def.uu.id = row.disk_id;

    switch (row.type) {
    case PF_Param_FLOAT_SLIDER: {
        PF_FloatSliderDef& fs = def.u.fs_d;
        fs.value = row.dephault;
        fs.valid_min = static_cast<PF_FpShort>(row.valid_min);
        fs.valid_max = static_cast<PF_FpShort>(row.valid_max);
        fs.slider_min = static_cast<PF_FpShort>(row.slider_min);
        fs.slider_max = static_cast<PF_FpShort>(row.slider_max);
        fs.dephault = static_cast<PF_FpShort>(row.dephault);
        fs.precision = static_cast<A_short>(row.precision);
        fs.display_flags = static_cast<PF_ValueDisplayFlags>(row.display_flags);
        fs.curve_tolerance = FLOAT_SLIDER_CURVE_TOLERANCE;
        break;
    }
    case PF_Param_SLIDER: {
        PF_SliderDef& sd = def.u.sd;
        sd.value = sd.dephault = static_cast<PF_ParamValue>(row.dephault);
        sd.valid_min = static_cast<PF_ParamValue>(row.valid_min);
        sd.valid_max = static_cast<PF_ParamValue>(row.valid_max);
        sd.slider_min = static_cast<PF_ParamValue>(row.slider_min);
        sd.slider_max = static_cast<PF_ParamValue>(row.slider_max);
        break;
    }
    case PF_Param_ANGLE:
        def.u.ad.value = def.u.ad.dephault = static_cast<PF_Fixed>(std::lround(row.dephault * 65536.0));
        break;
    case PF_Param_POPUP:
        def.u.pd.value = static_cast<PF_ParamValue>(row.dephault);
        def.u.pd.dephault = static_cast<A_short>(row.dephault);
        def.u.pd.num_choices = static_cast<A_short>(row.num_choices);
        def.u.pd.u.namesptr = row.choices;
        break;
    case PF_Param_CHECKBOX:
        def.u.bd.value = static_cast<PF_ParamValue>(row.dephault);
        def.u.bd.dephault = static_cast<PF_Boolean>(row.dephault);
        def.u.bd.u.nameptr = row.choices;
        break;
    case PF_Param_LAYER:
        def.u.ld.dephault = static_cast<A_long>(row.dephault);
        break;
    default:   // header, group starts and ends carry no value
        break;
    }
}

PF_Err AddParams(const PF_InData* in_data)
{
    if (!in_data || !in_data->inter.add_param) {
        return PF_Err_INVALID_CALLBACK;
    }
    for (int index = PARAM_INPUT + 1; index < PARAM_COUNT; ++index) {
        PF_ParamDef def;
        FillParamDef(PARAM_TABLE[index], def);
        if (const PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def)) {
            return err;
        }
    }
    return PF_Err_NONE;
}
