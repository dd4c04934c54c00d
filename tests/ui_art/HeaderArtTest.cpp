// The generated header artwork against the header's layout: ink only where the drawing and hit testing expect
// it, masks that never share a pixel, 2x art that is the 1x layout doubled, and a premultiplied badge.
#include "ui/HeaderArt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct Element {
  const char* what;
  int layer;
  int x0, x1, y0, y1;  // 1x, right and bottom exclusive
};

// Written out here rather than taken from HeaderArt.h, so a slip in the header's table shows up as misplaced ink.
constexpr Element LAYOUT[] = {
    {"name", HEADER_LAYER_TEXT, 80, 174, 11, 28},        {"byline", HEADER_LAYER_TEXT, 80, 148, 31, 43},
    {"version", HEADER_LAYER_SECONDARY, 180, 211, 16, 24}, {"first dot", HEADER_LAYER_SECONDARY, 153, 156, 35, 37},
    {"link", HEADER_LAYER_ACCENT, 163, 237, 31, 43},       {"second dot", HEADER_LAYER_SECONDARY, 243, 246, 35, 37},
    {"About", HEADER_LAYER_ACCENT, 252, 284, 32, 40},
};

const unsigned char* Mask(const HeaderArtSet& art, int layer) {
  return layer == HEADER_LAYER_TEXT ? art.text : layer == HEADER_LAYER_SECONDARY ? art.secondary : art.accent;
}

struct Ink {
  int x0 = 1 << 20, x1 = -1, y0 = 1 << 20, y1 = -1;  // bounding box, right and bottom exclusive
  int peak = 0;
  long sum = 0;
  bool empty() const { return x1 < 0; }
};

// Ink of one element: its layer's coverage inside its rectangle at the set's scale.
Ink InkOf(const HeaderArtSet& art, const Element& e) {
  const unsigned char* mask = Mask(art, e.layer);
  Ink ink;
  for (int y = e.y0 * art.scale; y < e.y1 * art.scale; ++y)
    for (int x = e.x0 * art.scale; x < e.x1 * art.scale; ++x) {
      int c = mask[y * art.width + x];
      if (c == 0) continue;
      ink.x0 = std::min(ink.x0, x);
      ink.x1 = std::max(ink.x1, x + 1);
      ink.y0 = std::min(ink.y0, y);
      ink.y1 = std::max(ink.y1, y + 1);
      ink.peak = std::max(ink.peak, c);
      ink.sum += c;
    }
  return ink;
}

long BadgeAlphaSum(const HeaderArtSet& art) {
  long sum = 0;
  for (int i = 0; i < art.badge_width * art.badge_height; ++i) sum += art.badge[i * 4 + 3];
  return sum;
}

class HeaderArtAtScale : public ::testing::TestWithParam<int> {
 protected:
  HeaderArtSet art = HeaderArtForScale(GetParam());
};

TEST(HeaderArt, SetsDescribeBothScales) {
  HeaderArtSet one = HeaderArtForScale(1), two = HeaderArtForScale(2);
  EXPECT_EQ(one.width, 300);
  EXPECT_EQ(one.height, 50);
  EXPECT_EQ(two.width, 600);
  EXPECT_EQ(two.height, 100);
  EXPECT_EQ(one.badge_x, 6);
  EXPECT_EQ(one.badge_y, 7);
  EXPECT_EQ(one.badge_width, 62);
  EXPECT_EQ(one.badge_height, 36);
  EXPECT_EQ(two.badge_x, 12);
  EXPECT_EQ(two.badge_y, 14);
  EXPECT_EQ(two.badge_width, 124);
  EXPECT_EQ(two.badge_height, 72);
}

TEST_P(HeaderArtAtScale, MasksNeverShareAPixel) {
  for (int y = 0; y < art.height; ++y)
    for (int x = 0; x < art.width; ++x) {
      int i = y * art.width + x;
      int layers = (art.text[i] != 0) + (art.secondary[i] != 0) + (art.accent[i] != 0);
      ASSERT_LE(layers, 1) << "pixel (" << x << ", " << y << "): text " << int(art.text[i]) << ", secondary "
                           << int(art.secondary[i]) << ", accent " << int(art.accent[i]);
    }
}

