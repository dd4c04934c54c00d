// The header image and its colours, built directly: the readability rules of the theme, the pixel rules of
// the image, and the cache (one build per combination, safe under concurrent use, correct when full).
#include "HeaderImage.h"
#include "HeaderTheme.h"
#include "UiTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <new>
#include <thread>

namespace {

constexpr HeaderColor GREY(float v)
{
    return {v, v, v};
}

void ExpectColor(const HeaderColor& actual, const HeaderColor& expected)
{
    EXPECT_FLOAT_EQ(actual.r, expected.r);
    EXPECT_FLOAT_EQ(actual.g, expected.g);
    EXPECT_FLOAT_EQ(actual.b, expected.b);
}

HeaderTheme SomeTheme(int n)
{
    const float v = 0.5f + n / 1000.0f;
    return HeaderTheme{GREY(v), GREY(0.4f), {0.2f, 0.5f, 0.9f}};
}

}   // namespace

TEST(HeaderTheme, TextNearALightBackgroundBecomesDarkGrey)
{
    const HeaderTheme theme = DeriveHeaderTheme({GREY(0.8f), {0.0f, 0.2f, 0.6f}, GREY(0.9f)});
    ExpectColor(theme.text, GREY(0.1f));
}

TEST(HeaderTheme, TextNearADarkBackgroundBecomesLightGrey)
{
    ExpectColor(DeriveHeaderTheme({GREY(0.3f), HEADER_DEFAULT_ACCENT, GREY(0.14f)}).text, GREY(0.88f));
}

TEST(HeaderTheme, ReadableColoursAreKept)
{
    const HeaderTheme theme = DeriveHeaderTheme({GREY(0.84f), {1.0f, 0.5f, 0.0f}, GREY(0.14f)});
    ExpectColor(theme.text, GREY(0.84f));
    ExpectColor(theme.accent, {1.0f, 0.5f, 0.0f});
}

TEST(HeaderTheme, AccentNearTheBackgroundBecomesAFixedBlue)
{
    ExpectColor(DeriveHeaderTheme({GREY(0.1f), GREY(0.8f), GREY(0.85f)}).accent, {0.05f, 0.33f, 0.8f});
    ExpectColor(DeriveHeaderTheme({GREY(0.9f), GREY(0.2f), GREY(0.14f)}).accent, {0.4f, 0.68f, 1.0f});
}

TEST(HeaderTheme, SecondaryMixesTheFinalTextWithTheBackground)
{
    const HeaderColor background{0.2f, 0.1f, 0.05f};
    const HeaderTheme theme = DeriveHeaderTheme({{0.9f, 0.8f, 0.7f}, HEADER_DEFAULT_ACCENT, background});
    ExpectColor(theme.secondary, {0.62f * 0.9f + 0.38f * 0.2f, 0.62f * 0.8f + 0.38f * 0.1f, 0.62f * 0.7f + 0.38f * 0.05f});
    // After the text was replaced: the grey is mixed, not the host's text.
    const HeaderTheme grey = DeriveHeaderTheme({GREY(0.8f), HEADER_DEFAULT_ACCENT, GREY(0.9f)});
    ExpectColor(grey.secondary, GREY(0.62f * 0.1f + 0.38f * 0.9f));
}

TEST(HeaderImagePixels, MasksArePaintedInTheirColours)
{
    const HeaderTheme theme{{0.9f, 0.6f, 0.3f}, {0.5f, 0.5f, 0.5f}, {0.33f, 0.62f, 1.0f}};
    const std::vector<unsigned char> image = BuildHeaderPixels(1, HEADER_ARGB, theme);
    ASSERT_EQ(image.size(), 60000u);
    const struct {
        const unsigned char* mask;
        HeaderColor color;
    } layers[] = {{HEADER_TEXT_MASK_1X, theme.text}, {HEADER_SECONDARY_MASK_1X, theme.secondary},
                  {HEADER_ACCENT_MASK_1X, theme.accent}};
    for (const auto& layer : layers) {
        const int i = PeakPixel(layer.mask);
        ASSERT_GT(layer.mask[i], 128);
        const HeaderColor color = Covered(layer.color, layer.mask[i]);
        const unsigned char* p = image.data() + i * 4;
        EXPECT_EQ(p[0], layer.mask[i]);
        EXPECT_EQ(p[1], ChannelByte(color.r));
        EXPECT_EQ(p[2], ChannelByte(color.g));
        EXPECT_EQ(p[3], ChannelByte(color.b));
    }
    // Far from all ink: transparent.
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(image[(49 * HEADER_WIDTH + 299) * 4 + k], 0);
    }
}

