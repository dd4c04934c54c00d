// render_frames: renders a fixed set of frames through a plug-in module with the host simulator and writes
// them to one file, so that the native build and the Windows build (run under Wine) can be compared byte
// for byte. The input pictures use integer arithmetic only, so both builds start from the same bits.
//   render_frames <plug-in module> <output file>
// Output, per frame: its name and a NUL, then width, height and the render's error code (32-bit,
// little-endian), then the output pixels as floats (B, G, R, A, straight), rows top to bottom.
#include "HostSim.h"
#include "ParamIndex.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr A_long WIDTH = 96;
constexpr A_long HEIGHT = 64;

// Colour ramps and a checker, alpha between 0.5 and 1: every channel varies, so every warp shows. Values
// are exact binary fractions of small integers.
FloatImage Picture(A_long width, A_long height, int variant)
{
    FloatImage image(width, height);
    for (A_long y = 0; y < height; ++y) {
        for (A_long x = 0; x < width; ++x) {
            const int checker = ((x / 8 + y / 8 + variant) & 1) * 64;
            const float b = static_cast<float>((x * 255) / (width - 1)) / 256.0f;
            const float g = static_cast<float>((y * 255) / (height - 1)) / 256.0f;
            const float r = static_cast<float>((checker + ((x + 3 * y + 17 * variant) & 127)) & 255) / 256.0f;
            const float a = 0.5f + static_cast<float>(((x ^ y) + variant) & 63) / 128.0f;
            image.Set(x, y, b, g, r, a);
        }
    }
    return image;
}

struct Frame {
    std::string name;
    std::function<void(HostSim&)> set_up;   // after Start: layers, controls, time
    PixelDepth depth = PixelDepth::Float;
    bool legacy = false;
};

void Input(HostSim& host, PixelDepth depth, A_long width = WIDTH, A_long height = HEIGHT)
{
    host.params().SetInputLayer(host.layers().Add(Picture(width, height, 0), depth));
}

// Controls that reach most of the frame builder and the kernel: evolution and drift at an odd time,
// three iterations, a negative colour split, the best anti-aliasing and bicubic sampling.
void Busy(HostSim& host)
{
    host.params().Set(PARAM_ITERATIONS, 3);
    host.params().Set(PARAM_COLOR_SPLIT, -45.0);
    host.params().Set(PARAM_ANTIALIASING, 4);
    host.params().Set(PARAM_INTERPOLATION, 2);
    host.params().Set(PARAM_EVOLUTION, 77.0);
    host.params().Set(PARAM_EVOLUTION_SPEED, -0.7);
    host.params().Set(PARAM_DRIFT_SPEED_Y, -7.5);
    host.settings().current_time = 53;
}

std::vector<Frame> Frames()
{
    std::vector<Frame> frames;
    for (const PixelDepth depth : {PixelDepth::Bits8, PixelDepth::Bits16, PixelDepth::Float}) {
        const std::string bits = std::to_string(static_cast<int>(depth));
        frames.push_back({"defaults " + bits, [depth](HostSim& h) { Input(h, depth); }, depth});
        frames.push_back({"busy " + bits, [depth](HostSim& h) { Input(h, depth); Busy(h); }, depth});
    }
    // Every look of the Preset menu, at a time where evolution and drift have moved.
    for (int look = 2; look <= 15; ++look) {
        frames.push_back({"preset " + std::to_string(look), [look](HostSim& h) {
                              Input(h, PixelDepth::Float);
                              h.ChoosePreset(look);
                              h.settings().current_time = 37;
                          }});
    }
    for (int waveform = 1; waveform <= 6; ++waveform) {
        frames.push_back({"waveform " + std::to_string(waveform), [waveform](HostSim& h) {
                              Input(h, PixelDepth::Float);
                              h.params().Set(PARAM_WAVEFORM, waveform);
                              h.params().Set(PARAM_WAVES, 9);
                              h.params().Set(PARAM_RANDOM_SEED, 1234);
                          }});
    }
    for (int edges = 1; edges <= 4; ++edges) {
        frames.push_back({"edges " + std::to_string(edges), [edges](HostSim& h) {
                              Input(h, PixelDepth::Float);
                              h.params().Set(PARAM_EDGES, edges);
                              h.params().Set(PARAM_AMOUNT, 400.0);
                              h.params().Set(PARAM_OFFSET_X, 333.25);
                          }});
    }
    for (int channel = 1; channel <= 5; ++channel) {
        frames.push_back({"map channel " + std::to_string(channel), [channel](HostSim& h) {
                              Input(h, PixelDepth::Bits16);
                              h.params().SetMapLayer(h.layers().Add(Picture(40, 30, 1), PixelDepth::Bits8));
                              h.params().Set(PARAM_MAP_CHANNEL, channel);
                              h.params().Set(PARAM_INVERT_MAP, channel & 1);
                          }, PixelDepth::Bits16});
    }
    frames.push_back({"loop", [](HostSim& h) {
                          Input(h, PixelDepth::Float);
                          Busy(h);
                          h.params().Set(PARAM_LOOP, 1);
                          h.params().Set(PARAM_LOOP_DURATION, 2.5);
                          h.settings().current_time = 101;
                      }});
    frames.push_back({"downsampled", [](HostSim& h) {
                          h.settings().downsample_x = {1, 2};
                          h.settings().downsample_y = {1, 2};
                          Input(h, PixelDepth::Float, WIDTH / 2, HEIGHT / 2);
                          Busy(h);
                      }});
    frames.push_back({"large layer scale", [](HostSim& h) {
                          Input(h, PixelDepth::Float);
                          h.params().Set(PARAM_SCALE_WITH_LAYER, 0);
                          h.params().Set(PARAM_WAVE_SIZE, 37.5);
                          h.params().Set(PARAM_DIRECTION, 123.0);
                          h.params().Set(PARAM_DIRECTION_SPREAD, 180.0);
                          h.params().Set(PARAM_MIX, 70.0);
                      }});
    for (const PixelDepth depth : {PixelDepth::Bits8, PixelDepth::Bits16}) {
        frames.push_back({"legacy " + std::to_string(static_cast<int>(depth)),
                          [depth](HostSim& h) { Input(h, depth); Busy(h); }, depth, true});
    }
    return frames;
}

void Write32(std::FILE* out, std::uint32_t value)
{
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    std::fwrite(bytes, 1, 4, out);
}

}   // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_frames <plug-in module> <output file>\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::fprintf(stderr, "render_frames: cannot write %s\n", argv[2]);
        return 1;
    }
    try {
        for (const Frame& frame : Frames()) {
            HostSim host(argv[1]);
            if (host.Start() != PF_Err_NONE) {
                std::fprintf(stderr, "render_frames: start-up failed\n");
                return 1;
            }
            frame.set_up(host);
            RenderResult result;
            if (frame.legacy) {
                LegacyRequest request;
                request.depth = frame.depth;
                result = host.render().Legacy(request);
            } else {
                RenderRequest request;
                request.depth = frame.depth;
                result = host.render().Frame(request);
            }
            std::fwrite(frame.name.c_str(), 1, frame.name.size() + 1, out);
            Write32(out, static_cast<std::uint32_t>(result.image.width));
            Write32(out, static_cast<std::uint32_t>(result.image.height));
            Write32(out, static_cast<std::uint32_t>(result.error));
            // Floats as the machine stores them: little-endian IEEE single on both builds' targets.
            std::fwrite(result.image.pixels.data(), sizeof(float), result.image.pixels.size(), out);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "render_frames: %s\n", e.what());
        return 1;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
