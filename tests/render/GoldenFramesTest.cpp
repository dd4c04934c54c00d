// Frames pinned by a hash of their bytes: the fourteen looks at 8, 16 and 32 bits on the CPU and on
// OpenCL, a strength-mapped frame, an animated frame in parts, and the legacy road. The hashes were
// recorded from the renderer itself; a change to how any pixel is computed or placed, on any road,
// shows here as a changed hash. Re-record only for a change meant to alter frames.
#include "RenderTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr A_long WIDTH = 40;
constexpr A_long HEIGHT = 30;

// FNV-1a, 64 bits.
std::uint64_t Fnv1a(const void* data, std::size_t bytes, std::uint64_t hash = 0xcbf29ce484222325ull)
{
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < bytes; ++i) {
        hash ^= p[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// The output's size, its place in the layer and every value's bits.
std::uint64_t FrameHash(const RenderResult& result)
{
    const std::int32_t place[4] = {result.image.width, result.image.height, result.origin_x, result.origin_y};
    const std::uint64_t hash = Fnv1a(place, sizeof place);
    return Fnv1a(result.image.pixels.data(), result.image.pixels.size() * sizeof(float), hash);
}

// A busy picture made with integer arithmetic and one exact division per value, so it is the same
// everywhere. Alpha stays within [0.5, 1].
FloatImage GoldenPicture(A_long width, A_long height)
{
    FloatImage image(width, height);
    for (A_long y = 0; y < height; ++y) {
        for (A_long x = 0; x < width; ++x) {
            const float b = static_cast<float>((x * 37 + y * 11) & 255) / 255.0f;
            const float g = static_cast<float>((x * 5 + y * 23 + 64) & 255) / 255.0f;
            const float r = static_cast<float>(((x ^ y) * 13) & 255) / 255.0f;
            const float a = 0.5f + static_cast<float>((x * 3 + y * 7) & 127) / 254.0f;
            image.Set(x, y, b, g, r, a);
        }
    }
    return image;
}

const char* DepthName(PixelDepth depth)
{
    return depth == PixelDepth::Bits8 ? "8" : depth == PixelDepth::Bits16 ? "16" : "32";
}

// Compares every hash and prints the whole table once when any differs, ready to paste.
class HashTable {
public:
    explicit HashTable(std::map<std::string, std::uint64_t> expected) : expected_(std::move(expected)) {}

    void Check(const std::string& name, const RenderResult& result)
    {
        ASSERT_EQ(result.error, PF_Err_NONE) << name;
        const std::uint64_t hash = FrameHash(result);
        actual_.emplace_back(name, hash);
        const auto it = expected_.find(name);
        if (it == expected_.end()) {
            ADD_FAILURE() << name << ": no recorded hash";
            differs_ = true;
        } else if (it->second != hash) {
            char text[32];
            std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(hash));
            ADD_FAILURE() << name << ": frame hash " << text;
            differs_ = true;
        }
    }

    ~HashTable()
    {
        if (!differs_) {
            return;
        }
        std::printf("Frame hashes of this build:\n");
        for (const auto& [name, hash] : actual_) {
            std::printf("    {\"%s\", 0x%016llxull},\n", name.c_str(), static_cast<unsigned long long>(hash));
        }
    }

private:
    std::map<std::string, std::uint64_t> expected_;
    std::vector<std::pair<std::string, std::uint64_t>> actual_;
    bool differs_ = false;
};

const std::map<std::string, std::uint64_t> CPU_HASHES = {
    {"cpu/8/look 2", 0x8e501b1510a78ee4ull},
    {"cpu/8/look 3", 0xfca8a4afe5909c16ull},
    {"cpu/8/look 4", 0x3bf689b0cf3879b9ull},
    {"cpu/8/look 5", 0xe57a1b9243561f34ull},
    {"cpu/8/look 6", 0x8e2caeeab76a5789ull},
    {"cpu/8/look 7", 0x7ecf8dfb42857623ull},
    {"cpu/8/look 8", 0xa0cf2cf7dd4e39b1ull},
    {"cpu/8/look 9", 0xb1e77dcb66c857cdull},
    {"cpu/8/look 10", 0x7fdb0fc60d2b33b2ull},
    {"cpu/8/look 11", 0x327097a3fbbaa9c7ull},
    {"cpu/8/look 12", 0x21a1b1d93fea3231ull},
    {"cpu/8/look 13", 0xa8bd8bdc74612db1ull},
    {"cpu/8/look 14", 0x0f678f25c4ab3f9dull},
    {"cpu/8/look 15", 0xf5a541cca2129fb0ull},
    {"cpu/16/look 2", 0xd3357d10c5f65b00ull},
    {"cpu/16/look 3", 0x2fca8c89f424bb4dull},
    {"cpu/16/look 4", 0x1f78e8d05b620caaull},
    {"cpu/16/look 5", 0xd1a3ba9f761010b0ull},
    {"cpu/16/look 6", 0xfc25f2e234f4615eull},
    {"cpu/16/look 7", 0xdf370fcbf9bdbc6dull},
    {"cpu/16/look 8", 0x7ccb7ae257d42a57ull},
    {"cpu/16/look 9", 0x6ca34ff215deeb3aull},
    {"cpu/16/look 10", 0xa99b31dd6df51f19ull},
    {"cpu/16/look 11", 0x1b904ac57dc39008ull},
    {"cpu/16/look 12", 0x05fdccfb85c947dfull},
    {"cpu/16/look 13", 0x67ed6540cf7f2df5ull},
    {"cpu/16/look 14", 0xd630a0a4b7199fe6ull},
    {"cpu/16/look 15", 0xdf9df07ad7bc7fbcull},
    {"cpu/32/look 2", 0x5901281011e85e31ull},
    {"cpu/32/look 3", 0x99abab752228be28ull},
    {"cpu/32/look 4", 0xc2b1e6eaeac0cf7bull},
    {"cpu/32/look 5", 0xc2b3eb14bada7d79ull},
    {"cpu/32/look 6", 0x5d8adb6cc3c48b9aull},
    {"cpu/32/look 7", 0x5ee2bbc1256499b8ull},
    {"cpu/32/look 8", 0x55b957dc3b13f585ull},
    {"cpu/32/look 9", 0x3b5dcc8e1506eb85ull},
    {"cpu/32/look 10", 0x5eae40e9a61e2bdeull},
    {"cpu/32/look 11", 0xcc26755eb279d623ull},
    {"cpu/32/look 12", 0xe08bfe421b8ebac9ull},
    {"cpu/32/look 13", 0x1c2592cfd4d979ecull},
    {"cpu/32/look 14", 0xd81584deb919e211ull},
    {"cpu/32/look 15", 0xaef7d537b6b5bff1ull},
    {"cpu/16/map", 0x3b6cc27c0478bd3cull},
    {"cpu/32/busy part", 0xa40be19383bcd496ull},
    {"legacy/8/look 12", 0x1e0e0c334abe1679ull},
    {"legacy/8/map", 0x2196061e16f82cd7ull},
    {"legacy/16/look 12", 0x4ff33a8b7a999333ull},
    {"legacy/16/map", 0x80100c6998830a7bull},
};

const std::map<std::string, std::uint64_t> OPENCL_HASHES = {
    {"opencl/8/look 2", 0x6769d5f2f0bd07d1ull},
    {"opencl/8/look 3", 0xe77b1ce8f6370954ull},
    {"opencl/8/look 4", 0xf66d1bdd6fa8fbedull},
    {"opencl/8/look 5", 0x6b6bb143a1a5e450ull},
    {"opencl/8/look 6", 0x957cd667db94cdc3ull},
    {"opencl/8/look 7", 0xb03bde2c70f5d849ull},
    {"opencl/8/look 8", 0xde5563151a572fd8ull},
    {"opencl/8/look 9", 0x1da502493cc117deull},
    {"opencl/8/look 10", 0x37f0b5000fe4be35ull},
    {"opencl/8/look 11", 0xfcc84f568d00eb1full},
    {"opencl/8/look 12", 0x6a11cbe57e140ed9ull},
    {"opencl/8/look 13", 0x795022c348db8266ull},
    {"opencl/8/look 14", 0xb40d571128718137ull},
    {"opencl/8/look 15", 0xb6acf643a648da87ull},
    {"opencl/16/look 2", 0x2f8ca0ee47293e46ull},
    {"opencl/16/look 3", 0xef90f9d60530f613ull},
    {"opencl/16/look 4", 0x90a5202f8ea0093dull},
    {"opencl/16/look 5", 0x25899f35601397e1ull},
    {"opencl/16/look 6", 0x5a4d41225e19ac68ull},
    {"opencl/16/look 7", 0x5c94e60106691870ull},
    {"opencl/16/look 8", 0xd98812d4d230454eull},
    {"opencl/16/look 9", 0x2e2f62b675a68ff6ull},
    {"opencl/16/look 10", 0x812a92d18299cfd1ull},
    {"opencl/16/look 11", 0x6a9c555365d469e2ull},
    {"opencl/16/look 12", 0x95d57ffa2aaee2ccull},
    {"opencl/16/look 13", 0xe1b13447a253208dull},
    {"opencl/16/look 14", 0x02cae7734389f4baull},
    {"opencl/16/look 15", 0x2dd50dc100c4fb82ull},
    {"opencl/32/look 2", 0x5901281011e85e31ull},
    {"opencl/32/look 3", 0x99abab752228be28ull},
    {"opencl/32/look 4", 0xc2b1e6eaeac0cf7bull},
    {"opencl/32/look 5", 0xc2b3eb14bada7d79ull},
    {"opencl/32/look 6", 0x5d8adb6cc3c48b9aull},
    {"opencl/32/look 7", 0x5ee2bbc1256499b8ull},
    {"opencl/32/look 8", 0x55b957dc3b13f585ull},
    {"opencl/32/look 9", 0x3b5dcc8e1506eb85ull},
    {"opencl/32/look 10", 0x5eae40e9a61e2bdeull},
    {"opencl/32/look 11", 0xcc26755eb279d623ull},
    {"opencl/32/look 12", 0xe08bfe421b8ebac9ull},
    {"opencl/32/look 13", 0x1c2592cfd4d979ecull},
    {"opencl/32/look 14", 0xd81584deb919e211ull},
    {"opencl/32/look 15", 0xaef7d537b6b5bff1ull},
    {"opencl/32/map", 0xe0e633025d3086bfull},
    {"opencl/32/busy part", 0xa40be19383bcd496ull},
};

class GoldenFrames : public RenderHost {
protected:
    int UseGoldenInput(PixelDepth depth)
    {
        const int layer = host.layers().Add(GoldenPicture(WIDTH, HEIGHT), depth);
        host.params().SetInputLayer(layer);
        return layer;
    }

    // Every look at every depth through `renderer`; the output world has the input's depth on the CPU
    // and is float on a GPU.
    void RenderLooks(Renderer renderer, HashTable& table)
    {
        const char* road = renderer == Renderer::Cpu ? "cpu" : "opencl";
        for (const PixelDepth depth : {PixelDepth::Bits8, PixelDepth::Bits16, PixelDepth::Float}) {
            UseGoldenInput(depth);
            for (int look = 2; look <= 15; ++look) {
                ASSERT_EQ(host.ChoosePreset(look), PF_Err_NONE);
                RenderRequest request;
                request.renderer = renderer;
                request.depth = renderer == Renderer::Cpu ? depth : PixelDepth::Float;
                const RenderResult result = host.render().Frame(request);
                if (renderer != Renderer::Cpu) {
                    ASSERT_EQ(result.drawn_by, renderer) << result.gpu_note;
                }
                table.Check(std::string(road) + "/" + DepthName(depth) + "/look " + std::to_string(look), result);
            }
        }
    }

    // A strength map (half the layer's size, its alpha inverted) under "Liquid Eyes".
    void UseMap()
    {
        ASSERT_EQ(host.ChoosePreset(3), PF_Err_NONE);
        const int map = host.layers().Add(GoldenPicture(WIDTH / 2, HEIGHT / 2), PixelDepth::Bits8);
        host.params().SetMapLayer(map);
        host.params().Set(PARAM_MAP_CHANNEL, 2);
        host.params().Set(PARAM_INVERT_MAP, 1);
    }

    // Animation, two iterations, colour split, the best anti-aliasing, mirrored edges and half
    // resolution, for a part of the output.
    void UseBusyControls()
    {
        ASSERT_EQ(host.ChoosePreset(8), PF_Err_NONE);
        host.params().Set(PARAM_EVOLUTION, 45.0);
        host.params().Set(PARAM_EVOLUTION_SPEED, 0.3);
        host.params().Set(PARAM_DRIFT_SPEED_X, 12.0);
        host.params().Set(PARAM_OFFSET_Y, -7.5);
        host.params().Set(PARAM_LOOP, 1);
        host.params().Set(PARAM_LOOP_DURATION, 3.0);
        host.params().Set(PARAM_ANTIALIASING, 4);
        host.params().Set(PARAM_EDGES, 3);
        host.params().Set(PARAM_MIX, 80.0);
        host.settings().current_time = 45;   // 1.5 s
        host.settings().downsample_x = PF_RationalScale{1, 2};
        host.settings().downsample_y = PF_RationalScale{1, 2};
    }
};

TEST_F(GoldenFrames, CpuFramesKeepTheirHashes)
{
    HashTable table(CPU_HASHES);
    RenderLooks(Renderer::Cpu, table);

    UseGoldenInput(PixelDepth::Bits16);
    UseMap();
    RenderRequest mapped;
    mapped.depth = PixelDepth::Bits16;
    table.Check("cpu/16/map", host.render().Frame(mapped));

    host.params().SetMapLayer(NO_LAYER);
    UseGoldenInput(PixelDepth::Float);
    UseBusyControls();
    RenderRequest part;
    part.depth = PixelDepth::Float;
    part.rect = PF_LRect{-3, 4, 31, 27};
    table.Check("cpu/32/busy part", host.render().Frame(part));
}

TEST_F(GoldenFrames, LegacyFramesKeepTheirHashes)
{
    HashTable table(CPU_HASHES);
    for (const PixelDepth depth : {PixelDepth::Bits8, PixelDepth::Bits16}) {
        UseGoldenInput(depth);
        ASSERT_EQ(host.ChoosePreset(12), PF_Err_NONE);
        LegacyRequest legacy;
        legacy.depth = depth;
        legacy.width = WIDTH + 6;
        legacy.height = HEIGHT + 4;
        legacy.output_origin_x = 4;
        legacy.output_origin_y = 1;
        table.Check(std::string("legacy/") + DepthName(depth) + "/look 12", host.render().Legacy(legacy));

        UseMap();
        legacy.output_origin_x = 0;
        legacy.output_origin_y = 0;
        table.Check(std::string("legacy/") + DepthName(depth) + "/map", host.render().Legacy(legacy));
        host.params().SetMapLayer(NO_LAYER);
    }
}

TEST_F(GoldenFrames, OpenCLFramesKeepTheirHashes)
{
    ASSERT_EQ(host.gpu().SetUp(PF_GPU_Framework_OPENCL), PF_Err_NONE);
    if (!host.gpu().Device()) {
        GTEST_SKIP() << "skipped: no device (" << host.gpu().Unavailable() << ")";
    }
    ASSERT_TRUE(host.gpu().Accepted());
    HashTable table(OPENCL_HASHES);
    RenderLooks(Renderer::OpenCL, table);

    UseGoldenInput(PixelDepth::Float);
    UseMap();
    RenderRequest mapped;
    mapped.renderer = Renderer::OpenCL;
    mapped.depth = PixelDepth::Float;
    table.Check("opencl/32/map", host.render().Frame(mapped));

    host.params().SetMapLayer(NO_LAYER);
    UseBusyControls();
    RenderRequest part = mapped;
    part.rect = PF_LRect{-3, 4, 31, 27};
    table.Check("opencl/32/busy part", host.render().Frame(part));
}

}   // namespace
