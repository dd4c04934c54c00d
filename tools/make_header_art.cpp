// Build-time tool: rasterises the Effect Controls header's artwork and writes it as a C++ source of constant
// arrays (declared in ui/HeaderArt.h). Texts come from DejaVu Sans through FreeType, the badge is drawn from
// signed-distance shapes; both are rendered natively at 1x and 2x. Runs on the build machine only.
//
//   make_header_art --regular FONT.ttf --bold FONT.ttf --output FILE.cpp [--preview DIR]
//
// --preview writes PGM/PPM pictures of every bitmap and of the composed header in a dark and a light theme
// into DIR (the target header_art_preview uses a folder in the build tree, out of the sources).

#include "ui/HeaderArt.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct ArtError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The host blends coverage in gamma-encoded space and its panels are usually dark, which thins light text;
// a gentle lift of the partial coverage keeps stems looking as heavy as the font drew them.
constexpr double COVERAGE_GAMMA = 1.2;

// Coverage or colour planes in floats, 0 to 1, rows top to bottom.
struct Plane {
  int width = 0, height = 0, channels = 1;
  std::vector<float> v;
  Plane(int w, int h, int c = 1) : width(w), height(h), channels(c), v(size_t(w) * h * c, 0.0f) {}
  float& at(int x, int y, int c = 0) { return v[(size_t(y) * width + x) * channels + c]; }
  float at(int x, int y, int c = 0) const { return v[(size_t(y) * width + x) * channels + c]; }
};

// Pixel rectangle, right and bottom exclusive.
struct Box {
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  bool empty() const { return x1 <= x0 || y1 <= y0; }
  bool contains(const Box& o) const { return o.x0 >= x0 && o.x1 <= x1 && o.y0 >= y0 && o.y1 <= y1; }
};

Box ScaledBox(const HeaderArtElement& e, int scale) {
  return {e.x0 * scale, e.x1 * scale, e.y0 * scale, e.y1 * scale};
}

Box InkBox(const Plane& p) {
  Box b{p.width, 0, p.height, 0};
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.at(x, y) > 0.0f) {
        b.x0 = std::min(b.x0, x);
        b.x1 = std::max(b.x1, x + 1);
        b.y0 = std::min(b.y0, y);
        b.y1 = std::max(b.y1, y + 1);
      }
  return b;
}

// ---------------------------------------------------------------------------------------------------------
// Text

class FreeType {
 public:
  FreeType() {
    if (FT_Init_FreeType(&lib_) != 0) throw ArtError("FT_Init_FreeType failed");
  }
  ~FreeType() { FT_Done_FreeType(lib_); }
  FreeType(const FreeType&) = delete;
  FreeType& operator=(const FreeType&) = delete;
  FT_Library get() const { return lib_; }

 private:
  FT_Library lib_ = nullptr;
};

class Font {
 public:
  Font(const FreeType& ft, const std::string& path) : path_(path) {
    FT_Error err = FT_New_Face(ft.get(), path.c_str(), 0, &face_);
    if (err != 0)
      throw ArtError("cannot open font " + path + " (FreeType error " + std::to_string(err) +
                     "); install the DejaVu fonts or pass another path");
  }
  ~Font() { FT_Done_Face(face_); }
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Sets the size as pixels per em; 1/64 pixel steps.
  void SetSize(double px) const {
    FT_F26Dot6 size = FT_F26Dot6(std::lround(px * 64.0));
    if (FT_Set_Char_Size(face_, 0, size, 72, 72) != 0)
      throw ArtError("FT_Set_Char_Size failed for " + path_);
  }

  // Loads one glyph with light hinting: only vertical snapping, so widths and positions stay exact and the
  // 2x text is a true doubling of the 1x layout.
  FT_GlyphSlot Load(FT_UInt index) const {
    FT_Error err = FT_Load_Glyph(face_, index, FT_LOAD_NO_BITMAP | FT_LOAD_FORCE_AUTOHINT | FT_LOAD_TARGET_LIGHT);
    if (err != 0) throw ArtError("FT_Load_Glyph failed: " + std::to_string(err) + " in " + path_);
    return face_->glyph;
  }

