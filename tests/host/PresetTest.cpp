// The Preset menu, driven as a user drives it: the host sends PF_Cmd_USER_CHANGED_PARAM and takes over
// the values the effect flags.
#include "PluginHost.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

const int CONTROLLED[13] = {PARAM_WAVE_SIZE, PARAM_STRENGTH, PARAM_FOLD, PARAM_DRIP, PARAM_DIRECTION,
                            PARAM_WAVES, PARAM_WAVEFORM, PARAM_SIZE_VARIATION, PARAM_STRENGTH_VARIATION,
                            PARAM_DIRECTION_SPREAD, PARAM_ITERATIONS, PARAM_RANDOM_SEED, PARAM_COLOR_SPLIT};

// The fourteen looks in menu order as the host shows them afterwards (Waveform as its popup value,
// Direction in degrees), written out independently of the plug-in's table.
struct Look {
    const char* name;
    double values[13];
};

const Look LOOKS[14] = {
    {"Melting Portrait", {440, 2, 100, 50, 0, 5, 1, 80, 60, 20, 1, 2, 0}},
    {"Liquid Eyes", {440, 1.5, 100, 50, 0, 5, 2, 80, 60, 20, 1, 2, 0}},
    {"Deep Swirl", {440, 1.2, 100, 50, 0, 5, 1, 80, 60, 20, 2, 2, 0}},
    {"Mirror Folds", {360, 2.5, 150, 0, 0, 4, 1, 60, 40, 10, 1, 4, 0}},
    {"Dripping Paint", {300, 1.6, 40, 140, 0, 7, 3, 90, 50, 25, 1, 8, 0}},
    {"Wood Grain", {260, 3, 120, 80, 0, 8, 1, 100, 50, 60, 1, 5, 0}},
    {"Psychedelic", {380, 1, 100, 100, 30, 7, 2, 100, 60, 100, 2, 11, 8}},
    {"Heat Haze", {90, 0.35, 60, 100, 90, 8, 1, 100, 50, 60, 1, 3, 0}},
    {"Silk", {700, 1.1, 70, 100, 0, 6, 1, 70, 40, 180, 1, 7, 0}},
    {"Zigzag", {300, 1.5, 60, 100, 0, 4, 4, 50, 30, 10, 1, 3, 0}},
    {"Glitch Blocks", {260, 1.2, 100, 60, 0, 6, 5, 80, 60, 0, 1, 9, 10}},
    {"Tidal Smear", {500, 1.8, 120, 60, 0, 5, 6, 60, 40, 15, 1, 6, 0}},
    {"Kaleido Melt", {420, 1.6, 160, 30, 0, 6, 1, 70, 40, 60, 2, 12, 0}},
    {"Sideways Melt", {440, 2, 100, 50, 90, 5, 1, 80, 60, 20, 1, 2, 0}},
};

std::vector<double> AllValues(const HostSim& host)
{
    std::vector<double> values;
    for (int i = 0; i < host.params().Count(); ++i) {
        values.push_back(host.params().Get(i));
    }
    return values;
}

using Presets = PluginHost;

TEST_F(Presets, FreshInstanceShowsMeltingPortraitAndAgreesWithIt)
{
    EXPECT_EQ(host.params().Get(PARAM_PRESET), 2);
    for (int k = 0; k < 13; ++k) {
        EXPECT_EQ(host.params().Get(CONTROLLED[k]), LOOKS[0].values[k]) << "parameter " << CONTROLLED[k];
    }
}

TEST_F(Presets, EachLookWritesItsThirteenValuesAndNothingElse)
{
    for (int look = 0; look < 14; ++look) {
        SCOPED_TRACE(LOOKS[look].name);
        // Values no look has, so every write shows; none of these edits sends a command.
        for (int index : CONTROLLED) {
            host.params().Set(index, index == PARAM_WAVEFORM ? 0 : index == PARAM_RANDOM_SEED ? 29999 : 3.25);
        }
        host.params().Set(PARAM_AMOUNT, 37);
        host.params().Set(PARAM_MIX, 12);
        host.params().Set(PARAM_EVOLUTION_SPEED, 0.25);
        std::vector<double> before = AllValues(host);

        ASSERT_EQ(host.ChoosePreset(LOOKS[look].name), PF_Err_NONE);
        EXPECT_EQ(host.params().Get(PARAM_PRESET), look + 2);
        std::vector<double> after = AllValues(host);
        for (int k = 0; k < 13; ++k) {
            EXPECT_EQ(after[CONTROLLED[k]], LOOKS[look].values[k]) << "parameter " << CONTROLLED[k];
            after[CONTROLLED[k]] = before[CONTROLLED[k]];
        }
        after[PARAM_PRESET] = before[PARAM_PRESET];
        EXPECT_EQ(after, before);   // nothing outside the thirteen moved
    }
}

