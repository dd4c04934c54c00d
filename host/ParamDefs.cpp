// Parameter set-up from the table.
#include "ParamDefs.h"

#include "ParamValues.h"

#include <cstring>

namespace {

PF_ParamType TypeOf(ParamKind kind)
{
    switch (kind) {
    case ParamKind::Layer:
        return PF_Param_LAYER;
    case ParamKind::Custom:
        return PF_Param_NO_DATA;
    case ParamKind::FloatSlider:
        return PF_Param_FLOAT_SLIDER;
    case ParamKind::Slider:
        return PF_Param_SLIDER;
    case ParamKind::Angle:
        return PF_Param_ANGLE;
    case ParamKind::Popup:
        return PF_Param_POPUP;
    case ParamKind::Checkbox:
        return PF_Param_CHECKBOX;
    case ParamKind::GroupStart:
        return PF_Param_GROUP_START;
    case ParamKind::GroupEnd:
        return PF_Param_GROUP_END;
    }
    return PF_Param_NO_DATA;
}

PF_ParamFlags FlagsOf(const ParamSpec& row)
{
    return (row.supervised ? PF_ParamFlag_SUPERVISE : 0) | (row.fixed_in_time ? PF_ParamFlag_CANNOT_TIME_VARY : 0) |
           (row.start_collapsed ? PF_ParamFlag_START_COLLAPSED : 0);
}

PF_ParamUIFlags UiFlagsOf(const ParamSpec& row)
{
    return (row.kind == ParamKind::Custom ? PF_PUI_CONTROL : 0) | (row.starts_disabled ? PF_PUI_DISABLED : 0);
}

}   // namespace

void FillParamDef(const ParamSpec& row, PF_ParamDef& def)
{
    std::memset(&def, 0, sizeof def);
    def.param_type = TypeOf(row.kind);
    std::strncpy(def.name, row.name, sizeof def.name - 1);
    def.name[sizeof def.name - 1] = '\0';
    def.flags = FlagsOf(row);
    def.ui_flags = UiFlagsOf(row);
    def.ui_width = static_cast<A_short>(row.ui_width);
    def.ui_height = static_cast<A_short>(row.ui_height);
    def.uu.id = row.disk_id;

    switch (row.kind) {
    case ParamKind::FloatSlider: {
        PF_FloatSliderDef& fs = def.u.fs_d;
        fs.value = row.dephault;
        fs.valid_min = static_cast<PF_FpShort>(row.valid_min);
        fs.valid_max = static_cast<PF_FpShort>(row.valid_max);
        fs.slider_min = static_cast<PF_FpShort>(row.slider_min);
        fs.slider_max = static_cast<PF_FpShort>(row.slider_max);
        fs.dephault = static_cast<PF_FpShort>(row.dephault);
        fs.precision = static_cast<A_short>(row.precision);
        fs.display_flags = static_cast<PF_ValueDisplayFlags>(row.percent ? PF_ValueDisplayFlag_PERCENT : 0);
        fs.curve_tolerance = FLOAT_SLIDER_CURVE_TOLERANCE;
        break;
    }
    case ParamKind::Slider: {
        PF_SliderDef& sd = def.u.sd;
        sd.value = sd.dephault = static_cast<PF_ParamValue>(row.dephault);
        sd.valid_min = static_cast<PF_ParamValue>(row.valid_min);
        sd.valid_max = static_cast<PF_ParamValue>(row.valid_max);
        sd.slider_min = static_cast<PF_ParamValue>(row.slider_min);
        sd.slider_max = static_cast<PF_ParamValue>(row.slider_max);
        break;
    }
    case ParamKind::Angle:
        def.u.ad.value = def.u.ad.dephault = AngleToFixed(row.dephault);
        break;
    case ParamKind::Popup:
        def.u.pd.value = static_cast<PF_ParamValue>(row.dephault);
        def.u.pd.dephault = static_cast<A_short>(row.dephault);
        def.u.pd.num_choices = static_cast<A_short>(row.num_choices);
        def.u.pd.u.namesptr = row.choices;
        break;
    case ParamKind::Checkbox:
        def.u.bd.value = static_cast<PF_ParamValue>(row.dephault);
        def.u.bd.dephault = static_cast<PF_Boolean>(row.dephault);
        def.u.bd.u.nameptr = row.choices;
        break;
    case ParamKind::Layer:
        def.u.ld.dephault = PF_LayerDefault_NONE;   // the table's 0
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
