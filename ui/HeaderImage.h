// The header as one premultiplied image in the host's byte order, coloured in a theme, and the process-wide
// cache of such images: a theme changes rarely, so each combination is built once and kept until unload.
#pragma once

#include "HeaderTheme.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Byte orders of the image, as the cache entry stores them.
inline constexpr unsigned char HEADER_ARGB = 0;   // alpha, red, green, blue
inline constexpr unsigned char HEADER_BGRA = 1;   // blue, green, red, alpha

// Header image size for a scale (1 or 2; anything else counts as 1), pixels.
int HeaderImageWidth(int scale);
int HeaderImageHeight(int scale);

// The header at a scale: the three masks painted in the theme's colours, the badge composited over them,
// 4 bytes a pixel, colour premultiplied (no colour byte above its alpha), rows top to bottom, no padding.
std::vector<unsigned char> BuildHeaderPixels(int scale, unsigned char byte_order, const HeaderTheme& theme);

// One finished image. Never changed once built.
struct HeaderImageEntry {
    int scale;                    // 1 or 2
    unsigned char byte_order;     // HEADER_ARGB or HEADER_BGRA
    HeaderTheme theme;            // text, secondary, accent
    std::vector<unsigned char> pixels;
};

// An image handed out by the cache: a cached entry, which lives as long as the cache, or, when the cache is
// full, an image of its own that lives as long as this object. Either way the pixels stay valid while it is
// held, so they can be given to the drawing suite.
class HeaderImage {
public:
    const unsigned char* pixels() const { return entry_->pixels.data(); }
    int width() const { return HeaderImageWidth(entry_->scale); }
    int height() const { return HeaderImageHeight(entry_->scale); }
    int row_bytes() const { return 4 * width(); }
    bool cached() const { return !own_; }
    const HeaderImageEntry& entry() const { return *entry_; }

private:
    friend class HeaderImageCache;
    explicit HeaderImage(const HeaderImageEntry* cached) : entry_(cached) {}
    explicit HeaderImage(std::unique_ptr<const HeaderImageEntry> own) : entry_(own.get()), own_(std::move(own)) {}

    const HeaderImageEntry* entry_;
    std::unique_ptr<const HeaderImageEntry> own_;
};

class HeaderImageCache {
public:
    static constexpr std::size_t CAPACITY = 33;
    using Builder = std::function<std::vector<unsigned char>(int scale, unsigned char byte_order, const HeaderTheme&)>;

    explicit HeaderImageCache(Builder build = BuildHeaderPixels) : build_(std::move(build)) {}
    HeaderImageCache(const HeaderImageCache&) = delete;
    HeaderImageCache& operator=(const HeaderImageCache&) = delete;

    // The image for a scale, byte order and theme: the first entry whose scale, order and nine colour
    // floats are exactly equal (NaN never matches), else a new one, appended while there is room. A full
    // cache, or a theme holding a NaN, gives an uncached image. Safe from any thread.
    HeaderImage Get(int scale, unsigned char byte_order, const HeaderTheme& theme);

    std::size_t Size() const;
    long Builds() const { return builds_.load(); }   // images built, cached or not

private:
    std::vector<unsigned char> Build(int scale, unsigned char byte_order, const HeaderTheme& theme);

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<const HeaderImageEntry>> entries_;   // boxed: entries never move
    Builder build_;
    std::atomic<long> builds_{0};
};

// The cache shared by every instance of the effect in the process; freed when the module unloads.
HeaderImageCache& ProcessHeaderImageCache();
