// The renderer's host-independent entry (cpu/WarpRender.h) against the host's road: the default look from
// plain values into plain buffers is the frame the plug-in renders through the host, byte for byte, and
// RGBA buffers hold the same frame in their own order.
#include "RenderTestSupport.h"

#include "WarpRender.h"

#include <cstdint>
#include <vector>

namespace {

constexpr A_long WIDTH = 45;
constexpr A_long HEIGHT = 32;

using WarpEntry = RenderHost;

// A host world's pixels as the core sees them.
WorldView ViewOfWorld(const PF_EffectWorld& world, WorldDepth depth)
{
    return WorldView{world.data, world.width, world.height, world.rowbytes, depth, ChannelOrder::ARGB, 0, 0};
}

// The bytes of a packed 8-bit world with each pixel's channels rotated from A, R, G, B to R, G, B, A.
std::vector<std::uint8_t> ArgbToRgba(const PF_EffectWorld& world)
{
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(world.width) * world.height * 4);
    for (A_long y = 0; y < world.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint8_t*>(world.data) + static_cast<std::ptrdiff_t>(y) * world.rowbytes;
        for (A_long x = 0; x < world.width; ++x) {
            std::uint8_t* px = &rgba[(static_cast<std::size_t>(y) * world.width + x) * 4];
            px[0] = row[x * 4 + 1];
            px[1] = row[x * 4 + 2];
            px[2] = row[x * 4 + 3];
            px[3] = row[x * 4 + 0];
        }
    }
    return rgba;
}

TEST_F(WarpEntry, DefaultLookFromPlainValuesIsTheHostsFrame)
{
    const int layer = UseInput(WIDTH, HEIGHT, PixelDepth::Bits8);
    const RenderResult hosted = host.render().Frame();
    ASSERT_EQ(hosted.error, PF_Err_NONE);
    ASSERT_EQ(hosted.image.width, WIDTH);

    // The same layer's bytes, a fresh plain buffer for the output, and nothing but plain values.
    PixelBuffer output(WIDTH, HEIGHT, PixelDepth::Bits8);
    output.Fill(0xCD);
    WarpFrameRequest frame;   // every control at its default, time 0, full resolution
    frame.layer_width = WIDTH;
    frame.layer_height = HEIGHT;
    frame.worlds.input = ViewOfWorld(host.layers().At(layer).World(), WorldDepth::Bits8);
    frame.worlds.input_layer = PixelRect{0, 0, WIDTH, HEIGHT};
    frame.worlds.output = ViewOfWorld(output.World(), WorldDepth::Bits8);
    ASSERT_EQ(RenderWarpFrame(frame), RenderStatus::Done);
    EXPECT_TRUE(SameImage(output.Load(), hosted.image));
    // The warp moved something, or the comparison would say little.
    EXPECT_FALSE(SameImage(hosted.image, host.layers().At(layer).Load()));

    // Straight RGBA bytes, as a whole-frame host hands them: the same frame in that order.
    std::vector<std::uint8_t> in = ArgbToRgba(host.layers().At(layer).World());
    std::vector<std::uint8_t> out(in.size(), 0xCD);
    frame.worlds.input = WorldView{in.data(), WIDTH, HEIGHT, WIDTH * 4, WorldDepth::Bits8, ChannelOrder::RGBA, 0, 0};
    frame.worlds.output = WorldView{out.data(), WIDTH, HEIGHT, WIDTH * 4, WorldDepth::Bits8, ChannelOrder::RGBA, 0, 0};
    ASSERT_EQ(RenderWarpFrame(frame), RenderStatus::Done);
    EXPECT_EQ(out, ArgbToRgba(output.World()));
}

TEST_F(WarpEntry, AbortStopsTheFrameAndNoInputClearsIt)
{
    PixelBuffer input(WIDTH, HEIGHT, PixelDepth::Float);
    input.Store(Pattern(WIDTH, HEIGHT));
    PixelBuffer output(WIDTH, HEIGHT, PixelDepth::Float);
    output.Fill(0xCD);
    WarpFrameRequest frame;
    frame.worlds.input = ViewOfWorld(input.World(), WorldDepth::Float);
    frame.worlds.output = ViewOfWorld(output.World(), WorldDepth::Float);
    // The calling thread asks after its 4th row; on a loaded machine the other threads may take every row
    // before that, so the frame is rendered again until the question was asked.
    int asked = 0;
    RenderStatus status = RenderStatus::Done;
    for (int attempt = 0; attempt < 20 && asked == 0; ++attempt) {
        output.Fill(0xCD);
        status = RenderWarpFrame(frame, [&] { return ++asked > 0; });
    }
    ASSERT_EQ(asked, 1);
    EXPECT_EQ(status, RenderStatus::Aborted);
    EXPECT_GT(UnwrittenRows(output.Load(), PixelDepth::Float), 0);

    frame.worlds.input = WorldView{};
    EXPECT_EQ(RenderWarpFrame(frame), RenderStatus::Done);
    for (const float v : output.Load().pixels) {
        ASSERT_EQ(v, 0.0f);
    }
}

}   // namespace
