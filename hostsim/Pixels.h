// Pixels as the simulated host keeps them: float images for people to fill and compare, and pixel
// buffers in one of the host's depths (ARGB, 8-bit, 16-bit with full scale 32768, or float) with their
// own row stride, from which the host hands out worlds.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"

#include <cstddef>
#include <vector>

// Bits per channel of a host world.
enum class PixelDepth { Bits8 = 8, Bits16 = 16, Float = 32 };

PF_PixelFormat FormatOf(PixelDepth depth);
std::size_t BytesPerPixel(PixelDepth depth);

// An image of width x height pixels, 4 floats each in the order B, G, R, A, straight alpha, rows packed:
// the layout of the plug-in's work buffers.
struct FloatImage {
    A_long width = 0;
    A_long height = 0;
    std::vector<float> pixels;

    FloatImage() = default;
    FloatImage(A_long w, A_long h);   // transparent black

    float* At(A_long x, A_long y) { return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
    const float* At(A_long x, A_long y) const
    {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }
    // Sets pixel (x, y) from straight B, G, R, A.
    void Set(A_long x, A_long y, float b, float g, float r, float a);
    // The rows [y0, y0 + h) and columns [x0, x0 + w) as an image of their own.
    FloatImage Crop(A_long x0, A_long y0, A_long w, A_long h) const;
};

// Host pixels in one depth, rows `rowbytes` apart (the pixels' width plus padding bytes).
class PixelBuffer {
public:
    PixelBuffer() = default;
    PixelBuffer(A_long width, A_long height, PixelDepth depth, A_long row_padding = 0);

    A_long width() const { return width_; }
    A_long height() const { return height_; }
    PixelDepth depth() const { return depth_; }
    A_long rowbytes() const { return rowbytes_; }
    A_long row_padding() const { return rowbytes_ - width_ * static_cast<A_long>(BytesPerPixel(depth_)); }

    // The whole buffer as a world: origin (0, 0), PF_WorldFlag_DEEP at 16 bits.
    PF_EffectWorld World() const;
    // The part inside rect (clipped to the buffer) as a world sharing these pixels, its origin at the
    // rectangle's top-left corner. An empty part gives a world of width and height 0 without data.
    PF_EffectWorld Window(const PF_LRect& rect) const;

    // Stores the image (same size) in this depth: integer depths round to the nearest level and clamp,
    // floats are copied.
    void Store(const FloatImage& image);
    // The pixels as floats: levels divided by their full scale.
    FloatImage Load() const;
    // Every byte set to `value`, padding included: a fresh host buffer holds no particular picture.
    void Fill(unsigned char value);

private:
    A_long width_ = 0;
    A_long height_ = 0;
    PixelDepth depth_ = PixelDepth::Bits8;
    A_long rowbytes_ = 0;
    std::vector<unsigned char> bytes_;
};

// A world's pixels (of any of the three depths) as floats, rows read `rowbytes` apart.
FloatImage ReadWorld(const PF_EffectWorld& world, PixelDepth depth);
