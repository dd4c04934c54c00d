// The GPU commands: device set-up and set-down, which hand the host a GpuDeviceData and take it back, and
// PF_Cmd_SMART_RENDER_GPU, which renders the pre-rendered frame into the host's GPU worlds through the
// GPU renderer (gpu/GpuRender.h).
#include "CommandHandlers.h"

#include "AE_EffectCBSuites.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectGPUSuites.h"
#include "FrameBuilder.h"
#include "GpuDevice.h"
#include "GpuRender.h"
#include "HostValues.h"
#include "LogFile.h"
#include "PreRenderData.h"
#include "SuiteScope.h"

#include <string>

namespace {

GpuBuffer BufferOf(const PF_EffectWorld* world, void* device)
{
    GpuBuffer buffer;
    if (world) {
        buffer.device = device;
        buffer.width = world->width;
        buffer.height = world->height;
        buffer.row_bytes = world->rowbytes;
    }
    return buffer;
}

// Where a GPU world lies for the frame record: its position, size and pitch.
BufferPlacement PlacementOf(const PF_EffectWorld* world, const PF_LRect& rect)
{
    BufferPlacement placement;
    WorldPosition(world, rect, placement.x0, placement.y0);
    if (world) {
        placement.width = world->width;
        placement.height = world->height;
        placement.pitch = GpuPitch(BufferOf(world, nullptr));
    }
    return placement;
}

PF_Err RenderGpuWorlds(PF_InData* in_data, PF_SmartRenderExtra* extra, const PreRenderData& pre,
                       PF_EffectWorld* input, PF_EffectWorld* output, PF_EffectWorld* map_world)
{
    const SuiteScope<PF_GPUDeviceSuite1> gpu_suite(in_data, kPFGPUDeviceSuite, kPFGPUDeviceSuiteVersion1);
    const SuiteScope<PF_WorldSuite2> world_suite(in_data, kPFWorldSuite, kPFWorldSuiteVersion2);
    // The host hands its record back as a constant pointer; the launch lock inside it still changes.
    auto* record = static_cast<GpuDeviceData*>(const_cast<void*>(extra->input->gpu_data));
    if (!gpu_suite || !record) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    if (!world_suite || !world_suite->PF_GetPixelFormat) {
        return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
    PF_PixelFormat format = PF_PixelFormat_INVALID;
    (void)world_suite->PF_GetPixelFormat(output, &format);
    if (format != PF_PixelFormat_GPU_BGRA128) {
        return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
    if (!gpu_suite->GetDeviceInfo || !gpu_suite->GetGPUWorldData) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    const PF_ProgPtr ref = in_data->effect_ref;
    PF_GPUDeviceInfo info{};
    if (const PF_Err err = gpu_suite->GetDeviceInfo(ref, extra->input->device_index, &info)) {
        return err;
    }
    void* dst = nullptr;
    if (const PF_Err err = gpu_suite->GetGPUWorldData(ref, output, &dst)) {
        return err;
    }
    void* src = nullptr;
    if (input) {
        if (const PF_Err err = gpu_suite->GetGPUWorldData(ref, input, &src)) {
            return err;
        }
    }
    void* map = nullptr;
    if (map_world && (!RowsHoldWidth(BufferOf(map_world, nullptr)) ||
                      gpu_suite->GetGPUWorldData(ref, map_world, &map) != PF_Err_NONE)) {
        map = nullptr;   // the frame goes on without the strength map
    }
    const GpuBuffer input_buffer = BufferOf(input, src);
    const GpuBuffer output_buffer = BufferOf(output, dst);
    const GpuBuffer map_buffer = BufferOf(map ? map_world : nullptr, map);
    if (!RowsHoldWidth(output_buffer) || (input && !RowsHoldWidth(input_buffer))) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }

    FrameLayout layout;
    layout.input = PlacementOf(input, pre.input_rect);
    layout.layer = ToPixelRect(pre.input_max_rect);
    layout.output = PlacementOf(output, pre.output_rect);
    if (map) {
        layout.map = PlacementOf(map_world, pre.map_rect);
        layout.map_layer = ToPixelRect(pre.map_max_rect);
    }
    const QF_Frame frame = MakeFrame(SanitizedSettings(pre.settings), pre.time, pre.dsx, pre.dsy, layout);

    // An empty input world has no pixel for the kernel to read: treated as no input, like the CPU render.
    if (!input || !src || input->width < 1 || input->height < 1) {
        ClearGpuOutput(*record, info.command_queuePV, output_buffer);
        return PF_Err_NONE;
    }
    const GpuFrameResult result =
        RenderGpuFrame(*record, info.command_queuePV, input_buffer, output_buffer, map_buffer, frame);
    return result == GpuFrameResult::CopyFailed ? PF_Err_INTERNAL_STRUCT_DAMAGED : PF_Err_NONE;
}

}   // namespace

PF_Err GpuDeviceSetup(const PF_InData* in_data, PF_OutData* out_data, PF_GPUDeviceSetupExtra* extra)
{
    if (out_data) {
        out_data->out_flags2 = 0;
    }
    if (!in_data) {
        return PF_Err_NONE;
    }
    const SuiteScope<PF_GPUDeviceSuite1> gpu_suite(in_data, kPFGPUDeviceSuite, kPFGPUDeviceSuiteVersion1);
    if (!gpu_suite || !extra || !extra->input) {
        return PF_Err_NONE;
    }
    PF_GPUDeviceInfo info{};
    if (!gpu_suite->GetDeviceInfo ||
        gpu_suite->GetDeviceInfo(in_data->effect_ref, extra->input->device_index, &info) != PF_Err_NONE) {
        return PF_Err_NONE;
    }
    GpuFramework framework;
    if (extra->input->what_gpu == PF_GPU_Framework_OPENCL) {
        framework = GpuFramework::OpenCL;
    } else if (extra->input->what_gpu == PF_GPU_Framework_CUDA) {
        framework = GpuFramework::Cuda;
    } else {
        return PF_Err_NONE;   // Metal, DirectX, none: no record, the host renders on the CPU
    }

    std::string error;
    GpuDeviceData* record = SetupGpuDevice(framework, info.contextPV, info.devicePV, &error);
    if (record && extra->output) {
        extra->output->gpu_data = record;
        if (out_data) {
            out_data->out_flags2 = PF_OutFlag2_SUPPORTS_GPU_RENDER_F32;
        }
    } else if (record) {
        DestroyGpuDevice(record);   // nowhere to hand it
    } else {
        LogMessage("GPU setup failed (%s): %s", framework == GpuFramework::OpenCL ? "OpenCL" : "CUDA",
                   error.c_str());
    }
    return PF_Err_NONE;
}

PF_Err GpuDeviceSetdown(PF_GPUDeviceSetdownExtra* extra)
{
    if (extra && extra->input && extra->input->gpu_data) {
        DestroyGpuDevice(static_cast<GpuDeviceData*>(extra->input->gpu_data));
    }
    return PF_Err_NONE;
}

PF_Err SmartRenderGPU(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra)
{
    (void)out_data;
    if (!in_data || !extra || !extra->input || !extra->input->pre_render_data) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    const auto& pre = *static_cast<const PreRenderData*>(extra->input->pre_render_data);
    if (!extra->cb || !extra->cb->checkout_layer_pixels || !extra->cb->checkout_output) {
        return PF_Err_INVALID_CALLBACK;
    }
    const PF_ProgPtr ref = in_data->effect_ref;
    PF_EffectWorld* input = nullptr;
    if (const PF_Err err = extra->cb->checkout_layer_pixels(ref, 0, &input)) {
        return err;
    }
    PF_EffectWorld* output = nullptr;
    if (const PF_Err err = extra->cb->checkout_output(ref, &output)) {
        return err;
    }
    if (!output || output->width < 1 || output->height < 1) {
        return PF_Err_NONE;
    }
    PF_EffectWorld* map_world = nullptr;
    if (pre.has_map && extra->cb->checkout_layer_pixels(ref, 1, &map_world) != PF_Err_NONE) {
        map_world = nullptr;   // the frame goes on without the strength map
    }
    if (!in_data->pica_basicP) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    return RenderGpuWorlds(in_data, extra, pre, input, output, map_world);
}
