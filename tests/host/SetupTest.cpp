// PF_Cmd_PARAMS_SETUP as the host sees it: 41 parameters with the saved ids, defaults and ranges, then
// the custom-UI registration.
#include "PluginHost.h"

#include <cstring>
#include <string>

namespace {

constexpr int S = 64;   // PF_ParamFlag_SUPERVISE
constexpr int C = 2;    // PF_ParamFlag_CANNOT_TIME_VARY
constexpr int G = 32;   // PF_ParamFlag_START_COLLAPSED

// The controls as projects store them, written out independently of the plug-in's table.
struct Expected {
    int id;
    int type;
    const char* name;
    double dephault;
    double valid_min, valid_max, slider_min, slider_max;
    int precision;
    int display_flags;
    int flags;
    int ui_flags;
    const char* text;   // popup choices or checkbox label
};

const Expected EXPECTED[41] = {
    {0, PF_Param_LAYER, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr},   // the host's input layer
    {1, PF_Param_NO_DATA, "Tessaloom", 0, 0, 0, 0, 0, 0, 0, 0, PF_PUI_CONTROL, nullptr},
    {2, PF_Param_POPUP, "Preset", 2, 0, 0, 0, 0, 0, 0, S | C, 0,
     "Custom|Melting Portrait|Liquid Eyes|Deep Swirl|Mirror Folds|Dripping Paint|Wood Grain|Psychedelic|Heat Haze|"
     "Silk|Zigzag|Glitch Blocks|Tidal Smear|Kaleido Melt|Sideways Melt"},
    {3, PF_Param_FLOAT_SLIDER, "Amount", 100, 0, 1000, 0, 200, 1, 1, 0, 0, nullptr},
    {4, PF_Param_FLOAT_SLIDER, "Wave Size", 440, 2, 20000, 20, 2000, 1, 0, S, 0, nullptr},
    {5, PF_Param_FLOAT_SLIDER, "Strength", 2, 0, 20, 0, 5, 2, 0, S, 0, nullptr},
    {6, PF_Param_FLOAT_SLIDER, "Fold", 100, 0, 1000, 0, 200, 1, 1, S, 0, nullptr},
    {7, PF_Param_FLOAT_SLIDER, "Drip", 50, 0, 1000, 0, 200, 1, 1, S, 0, nullptr},
    {8, PF_Param_ANGLE, "Direction", 0, 0, 0, 0, 0, 0, 0, S, 0, nullptr},
    {10, PF_Param_GROUP_START, "Waves", 0, 0, 0, 0, 0, 0, 0, G, 0, nullptr},
    {11, PF_Param_SLIDER, "Waves", 5, 1, 32, 1, 16, 0, 0, S, 0, nullptr},
    {12, PF_Param_POPUP, "Waveform", 1, 0, 0, 0, 0, 0, 0, S, 0, "Sine|Liquid|Drip|Triangle|Square|Sawtooth"},
    {13, PF_Param_FLOAT_SLIDER, "Size Variation", 80, 0, 100, 0, 100, 1, 1, S, 0, nullptr},
    {14, PF_Param_FLOAT_SLIDER, "Strength Variation", 60, 0, 100, 0, 100, 1, 1, S, 0, nullptr},
    {15, PF_Param_FLOAT_SLIDER, "Direction Spread", 20, 0, 180, 0, 180, 1, 0, S, 0, nullptr},
    {16, PF_Param_SLIDER, "Iterations", 1, 1, 4, 1, 4, 0, 0, S, 0, nullptr},
    {17, PF_Param_SLIDER, "Random Seed", 2, 0, 30000, 0, 1000, 0, 0, S, 0, nullptr},
    {18, PF_Param_CHECKBOX, "Scale With Layer", 1, 0, 0, 0, 0, 0, 0, C, 0, "On"},
    {19, PF_Param_GROUP_END, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr},
    {20, PF_Param_GROUP_START, "Animation", 0, 0, 0, 0, 0, 0, 0, G, 0, nullptr},
    {21, PF_Param_ANGLE, "Evolution", 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr},
    {22, PF_Param_FLOAT_SLIDER, "Evolution Speed", 0, -100, 100, -2, 2, 2, 0, 0, 0, nullptr},
    {23, PF_Param_FLOAT_SLIDER, "Offset X", 0, -1000000, 1000000, -1000, 1000, 1, 0, 0, 0, nullptr},
    {24, PF_Param_FLOAT_SLIDER, "Offset Y", 0, -1000000, 1000000, -1000, 1000, 1, 0, 0, 0, nullptr},
    {25, PF_Param_FLOAT_SLIDER, "Drift Speed X", 0, -100000, 100000, -500, 500, 1, 0, 0, 0, nullptr},
    {26, PF_Param_FLOAT_SLIDER, "Drift Speed Y", 0, -100000, 100000, -500, 500, 1, 0, 0, 0, nullptr},
    {27, PF_Param_CHECKBOX, "Loop", 0, 0, 0, 0, 0, 0, 0, S | C, 0, "Seamless"},
    {28, PF_Param_FLOAT_SLIDER, "Loop Duration (sec)", 4, 0.1, 3600, 0.5, 30, 2, 0, 0, PF_PUI_DISABLED, nullptr},
    {29, PF_Param_GROUP_END, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr},
    {30, PF_Param_GROUP_START, "Strength Map", 0, 0, 0, 0, 0, 0, 0, G, 0, nullptr},
    {31, PF_Param_LAYER, "Map Layer", PF_LayerDefault_NONE, 0, 0, 0, 0, 0, 0, 0, 0, nullptr},
    {32, PF_Param_POPUP, "Map Channel", 1, 0, 0, 0, 0, 0, 0, C, 0, "Luminance|Alpha|Red|Green|Blue"},
    {33, PF_Param_CHECKBOX, "Invert Map", 0, 0, 0, 0, 0, 0, 0, C, 0, "Invert"},
    {39, PF_Param_GROUP_END, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr},
    {40, PF_Param_GROUP_START, "Render", 0, 0, 0, 0, 0, 0, 0, G, 0, nullptr},
    {41, PF_Param_FLOAT_SLIDER, "Color Split", 0, -100, 100, 0, 50, 1, 1, S, 0, nullptr},
    {42, PF_Param_POPUP, "Edges", 1, 0, 0, 0, 0, 0, 0, C, 0, "Repeat Edge Pixels|Wrap Around|Mirror|Transparent"},
    {43, PF_Param_POPUP, "Antialiasing", 3, 0, 0, 0, 0, 0, 0, C, 0, "Off|Low|High|Best"},
    {44, PF_Param_POPUP, "Interpolation", 2, 0, 0, 0, 0, 0, 0, C, 0, "Bilinear|Bicubic"},
    {45, PF_Param_FLOAT_SLIDER, "Mix", 100, 0, 100, 0, 100, 1, 1, 0, 0, nullptr},
    {49, PF_Param_GROUP_END, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr},
};

int ChoiceCount(const char* text)
{
    int n = 1;
    for (const char* c = text; *c; ++c) {
        n += *c == '|';
    }
    return n;
}

bool AllZero(const void* bytes, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        if (p[i]) {
            return false;
        }
    }
    return true;
}

