// Positions, origins and rectangles at the ends of the int32 range, as a careless host can report them:
// the frame record keeps the kernel's integer arithmetic in range, and such frames render, every row
// written, the same way twice. (Under the sanitizer build these are also the overflow checks.)
#include "RenderGeometry.h"
#include "RenderTestSupport.h"

#include <limits>

namespace {

constexpr A_long MIN32 = std::numeric_limits<A_long>::min();
constexpr A_long MAX32 = std::numeric_limits<A_long>::max();

// A buffer of width x height at layer position (x0, y0).
BufferPlacement Buffer(A_long width, A_long height, A_long x0 = 0, A_long y0 = 0)
{
    return BufferPlacement{x0, y0, width, height, width};
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
    FrameLayout layout;
    layout.output = Buffer(3, 5, MAX32 - 3, MIN32);
    layout.input = Buffer(4, 10, MIN32, MAX32 - 10);
    layout.layer = PixelRect{MIN32, MIN32, MAX32, MAX32};
    QF_Frame frame{};
    FillGeometry(layout, 1.0f, 1.0f, frame);
    ExpectHeld(frame);
    EXPECT_EQ(frame.out_x0, POSITION_LIMIT);
    EXPECT_EQ(frame.out_y0, -POSITION_LIMIT);
    EXPECT_EQ(frame.lay_x0, -POSITION_LIMIT);
    EXPECT_EQ(frame.lay_x1, POSITION_LIMIT);
}

TEST(HostileGeometry, PositionsFromWorldOriginsAreHeldInRange)
{
    FrameLayout layout;
    layout.input = Buffer(4, 10, MAX32, MIN32);
    layout.output = Buffer(3, 5, MIN32, 1);
    QF_Frame frame{};
    FillGeometry(layout, 1.0f, 1.0f, frame);   // no layer extent: the input buffer is the layer
    ExpectHeld(frame);
    EXPECT_EQ(frame.in_x0, POSITION_LIMIT);
    EXPECT_EQ(frame.lay_x1, POSITION_LIMIT);   // in_x0 + in_w, held
    EXPECT_EQ(frame.out_x0, -POSITION_LIMIT);
    EXPECT_EQ(frame.out_y0, 1);
}

TEST(HostileGeometry, RealLayersKeepTheirPositions)
{
    FrameLayout layout;
    layout.output = Buffer(3, 5, -30000, 5);
    layout.input = Buffer(4, 10, -WHOLE_LAYER_EXTENT, 0);
    layout.layer = WHOLE_LAYER_RECT;
    QF_Frame frame{};
    FillGeometry(layout, 1.0f, 1.0f, frame);
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
