// The frei0r module driven directly, as a frei0r host drives it, where no real host goes: what it tells
// hosts, zero-sized frames and unusable times, parameters every host sets, rendering in place, two
// instances on two threads; and its Kdenlive effect description, its look reader and install.
#include "Frei0rTestSupport.h"
#include "LookFile.h"

extern "C" {
#include <frei0r.h>
}

#include <dlfcn.h>

#include <cstring>
#include <regex>
#include <thread>
#include <tuple>

namespace {

// frei0r's entry points, looked up once in the built module.
struct Frei0rModule {
    void* library = nullptr;
    decltype(&f0r_get_plugin_info) get_plugin_info = nullptr;
    decltype(&f0r_get_param_info) get_param_info = nullptr;
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_destruct) destruct = nullptr;
    decltype(&f0r_set_param_value) set_param = nullptr;
    decltype(&f0r_get_param_value) get_param = nullptr;
    decltype(&f0r_update) update = nullptr;

    Frei0rModule()
    {
        library = dlopen(QF_FREI0R_MODULE, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(library, nullptr) << dlerror();
        const auto find = [this](auto& entry, const char* name) {
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(library ? dlsym(library, name) : nullptr);
            EXPECT_NE(entry, nullptr) << name;
        };
        find(get_plugin_info, "f0r_get_plugin_info");
        find(get_param_info, "f0r_get_param_info");
        find(construct, "f0r_construct");
        find(destruct, "f0r_destruct");
        find(set_param, "f0r_set_param_value");
        find(get_param, "f0r_get_param_value");
        find(update, "f0r_update");
        int (*init)() = nullptr;
        find(init, "f0r_init");
        EXPECT_EQ(init ? init() : 0, 1);
    }

    static Frei0rModule& Get()
    {
        static Frei0rModule module;
        return module;
    }
};

int ParamIndexNamed(const std::string& name)
{
    Frei0rModule& m = Frei0rModule::Get();
    f0r_plugin_info_t info{};
    m.get_plugin_info(&info);
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t param{};
        m.get_param_info(&param, i);
        if (name == param.name) {
            return i;
        }
    }
    ADD_FAILURE() << "no parameter " << name;
    return -1;
}

// One instance, its parameters set by name and its frames rendered from RGBA bytes.
class Instance {
public:
    Instance(int width, int height) : width_(width), height_(height)
    {
        instance_ = Frei0rModule::Get().construct(static_cast<unsigned>(width), static_cast<unsigned>(height));
        EXPECT_NE(instance_, nullptr);
    }
    ~Instance() { Frei0rModule::Get().destruct(instance_); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void Set(const std::string& name, double value)
    {
        Frei0rModule::Get().set_param(instance_, &value, ParamIndexNamed(name));
    }
    void Set(const std::string& name, const char* text)
    {
        char* pointer = const_cast<char*>(text);
        Frei0rModule::Get().set_param(instance_, &pointer, ParamIndexNamed(name));
    }
    double Number(int param) const
    {
        double value = -1;
        Frei0rModule::Get().get_param(instance_, &value, param);
        return value;
    }

    std::vector<std::uint32_t> Render(const std::vector<std::uint32_t>& in, double time)
    {
        std::vector<std::uint32_t> out(in.size(), 0xDEADBEEFu);
        Frei0rModule::Get().update(instance_, time, in.data(), out.data());
        return out;
    }

    f0r_instance_t handle() const { return instance_; }

private:
    int width_, height_;
    f0r_instance_t instance_ = nullptr;
};

std::vector<std::uint32_t> Frame(int width, int height, int seed)
{
    const std::vector<double> codes = PatternValues(width, height, 255.0, seed);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    std::memcpy(pixels.data(), std::vector<std::uint8_t>(codes.begin(), codes.end()).data(), pixels.size() * 4);
    return pixels;
}

}   // namespace

