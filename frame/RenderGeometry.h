// Render geometry: frame time and downsample, the bound on how far a pixel can move, the input a region of
// the output needs, and the geometric half of QF_Frame. Rectangles are layer pixels at the current
// downsample, right and bottom exclusive, y downwards.
#pragma once

#include "WarpSettings.h"
#include "WarpTypes.h"

#include <cstdint>

// A rectangle of layer pixels at the current downsample: left and top inside, right and bottom outside.
struct PixelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// Half-width of the rectangle that stands for the whole layer.
inline constexpr std::int32_t WHOLE_LAYER_EXTENT = 1048576;
inline constexpr PixelRect WHOLE_LAYER_RECT{-WHOLE_LAYER_EXTENT, -WHOLE_LAYER_EXTENT, WHOLE_LAYER_EXTENT,
                                            WHOLE_LAYER_EXTENT};
// Grown request coordinates stop here instead of wrapping around.
inline constexpr std::int32_t REQUEST_COORD_LIMIT = 1073741824;
// Largest input margin, pixels.
inline constexpr std::int32_t MARGIN_CAP = 30000;
// Pixels added to every margin beyond the displacement and the anti-aliasing footprint.
inline constexpr std::int32_t MARGIN_EXTRA = 4;
// Buffer positions and layer bounds in the frame record are held inside +-POSITION_LIMIT, so that the
// kernel's 32-bit arithmetic on them (a position plus a buffer width, the difference of two positions,
// twice a layer's length) cannot overflow whatever rectangles or origins a host reports. Real layers lie
// far inside it.
inline constexpr std::int32_t POSITION_LIMIT = 1 << 28;

// time / time_scale in seconds (a host's frame time in its own units); 0 with a zero time scale.
double FrameTimeSeconds(std::int32_t time, std::uint32_t time_scale);

// num / den as a float factor; 1.0 for a zero term, a ratio not above 0 or above 1000, or a non-finite one.
float DownsampleFactor(std::int32_t num, std::uint32_t den);

// A bound, in full-resolution pixels, on how far any pixel moves, colour split included.
double MaxDisplacement(const SanitizedSettings& settings);

// Buffer pixels by which the input request grows: the displacement at this downsample, the anti-aliasing
// footprint and MARGIN_EXTRA, rounded up, at most MARGIN_CAP. A non-finite factor counts as 1.
std::int32_t InputMargin(const SanitizedSettings& settings, double dsx, double dsy);

// Wrap Around and Mirror read anywhere in the layer, so they ask for all of it.
bool NeedsWholeLayer(const WarpSettings& settings);

// The input checkout's rectangle: WHOLE_LAYER_RECT, or the output request grown by margin on every side.
PixelRect InputRequestRect(const WarpSettings& settings, const PixelRect& output_request, std::int32_t margin);

// The part of the input layer a region of the output reads: WHOLE_LAYER_RECT when the edges need the
// whole layer (no waves are generated then), else the region grown by InputMargin at this downsample.
// Hosts clip it to the layer themselves.
PixelRect InputRegionFor(const SanitizedSettings& settings, float dsx, float dsy, const PixelRect& output_region);

bool IsEmptyRect(const PixelRect& rect);

// The overlap of a and b; all zeros when they do not overlap.
PixelRect IntersectRect(const PixelRect& a, const PixelRect& b);

// Where one of the kernel's float buffers lies: the layer position of its pixel (0, 0), its size, and the
// distance between its rows. A buffer of width or height 0 is none.
struct BufferPlacement {
    std::int32_t x0 = 0;       // layer pixels at the current downsample
    std::int32_t y0 = 0;
    std::int32_t width = 0;    // pixels
    std::int32_t height = 0;
    std::int32_t pitch = 0;    // pixels from one row to the next
};

// Where every buffer of one frame lies.
struct FrameLayout {
    BufferPlacement input;
    PixelRect layer;           // the input layer's whole extent; empty: the input buffer is the whole layer
    BufferPlacement output;
    BufferPlacement map;       // the strength map's buffer; none: the frame has no map
    PixelRect map_layer;       // the map layer's whole extent, stretched over `layer`; empty: no map
};

// Writes the buffer positions, sizes, layer bounds, downsample (a factor that is not finite and above 0
// counts as 1) and strength map transform of the frame; positions are held inside +-POSITION_LIMIT. The
// pitches are left alone.
void FillGeometry(const FrameLayout& layout, float dsx, float dsy, QF_Frame& frame);