TEST_F(Presets, HeatHazeFollowsTheLayerSizeWhenNotScaledAtRender)
{
    host.params().Set(PARAM_SCALE_WITH_LAYER, 0);
    const struct {
        A_long width, height;
        double wave_size;
    } cases[] = {{1920, 1080, 90}, {3840, 2160, 180}, {192, 108, 9}, {1, 1, 5}};
    for (const auto& c : cases) {
        host.settings().width = c.width;
        host.settings().height = c.height;
        host.params().Set(PARAM_PRESET, PRESET_CUSTOM);
        ASSERT_EQ(host.ChoosePreset("Heat Haze"), PF_Err_NONE);
        EXPECT_EQ(host.params().Get(PARAM_WAVE_SIZE), c.wave_size) << c.width << " x " << c.height;
    }
}

TEST_F(Presets, ScaleWithLayerOnKeepsTheLooksSize)
{
    ASSERT_EQ(host.params().Get(PARAM_SCALE_WITH_LAYER), 1);
    host.settings().width = 3840;
    host.settings().height = 2160;
    ASSERT_EQ(host.ChoosePreset("Heat Haze"), PF_Err_NONE);
    EXPECT_EQ(host.params().Get(PARAM_WAVE_SIZE), 90);
}

TEST_F(Presets, SidewaysMeltTurnsDirectionToNinetyDegreesFixedPoint)
{
    ASSERT_EQ(host.ChoosePreset("Sideways Melt"), PF_Err_NONE);
    EXPECT_EQ(host.params().At(PARAM_DIRECTION, 0).u.ad.value, 5898240);
}

TEST_F(Presets, ZigzagChoosesTriangle)
{
    ASSERT_EQ(host.ChoosePreset("Zigzag"), PF_Err_NONE);
    EXPECT_EQ(host.params().Get(PARAM_WAVEFORM), 4);
}

TEST_F(Presets, TouchingAPresetControlTurnsTheMenuToCustom)
{
    for (int index : CONTROLLED) {
        ASSERT_EQ(host.ChoosePreset("Silk"), PF_Err_NONE);
        const double edited = index == PARAM_WAVEFORM ? 2 : 7;
        ASSERT_EQ(host.ChangeParam(index, edited), PF_Err_NONE);
        EXPECT_EQ(host.params().Get(PARAM_PRESET), PRESET_CUSTOM) << "parameter " << index;
        EXPECT_EQ(host.params().Get(index), edited) << "the user's edit stays";
    }
}

TEST_F(Presets, TouchingOtherControlsKeepsTheLook)
{
    ASSERT_EQ(host.ChoosePreset("Silk"), PF_Err_NONE);
    ASSERT_EQ(host.ChangeParam(PARAM_AMOUNT, 50), PF_Err_NONE);
    ASSERT_EQ(host.ChangeParam(PARAM_MIX, 40), PF_Err_NONE);
    ASSERT_EQ(host.ChangeParam(PARAM_LOOP, 1), PF_Err_NONE);
    // Even when told of them, as a host might for any control.
    for (int index : {int(PARAM_AMOUNT), int(PARAM_MIX), int(PARAM_SCALE_WITH_LAYER), int(PARAM_EDGES), 36, 40, -1}) {
        ASSERT_EQ(host.module().SendUserChangedParam(index), PF_Err_NONE);
    }
    EXPECT_EQ(host.params().Get(PARAM_PRESET), 10);
}

TEST_F(Presets, ChoosingCustomOrAnUnknownValueChangesNothing)
{
    ASSERT_EQ(host.ChoosePreset("Heat Haze"), PF_Err_NONE);
    for (double choice : {1.0, 0.0, 16.0, -3.0}) {
        host.params().Set(PARAM_PRESET, choice);
        const std::vector<double> before = AllValues(host);
        ASSERT_EQ(host.module().SendUserChangedParam(PARAM_PRESET), PF_Err_NONE);
        EXPECT_EQ(AllValues(host), before) << "choice " << choice;
    }
}

}   // namespace
