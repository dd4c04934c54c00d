// The host's layers: pictures held in one of the host's depths, each with an id. Layer parameters point
// at them by id (ParamStore::SetLayer); the render roads hand out worlds into them.
//
// Layers hold their pixels at the resolution being rendered: with downsample 1/2 on both axes, a
// 1920 x 1080 layer is added as 960 x 540.
#pragma once

#include "Pixels.h"

#include <deque>

// A layer parameter pointing at no layer.
inline constexpr int NO_LAYER = -1;

class LayerStore {
public:
    // A layer of the image's size in the given depth; returns its id. row_padding bytes follow the
    // pixels of every row.
    int Add(const FloatImage& image, PixelDepth depth, A_long row_padding = 0);
    void SetPixels(int layer, const FloatImage& image);   // same size; stored in the layer's depth
    FloatImage Pixels(int layer) const;                   // as stored, read back as floats
    // The layer's pixels; throws std::out_of_range for an id no layer has.
    const PixelBuffer& At(int layer) const;

private:
    std::deque<PixelBuffer> layers_;   // by id; a deque so worlds into them stay valid
};
