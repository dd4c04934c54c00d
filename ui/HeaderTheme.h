// The header's colours: the host's theme, adjusted so the texts stay readable on the panel.
#pragma once

// An RGB colour, each channel 0 to 1.
struct HeaderColor {
    float r, g, b;
};

// The three colours the header's masks are painted in.
struct HeaderTheme {
    HeaderColor text;
    HeaderColor secondary;   // version and separator dots, always 0.62 text + 0.38 background
    HeaderColor accent;      // web address and "About"
};

// The host's colours as read, or the defaults where the host gave none.
struct HostThemeColors {
    HeaderColor text;
    HeaderColor accent;
    HeaderColor background;   // only used to derive the others; the header paints no background
};

inline constexpr HeaderColor HEADER_DEFAULT_TEXT{0.84f, 0.84f, 0.84f};
inline constexpr HeaderColor HEADER_DEFAULT_ACCENT{0.33f, 0.62f, 1.0f};
inline constexpr HeaderColor HEADER_DEFAULT_BACKGROUND{0.14f, 0.14f, 0.14f};
inline constexpr HostThemeColors HEADER_DEFAULT_COLORS{HEADER_DEFAULT_TEXT, HEADER_DEFAULT_ACCENT,
                                                       HEADER_DEFAULT_BACKGROUND};

// Rec. 709 luminance.
float Luminance(HeaderColor color);

// Text too close to the background in luminance becomes a grey, an accent too close becomes a fixed blue
// (each picked for a light or a dark panel), and the secondary colour is mixed from text and background.
HeaderTheme DeriveHeaderTheme(const HostThemeColors& host);
