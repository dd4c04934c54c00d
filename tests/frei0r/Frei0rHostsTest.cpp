// The frei0r plug-in in real hosts: ffmpeg, melt (MLT) and gst-launch (GStreamer) warp small RGBA PNGs with
// FREI0R_PATH at the build, and every frame they write is the host simulator's frame at 8 bits, byte for
// byte, for the same controls and time. ffmpeg hands frei0r its rows 64 bytes apart, so its frames are a
// multiple of 16 pixels wide.
#include "Frei0rTestSupport.h"

namespace {

constexpr int WIDTH = 48;
constexpr int HEIGHT = 32;
constexpr int FPS = 8;

// ffmpeg warping in.png into out.png with frei0r's positional parameters.
ProgramRun RunFfmpeg(const fs::path& folder, const std::string& params, const std::string& out = "out.png")
{
    return RunProgram({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i", "in.png", "-vf",
                       "frei0r=quaverflux:" + params, "-pix_fmt", "rgba", "-frames:v", "1", out},
                      folder);
}

// The hosts' clip: in.png held for three frames at FPS frames per second, the Psychedelic look with the
// animation of anim.json and Amount 150 %.
const char* const ANIMATION_LOOK = R"({"effect": "Quaverflux", "controls": {"Evolution Speed": 0.5, "Drift Speed X": 40}})";

void AnimatedPsychedelic(HostSim& host)
{
    host.params().Set(PARAM_EVOLUTION_SPEED, 0.5);
    host.params().Set(PARAM_DRIFT_SPEED_X, 40);
    host.ChangeParam(PARAM_AMOUNT, 150);
    host.ChoosePreset("Psychedelic");
}

class Frei0rHost : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        input = Pattern(WIDTH, HEIGHT);
        WritePng(At("in.png"), input);
    }

    void WriteText(const std::string& name, const std::string& text) { std::ofstream(At(name)) << text; }

    // The clip's frames as the host simulator renders them.
    std::vector<Picture> ClipFrames()
    {
        std::vector<Picture> frames;
        for (int frame = 0; frame < 3; ++frame) {
            frames.push_back(HostFrame(input, AnimatedPsychedelic, frame, FPS));
        }
        return frames;
    }

    Picture input;
};

using Ffmpeg = Frei0rHost;
using Melt = Frei0rHost;
using GstLaunch = Frei0rHost;

}   // namespace

// Every control a frei0r host sets, over 0..1: sliders onto their slider range, integer sliders and popups
// rounded, angles over -180..180 degrees, booleans; NaN leaves a control at its default.
TEST_F(Ffmpeg, ControlsOverZeroToOneGiveTheHostSimulatorsFrame)
{
    const ProgramRun run = RunFfmpeg(folder, "||s|0.75|0.015625|0.625|0.375|0.625|0.625|0.4|0.6|0.5|0.25|0.5|0.34|"
                                          "0.003|n|0.75|nan|0.5078125|0.25|nan|nan|n|nan|n|0.25|0.6667|0.32|0|0.875");
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture host = HostFrame(input, [](HostSim& h) {
        const std::pair<int, double> panel[] = {
            {PARAM_AMOUNT, 150},          {PARAM_WAVE_SIZE, 50.9375},     {PARAM_STRENGTH, 3.125},
            {PARAM_FOLD, 75},             {PARAM_DRIP, 125},              {PARAM_DIRECTION, 45},
            {PARAM_WAVES, 7},             {PARAM_WAVEFORM, 4},            {PARAM_SIZE_VARIATION, 50},
            {PARAM_STRENGTH_VARIATION, 25}, {PARAM_DIRECTION_SPREAD, 90}, {PARAM_ITERATIONS, 2},
            {PARAM_RANDOM_SEED, 3},       {PARAM_SCALE_WITH_LAYER, 0},    {PARAM_EVOLUTION, 90},
            {PARAM_OFFSET_X, 15.625},     {PARAM_OFFSET_Y, -500},         {PARAM_COLOR_SPLIT, 12.5},
            {PARAM_EDGES, 3},             {PARAM_ANTIALIASING, 2},        {PARAM_INTERPOLATION, 1},
            {PARAM_MIX, 87.5}};
        for (const auto& [index, value] : panel) {
            h.ChangeParam(index, value);
        }
    });
    EXPECT_TRUE(SameFrame(ReadPng(At("out.png")), host));
    EXPECT_FALSE(SameFrame(host, input));
}

