// Host pixels to work buffers and back: every level survives, the rounding cases, channel order, and
// row addressing with padded and bottom-up rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "KernelTestUtil.h"
#include "PixelConversion.h"

using namespace qftest;

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float INF = std::numeric_limits<float>::infinity();

// A host world in its own memory: rows of `width` pixels plus `padBytes`, optionally stored bottom-up
// (negative rowbytes). Every byte starts as FILL so untouched bytes can be recognised.
template <typename T> constexpr WorldDepth DEPTH_OF = sizeof(T) == 1   ? WorldDepth::Bits8
                                                      : sizeof(T) == 2 ? WorldDepth::Bits16
                                                                       : WorldDepth::Float;

template <typename T> struct HostWorld {
    static constexpr uint8_t FILL = 0xAB;
    std::vector<uint8_t> memory;
    WorldView world{};

    HostWorld(int width, int height, int padBytes = 0, bool bottomUp = false,
              ChannelOrder order = ChannelOrder::ARGB)
    {
        const int stride = width * 4 * int(sizeof(T)) + padBytes;
        memory.assign(size_t(stride) * size_t(height), FILL);
        world.width = width;
        world.height = height;
        world.row_bytes = bottomUp ? -stride : stride;
        world.data = memory.data() + (bottomUp ? size_t(stride) * (height - 1) : 0);
        world.depth = DEPTH_OF<T>;
        world.order = order;
    }
    // Host channel c of pixel (x, y) in memory order: 0 alpha, 1 red, 2 green, 3 blue for ARGB worlds.
    uint8_t* Channel(int x, int y, int c)
    {
        return static_cast<uint8_t*>(world.data) + int64_t(y) * world.row_bytes + (x * 4 + c) * int(sizeof(T));
    }
    T Get(int x, int y, int c)
    {
        T v;
        std::memcpy(&v, Channel(x, y, c), sizeof v);
        return v;
    }
    void Set(int x, int y, int c, T v) { std::memcpy(Channel(x, y, c), &v, sizeof v); }
};

enum { A = 0, R = 1, G = 2, B = 3 };

} // namespace

TEST(PixelConversion, EveryEightBitLevelRoundTrips)
{
    // Each channel runs through all 256 levels in a different order, so a swapped channel shows.
    HostWorld<uint8_t> in(256, 2, 12), out(256, 2, 12);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 256; x++) {
            in.Set(x, y, A, uint8_t(x));
            in.Set(x, y, R, uint8_t(255 - x));
            in.Set(x, y, G, uint8_t(x * 7 + y));
            in.Set(x, y, B, uint8_t(x * 13 + 5 * y));
        }
    std::vector<float> work;
    WorldToWorkBuffer(in.world, work);
    ASSERT_EQ(work.size(), 256u * 2 * 4);
    for (int y = 0; y < 2; y++)
        WorkRowToWorld(out.world, y, work.data() + size_t(y) * 256 * 4);
    EXPECT_EQ(out.memory, in.memory);

    // Work order is B, G, R, A; 255 is exactly 1, 128 is 128 times the float nearest 1/255.
    const float* px = &work[size_t(128) * 4];
    EXPECT_EQ(px[3], 128 * FromBits(0x3B808081));
    EXPECT_FLOAT_EQ(px[3], 0.50196081f);
    EXPECT_EQ(px[2], 127 * FromBits(0x3B808081));
    EXPECT_EQ(work[0 * 4 + 2], 1.0f);  // red of pixel 0 is 255
    EXPECT_EQ(px[0], float(uint8_t(128 * 13)) * FromBits(0x3B808081));
}

TEST(PixelConversion, EverySixteenBitLevelRoundTrips)
{
    const int levels = 32769;
    HostWorld<uint16_t> in(levels, 1, 6), out(levels, 1, 6);
    for (int x = 0; x < levels; x++) {
        in.Set(x, 0, A, uint16_t(x));
        in.Set(x, 0, R, uint16_t(32768 - x));
        in.Set(x, 0, G, uint16_t(x * 2 % levels));
        in.Set(x, 0, B, uint16_t(x * 4 % levels));
    }
    std::vector<float> work;
    WorldToWorkBuffer(in.world, work);
    WorkRowToWorld(out.world, 0, work.data());
    EXPECT_EQ(out.memory, in.memory);
    EXPECT_EQ(work[size_t(32768) * 4 + 3], 1.0f);
    EXPECT_EQ(work[size_t(16384) * 4 + 3], 0.5f);
}

TEST(PixelConversion, SixteenBitAboveFullScaleReadsAboveOne)
{
    HostWorld<uint16_t> in(1, 1);
    for (int c = 0; c < 4; c++)
        in.Set(0, 0, c, 65535);
    std::vector<float> work;
    WorldToWorkBuffer(in.world, work);
    EXPECT_EQ(work[0], 65535.0f / 32768.0f);
    EXPECT_NEAR(work[0], 2.0f, 1e-4f);
    WorkRowToWorld(in.world, 0, work.data());
    EXPECT_EQ(in.Get(0, 0, B), 32768) << "writes saturate at full scale, not at 65535";
}