// What a host learns: the plug-in, and its parameters in order with their kinds and explanations.
TEST(Frei0rModule, DescribesItselfAndItsParameters)
{
    Frei0rModule& m = Frei0rModule::Get();
    f0r_plugin_info_t info{};
    m.get_plugin_info(&info);
    EXPECT_STREQ(info.name, "Quaverflux");
    EXPECT_STREQ(info.author, "Tessaloom");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, 1);
    EXPECT_EQ(info.major_version, 1);
    EXPECT_EQ(info.minor_version, 0);
    EXPECT_STREQ(info.explanation, "Warps the picture with a sum of waves that fold and drip it");

    const std::vector<std::string> names = {
        "preset", "look", "time unit", "Amount", "Wave Size", "Strength", "Fold", "Drip", "Direction", "Waves",
        "Waveform", "Size Variation", "Strength Variation", "Direction Spread", "Iterations", "Random Seed",
        "Scale With Layer", "Evolution", "Evolution Speed", "Offset X", "Offset Y", "Drift Speed X", "Drift Speed Y",
        "Loop", "Loop Duration (sec)", "Invert Map", "Color Split", "Edges", "Antialiasing", "Interpolation", "Mix"};
    ASSERT_EQ(info.num_params, static_cast<int>(names.size()));
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t param{};
        m.get_param_info(&param, i);
        EXPECT_EQ(param.name, names[i]);
        const bool boolean = names[i] == "Scale With Layer" || names[i] == "Loop" || names[i] == "Invert Map";
        EXPECT_EQ(param.type, i < 3 ? F0R_PARAM_STRING : boolean ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE) << names[i];
        ASSERT_NE(param.explanation, nullptr);
    }
    const auto explanation = [&](int i) {
        f0r_param_info_t param{};
        m.get_param_info(&param, i);
        return std::string(param.explanation);
    };
    EXPECT_EQ(explanation(4), "Wave Size: 20 to 2000 px over 0 to 1 (default 440 px)");
    EXPECT_EQ(explanation(8), "Direction: -180 to 180° over 0 to 1 (default 0°)");
    EXPECT_EQ(explanation(9), "Waves: 1 to 16 over 0 to 1, whole numbers (default 5)");
    EXPECT_EQ(explanation(10), "Waveform: Sine, Liquid, Drip, Triangle, Square, Sawtooth at 0, 0.2, 0.4, 0.6, 0.8, 1 "
                               "(default Sine)");
    EXPECT_EQ(explanation(16), "Scale With Layer: on or off (default on)");
    EXPECT_EQ(explanation(24), "Loop Duration (sec): 0.5 to 30 s over 0 to 1 (default 4 s)");
    EXPECT_EQ(explanation(2), "What the host's time counts: s for seconds (the default; MLT, GStreamer) or ms for "
                              "milliseconds (ffmpeg)");

    // The defaults a host reads: each control's default over 0..1.
    Instance instance(16, 8);
    EXPECT_EQ(instance.Number(4), 420.0 / 1980.0);   // Wave Size 440 on 20..2000
    EXPECT_EQ(instance.Number(8), 0.5);              // Direction 0 degrees
    EXPECT_EQ(instance.Number(16), 1.0);             // Scale With Layer on
    EXPECT_EQ(instance.Number(28), 2.0 / 3.0);       // Antialiasing High, the third of four
    const char* text = "unset";
    Frei0rModule::Get().get_param(instance.handle(), &text, 0);
    EXPECT_STREQ(text, "");
}

