// Frame time, downsample, margins, request and result rectangles, and the geometric half of QF_Frame.
#include "RenderGeometry.h"

#include "WaveGeneration.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double MAX_DOWNSAMPLE = 1000.0;

std::int64_t Width(const PF_LRect& r)
{
    return static_cast<std::int64_t>(r.right) - r.left;
}

std::int64_t Height(const PF_LRect& r)
{
    return static_cast<std::int64_t>(r.bottom) - r.top;
}

// The factor that scales full-resolution displacement to buffer pixels; non-finite factors count as 1.
double Magnitude(double factor)
{
    return std::isfinite(factor) ? std::fabs(factor) : 1.0;
}

A_long HeldPosition(std::int64_t v)
{
    return static_cast<A_long>(std::clamp<std::int64_t>(v, -POSITION_LIMIT, POSITION_LIMIT));
}

// The layer position of a world's pixel (0, 0): its own origin when it has one, else the rectangle's corner.
void WorldOrigin(const PF_EffectWorld* world, const PF_LRect& rect, int& x0, int& y0)
{
    if (world && (world->origin_x != 0 || world->origin_y != 0)) {
        x0 = HeldPosition(world->origin_x);
        y0 = HeldPosition(world->origin_y);
    } else {
        x0 = HeldPosition(rect.left);
        y0 = HeldPosition(rect.top);
    }
}

// Keeps the geometry's invariant of positive factors whatever the record holds.
float PositiveFactor(float f)
{
    return std::isfinite(f) && f > 0.0f ? f : 1.0f;
}

}   // namespace

double FrameTimeSeconds(const PF_InData* in_data)
{
    if (!in_data || in_data->time_scale == 0) {
        return 0.0;
    }
    return static_cast<double>(in_data->current_time) / static_cast<double>(in_data->time_scale);
}

float DownsampleFactor(A_long num, A_u_long den)
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

double MaxDisplacement(const WarpSettings& settings)
{
    const WarpSettings s = SanitizeSettings(settings);
    double sum = 0.0;
    for (const WaveDraft& w : GenerateWaves(s, s.wave_count)) {
        sum += std::fabs(w.amplitude) * (std::fabs(s.fold) + std::fabs(s.drip));
    }
    return sum * (std::fabs(s.color_split) + 1.0);
}

A_long InputMargin(const WarpSettings& settings, double dsx, double dsy)
{
    const double b = MaxDisplacement(settings) * std::max(Magnitude(dsx), Magnitude(dsy));
    const std::int32_t level = std::clamp(settings.antialiasing, 0, 3);
    double x = AA_CAP_BY_LEVEL[level] + b + MARGIN_EXTRA;
    // Written so a NaN also lands on the cap: the conversion to int32 must see a number in range.
    if (!(x <= MARGIN_CAP)) {
        x = MARGIN_CAP;
    }
    return static_cast<A_long>(std::ceil(x));
}

bool NeedsWholeLayer(const WarpSettings& settings)
{
    return settings.edge_mode == QF_EDGE_WRAP || settings.edge_mode == QF_EDGE_MIRROR;
}

PF_LRect InputRequestRect(const WarpSettings& settings, const PF_LRect& output_request, A_long margin)
{
    if (NeedsWholeLayer(settings)) {
        return PF_LRect{-WHOLE_LAYER_EXTENT, -WHOLE_LAYER_EXTENT, WHOLE_LAYER_EXTENT, WHOLE_LAYER_EXTENT};
    }
    const auto grow = [](A_long v, std::int64_t by) {
        return static_cast<A_long>(std::clamp<std::int64_t>(v + by, -REQUEST_COORD_LIMIT, REQUEST_COORD_LIMIT));
    };
    return PF_LRect{grow(output_request.left, -static_cast<std::int64_t>(margin)),
                    grow(output_request.top, -static_cast<std::int64_t>(margin)),
                    grow(output_request.right, margin), grow(output_request.bottom, margin)};
}