  FT_UInt Index(char c) const {
    FT_UInt i = FT_Get_Char_Index(face_, FT_ULong((unsigned char)c));
    if (i == 0) throw ArtError(std::string("font ") + path_ + " has no glyph for '" + c + "'");
    return i;
  }

  // Pair kerning at the current size, pixels; unfitted so it scales exactly with the size.
  double Kerning(FT_UInt left, FT_UInt right) const {
    if (!FT_HAS_KERNING(face_)) return 0.0;
    FT_Vector k{};
    if (FT_Get_Kerning(face_, left, right, FT_KERNING_UNFITTED, &k) != 0) return 0.0;
    return double(k.x) / 64.0;
  }

 private:
  std::string path_;
  FT_Face face_ = nullptr;
};

// One line of text as it is set: font, size in pixels per em at 1x, extra letter spacing in em.
struct TextSetting {
  const Font* font;
  std::string text;
  double size;
  double tracking_em;
};

// Sets a line with its pen starting at pen_x on the baseline (pixels, y down) and adds its coverage into
// plane when one is given. Returns the left and right ink edges of the outlines, pixels.
std::pair<double, double> SetLine(const TextSetting& t, double size, double pen_x, int baseline, Plane* plane) {
  t.font->SetSize(size);
  double left = 1e9, right = -1e9;
  FT_UInt prev = 0;
  double pen = pen_x;
  for (char c : t.text) {
    FT_UInt index = t.font->Index(c);
    if (prev != 0) pen += t.font->Kerning(prev, index) + t.tracking_em * size;
    prev = index;
    FT_GlyphSlot g = t.font->Load(index);
    // Whole pixels go to the bitmap's placement, the fraction into the outline, so glyphs sit at 1/64 px.
    double whole = std::floor(pen);
    FT_Pos frac = FT_Pos(std::lround((pen - whole) * 64.0));
    FT_Outline_Translate(&g->outline, frac, 0);
    FT_BBox cbox;
    FT_Outline_Get_CBox(&g->outline, &cbox);
    if (cbox.xMax > cbox.xMin) {
      left = std::min(left, whole + double(cbox.xMin) / 64.0);
      right = std::max(right, whole + double(cbox.xMax) / 64.0);
    }
    if (plane != nullptr && g->outline.n_points > 0) {
      if (FT_Render_Glyph(g, FT_RENDER_MODE_NORMAL) != 0) throw ArtError("FT_Render_Glyph failed");
      const FT_Bitmap& bm = g->bitmap;
      int ox = int(whole) + g->bitmap_left;
      int oy = baseline - g->bitmap_top;
      for (unsigned r = 0; r < bm.rows; ++r)
        for (unsigned col = 0; col < bm.width; ++col) {
          int x = ox + int(col), y = oy + int(r);
          float cov = float(bm.buffer[r * bm.pitch + col]) / 255.0f;
          if (cov <= 0.0f) continue;
          if (x < 0 || y < 0 || x >= plane->width || y >= plane->height)
            throw ArtError("glyph of \"" + t.text + "\" falls off the header area");
          plane->at(x, y) = std::min(1.0f, plane->at(x, y) + cov);
        }
    }
    pen += double(g->linearHoriAdvance) / 65536.0;
  }
  return {left, right};
}

enum class Align { LEFT, CENTRE };

// A text element: what it says, how it is set, and where its ink must go.
struct TextElement {
  const char* what;
  HeaderArtElement rect;
  TextSetting setting;
  int baseline;  // 1x pixels from the header's top; the 2x baseline is twice this
  Align align;
};

// Renders an element at a scale into a header-sized plane of its own.
Plane RenderText(const TextElement& e, double size, int scale) {
  Box box = ScaledBox(e.rect, scale);
  double px = size * scale;
  auto [left, right] = SetLine(e.setting, px, 0.0, 0, nullptr);
  double pen = box.x0 - left;
  if (e.align == Align::CENTRE) pen += 0.5 * ((box.x1 - box.x0) - (right - left));
  Plane p(HEADER_WIDTH * scale, HEADER_HEIGHT * scale);
  SetLine(e.setting, px, pen, e.baseline * scale, &p);
  return p;
}