// OpenFX's 16-bit images: full scale 65535, channels R, G, B, A, rows stored bottom-up.
TEST(PixelConversion, EveryFullScaleSixteenBitLevelRoundTrips)
{
    const int levels = 65536;
    HostWorld<uint16_t> in(levels, 2, 6, true, ChannelOrder::RGBA), out(levels, 2, 6, true, ChannelOrder::RGBA);
    in.world.depth = out.world.depth = WorldDepth::Bits16Full;
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < levels; x++) {
            in.Set(x, y, 0, uint16_t(x));                       // red
            in.Set(x, y, 1, uint16_t(65535 - x));               // green
            in.Set(x, y, 2, uint16_t((x * 3 + y) % levels));    // blue
            in.Set(x, y, 3, uint16_t((x * 7 + 5 * y) % levels));  // alpha
        }
    std::vector<float> work;
    WorldToWorkBuffer(in.world, work);
    for (int y = 0; y < 2; y++)
        WorkRowToWorld(out.world, y, work.data() + size_t(y) * levels * 4);
    EXPECT_EQ(out.memory, in.memory);

    // Work order B, G, R, A: red of pixel 65535 is exactly 1, green of pixel 0 too; 32768 is just above 0.5.
    EXPECT_EQ(work[size_t(65535) * 4 + 2], 1.0f);
    EXPECT_EQ(work[1], 1.0f);
    EXPECT_EQ(work[size_t(32768) * 4 + 2], 32768 * FromBits(0x37800080));
    EXPECT_FLOAT_EQ(work[size_t(32768) * 4 + 2], 0.500007629f);
}

TEST(PixelConversion, FullScaleSixteenBitWritesRoundHalfUpAndClamp)
{
    const struct {
        float v;
        uint16_t level;
    } cases[] = {{0.5f, 32768}, {1.0f, 65535}, {1.7f, 65535}, {INF, 65535}, {-0.2f, 0},   {NaN, 0},
                 {-0.0f, 0},    {0.999f, 65469}, {0.001f, 66}, {7e-6f, 0},   {7.7e-6f, 1}};
    for (const auto& c : cases) {
        const float px[4] = {0.25f, 0.25f, c.v, 0.25f};   // B, G, R, A: the value in red
        HostWorld<uint16_t> w(1, 1, 0, false, ChannelOrder::RGBA);
        w.world.depth = WorldDepth::Bits16Full;
        WorkRowToWorld(w.world, 0, px);
        EXPECT_EQ(w.Get(0, 0, 0), c.level) << "v " << c.v;
        EXPECT_EQ(w.Get(0, 0, 1), 16384) << "v " << c.v;
        EXPECT_EQ(w.Get(0, 0, 3), 16384) << "v " << c.v;
    }
}

TEST(PixelConversion, WritesRoundHalfUpAndClamp)
{
    struct Case {
        float v;
        uint8_t bits8;
        uint16_t bits16;
    } cases[] = {
        {0.5f, 128, 16384}, {1.0f, 255, 32768}, {1.7f, 255, 32768}, {-0.2f, 0, 0},       {NaN, 0, 0},
        {INF, 255, 32768},  {-INF, 0, 0},       {0.0f, 0, 0},       {-0.0f, 0, 0},       {1e-30f, 0, 0},
        {0.999f, 255, 32735}, {0.001f, 0, 33}, {0.0019f, 0, 62}, {0.002f, 1, 66},
    };
    for (const Case& c : cases) {
        // The value in one channel at a time, the others distinct, to catch a channel mix-up.
        for (int workChannel = 0; workChannel < 4; workChannel++) {
            float px[4] = {0.25f, 0.25f, 0.25f, 0.25f};
            px[workChannel] = c.v;
            const int hostChannel = 3 - workChannel;
            HostWorld<uint8_t> w8(1, 1);
            WorkRowToWorld(w8.world, 0, px);
            HostWorld<uint16_t> w16(1, 1);
            WorkRowToWorld(w16.world, 0, px);
            for (int h = 0; h < 4; h++) {
                EXPECT_EQ(w8.Get(0, 0, h), h == hostChannel ? c.bits8 : 64) << "v " << c.v << " host channel " << h;
                EXPECT_EQ(w16.Get(0, 0, h), h == hostChannel ? c.bits16 : 8192) << "v " << c.v << " host channel " << h;
            }
        }
    }
}

TEST(PixelConversion, FloatWorldsCopyEveryBit)
{
    const float values[4] = {FromBits(0x7FC01234), -3.5f, 2.5f, -0.0f};  // B, G, R, A
    HostWorld<float> w(1, 1);
    WorkRowToWorld(w.world, 0, values);
    EXPECT_EQ(Bits(w.Get(0, 0, B)), 0x7FC01234u);
    EXPECT_EQ(w.Get(0, 0, G), -3.5f);
    EXPECT_EQ(w.Get(0, 0, R), 2.5f);
    EXPECT_EQ(Bits(w.Get(0, 0, A)), 0x80000000u);
    w.Set(0, 0, R, -INF);
    std::vector<float> work;
    WorldToWorkBuffer(w.world, work);
    ASSERT_EQ(work.size(), 4u);
    EXPECT_EQ(Bits(work[0]), 0x7FC01234u);
    EXPECT_EQ(work[1], -3.5f);
    EXPECT_EQ(work[2], -INF);
    EXPECT_EQ(Bits(work[3]), 0x80000000u);
}

