// Frame time, downsample, margins, request rectangles, and the geometric half of QF_Frame.
#include "RenderGeometry.h"

#include "WaveGeneration.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double MAX_DOWNSAMPLE = 1000.0;

std::int64_t Width(const PixelRect& r)
{
    return static_cast<std::int64_t>(r.right) - r.left;
}

std::int64_t Height(const PixelRect& r)
{
    return static_cast<std::int64_t>(r.bottom) - r.top;
}

// The factor that scales full-resolution displacement to buffer pixels; non-finite factors count as 1.
double Magnitude(double factor)
{
    return std::isfinite(factor) ? std::fabs(factor) : 1.0;
}

std::int32_t HeldPosition(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, -POSITION_LIMIT, POSITION_LIMIT));
}

// Keeps the geometry's invariant of positive factors whatever the caller hands in.
float PositiveFactor(float f)
{
    return std::isfinite(f) && f > 0.0f ? f : 1.0f;
}

bool IsNone(const BufferPlacement& buffer)
{
    return buffer.width <= 0 || buffer.height <= 0;
}

}   // namespace

double FrameTimeSeconds(std::int32_t time, std::uint32_t time_scale)
{
    if (time_scale == 0) {
        return 0.0;
    }
    return static_cast<double>(time) / static_cast<double>(time_scale);
}

float DownsampleFactor(std::int32_t num, std::uint32_t den)
{
    if (den == 0 || num == 0) {
        return 1.0f;
    }
    const double d = static_cast<double>(num) / static_cast<double>(den);
    if (!(d > 0.0) || !(d <= MAX_DOWNSAMPLE)) {
        return 1.0f;
    }
    return static_cast<float>(d);
}

double MaxDisplacement(const SanitizedSettings& settings)
{
    const WarpSettings& s = settings.values();
    double sum = 0.0;
    for (const WaveDraft& w : GenerateWaves(settings, s.wave_count)) {
        sum += std::fabs(w.amplitude) * (std::fabs(s.fold) + std::fabs(s.drip));
    }
    return sum * (std::fabs(s.color_split) + 1.0);
}

std::int32_t InputMargin(const SanitizedSettings& settings, double dsx, double dsy)
{
    const double b = MaxDisplacement(settings) * std::max(Magnitude(dsx), Magnitude(dsy));
    double x = AA_CAP_BY_LEVEL[settings->antialiasing] + b + MARGIN_EXTRA;
    // Written so a NaN also lands on the cap: the conversion to int32 must see a number in range.
    if (!(x <= MARGIN_CAP)) {
        x = MARGIN_CAP;
    }
    return static_cast<std::int32_t>(std::ceil(x));
}

bool NeedsWholeLayer(const WarpSettings& settings)
{
    return settings.edge_mode == QF_EDGE_WRAP || settings.edge_mode == QF_EDGE_MIRROR;
}

PixelRect InputRequestRect(const WarpSettings& settings, const PixelRect& output_request, std::int32_t margin)
{
    if (NeedsWholeLayer(settings)) {
        return WHOLE_LAYER_RECT;
    }
    const auto grow = [](std::int32_t v, std::int64_t by) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v + by, -REQUEST_COORD_LIMIT, REQUEST_COORD_LIMIT));
    };
    return PixelRect{grow(output_request.left, -static_cast<std::int64_t>(margin)),
                     grow(output_request.top, -static_cast<std::int64_t>(margin)),
                     grow(output_request.right, margin), grow(output_request.bottom, margin)};
}

PixelRect InputRegionFor(const SanitizedSettings& settings, float dsx, float dsy, const PixelRect& output_region)
{
    // Wrap Around and Mirror take the whole layer: no waves need to be generated for a margin.
    const std::int32_t margin = NeedsWholeLayer(settings.values()) ? 0 : InputMargin(settings, dsx, dsy);
    return InputRequestRect(settings.values(), output_region, margin);
}

bool IsEmptyRect(const PixelRect& rect)
{
    return !(rect.right > rect.left && rect.bottom > rect.top);
}

PixelRect IntersectRect(const PixelRect& a, const PixelRect& b)
{
    const PixelRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                      std::min(a.bottom, b.bottom)};
    return IsEmptyRect(r) ? PixelRect{} : r;
}

void FillGeometry(const FrameLayout& layout, float dsx, float dsy, QF_Frame& frame)
{
    frame.out_x0 = HeldPosition(layout.output.x0);
    frame.out_y0 = HeldPosition(layout.output.y0);
    frame.out_w = layout.output.width;
    frame.out_h = layout.output.height;
    frame.band_y0 = 0;
    frame.band_h = frame.out_h;

    frame.in_x0 = HeldPosition(layout.input.x0);
    frame.in_y0 = HeldPosition(layout.input.y0);
    frame.in_w = layout.input.width;
    frame.in_h = layout.input.height;

    if (!IsEmptyRect(layout.layer)) {
        frame.lay_x0 = HeldPosition(layout.layer.left);
        frame.lay_y0 = HeldPosition(layout.layer.top);
        frame.lay_x1 = HeldPosition(layout.layer.right);
        frame.lay_y1 = HeldPosition(layout.layer.bottom);
    } else {
        frame.lay_x0 = frame.in_x0;
        frame.lay_y0 = frame.in_y0;
        frame.lay_x1 = HeldPosition(static_cast<std::int64_t>(frame.in_x0) + frame.in_w);
        frame.lay_y1 = HeldPosition(static_cast<std::int64_t>(frame.in_y0) + frame.in_h);
    }

    frame.dsx = PositiveFactor(dsx);
    frame.dsy = PositiveFactor(dsy);

    frame.has_map = 0;
    const PixelRect& mmax = layout.map_layer;
    const std::int64_t lay_w = static_cast<std::int64_t>(frame.lay_x1) - frame.lay_x0;
    const std::int64_t lay_h = static_cast<std::int64_t>(frame.lay_y1) - frame.lay_y0;
    if (IsNone(layout.map) || IsEmptyRect(mmax) || lay_w <= 0 || lay_h <= 0) {
        return;
    }
    // The map layer is stretched over the layer's extent.
    const double sx = static_cast<double>(Width(mmax)) / static_cast<double>(lay_w);
    const double sy = static_cast<double>(Height(mmax)) / static_cast<double>(lay_h);
    frame.has_map = 1;
    frame.map_w = layout.map.width;
    frame.map_h = layout.map.height;
    const std::int32_t map_x0 = HeldPosition(layout.map.x0);
    const std::int32_t map_y0 = HeldPosition(layout.map.y0);
    // The kernel looks up the layer pixel centre X + 0.5; the -0.5 puts texel j's centre at j.
    frame.map_ox = static_cast<float>(-static_cast<double>(frame.lay_x0) * sx + mmax.left - map_x0 - 0.5);
    frame.map_oy = static_cast<float>(-static_cast<double>(frame.lay_y0) * sy + mmax.top - map_y0 - 0.5);
    frame.map_sx = static_cast<float>(sx);
    frame.map_sy = static_cast<float>(sy);
}
