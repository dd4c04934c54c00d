// PF_Cmd_SMART_PRE_RENDER and PF_Cmd_SMART_RENDER on the CPU: the pre-render reads the controls once,
// asks for the input the warp can reach and leaves a PreRenderData for the render, which checks out the
// pixels and renders them through the core's RenderFrameCPU.
#include "CommandHandlers.h"

#include "AE_EffectCBSuites.h"
#include "GpuBackoff.h"
#include "HostValues.h"
#include "PreRenderData.h"
#include "SuiteScope.h"
#include "WarpRender.h"

#include <array>
#include <memory>
#include <new>

namespace {

// The render parameters checked out at the frame time. Whatever was checked out is checked in again,
// on every way out.
class CheckedOutParams {
public:
    explicit CheckedOutParams(const PF_InData& in_data) : in_data_(in_data) {}
    ~CheckedOutParams() { CheckIn(); }
    CheckedOutParams(const CheckedOutParams&) = delete;
    CheckedOutParams& operator=(const CheckedOutParams&) = delete;

    // Checks the render parameters out in ascending order and stops at the first failure, whose code it
    // returns. A host whose PF_Cmd_PARAMS_SETUP failed part-way says in num_params how many it holds; the
    // ones it lacks are absent, as on the legacy road. A count of zero or less says nothing: ask for all.
    PF_Err CheckOut()
    {
        if (!in_data_.inter.checkout_param) {
            return PF_Err_INVALID_CALLBACK;
        }
        const int held = in_data_.num_params > 0 && in_data_.num_params < PARAM_COUNT ? in_data_.num_params
                                                                                      : PARAM_COUNT;
        for (int index = 0; index < held; ++index) {
            if (!IsRenderParam(index)) {
                continue;
            }
            const PF_Err err = in_data_.inter.checkout_param(in_data_.effect_ref, index, in_data_.current_time,
                                                             in_data_.time_step, in_data_.time_scale,
                                                             &defs_[index]);
            if (err != PF_Err_NONE) {
                return err;   // a failed checkout holds nothing to check in
            }
            checked_out_[index] = true;
        }
        return PF_Err_NONE;
    }

    // The values of the parameters checked out; every other control reads as zeros (absent).
    ParamValues Values() const
    {
        ParamValues values{};
        for (int index = 0; index < PARAM_COUNT; ++index) {
            if (checked_out_[index]) {
                values[index] = ValueOf(index, defs_[index]);
            }
        }
        return values;
    }

    // Checks in whatever is checked out; again is harmless.
    void CheckIn()
    {
        for (int index = 0; index < PARAM_COUNT; ++index) {
            if (checked_out_[index] && in_data_.inter.checkin_param) {
                in_data_.inter.checkin_param(in_data_.effect_ref, &defs_[index]);
            }
            checked_out_[index] = false;
        }
    }

private:
    const PF_InData& in_data_;
    std::array<PF_ParamDef, PARAM_COUNT> defs_{};
    std::array<bool, PARAM_COUNT> checked_out_{};
};

void DeletePreRenderData(void* data)
{
    delete static_cast<PreRenderData*>(data);
}

// The host's output request with another rectangle, for one of the effect's own layer checkouts.
PF_RenderRequest LayerRequest(const PF_RenderRequest& output_request, const PF_LRect& rect)
{
    PF_RenderRequest request = output_request;
    request.rect = rect;
    request.preserve_rgb_of_zero_alpha = false;
    return request;
}

}   // namespace

