// Host pixel storage and its conversions to and from float images.
#include "Pixels.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

// Host channel offset inside a pixel (A, R, G, B) for float channels B, G, R, A.
constexpr std::size_t HOST_CHANNEL[4] = {3, 2, 1, 0};

float FullScale(PixelDepth depth)
{
    return depth == PixelDepth::Bits8 ? 255.0f : 32768.0f;
}

// A level from a float: round half up, clamped to 0 .. full scale, NaN to 0.
unsigned Level(float v, float full_scale)
{
    if (!(v > 0.0f)) {
        return 0;
    }
    if (v >= 1.0f) {
        return static_cast<unsigned>(full_scale);
    }
    return static_cast<unsigned>(v * full_scale + 0.5f);
}

std::size_t ChannelBytes(PixelDepth depth)
{
    return BytesPerPixel(depth) / 4;
}

void ReadPixel(const unsigned char* host, PixelDepth depth, float* out)
{
    for (int c = 0; c < 4; ++c) {
        const unsigned char* at = host + HOST_CHANNEL[c] * ChannelBytes(depth);
        if (depth == PixelDepth::Float) {
            std::memcpy(&out[c], at, sizeof(float));
        } else if (depth == PixelDepth::Bits16) {
            std::uint16_t level;
            std::memcpy(&level, at, sizeof(level));
            out[c] = static_cast<float>(level) / FullScale(depth);
        } else {
            out[c] = static_cast<float>(*at) / FullScale(depth);
        }
    }
}

void WritePixel(const float* in, PixelDepth depth, unsigned char* host)
{
    for (int c = 0; c < 4; ++c) {
        unsigned char* at = host + HOST_CHANNEL[c] * ChannelBytes(depth);
        if (depth == PixelDepth::Float) {
            std::memcpy(at, &in[c], sizeof(float));
        } else if (depth == PixelDepth::Bits16) {
            const auto level = static_cast<std::uint16_t>(Level(in[c], FullScale(depth)));
            std::memcpy(at, &level, sizeof(level));
        } else {
            *at = static_cast<unsigned char>(Level(in[c], FullScale(depth)));
        }
    }
}

}   // namespace

PF_PixelFormat FormatOf(PixelDepth depth)
{
    switch (depth) {
    case PixelDepth::Bits16:
        return PF_PixelFormat_ARGB64;
    case PixelDepth::Float:
        return PF_PixelFormat_ARGB128;
    default:
        return PF_PixelFormat_ARGB32;
    }
}

std::size_t BytesPerPixel(PixelDepth depth)
{
    return static_cast<std::size_t>(depth) / 2;   // four channels of depth / 8 bytes
}

FloatImage::FloatImage(A_long w, A_long h)
    : width(w), height(h), pixels(static_cast<std::size_t>(std::max<A_long>(w, 0)) * std::max<A_long>(h, 0) * 4, 0.0f)
{
}

void FloatImage::Set(A_long x, A_long y, float b, float g, float r, float a)
{
    float* p = At(x, y);
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = a;
}

FloatImage FloatImage::Crop(A_long x0, A_long y0, A_long w, A_long h) const
{
    if (x0 < 0 || y0 < 0 || w < 0 || h < 0 || x0 + w > width || y0 + h > height) {
        throw std::out_of_range("crop outside the image");
    }
    FloatImage part(w, h);
    for (A_long y = 0; y < h; ++y) {
        std::copy_n(At(x0, y0 + y), static_cast<std::size_t>(w) * 4, part.At(0, y));
    }
    return part;
}

PixelBuffer::PixelBuffer(A_long width, A_long height, PixelDepth depth, A_long row_padding)
    : width_(width), height_(height), depth_(depth)
{
    if (width < 0 || height < 0 || row_padding < 0) {
        throw std::invalid_argument("negative buffer size");
    }
    rowbytes_ = width * static_cast<A_long>(BytesPerPixel(depth)) + row_padding;
    bytes_.assign(static_cast<std::size_t>(rowbytes_) * height, 0);
}

PF_EffectWorld PixelBuffer::World() const
{
    return Window(PF_LRect{0, 0, width_, height_});
}

PF_EffectWorld PixelBuffer::Window(const PF_LRect& rect) const
{
    const A_long left = std::max<A_long>(rect.left, 0);
    const A_long top = std::max<A_long>(rect.top, 0);
    const A_long right = std::min(rect.right, width_);
    const A_long bottom = std::min(rect.bottom, height_);
    PF_EffectWorld world{};
    world.world_flags = depth_ == PixelDepth::Bits16 ? PF_WorldFlag_DEEP : 0;
    world.pix_aspect_ratio = PF_RationalScale{1, 1};
    if (right <= left || bottom <= top) {
        return world;
    }
    // The host's buffers are not const to the plug-in; only the output is written.
    auto* base = const_cast<unsigned char*>(bytes_.data());
    world.data = reinterpret_cast<PF_PixelPtr>(base + static_cast<std::size_t>(top) * rowbytes_ +
                                               static_cast<std::size_t>(left) * BytesPerPixel(depth_));
    world.rowbytes = rowbytes_;
    world.width = right - left;
    world.height = bottom - top;
    world.extent_hint = PF_LRect{0, 0, world.width, world.height};
    world.origin_x = left;
    world.origin_y = top;
    return world;
}

void PixelBuffer::Store(const FloatImage& image)
{
    if (image.width != width_ || image.height != height_) {
        throw std::invalid_argument("image and buffer sizes differ");
    }
    for (A_long y = 0; y < height_; ++y) {
        unsigned char* row = bytes_.data() + static_cast<std::size_t>(y) * rowbytes_;
        for (A_long x = 0; x < width_; ++x) {
            WritePixel(image.At(x, y), depth_, row + static_cast<std::size_t>(x) * BytesPerPixel(depth_));
        }
    }
}

FloatImage PixelBuffer::Load() const
{
    return ReadWorld(World(), depth_);
}

void PixelBuffer::Fill(unsigned char value)
{
    std::fill(bytes_.begin(), bytes_.end(), value);
}

FloatImage ReadWorld(const PF_EffectWorld& world, PixelDepth depth)
{
    if (!world.data || world.width <= 0 || world.height <= 0) {
        return FloatImage();
    }
    FloatImage image(world.width, world.height);
    for (A_long y = 0; y < world.height; ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(world.data) + std::int64_t{y} * world.rowbytes;
        for (A_long x = 0; x < world.width; ++x) {
            ReadPixel(row + static_cast<std::size_t>(x) * BytesPerPixel(depth), depth, image.At(x, y));
        }
    }
    return image;
}
