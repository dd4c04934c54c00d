// Images as the host hands them, checked and seen as the core's WorldViews.
//
// Coordinates. OpenFX pixel coordinates have y upwards and an image's data at its bottom-left pixel; the
// core's layer coordinates have y downwards from the layer's top-left corner. A layer here is a clip's
// region of definition: its pixel (x, y) is layer pixel (x - left, top - 1 - y), with left and top the
// region's left and top edges. So a frame renders as the compositing host renders the same picture as a
// layer, and the warp stays put when a tile or a render window moves.
#pragma once

#include "OfxHostApi.h"
#include "RenderGeometry.h"
#include "WorldView.h"

#include <string>

// An image fetched from a clip, released when this goes. Empty when the host had none.
class ClipImage {
public:
    ClipImage() = default;
    static ClipImage Fetch(OfxImageClipHandle clip, OfxTime time);
    ~ClipImage();
    ClipImage(ClipImage&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    ClipImage& operator=(ClipImage&& other) noexcept;
    ClipImage(const ClipImage&) = delete;
    ClipImage& operator=(const ClipImage&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    PropertySet props() const { return PropertySet(handle_); }

private:
    explicit ClipImage(OfxPropertySetHandle handle) : handle_(handle) {}
    OfxPropertySetHandle handle_ = nullptr;
};

// What a render needs of an image: its pixels, where they lie, and how they are stored.
struct ImageLayout {
    void* data = nullptr;
    OfxRectI bounds{};     // pixel coordinates of the pixels held
    OfxRectI rod{};        // the clip's region of definition at this render scale
    int row_bytes = 0;     // from row y to row y + 1 (upwards); may be negative
    WorldDepth depth = WorldDepth::Bits8;
    bool premultiplied = false;
};

// Reads and checks an image's properties: RGBA components, 8-bit, 16-bit or float channels, bounds that
// hold a whole number of pixels. `clip` names the clip in the failure's text. Throws ActionFailure with
// kOfxStatErrImageFormat for a format the effect does not take, kOfxStatFailed for unreadable properties.
ImageLayout ReadImageLayout(const PropertySet& image, const char* clip);

// Where a layer lies in pixel coordinates: its region of definition's left and top edges.
struct LayerFrame {
    int left = 0;
    int top = 0;
};

inline LayerFrame FrameOf(const OfxRectI& rod)
{
    return LayerFrame{rod.x1, rod.y2};
}

// A pixel rectangle in layer coordinates. Throws ActionFailure when it lies too far out to be one.
PixelRect ToLayer(const LayerFrame& frame, const OfxRectI& rect);

// The part `window` of an image (inside its bounds) as a view in layer coordinates: rows top-down, so
// the row distance is the image's negated.
WorldView ViewOf(const ImageLayout& image, const OfxRectI& window, const LayerFrame& frame);

bool IsEmpty(const OfxRectI& rect);
OfxRectI Intersect(const OfxRectI& a, const OfxRectI& b);