PF_Err SmartPreRender(const PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra)
{
    (void)out_data;
    if (!in_data || !extra || !extra->input || !extra->output) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    if (!extra->cb || !extra->cb->checkout_layer) {
        return PF_Err_INVALID_CALLBACK;
    }
    // Owned here until the host takes it at the end; every early return frees it.
    std::unique_ptr<PreRenderData> data(new (std::nothrow) PreRenderData());
    if (!data) {
        return PF_Err_OUT_OF_MEMORY;
    }
    CheckedOutParams params(*in_data);
    if (const PF_Err err = params.CheckOut()) {
        return err;
    }
    const SanitizedSettings settings = ReadSettings(params.Values(), LayerScaleFactor(in_data));
    params.CheckIn();
    data->settings = settings.values();
    data->time = FrameTimeSeconds(in_data);
    data->dsx = DownsampleFactor(in_data->downsample_x);
    data->dsy = DownsampleFactor(in_data->downsample_y);

    const PF_RenderRequest& output_request = extra->input->output_request;
    const PixelRect input_region =
        InputRegionFor(settings, data->dsx, data->dsy, ToPixelRect(output_request.rect));
    const PF_RenderRequest input_request = LayerRequest(output_request, ToLRect(input_region));
    PF_CheckoutResult input{};
    if (const PF_Err err = extra->cb->checkout_layer(in_data->effect_ref, PARAM_INPUT, 0, &input_request,
                                                     in_data->current_time, in_data->time_step,
                                                     in_data->time_scale, &input)) {
        return err;
    }
    SetInputCheckout(*data, output_request.rect, input);

    // The strength map is stretched over the layer, so all of it may be read. Without it the frame
    // renders unmodulated.
    const PF_RenderRequest map_request = LayerRequest(output_request, ToLRect(WHOLE_LAYER_RECT));
    PF_CheckoutResult map{};
    if (extra->cb->checkout_layer(in_data->effect_ref, PARAM_MAP_LAYER, 1, &map_request, in_data->current_time,
                                  in_data->time_step, in_data->time_scale, &map) == PF_Err_NONE) {
        SetMapCheckout(*data, map);
    }

    PF_PreRenderOutput& output = *extra->output;
    output.result_rect = data->output_rect;
    output.max_result_rect = data->input_max_rect;
    output.solid = false;
    const PF_GPU_Framework gpu = extra->input->what_gpu;
    if ((gpu == PF_GPU_Framework_OPENCL || gpu == PF_GPU_Framework_CUDA) && ProcessGpuBackoff().OfferAllowed()) {
        output.flags |= PF_RenderOutputFlag_GPU_RENDER_POSSIBLE;
    }
    output.pre_render_data = data.release();
    output.delete_pre_render_data_func = DeletePreRenderData;
    return PF_Err_NONE;
}

PF_Err SmartRenderCPU(const PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra)
{
    (void)out_data;
    if (!in_data || !extra || !extra->input || !extra->input->pre_render_data) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    const PF_SmartRenderCallbacks* cb = extra->cb;
    if (!cb || !cb->checkout_layer_pixels || !cb->checkout_output) {
        return PF_Err_INVALID_CALLBACK;
    }
    const PreRenderData& data = *static_cast<const PreRenderData*>(extra->input->pre_render_data);

    PF_EffectWorld* input = nullptr;
    if (const PF_Err err = cb->checkout_layer_pixels(in_data->effect_ref, 0, &input)) {
        return err;
    }
    PF_EffectWorld* output = nullptr;
    if (const PF_Err err = cb->checkout_output(in_data->effect_ref, &output)) {
        return err;
    }
    // Nothing to draw into. A world without pixel data counts as empty: writing it would crash.
    if (!output || !output->data || output->width < 1 || output->height < 1) {
        return PF_Err_NONE;
    }
    PF_EffectWorld* map = nullptr;
    if (data.has_map && cb->checkout_layer_pixels(in_data->effect_ref, 1, &map) != PF_Err_NONE) {
        map = nullptr;
    }

    // A host that reports no formats gets 8-bit treatment; the queries' own results are not consulted,
    // so a failed query leaves the format as it was.
    PF_PixelFormat output_format = PF_PixelFormat_ARGB32;
    PF_PixelFormat input_format = PF_PixelFormat_ARGB32;
    PF_PixelFormat map_format = PF_PixelFormat_ARGB32;
    const SuiteScope<PF_WorldSuite2> world_suite(in_data, kPFWorldSuite, kPFWorldSuiteVersion2);
    if (world_suite && world_suite->PF_GetPixelFormat) {
        world_suite->PF_GetPixelFormat(output, &output_format);
        if (input) {
            world_suite->PF_GetPixelFormat(input, &input_format);
        }
        if (map) {
            world_suite->PF_GetPixelFormat(map, &map_format);
        }
    }

    FrameWorlds worlds;
    worlds.input = ViewOf(input, input_format, data.input_rect);
    worlds.input_layer = ToPixelRect(data.input_max_rect);
    worlds.output = ViewOf(output, output_format, data.output_rect);
    worlds.map = ViewOf(map, map_format, data.map_rect);
    worlds.map_layer = ToPixelRect(data.map_max_rect);
    const RenderStatus status =
        RenderFrameCPU(SanitizedSettings(data.settings), data.time, data.dsx, data.dsy, worlds, HostAbort(*in_data));
    return status == RenderStatus::Done ? PF_Err_NONE : PF_Interrupt_CANCEL;
}
