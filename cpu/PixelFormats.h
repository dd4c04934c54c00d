// How each depth and channel order lays out a pixel, and the arithmetic between a depth's levels and the
// kernel's floats: one definition per depth and per order, shared by the conversions to and from work
// buffers (PixelConversion) and by the row shaders, which read and write the worlds in place (ShadeRow,
// cpu/simd). A new depth is a DepthFormat specialisation and a case in WithPixelFormat; everything that
// reads or writes worlds then knows it.
#pragma once

#include "WorldView.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Single-precision value nearest 1/255: level * it gives exactly 1.0 for 255, and every level survives
// the way back through QuantiseLevel.
inline constexpr float INV_255 = 0.003921569f;
static_assert(std::bit_cast<std::uint32_t>(INV_255) == 0x3B808081u);
// 2^-15: the 16-bit depth's full scale is 32768, not 65535.
inline constexpr float INV_32768 = 3.0517578125e-5f;
static_assert(std::bit_cast<std::uint32_t>(INV_32768) == 0x38000000u);
// Single-precision value nearest 1/65535, for full-scale 16-bit levels: 65535 times it is exactly 1.0, and
// every level survives the way back through QuantiseLevel.
inline constexpr float INV_65535 = 1.52590219e-5f;
static_assert(std::bit_cast<std::uint32_t>(INV_65535) == 0x37800080u);

// One depth. Integer depths give their channel type, FULL_SCALE (the level that reads as 1.0) and
// INVERSE (a level reads as float(level) * INVERSE, in single precision; written back by QuantiseLevel
// at FULL_SCALE). Float channels are taken and written bit for bit.
template <WorldDepth DEPTH> struct DepthFormat;

template <> struct DepthFormat<WorldDepth::Bits8> {
    using Channel = std::uint8_t;
    static constexpr int FULL_SCALE = 255;
    static constexpr float INVERSE = INV_255;
};

template <> struct DepthFormat<WorldDepth::Bits16> {
    using Channel = std::uint16_t;
    static constexpr int FULL_SCALE = 32768;
    static constexpr float INVERSE = INV_32768;
};

template <> struct DepthFormat<WorldDepth::Bits16Full> {
    using Channel = std::uint16_t;
    static constexpr int FULL_SCALE = 65535;
    static constexpr float INVERSE = INV_65535;
};

template <> struct DepthFormat<WorldDepth::Float> {
    using Channel = float;
};

// Where blue, green, red and alpha lie in a pixel of one order: channel indices in memory.
template <ChannelOrder ORDER> struct OrderFormat;

template <> struct OrderFormat<ChannelOrder::ARGB> {
    static constexpr int B = 3, G = 2, R = 1, A = 0;
};

template <> struct OrderFormat<ChannelOrder::RGBA> {
    static constexpr int B = 2, G = 1, R = 0, A = 3;
};

template <> struct OrderFormat<ChannelOrder::BGRA> {
    static constexpr int B = 0, G = 1, R = 2, A = 3;
};

// A depth in an order: a world's pixel format.
template <WorldDepth DEPTH, ChannelOrder ORDER> struct PixelFormat : DepthFormat<DEPTH>, OrderFormat<ORDER> {
    using Channel = typename DepthFormat<DEPTH>::Channel;
    static constexpr bool FLOAT = std::is_same_v<Channel, float>;
    static constexpr int PIXEL_BYTES = 4 * int(sizeof(Channel));
};

// An integer level from a float: v in (0, 1) is scaled and rounded half up, both in single precision; at
// or above 1 it saturates at full scale; 0 or less and NaN give 0.
template <int FULL_SCALE> int QuantiseLevel(float v)
{
    if (v >= 1.0f)
        return FULL_SCALE;
    if (!(v > 0.0f))
        return 0;
    float scaled = v * float(FULL_SCALE);
    return int(scaled + 0.5f);
}

// A stored channel as the kernel's float.
template <class FORMAT> float ReadLevel(typename FORMAT::Channel level)
{
    if constexpr (FORMAT::FLOAT)
        return level;
    else
        return float(level) * FORMAT::INVERSE;
}

// A kernel float as a stored channel.
template <class FORMAT> typename FORMAT::Channel WriteLevel(float v)
{
    if constexpr (FORMAT::FLOAT)
        return v;
    else
        return typename FORMAT::Channel(QuantiseLevel<FORMAT::FULL_SCALE>(v));
}

// Calls visit.template operator()<PixelFormat<depth, order>>() and returns what it returns. Every place
// that reads or writes worlds chooses its code here. Depth codes this build does not know are taken as 8
// bits and unknown orders as ARGB, the compositing host's layout.
template <class VISIT> decltype(auto) WithPixelFormat(WorldDepth depth, ChannelOrder order, VISIT&& visit)
{
    const auto in_order = [&]<WorldDepth D>() -> decltype(auto) {
        switch (order) {
        case ChannelOrder::RGBA:
            return visit.template operator()<PixelFormat<D, ChannelOrder::RGBA>>();
        case ChannelOrder::BGRA:
            return visit.template operator()<PixelFormat<D, ChannelOrder::BGRA>>();
        case ChannelOrder::ARGB:
            break;
        }
        return visit.template operator()<PixelFormat<D, ChannelOrder::ARGB>>();
    };
    switch (depth) {
    case WorldDepth::Float:
        return in_order.template operator()<WorldDepth::Float>();
    case WorldDepth::Bits16:
        return in_order.template operator()<WorldDepth::Bits16>();
    case WorldDepth::Bits16Full:
        return in_order.template operator()<WorldDepth::Bits16Full>();
    case WorldDepth::Bits8:
        break;
    }
    return in_order.template operator()<WorldDepth::Bits8>();
}

// Bytes of one pixel of the world's format.
inline int PixelBytes(const WorldView& world)
{
    return WithPixelFormat(world.depth, world.order, []<class P>() { return P::PIXEL_BYTES; });
}

// Row `row` of the world, at data + row * row_bytes in signed 64-bit arithmetic (row_bytes may be
// negative, for rows stored bottom-up, or larger than the pixels need).
inline char* RowAddress(const WorldView& world, std::int64_t row)
{
    return static_cast<char*>(world.data) + row * std::int64_t(world.row_bytes);
}
