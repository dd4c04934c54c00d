// One frame on the CPU: the worlds become float work buffers, the frame record is made, and every output
// row is shaded on the band renderer's threads and written back in the output's own format.
#include "WarpRender.h"

#include "FrameBuilder.h"
#include "LayerScale.h"
#include "PixelConversion.h"

#include <vector>

namespace {

// Writes transparent black into every row of the output in its own format.
void ClearWorld(const WorldView& output)
{
    const std::vector<float> row(static_cast<size_t>(output.width) * 4, 0.0f);
    for (std::int32_t y = 0; y < output.height; ++y) {
        WorkRowToWorld(output, y, row.data());
    }
}

// A packed work buffer of the world's size at the world's place.
BufferPlacement WorkBufferAt(const WorldView& world)
{
    return BufferPlacement{world.origin_x, world.origin_y, world.width, world.height, world.width};
}

}   // namespace

SanitizedSettings FrameSettings(const ParamValues& controls, std::int32_t layer_width, std::int32_t layer_height)
{
    return ReadSettings(controls, LayerScaleFactor(static_cast<double>(layer_width), static_cast<double>(layer_height)));
}

RenderStatus RenderWarpFrame(const WarpFrameRequest& frame, const AbortCallback& abort)
{
    return RenderFrameCPU(FrameSettings(frame.controls, frame.layer_width, frame.layer_height), frame.time, frame.dsx,
                          frame.dsy, frame.worlds, abort);
}

RenderStatus RenderFrameCPU(const SanitizedSettings& settings, double time, float dsx, float dsy,
                            const FrameWorlds& worlds, const AbortCallback& abort)
{
    if (!HasPixels(worlds.output)) {
        return RenderStatus::Done;
    }
    // The kernel reads the input buffer at a held position even where it warps nothing, so it must
    // never see an empty one.
    if (!HasPixels(worlds.input)) {
        ClearWorld(worlds.output);
        return RenderStatus::Done;
    }
    std::vector<float> input_buffer;
    WorldToWorkBuffer(worlds.input, input_buffer);
    std::vector<float> map_buffer;
    WorldToWorkBuffer(worlds.map, map_buffer);

    FrameLayout layout;
    layout.input = WorkBufferAt(worlds.input);
    layout.layer = worlds.input_layer;
    layout.output = WorkBufferAt(worlds.output);
    if (!map_buffer.empty()) {
        layout.map = WorkBufferAt(worlds.map);
        layout.map_layer = worlds.map_layer;
    }
    const QF_Frame frame = MakeFrame(settings, time, dsx, dsy, layout);

    const WorldView output = worlds.output;
    const RowCallback write_row = [output](std::int32_t row, const float* pixels) {
        WorkRowToWorld(output, row, pixels);
    };
    const bool finished = RenderBandCPU(frame, input_buffer.data(), frame.has_map ? map_buffer.data() : nullptr,
                                        write_row, 0, abort);
    return finished ? RenderStatus::Done : RenderStatus::Aborted;
}
