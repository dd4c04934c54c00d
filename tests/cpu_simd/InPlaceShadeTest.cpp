// The row shaders reading and writing host worlds in place, against the road the renderer once took
// (whole work copies made by WorldToWorkBuffer, qf_shade over them, rows written by WorkRowToWorld):
// every depth and channel order of the input, the strength map and the output, rows padded by whole
// pixels and by odd byte counts, stored bottom-up, and tiles placed anywhere in the layer; every byte of
// the output worlds, padding included, must agree. Then the whole frame entry both ways.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "PixelConversion.h"
#include "ShadeRow.h"
#include "SimdTestUtil.h"
#include "WarpRender.h"

using qftest::AddWave;
using qftest::PlainFrame;

namespace {

const WorldDepth DEPTHS[] = {WorldDepth::Bits8, WorldDepth::Bits16, WorldDepth::Float, WorldDepth::Bits16Full};
constexpr int DEPTH_COUNT = 4;
const ChannelOrder ORDERS[] = {ChannelOrder::ARGB, ChannelOrder::RGBA, ChannelOrder::BGRA};

// How a world's rows lie in memory.
struct Layout {
    const char* name;
    int padding;     // bytes after each row's pixels
    bool bottom_up;  // rows stored last row first: negative row bytes
};
const Layout LAYOUTS[] = {{"packed", 0, false},
                          {"padded by pixels", 48, false},
                          {"odd padding", 5, false},
                          {"bottom-up", 16, true},
                          {"bottom-up, odd padding", 3, true}};

int BytesPerPixel(WorldDepth depth)
{
    return depth == WorldDepth::Float ? 16 : depth == WorldDepth::Bits8 ? 4 : 8;
}

const char* DepthName(WorldDepth depth)
{
    return depth == WorldDepth::Float        ? "float"
           : depth == WorldDepth::Bits16     ? "16-bit"
           : depth == WorldDepth::Bits16Full ? "16-bit full scale"
                                             : "8-bit";
}

const char* OrderName(ChannelOrder order)
{
    return order == ChannelOrder::ARGB ? "ARGB" : order == ChannelOrder::RGBA ? "RGBA" : "BGRA";
}

// A world in memory of its own, every byte 0xCD until written; pixel (0, 0) at the layer position
// (ox, oy).
struct TestWorld {
    std::vector<unsigned char> bytes;
    WorldView view;

    TestWorld(int w, int h, WorldDepth depth, ChannelOrder order, const Layout& layout, int ox = 0, int oy = 0)
    {
        const std::ptrdiff_t row = std::ptrdiff_t(w) * BytesPerPixel(depth) + layout.padding;
        bytes.assign(size_t(row) * size_t(h), 0xCD);
        unsigned char* first = bytes.data() + (layout.bottom_up ? row * (h - 1) : 0);
        view = WorldView{first, w, h, layout.bottom_up ? -row : row, depth, order, ox, oy};
    }

    unsigned char* Channel(int x, int y, int c)
    {
        const int channel_bytes = BytesPerPixel(view.depth) / 4;
        return static_cast<unsigned char*>(view.data) + std::ptrdiff_t(y) * view.row_bytes +
               std::ptrdiff_t(x) * BytesPerPixel(view.depth) + c * channel_bytes;
    }

    // Levels over the whole range of the depth (16-bit levels past full scale too), alphas that are 0, full
    // or anything between, and for floats colours and alphas that are negative, past 1, huge or not
    // finite. Channel 3 of the order's memory layout is not always alpha, so alpha is found by order.
    void Fill(std::uint32_t seed)
    {
        const int alpha = view.order == ChannelOrder::ARGB ? 0 : 3;
        const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -0.25f,
                             1.75f, 1e31f, -0.0f};
        std::uint32_t state = seed * 2654435761u + 1u;
        for (int y = 0; y < view.height; y++)
            for (int x = 0; x < view.width; x++)
                for (int c = 0; c < 4; c++) {
                    state = state * 1664525u + 1013904223u;
                    const std::uint32_t r = state >> 8;
                    const bool is_alpha = c == alpha;
                    unsigned char* p = Channel(x, y, c);
                    if (view.depth == WorldDepth::Bits8) {
                        std::uint8_t level = std::uint8_t(r);
                        if (is_alpha && r % 7 < 2)
                            level = r % 7 == 0 ? 0 : 255;
                        *p = level;
                    } else if (view.depth == WorldDepth::Bits16 || view.depth == WorldDepth::Bits16Full) {
                        std::uint16_t level = std::uint16_t(r);
                        if (is_alpha && r % 7 < 2)
                            level = r % 7 == 0 ? 0 : view.depth == WorldDepth::Bits16 ? 32768 : 65535;
                        std::memcpy(p, &level, 2);
                    } else {
                        float v = float(r % 1000) / 800.0f - 0.1f;
                        if (r % 23 == 0)
                            v = odd[(r / 23) % 6];
                        std::memcpy(p, &v, 4);
                    }
                }
    }
};

