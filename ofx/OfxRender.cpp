// The render actions: regions of interest, clip preferences and the frame itself, on the core's CPU
// renderer.
#include "OfxEffect.h"

#include "OfxIdentity.h"
#include "OfxImages.h"
#include "PixelConversion.h"
#include "WarpRender.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Buffer pixels per full-resolution pixel on each axis, from the action's arguments.
struct RenderScale {
    double x = 1.0;
    double y = 1.0;
};

std::string Text(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

OfxTime TimeOf(const PropertySet& in_args)
{
    const double time = in_args.Double(kOfxPropTime).value_or(NAN);
    if (!std::isfinite(time)) {
        throw ActionFailure(kOfxStatFailed, std::string("Quaverflux: the host asked for a frame at a time that is ") +
                                                (std::isnan(time) ? "not a number" : "infinite"));
    }
    return time;
}

RenderScale ScaleOf(const PropertySet& in_args)
{
    RenderScale scale;
    double values[2] = {1.0, 1.0};
    if (in_args.Doubles(kOfxImageEffectPropRenderScale, 2, values)) {
        scale = RenderScale{values[0], values[1]};
    }
    // The core takes factors up to 1000 and treats others as 1; a host's bad scale is an error instead.
    for (double s : {scale.x, scale.y}) {
        if (!(s > 0.0 && s <= 1000.0)) {
            throw ActionFailure(kOfxStatFailed, "Quaverflux: the render scale " + Text(scale.x) + " x " +
                                                    Text(scale.y) + " is not a scale");
        }
    }
    return scale;
}

PropertySet ClipProps(OfxImageClipHandle clip)
{
    OfxPropertySetHandle handle = nullptr;
    Suites().effects->clipGetPropertySet(clip, &handle);
    return PropertySet(handle);
}

bool IsConnected(OfxImageClipHandle clip)
{
    return clip && ClipProps(clip).Int(kOfxImageClipPropConnected).value_or(0) != 0;
}

// Frames per second of the effect's timeline, to turn frames into the seconds the controls are in.
double FrameRate(const EffectInstance& instance)
{
    OfxPropertySetHandle effect_props = nullptr;
    Suites().effects->getPropertySet(instance.effect, &effect_props);
    double rate = PropertySet(effect_props).Double(kOfxImageEffectPropFrameRate).value_or(0.0);
    if (!(rate > 0.0 && std::isfinite(rate))) {
        rate = ClipProps(instance.output).Double(kOfxImageEffectPropFrameRate).value_or(0.0);
    }
    if (!(rate > 0.0 && std::isfinite(rate))) {
        throw ActionFailure(kOfxStatFailed, "Quaverflux: the host gives no frame rate (" + Text(rate) + ")");
    }
    return rate;
}

double PixelAspect(OfxImageClipHandle clip)
{
    const double par = ClipProps(clip).Double(kOfxImagePropPixelAspectRatio).value_or(1.0);
    return par > 0.0 && std::isfinite(par) ? par : 1.0;
}

// A canonical coordinate in pixels, rounded outwards, held where the core's rectangles can take it.
int32_t ToPixels(double canonical, double scale, bool up)
{
    const double pixels = up ? std::ceil(canonical * scale) : std::floor(canonical * scale);
    if (!(pixels > -REQUEST_COORD_LIMIT)) {
        return -REQUEST_COORD_LIMIT;
    }
    return pixels < REQUEST_COORD_LIMIT ? static_cast<int32_t>(pixels) : REQUEST_COORD_LIMIT;
}

void SetRect(const PropertySet& props, const std::string& name, const OfxRectD& rect)
{
    const double values[4] = {rect.x1, rect.y1, rect.x2, rect.y2};
    for (int i = 0; i < 4; ++i) {
        props.Set(name.c_str(), values[i], i);
    }
}

// A premultiplied input: the warp works on straight colour (it interpolates colour and alpha apart), so
// the input is divided by its alpha, warped, and multiplied again on the way out.
RenderStatus RenderPremultiplied(const SanitizedSettings& settings, double seconds, float dsx, float dsy,
                                 const FrameWorlds& worlds, const AbortCallback& abort)
{
    std::vector<float> input;   // B, G, R, A
    WorldToWorkBuffer(worlds.input, input);
    std::vector<float> straight(input.size());   // R, G, B, A
    for (std::size_t i = 0; i < input.size(); i += 4) {
        const float a = input[i + 3];
        for (int c = 0; c < 3; ++c) {
            straight[i + 2 - c] = a > 0.0f ? input[i + c] / a : input[i + c];
        }
        straight[i + 3] = a;
    }
    FrameWorlds plain = worlds;
    plain.input.data = straight.data();
    plain.input.row_bytes = static_cast<std::ptrdiff_t>(worlds.input.width) * 4 * sizeof(float);
    plain.input.depth = WorldDepth::Float;
    const std::size_t width = static_cast<std::size_t>(worlds.output.width);
    std::vector<float> output(width * static_cast<std::size_t>(worlds.output.height) * 4);
    plain.output.data = output.data();
    plain.output.row_bytes = static_cast<std::ptrdiff_t>(width * 4 * sizeof(float));
    plain.output.depth = WorldDepth::Float;
    const RenderStatus status = RenderFrameCPU(settings, seconds, dsx, dsy, plain, abort);
    if (status != RenderStatus::Done) {
        return status;
    }
    std::vector<float> row(width * 4);   // B, G, R, A
    for (int32_t y = 0; y < worlds.output.height; ++y) {
        const float* from = output.data() + static_cast<std::size_t>(y) * width * 4;
        for (std::size_t x = 0; x < width; ++x) {
            const float a = from[x * 4 + 3];
            for (int c = 0; c < 3; ++c) {
                row[x * 4 + c] = from[x * 4 + 2 - c] * a;
            }
            row[x * 4 + 3] = a;
        }
        WorkRowToWorld(worlds.output, y, row.data());
    }
    return status;
}

}   // namespace

