// A view of pixels a host owns: where they are, how big, how rows follow each other, how each pixel is
// stored, and where the view lies in its layer. Plain data; the core never frees or keeps it.
#pragma once

#include <cstddef>
#include <cstdint>

// Bits per channel. Bits16 levels have full scale 32768, the compositing host's convention (32768 reads
// as 1.0; levels up to 65535 read above 1); Bits16Full levels full scale 65535, OpenFX's (65535 reads as
// 1.0); 8-bit levels full scale 255; floats are taken as they are.
enum class WorldDepth : int { Bits8 = 8, Bits16 = 16, Float = 32, Bits16Full = 116 };

// The order of the four channels of a pixel in memory, each channel of the depth's type.
enum class ChannelOrder : int {
    ARGB,   // alpha, red, green, blue: the compositing host's worlds
    RGBA,   // red, green, blue, alpha: frei0r frames, OpenFX images
    BGRA,   // blue, green, red, alpha: the GPU worlds and the kernel's float work buffers
};

struct WorldView {
    void* data = nullptr;          // pixel (0, 0)
    std::int32_t width = 0;        // pixels
    std::int32_t height = 0;
    std::ptrdiff_t row_bytes = 0;  // from one row to the next; negative for rows stored bottom-up
    WorldDepth depth = WorldDepth::Bits8;
    ChannelOrder order = ChannelOrder::ARGB;
    // The layer position of pixel (0, 0), layer pixels at the current downsample, y downwards.
    std::int32_t origin_x = 0;
    std::int32_t origin_y = 0;
};

// Present, at least one pixel wide and high, with pixel data.
inline bool HasPixels(const WorldView& world)
{
    return world.data != nullptr && world.width > 0 && world.height > 0;
}