// A frame over a tile of a 60 x 34 layer: waves that compress enough for the anti-aliasing grid, the
// input world at (in_x0, in_y0) covering less than the layer, the output tile elsewhere.
QF_Frame TileFrame(int in_w, int in_h, int edge)
{
    QF_Frame f = PlainFrame(in_w, in_h);
    AddWave(f, 0.31f, 0.05f, 0.4f, 1.9f, 9.6f, 1.4f, -0.3f, 3.7f);
    AddWave(f, -0.07f, 0.23f, 2.2f, -1.0f, -0.5f, 8.9f, 4.1f, 0.2f);
    AddWave(f, 0.12f, -0.17f, -2.5f, 0.7f, 1.3f, -1.0f, 0.8f, 6.9f);
    f.in_x0 = 3;
    f.in_y0 = -2;
    f.lay_x0 = 0;
    f.lay_y0 = 0;
    f.lay_x1 = 60;
    f.lay_y1 = 34;
    f.out_x0 = 11;
    f.out_y0 = 5;
    f.out_w = 37;  // blocks of 4, 8 and 16 lanes and a tail
    f.out_h = 7;
    f.out_pitch = f.out_w;
    f.band_h = f.out_h;
    f.edge_mode = edge;
    f.bicubic = edge % 2;
    f.split = edge == 2 ? 0.3f : 0.0f;
    f.mix = edge == 1 ? 0.6f : 1.0f;
    return f;
}

// A 13 x 9 map stretched over the layer.
void UseMap(QF_Frame& f, const WorldView& map, int channel)
{
    f.has_map = 1;
    f.map_w = map.width;
    f.map_h = map.height;
    f.map_pitch = map.width;
    f.map_channel = channel;
    f.map_sx = 13.0f / 60.0f;
    f.map_sy = 9.0f / 34.0f;
    f.map_ox = -0.5f;
    f.map_oy = -0.5f;
}

// The old road into `out`: work copies of the input and map, qf_shade, WorkRowToWorld.
void OldRoad(QF_Frame f, const WorldView& in, const WorldView* map, const WorldView& out)
{
    std::vector<float> src, map_buffer;
    WorldToWorkBuffer(in, src);
    f.in_pitch = in.width;
    if (map) {
        WorldToWorkBuffer(*map, map_buffer);
        f.map_pitch = map->width;
    }
    std::vector<float> row(size_t(f.out_w) * 4);
    for (int y = 0; y < f.out_h; y++) {
        for (int x = 0; x < f.out_w; x++) {
            const qf4 v = qf_shade(&f, src.data(), map ? map_buffer.data() : nullptr, x, y);
            float* p = &row[size_t(x) * 4];
            p[0] = v.x;
            p[1] = v.y;
            p[2] = v.z;
            p[3] = v.w;
        }
        WorkRowToWorld(out, y, row.data());
    }
}

// The first differing byte of two equally made worlds, or empty.
std::string FirstByteDifference(const TestWorld& expected, const TestWorld& actual)
{
    for (size_t i = 0; i < expected.bytes.size(); i++)
        if (expected.bytes[i] != actual.bytes[i])
            return "byte " + std::to_string(i) + " of " + std::to_string(expected.bytes.size()) + ": expected " +
                   std::to_string(expected.bytes[i]) + ", got " + std::to_string(actual.bytes[i]);
    return "";
}

class InPlaceShade : public ::testing::TestWithParam<ShadePath> {
protected:
    void SetUp() override
    {
        if (!ShadePathSupported(GetParam()))
            GTEST_SKIP() << "skipped: this build or CPU has no such row shader";
    }

