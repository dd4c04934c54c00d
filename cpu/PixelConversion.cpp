// Per-channel scaling between host depths and work floats, through the formats of PixelFormats.h. Work
// pixels are B, G, R, A; host pixels are in their world's order.
#include "PixelConversion.h"

#include "PixelFormats.h"

#include <cstring>

namespace {

// Host memory is read and written through memcpy, which needs no alignment and keeps float bits exactly
// (NaN payloads too).
template <class P> void ReadRow(const char* host, size_t width, float* work)
{
    using T = typename P::Channel;
    const size_t at[4] = {size_t(P::B), size_t(P::G), size_t(P::R), size_t(P::A)};
    for (size_t x = 0; x < width; x++, host += P::PIXEL_BYTES, work += 4)
        for (int c = 0; c < 4; c++) {
            T level;
            std::memcpy(&level, host + at[c] * sizeof(T), sizeof(T));
            work[c] = ReadLevel<P>(level);
        }
}

template <class P> void WriteRow(const float* work, size_t width, char* host)
{
    using T = typename P::Channel;
    const size_t at[4] = {size_t(P::B), size_t(P::G), size_t(P::R), size_t(P::A)};
    for (size_t x = 0; x < width; x++, host += P::PIXEL_BYTES, work += 4)
        for (int c = 0; c < 4; c++) {
            const T level = WriteLevel<P>(work[c]);
            std::memcpy(host + at[c] * sizeof(T), &level, sizeof(T));
        }
}

} // namespace

void WorldToWorkBuffer(const WorldView& world, std::vector<float>& buffer)
{
    if (!HasPixels(world)) {
        buffer.clear();
        return;
    }
    const size_t width = size_t(world.width);
    buffer.resize(width * size_t(world.height) * 4);
    WithPixelFormat(world.depth, world.order, [&]<class P>() {
        for (int32_t y = 0; y < world.height; y++)
            ReadRow<P>(RowAddress(world, y), width, buffer.data() + size_t(y) * width * 4);
    });
}

void WorkRowToWorld(const WorldView& world, int32_t row, const float* pixels)
{
    if (!HasPixels(world) || row < 0 || row >= world.height)
        return;
    WithPixelFormat(world.depth, world.order,
                    [&]<class P>() { WriteRow<P>(pixels, size_t(world.width), RowAddress(world, row)); });
}

WorldView WorkBufferWorld(const float* pixels, int32_t width, int32_t height, int32_t pitch)
{
    return WorldView{const_cast<float*>(pixels), width, height, std::ptrdiff_t(pitch) * 16, WorldDepth::Float,
                     ChannelOrder::BGRA, 0, 0};
}
