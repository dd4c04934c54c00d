// The parameter table's look-ups, control values in its encodings, and what touching a control does.
#include "ParamRules.h"
#include "ParamTable.h"
#include "ParamValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

TEST(ParamValues, NumbersTakeEachKindsEncoding)
{
    EXPECT_EQ(ParamValueFromNumber(PARAM_AMOUNT, 37.5).number, 37.5);
    EXPECT_EQ(ParamValueFromNumber(PARAM_AMOUNT, 37.5).integer, 0);
    EXPECT_EQ(ParamValueFromNumber(PARAM_AMOUNT, std::nan("")).number, 0.0);
    EXPECT_EQ(ParamValueFromNumber(PARAM_DIRECTION, 90).integer, 5898240);
    EXPECT_EQ(ParamValueFromNumber(PARAM_DIRECTION, -22.5).integer, -1474560);
    EXPECT_EQ(ParamValueFromNumber(PARAM_DIRECTION, 1e-5).integer, 1);   // 0.65536 steps, rounded
    EXPECT_EQ(ParamValueFromNumber(PARAM_WAVES, 4.5).integer, 5);         // halves away from zero
    EXPECT_EQ(ParamValueFromNumber(PARAM_WAVES, -4.5).integer, -5);
    EXPECT_EQ(ParamValueFromNumber(PARAM_RANDOM_SEED, 1e12).integer, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ParamValueFromNumber(PARAM_EDGES, 3).integer, 3);
    EXPECT_EQ(ParamValueFromNumber(PARAM_LOOP, 1).integer, 1);
    EXPECT_EQ(ParamValueFromNumber(PARAM_MAP_LAYER, 5).integer, 0);
    EXPECT_EQ(ParamValueFromNumber(PARAM_COUNT, 5).integer, 0);
    EXPECT_EQ(AngleToFixed(-1e10), std::numeric_limits<std::int32_t>::min());

    const ParamValues defaults = DefaultParamValues();
    EXPECT_EQ(defaults[PARAM_WAVE_SIZE].number, 440.0);
    EXPECT_EQ(defaults[PARAM_PRESET].integer, 2);
    EXPECT_EQ(defaults[PARAM_ANTIALIASING].integer, 3);
    EXPECT_EQ(defaults[PARAM_SCALE_WITH_LAYER].integer, 1);
    EXPECT_EQ(defaults[PARAM_LOOP_DURATION].number, 4.0);
    EXPECT_EQ(defaults[PARAM_INPUT].number, 0.0);
}

TEST(ParamRules, ALookWritesItsThirteenControlsInOrder)
{
    ParamValues values = DefaultParamValues();
    values[PARAM_PRESET] = ParamValue::Integer(9);   // "Heat Haze"
    values[PARAM_SCALE_WITH_LAYER] = ParamValue::Integer(0);
    const ParamChanges changes = ChangesAfterEdit(PARAM_PRESET, values, 0.1);
    ASSERT_EQ(changes.count, 13);
    int i = 0;
    for (const ParamChange& change : changes) {
        EXPECT_EQ(change.index, PRESET_CONTROLLED_PARAMS[i++]);
    }
    EXPECT_EQ(changes.items[0].value.number, 9.0);          // 90 fitted to a tenth of 1080p
    EXPECT_EQ(changes.items[4].value.integer, 5898240);     // Direction 90 degrees
    EXPECT_EQ(changes.items[6].value.integer, 1);           // Waveform "Sine"

    values[PARAM_SCALE_WITH_LAYER] = ParamValue::Integer(1);   // the render scales instead
    EXPECT_EQ(ChangesAfterEdit(PARAM_PRESET, values, 0.1).items[0].value.number, 90.0);
    values[PARAM_PRESET] = ParamValue::Integer(1);             // "Custom" changes nothing
    EXPECT_EQ(ChangesAfterEdit(PARAM_PRESET, values, 0.1).count, 0);
}

TEST(ParamRules, TouchingALooksControlTurnsTheMenuToCustom)
{
    ParamValues values = DefaultParamValues();
    ParamChanges changes = ChangesAfterEdit(PARAM_COLOR_SPLIT, values, 1.0);
    ASSERT_EQ(changes.count, 1);
    EXPECT_EQ(changes.items[0].index, PARAM_PRESET);
    EXPECT_EQ(changes.items[0].value.integer, 1);
    EXPECT_EQ(ChangesAfterEdit(PARAM_AMOUNT, values, 1.0).count, 0);
    EXPECT_EQ(ChangesAfterEdit(PARAM_EDGES, values, 1.0).count, 0);
    values[PARAM_PRESET] = ParamValue::Integer(1);
    EXPECT_EQ(ChangesAfterEdit(PARAM_RANDOM_SEED, values, 1.0).count, 0);

    EXPECT_TRUE(LoopDurationGreyed(values));
    values[PARAM_LOOP] = ParamValue::Integer(1);
    EXPECT_FALSE(LoopDurationGreyed(values));
}

}   // namespace