// GStreamer sets every parameter to the default it read, and Kdenlive every parameter it lists: controls at
// their default leave the preset and the look in charge, and only a control away from its default wins.
TEST(Frei0rModule, ControlsAtTheirDefaultLeaveThePresetInCharge)
{
    const std::vector<std::uint32_t> in = Frame(32, 16, 1);
    Instance preset(32, 16);
    preset.Set("preset", "Glitch Blocks");
    const std::vector<std::uint32_t> glitch = preset.Render(in, 0.5);

    Instance everything(32, 16);
    everything.Set("preset", "Glitch Blocks");
    for (int i = 3; i < 31; ++i) {
        double value = everything.Number(i);
        Frei0rModule::Get().set_param(everything.handle(), &value, i);
    }
    EXPECT_EQ(everything.Render(in, 0.5), glitch);
    everything.Set("Waveform", 0.0);   // Sine is the default: the look's Square stays
    EXPECT_EQ(everything.Render(in, 0.5), glitch);
    everything.Set("Waveform", 0.2);   // Liquid
    EXPECT_NE(everything.Render(in, 0.5), glitch);
    everything.Set("Waveform", std::nan(""));
    EXPECT_EQ(everything.Render(in, 0.5), glitch);
}

// No frame size of zero; NaN, infinite and huge times render the frame at 0 s; null frames and unknown
// parameters are ignored; a host that renders in place gets the same frame.
TEST(Frei0rModule, BadFramesTimesAndCallsAreNotCrashes)
{
    Frei0rModule& m = Frei0rModule::Get();
    testing::internal::CaptureStderr();
    EXPECT_EQ(m.construct(0, 8), nullptr);
    EXPECT_EQ(m.construct(8, 0), nullptr);
    EXPECT_EQ(m.construct(1u << 21, 8), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Quaverflux: cannot render 0 x 8 frames"), std::string::npos);

    const std::vector<std::uint32_t> in = Frame(24, 16, 2);
    Instance instance(24, 16);
    instance.Set("preset", "Psychedelic");
    instance.Set("Evolution Speed", 0.75);   // 1 turn/s
    const std::vector<std::uint32_t> at_zero = instance.Render(in, 0.0);
    EXPECT_NE(instance.Render(in, 0.25), at_zero);
    testing::internal::CaptureStderr();
    for (double time : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -2e9}) {
        EXPECT_EQ(instance.Render(in, time), at_zero) << time;
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("is not a frame time (not finite, or beyond 1e9 s); such frames render at 0 s"),
              std::string::npos)
        << err;

    std::vector<std::uint32_t> same = in;
    m.update(instance.handle(), 0.0, same.data(), same.data());
    EXPECT_EQ(same, at_zero);

    double value = 0.5;
    m.set_param(instance.handle(), &value, -1);
    m.set_param(instance.handle(), &value, 31);
    m.set_param(instance.handle(), nullptr, 4);
    m.get_param(instance.handle(), nullptr, 4);
    m.get_param(instance.handle(), &value, 99);
    char* none = nullptr;
    m.set_param(instance.handle(), &none, 0);   // a null string is an empty one: the controls again
    m.update(instance.handle(), 0.0, nullptr, same.data());
    m.update(nullptr, 0.0, in.data(), same.data());
    f0r_param_info_t param{};
    m.get_param_info(&param, 31);
    m.get_param_info(nullptr, 0);
    EXPECT_EQ(param.name, nullptr);

    Instance pixel(1, 1);
    pixel.Set("preset", "Heat Haze");
    EXPECT_EQ(pixel.Render({0x80402010u}, 0.0).size(), 1u);
}

// Instances share nothing: two of different sizes rendering at once on two threads give the frames each
// gives alone.
TEST(Frei0rModule, TwoInstancesRenderAtOnceOnTwoThreads)
{
    const std::vector<std::uint32_t> in_a = Frame(64, 48, 3);
    const std::vector<std::uint32_t> in_b = Frame(40, 24, 5);
    Instance a(64, 48);
    Instance b(40, 24);
    a.Set("preset", "Silk");
    a.Set("Evolution Speed", 0.8);
    b.Set("preset", "Zigzag");
    b.Set("Drift Speed X", 0.7);
    std::vector<std::vector<std::uint32_t>> alone_a, alone_b;
    for (int frame = 0; frame < 4; ++frame) {
        alone_a.push_back(a.Render(in_a, frame / 8.0));
        alone_b.push_back(b.Render(in_b, frame / 8.0));
    }
    std::vector<std::vector<std::uint32_t>> together_a(4), together_b(4);
    std::thread first([&] {
        for (int frame = 0; frame < 4; ++frame) {
            together_a[frame] = a.Render(in_a, frame / 8.0);
        }
    });
    std::thread second([&] {
        for (int frame = 0; frame < 4; ++frame) {
            together_b[frame] = b.Render(in_b, frame / 8.0);
        }
    });
    first.join();
    second.join();
    EXPECT_EQ(together_a, alone_a);
    EXPECT_EQ(together_b, alone_b);
    EXPECT_NE(alone_a[0], alone_a[1]);
    EXPECT_NE(alone_b[0], alone_b[1]);
}

