// PF_Cmd_UPDATE_PARAMS_UI: Loop Duration is greyed while Loop is off, through "PF Param Utils Suite" 3,
// which is always given back.
#include "PluginHost.h"

namespace {

class LoopDuration : public PluginHost {
protected:
    void SetUp() override
    {
        PluginHost::SetUp();
        host.params().Set(PARAM_LOOP_DURATION, 7.5);
        host.ClearLogs();
    }

    bool Greyed() const { return (host.params().UiFlags(PARAM_LOOP_DURATION) & PF_PUI_DISABLED) != 0; }
};

TEST_F(LoopDuration, GreysAndUngreysWithLoopAndKeepsItsValue)
{
    ASSERT_EQ(host.ChangeParam(PARAM_LOOP, 1), PF_Err_NONE);
    EXPECT_FALSE(Greyed());
    EXPECT_EQ(host.params().Get(PARAM_LOOP_DURATION), 7.5);

    ASSERT_EQ(host.ChangeParam(PARAM_LOOP, 0), PF_Err_NONE);
    EXPECT_TRUE(Greyed());
    EXPECT_EQ(host.params().Get(PARAM_LOOP_DURATION), 7.5);

    // Only Loop Duration is ever touched, once per command, and the suite is given back each time.
    ASSERT_EQ(host.params().ui_updates().size(), 2u);
    for (const UiUpdate& update : host.params().ui_updates()) {
        EXPECT_EQ(update.index, PARAM_LOOP_DURATION);
        EXPECT_EQ(update.def.u.fs_d.value, 7.5);
        EXPECT_EQ(update.def.param_type, PF_Param_FLOAT_SLIDER);
    }
    EXPECT_EQ(host.suites().Acquired(kPFParamUtilsSuite, 3), 2);
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

TEST_F(LoopDuration, RunsOnEveryUpdateWhateverChanged)
{
    ASSERT_EQ(host.ChangeParam(PARAM_AMOUNT, 20), PF_Err_NONE);
    ASSERT_EQ(host.module().SendUpdateParamsUI(), PF_Err_NONE);
    EXPECT_EQ(host.params().ui_updates().size(), 2u);
    EXPECT_TRUE(Greyed());
}

TEST_F(LoopDuration, MissingSuiteSwitchesTheGreyingOff)
{
    host.suites().Withdraw(kPFParamUtilsSuite, 3);
    ASSERT_EQ(host.ChangeParam(PARAM_LOOP, 1), PF_Err_NONE);
    EXPECT_TRUE(host.params().ui_updates().empty());
    EXPECT_EQ(host.suites().Outstanding(), 0);
    EXPECT_EQ(host.params().Get(PARAM_LOOP), 1);
}

TEST_F(LoopDuration, RefusedOrEmptyAcquisitionIsHandled)
{
    Injection refuse;
    refuse.call = HostCall::AcquireSuite;
    refuse.suite = kPFParamUtilsSuite;
    host.faults().Inject(refuse);
    ASSERT_EQ(host.module().SendUpdateParamsUI(), PF_Err_NONE);
    EXPECT_EQ(host.suites().Released(kPFParamUtilsSuite, 3), 0);   // nothing acquired, nothing released

    Injection empty = refuse;
    empty.null_suite = true;
    host.faults().Inject(empty);
    ASSERT_EQ(host.module().SendUpdateParamsUI(), PF_Err_NONE);
    EXPECT_TRUE(host.params().ui_updates().empty());
    EXPECT_EQ(host.suites().Released(kPFParamUtilsSuite, 3), 1);   // the host counted it as acquired
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

TEST_F(LoopDuration, RefusedUpdateIsIgnored)
{
    Injection refuse;
    refuse.call = HostCall::UpdateParamUI;
    host.faults().Inject(refuse);
    EXPECT_EQ(host.ChangeParam(PARAM_LOOP, 1), PF_Err_NONE);
    EXPECT_TRUE(Greyed());   // the host kept showing it as it was
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

}   // namespace
