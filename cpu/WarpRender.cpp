// One frame on the CPU: the frame record is made, and every output row is shaded on the band renderer's
// threads straight from the host's input and map worlds into the output world, in their own formats.
#include "WarpRender.h"

#include "FrameBuilder.h"
#include "LayerScale.h"
#include "PixelConversion.h"
#include "PixelFormats.h"
#include "ShadeRowVector.h"

#include <cstdint>
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

// Whether the pixels of two worlds share any byte (the bytes from the lowest row's first pixel to the end
// of the highest row's last one).
bool SharesMemory(const WorldView& a, const WorldView& b)
{
    const auto span = [](const WorldView& w, std::uintptr_t& lo, std::uintptr_t& hi) {
        const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(RowAddress(w, 0));
        const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(RowAddress(w, w.height - 1));
        lo = first < last ? first : last;
        hi = (first < last ? last : first) + std::uintptr_t(w.width) * std::uintptr_t(PixelBytes(w));
    };
    std::uintptr_t a_lo, a_hi, b_lo, b_hi;
    span(a, a_lo, a_hi);
    span(b, b_lo, b_hi);
    return a_lo < b_hi && b_lo < a_hi;
}

// The world as the row shaders are to read it: in place, unless
// - the output is written over it (a host handing the same memory as input and output): its rows would be
//   overwritten while other rows still read them, so a float copy is read, as the renderer always did;
// - the process shades with a vector row shader that cannot address this world (rows that are not a whole
//   number of pixels apart, or pixel offsets past 2^30) but can address a packed float copy of it. Then
//   the copy: the vector shaders render several times faster than the scalar kernel that would otherwise
//   read the world in place (qf_bench: AVX2 about 11 times, SSE2 about 5 times the scalar rate).
// Where neither holds, reading in place is never the slower choice (qf_bench: the widest row shader
// reading an 8-bit world in place about 1.2 to 1.5 times its rate over the float copy, a float world
// the same).
WorldView ReadableWorld(const WorldView& world, const WorldView& output, std::vector<float>& copy)
{
    const bool written_over = SharesMemory(world, output);
    if (!written_over &&
        (ProcessShadeRow() == ShadeRowScalar || VectorWorldAddressable(world, world.width, world.height))) {
        return world;
    }
    WorldView packed = WorkBufferWorld(nullptr, world.width, world.height, world.width);
    if (!written_over && !VectorWorldAddressable(packed, world.width, world.height)) {
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
        in_place.input = ReadableWorld(worlds.input, worlds.output, input_copy);
        if (frame.has_map) {
            in_place.map = ReadableWorld(worlds.map, worlds.output, map_copy);
        }
        in_place.output = worlds.output;
        finished = RenderBandCPU(frame, in_place, 0, abort);
    }
    return finished ? RenderStatus::Done : RenderStatus::Aborted;
}
