// The CPU render of one frame from a pre-render record and host worlds.
#include "RenderFrameCPU.h"

#include "PixelConversion.h"
#include "RenderBandCPU.h"
#include "WaveGeneration.h"

#include <vector>

namespace {

// Writes transparent black into every row of the output in its own depth.
void ClearWorld(FormattedWorld output)
{
    const std::vector<float> row(static_cast<size_t>(output.world->width) * 4, 0.0f);
    for (A_long y = 0; y < output.world->height; ++y) {
        WorkRowToWorld(output.world, output.format, y, row.data());
    }
}

}   // namespace

bool HasPixels(const PF_EffectWorld* world)
{
    return world && world->data && world->width > 0 && world->height > 0;
}

PF_Err RenderFrameCPU(const PF_InData& in_data, const PreRenderData& data, FormattedWorld input,
                      FormattedWorld output, FormattedWorld map)
{
    // The kernel reads the input buffer at a held position even where it warps nothing, so it must
    // never see an empty one.
    if (!HasPixels(input.world)) {
        ClearWorld(output);
        return PF_Err_NONE;
    }
    std::vector<float> input_buffer;
    WorldToWorkBuffer(input.world, input.format, input_buffer);
    std::vector<float> map_buffer;
    if (HasPixels(map.world)) {
        WorldToWorkBuffer(map.world, map.format, map_buffer);
    }

    QF_Frame frame{};
    BuildFrame(data.settings, data.time, frame);
    FillGeometry(data, input.world, output.world, map_buffer.empty() ? nullptr : map.world, frame);
    // The CPU work buffers are packed: the pitch is the width.
    frame.out_pitch = output.world->width;
    frame.in_pitch = input.world->width;
    frame.map_pitch = frame.has_map ? map.world->width : 0;

    const RowCallback write_row = [output](int32_t row, const float* pixels) {
        WorkRowToWorld(output.world, output.format, row, pixels);
    };
    AbortCallback abort;
    if (in_data.inter.abort) {
        abort = [&in_data] { return in_data.inter.abort(in_data.effect_ref) != PF_Err_NONE; };
    }
    const bool finished = RenderBandCPU(frame, input_buffer.data(), frame.has_map ? map_buffer.data() : nullptr,
                                        write_row, 0, abort);
    return finished ? PF_Err_NONE : PF_Interrupt_CANCEL;
}
