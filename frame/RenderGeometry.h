// Render geometry: frame time and downsample, the bound on how far a pixel can move, the input request and
// result rectangles of the pre-render, the record that carries them to the render, and the geometric half
// of QF_Frame. Rectangles are layer pixels at the current downsample, right and bottom exclusive.
#pragma once

#include "AE_Effect.h"
#include "WarpSettings.h"
#include "WarpTypes.h"

#include <cstdint>
#include <type_traits>

// Half-width of the rectangle that stands for the whole layer.
inline constexpr A_long WHOLE_LAYER_EXTENT = 1048576;
// Grown request coordinates stop here instead of wrapping around.
inline constexpr A_long REQUEST_COORD_LIMIT = 1073741824;
// Largest input margin, pixels.
inline constexpr A_long MARGIN_CAP = 30000;
// Pixels added to every margin beyond the displacement and the anti-aliasing footprint.
inline constexpr A_long MARGIN_EXTRA = 4;
// Buffer positions and layer bounds in the frame record are held inside +-POSITION_LIMIT, so that the
// kernel's 32-bit arithmetic on them (a position plus a buffer width, the difference of two positions,
// twice a layer's length) cannot overflow whatever rectangles or origins a host reports. Real layers lie
// far inside it.
inline constexpr A_long POSITION_LIMIT = 1 << 28;

// Made at pre-render, owned by the host until it calls the delete function, read by the render. Plain
// data: the host frees it as a block.
struct PreRenderData {
    WarpSettings settings;
    double time = 0;                 // frame time, seconds
    float dsx = 1.0f;                // downsample factors, 1 = full resolution
    float dsy = 1.0f;
    PF_LRect input_rect{};           // result rectangle of the input checkout
    PF_LRect input_max_rect{};       // the layer's extent
    PF_LRect output_rect{};          // the result rectangle returned to the host
    bool has_map = false;            // a strength map layer is set and has pixels
    PF_LRect map_rect{};             // result rectangle of the map checkout
    PF_LRect map_max_rect{};         // the map layer's extent
};
static_assert(std::is_trivially_copyable_v<PreRenderData> && std::is_trivially_destructible_v<PreRenderData>);

// current_time / time_scale in seconds; 0 without in_data or with a zero time scale.
double FrameTimeSeconds(const PF_InData* in_data);

// num / den as a float factor; 1.0 for a zero term, a ratio not above 0 or above 1000, or a non-finite one.
float DownsampleFactor(A_long num, A_u_long den);
inline float DownsampleFactor(const PF_RationalScale& scale)
{
    return DownsampleFactor(scale.num, scale.den);
}

// A bound, in full-resolution pixels, on how far any pixel moves, colour split included.
double MaxDisplacement(const WarpSettings& settings);

// Buffer pixels by which the input request grows: the displacement at this downsample, the anti-aliasing
// footprint and MARGIN_EXTRA, rounded up, at most MARGIN_CAP.
A_long InputMargin(const WarpSettings& settings, double dsx, double dsy);

// Wrap Around and Mirror read anywhere in the layer, so they ask for all of it.
bool NeedsWholeLayer(const WarpSettings& settings);

// The input checkout's rectangle: the whole layer, or the output request grown by margin on every side.
PF_LRect InputRequestRect(const WarpSettings& settings, const PF_LRect& output_request, A_long margin);

bool IsEmptyRect(const PF_LRect& rect);

// The overlap of a and b; all zeros when they do not overlap.
PF_LRect IntersectRect(const PF_LRect& a, const PF_LRect& b);

// Keeps the input checkout's rectangles and sets output_rect to the request clipped to the layer.
void SetInputCheckout(PreRenderData& data, const PF_LRect& output_request, const PF_CheckoutResult& input);

// Keeps a successful map checkout's rectangles; there is a map only when both are non-empty.
void SetMapCheckout(PreRenderData& data, const PF_CheckoutResult& map);

// Writes the buffer positions, sizes, layer bounds, downsample and strength map transform of the frame.
// A world whose origin is not (0, 0) gives its own position, otherwise the matching result rectangle
// does. The caller sets the three pitches afterwards. map may be null.
void FillGeometry(const PreRenderData& data, const PF_EffectWorld* input, const PF_EffectWorld* output,
                  const PF_EffectWorld* map, QF_Frame& frame);