// Values outside 0..1 are held at the ends of the slider range.
TEST_F(Ffmpeg, ValuesOutsideZeroToOneAreHeldAtTheEnds)
{
    const ProgramRun run = RunFfmpeg(folder, "||s|1.5|-2|7");
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture host = HostFrame(input, [](HostSim& h) {
        h.ChangeParam(PARAM_AMOUNT, 200);
        h.ChangeParam(PARAM_WAVE_SIZE, 20);
        h.ChangeParam(PARAM_STRENGTH, 5);
    });
    EXPECT_TRUE(SameFrame(ReadPng(At("out.png")), host));
}

// A look of the Preset menu by name (in any case), applied as the panel applies it: after Scale With Layer
// (off here, so Heat Haze's Wave Size is fitted to the 48 x 32 layer), before a Wave Size set here.
TEST_F(Ffmpeg, PresetByNameAppliesInThePanelsOrder)
{
    const ProgramRun fitted = RunFfmpeg(folder, "heat haze||s|nan|nan|nan|nan|nan|nan|nan|nan|nan|nan|nan|nan|nan|n",
                                     "fitted.png");
    ASSERT_EQ(fitted.status, 0) << fitted.err;
    const ProgramRun sized = RunFfmpeg(folder, "Heat Haze||s|nan|0.015625", "sized.png");
    ASSERT_EQ(sized.status, 0) << sized.err;

    EXPECT_TRUE(SameFrame(ReadPng(At("fitted.png")), HostFrame(input, [](HostSim& h) {
                              h.ChangeParam(PARAM_SCALE_WITH_LAYER, 0);
                              h.ChoosePreset("Heat Haze");
                          })));
    EXPECT_TRUE(SameFrame(ReadPng(At("sized.png")), HostFrame(input, [](HostSim& h) {
                              h.ChoosePreset("Heat Haze");
                              h.ChangeParam(PARAM_WAVE_SIZE, 50.9375);
                          })));
}

// A look saved by the command-line renderer, then a control set here on top of it.
TEST_F(Ffmpeg, LookSavedByTheRendererGivesItsFrame)
{
    const CliRun saved = Run({"render", "in.png", "-o", "cli.png", "--set", "Edges=Mirror", "--set",
                              "Evolution Speed=0.5", "--preset", "Deep Swirl", "--set", "Color Split=20",
                              "--save-look", "look.json"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    const ProgramRun run = RunFfmpeg(folder, "|look.json|s|nan|0.015625");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(SameFrame(ReadPng(At("out.png")), HostFrame(input, [](HostSim& h) {
                              h.ChangeParam(PARAM_EDGES, 3);
                              h.ChangeParam(PARAM_EVOLUTION_SPEED, 0.5);
                              h.ChoosePreset("Deep Swirl");
                              h.ChangeParam(PARAM_COLOR_SPLIT, 20);
                              h.ChangeParam(PARAM_WAVE_SIZE, 50.9375);
                          })));
}

// ffmpeg's time is milliseconds: with the time unit "ms", frame n of a clip at 8 fps is the frame at n / 8 s.
TEST_F(Ffmpeg, ClipFramesAreTheTimesFrameOverFps)
{
    WriteText("anim.json", ANIMATION_LOOK);
    const ProgramRun run =
        RunProgram({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-framerate", std::to_string(FPS),
                    "-loop", "1", "-i", "in.png", "-vf", "frei0r=quaverflux:Psychedelic|anim.json|ms|0.75", "-pix_fmt",
                    "rgba", "-frames:v", "3", "f%d.png"},
                   folder);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Picture> host = ClipFrames();
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_TRUE(SameFrame(ReadPng(At("f" + std::to_string(frame + 1) + ".png")), host[frame])) << "frame " << frame;
    }
    EXPECT_FALSE(SameFrame(host[1], host[0]));
    EXPECT_FALSE(SameFrame(host[2], host[1]));
}

// A time ffmpeg cannot give (a frame with no time stamp comes as about -3.7e20 ms) or beyond 1e9 s is a
// line on the standard error and the frame at 0 s (the second setpts lets the image writer take the frame).
TEST_F(Ffmpeg, UnusableTimesRenderTheFrameAtZero)
{
    WriteText("anim.json", ANIMATION_LOOK);
    const Picture at_zero = ClipFrames()[0];
    for (const char* pts : {"NAN", "PTS+1e13/TB"}) {
        const ProgramRun run = RunProgram({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i",
                                           "in.png", "-vf", std::string("setpts=") + pts +
                                           ",frei0r=quaverflux:Psychedelic|anim.json|ms|0.75,setpts=0", "-pix_fmt", "rgba",
                                           "-frames:v", "1", "out.png"},
                                          folder);
        ASSERT_EQ(run.status, 0) << pts << ": " << run.err;
        EXPECT_NE(run.err.find("is not a frame time (not finite, or beyond 1e9 s); such frames render at 0 s"),
                  std::string::npos) << pts << ": " << run.err;
        EXPECT_TRUE(SameFrame(ReadPng(At("out.png")), at_zero)) << pts;
    }
}

// melt renders the clip through frei0r.quaverflux, parameters by name, time in seconds.
TEST_F(Melt, ClipIsFfmpegsClip)
{
    WriteText("anim.json", ANIMATION_LOOK);
    WriteText("profile", "description=frei0r test\nframe_rate_num=" + std::to_string(FPS) +
                             "\nframe_rate_den=1\nwidth=" + std::to_string(WIDTH) + "\nheight=" + std::to_string(HEIGHT) +
                             "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num=" +
                             std::to_string(WIDTH) + "\ndisplay_aspect_den=" + std::to_string(HEIGHT) + "\ncolorspace=709\n");
    const ProgramRun run =
        RunProgram({"melt", "-profile", At("profile").string(), "avformat:in.png", "out=2", "-filter",
                    "frei0r.quaverflux", "preset=Psychedelic", "look=anim.json", "Amount=0.75", "-consumer",
                    "avformat:m%d.png", "vcodec=png", "pix_fmt=rgba", "real_time=0"},
                   folder);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Picture> host = ClipFrames();
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_TRUE(SameFrame(ReadPng(At("m" + std::to_string(frame + 1) + ".png")), host[frame])) << "frame " << frame;
    }
}