bool IsEmptyRect(const PF_LRect& rect)
{
    return !(rect.right > rect.left && rect.bottom > rect.top);
}

PF_LRect IntersectRect(const PF_LRect& a, const PF_LRect& b)
{
    const PF_LRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
    return IsEmptyRect(r) ? PF_LRect{0, 0, 0, 0} : r;
}

void SetInputCheckout(PreRenderData& data, const PF_LRect& output_request, const PF_CheckoutResult& input)
{
    data.input_rect = input.result_rect;
    data.input_max_rect = input.max_result_rect;
    data.output_rect = IntersectRect(output_request, data.input_max_rect);
}

void SetMapCheckout(PreRenderData& data, const PF_CheckoutResult& map)
{
    data.has_map = !IsEmptyRect(map.max_result_rect) && !IsEmptyRect(map.result_rect);
    if (data.has_map) {
        data.map_rect = map.result_rect;
        data.map_max_rect = map.max_result_rect;
    }
}

void FillGeometry(const PreRenderData& data, const PF_EffectWorld* input, const PF_EffectWorld* output,
                  const PF_EffectWorld* map, QF_Frame& frame)
{
    WorldOrigin(output, data.output_rect, frame.out_x0, frame.out_y0);
    frame.out_w = output ? output->width : 0;
    frame.out_h = output ? output->height : 0;
    frame.band_y0 = 0;
    frame.band_h = frame.out_h;

    WorldOrigin(input, data.input_rect, frame.in_x0, frame.in_y0);
    frame.in_w = input ? input->width : 0;
    frame.in_h = input ? input->height : 0;

    if (!IsEmptyRect(data.input_max_rect)) {
        frame.lay_x0 = HeldPosition(data.input_max_rect.left);
        frame.lay_y0 = HeldPosition(data.input_max_rect.top);
        frame.lay_x1 = HeldPosition(data.input_max_rect.right);
        frame.lay_y1 = HeldPosition(data.input_max_rect.bottom);
    } else {
        frame.lay_x0 = frame.in_x0;
        frame.lay_y0 = frame.in_y0;
        frame.lay_x1 = HeldPosition(static_cast<std::int64_t>(frame.in_x0) + frame.in_w);
        frame.lay_y1 = HeldPosition(static_cast<std::int64_t>(frame.in_y0) + frame.in_h);
    }

    frame.dsx = PositiveFactor(data.dsx);
    frame.dsy = PositiveFactor(data.dsy);

    frame.has_map = 0;
    const PF_LRect& mmax = data.map_max_rect;
    const std::int64_t lay_w = static_cast<std::int64_t>(frame.lay_x1) - frame.lay_x0;
    const std::int64_t lay_h = static_cast<std::int64_t>(frame.lay_y1) - frame.lay_y0;
    if (!map || map->width <= 0 || map->height <= 0 || IsEmptyRect(mmax) || lay_w <= 0 || lay_h <= 0) {
        return;
    }
    // The map layer is stretched over the layer's extent.
    const double sx = static_cast<double>(Width(mmax)) / static_cast<double>(lay_w);
    const double sy = static_cast<double>(Height(mmax)) / static_cast<double>(lay_h);
    frame.has_map = 1;
    frame.map_w = map->width;
    frame.map_h = map->height;
    int map_x0 = 0;
    int map_y0 = 0;
    WorldOrigin(map, data.map_rect, map_x0, map_y0);
    // The kernel looks up the layer pixel centre X + 0.5; the -0.5 puts texel j's centre at j.
    frame.map_ox = static_cast<float>(-static_cast<double>(frame.lay_x0) * sx + mmax.left - map_x0 - 0.5);
    frame.map_oy = static_cast<float>(-static_cast<double>(frame.lay_y0) * sy + mmax.top - map_y0 - 0.5);
    frame.map_sx = static_cast<float>(sx);
    frame.map_sy = static_cast<float>(sy);
}
