// quaverflux render end to end: its files hold exactly what the host simulator renders for the same
// values, at every depth; sequences, presets, typed settings and look files.
#include "CliTestSupport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>

namespace {

constexpr int WIDTH = 40;
constexpr int HEIGHT = 30;

// The frame the host simulator renders for a layer and controls set in the host's order, at `time` 1/24 s.
FloatImage HostRender(const FloatImage& input, PixelDepth depth, const std::function<void(HostSim&)>& controls,
                      A_long time = 0, A_u_long scale = 24)
{
    HostSim host(QF_MODULE_PATH);
    EXPECT_EQ(host.Start(), PF_Err_NONE);
    host.settings().width = input.width;
    host.settings().height = input.height;
    host.params().SetInputLayer(host.layers().Add(input, depth));
    controls(host);
    host.settings().current_time = time;
    host.settings().time_scale = scale;
    RenderRequest request;
    request.depth = depth;
    const RenderResult result = host.render().Frame(request);
    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_EQ(result.origin_x, 0);
    EXPECT_EQ(result.origin_y, 0);
    return result.image;
}

// The CLI's controls below, as a user sets them in the panel.
void HeatHazeMirrored(HostSim& host)
{
    host.ChangeParam(PARAM_EDGES, 3);
    host.ChoosePreset("Heat Haze");
    host.ChangeParam(PARAM_WAVE_SIZE, 60);
}
const std::vector<std::string> HEAT_HAZE_MIRRORED = {"--set", "Edges=Mirror", "--preset", "Heat Haze", "--set",
                                                     "Wave Size=60", "--time", "0.5"};

std::vector<std::string> Args(std::vector<std::string> head, const std::vector<std::string>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// Every value equal, reporting the first that is not.
void ExpectSameValues(const FilePixels& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.rgba.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (actual.rgba[i] != expected[i]) {
            FAIL() << "pixel " << i / 4 % actual.width << ", " << i / 4 / actual.width << " channel " << i % 4
                   << ": file " << actual.rgba[i] << ", host " << expected[i];
        }
    }
}

// The host's B, G, R, A floats as a file's R, G, B, A values: `encode` maps one world value.
std::vector<double> AsFile(const FloatImage& image, const std::function<double(float)>& encode)
{
    std::vector<double> rgba;
    for (A_long y = 0; y < image.height; ++y) {
        for (A_long x = 0; x < image.width; ++x) {
            const float* p = image.At(x, y);
            for (int c : {2, 1, 0, 3}) {
                rgba.push_back(encode(p[c]));
            }
        }
    }
    return rgba;
}

using RenderCommand = CliTest;

}   // namespace