std::pair<int, int> LayerSizeAt(const EffectInstance& instance, OfxTime time)
{
    OfxRectD rod{};
    if (!instance.source || Suites().effects->clipGetRegionOfDefinition(instance.source, time, &rod) != kOfxStatOK) {
        return {0, 0};
    }
    const double width = (rod.x2 - rod.x1) / PixelAspect(instance.source);
    const double height = rod.y2 - rod.y1;
    auto held = [](double v) { return v > 0.0 && v < 2147483647.0 ? static_cast<int>(std::lround(v)) : 0; };
    return {held(width), held(height)};
}

OfxStatus RegionsOfInterest(const EffectInstance& instance, const PropertySet& in_args, const PropertySet& out_args)
{
    const OfxTime time = TimeOf(in_args);
    const RenderScale scale = ScaleOf(in_args);
    OfxRectD region{};
    OfxRectD rod{};
    if (!in_args.Doubles(kOfxImageEffectPropRegionOfInterest, 4, &region.x1) ||
        Suites().effects->clipGetRegionOfDefinition(instance.source, time, &rod) != kOfxStatOK) {
        return kOfxStatReplyDefault;
    }
    const auto [width, height] = LayerSizeAt(instance, time);
    const SanitizedSettings settings = FrameSettings(ReadControls(instance.params, time), width, height);
    OfxRectD roi = rod;
    if (!NeedsWholeLayer(settings.values())) {
        // The margin is the same on every side, so the region grows alike whichever way y runs.
        const double par = PixelAspect(instance.source);
        const double sx = scale.x / par;
        const PixelRect pixels{ToPixels(region.x1, sx, false), ToPixels(region.y1, scale.y, false),
                               ToPixels(region.x2, sx, true), ToPixels(region.y2, scale.y, true)};
        const PixelRect grown = InputRegionFor(settings, static_cast<float>(scale.x), static_cast<float>(scale.y), pixels);
        roi = OfxRectD{grown.left / sx, grown.top / scale.y, grown.right / sx, grown.bottom / scale.y};
    }
    SetRect(out_args, std::string("OfxImageClipPropRoI_") + kOfxImageEffectSimpleSourceClipName, roi);
    // The strength map is stretched over the layer: all of it is read.
    OfxRectD map_rod{};
    if (IsConnected(instance.map) &&
        Suites().effects->clipGetRegionOfDefinition(instance.map, time, &map_rod) == kOfxStatOK) {
        SetRect(out_args, std::string("OfxImageClipPropRoI_") + OFX_MAP_CLIP_NAME, map_rod);
    }
    return kOfxStatOK;
}