    // The frame through the row shader of the path, in place, and the old road; the output worlds must
    // agree byte for byte. Returns false (after reporting) when they do not.
    bool Same(const QF_Frame& f, const TestWorld& in, const TestWorld* map, const TestWorld& out_shape,
              const std::string& what)
    {
        TestWorld expected = out_shape;
        TestWorld actual = out_shape;
        // The copies' views still point into out_shape's bytes.
        RePoint(expected, out_shape);
        RePoint(actual, out_shape);
        OldRoad(f, in.view, map ? &map->view : nullptr, expected.view);
        ShadeWorlds worlds;
        worlds.input = in.view;
        if (map)
            worlds.map = map->view;
        worlds.output = actual.view;
        const ShadeRowFn shade = ShadeRowFor(GetParam());
        for (int y = 0; y < f.out_h; y++)
            shade(f, worlds, y);
        const std::string diff = FirstByteDifference(expected, actual);
        if (diff.empty())
            return true;
        ADD_FAILURE() << what << ": " << diff;
        return false;
    }

    static void RePoint(TestWorld& copy, const TestWorld& from)
    {
        copy.view.data = copy.bytes.data() + (static_cast<unsigned char*>(from.view.data) - from.bytes.data());
    }
};

// Every format (depth and order) and row layout in each role: the input takes each in turn, and the map
// and the output cycle through them out of step, so every role meets every format and layout; edge modes,
// interpolation, colour split and mix vary too, and some frames take the frame-wide early exit.
TEST_P(InPlaceShade, EveryFormatAndRowLayoutOfInputMapAndOutputMatchesTheWorkCopyRoad)
{
    int n = 0;
    for (WorldDepth depth : DEPTHS)
        for (ChannelOrder order : ORDERS)
            for (const Layout& layout : LAYOUTS) {
                ++n;
                TestWorld in(49, 30, depth, order, layout);
                in.Fill(std::uint32_t(n));
                // n picks a map format and n + 4 an output format: each of the twelve comes up for both.
                TestWorld map(13, 9, DEPTHS[n % DEPTH_COUNT], ORDERS[(n / 3) % 3], LAYOUTS[(n + 2) % 5]);
                map.Fill(std::uint32_t(100 + n));
                const TestWorld out(37, 7, DEPTHS[(n + 4) % DEPTH_COUNT], ORDERS[((n + 4) / 3) % 3],
                                    LAYOUTS[(n + 1) % 5]);
                QF_Frame f = TileFrame(49, 30, n % 4);
                const bool with_map = n % 2 == 0;
                if (with_map) {
                    UseMap(f, map.view, n % 5);
                    f.map_invert = (n / 2) % 2;
                }
                if (n % 7 == 0)
                    f.num_waves = 0;  // every pixel a straight copy of the input
                const std::string what = std::string("input ") + DepthName(depth) + " " + OrderName(order) + ", " +
                                         layout.name + "; map " + DepthName(map.view.depth) + " " +
                                         OrderName(map.view.order) + (with_map ? "" : " (unused)") + "; output " +
                                         DepthName(out.view.depth) + " " + OrderName(out.view.order);
                if (!Same(f, in, with_map ? &map : nullptr, out, what))
                    return;
            }
}

TEST_P(InPlaceShade, EightBitLevelsReadAndWriteWithTheConversionsArithmetic)
{
    // A straight copy from 8-bit ARGB into 16-bit ARGB: level l reads as l * 0x3B808081 and is written as
    // that times 32768, plus a half, truncated.
    TestWorld in(1, 1, WorldDepth::Bits8, ChannelOrder::ARGB, LAYOUTS[0]);
    const std::uint8_t argb[4] = {255, 128, 1, 254};
    std::memcpy(in.view.data, argb, 4);
    TestWorld out(1, 1, WorldDepth::Bits16, ChannelOrder::ARGB, LAYOUTS[0]);
    QF_Frame f = PlainFrame(1, 1);
    f.num_waves = 0;
    ShadeWorlds worlds;
    worlds.input = in.view;
    worlds.output = out.view;
    ShadeRowFor(GetParam())(f, worlds, 0);
    std::uint16_t levels[4];
    std::memcpy(levels, out.view.data, 8);
    EXPECT_EQ(levels[0], 32768);
    EXPECT_EQ(levels[1], 16448);
    EXPECT_EQ(levels[2], 129);
    EXPECT_EQ(levels[3], 32640);
}

