// Image properties, checks and views.
#include "OfxImages.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

int64_t PixelBytes(WorldDepth depth)
{
    return depth == WorldDepth::Float ? 16 : depth == WorldDepth::Bits16Full ? 8 : 4;
}

int32_t Coordinate(int64_t value)
{
    // The core holds buffer positions far inside this; a host's coordinates beyond it are damaged.
    if (value < -POSITION_LIMIT || value > POSITION_LIMIT) {
        throw ActionFailure(kOfxStatFailed, "Quaverflux: an image lies too far out (coordinate " +
                                                std::to_string(value) + ")");
    }
    return static_cast<int32_t>(value);
}

}   // namespace

ClipImage ClipImage::Fetch(OfxImageClipHandle clip, OfxTime time)
{
    OfxPropertySetHandle handle = nullptr;
    if (!clip || Suites().effects->clipGetImage(clip, time, nullptr, &handle) != kOfxStatOK) {
        return ClipImage();
    }
    return ClipImage(handle);
}

ClipImage::~ClipImage()
{
    if (handle_) {
        Suites().effects->clipReleaseImage(handle_);
    }
}

ClipImage& ClipImage::operator=(ClipImage&& other) noexcept
{
    if (this != &other) {
        if (handle_) {
            Suites().effects->clipReleaseImage(handle_);
        }
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

bool IsEmpty(const OfxRectI& rect)
{
    return rect.x2 <= rect.x1 || rect.y2 <= rect.y1;
}

OfxRectI Intersect(const OfxRectI& a, const OfxRectI& b)
{
    const OfxRectI r{std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
    return IsEmpty(r) ? OfxRectI{0, 0, 0, 0} : r;
}

ImageLayout ReadImageLayout(const PropertySet& image, const char* clip)
{
    const std::string components = image.String(kOfxImageEffectPropComponents).value_or("none");
    if (components != kOfxImageComponentRGBA) {
        throw ActionFailure(kOfxStatErrImageFormat, std::string("Quaverflux takes RGBA images; the ") + clip +
                                                        " image is " + components);
    }
    const std::string depth = image.String(kOfxImageEffectPropPixelDepth).value_or("none");
    ImageLayout layout;
    if (depth == kOfxBitDepthByte) {
        layout.depth = WorldDepth::Bits8;
    } else if (depth == kOfxBitDepthShort) {
        layout.depth = WorldDepth::Bits16Full;
    } else if (depth == kOfxBitDepthFloat) {
        layout.depth = WorldDepth::Float;
    } else {
        throw ActionFailure(kOfxStatErrImageFormat, std::string("Quaverflux takes 8-bit, 16-bit and float "
                                                                "images; the ") +
                                                        clip + " image is " + depth);
    }
    const auto row_bytes = image.Int(kOfxImagePropRowBytes);
    if (!image.Ints(kOfxImagePropBounds, 4, &layout.bounds.x1) || !row_bytes) {
        throw ActionFailure(kOfxStatFailed, std::string("Quaverflux: the ") + clip + " image has no bounds");
    }
    layout.row_bytes = *row_bytes;
    layout.data = image.Pointer(kOfxImagePropData);
    if (!image.Ints(kOfxImagePropRegionOfDefinition, 4, &layout.rod.x1)) {
        layout.rod = layout.bounds;   // a host that does not say: the image is all there is
    }
    const int64_t width = int64_t(layout.bounds.x2) - layout.bounds.x1;
    const int64_t height = int64_t(layout.bounds.y2) - layout.bounds.y1;
    if (width > 0 && height > 0) {
        const int64_t row = width * PixelBytes(layout.depth);
        if (!layout.data || (layout.row_bytes >= 0 ? layout.row_bytes : -int64_t(layout.row_bytes)) < row) {
            throw ActionFailure(kOfxStatFailed, std::string("Quaverflux: the ") + clip +
                                                    " image's rows are shorter than its bounds");
        }
    }
    layout.premultiplied = image.String(kOfxImageEffectPropPreMultiplication) == std::string(kOfxImagePreMultiplied);
    return layout;
}

PixelRect ToLayer(const LayerFrame& frame, const OfxRectI& rect)
{
    return PixelRect{Coordinate(int64_t(rect.x1) - frame.left), Coordinate(int64_t(frame.top) - rect.y2),
                     Coordinate(int64_t(rect.x2) - frame.left), Coordinate(int64_t(frame.top) - rect.y1)};
}

WorldView ViewOf(const ImageLayout& image, const OfxRectI& window, const LayerFrame& frame)
{
    WorldView view;
    view.depth = image.depth;
    view.order = ChannelOrder::RGBA;
    if (IsEmpty(window)) {
        return view;
    }
    const PixelRect place = ToLayer(frame, window);
    view.width = place.right - place.left;
    view.height = place.bottom - place.top;
    view.origin_x = place.left;
    view.origin_y = place.top;
    // The view's first row is the window's top row, y2 - 1.
    const int64_t top_row = int64_t(window.y2) - 1 - image.bounds.y1;
    const int64_t column = int64_t(window.x1) - image.bounds.x1;
    view.data = static_cast<char*>(image.data) + top_row * image.row_bytes + column * PixelBytes(image.depth);
    view.row_bytes = -static_cast<std::ptrdiff_t>(image.row_bytes);
    return view;
}