// The Kdenlive description lists every parameter by the module's name, its real range mapping onto the
// module's 0..1 ((value - offset) / factor), its default where the module has it, and the choices' names.
TEST(KdenliveEffect, DescribesEveryParameterAsTheModuleHasIt)
{
    const std::string xml = FileText(QF_KDENLIVE_EFFECT);
    ASSERT_FALSE(xml.empty());
    EXPECT_NE(xml.find("<effect tag=\"frei0r.quaverflux\" id=\"frei0r.quaverflux\">"), std::string::npos);

    const std::regex parameter(R"re(<parameter type="([a-z]+)" name="([^"]+)"([^>]*)>([\s\S]*?)</parameter>)re");
    const auto attribute = [](const std::string& attributes, const std::string& name) {
        std::smatch match;
        const std::regex pattern(" " + name + R"re(="([^"]*)")re");
        return std::regex_search(attributes, match, pattern) ? match[1].str() : std::string();
    };
    Instance instance(16, 8);
    int index = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), parameter); it != std::sregex_iterator(); ++it, ++index) {
        const std::string type = (*it)[1];
        const std::string name = (*it)[2];
        const std::string attributes = (*it)[3];
        f0r_param_info_t info{};
        Frei0rModule::Get().get_param_info(&info, index);
        ASSERT_STREQ(name.c_str(), info.name);
        if (type == "animated" || type == "constant") {
            const double offset = std::stod(attribute(attributes, "offset"));
            const double factor = std::stod(attribute(attributes, "factor"));
            EXPECT_EQ((std::stod(attribute(attributes, "default")) - offset) / factor, instance.Number(index)) << name;
            EXPECT_EQ((std::stod(attribute(attributes, "min")) - offset) / factor, 0.0) << name;
            EXPECT_EQ((std::stod(attribute(attributes, "max")) - offset) / factor, 1.0) << name;
        } else if (type == "bool") {
            EXPECT_EQ(std::stod(attribute(attributes, "default")), instance.Number(index)) << name;
        } else if (type == "list" && index > 0) {
            EXPECT_EQ(std::stod(attribute(attributes, "default")), instance.Number(index)) << name;
        }
    }
    EXPECT_EQ(index, 31);
    EXPECT_NE(xml.find(R"(<parameter type="animated" name="Wave Size" default="440" min="20" max="2000" offset="20" )"
                       R"(factor="1980" decimals="1" suffix="px">)"),
              std::string::npos);
    EXPECT_NE(xml.find(R"(<parameter type="list" name="Edges" default="0" )"
                       R"(paramlist="0;0.3333333333333333;0.6666666666666666;1">)"
                       "\n    <paramlistdisplay>Repeat Edge Pixels,Wrap Around,Mirror,Transparent</paramlistdisplay>"),
              std::string::npos);
    EXPECT_NE(xml.find("paramlist=\";Melting Portrait;Liquid Eyes;"), std::string::npos);
}

// cmake --install: a system prefix gets PREFIX/lib/frei0r-1 and PREFIX/share/kdenlive/effects; the home
// folder as prefix gets ~/.frei0r-1/lib, where ffmpeg, melt and GStreamer find the module with no FREI0R_PATH.
TEST_F(CliTest, InstallPutsTheModuleWhereHostsLook)
{
    const ProgramRun system = RunProgram({QF_CMAKE, "--install", QF_BUILD_DIR, "--component", "frei0r", "--prefix",
                                          At("usr").string()},
                                         folder);
    ASSERT_EQ(system.status, 0) << system.err;
    EXPECT_TRUE(Exists("usr/lib/frei0r-1/quaverflux.so"));
    EXPECT_TRUE(Exists("usr/share/kdenlive/effects/frei0r_quaverflux.xml"));

    fs::create_directories(At("home"));
    const ProgramRun user = RunProgram({QF_CMAKE, "--install", QF_BUILD_DIR, "--component", "frei0r", "--prefix",
                                        At("home").string()},
                                       folder, {"HOME=" + At("home").string()});
    ASSERT_EQ(user.status, 0) << user.err;
    EXPECT_TRUE(Exists("home/.frei0r-1/lib/quaverflux.so"));
    EXPECT_TRUE(Exists("home/.local/share/kdenlive/effects/frei0r_quaverflux.xml"));

    WritePng(At("in.png"), Pattern(16, 8));
    const ProgramRun run = RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", "in.png", "-vf",
                                       "frei0r=quaverflux:Heat Haze", "-pix_fmt", "rgba", "out.png"},
                                      folder, {"HOME=" + At("home").string()}, {"FREI0R_PATH"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Exists("out.png"));
    const ProgramRun melt = RunProgram({"melt", "-query", "filters"}, folder, {"HOME=" + At("home").string()},
                                       {"FREI0R_PATH"});
    EXPECT_NE(melt.err.find("frei0r.quaverflux"), std::string::npos) << melt.err;
    const ProgramRun gst = RunProgram({"gst-inspect-1.0", "frei0r-filter-quaverflux"}, folder,
                                      {"HOME=" + At("home").string(), "GST_REGISTRY=" + At("registry.bin").string()},
                                      {"FREI0R_PATH"});
    EXPECT_EQ(gst.status, 0) << gst.err;
}

