// Storing pictures in an image depth and reading them back.
#include "Pictures.h"

#include "ofxImageEffect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

std::size_t ChannelBytes(const std::string& depth)
{
    return depth == kOfxBitDepthByte ? 1 : depth == kOfxBitDepthFloat ? 4 : 2;
}

namespace {

template <typename T> void StoreLevel(float v, float full_scale, unsigned char* to)
{
    const float clamped = std::min(std::max(std::isnan(v) ? 0.0f : v, 0.0f), 1.0f);
    const T level = static_cast<T>(std::lround(clamped * full_scale));
    std::memcpy(to, &level, sizeof level);
}

}   // namespace

std::vector<unsigned char> StoreWindow(const Picture& picture, const OfxRectI& window, const std::string& depth,
                                       int row_bytes, std::size_t& bottom_row)
{
    const int width = std::max(window.x2 - window.x1, 0);
    const int height = std::max(window.y2 - window.y1, 0);
    const std::size_t stride = static_cast<std::size_t>(std::abs(row_bytes));
    std::vector<unsigned char> bytes(stride * static_cast<std::size_t>(height), 0);
    bottom_row = row_bytes < 0 && height > 0 ? stride * static_cast<std::size_t>(height - 1) : 0;
    const std::size_t channel = ChannelBytes(depth);
    for (int row = 0; row < height; ++row) {
        unsigned char* to = bytes.data() + static_cast<std::ptrdiff_t>(bottom_row) +
                            static_cast<std::ptrdiff_t>(row) * row_bytes;
        const int picture_y = picture.height - 1 - (window.y1 + row);
        for (int x = 0; x < width; ++x) {
            const float* from = picture.At(window.x1 + x, picture_y);
            for (int c = 0; c < 4; ++c, to += channel) {
                if (depth == kOfxBitDepthByte) {
                    StoreLevel<uint8_t>(from[c], 255.0f, to);
                } else if (depth == kOfxBitDepthShort) {
                    StoreLevel<uint16_t>(from[c], 65535.0f, to);
                } else if (depth == kOfxBitDepthFloat) {
                    std::memcpy(to, &from[c], sizeof(float));
                }
            }
        }
    }
    return bytes;
}

void ReadRow(const unsigned char* row, int width, const std::string& depth, float* rgba)
{
    for (int i = 0; i < width * 4; ++i) {
        if (depth == kOfxBitDepthByte) {
            rgba[i] = row[i] / 255.0f;
        } else if (depth == kOfxBitDepthShort) {
            uint16_t level;
            std::memcpy(&level, row + i * 2, 2);
            rgba[i] = level / 65535.0f;
        } else {
            std::memcpy(&rgba[i], row + i * 4, 4);
        }
    }
}
