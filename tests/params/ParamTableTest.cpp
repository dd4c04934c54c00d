// The parameter table's look-ups and the definitions built from its rows.
#include "ParamSetup.h"
#include "ParamTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ParamTable, FindsControlsByIdentifierOrShownName)
{
    ASSERT_NE(FindParam("Wave Size"), nullptr);
    EXPECT_EQ(FindParam("Wave Size")->index, PARAM_WAVE_SIZE);
    EXPECT_EQ(FindParam("wave_size")->index, PARAM_WAVE_SIZE);
    EXPECT_EQ(FindParam("PARAM_WAVE_SIZE")->index, PARAM_WAVE_SIZE);
    EXPECT_EQ(FindParam("Loop Duration (sec)")->index, PARAM_LOOP_DURATION);
    // "Waves" names both the group and the slider: the slider wins; a group is found by a name of its own.
    EXPECT_EQ(FindParam("Waves")->index, PARAM_WAVES);
    EXPECT_EQ(FindParam("Animation")->index, PARAM_ANIMATION_GROUP);
    EXPECT_EQ(FindParam("Wave"), nullptr);
    EXPECT_EQ(FindParam(""), nullptr);
    EXPECT_EQ(FindParam("PARAM_"), nullptr);
}

TEST(ParamTable, FindsChoicesByName)
{
    EXPECT_EQ(FindChoice(WAVEFORM_CHOICES, "Sine"), 1);
    EXPECT_EQ(FindChoice(WAVEFORM_CHOICES, "sawtooth"), 6);
    EXPECT_EQ(FindChoice(WAVEFORM_CHOICES, "Saw"), 0);
    EXPECT_EQ(FindChoice(PRESET_CHOICES.data(), "Sideways Melt"), 15);
    EXPECT_EQ(FindChoice(nullptr, "Sine"), 0);
}

TEST(ParamTable, PresetMenuListsCustomThenTheLooksInOrder)
{
    EXPECT_STREQ(PRESET_CHOICES.data(),
                 "Custom|Melting Portrait|Liquid Eyes|Deep Swirl|Mirror Folds|Dripping Paint|Wood Grain|"
                 "Psychedelic|Heat Haze|Silk|Zigzag|Glitch Blocks|Tidal Smear|Kaleido Melt|Sideways Melt");
}

TEST(ParamSetup, LongNamesAreCutToThirtyOneCharacters)
{
    ParamSpec row = PARAM_TABLE[PARAM_AMOUNT];
    const std::string long_name(40, 'n');
    row.name = long_name.c_str();
    PF_ParamDef def;
    std::memset(&def, 0x7F, sizeof def);
    FillParamDef(row, def);
    EXPECT_EQ(std::strlen(def.name), 31u);
    EXPECT_EQ(def.u.fs_d.phase, 0.0);   // everything not set is cleared
    EXPECT_EQ(def.unused, 0);
}

TEST(ParamSetup, AnglesStoreSixteenDotSixteenDegrees)
{
    ParamSpec row = PARAM_TABLE[PARAM_DIRECTION];
    row.dephault = -22.5;
    PF_ParamDef def;
    FillParamDef(row, def);
    EXPECT_EQ(def.u.ad.value, -22.5 * 65536);
    EXPECT_EQ(def.u.ad.dephault, def.u.ad.value);
}

TEST(ParamSetup, NoHostMeansNoParameters)
{
    EXPECT_EQ(AddParams(nullptr), PF_Err_INVALID_CALLBACK);
    PF_InData in_data{};
    EXPECT_EQ(AddParams(&in_data), PF_Err_INVALID_CALLBACK);
}

}   // namespace
