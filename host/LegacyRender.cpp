// PF_Cmd_RENDER for hosts without smart rendering: the same picture as the smart path, from the
// parameter array and the whole input layer the host hands over, in one call through the core's
// host-independent entry.
#include "CommandHandlers.h"

#include "HostValues.h"
#include "WarpRender.h"

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

// A whole layer as a world at layer position (0, 0), whatever origin the host's record carries.
WorldView WholeLayer(const PF_EffectWorld& layer)
{
    WorldView view = ViewOf(&layer, LegacyFormat(layer), PF_LRect{});
    view.origin_x = 0;
    view.origin_y = 0;
    return view;
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

    WarpFrameRequest frame;
    frame.controls = RenderValuesOf(params);
    frame.time = FrameTimeSeconds(in_data);
    frame.dsx = DownsampleFactor(in_data->downsample_x);
    frame.dsy = DownsampleFactor(in_data->downsample_y);
    frame.layer_width = in_data->width;
    frame.layer_height = in_data->height;
    // The input is the whole layer with its top-left pixel at layer (0, 0); output pixel (0, 0) is layer
    // pixel (-output_origin_x, -output_origin_y), in 64 bits: the origin may be the most negative int32,
    // whose negation does not fit.
    frame.worlds.input = WholeLayer(input_layer);
    frame.worlds.input_layer = PixelRect{0, 0, input_layer.width, input_layer.height};
    frame.worlds.output = WholeLayer(*output);
    frame.worlds.output.origin_x = Saturate(-std::int64_t{in_data->output_origin_x});
    frame.worlds.output.origin_y = Saturate(-std::int64_t{in_data->output_origin_y});
    // The map layer is stretched over the input layer.
    const PF_ParamDef* map_param = params[PARAM_MAP_LAYER];
    if (map_param && map_param->u.ld.data) {
        frame.worlds.map = WholeLayer(map_param->u.ld);
        frame.worlds.map_layer = PixelRect{0, 0, map_param->u.ld.width, map_param->u.ld.height};
    }
    return RenderWarpFrame(frame, HostAbort(*in_data)) == RenderStatus::Done ? PF_Err_NONE : PF_Interrupt_CANCEL;
}
