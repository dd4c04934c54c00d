/* The Effect Controls header's artwork: three 8-bit coverage masks and the premultiplied RGBA badge, at 1x and
 * at 2x. The data is rasterised at build time by tools/make_header_art; the layout below is the one contract
 * between that tool and the code that colours and draws the header. */
#ifndef QF_HEADER_ART_H
#define QF_HEADER_ART_H

/* Header area at 1x, in pixels; the 2x bitmaps hold the same layout at twice every coordinate. */
constexpr int HEADER_WIDTH = 300;
constexpr int HEADER_HEIGHT = 50;
constexpr int HEADER_WIDTH_2X = 2 * HEADER_WIDTH;
constexpr int HEADER_HEIGHT_2X = 2 * HEADER_HEIGHT;

/* The badge bitmap and where its top left corner sits in the header area. */
constexpr int HEADER_BADGE_X = 6;
constexpr int HEADER_BADGE_Y = 7;
constexpr int HEADER_BADGE_WIDTH = 62;
constexpr int HEADER_BADGE_HEIGHT = 36;
constexpr int HEADER_BADGE_X_2X = 2 * HEADER_BADGE_X;
constexpr int HEADER_BADGE_Y_2X = 2 * HEADER_BADGE_Y;
constexpr int HEADER_BADGE_WIDTH_2X = 2 * HEADER_BADGE_WIDTH;
constexpr int HEADER_BADGE_HEIGHT_2X = 2 * HEADER_BADGE_HEIGHT;

/* Masks: coverage 0 to 255, rows top to bottom. At each pixel at most one of the three is non-zero. */
extern const unsigned char HEADER_TEXT_MASK_1X[HEADER_WIDTH * HEADER_HEIGHT];
extern const unsigned char HEADER_SECONDARY_MASK_1X[HEADER_WIDTH * HEADER_HEIGHT];
extern const unsigned char HEADER_ACCENT_MASK_1X[HEADER_WIDTH * HEADER_HEIGHT];
extern const unsigned char HEADER_TEXT_MASK_2X[HEADER_WIDTH_2X * HEADER_HEIGHT_2X];
extern const unsigned char HEADER_SECONDARY_MASK_2X[HEADER_WIDTH_2X * HEADER_HEIGHT_2X];
extern const unsigned char HEADER_ACCENT_MASK_2X[HEADER_WIDTH_2X * HEADER_HEIGHT_2X];

/* Badge: red, green, blue, alpha per pixel, colour premultiplied by alpha (no colour byte above its alpha). */
extern const unsigned char HEADER_BADGE_1X[HEADER_BADGE_WIDTH * HEADER_BADGE_HEIGHT * 4];
extern const unsigned char HEADER_BADGE_2X[HEADER_BADGE_WIDTH_2X * HEADER_BADGE_HEIGHT_2X * 4];

/* Which bitmap an element of the layout is drawn into. */
enum HeaderArtLayer { HEADER_LAYER_TEXT, HEADER_LAYER_SECONDARY, HEADER_LAYER_ACCENT, HEADER_LAYER_BADGE };

/* One element of the layout: its bitmap and its rectangle at 1x, right and bottom edges exclusive. Every pixel
 * of an element's ink lies inside its rectangle. */
struct HeaderArtElement {
  int layer;
  int x0, x1, y0, y1;
};

constexpr HeaderArtElement HEADER_ELEMENT_BADGE{HEADER_LAYER_BADGE, 6, 68, 7, 43};
constexpr HeaderArtElement HEADER_ELEMENT_NAME{HEADER_LAYER_TEXT, 80, 174, 11, 28};
constexpr HeaderArtElement HEADER_ELEMENT_BYLINE{HEADER_LAYER_TEXT, 80, 148, 31, 43};
constexpr HeaderArtElement HEADER_ELEMENT_VERSION{HEADER_LAYER_SECONDARY, 180, 211, 16, 24};
constexpr HeaderArtElement HEADER_ELEMENT_DOT_1{HEADER_LAYER_SECONDARY, 153, 156, 35, 37};
constexpr HeaderArtElement HEADER_ELEMENT_LINK{HEADER_LAYER_ACCENT, 163, 237, 31, 43};
constexpr HeaderArtElement HEADER_ELEMENT_DOT_2{HEADER_LAYER_SECONDARY, 243, 246, 35, 37};
constexpr HeaderArtElement HEADER_ELEMENT_ABOUT{HEADER_LAYER_ACCENT, 252, 284, 32, 40};

/* The bitmaps of one scale, so drawing code and tests can treat 1x and 2x alike. */
struct HeaderArtSet {
  int scale;                      /* 1 or 2 */
  int width, height;              /* header area, pixels */
  const unsigned char* text;      /* width x height coverage */
  const unsigned char* secondary; /* width x height coverage */
  const unsigned char* accent;    /* width x height coverage */
  const unsigned char* badge;     /* badge_width x badge_height premultiplied RGBA */
  int badge_x, badge_y;           /* badge's top left in the header area, pixels */
  int badge_width, badge_height;  /* pixels */
};

/* The 2x set for scale 2, the 1x set for anything else. */
inline HeaderArtSet HeaderArtForScale(int scale) {
  if (scale == 2)
    return {2, HEADER_WIDTH_2X, HEADER_HEIGHT_2X, HEADER_TEXT_MASK_2X, HEADER_SECONDARY_MASK_2X,
            HEADER_ACCENT_MASK_2X, HEADER_BADGE_2X, HEADER_BADGE_X_2X, HEADER_BADGE_Y_2X,
            HEADER_BADGE_WIDTH_2X, HEADER_BADGE_HEIGHT_2X};
  return {1, HEADER_WIDTH, HEADER_HEIGHT, HEADER_TEXT_MASK_1X, HEADER_SECONDARY_MASK_1X,
          HEADER_ACCENT_MASK_1X, HEADER_BADGE_1X, HEADER_BADGE_X, HEADER_BADGE_Y,
          HEADER_BADGE_WIDTH, HEADER_BADGE_HEIGHT};
}

#endif
