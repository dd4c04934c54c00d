// The host simulator's own promises that later tests lean on: animated values, time scales, abort.
#include "PluginHost.h"

namespace {

using HostSimBehaviour = PluginHost;

TEST_F(HostSimBehaviour, KeyframesInterpolateByParameterType)
{
    host.params().SetKeyframes(PARAM_OFFSET_X, {{30, 100.0}, {10, -100.0}});   // any order
    EXPECT_EQ(host.params().GetAt(PARAM_OFFSET_X, 0), -100.0);
    EXPECT_EQ(host.params().GetAt(PARAM_OFFSET_X, 15), -50.0);
    EXPECT_EQ(host.params().GetAt(PARAM_OFFSET_X, 40), 100.0);

    host.params().SetKeyframes(PARAM_WAVES, {{0, 1.0}, {10, 4.0}});
    EXPECT_EQ(host.params().GetAt(PARAM_WAVES, 5), 3);       // 2.5 rounds away from zero
    host.params().SetKeyframes(PARAM_WAVEFORM, {{0, 1.0}, {10, 6.0}});
    EXPECT_EQ(host.params().GetAt(PARAM_WAVEFORM, 9), 1);    // popups hold until the next keyframe
    host.params().SetKeyframes(PARAM_EVOLUTION, {{0, 0.0}, {10, 720.0}});
    EXPECT_EQ(host.params().At(PARAM_EVOLUTION, 5).u.ad.value, 360 * 65536);
}

TEST_F(HostSimBehaviour, CheckoutConvertsTheCallersTimeScale)
{
    host.params().SetKeyframes(PARAM_DRIFT_SPEED_X, {{0, 0.0}, {30, 10.0}});   // host scale 30: one second
    PF_InData in_data = host.module().MakeInData();
    PF_ParamDef def{};
    ASSERT_EQ(in_data.inter.checkout_param(in_data.effect_ref, PARAM_DRIFT_SPEED_X, 1, 1, 2, &def), PF_Err_NONE);
    EXPECT_EQ(def.u.fs_d.value, 5.0);   // half a second
    EXPECT_EQ(host.params().OutstandingCheckouts(), 1);
    ASSERT_EQ(in_data.inter.checkin_param(in_data.effect_ref, &def), PF_Err_NONE);
    EXPECT_EQ(host.params().OutstandingCheckouts(), 0);
    EXPECT_NE(in_data.inter.checkout_param(in_data.effect_ref, PARAM_COUNT, 0, 1, 30, &def), PF_Err_NONE);
}

TEST_F(HostSimBehaviour, AbortFiresAfterTheGivenNumberOfCalls)
{
    host.faults().AbortAfter(2);
    PF_InData in_data = host.module().MakeInData();
    EXPECT_EQ(in_data.inter.abort(in_data.effect_ref), PF_Err_NONE);
    EXPECT_EQ(in_data.inter.abort(in_data.effect_ref), PF_Err_NONE);
    EXPECT_EQ(in_data.inter.abort(in_data.effect_ref), PF_Interrupt_CANCEL);
    EXPECT_EQ(in_data.inter.abort(in_data.effect_ref), PF_Interrupt_CANCEL);
    EXPECT_EQ(host.faults().CallCount(HostCall::Abort), 4);
}

TEST_F(HostSimBehaviour, EditingAnAnimatedControlKeysTheCurrentTime)
{
    host.params().SetKeyframes(PARAM_STRENGTH, {{0, 1.0}, {20, 3.0}});
    host.settings().current_time = 10;
    ASSERT_EQ(host.ChangeParam(PARAM_STRENGTH, 9.0), PF_Err_NONE);
    EXPECT_EQ(host.params().GetAt(PARAM_STRENGTH, 10), 9.0);
    EXPECT_EQ(host.params().GetAt(PARAM_STRENGTH, 15), 6.0);
    EXPECT_EQ(host.params().Get(PARAM_PRESET), PRESET_CUSTOM);
}

// A host knows the effect only from what it registered and what its commands change: controls by their
// registered names, the layer parameter, the Preset menu's choices, the controls a look writes.
TEST_F(HostSimBehaviour, LearnsTheEffectFromWhatItRegisters)
{
    const ParamStore& params = host.params();
    EXPECT_EQ(params.IndexOf("wave size"), 4);
    EXPECT_EQ(params.Find("Waves"), 10);        // the slider, not the group of that name
    EXPECT_EQ(params.Find("Animation"), 19);    // a group answers when nothing else has its name
    EXPECT_EQ(params.Find("PARAM_WAVE_SIZE"), -1);
    EXPECT_THROW(params.IndexOf("Wave"), std::invalid_argument);
    EXPECT_EQ(params.MapLayerIndex(), 30);
    EXPECT_EQ(params.ChoiceOf(2, "heat haze"), 9);
    EXPECT_EQ(params.Choices(36),
              (std::vector<std::string>{"Repeat Edge Pixels", "Wrap Around", "Mirror", "Transparent"}));

    ASSERT_EQ(host.ChoosePreset("Silk"), PF_Err_NONE);
    EXPECT_EQ(host.module().changed_by_plugin(),
              (std::vector<int>{4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 35}));   // the thirteen a look writes
    ASSERT_EQ(host.ChoosePreset("Custom"), PF_Err_NONE);
    EXPECT_TRUE(host.module().changed_by_plugin().empty());
    EXPECT_THROW(host.ChoosePreset("Velvet"), std::invalid_argument);
}

}   // namespace
