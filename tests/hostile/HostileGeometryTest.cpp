// Positions, origins and rectangles at the ends of the int32 range, as a careless host can report them:
// the frame record keeps the kernel's integer arithmetic in range, and such frames render, every row
// written, the same way twice. (Under the sanitizer build these are also the overflow checks.)
#include "RenderGeometry.h"
#include "RenderTestSupport.h"

#include <limits>

namespace {

constexpr A_long MIN32 = std::numeric_limits<A_long>::min();
constexpr A_long MAX32 = std::numeric_limits<A_long>::max();

PF_EffectWorld World(A_long width, A_long height, A_long origin_x = 0, A_long origin_y = 0)
{
    PF_EffectWorld world{};
    world.width = width;
    world.height = height;
    world.origin_x = origin_x;
    world.origin_y = origin_y;
    return world;
}

void ExpectHeld(const QF_Frame& frame)
{
    for (const std::int32_t v : {frame.out_x0, frame.out_y0, frame.in_x0, frame.in_y0, frame.lay_x0, frame.lay_y0,
                                 frame.lay_x1, frame.lay_y1}) {
        EXPECT_LE(v, POSITION_LIMIT);
        EXPECT_GE(v, -POSITION_LIMIT);
    }
}

TEST(HostileGeometry, PositionsFromRectanglesAreHeldInRange)
{
    PreRenderData data;
    data.output_rect = PF_LRect{MAX32 - 3, MIN32, MAX32, MIN32 + 5};
    data.input_rect = PF_LRect{MIN32, MAX32 - 10, MIN32 + 4, MAX32};
    data.input_max_rect = PF_LRect{MIN32, MIN32, MAX32, MAX32};
    const PF_EffectWorld input = World(4, 10);
    const PF_EffectWorld output = World(3, 5);
    QF_Frame frame{};
    FillGeometry(data, &input, &output, nullptr, frame);
    ExpectHeld(frame);
    EXPECT_EQ(frame.out_x0, POSITION_LIMIT);
    EXPECT_EQ(frame.out_y0, -POSITION_LIMIT);
    EXPECT_EQ(frame.lay_x0, -POSITION_LIMIT);
    EXPECT_EQ(frame.lay_x1, POSITION_LIMIT);
}

TEST(HostileGeometry, PositionsFromWorldOriginsAreHeldInRange)
{
    PreRenderData data;
    const PF_EffectWorld input = World(4, 10, MAX32, MIN32);
    const PF_EffectWorld output = World(3, 5, MIN32, 1);
    QF_Frame frame{};
    FillGeometry(data, &input, &output, nullptr, frame);   // no layer extent: the input buffer is the layer
    ExpectHeld(frame);
    EXPECT_EQ(frame.in_x0, POSITION_LIMIT);
    EXPECT_EQ(frame.lay_x1, POSITION_LIMIT);   // in_x0 + in_w, held
    EXPECT_EQ(frame.out_x0, -POSITION_LIMIT);
    EXPECT_EQ(frame.out_y0, 1);
}

TEST(HostileGeometry, RealLayersKeepTheirPositions)
{
    PreRenderData data;
    data.output_rect = PF_LRect{-30000, 5, 1920 + 30000, 1085};
    data.input_rect = PF_LRect{-WHOLE_LAYER_EXTENT, 0, 1920, 1080};
    data.input_max_rect = PF_LRect{-WHOLE_LAYER_EXTENT, -WHOLE_LAYER_EXTENT, WHOLE_LAYER_EXTENT, WHOLE_LAYER_EXTENT};
    const PF_EffectWorld input = World(4, 10);
    const PF_EffectWorld output = World(3, 5);
    QF_Frame frame{};
    FillGeometry(data, &input, &output, nullptr, frame);
    EXPECT_EQ(frame.out_x0, -30000);
    EXPECT_EQ(frame.in_x0, -WHOLE_LAYER_EXTENT);
    EXPECT_EQ(frame.lay_y1, WHOLE_LAYER_EXTENT);
}

using HostileFrames = RenderHost;

// PF_Cmd_RENDER with output origins whose negation does not fit in 32 bits.
TEST_F(HostileFrames, LegacyOriginsAtTheInt32LimitsRender)
{
    UseInput(16, 12);
    for (const A_long origin : {MIN32, MAX32, MIN32 + 1}) {
        LegacyRequest request;
        request.output_origin_x = origin;
        request.output_origin_y = origin == MIN32 ? MAX32 : MIN32;
        const RenderResult first = host.render().Legacy(request);
        EXPECT_EQ(first.error, PF_Err_NONE) << origin;
        EXPECT_EQ(UnwrittenRows(first.image, PixelDepth::Bits8), 0) << origin;
        EXPECT_TRUE(SameImage(host.render().Legacy(request).image, first.image)) << origin;
    }
}

}   // namespace
