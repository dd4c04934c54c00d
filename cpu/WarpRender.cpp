// One frame on the CPU: the frame record is made, and every output row is shaded on the band renderer's
// threads straight from the host's input and map worlds into the output world, in their own formats.
#include "WarpRender.h"

#include "FrameBuilder.h"
#include "LayerScale.h"
#include "PixelConversion.h"
#include "ShadeRowVector.h"

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

// Where a world lies. The pitch is that of a packed work copy of the world; reading the world in place,
// the row shaders take its own row bytes instead.
BufferPlacement PlacementOf(const WorldView& world)
{
    return BufferPlacement{world.origin_x, world.origin_y, world.width, world.height, world.width};
}

// The world as the row shaders are to read it: in place, unless the process shades with a vector row
// shader that cannot address this world (rows that are not a whole number of pixels apart, or pixel
// offsets past 2^30) but can address a packed float copy of it. Then the copy, made here: the vector
// shaders render several times faster than the scalar kernel that would otherwise read the world in
// place (qf_bench: AVX2 about 11 times, SSE2 about 4 times the scalar rate).
WorldView ReadableWorld(const WorldView& world, std::vector<float>& copy)
{
    if (ProcessShadeRow() == ShadeRowScalar || VectorWorldAddressable(world, world.width, world.height)) {
        return world;
    }
    WorldView packed = WorkBufferWorld(nullptr, world.width, world.height, world.width);
    if (!VectorWorldAddressable(packed, world.width, world.height)) {
        return world;
    }
    WorldToWorkBuffer(world, copy);
    packed.data = copy.data();
    packed.origin_x = world.origin_x;
    packed.origin_y = world.origin_y;
    return packed;
}

// The road the renderer once took: float work copies of the whole input and map, and every output row
// shaded into floats and then converted into the output world.
bool RenderThroughWorkCopies(const QF_Frame& frame, const FrameWorlds& worlds, const AbortCallback& abort)
{
    std::vector<float> input_buffer;
    WorldToWorkBuffer(worlds.input, input_buffer);
    std::vector<float> map_buffer;
    if (frame.has_map) {
        WorldToWorkBuffer(worlds.map, map_buffer);
    }
    const WorldView output = worlds.output;
    const RowCallback write_row = [output](std::int32_t row, const float* pixels) {
        WorkRowToWorld(output, row, pixels);
    };
    return RenderBandCPU(frame, input_buffer.data(), frame.has_map ? map_buffer.data() : nullptr, write_row, 0,
                         abort);
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
                            const FrameWorlds& worlds, const AbortCallback& abort, WorldReading reading)
{
    if (!HasPixels(worlds.output)) {
        return RenderStatus::Done;
    }
    // The kernel reads the input at a held position even where it warps nothing, so it must never see an
    // empty one.
    if (!HasPixels(worlds.input)) {
        ClearWorld(worlds.output);
        return RenderStatus::Done;
    }
    FrameLayout layout;
    layout.input = PlacementOf(worlds.input);
    layout.layer = worlds.input_layer;
    layout.output = PlacementOf(worlds.output);
    if (HasPixels(worlds.map)) {
        layout.map = PlacementOf(worlds.map);
        layout.map_layer = worlds.map_layer;
    }
    const QF_Frame frame = MakeFrame(settings, time, dsx, dsy, layout);

    bool finished;
    if (reading == WorldReading::WorkCopy) {
        finished = RenderThroughWorkCopies(frame, worlds, abort);
    } else {
        std::vector<float> input_copy;
        std::vector<float> map_copy;
        ShadeWorlds in_place;
        in_place.input = ReadableWorld(worlds.input, input_copy);
        if (frame.has_map) {
            in_place.map = ReadableWorld(worlds.map, map_copy);
        }
        in_place.output = worlds.output;
        finished = RenderBandCPU(frame, in_place, 0, abort);
    }
    return finished ? RenderStatus::Done : RenderStatus::Aborted;
}