bool FitsAt(const TextElement& e, double size) {
  for (int scale = 1; scale <= 2; ++scale) {
    Box ink = InkBox(RenderText(e, size, scale));
    if (ink.empty() || !ScaledBox(e.rect, scale).contains(ink)) return false;
  }
  return true;
}

// The largest size, in 1/64 pixel steps from the setting's size down, at which the ink of both scales stays
// inside the element's rectangle.
double FitSize(const TextElement& e) {
  for (double s = e.setting.size; s >= 4.0; s -= 1.0 / 64.0)
    if (FitsAt(e, s)) return s;
  throw ArtError(std::string("\"") + e.setting.text + "\" does not fit its rectangle at any size");
}

// ---------------------------------------------------------------------------------------------------------
// Shapes, in 1x pixel units; coverage comes from the signed distance over one output pixel.

double Clamp01(double x) { return std::min(1.0, std::max(0.0, x)); }
double SmoothStep(double e0, double e1, double x) {
  double t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3.0 - 2.0 * t);
}

// Area coverage of a pixel whose centre lies d units from an edge, at scale output pixels per unit.
double EdgeCoverage(double d, int scale) { return Clamp01(0.5 - d * scale); }

double RoundedBoxDistance(double x, double y, double cx, double cy, double hw, double hh, double r) {
  double qx = std::fabs(x - cx) - (hw - r), qy = std::fabs(y - cy) - (hh - r);
  double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - r;
}