namespace {

// Writes every row of a padded world from a work buffer, reads it back, and checks that no padding
// byte changed and that the work buffer is packed.
template <typename T> void CheckPaddedRows(bool bottomUp)
{
    const int w = 3, h = 4, pad = 13;
    HostWorld<T> world(w, h, pad, bottomUp);
    Image work = TestCard(w, h);
    for (int y = 0; y < h; y++)
        WorkRowToWorld(world.world, y, work.at(0, y));
    const int stride = w * 4 * int(sizeof(T)) + pad;
    for (int row = 0; row < h; row++)
        for (int b = w * 4 * int(sizeof(T)); b < stride; b++)
            ASSERT_EQ(world.memory[size_t(row * stride + b)], HostWorld<T>::FILL) << "padding byte " << b;
    std::vector<float> back;
    WorldToWorkBuffer(world.world, back);
    ASSERT_EQ(back.size(), work.px.size());
    // Row y of the buffer is world row y wherever it lies in memory: compare one channel per row.
    for (int y = 0; y < h; y++)
        EXPECT_NEAR(back[(size_t(y) * w + 1) * 4 + 2], work.at(1, y)[2], 0.002f) << "row " << y;
}

} // namespace

TEST(PixelConversion, RowsAreAddressedThroughSignedRowbytes)
{
    CheckPaddedRows<uint8_t>(false);
    CheckPaddedRows<uint16_t>(false);
    CheckPaddedRows<float>(false);
    CheckPaddedRows<uint8_t>(true);
    CheckPaddedRows<float>(true);

    // Bottom-up: row 0 is the last row in memory.
    HostWorld<uint8_t> up(1, 3, 0, true);
    const float px[4] = {0, 0, 0, 1};
    WorkRowToWorld(up.world, 0, px);
    EXPECT_EQ(up.memory[2 * 4 + A], 255);
    EXPECT_EQ(up.memory[0 * 4 + A], HostWorld<uint8_t>::FILL);
}

TEST(PixelConversion, EmptyWorldsAndRowsOutsideTouchNothing)
{
    std::vector<float> work(40, 1.0f);
    for (auto [width, height] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-2, 3}, std::pair{4, 4}}) {
        WorldView empty{};
        empty.width = width;
        empty.height = height;
        empty.row_bytes = 64;  // data stays null: nothing may be read or written
        work.assign(40, 1.0f);
        WorldToWorkBuffer(empty, work);
        EXPECT_TRUE(work.empty());
        empty.depth = WorldDepth::Float;
        WorkRowToWorld(empty, 0, work.data());
    }

    HostWorld<uint8_t> world(2, 2);
    const std::vector<uint8_t> before = world.memory;
    const float px[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    WorkRowToWorld(world.world, -1, px);
    WorkRowToWorld(world.world, 2, px);
    EXPECT_EQ(world.memory, before);
}

TEST(PixelConversion, RgbaWorldsHoldTheSameValuesInTheirOwnOrder)
{
    // One pixel of each depth in both orders: the work pixel is the same, the host bytes are permuted.
    const float px[4] = {0.25f, 0.5f, 0.75f, 1.0f};   // B, G, R, A
    HostWorld<uint8_t> argb(1, 1), rgba(1, 1, 0, false, ChannelOrder::RGBA);
    WorkRowToWorld(argb.world, 0, px);
    WorkRowToWorld(rgba.world, 0, px);
    EXPECT_EQ(argb.Get(0, 0, 0), 255);   // alpha first
    EXPECT_EQ(argb.Get(0, 0, 1), 191);
    EXPECT_EQ(rgba.Get(0, 0, 0), 191);   // red first
    EXPECT_EQ(rgba.Get(0, 0, 1), 128);
    EXPECT_EQ(rgba.Get(0, 0, 2), 64);
    EXPECT_EQ(rgba.Get(0, 0, 3), 255);
    std::vector<float> a, b;
    WorldToWorkBuffer(argb.world, a);
    WorldToWorkBuffer(rgba.world, b);
    EXPECT_EQ(a, b);

    HostWorld<uint16_t> deep(1, 1, 0, false, ChannelOrder::RGBA);
    WorkRowToWorld(deep.world, 0, px);
    EXPECT_EQ(deep.Get(0, 0, 0), 24576);
    EXPECT_EQ(deep.Get(0, 0, 3), 32768);
    HostWorld<float> exact(1, 1, 0, false, ChannelOrder::RGBA);
    WorkRowToWorld(exact.world, 0, px);
    EXPECT_EQ(exact.Get(0, 0, 0), 0.75f);
    EXPECT_EQ(exact.Get(0, 0, 2), 0.25f);
    WorldToWorkBuffer(exact.world, b);
    EXPECT_EQ(b, std::vector<float>(px, px + 4));
}