TEST(HeaderImagePixels, TheBadgeCoversTheTextsAndKeepsItsOwnPixels)
{
    const HeaderArtSet art = HeaderArtForScale(2);
    const std::vector<unsigned char> image = BuildHeaderPixels(2, HEADER_BGRA, SomeTheme(0));
    ASSERT_EQ(image.size(), 240000u);
    int opaque = 0;
    for (int y = 0; y < art.badge_height; ++y) {
        for (int x = 0; x < art.badge_width; ++x) {
            const unsigned char* badge = art.badge + (y * art.badge_width + x) * 4;
            const unsigned char* p = image.data() + ((y + art.badge_y) * art.width + x + art.badge_x) * 4;
            if (badge[3] == 255) {
                ++opaque;
                EXPECT_EQ(p[0], badge[2]) << x << "," << y;
                EXPECT_EQ(p[1], badge[1]);
                EXPECT_EQ(p[2], badge[0]);
                EXPECT_EQ(p[3], 255);
            }
        }
    }
    EXPECT_GT(opaque, 0);
}

TEST(HeaderImagePixels, ColourNeverExceedsAlphaAndOrdersHoldTheSamePixels)
{
    // Channels at and beyond full scale, as a careless theme could give.
    const HeaderTheme bright{GREY(1.0f), {1.5f, 1.0f, 2.0f}, {1.0f, 1.0f, 1.0f}};
    for (int scale : {1, 2}) {
        const std::vector<unsigned char> argb = BuildHeaderPixels(scale, HEADER_ARGB, bright);
        const std::vector<unsigned char> bgra = BuildHeaderPixels(scale, HEADER_BGRA, bright);
        ASSERT_EQ(argb.size(), bgra.size());
        for (std::size_t i = 0; i < argb.size(); i += 4) {
            ASSERT_LE(argb[i + 1], argb[i]) << "pixel " << i / 4;
            ASSERT_LE(argb[i + 2], argb[i]);
            ASSERT_LE(argb[i + 3], argb[i]);
            ASSERT_EQ(bgra[i + 0], argb[i + 3]);
            ASSERT_EQ(bgra[i + 1], argb[i + 2]);
            ASSERT_EQ(bgra[i + 2], argb[i + 1]);
            ASSERT_EQ(bgra[i + 3], argb[i + 0]);
        }
    }
}

TEST(HeaderImageCache, BuildsEachCombinationOnce)
{
    HeaderImageCache cache;
    const HeaderImage first = cache.Get(1, HEADER_ARGB, SomeTheme(1));
    const HeaderImage again = cache.Get(1, HEADER_ARGB, SomeTheme(1));
    EXPECT_EQ(cache.Builds(), 1);
    EXPECT_EQ(first.pixels(), again.pixels());
    EXPECT_TRUE(again.cached());

    // Scale, byte order and each colour are part of the key.
    (void)cache.Get(2, HEADER_ARGB, SomeTheme(1));
    (void)cache.Get(1, HEADER_BGRA, SomeTheme(1));
    HeaderTheme accent = SomeTheme(1);
    accent.accent.b = std::nextafter(accent.accent.b, 0.0f);
    (void)cache.Get(1, HEADER_ARGB, accent);
    EXPECT_EQ(cache.Builds(), 4);
    EXPECT_EQ(cache.Size(), 4u);
    EXPECT_EQ(cache.Get(2, HEADER_ARGB, SomeTheme(1)).width(), 600);
    EXPECT_EQ(cache.Builds(), 4);
}