using ParamsSetup = PluginHost;

TEST_F(ParamsSetup, HostKnowsFortyOneParametersAndTheCustomUi)
{
    EXPECT_EQ(host.params().Count(), 41);
    EXPECT_EQ(host.module().out_data().num_params, 41);
    EXPECT_EQ(host.faults().CallCount(HostCall::AddParam), 40);
    ASSERT_EQ(host.params().registered_ui().size(), 1u);
    PF_CustomUIInfo expected{};
    expected.events = PF_CustomEFlag_EFFECT;
    EXPECT_EQ(std::memcmp(&host.params().registered_ui()[0], &expected, sizeof expected), 0);
}

TEST_F(ParamsSetup, EveryRowIsAddedAsProjectsStoreIt)
{
    for (int index = 1; index < 41; ++index) {
        SCOPED_TRACE("parameter " + std::to_string(index));
        const Expected& want = EXPECTED[index];
        const PF_ParamDef& def = host.params().Registered(index);
        EXPECT_EQ(def.uu.id, want.id);
        EXPECT_EQ(def.param_type, want.type);
        EXPECT_STREQ(def.name, want.name);
        EXPECT_EQ(def.flags, want.flags);
        EXPECT_EQ(def.ui_flags, want.ui_flags);
        EXPECT_EQ(def.ui_width, index == PARAM_HEADER ? 300 : 0);
        EXPECT_EQ(def.ui_height, index == PARAM_HEADER ? 50 : 0);
        EXPECT_EQ(def.unused, 0);
        switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER: {
            const PF_FloatSliderDef& fs = def.u.fs_d;
            EXPECT_EQ(fs.value, want.dephault);
            EXPECT_EQ(fs.dephault, static_cast<float>(want.dephault));
            EXPECT_EQ(fs.valid_min, static_cast<float>(want.valid_min));
            EXPECT_EQ(fs.valid_max, static_cast<float>(want.valid_max));
            EXPECT_EQ(fs.slider_min, static_cast<float>(want.slider_min));
            EXPECT_EQ(fs.slider_max, static_cast<float>(want.slider_max));
            EXPECT_EQ(fs.precision, want.precision);
            EXPECT_EQ(fs.display_flags, want.display_flags);
            EXPECT_EQ(fs.phase, 0.0);
            EXPECT_EQ(fs.value_desc[0], '\0');
            EXPECT_EQ(fs.fs_flags, 0);
            EXPECT_EQ(fs.curve_tolerance, 0.05f);
            EXPECT_EQ(fs.useExponent, 0);
            EXPECT_EQ(fs.exponent, 0.0f);
            break;
        }
        case PF_Param_SLIDER: {
            const PF_SliderDef& sd = def.u.sd;
            EXPECT_EQ(sd.value, want.dephault);
            EXPECT_EQ(sd.dephault, want.dephault);
            EXPECT_EQ(sd.valid_min, want.valid_min);
            EXPECT_EQ(sd.valid_max, want.valid_max);
            EXPECT_EQ(sd.slider_min, want.slider_min);
            EXPECT_EQ(sd.slider_max, want.slider_max);
            EXPECT_EQ(sd.value_str[0], '\0');
            EXPECT_EQ(sd.value_desc[0], '\0');
            break;
        }
        case PF_Param_POPUP:
            EXPECT_EQ(def.u.pd.value, want.dephault);
            EXPECT_EQ(def.u.pd.dephault, want.dephault);
            EXPECT_EQ(def.u.pd.num_choices, ChoiceCount(want.text));
            EXPECT_EQ(host.params().RegisteredText(index), want.text);
            break;
        case PF_Param_CHECKBOX:
            EXPECT_EQ(def.u.bd.value, want.dephault);
            EXPECT_EQ(def.u.bd.dephault, want.dephault);
            EXPECT_EQ(host.params().RegisteredText(index), want.text);
            break;
        case PF_Param_ANGLE:
            EXPECT_TRUE(AllZero(&def.u.ad, sizeof def.u.ad));
            break;
        case PF_Param_LAYER:
            EXPECT_EQ(def.u.ld.dephault, PF_LayerDefault_NONE);
            EXPECT_EQ(def.u.ld.data, nullptr);
            break;
        default:   // header and groups carry no value at all
            EXPECT_TRUE(AllZero(&def.u, sizeof def.u));
            break;
        }
    }
}