std::string PathName(const ::testing::TestParamInfo<ShadePath>& info)
{
    const char* names[] = {"Automatic", "Scalar", "SSE2", "AVX2", "AVX512"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Path, InPlaceShade,
                         ::testing::Values(ShadePath::Scalar, ShadePath::SSE2, ShadePath::AVX2, ShadePath::AVX512),
                         PathName);

// The whole frame entry with the default look: reading the worlds in place gives the bytes of the work-copy
// road, for every host depth and order, tiles at any place, rows laid out any way, with and without a map.
TEST(InPlaceFrame, EveryDepthOrderLayoutAndTileMatchesTheWorkCopyRoad)
{
    const SanitizedSettings settings = FrameSettings(DefaultParamValues(), 60, 34);
    int n = 0;
    for (WorldDepth depth : DEPTHS)
        for (ChannelOrder order : {ChannelOrder::ARGB, ChannelOrder::RGBA})
            for (const Layout& layout : LAYOUTS) {
                ++n;
                // The input covers the layer from (2, 1); the output is a tile from (9, 6).
                TestWorld in(56, 30, depth, order, layout, 2, 1);
                in.Fill(std::uint32_t(1000 + n));
                TestWorld map(13, 9, DEPTHS[n % DEPTH_COUNT], ORDERS[n % 3], LAYOUTS[(n + 2) % 5]);
                map.Fill(std::uint32_t(2000 + n));
                const TestWorld out(41, 19, depth, order, LAYOUTS[(n + 1) % 5], 9, 6);
                for (bool with_map : {false, true}) {
                    FrameWorlds worlds;
                    worlds.input = in.view;
                    worlds.input_layer = PixelRect{0, 0, 60, 34};
                    if (with_map) {
                        worlds.map = map.view;
                        worlds.map_layer = PixelRect{0, 0, 60, 34};
                    }
                    TestWorld expected = out;
                    TestWorld actual = out;
                    for (TestWorld* w : {&expected, &actual})
                        w->view.data =
                            w->bytes.data() + (static_cast<unsigned char*>(out.view.data) - out.bytes.data());
                    worlds.output = expected.view;
                    ASSERT_EQ(RenderFrameCPU(settings, 0.5, 1.0f, 1.0f, worlds, {}, WorldReading::WorkCopy),
                              RenderStatus::Done);
                    worlds.output = actual.view;
                    ASSERT_EQ(RenderFrameCPU(settings, 0.5, 1.0f, 1.0f, worlds), RenderStatus::Done);
                    const std::string diff = FirstByteDifference(expected, actual);
                    ASSERT_EQ(diff, "") << DepthName(depth) << " " << OrderName(order) << ", " << layout.name
                                        << (with_map ? ", with a map" : "");
                    // Something was drawn: the output is no longer the fresh world.
                    ASSERT_NE(actual.bytes, out.bytes);
                }
            }
}

// A host may hand one world as input, strength map and output: the frame must be what the work-copy road
// gives, which read the whole input before writing any row, not rows shaded from rows already written.
TEST(InPlaceFrame, OneWorldAsInputMapAndOutputGivesTheWorkCopyRoadsFrame)
{
    const SanitizedSettings settings = FrameSettings(DefaultParamValues(), 60, 34);
    int n = 0;
    for (WorldDepth depth : DEPTHS)
        for (ChannelOrder order : {ChannelOrder::ARGB, ChannelOrder::RGBA}) {
            TestWorld expected(60, 34, depth, order, LAYOUTS[++n % 5]);
            expected.Fill(std::uint32_t(3000 + n));
            TestWorld actual = expected;
            actual.view.data =
                actual.bytes.data() + (static_cast<unsigned char*>(expected.view.data) - expected.bytes.data());
            for (const auto& [world, reading] : {std::pair{&expected, WorldReading::WorkCopy},
                                                 std::pair{&actual, WorldReading::InPlace}}) {
                FrameWorlds worlds;
                worlds.input = world->view;
                worlds.input_layer = PixelRect{0, 0, 60, 34};
                worlds.map = world->view;
                worlds.map_layer = PixelRect{0, 0, 60, 34};
                worlds.output = world->view;
                ASSERT_EQ(RenderFrameCPU(settings, 0.5, 1.0f, 1.0f, worlds, {}, reading), RenderStatus::Done);
            }
            ASSERT_EQ(FirstByteDifference(expected, actual), "") << DepthName(depth) << " " << OrderName(order);
        }
}

} // namespace