// 8-bit PNG in and out: straight alpha untouched on the way in and out, levels exact.
TEST_F(RenderCommand, EightBitFileHoldsTheHostsFrame)
{
    const std::vector<double> codes = PatternValues(WIDTH, HEIGHT, 255.0);
    WritePixels(At("in.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, codes);
    const CliRun run = Run(Args({"render", "in.png", "-o", "out.png"}, HEAT_HAZE_MIRRORED));
    ASSERT_EQ(run.status, 0) << run.err;

    FloatImage input(WIDTH, HEIGHT);
    for (int i = 0; i < WIDTH * HEIGHT; ++i) {
        input.Set(i % WIDTH, i / WIDTH, codes[i * 4 + 2] / 255.0f, codes[i * 4 + 1] / 255.0f, codes[i * 4] / 255.0f,
                  codes[i * 4 + 3] / 255.0f);
    }
    const FloatImage host = HostRender(input, PixelDepth::Bits8, HeatHazeMirrored, 12);
    const FilePixels file = ReadPixels(At("out.png"));
    EXPECT_EQ(file.type, OIIO::TypeDesc::UINT8);
    EXPECT_EQ(file.channels, 4);
    ExpectSameValues(file, AsFile(host, [](float v) { return std::floor(v * 255.0 + 0.5); }));
}

// 16-bit files: file codes 0 to 65535 map onto the host's levels 0 to 32768 and back.
TEST_F(RenderCommand, SixteenBitFileHoldsTheHostsFrame)
{
    const std::vector<double> levels = PatternValues(WIDTH, HEIGHT, 32768.0, 3);
    const auto level_to_code = [](double level) { return std::floor((level * 65535.0 + 16384.0) / 32768.0); };
    std::vector<double> codes;
    for (double level : levels) {
        codes.push_back(level_to_code(level));
    }
    WritePixels(At("in.tif"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT16, codes);
    const CliRun run = Run(Args({"render", "in.tif", "-o", "out.tif"}, HEAT_HAZE_MIRRORED));
    ASSERT_EQ(run.status, 0) << run.err;

    FloatImage input(WIDTH, HEIGHT);
    for (int i = 0; i < WIDTH * HEIGHT; ++i) {
        input.Set(i % WIDTH, i / WIDTH, levels[i * 4 + 2] / 32768.0f, levels[i * 4 + 1] / 32768.0f,
                  levels[i * 4] / 32768.0f, levels[i * 4 + 3] / 32768.0f);
    }
    const FloatImage host = HostRender(input, PixelDepth::Bits16, HeatHazeMirrored, 12);
    const FilePixels file = ReadPixels(At("out.tif"));
    EXPECT_EQ(file.type, OIIO::TypeDesc::UINT16);
    ExpectSameValues(file, AsFile(host, [&](float v) { return level_to_code(std::floor(v * 32768.0 + 0.5)); }));
}

// Float TIFF keeps straight floats bit for bit; OpenEXR holds the same frame premultiplied.
TEST_F(RenderCommand, FloatFilesHoldTheHostsFrame)
{
    const std::vector<double> values = PatternValues(WIDTH, HEIGHT, 0.0, 5);
    WritePixels(At("in.tif"), WIDTH, HEIGHT, OIIO::TypeDesc::FLOAT, values);
    const CliRun run = Run(Args({"render", "in.tif", "-o", "out.tif"}, HEAT_HAZE_MIRRORED));
    ASSERT_EQ(run.status, 0) << run.err;
    const CliRun exr = Run(Args({"render", "in.tif", "-o", "out.exr"}, HEAT_HAZE_MIRRORED));
    ASSERT_EQ(exr.status, 0) << exr.err;

    FloatImage input(WIDTH, HEIGHT);
    for (int i = 0; i < WIDTH * HEIGHT; ++i) {
        input.Set(i % WIDTH, i / WIDTH, static_cast<float>(values[i * 4 + 2]), static_cast<float>(values[i * 4 + 1]),
                  static_cast<float>(values[i * 4]), static_cast<float>(values[i * 4 + 3]));
    }
    const FloatImage host = HostRender(input, PixelDepth::Float, HeatHazeMirrored, 12);
    const FilePixels file = ReadPixels(At("out.tif"));
    EXPECT_EQ(file.type, OIIO::TypeDesc::FLOAT);
    ExpectSameValues(file, AsFile(host, [](float v) { return v; }));

    FloatImage premultiplied = host;
    for (std::size_t i = 0; i < premultiplied.pixels.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            premultiplied.pixels[i + c] *= premultiplied.pixels[i + 3];
        }
    }
    ExpectSameValues(ReadPixels(At("out.exr")), AsFile(premultiplied, [](float v) { return v; }));
}

// --depth sets the host's worlds whatever the input: an 8-bit PNG rendered in 16-bit and float worlds.
TEST_F(RenderCommand, DepthOptionSetsTheWorldsAndTheFile)
{
    WritePixels(At("in.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, PatternValues(WIDTH, HEIGHT, 255.0));
    ASSERT_EQ(Run({"render", "in.png", "-o", "out16.png", "--depth", "16"}).status, 0);
    ASSERT_EQ(Run({"render", "in.png", "-o", "out32.tif", "--depth", "32"}).status, 0);
    ASSERT_EQ(Run({"render", "in.png", "-o", "legacy16.png", "--depth", "16", "--legacy"}).status, 0);
    EXPECT_EQ(ReadPixels(At("out16.png")).type, OIIO::TypeDesc::UINT16);
    EXPECT_EQ(ReadPixels(At("out32.tif")).type, OIIO::TypeDesc::FLOAT);
    // The legacy road draws the same frame as the smart road.
    EXPECT_EQ(ReadPixels(At("legacy16.png")).rgba, ReadPixels(At("out16.png")).rgba);
}

// Opaque inputs without alpha (JPEG, RGB PNG) get alpha 1, and a JPEG output is written without it.
TEST_F(RenderCommand, RgbInputsAreOpaque)
{
    std::vector<double> codes = PatternValues(WIDTH, HEIGHT, 255.0);
    WritePixels(At("in.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, codes, 3);
    const CliRun run = Run({"render", "in.png", "-o", "out.png", "--set", "Mix=0"});
    ASSERT_EQ(run.status, 0) << run.err;
    const FilePixels out = ReadPixels(At("out.png"));
    for (std::size_t i = 0; i < codes.size(); i += 4) {
        codes[i + 3] = 255;   // the input's colour, now with an opaque alpha
    }
    ExpectSameValues(out, codes);
    ASSERT_EQ(Run({"render", "in.png", "-o", "out.jpg"}).status, 0);
    EXPECT_EQ(ReadPixels(At("out.jpg")).channels, 3);
}

// Three frames of a still through a numbered output, each the frame at its own time: the same pixels as a
// single render at that time.
TEST_F(RenderCommand, SequenceWritesOneFilePerFrameAtItsTime)
{
    WritePixels(At("in.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, PatternValues(WIDTH, HEIGHT, 255.0));
    const CliRun run =
        Run({"render", "in.png", "-o", "out.#.png", "--frames", "1-3", "--set", "Evolution Speed=1"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* name : {"out.0001.png", "out.0002.png", "out.0003.png"}) {
        EXPECT_TRUE(Exists(name)) << name;
    }
    EXPECT_FALSE(Exists("out.0000.png"));
    EXPECT_FALSE(Exists("out.0004.png"));
    EXPECT_NE(ReadPixels(At("out.0001.png")).rgba, ReadPixels(At("out.0002.png")).rgba);

    char two_24ths[32];
    std::snprintf(two_24ths, sizeof(two_24ths), "%.17g", 2.0 / 24.0);
    ASSERT_EQ(Run({"render", "in.png", "-o", "single.png", "--time", two_24ths, "--set", "Evolution Speed=1"}).status,
              0);
    EXPECT_EQ(ReadPixels(At("single.png")).rgba, ReadPixels(At("out.0002.png")).rgba);

    // Plain progress lines when standard error is not a terminal; none with --quiet.
    EXPECT_NE(run.err.find("frame 1/3 out.0001.png"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("frame 3/3 out.0003.png"), std::string::npos) << run.err;
    const CliRun quiet = Run({"render", "in.png", "-o", "q.%02d.png", "--frames", "0-1", "--quiet"});
    ASSERT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_TRUE(Exists("q.00.png") && Exists("q.01.png"));
}

// A numbered input sequence: frame N reads input frame N. Names follow the image tools' convention: '#' is
// four digits, '@' one, "@@@" three, as is %04d.
TEST_F(RenderCommand, NumberedInputsGoToTheirFrames)
{
    for (int frame = 4; frame <= 5; ++frame) {
        char name[32];
        std::snprintf(name, sizeof(name), "in.%04d.png", frame);
        WritePixels(At(name), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, PatternValues(WIDTH, HEIGHT, 255.0, frame));
    }
    const CliRun run = Run({"render", "in.#.png", "-o", "out.@.png", "--frames", "4-5", "--set", "Mix=0"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Mix 0 passes each input through unchanged.
    EXPECT_EQ(ReadPixels(At("out.4.png")).rgba, ReadPixels(At("in.0004.png")).rgba);
    EXPECT_EQ(ReadPixels(At("out.5.png")).rgba, ReadPixels(At("in.0005.png")).rgba);
    ASSERT_EQ(Run({"render", "in.%04d.png", "-o", "three.@@@.png", "--frames", "5", "--set", "Mix=0"}).status, 0);
    EXPECT_EQ(ReadPixels(At("three.005.png")).rgba, ReadPixels(At("in.0005.png")).rgba);
}

// A preset chosen through the Preset menu, then a typed value that turns the menu to "Custom"; the look
// file records what was used.
TEST_F(RenderCommand, PresetThenTypedValueTurnsTheMenuToCustom)
{
    WritePixels(At("in.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, PatternValues(WIDTH, HEIGHT, 255.0));
    const CliRun run = Run({"render", "in.png", "-o", "out.png", "--preset", "zigzag", "--set", "Waves=7",
                            "--save-look", "look.json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto look = nlohmann::json::parse(FileText(At("look.json")));
    const auto& controls = look["controls"];
    EXPECT_EQ(look["effect"], "Quaverflux");
    EXPECT_EQ(controls["Preset"], "Custom");
    EXPECT_EQ(controls["Waveform"], "Triangle");
    EXPECT_EQ(controls["Waves"], 7);
    EXPECT_EQ(controls["Wave Size"], 300.0);
    EXPECT_EQ(controls["Scale With Layer"], true);

    // The same frame as the host renders for those values.
    const FilePixels file = ReadPixels(At("out.png"));
    const FilePixels in = ReadPixels(At("in.png"));
    FloatImage input(WIDTH, HEIGHT);
    for (int i = 0; i < WIDTH * HEIGHT; ++i) {
        const double* p = in.rgba.data() + i * 4;
        input.Set(i % WIDTH, i / WIDTH, p[2] / 255.0f, p[1] / 255.0f, p[0] / 255.0f, p[3] / 255.0f);
    }
    const FloatImage host = HostRender(input, PixelDepth::Bits8, [](HostSim& h) {
        h.ChoosePreset("Zigzag");
        h.ChangeParam(PARAM_WAVES, 7);
    });
    ExpectSameValues(file, AsFile(host, [](float v) { return std::floor(v * 255.0 + 0.5); }));
}

// With Scale With Layer off the look fits Wave Size to the layer: Heat Haze on a 192 x 108 layer is 9.
TEST_F(RenderCommand, PresetScalesWithTheLayerAsTheHostDoes)
{
    WritePixels(At("in.png"), 192, 108, OIIO::TypeDesc::UINT8, PatternValues(192, 108, 255.0));
    const CliRun run = Run({"render", "in.png", "-o", "out.png", "--preset", "Heat Haze", "--set",
                            "Scale With Layer=off", "--save-look", "look.json", "--downsample", "4"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto look = nlohmann::json::parse(FileText(At("look.json")));
    EXPECT_EQ(look["controls"]["Wave Size"], 9.0);
    EXPECT_EQ(look["controls"]["Preset"], "Heat Haze");
    // --downsample 4: the host's quarter-resolution frame.
    const FilePixels out = ReadPixels(At("out.png"));
    EXPECT_EQ(out.width, 48);
    EXPECT_EQ(out.height, 27);
}

// A look saved, loaded and saved again is the same file, and renders the same frame.
TEST_F(RenderCommand, LookFileRoundTrip)
{
    WritePixels(At("in.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, PatternValues(WIDTH, HEIGHT, 255.0));
    ASSERT_EQ(Run({"render", "in.png", "-o", "a.png", "--preset", "Psychedelic", "--set", "Direction=33.5", "--set",
                   "Color Split=-12.25%", "--set", "Loop=on", "--set", "Edges=4", "--set", "Offset X=0.1",
                   "--save-look", "a.json"})
                  .status,
              0);
    const CliRun again = Run({"render", "in.png", "-o", "b.png", "--look", "a.json", "--save-look", "b.json"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(FileText(At("a.json")), FileText(At("b.json")));
    EXPECT_EQ(ReadPixels(At("a.png")).rgba, ReadPixels(At("b.png")).rgba);
    const auto look = nlohmann::json::parse(FileText(At("a.json")));
    EXPECT_EQ(look["controls"]["Direction"], 33.5);
    EXPECT_EQ(look["controls"]["Color Split"], -12.25);
    EXPECT_EQ(look["controls"]["Edges"], "Transparent");
    EXPECT_EQ(look["controls"]["Loop"], true);
    EXPECT_EQ(look["controls"]["Offset X"], 0.1);
}

// A look file that names a look renders that look, as choosing it in the menu does, with the file's Scale
// With Layer in place when the look scales Wave Size (Heat Haze on a 192 x 108 layer: 9).
TEST_F(RenderCommand, LookFileNamingALookRendersThatLook)
{
    WritePixels(At("in.png"), 192, 108, OIIO::TypeDesc::UINT8, PatternValues(192, 108, 255.0));
    std::ofstream(At("silk.json")) << R"({"effect": "Quaverflux", "controls": {"Preset": "Silk"}})";
    std::ofstream(At("haze.json"))
        << R"({"effect": "Quaverflux", "controls": {"Preset": "Heat Haze", "Scale With Layer": false}})";
    const CliRun look = Run({"render", "in.png", "-o", "look.png", "--look", "silk.json", "--downsample", "4"});
    ASSERT_EQ(look.status, 0) << look.err;
    ASSERT_EQ(Run({"render", "in.png", "-o", "menu.png", "--preset", "Silk", "--downsample", "4"}).status, 0);
    ASSERT_EQ(Run({"render", "in.png", "-o", "default.png", "--downsample", "4"}).status, 0);
    EXPECT_EQ(ReadPixels(At("look.png")).rgba, ReadPixels(At("menu.png")).rgba);
    EXPECT_NE(ReadPixels(At("look.png")).rgba, ReadPixels(At("default.png")).rgba);

    const CliRun haze =
        Run({"render", "in.png", "-o", "haze.png", "--look", "haze.json", "--save-look", "saved.json", "--downsample", "4"});
    ASSERT_EQ(haze.status, 0) << haze.err;
    const auto saved = nlohmann::json::parse(FileText(At("saved.json")));
    EXPECT_EQ(saved["controls"]["Preset"], "Heat Haze");
    EXPECT_EQ(saved["controls"]["Wave Size"], 9.0);
    EXPECT_EQ(saved["controls"]["Scale With Layer"], false);
}

// The loop example of --help and of the README animates, and frame 48 (2 s at 24 fps, one loop) is frame 0
// again.
TEST_F(RenderCommand, LoopExampleAnimatesAndLoops)
{
    WritePixels(At("in.png"), 24, 16, OIIO::TypeDesc::UINT8, PatternValues(24, 16, 255.0));
    const CliRun help = Run({"render", "--help"});
    for (const std::string& text : {help.out, FileText(QF_README_PATH)}) {
        const std::size_t example = text.find("render still.jpg -o loop.%04d.png");
        ASSERT_NE(example, std::string::npos);
        // The example's words, quotes removed, up to the end of its line or a comment.
        std::vector<std::string> args;
        std::string word;
        bool quoted = false, in_word = false;
        for (std::size_t i = example; i < text.size() && text[i] != '\n' && (quoted || text[i] != '#'); ++i) {
            const char c = text[i];
            if (c == '"') {
                quoted = !quoted;
                in_word = true;
            } else if (c == ' ' && !quoted) {
                if (in_word) {
                    args.push_back(word);
                }
                word.clear();
                in_word = false;
            } else {
                word += c;
                in_word = true;
            }
        }
        if (in_word) {
            args.push_back(word);
        }
        for (std::string& arg : args) {
            arg = arg == "still.jpg" ? "in.png" : arg == "0-47" ? "0-1" : arg;
        }
        SCOPED_TRACE(::testing::PrintToString(args));
        ASSERT_EQ(Run(args).status, 0);
        for (std::string& arg : args) {
            arg = arg == "0-1" ? "48" : arg;
        }
        ASSERT_EQ(Run(args).status, 0);
        EXPECT_NE(ReadPixels(At("loop.0001.png")).rgba, ReadPixels(At("loop.0000.png")).rgba);
        EXPECT_EQ(ReadPixels(At("loop.0048.png")).rgba, ReadPixels(At("loop.0000.png")).rgba);
        fs::remove(At("loop.0000.png"));
        fs::remove(At("loop.0001.png"));
        fs::remove(At("loop.0048.png"));
    }
}

// Files keep their input's shape: grey stays grey, grey with alpha keeps both, RGB stays RGB, half-float
// OpenEXR stays half; a frame that needs more channels gets them, with a note. The "wrote" line names what
// the file holds.
TEST_F(RenderCommand, FilesKeepTheirShape)
{
    const std::vector<double> codes = PatternValues(WIDTH, HEIGHT, 255.0);
    WritePixels(At("grey.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, codes, 1);
    WritePixels(At("grey-alpha.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, codes, 2);
    WritePixels(At("rgb.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, codes, 3);
    {
        auto out = OIIO::ImageOutput::create(At("half.exr").string());
        ASSERT_TRUE(out);
        OIIO::ImageSpec spec(WIDTH, HEIGHT, 4, OIIO::TypeDesc::HALF);
        spec.alpha_channel = 3;
        std::vector<float> values;
        for (double v : PatternValues(WIDTH, HEIGHT, 0.0)) {
            values.push_back(static_cast<float>(v));
        }
        ASSERT_TRUE(out->open(At("half.exr").string(), spec) && out->write_image(OIIO::TypeDesc::FLOAT, values.data()) &&
                    out->close());
    }
    struct ShapeCase {
        std::vector<std::string> args;
        const char* output;
        int channels;
        OIIO::TypeDesc type;
        const char* said;
    };
    const std::vector<ShapeCase> cases = {
        {{"grey.png"}, "grey-out.png", 1, OIIO::TypeDesc::UINT8, "(40 x 30, 8-bit grey PNG)"},
        {{"grey-alpha.png"}, "grey-alpha-out.png", 2, OIIO::TypeDesc::UINT8, "8-bit grey+alpha PNG"},
        {{"rgb.png"}, "rgb-out.tif", 3, OIIO::TypeDesc::UINT8, "8-bit RGB TIFF"},
        {{"half.exr"}, "half-out.exr", 4, OIIO::TypeDesc::HALF, "half-float RGBA OpenEXR"},
        {{"rgb.png", "--depth", "32"}, "deep-out.png", 3, OIIO::TypeDesc::UINT16, "16-bit RGB PNG"},
        {{"rgb.png", "--set", "Edges=Transparent", "--set", "Wave Size=20"}, "clear-out.png", 4,
         OIIO::TypeDesc::UINT8, "the frame needs RGBA, not RGB: written as RGBA"},
        {{"grey.png", "--set", "Color Split=30"}, "split-out.png", 3, OIIO::TypeDesc::UINT8,
         "the frame needs RGB, not grey: written as RGB"},
    };
    for (const ShapeCase& shape : cases) {
        SCOPED_TRACE(shape.output);
        const CliRun run = Run(Args(Args({"render"}, shape.args), {"-o", shape.output}));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(shape.said), std::string::npos) << run.err;
        const FilePixels file = ReadPixels(At(shape.output));
        EXPECT_EQ(file.channels, shape.channels);
        EXPECT_EQ(file.type, shape.type);
    }
}

// --fps 30000/1001: frame 1 is at 1001/30000 s exactly, as the broadcast rate typed as 29.97 gives it (and
// --time at that clock).
TEST_F(RenderCommand, FractionalFrameRates)
{
    WritePixels(At("in.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, PatternValues(WIDTH, HEIGHT, 255.0));
    const std::vector<std::string> look = {"--set", "Evolution Speed=2", "--frames", "1"};
    ASSERT_EQ(Run(Args({"render", "in.png", "-o", "ntsc.#.png", "--fps", "30000/1001"}, look)).status, 0);
    ASSERT_EQ(Run(Args({"render", "in.png", "-o", "decimal.#.png", "--fps", "29.97"}, look)).status, 0);
    ASSERT_EQ(Run(Args({"render", "in.png", "-o", "thirty.#.png", "--fps", "30"}, look)).status, 0);
    char time[32];
    std::snprintf(time, sizeof(time), "%.17g", 1001.0 / 30000.0);
    ASSERT_EQ(Run({"render", "in.png", "-o", "still.png", "--set", "Evolution Speed=2", "--time", time, "--fps",
                   "30000/1001"})
                  .status,
              0);
    const FilePixels ntsc = ReadPixels(At("ntsc.0001.png"));
    EXPECT_EQ(ntsc.rgba, ReadPixels(At("still.png")).rgba);
    EXPECT_EQ(ntsc.rgba, ReadPixels(At("decimal.0001.png")).rgba);
    EXPECT_NE(ntsc.rgba, ReadPixels(At("thirty.0001.png")).rgba);
}

// --verbose says which renderer drew each frame.
TEST_F(RenderCommand, VerboseNamesTheRenderer)
{
    WritePixels(At("in.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, PatternValues(WIDTH, HEIGHT, 255.0));
    const CliRun run = Run({"render", "in.png", "-o", "out.%d.png", "--frames", "0-1", "--verbose"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("frame 0: drawn by cpu"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("frame 1: drawn by cpu"), std::string::npos) << run.err;
}

// On the machine's OpenCL device the program writes the CPU's frame, and says so. Float worlds, so both
// roads read the same input values (the simulator's 8-bit to float conversion for GPU worlds is its own).
TEST_F(RenderCommand, OpenClDrawsTheCpusFrame)
{
    WritePixels(At("in.png"), WIDTH, HEIGHT, OIIO::TypeDesc::UINT8, PatternValues(WIDTH, HEIGHT, 255.0));
    const std::vector<std::string> common = Args({"render", "in.png", "--depth", "32"}, HEAT_HAZE_MIRRORED);
    const CliRun gpu = Run(Args(common, {"-o", "gpu.tif", "--renderer", "opencl", "-v"}));
    if (gpu.status != 0 && gpu.err.find("no OpenCL device") != std::string::npos) {
        GTEST_SKIP() << "skipped: no device (" << gpu.err << ")";
    }
    ASSERT_EQ(gpu.status, 0) << gpu.err;
    EXPECT_NE(gpu.err.find("the frame: drawn by opencl"), std::string::npos) << gpu.err;
    ASSERT_EQ(Run(Args(common, {"-o", "cpu.tif"})).status, 0);
    EXPECT_EQ(ReadPixels(At("gpu.tif")).rgba, ReadPixels(At("cpu.tif")).rgba);
}