TEST(HeaderImageCache, PastItsCapacityHandsOutCorrectImagesOfTheirOwn)
{
    HeaderImageCache cache;
    for (int n = 0; n < 33; ++n) {
        EXPECT_TRUE(cache.Get(1, HEADER_ARGB, SomeTheme(n)).cached());
    }
    EXPECT_EQ(cache.Size(), 33u);
    for (int scale : {1, 2}) {
        const HeaderImage extra = cache.Get(scale, HEADER_BGRA, SomeTheme(100));
        EXPECT_FALSE(extra.cached());
        EXPECT_EQ(extra.width(), scale == 2 ? 600 : 300);
        EXPECT_EQ(extra.entry().pixels, BuildHeaderPixels(scale, HEADER_BGRA, SomeTheme(100)));
    }
    EXPECT_EQ(cache.Size(), 33u);
    // The cached ones are still found without building.
    const long builds = cache.Builds();
    EXPECT_TRUE(cache.Get(1, HEADER_ARGB, SomeTheme(0)).cached());
    EXPECT_TRUE(cache.Get(1, HEADER_ARGB, SomeTheme(32)).cached());
    EXPECT_EQ(cache.Builds(), builds);
}

TEST(HeaderImageCache, ANaNThemeIsNeverCached)
{
    HeaderImageCache cache;
    HeaderTheme theme = SomeTheme(0);
    theme.text.g = std::numeric_limits<float>::quiet_NaN();
    for (int i = 0; i < 3; ++i) {
        const HeaderImage image = cache.Get(1, HEADER_ARGB, theme);
        EXPECT_FALSE(image.cached());
        EXPECT_EQ(image.entry().pixels.size(), 60000u);
    }
    EXPECT_EQ(cache.Size(), 0u);
}

TEST(HeaderImageCache, AFailedBuildLeavesTheCacheUsable)
{
    int calls = 0;
    HeaderImageCache cache([&calls](int scale, unsigned char order, const HeaderTheme& theme) {
        if (++calls == 1) {
            throw std::bad_alloc();
        }
        return BuildHeaderPixels(scale, order, theme);
    });
    EXPECT_THROW((void)cache.Get(1, HEADER_ARGB, SomeTheme(0)), std::bad_alloc);
    EXPECT_EQ(cache.Size(), 0u);
    EXPECT_TRUE(cache.Get(1, HEADER_ARGB, SomeTheme(0)).cached());   // would hang on a lock left held
    EXPECT_EQ(cache.Size(), 1u);
}

TEST(HeaderImageCache, ConcurrentDrawsShareOneImagePerCombination)
{
    constexpr int THREADS = 8;
    constexpr int KEYS = 6;
    std::map<int, int> builds_per_key;
    std::mutex builds_mutex;
    HeaderImageCache cache([&](int scale, unsigned char order, const HeaderTheme& theme) {
        {
            const std::lock_guard<std::mutex> lock(builds_mutex);
            ++builds_per_key[static_cast<int>(std::lround((theme.text.r - 0.5f) * 1000.0f))];
        }
        std::this_thread::yield();   // widen the window in which a second build could slip in
        return BuildHeaderPixels(scale, order, theme);
    });
    std::vector<std::vector<const unsigned char*>> seen(THREADS, std::vector<const unsigned char*>(KEYS));
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                const int key = (t + round) % KEYS;
                const HeaderImage image = cache.Get(1, HEADER_ARGB, SomeTheme(key));
                if (seen[t][key] && seen[t][key] != image.pixels()) {
                    ADD_FAILURE() << "key " << key << " changed its image";
                }
                seen[t][key] = image.pixels();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(cache.Builds(), KEYS);
    for (int key = 0; key < KEYS; ++key) {
        EXPECT_EQ(builds_per_key[key], 1) << "key " << key;
        for (int t = 1; t < THREADS; ++t) {
            EXPECT_EQ(seen[t][key], seen[0][key]);
        }
        EXPECT_EQ(cache.Get(1, HEADER_ARGB, SomeTheme(key)).entry().pixels,
                  BuildHeaderPixels(1, HEADER_ARGB, SomeTheme(key)));
    }
}