// The module's own look reader takes what the renderer writes and accepts (percent and degree texts,
// choices by name or number, on/off) and refuses the rest with a line, deep nesting included.
TEST(LookFile, ReadsTheRenderersFormsAndRefusesTheRest)
{
    const LookReading look = ParseLookText(
        R"({"effect": "Quaverflux", "controls": {"Fold": "150%", "Direction": "90°", "Edges": "Mirror",
            "Waveform": 4, "Loop": "on", "Invert Map": false, "Wave Size": 120.5}})");
    ASSERT_EQ(look.error, "");
    const std::vector<std::tuple<int, double, int>> expected = {
        {PARAM_FOLD, 150.0, 0},   {PARAM_DIRECTION, 0.0, 90 << 16}, {PARAM_EDGES, 0.0, 3}, {PARAM_WAVEFORM, 0.0, 4},
        {PARAM_LOOP, 0.0, 1},     {PARAM_INVERT_MAP, 0.0, 0},       {PARAM_WAVE_SIZE, 120.5, 0}};
    ASSERT_EQ(look.values.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(look.values[i].index, std::get<0>(expected[i])) << i;
        EXPECT_EQ(look.values[i].value.number, std::get<1>(expected[i])) << i;
        EXPECT_EQ(look.values[i].value.integer, std::get<2>(expected[i])) << i;
    }

    const std::pair<std::string, std::string> refused[] = {
        {std::string(100000, '['), "look is not valid JSON: nesting deeper than 32"},
        {R"({"effect": "Quaverflux", "controls": {"Edges": "Sideways"}})", "look: "},
        {R"({"effect": "Quaverflux", "controls": {"Wobble": 3}})", "look: "},
        {R"({"controls": []})", "look: expected {\"effect\": \"Quaverflux\", \"controls\": {...}}"},
        {"", "look is not valid JSON: "},
    };
    for (const auto& [text, error] : refused) {
        const LookReading reading = ParseLookText(text);
        EXPECT_EQ(reading.error.rfind(error, 0), 0u) << reading.error;
        EXPECT_TRUE(reading.values.empty());
    }
}