// A separator dot: a disc centred in its rectangle, radius in 1x units.
constexpr double DOT_RADIUS = 0.95;
void DrawDot(Plane& p, const HeaderArtElement& e, int scale, double radius) {
  double cx = 0.5 * (e.x0 + e.x1), cy = 0.5 * (e.y0 + e.y1);
  for (int y = e.y0 * scale; y < e.y1 * scale; ++y)
    for (int x = e.x0 * scale; x < e.x1 * scale; ++x) {
      double u = (x + 0.5) / scale, v = (y + 0.5) / scale;
      double d = std::hypot(u - cx, v - cy) - radius;
      p.at(x, y) = std::max(p.at(x, y), float(EdgeCoverage(d, scale)));
    }
}

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;  // premultiplied
};
Rgba Over(const Rgba& top, const Rgba& under) {
  double k = 1.0 - top.a;
  return {top.r + under.r * k, top.g + under.g * k, top.b + under.b * k, top.a + under.a * k};
}
Rgba Paint(double r, double g, double b, double alpha) { return {r * alpha, g * alpha, b * alpha, alpha}; }
Rgba Mix(const Rgba& a, const Rgba& b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// Badge geometry, in 1x units of the 62 x 36 badge.
constexpr double BADGE_W = HEADER_BADGE_WIDTH, BADGE_H = HEADER_BADGE_HEIGHT;
constexpr double BADGE_RADIUS = 8.0;
// Two strands twist around the badge's middle line like a ribbon seen edge-on: where one crosses the other
// it passes alternately in front and behind, a woven wave.
constexpr double STRAND_MID_X = 31.0, STRAND_MID_Y = 18.0;
constexpr double STRAND_X0 = 8.5, STRAND_X1 = 53.5;
constexpr double STRAND_AMPLITUDE = 8.0;
constexpr double STRAND_WAVELENGTH = 27.0;
constexpr double STRAND_FRONT_HALF_WIDTH = 1.6, STRAND_BACK_HALF_WIDTH = 0.85;
constexpr double STRAND_GAP = 1.1;  // background kept clear around the front strand where they cross
constexpr double STRAND_SHADOW_DROP = 1.0, STRAND_SHADOW_BLUR = 1.6;  // units
constexpr double PI = 3.14159265358979323846;

struct StrandPoint {
  double distance;  // from the pixel to the strand's centre line, units
  double depth;     // -1 behind to +1 in front
  double taper;     // 0 at the tips to 1 in the body
};

// Nearest point of strand side (+1 or -1) to (u, v), by a dense walk along the curve; the strand is short and
// the badge small, so exactness wins over speed.
StrandPoint NearestOnStrand(double u, double v, double side) {
  const double k = 2.0 * PI / STRAND_WAVELENGTH;
  double best = 1e9, best_x = STRAND_X0;
  const int steps = 1760;
  for (int i = 0; i <= steps; ++i) {
    double x = STRAND_X0 + (STRAND_X1 - STRAND_X0) * i / steps;
    double y = STRAND_MID_Y + side * STRAND_AMPLITUDE * std::sin(k * (x - STRAND_MID_X));
    double d = std::hypot(u - x, v - y);
    if (d < best) {
      best = d;
      best_x = x;
    }
  }
  double depth = side * std::cos(k * (best_x - STRAND_MID_X));
  double taper = SmoothStep(STRAND_X0, STRAND_X0 + 9.0, best_x) * SmoothStep(STRAND_X1, STRAND_X1 - 9.0, best_x);
  return {best, depth, taper};
}

double StrandHalfWidth(const StrandPoint& s) {
  double t = 0.5 * (s.depth + 1.0);
  double hw = STRAND_BACK_HALF_WIDTH + (STRAND_FRONT_HALF_WIDTH - STRAND_BACK_HALF_WIDTH) * t;
  return hw * (0.35 + 0.65 * s.taper);
}

Rgba StrandPaint(const StrandPoint& s, int scale) {
  double cov = EdgeCoverage(s.distance - StrandHalfWidth(s), scale);
  double t = 0.5 * (s.depth + 1.0);
  double alpha = (0.42 + 0.58 * t) * (0.55 + 0.45 * s.taper);
  return Paint(1.0, 1.0, 1.0, alpha * cov);
}

// Badge fill without the strands: a violet-to-cyan diagonal gradient with a soft gloss on its upper half.
Rgba BadgeGround(double u, double v) {
  const Rgba violet = Paint(0.44, 0.27, 0.96, 1.0);
  const Rgba blue = Paint(0.19, 0.45, 0.97, 1.0);
  const Rgba cyan = Paint(0.07, 0.76, 0.90, 1.0);
  // Project onto the diagonal from the top left to the bottom right corner.
  double t = Clamp01((u * BADGE_W + v * BADGE_H) / (BADGE_W * BADGE_W + BADGE_H * BADGE_H));
  Rgba c = t < 0.5 ? Mix(violet, blue, SmoothStep(0.0, 0.5, t)) : Mix(blue, cyan, SmoothStep(0.5, 1.0, t));
  double gloss = 0.13 * SmoothStep(BADGE_H * 0.55, 0.0, v);
  return Over(Paint(1.0, 1.0, 1.0, gloss), c);
}

Plane RenderBadge(int scale) {
  Plane p(HEADER_BADGE_WIDTH * scale, HEADER_BADGE_HEIGHT * scale, 4);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      double u = (x + 0.5) / scale, v = (y + 0.5) / scale;
      double edge = RoundedBoxDistance(u, v, BADGE_W / 2, BADGE_H / 2, BADGE_W / 2, BADGE_H / 2, BADGE_RADIUS);
      double inside = EdgeCoverage(edge, scale);
      if (inside <= 0.0) continue;
      Rgba ground = BadgeGround(u, v);
      StrandPoint a = NearestOnStrand(u, v, +1.0), b = NearestOnStrand(u, v, -1.0);
      const StrandPoint& front = a.depth >= b.depth ? a : b;
      const StrandPoint& back = a.depth >= b.depth ? b : a;
      Rgba c = Over(StrandPaint(back, scale), ground);
      // The gap: ground painted again around the front strand, which hides the back one where they cross.
      double gap = EdgeCoverage(front.distance - StrandHalfWidth(front) - STRAND_GAP, scale) * front.taper;
      c = Mix(c, ground, gap);
      // A soft shadow a little below the front strand lifts it off the ground.
      StrandPoint lifted = NearestOnStrand(u, v - STRAND_SHADOW_DROP, &front == &a ? +1.0 : -1.0);
      double shadow = SmoothStep(StrandHalfWidth(lifted) + STRAND_SHADOW_BLUR, StrandHalfWidth(lifted) - 0.3,
                                 lifted.distance);
      c = Over(Paint(0.05, 0.02, 0.25, 0.28 * shadow * (0.5 + 0.5 * lifted.depth) * lifted.taper), c);
      c = Over(StrandPaint(front, scale), c);
      // A one-pixel inner rim, brighter at the top, so the badge keeps its edge on dark and light panels.
      double rim = EdgeCoverage(-edge - 1.0 / scale, scale);
      c = Over(Paint(1.0, 1.0, 1.0, (0.05 + 0.17 * SmoothStep(BADGE_H, 0.0, v)) * rim), c);
      p.at(x, y, 0) = float(c.r * inside);
      p.at(x, y, 1) = float(c.g * inside);
      p.at(x, y, 2) = float(c.b * inside);
      p.at(x, y, 3) = float(c.a * inside);
    }
  return p;
}

