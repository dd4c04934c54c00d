// Building and caching the header image.
#include "HeaderImage.h"

#include "HeaderArt.h"

#include <algorithm>
#include <cmath>

namespace {

// floor(value x 255 + 0.5), limited to 0 to 255; NaN gives 0.
unsigned char ToByte(float value)
{
    const float scaled = value * 255.0f + 0.5f;
    if (!(scaled >= 1.0f)) {
        return 0;
    }
    return scaled >= 255.0f ? 255 : static_cast<unsigned char>(std::floor(scaled));
}

bool SameColor(const HeaderColor& a, const HeaderColor& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

bool SameTheme(const HeaderTheme& a, const HeaderTheme& b)
{
    return SameColor(a.text, b.text) && SameColor(a.secondary, b.secondary) && SameColor(a.accent, b.accent);
}

int NormalScale(int scale)
{
    return scale == 2 ? 2 : 1;
}

HeaderImageCache g_process_cache;

}   // namespace

int HeaderImageWidth(int scale)
{
    return NormalScale(scale) == 2 ? HEADER_WIDTH_2X : HEADER_WIDTH;
}

int HeaderImageHeight(int scale)
{
    return NormalScale(scale) == 2 ? HEADER_HEIGHT_2X : HEADER_HEIGHT;
}

std::vector<unsigned char> BuildHeaderPixels(int scale, unsigned char byte_order, const HeaderTheme& theme)
{
    const HeaderArtSet art = HeaderArtForScale(NormalScale(scale));
    std::vector<unsigned char> pixels(static_cast<std::size_t>(art.width) * art.height * 4, 0);
    const HeaderColor& t = theme.text;
    const HeaderColor& s = theme.secondary;
    const HeaderColor& c = theme.accent;
    for (int y = 0; y < art.height; ++y) {
        for (int x = 0; x < art.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * art.width + x;
            const float a = art.text[i] / 255.0f;
            const float b = art.secondary[i] / 255.0f;
            const float k = art.accent[i] / 255.0f;
            float red = a * t.r + b * s.r + k * c.r;
            float green = a * t.g + b * s.g + k * c.g;
            float blue = a * t.b + b * s.b + k * c.b;
            float alpha = a + b + k;

            const int bx = x - art.badge_x;
            const int by = y - art.badge_y;
            if (bx >= 0 && bx < art.badge_width && by >= 0 && by < art.badge_height) {
                // The badge is premultiplied RGBA, composited over the texts.
                const unsigned char* badge = art.badge + (static_cast<std::size_t>(by) * art.badge_width + bx) * 4;
                const float cover = 1.0f - badge[3] / 255.0f;
                red = red * cover + badge[0] / 255.0f;
                green = green * cover + badge[1] / 255.0f;
                blue = blue * cover + badge[2] / 255.0f;
                alpha = alpha * cover + badge[3] / 255.0f;
            }

            const unsigned char A = ToByte(std::fmin(alpha, 1.0f));
            const unsigned char R = std::min(ToByte(red), A);
            const unsigned char G = std::min(ToByte(green), A);
            const unsigned char B = std::min(ToByte(blue), A);
            unsigned char* out = pixels.data() + i * 4;
            if (byte_order == HEADER_BGRA) {
                out[0] = B, out[1] = G, out[2] = R, out[3] = A;
            } else {
                out[0] = A, out[1] = R, out[2] = G, out[3] = B;
            }
        }
    }
    return pixels;
}

std::vector<unsigned char> HeaderImageCache::Build(int scale, unsigned char byte_order, const HeaderTheme& theme)
{
    ++builds_;
    std::vector<unsigned char> pixels = build_(scale, byte_order, theme);
    // Whatever the builder, the drawing code relies on the size.
    pixels.resize(static_cast<std::size_t>(HeaderImageWidth(scale)) * HeaderImageHeight(scale) * 4, 0);
    return pixels;
}

HeaderImage HeaderImageCache::Get(int scale, unsigned char byte_order, const HeaderTheme& theme)
{
    scale = NormalScale(scale);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : entries_) {
            if (entry->scale == scale && entry->byte_order == byte_order && SameTheme(entry->theme, theme)) {
                return HeaderImage(entry.get());
            }
        }
        // A theme with a NaN would never be found again: caching it would only fill the cache.
        if (entries_.size() < CAPACITY && SameTheme(theme, theme)) {
            auto entry = std::make_unique<HeaderImageEntry>(
                HeaderImageEntry{scale, byte_order, theme, Build(scale, byte_order, theme)});
            entries_.push_back(std::move(entry));
            return HeaderImage(entries_.back().get());
        }
    }
    // Built outside the lock: an image of its own touches nothing shared.
    return HeaderImage(std::make_unique<const HeaderImageEntry>(
        HeaderImageEntry{scale, byte_order, theme, Build(scale, byte_order, theme)}));
}

std::size_t HeaderImageCache::Size() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

HeaderImageCache& ProcessHeaderImageCache()
{
    return g_process_cache;
}
