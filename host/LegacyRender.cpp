// PF_Cmd_RENDER for hosts without smart rendering: the same picture as the smart path, from the
// parameter array and the whole input layer the host hands over, in one call.
#include "CommandHandlers.h"

#include "RenderFrameCPU.h"
#include "WarpSettings.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// The legacy road knows 8 and 16 bits per channel only, told apart by the deep-colour flag.
PF_PixelFormat LegacyFormat(const PF_EffectWorld& world)
{
    return (world.world_flags & PF_WorldFlag_DEEP) ? PF_PixelFormat_ARGB64 : PF_PixelFormat_ARGB32;
}

A_long Saturate(std::int64_t v)
{
    return static_cast<A_long>(std::clamp<std::int64_t>(v, std::numeric_limits<A_long>::min(),
                                                        std::numeric_limits<A_long>::max()));
}

// A copy positioned by the record's rectangles alone.
PF_EffectWorld WithoutOrigin(const PF_EffectWorld& world)
{
    PF_EffectWorld copy = world;
    copy.origin_x = 0;
    copy.origin_y = 0;
    return copy;
}

}   // namespace

PF_Err LegacyRender(const PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output)
{
    (void)out_data;
    if (!in_data) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    if (!params || !output || !params[PARAM_INPUT] || !params[PARAM_INPUT]->u.ld.data || !HasPixels(output)) {
        return PF_Err_NONE;
    }
    const PF_EffectWorld& input_layer = params[PARAM_INPUT]->u.ld;

    PreRenderData data;
    data.settings = ReadSettings(TableFromParams(params), LayerScaleFactor(in_data));
    data.time = FrameTimeSeconds(in_data);
    data.dsx = DownsampleFactor(in_data->downsample_x);
    data.dsy = DownsampleFactor(in_data->downsample_y);
    // The input is the whole layer with its top-left pixel at layer (0, 0); output pixel (0, 0) is layer
    // pixel (-output_origin_x, -output_origin_y).
    data.input_rect = PF_LRect{0, 0, input_layer.width, input_layer.height};
    data.input_max_rect = data.input_rect;
    // In 64 bits: the origin may be the most negative int32, whose negation does not fit.
    data.output_rect = PF_LRect{Saturate(-std::int64_t{in_data->output_origin_x}),
                                Saturate(-std::int64_t{in_data->output_origin_y}),
                                Saturate(std::int64_t{output->width} - in_data->output_origin_x),
                                Saturate(std::int64_t{output->height} - in_data->output_origin_y)};

    PF_EffectWorld input_copy = WithoutOrigin(input_layer);
    PF_EffectWorld output_copy = WithoutOrigin(*output);
    PF_EffectWorld map_copy{};
    FormattedWorld map;
    const PF_ParamDef* map_param = params[PARAM_MAP_LAYER];
    if (map_param && map_param->u.ld.data) {
        map_copy = WithoutOrigin(map_param->u.ld);
        data.has_map = true;
        data.map_rect = PF_LRect{0, 0, map_copy.width, map_copy.height};
        data.map_max_rect = data.map_rect;
        map = FormattedWorld{&map_copy, LegacyFormat(map_copy)};
    }
    // The copies share the host's pixels, so rows written through output_copy land in the output.
    return RenderFrameCPU(*in_data, data, FormattedWorld{&input_copy, LegacyFormat(input_copy)},
                          FormattedWorld{&output_copy, LegacyFormat(output_copy)}, map);
}