// ---------------------------------------------------------------------------------------------------------
// The whole artwork of one scale.

struct Art {
  int scale;
  Plane text, secondary, accent, badge;
};

std::vector<unsigned char> MaskBytes(const Plane& p) {
  std::vector<unsigned char> out(p.v.size());
  for (size_t i = 0; i < p.v.size(); ++i)
    out[i] = (unsigned char)std::lround(255.0 * std::pow(Clamp01(p.v[i]), 1.0 / COVERAGE_GAMMA));
  return out;
}

// Premultiplied bytes; rounding may not lift a colour above its alpha.
std::vector<unsigned char> BadgeBytes(const Plane& p) {
  std::vector<unsigned char> out(p.v.size());
  for (size_t i = 0; i < p.v.size(); i += 4) {
    long a = std::lround(255.0 * Clamp01(p.v[i + 3]));
    for (int c = 0; c < 3; ++c) out[i + c] = (unsigned char)std::min(a, std::lround(255.0 * Clamp01(p.v[i + c])));
    out[i + 3] = (unsigned char)a;
  }
  return out;
}

// Copies an element's ink into its layer, refusing ink outside the element's rectangle.
void Place(Plane& layer, const Plane& ink, const HeaderArtElement& e, int scale, const char* what) {
  Box box = ScaledBox(e, scale);
  Box got = InkBox(ink);
  if (got.empty()) throw ArtError(std::string(what) + " has no ink");
  if (!box.contains(got)) throw ArtError(std::string(what) + " leaves its rectangle");
  for (int y = got.y0; y < got.y1; ++y)
    for (int x = got.x0; x < got.x1; ++x) layer.at(x, y) = std::max(layer.at(x, y), ink.at(x, y));
}

void CheckNoOverlap(const Art& art) {
  const std::vector<unsigned char> t = MaskBytes(art.text), s = MaskBytes(art.secondary), a = MaskBytes(art.accent);
  for (size_t i = 0; i < t.size(); ++i)
    if ((t[i] != 0) + (s[i] != 0) + (a[i] != 0) > 1)
      throw ArtError("masks overlap at pixel " + std::to_string(i) + " at " + std::to_string(art.scale) + "x");
}

// ---------------------------------------------------------------------------------------------------------
// Output

void WriteArray(std::ostream& os, const char* name, const char* extent, const std::vector<unsigned char>& bytes) {
  os << "extern const unsigned char " << name << "[" << extent << "] = {";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % 24 == 0) os << "\n ";
    os << ' ' << int(bytes[i]) << ',';
  }
  os << "\n};\n\n";
}

