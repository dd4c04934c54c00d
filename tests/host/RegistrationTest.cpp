// Registration through PluginDataEntryFunction2 and the global set-up flags.
#include "HostSim.h"

#include <gtest/gtest.h>

namespace {

TEST(Registration, CallbackReceivesTheIdentityInOrder)
{
    HostSim host(QF_MODULE_PATH);
    ASSERT_EQ(host.module().Register(), PF_Err_NONE);
    const Registration& r = host.module().registration();
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.data, reinterpret_cast<PF_PluginDataPtr>(host.module().effect_ref()));   // the host's pointer comes back
    EXPECT_EQ(r.name, "Quaverflux");
    EXPECT_EQ(r.match_name, "QVFX Quaverflux");
    EXPECT_EQ(r.category, "Distort");
    EXPECT_EQ(r.entry_point, "EffectMain");
    EXPECT_EQ(r.kind, 0x65464B54);   // 'eFKT'
    EXPECT_EQ(r.api_major, 13);
    EXPECT_EQ(r.api_minor, 28);
    EXPECT_EQ(r.reserved_info, 8);
    EXPECT_EQ(r.support_url.rfind("https://", 0), 0u) << r.support_url;
}

TEST(Registration, NullCallbackGivesInvalidCallback)
{
    HostSim host(QF_MODULE_PATH);
    EXPECT_EQ(host.module().Register(nullptr), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(host.module().registration().calls, 0);
}

TEST(Registration, CallbackResultIsReturnedUnchanged)
{
    HostSim host(QF_MODULE_PATH);
    Injection refuse;
    refuse.call = HostCall::Register;
    refuse.error = 1234;
    host.faults().Inject(refuse);
    EXPECT_EQ(host.module().Register(), 1234);
}

TEST(GlobalSetup, ReportsVersionAndCapabilities)
{
    HostSim host(QF_MODULE_PATH);
    ASSERT_EQ(host.module().GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(host.module().out_data().my_version, 0x00080601u);
    EXPECT_EQ(static_cast<A_u_long>(host.module().out_data().out_flags), 0x06008004u);
    EXPECT_EQ(static_cast<A_u_long>(host.module().out_data().out_flags2), 0x0A001409u);
}

TEST(GlobalSetup, PremiereGetsNoGpuFlag)
{
    HostSim host(QF_MODULE_PATH);
    host.settings().appl_id = HostSettings::APPL_ID_PREMIERE;
    ASSERT_EQ(host.module().GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(static_cast<A_u_long>(host.module().out_data().out_flags2), 0x08001409u);
    EXPECT_EQ(static_cast<A_u_long>(host.module().out_data().out_flags), 0x06008004u);

    // Any other host, even an unknown one, gets the GPU flag.
    host.settings().appl_id = 0x3F3F3F3F;
    ASSERT_EQ(host.module().GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(static_cast<A_u_long>(host.module().out_data().out_flags2), 0x0A001409u);
}

}   // namespace
