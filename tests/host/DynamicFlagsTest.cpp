// PF_Cmd_QUERY_DYNAMIC_FLAGS: the three speeds sampled at six times decide PF_OutFlag_NON_PARAM_VARY.
#include "PluginHost.h"

#include <limits>
#include <vector>

namespace {

class DynamicFlags : public PluginHost {
protected:
    void SetUp() override
    {
        PluginHost::SetUp();
        host.settings().current_time = 7;
        host.settings().total_time = 103;   // quarter 25, so the fifth time is 75, not 77
        host.settings().time_step = 2;
        host.settings().time_scale = 30;
        host.ClearLogs();
    }

    bool Varies()
    {
        EXPECT_EQ(host.module().SendCommand(PF_Cmd_QUERY_DYNAMIC_FLAGS), PF_Err_NONE);
        EXPECT_EQ(host.params().OutstandingCheckouts(), 0);
        return (host.module().out_data().out_flags & PF_OutFlag_NON_PARAM_VARY) != 0;
    }
};

TEST_F(DynamicFlags, StillSpeedsClearTheFlagAndKeepTheOthers)
{
    ASSERT_TRUE(host.module().out_data().out_flags & PF_OutFlag_NON_PARAM_VARY);   // as global set-up left it
    EXPECT_FALSE(Varies());
    EXPECT_EQ(static_cast<A_u_long>(host.module().out_data().out_flags), 0x06008004u & ~4u);
}

TEST_F(DynamicFlags, SamplesSixTimesInOrderForEachSpeed)
{
    ASSERT_FALSE(Varies());
    const A_long times[6] = {7, 0, 25, 51, 75, 103};
    const int speeds[3] = {PARAM_EVOLUTION_SPEED, PARAM_DRIFT_SPEED_X, PARAM_DRIFT_SPEED_Y};
    const std::vector<CheckoutRecord>& log = host.params().checkouts();
    ASSERT_EQ(log.size(), 18u);
    for (int t = 0; t < 6; ++t) {
        for (int p = 0; p < 3; ++p) {
            const CheckoutRecord& record = log[t * 3 + p];
            EXPECT_EQ(record.what_time, times[t]) << "sample " << t;
            EXPECT_EQ(record.index, speeds[p]) << "sample " << t;
            EXPECT_EQ(record.time_step, 2);
            EXPECT_EQ(record.time_scale, 30u);
        }
    }
    EXPECT_EQ(host.faults().CallCount(HostCall::CheckinParam), 18);
}

TEST_F(DynamicFlags, DriftOnlyAtTotalTimeSetsTheFlag)
{
    host.params().SetKeyframes(PARAM_DRIFT_SPEED_Y, {{0, 0.0}, {102, 0.0}, {103, 4.0}});
    EXPECT_TRUE(Varies());
    EXPECT_EQ(host.params().checkouts().size(), 18u);   // found at the very last sample
}

TEST_F(DynamicFlags, SpeedFoundEarlyEndsTheSearch)
{
    host.params().Set(PARAM_DRIFT_SPEED_X, -0.5);
    EXPECT_TRUE(Varies());
    EXPECT_EQ(host.params().checkouts().size(), 2u);
    EXPECT_EQ(host.faults().CallCount(HostCall::CheckinParam), 2);
}

TEST_F(DynamicFlags, BumpBetweenSampleTimesIsNotSeen)
{
    host.params().SetKeyframes(PARAM_EVOLUTION_SPEED, {{0, 0.0}, {10, 0.0}, {12, 1.5}, {14, 0.0}});
    ASSERT_EQ(host.params().GetAt(PARAM_EVOLUTION_SPEED, 12), 1.5);
    // Between three rounded quarters (75) and three quarters rounded (77).
    host.params().SetKeyframes(PARAM_DRIFT_SPEED_X, {{76, 0.0}, {77, 2.0}, {78, 0.0}});
    EXPECT_FALSE(Varies());
}

TEST_F(DynamicFlags, NanSpeedCountsAsMoving)
{
    host.params().Set(PARAM_EVOLUTION_SPEED, std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(Varies());
}

TEST_F(DynamicFlags, FailedCheckoutCountsAsVaryingAndIsNotCheckedIn)
{
    Injection refuse;
    refuse.call = HostCall::CheckoutParam;
    refuse.error = PF_Err_OUT_OF_MEMORY;
    refuse.skip = 4;
    host.faults().Inject(refuse);
    EXPECT_TRUE(Varies());   // the error itself is not passed on
    EXPECT_EQ(host.faults().CallCount(HostCall::CheckoutParam), 5);
    EXPECT_EQ(host.faults().CallCount(HostCall::CheckinParam), 4);
}

}   // namespace