// Every non-zero mask pixel belongs to an element of that mask; in particular nothing lies under the badge or
// outside all rectangles.
TEST_P(HeaderArtAtScale, InkStaysInsideItsElementsRectangles) {
  for (int layer : {HEADER_LAYER_TEXT, HEADER_LAYER_SECONDARY, HEADER_LAYER_ACCENT}) {
    const unsigned char* mask = Mask(art, layer);
    for (int y = 0; y < art.height; ++y)
      for (int x = 0; x < art.width; ++x) {
        if (mask[y * art.width + x] == 0) continue;
        bool owned = false;
        for (const Element& e : LAYOUT)
          owned = owned || (e.layer == layer && x >= e.x0 * art.scale && x < e.x1 * art.scale &&
                            y >= e.y0 * art.scale && y < e.y1 * art.scale);
        ASSERT_TRUE(owned) << "layer " << layer << " has stray ink " << int(mask[y * art.width + x]) << " at ("
                           << x << ", " << y << ")";
      }
  }
}

// Each element is really drawn, with solid strokes: a coverage scale slip would leave only faint ink.
TEST_P(HeaderArtAtScale, EveryElementHasSolidInk) {
  for (const Element& e : LAYOUT) {
    Ink ink = InkOf(art, e);
    EXPECT_FALSE(ink.empty()) << e.what;
    EXPECT_GE(ink.peak, 230) << e.what;
  }
  int opaque = 0;
  for (int i = 0; i < art.badge_width * art.badge_height; ++i) opaque += art.badge[i * 4 + 3] == 255;
  EXPECT_GT(opaque, art.badge_width * art.badge_height / 2) << "the badge is a solid plate";
}

TEST_P(HeaderArtAtScale, BadgeIsPremultiplied) {
  for (int i = 0; i < art.badge_width * art.badge_height; ++i) {
    const unsigned char* px = art.badge + i * 4;
    for (int c = 0; c < 3; ++c)
      ASSERT_LE(px[c], px[3]) << "badge pixel (" << i % art.badge_width << ", " << i / art.badge_width
                              << ") channel " << c << ": colour " << int(px[c]) << " above alpha " << int(px[3]);
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, HeaderArtAtScale, ::testing::Values(1, 2));

// The 2x art is rendered natively, so it differs in detail, but each element's ink box must be the 1x box
// doubled to within 2 pixels of 2x on every edge, and its ink four times the 1x ink to within 25 % (the
// coverage curve lifts partly covered pixels, a larger share of the ink at 1x).
TEST(HeaderArt, TwoXIsTheOneXLayoutDoubled) {
  HeaderArtSet one = HeaderArtForScale(1), two = HeaderArtForScale(2);
  for (const Element& e : LAYOUT) {
    Ink a = InkOf(one, e), b = InkOf(two, e);
    ASSERT_FALSE(a.empty() || b.empty()) << e.what;
    EXPECT_LE(std::abs(b.x0 - 2 * a.x0), 2) << e.what << " left: 1x " << a.x0 << ", 2x " << b.x0;
    EXPECT_LE(std::abs(b.x1 - 2 * a.x1), 2) << e.what << " right: 1x " << a.x1 << ", 2x " << b.x1;
    EXPECT_LE(std::abs(b.y0 - 2 * a.y0), 2) << e.what << " top: 1x " << a.y0 << ", 2x " << b.y0;
    EXPECT_LE(std::abs(b.y1 - 2 * a.y1), 2) << e.what << " bottom: 1x " << a.y1 << ", 2x " << b.y1;
    double ratio = double(b.sum) / (4.0 * double(a.sum));
    EXPECT_NEAR(ratio, 1.0, 0.25) << e.what << " ink 1x " << a.sum << ", 2x " << b.sum;
  }
  double badge_ratio = double(BadgeAlphaSum(two)) / (4.0 * double(BadgeAlphaSum(one)));
  EXPECT_NEAR(badge_ratio, 1.0, 0.05);
}

}  // namespace