TEST_F(ParamsSetup, LastParameterEndsTheRenderGroup)
{
    const PF_ParamDef& last = host.params().Registered(40);
    EXPECT_EQ(last.param_type, PF_Param_GROUP_END);
    EXPECT_EQ(last.uu.id, 49);
    EXPECT_STREQ(last.name, "");
}

TEST_F(ParamsSetup, FreshInstanceHasLoopDurationGreyed)
{
    EXPECT_EQ(host.params().Get(PARAM_LOOP), 0);
    EXPECT_TRUE(host.params().UiFlags(PARAM_LOOP_DURATION) & PF_PUI_DISABLED);
}

TEST(ParamsSetupFailure, FailingAddParamStopsAtOnceWithItsError)
{
    HostSim host(QF_MODULE_PATH);
    ASSERT_EQ(host.module().Register(), PF_Err_NONE);
    ASSERT_EQ(host.module().GlobalSetup(), PF_Err_NONE);
    host.module().out_data().num_params = -7;
    Injection refuse;
    refuse.call = HostCall::AddParam;
    refuse.error = PF_Err_OUT_OF_MEMORY;
    refuse.skip = 4;   // the fifth parameter, Wave Size, is refused
    host.faults().Inject(refuse);

    EXPECT_EQ(host.module().ParamsSetup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host.faults().CallCount(HostCall::AddParam), 5);
    EXPECT_EQ(host.params().Count(), 1 + 4);
    EXPECT_EQ(host.module().out_data().num_params, -7);
    EXPECT_EQ(host.faults().CallCount(HostCall::RegisterUi), 0);
    EXPECT_TRUE(host.params().registered_ui().empty());
}

TEST(ParamsSetupFailure, RefusedCustomUiIsIgnored)
{
    HostSim host(QF_MODULE_PATH);
    Injection refuse;
    refuse.call = HostCall::RegisterUi;
    host.faults().Inject(refuse);
    EXPECT_EQ(host.Start(), PF_Err_NONE);
    EXPECT_EQ(host.faults().CallCount(HostCall::RegisterUi), 1);
    EXPECT_EQ(host.module().out_data().num_params, 41);
}

}   // namespace