OfxStatus ClipPreferences(const EffectInstance& instance, const PropertySet& out_args)
{
    // The output keeps the source's premultiplication; an opaque source may gain transparent pixels
    // (Edges "Transparent"), which are straight colour.
    const bool premultiplied = ClipProps(instance.source).String(kOfxImageEffectPropPreMultiplication) ==
                               std::string(kOfxImagePreMultiplied);
    out_args.Set(kOfxImageEffectPropPreMultiplication,
                 premultiplied ? kOfxImagePreMultiplied : kOfxImageUnPreMultiplied);
    // The speeds move the waves with time even when nothing is animated.
    bool varying = false;
    for (int index : {PARAM_EVOLUTION_SPEED, PARAM_DRIFT_SPEED_X, PARAM_DRIFT_SPEED_Y}) {
        double speed = 0.0;
        unsigned keys = 0;
        const OfxParamHandle param = instance.params[index];
        if (param && (Suites().params->paramGetValue(param, &speed) != kOfxStatOK || speed != 0.0 ||
                      (Suites().params->paramGetNumKeys(param, &keys) == kOfxStatOK && keys > 0))) {
            varying = true;
        }
    }
    out_args.Set(kOfxImageEffectFrameVarying, varying ? 1 : 0);
    out_args.Set(kOfxImageClipPropContinuousSamples, varying ? 1 : 0);
    return kOfxStatOK;
}

OfxStatus Render(const EffectInstance& instance, const PropertySet& in_args)
{
    const OfxTime time = TimeOf(in_args);
    const RenderScale scale = ScaleOf(in_args);
    OfxRectI window{};
    if (!in_args.Ints(kOfxImageEffectPropRenderWindow, 4, &window.x1)) {
        throw ActionFailure(kOfxStatFailed, "Quaverflux: the host gave no render window");
    }
    if (IsEmpty(window)) {
        throw ActionFailure(kOfxStatFailed, "Quaverflux: the render window (" + std::to_string(window.x1) + ", " +
                                                std::to_string(window.y1) + ") to (" + std::to_string(window.x2) +
                                                ", " + std::to_string(window.y2) + ") is empty");
    }
    const double seconds = time / FrameRate(instance);

    const ClipImage output_image = ClipImage::Fetch(instance.output, time);
    if (!output_image) {
        throw ActionFailure(kOfxStatFailed, "Quaverflux: the host gave no output image at frame " + Text(time));
    }
    const ImageLayout output = ReadImageLayout(output_image.props(), kOfxImageEffectOutputClipName);
    window = Intersect(window, output.bounds);
    if (IsEmpty(window)) {
        throw ActionFailure(kOfxStatFailed, "Quaverflux: the render window lies outside the output image");
    }
    const ClipImage source_image = ClipImage::Fetch(instance.source, time);
    if (!source_image) {
        throw ActionFailure(kOfxStatFailed, "Quaverflux: the Source clip has no image at frame " + Text(time));
    }
    const ImageLayout source = ReadImageLayout(source_image.props(), kOfxImageEffectSimpleSourceClipName);

    const auto [width, height] = LayerSizeAt(instance, time);
    const SanitizedSettings settings = FrameSettings(ReadControls(instance.params, time), width, height);

    // Input and output share the source's layer frame: both are in the same pixel coordinates.
    const LayerFrame frame = FrameOf(source.rod);
    FrameWorlds worlds;
    worlds.input = ViewOf(source, source.bounds, frame);
    worlds.input_layer = ToLayer(frame, source.rod);
    worlds.output = ViewOf(output, window, frame);

    // A map without an image renders without a map, as a map layer without pixels does.
    ClipImage map_image;
    if (IsConnected(instance.map)) {
        map_image = ClipImage::Fetch(instance.map, time);
    }
    if (map_image) {
        const ImageLayout map = ReadImageLayout(map_image.props(), OFX_MAP_CLIP_LABEL);
        const LayerFrame map_frame = FrameOf(map.rod);
        worlds.map = ViewOf(map, map.bounds, map_frame);
        worlds.map_layer = ToLayer(map_frame, map.rod);
    }

    const OfxImageEffectHandle effect = instance.effect;
    const AbortCallback abort = [effect] { return Suites().effects->abort(effect) != 0; };
    const float dsx = static_cast<float>(scale.x);
    const float dsy = static_cast<float>(scale.y);
    const RenderStatus status = source.premultiplied
                                    ? RenderPremultiplied(settings, seconds, dsx, dsy, worlds, abort)
                                    : RenderFrameCPU(settings, seconds, dsx, dsy, worlds, abort);
    // A stopped frame is incomplete: the host must not keep it.
    return status == RenderStatus::Done ? kOfxStatOK : kOfxStatFailed;
}
