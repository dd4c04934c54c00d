// The header's colours from the host's theme.
#include "HeaderTheme.h"

#include <cmath>

namespace {

constexpr float LIGHT_BACKGROUND = 0.5f;
constexpr float TEXT_MIN_CONTRAST = 0.35f;     // luminance difference
constexpr float ACCENT_MIN_CONTRAST = 0.2f;
constexpr float TEXT_GREY_ON_LIGHT = 0.1f;
constexpr float TEXT_GREY_ON_DARK = 0.88f;
constexpr HeaderColor ACCENT_ON_LIGHT{0.05f, 0.33f, 0.8f};
constexpr HeaderColor ACCENT_ON_DARK{0.4f, 0.68f, 1.0f};
constexpr float SECONDARY_TEXT_SHARE = 0.62f;
constexpr float SECONDARY_BACKGROUND_SHARE = 0.38f;

}   // namespace

float Luminance(HeaderColor color)
{
    return 0.2126f * color.r + 0.7152f * color.g + 0.0722f * color.b;
}

HeaderTheme DeriveHeaderTheme(const HostThemeColors& host)
{
    const float background = Luminance(host.background);
    const bool light = background > LIGHT_BACKGROUND;

    HeaderTheme theme{host.text, {}, host.accent};
    if (std::fabs(Luminance(theme.text) - background) < TEXT_MIN_CONTRAST) {
        const float grey = light ? TEXT_GREY_ON_LIGHT : TEXT_GREY_ON_DARK;
        theme.text = {grey, grey, grey};
    }
    if (std::fabs(Luminance(theme.accent) - background) < ACCENT_MIN_CONTRAST) {
        theme.accent = light ? ACCENT_ON_LIGHT : ACCENT_ON_DARK;
    }
    theme.secondary = {SECONDARY_TEXT_SHARE * theme.text.r + SECONDARY_BACKGROUND_SHARE * host.background.r,
                       SECONDARY_TEXT_SHARE * theme.text.g + SECONDARY_BACKGROUND_SHARE * host.background.g,
                       SECONDARY_TEXT_SHARE * theme.text.b + SECONDARY_BACKGROUND_SHARE * host.background.b};
    return theme;
}
