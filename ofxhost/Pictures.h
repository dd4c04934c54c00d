// Pictures as tests fill and compare them, and their storing into and reading from OpenFX image
// buffers of one depth.
#pragma once

#include "ofxCore.h"

#include <cstddef>
#include <string>
#include <vector>

// width x height pixels of R, G, B, A floats, the top row first (as people look at it).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<float> rgba;

    Picture() = default;
    Picture(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4, 0.0f) {}
    float* At(int x, int y) { return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
    const float* At(int x, int y) const { return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
};

// Bytes per channel of an OpenFX depth ("OfxBitDepthByte": 1, Short and Half: 2, Float: 4).
std::size_t ChannelBytes(const std::string& depth);

// Pixel `window` (y upwards; pixel row y is picture row height - 1 - y) of the picture, stored in `depth`
// with 4 channels: integer depths round to the nearest level of their full scale (255, 65535) and clamp;
// Half stores zeros (no effect takes it here); floats are copied. Rows are `row_bytes` apart in the
// returned bytes, the window's bottom row at `bottom_row` bytes from the start.
std::vector<unsigned char> StoreWindow(const Picture& picture, const OfxRectI& window, const std::string& depth,
                                       int row_bytes, std::size_t& bottom_row);

// Pixel row y (upwards) of a stored image, read back as floats: levels divided by their full scale.
void ReadRow(const unsigned char* row, int width, const std::string& depth, float* rgba);
