// The host's records in the core's terms.
#include "HostValues.h"

#include "LayerScale.h"
#include "ParamTable.h"
#include "WarpSettings.h"

// The table's default of a layer row is "no layer".
static_assert(PF_LayerDefault_NONE == 0);

ParamValue ValueOf(int index, const PF_ParamDef& def)
{
    switch (PARAM_TABLE[index].kind) {
    case ParamKind::FloatSlider:
        return ParamValue::Number(def.u.fs_d.value);
    case ParamKind::Slider:
        return ParamValue::Integer(def.u.sd.value);
    case ParamKind::Angle:
        return ParamValue::Integer(def.u.ad.value);
    case ParamKind::Popup:
        return ParamValue::Integer(def.u.pd.value);
    case ParamKind::Checkbox:
        return ParamValue::Integer(def.u.bd.value);
    default:
        return ParamValue{};
    }
}

void StoreValue(int index, const ParamValue& value, PF_ParamDef& def)
{
    switch (PARAM_TABLE[index].kind) {
    case ParamKind::FloatSlider:
        def.u.fs_d.value = value.number;
        break;
    case ParamKind::Slider:
        def.u.sd.value = value.integer;
        break;
    case ParamKind::Angle:
        def.u.ad.value = value.integer;
        break;
    case ParamKind::Popup:
        def.u.pd.value = value.integer;
        break;
    case ParamKind::Checkbox:
        def.u.bd.value = value.integer;
        break;
    default:
        return;
    }
    def.uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
}

ParamValues RenderValuesOf(PF_ParamDef* const* params)
{
    ParamValues values{};
    for (int index = 0; params && index < PARAM_COUNT; ++index) {
        if (IsRenderParam(index) && params[index]) {
            values[index] = ValueOf(index, *params[index]);
        }
    }
    return values;
}

double LayerScaleFactor(const PF_InData* in_data)
{
    if (!in_data) {
        return 1.0;
    }
    return LayerScaleFactor(static_cast<double>(in_data->width), static_cast<double>(in_data->height));
}

double FrameTimeSeconds(const PF_InData* in_data)
{
    return in_data ? FrameTimeSeconds(in_data->current_time, in_data->time_scale) : 0.0;
}

WorldDepth DepthOf(PF_PixelFormat format)
{
    return format == PF_PixelFormat_ARGB128 ? WorldDepth::Float
           : format == PF_PixelFormat_ARGB64 ? WorldDepth::Bits16
                                             : WorldDepth::Bits8;
}

void WorldPosition(const PF_EffectWorld* world, const PF_LRect& rect, std::int32_t& x0, std::int32_t& y0)
{
    if (world && (world->origin_x != 0 || world->origin_y != 0)) {
        x0 = world->origin_x;
        y0 = world->origin_y;
    } else {
        x0 = rect.left;
        y0 = rect.top;
    }
}

WorldView ViewOf(const PF_EffectWorld* world, PF_PixelFormat format, const PF_LRect& rect)
{
    WorldView view;
    WorldPosition(world, rect, view.origin_x, view.origin_y);
    if (world) {
        view.data = world->data;
        view.width = world->width;
        view.height = world->height;
        view.row_bytes = world->rowbytes;
        view.depth = DepthOf(format);
    }
    return view;
}

bool HasPixels(const PF_EffectWorld* world)
{
    return world && world->data && world->width > 0 && world->height > 0;
}

AbortCallback HostAbort(const PF_InData& in_data)
{
    if (!in_data.inter.abort) {
        return AbortCallback();
    }
    return [&in_data] { return in_data.inter.abort(in_data.effect_ref) != PF_Err_NONE; };
}