// GStreamer's frei0r element (frei0r-filter-quaverflux) renders the clip, properties by name, time in seconds.
TEST_F(GstLaunch, ClipIsFfmpegsClip)
{
    WriteText("anim.json", ANIMATION_LOOK);
    const ProgramRun run =
        RunProgram({"gst-launch-1.0", "-q", "filesrc", "location=in.png", "!", "pngdec", "!", "imagefreeze",
                    "num-buffers=3", "!", "video/x-raw,framerate=" + std::to_string(FPS) + "/1", "!",
                    "frei0r-filter-quaverflux", "preset=Psychedelic", "look=anim.json", "amount=0.75", "!", "pngenc",
                    "!", "multifilesink", "location=g%d.png"},
                   folder);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Picture> host = ClipFrames();
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_TRUE(SameFrame(ReadPng(At("g" + std::to_string(frame) + ".png")), host[frame])) << "frame " << frame;
    }
}

// Bad input is one line on the host's standard error and the input unchanged, never a failed or crashed run.
TEST_F(Ffmpeg, BadInputIsALineAndTheInputUnchanged)
{
    WriteText("bad.json", R"({"effect": "Quaverflux", "controls": {"Wave Size": 440,}})");
    WriteText("other.json", R"({"effect": "Other", "controls": {}})");
    WriteText("range.json", R"({"effect": "Quaverflux", "controls": {"Waves": 40}})");
    const std::pair<std::string, std::string> cases[] = {
        {"Heat Hase", "Quaverflux: no look \"Heat Hase\" (the looks: Melting Portrait, Liquid Eyes,"},
        {"|missing.json", "Quaverflux: cannot read look file missing.json: No such file or directory"},
        {"|bad.json", "Quaverflux: look file bad.json is not valid JSON: expected a name in quotes at line 1, column 56"},
        {"|other.json", "Quaverflux: look file other.json: it is not a look for Quaverflux"},
        {"|range.json", "Quaverflux: look file range.json: Waves = 40 is outside its valid range, 1 to 32"},
        {"||minutes", "Quaverflux: time unit \"minutes\" is neither s (seconds) nor ms (milliseconds)"},
    };
    for (const auto& [params, line] : cases) {
        const ProgramRun run = RunFfmpeg(folder, params);
        EXPECT_EQ(run.status, 0) << params << ": " << run.err;
        EXPECT_NE(run.err.find(line + std::string()), std::string::npos) << params << ": " << run.err;
        EXPECT_NE(run.err.find("frames pass through unchanged"), std::string::npos) << run.err;
        EXPECT_TRUE(SameFrame(ReadPng(At("out.png")), input)) << params;
    }
}

// A one-pixel frame renders like any other.
TEST_F(Ffmpeg, OnePixelFrameRenders)
{
    const Picture pixel = Pattern(1, 1, 4);
    WritePng(At("in.png"), pixel);
    const ProgramRun run = RunFfmpeg(folder, "Heat Haze");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(SameFrame(ReadPng(At("out.png")), HostFrame(pixel, [](HostSim& h) { h.ChoosePreset("Heat Haze"); })));
}
