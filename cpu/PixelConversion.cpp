// Per-channel scaling between host depths and work floats. Host pixels are A, R, G, B in memory; work
// pixels are B, G, R, A. Rows are found at data + row * rowbytes in signed 64-bit arithmetic, since
// rowbytes may be negative (bottom-up worlds) or larger than the pixels need.
#include "PixelConversion.h"

#include <bit>
#include <cstring>

namespace {

// Single-precision value nearest 1/255: level * it gives exactly 1.0 for 255, and every level survives
// the way back through Quantise.
constexpr float INV_255 = 0.003921569f;
static_assert(std::bit_cast<uint32_t>(INV_255) == 0x3B808081u);
// 2^-15: the 16-bit depth's full scale is 32768, not 65535.
constexpr float INV_32768 = 3.0517578125e-5f;
static_assert(std::bit_cast<uint32_t>(INV_32768) == 0x38000000u);

// Host channel index inside one pixel for work channels B, G, R, A.
constexpr size_t HOST_CHANNEL[4] = {3, 2, 1, 0};

// One host channel type: how it reads into and writes from a work float. Host memory is read and
// written through memcpy, which needs no alignment and keeps float bits exactly (NaN payloads too).
// An integer level from a work value: v in (0, 1) is scaled and rounded half up, both in single
// precision; at or above 1 it saturates at full scale; 0 or less and NaN give 0.
template <int FULL_SCALE> int Quantise(float v)
{
    if (v >= 1.0f)
        return FULL_SCALE;
    if (!(v > 0.0f))
        return 0;
    float scaled = v * float(FULL_SCALE);
    return int(scaled + 0.5f);
}

template <typename T> struct Channel;

template <> struct Channel<uint8_t> {
    static float Read(uint8_t level) { return float(level) * INV_255; }
    static uint8_t Write(float v) { return uint8_t(Quantise<255>(v)); }
};

template <> struct Channel<uint16_t> {
    static float Read(uint16_t level) { return float(level) * INV_32768; }
    static uint16_t Write(float v) { return uint16_t(Quantise<32768>(v)); }
};

template <> struct Channel<float> {
    static float Read(float v) { return v; }
    static float Write(float v) { return v; }
};

char* RowAddress(const PF_EffectWorld* world, int32_t row)
{
    return reinterpret_cast<char*>(world->data) + int64_t(row) * int64_t(world->rowbytes);
}

template <typename T> void ReadRow(const char* host, size_t width, float* work)
{
    for (size_t x = 0; x < width; x++, host += 4 * sizeof(T), work += 4)
        for (int c = 0; c < 4; c++) {
            T level;
            std::memcpy(&level, host + HOST_CHANNEL[c] * sizeof(T), sizeof(T));
            work[c] = Channel<T>::Read(level);
        }
}

template <typename T> void WriteRow(const float* work, size_t width, char* host)
{
    for (size_t x = 0; x < width; x++, host += 4 * sizeof(T), work += 4)
        for (int c = 0; c < 4; c++) {
            T level = Channel<T>::Write(work[c]);
            std::memcpy(host + HOST_CHANNEL[c] * sizeof(T), &level, sizeof(T));
        }
}

bool IsEmpty(const PF_EffectWorld* world)
{
    return world == nullptr || world->width <= 0 || world->height <= 0;
}

} // namespace

void WorldToWorkBuffer(const PF_EffectWorld* world, PF_PixelFormat format, std::vector<float>& buffer)
{
    if (IsEmpty(world)) {
        buffer.clear();
        return;
    }
    const size_t width = size_t(world->width);
    buffer.resize(width * size_t(world->height) * 4);
    auto readRow = format == PF_PixelFormat_ARGB128  ? ReadRow<float>
                   : format == PF_PixelFormat_ARGB64 ? ReadRow<uint16_t>
                                                     : ReadRow<uint8_t>;
    for (int32_t y = 0; y < world->height; y++)
        readRow(RowAddress(world, y), width, buffer.data() + size_t(y) * width * 4);
}

void WorkRowToWorld(PF_EffectWorld* world, PF_PixelFormat format, int32_t row, const float* pixels)
{
    if (IsEmpty(world) || row < 0 || row >= world->height)
        return;
    auto writeRow = format == PF_PixelFormat_ARGB128  ? WriteRow<float>
                    : format == PF_PixelFormat_ARGB64 ? WriteRow<uint16_t>
                                                      : WriteRow<uint8_t>;
    writeRow(pixels, size_t(world->width), RowAddress(world, row));
}