void WriteSource(const std::string& path, const Art& a1, const Art& a2, const std::string& fonts) {
  std::ostringstream os;
  os << "// Generated by make_header_art from " << fonts << ". Do not edit.\n"
     << "#include \"ui/HeaderArt.h\"\n\n";
  WriteArray(os, "HEADER_TEXT_MASK_1X", "HEADER_WIDTH * HEADER_HEIGHT", MaskBytes(a1.text));
  WriteArray(os, "HEADER_SECONDARY_MASK_1X", "HEADER_WIDTH * HEADER_HEIGHT", MaskBytes(a1.secondary));
  WriteArray(os, "HEADER_ACCENT_MASK_1X", "HEADER_WIDTH * HEADER_HEIGHT", MaskBytes(a1.accent));
  WriteArray(os, "HEADER_TEXT_MASK_2X", "HEADER_WIDTH_2X * HEADER_HEIGHT_2X", MaskBytes(a2.text));
  WriteArray(os, "HEADER_SECONDARY_MASK_2X", "HEADER_WIDTH_2X * HEADER_HEIGHT_2X", MaskBytes(a2.secondary));
  WriteArray(os, "HEADER_ACCENT_MASK_2X", "HEADER_WIDTH_2X * HEADER_HEIGHT_2X", MaskBytes(a2.accent));
  WriteArray(os, "HEADER_BADGE_1X", "HEADER_BADGE_WIDTH * HEADER_BADGE_HEIGHT * 4", BadgeBytes(a1.badge));
  WriteArray(os, "HEADER_BADGE_2X", "HEADER_BADGE_WIDTH_2X * HEADER_BADGE_HEIGHT_2X * 4", BadgeBytes(a2.badge));
  // Written only when changed, so an unchanged artwork does not rebuild its library.
  std::string text = os.str();
  std::ifstream old(path, std::ios::binary);
  std::string before((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
  if (before == text) return;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw ArtError("cannot write " + path);
}

void WritePnm(const std::string& path, int w, int h, int channels, const std::vector<unsigned char>& px) {
  std::ofstream out(path, std::ios::binary);
  out << (channels == 1 ? "P5" : "P6") << "\n" << w << " " << h << "\n255\n";
  out.write(reinterpret_cast<const char*>(px.data()), std::streamsize(px.size()));
  if (!out.flush()) throw ArtError("cannot write " + path);
}

// The header composed the way the plug-in draws it (masks coloured, badge over them, all premultiplied in
// gamma-encoded values) over a panel colour, so the preview shows what a user sees.
std::vector<unsigned char> Compose(const Art& art, const double text[3], const double accent[3],
                                   const double background[3]) {
  const std::vector<unsigned char> t = MaskBytes(art.text), s = MaskBytes(art.secondary), a = MaskBytes(art.accent);
  const std::vector<unsigned char> badge = BadgeBytes(art.badge);
  const int w = art.text.width, h = art.text.height, bx = HEADER_BADGE_X * art.scale, by = HEADER_BADGE_Y * art.scale;
  std::vector<unsigned char> out(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      size_t i = size_t(y) * w + x;
      double ct = t[i] / 255.0, cs = s[i] / 255.0, ca = a[i] / 255.0;
      double rgb[3], alpha = ct + cs + ca;
      for (int c = 0; c < 3; ++c) {
        double secondary = 0.62 * text[c] + 0.38 * background[c];
        rgb[c] = ct * text[c] + cs * secondary + ca * accent[c];
      }
      if (x >= bx && x < bx + art.badge.width && y >= by && y < by + art.badge.height) {
        size_t j = (size_t(y - by) * art.badge.width + (x - bx)) * 4;
        double ba = badge[j + 3] / 255.0;
        for (int c = 0; c < 3; ++c) rgb[c] = rgb[c] * (1.0 - ba) + badge[j + c] / 255.0;
        alpha = alpha * (1.0 - ba) + ba;
      }
      alpha = std::min(alpha, 1.0);
      for (int c = 0; c < 3; ++c)
        out[i * 3 + c] = (unsigned char)std::lround(255.0 * Clamp01(rgb[c] + background[c] * (1.0 - alpha)));
    }
  return out;
}

void WritePreview(const std::string& dir, const Art& art) {
  const std::string tag = std::to_string(art.scale) + "x";
  const int w = art.text.width, h = art.text.height;
  WritePnm(dir + "/text_" + tag + ".pgm", w, h, 1, MaskBytes(art.text));
  WritePnm(dir + "/secondary_" + tag + ".pgm", w, h, 1, MaskBytes(art.secondary));
  WritePnm(dir + "/accent_" + tag + ".pgm", w, h, 1, MaskBytes(art.accent));
  const double dark_bg[3] = {0.14, 0.14, 0.14}, dark_text[3] = {0.84, 0.84, 0.84}, dark_acc[3] = {0.33, 0.62, 1.0};
  const double light_bg[3] = {0.86, 0.86, 0.86}, light_text[3] = {0.1, 0.1, 0.1}, light_acc[3] = {0.05, 0.33, 0.8};
  WritePnm(dir + "/header_dark_" + tag + ".ppm", w, h, 3, Compose(art, dark_text, dark_acc, dark_bg));
  WritePnm(dir + "/header_light_" + tag + ".ppm", w, h, 3, Compose(art, light_text, light_acc, light_bg));
}

struct Options {
  std::string regular, bold, output, preview;
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string* target = arg == "--regular" ? &o.regular
                          : arg == "--bold"  ? &o.bold
                          : arg == "--output" ? &o.output
                          : arg == "--preview" ? &o.preview
                                               : nullptr;
    if (target == nullptr || i + 1 >= argc) throw ArtError("unknown or incomplete option " + arg);
    *target = argv[++i];
  }
  if (o.regular.empty() || o.bold.empty() || o.output.empty())
    throw ArtError("usage: make_header_art --regular FONT --bold FONT --output FILE.cpp [--preview DIR]");
  return o;
}

int Run(int argc, char** argv) {
  Options opt = ParseOptions(argc, argv);
  FreeType ft;
  Font regular(ft, opt.regular), bold(ft, opt.bold);

  // Sizes start at what the rectangles could hold and shrink until the ink fits. The name and the version
  // share the first baseline; the byline, the link and "About" share the second, and one size.
  TextElement name{"the name", HEADER_ELEMENT_NAME, {&bold, "Quaverflux", 17.0, -0.012}, 24, Align::LEFT};
  TextElement version{"the version", HEADER_ELEMENT_VERSION, {&regular, "v1.0.0", 12.0, 0.0}, 24, Align::LEFT};
  TextElement byline{"the byline", HEADER_ELEMENT_BYLINE, {&regular, "by Tessaloom", 12.0, 0.0}, 40, Align::LEFT};
  TextElement link{"the link", HEADER_ELEMENT_LINK, {&regular, "tessaloom.com", 12.0, 0.0}, 40, Align::CENTRE};
  TextElement about{"About", HEADER_ELEMENT_ABOUT, {&regular, "About", 12.0, 0.0}, 40, Align::CENTRE};

  name.setting.size = FitSize(name);
  double small = std::min({FitSize(version), FitSize(byline), FitSize(link), FitSize(about)});
  for (TextElement* e : {&version, &byline, &link, &about}) e->setting.size = small;
  std::printf("make_header_art: name %.3f px bold, other texts %.3f px regular (1x)\n", name.setting.size, small);

  auto build = [&](int scale) {
    Art art{scale, Plane(HEADER_WIDTH * scale, HEADER_HEIGHT * scale),
            Plane(HEADER_WIDTH * scale, HEADER_HEIGHT * scale), Plane(HEADER_WIDTH * scale, HEADER_HEIGHT * scale),
            RenderBadge(scale)};
    for (const TextElement* e : {&name, &byline, &version, &link, &about}) {
      Plane& layer = e->rect.layer == HEADER_LAYER_TEXT        ? art.text
                     : e->rect.layer == HEADER_LAYER_SECONDARY ? art.secondary
                                                               : art.accent;
      Place(layer, RenderText(*e, e->setting.size, scale), e->rect, scale, e->what);
    }
    for (const HeaderArtElement* dot : {&HEADER_ELEMENT_DOT_1, &HEADER_ELEMENT_DOT_2}) {
      Plane ink(HEADER_WIDTH * scale, HEADER_HEIGHT * scale);
      DrawDot(ink, *dot, scale, DOT_RADIUS);
      Place(art.secondary, ink, *dot, scale, "a separator dot");
    }
    CheckNoOverlap(art);
    return art;
  };
  Art art1 = build(1), art2 = build(2);

  WriteSource(opt.output, art1, art2, "DejaVu Sans and DejaVu Sans Bold");
  if (!opt.preview.empty()) {
    WritePreview(opt.preview, art1);
    WritePreview(opt.preview, art2);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_header_art: %s\n", e.what());
    return 1;
  }
}
