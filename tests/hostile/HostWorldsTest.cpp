// Worlds laid out as hosts may lay them out: rows bottom-up (negative rowbytes) and rows padded to an odd
// length. The smart render reads and writes them through their own row stride, so the frame equals the
// frame of plain worlds; the harness's test host hands them out from its own checkout callbacks.
#include "RenderTestSupport.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// A copy of a world in memory of the test's own, rows top-down or bottom-up, each followed by `pad` bytes.
struct OwnWorld {
    std::vector<unsigned char> bytes;
    PF_EffectWorld world{};

    OwnWorld(const PF_EffectWorld& source, PixelDepth depth, bool bottom_up, A_long pad)
    {
        const std::size_t row = static_cast<std::size_t>(source.width) * BytesPerPixel(depth);
        const std::size_t stride = row + static_cast<std::size_t>(pad);
        bytes.assign(stride * static_cast<std::size_t>(source.height), 0xCD);
        world = source;
        world.rowbytes = static_cast<A_long>(bottom_up ? -static_cast<std::int64_t>(stride) : stride);
        unsigned char* first = bytes.data() + (bottom_up ? stride * (source.height - 1) : 0);
        world.data = reinterpret_cast<PF_PixelPtr>(first);
        for (A_long y = 0; y < source.height; ++y) {
            const auto* from = reinterpret_cast<const unsigned char*>(source.data) + std::int64_t{y} * source.rowbytes;
            std::memcpy(first + std::int64_t{y} * world.rowbytes, from, row);
        }
    }
};

// The worlds the checkout callbacks hand out during the command in flight.
PF_EffectWorld* g_input = nullptr;
PF_EffectWorld* g_output = nullptr;

PF_Err InputPixels(PF_ProgPtr, A_long checkout_id, PF_EffectWorld** pixels)
{
    *pixels = checkout_id == 0 ? g_input : nullptr;
    return checkout_id == 0 ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err Output(PF_ProgPtr, PF_EffectWorld** output)
{
    *output = g_output;
    return PF_Err_NONE;
}

class HostWorlds : public RenderHost {
protected:
    // The frame of the whole layer rendered through worlds laid out this way.
    FloatImage RenderThrough(bool bottom_up, A_long pad)
    {
        RenderState& state = host.render().state();
        state.BeginFrame();
        host.settings().width = layer_.width();   // as the host's own render road reports the layer
        host.settings().height = layer_.height();
        PF_PreRenderInput pre_input{};
        pre_input.output_request.rect = PF_LRect{0, 0, layer_.width(), layer_.height()};
        pre_input.output_request.channel_mask = 0xF;
        PF_PreRenderOutput pre_output{};
        PF_PreRenderCallbacks pre_callbacks = RenderRoads::PreRenderCallbacks();
        PF_PreRenderExtra pre_extra{&pre_input, &pre_output, &pre_callbacks};
        EXPECT_EQ(host.module().SendCommand(PF_Cmd_SMART_PRE_RENDER, &pre_extra), PF_Err_NONE);

        PixelBuffer blank(layer_.width(), layer_.height(), PixelDepth::Bits16);
        OwnWorld input(layer_.World(), PixelDepth::Bits16, bottom_up, pad);
        OwnWorld output(blank.World(), PixelDepth::Bits16, bottom_up, pad);
        g_input = state.HandOut(input.world, PF_PixelFormat_ARGB64);
        g_output = state.HandOut(output.world, PF_PixelFormat_ARGB64);

        PF_SmartRenderInput input_record{};
        input_record.pre_render_data = pre_output.pre_render_data;
        PF_SmartRenderCallbacks callbacks{};
        callbacks.checkout_layer_pixels = InputPixels;
        callbacks.checkout_output = Output;
        PF_SmartRenderExtra extra{&input_record, &callbacks};
        EXPECT_EQ(host.module().SendCommand(PF_Cmd_SMART_RENDER, &extra), PF_Err_NONE);
        pre_output.delete_pre_render_data_func(pre_output.pre_render_data);
        return ReadWorld(output.world, PixelDepth::Bits16);
    }

    void SetUp() override
    {
        RenderHost::SetUp();
        const int layer = UseInput(29, 17, PixelDepth::Bits16);
        layer_ = host.layers().At(layer);
        host.params().Set(PARAM_ITERATIONS, 2);
        host.params().Set(PARAM_COLOR_SPLIT, -15.0);
        RenderRequest request;
        request.depth = PixelDepth::Bits16;
        plain_ = host.render().Frame(request).image;
    }

    PixelBuffer layer_;
    FloatImage plain_;
};

TEST_F(HostWorlds, BottomUpWorldsGiveThePlainFrame)
{
    EXPECT_TRUE(SameImage(RenderThrough(true, 0), plain_));
    EXPECT_TRUE(SameImage(RenderThrough(true, 6), plain_));
}

TEST_F(HostWorlds, RowsPaddedToAnOddLengthGiveThePlainFrame)
{
    EXPECT_TRUE(SameImage(RenderThrough(false, 7), plain_));
    EXPECT_TRUE(SameImage(RenderThrough(false, 1), plain_));
}

}   // namespace
