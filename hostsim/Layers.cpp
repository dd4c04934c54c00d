// The host's layers.
#include "Layers.h"

#include <stdexcept>
#include <string>

int LayerStore::Add(const FloatImage& image, PixelDepth depth, A_long row_padding)
{
    PixelBuffer& layer = layers_.emplace_back(image.width, image.height, depth, row_padding);
    layer.Store(image);
    return static_cast<int>(layers_.size()) - 1;
}

const PixelBuffer& LayerStore::At(int layer) const
{
    if (layer < 0 || layer >= static_cast<int>(layers_.size())) {
        throw std::out_of_range("no layer " + std::to_string(layer));
    }
    return layers_[layer];
}

void LayerStore::SetPixels(int layer, const FloatImage& image)
{
    At(layer);
    layers_[layer].Store(image);
}

FloatImage LayerStore::Pixels(int layer) const
{
    return At(layer).Load();
}
