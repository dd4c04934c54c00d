// Per-channel scaling between host depths and work floats. Host pixels are A, R, G, B or R, G, B, A in
// memory; work pixels are B, G, R, A. Rows are found at data + row * row_bytes in signed 64-bit
// arithmetic, since row_bytes may be negative (bottom-up worlds) or larger than the pixels need.
#include "PixelConversion.h"

#include <bit>
#include <cstring>

namespace {

// Single-precision value nearest 1/255: level * it gives exactly 1.0 for 255, and every level survives
// the way back through Quantise.
constexpr float INV_255 = 0.003921569f;
static_assert(std::bit_cast<uint32_t>(INV_255) == 0x3B808081u);
// 2^-15: the 16-bit depth's full scale is 32768, not 65535.
constexpr float INV_32768 = 3.0517578125e-5f;
static_assert(std::bit_cast<uint32_t>(INV_32768) == 0x38000000u);
// Single-precision value nearest 1/65535 for full-scale 16-bit levels: 65535 times it is exactly 1.0,
// and every level survives the way back through Quantise.
constexpr float INV_65535 = 1.52590219e-5f;
static_assert(std::bit_cast<uint32_t>(INV_65535) == 0x37800080u);

// Host channel index inside one pixel for work channels B, G, R, A.
template <ChannelOrder ORDER> constexpr size_t HostChannel(int work_channel)
{
    constexpr size_t ARGB[4] = {3, 2, 1, 0};
    constexpr size_t RGBA[4] = {2, 1, 0, 3};
    return ORDER == ChannelOrder::RGBA ? RGBA[work_channel] : ARGB[work_channel];
}

// One host channel type: how it reads into and writes from a work float. Host memory is read and
// written through memcpy, which needs no alignment and keeps float bits exactly (NaN payloads too).
// An integer level from a work value: v in (0, 1) is scaled and rounded half up, both in single
// precision; at or above 1 it saturates at full scale; 0 or less and NaN give 0.
template <int FULL_SCALE> int Quantise(float v)
{
    if (v >= 1.0f)
        return FULL_SCALE;
    if (!(v > 0.0f))
        return 0;
    float scaled = v * float(FULL_SCALE);
    return int(scaled + 0.5f);
}

// T names the channel: its stored type, or a tag for a stored type with another full scale.
template <typename T> struct Channel;

// 16-bit levels with full scale 65535, stored as uint16_t.
struct Uint16Full;

template <> struct Channel<uint8_t> {
    using Stored = uint8_t;
    static float Read(uint8_t level) { return float(level) * INV_255; }
    static uint8_t Write(float v) { return uint8_t(Quantise<255>(v)); }
};

template <> struct Channel<uint16_t> {
    using Stored = uint16_t;
    static float Read(uint16_t level) { return float(level) * INV_32768; }
    static uint16_t Write(float v) { return uint16_t(Quantise<32768>(v)); }
};

template <> struct Channel<Uint16Full> {
    using Stored = uint16_t;
    static float Read(uint16_t level) { return float(level) * INV_65535; }
    static uint16_t Write(float v) { return uint16_t(Quantise<65535>(v)); }
};

template <> struct Channel<float> {
    using Stored = float;
    static float Read(float v) { return v; }
    static float Write(float v) { return v; }
};

char* RowAddress(const WorldView& world, int32_t row)
{
    return static_cast<char*>(world.data) + int64_t(row) * int64_t(world.row_bytes);
}

template <typename T, ChannelOrder ORDER> void ReadRow(const char* host, size_t width, float* work)
{
    using S = typename Channel<T>::Stored;
    for (size_t x = 0; x < width; x++, host += 4 * sizeof(S), work += 4)
        for (int c = 0; c < 4; c++) {
            S level;
            std::memcpy(&level, host + HostChannel<ORDER>(c) * sizeof(S), sizeof(S));
            work[c] = Channel<T>::Read(level);
        }
}

template <typename T, ChannelOrder ORDER> void WriteRow(const float* work, size_t width, char* host)
{
    using S = typename Channel<T>::Stored;
    for (size_t x = 0; x < width; x++, host += 4 * sizeof(S), work += 4)
        for (int c = 0; c < 4; c++) {
            S level = Channel<T>::Write(work[c]);
            std::memcpy(host + HostChannel<ORDER>(c) * sizeof(S), &level, sizeof(S));
        }
}

using ReadRowFn = void (*)(const char* host, size_t width, float* work);
using WriteRowFn = void (*)(const float* work, size_t width, char* host);

template <ChannelOrder ORDER> ReadRowFn ReaderFor(WorldDepth depth)
{
    return depth == WorldDepth::Float        ? ReadRow<float, ORDER>
           : depth == WorldDepth::Bits16     ? ReadRow<uint16_t, ORDER>
           : depth == WorldDepth::Bits16Full ? ReadRow<Uint16Full, ORDER>
                                             : ReadRow<uint8_t, ORDER>;
}

template <ChannelOrder ORDER> WriteRowFn WriterFor(WorldDepth depth)
{
    return depth == WorldDepth::Float        ? WriteRow<float, ORDER>
           : depth == WorldDepth::Bits16     ? WriteRow<uint16_t, ORDER>
           : depth == WorldDepth::Bits16Full ? WriteRow<Uint16Full, ORDER>
                                             : WriteRow<uint8_t, ORDER>;
}

ReadRowFn ReaderFor(const WorldView& world)
{
    return world.order == ChannelOrder::RGBA ? ReaderFor<ChannelOrder::RGBA>(world.depth)
                                             : ReaderFor<ChannelOrder::ARGB>(world.depth);
}

WriteRowFn WriterFor(const WorldView& world)
{
    return world.order == ChannelOrder::RGBA ? WriterFor<ChannelOrder::RGBA>(world.depth)
                                             : WriterFor<ChannelOrder::ARGB>(world.depth);
}

} // namespace

void WorldToWorkBuffer(const WorldView& world, std::vector<float>& buffer)
{
    if (!HasPixels(world)) {
        buffer.clear();
        return;
    }
    const size_t width = size_t(world.width);
    buffer.resize(width * size_t(world.height) * 4);
    const ReadRowFn readRow = ReaderFor(world);
    for (int32_t y = 0; y < world.height; y++)
        readRow(RowAddress(world, y), width, buffer.data() + size_t(y) * width * 4);
}

void WorkRowToWorld(const WorldView& world, int32_t row, const float* pixels)
{
    if (!HasPixels(world) || row < 0 || row >= world.height)
        return;
    WriterFor(world)(pixels, size_t(world.width), RowAddress(world, row));
}
