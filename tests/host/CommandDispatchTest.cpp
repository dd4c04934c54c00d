// EffectMain's dispatch: commands without a handler touch nothing, and no exception leaves the module.
#include "PluginHost.h"

#include <climits>
#include <cstring>
#include <vector>

namespace {

using CommandDispatch = PluginHost;

TEST_F(CommandDispatch, CommandsWithoutHandlerReturnZeroAndWriteNothing)
{
    const std::vector<PF_Cmd> commands = {
        PF_Cmd_UNUSED_0, PF_Cmd_GLOBAL_SETDOWN, PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_RESETUP,
        PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_SEQUENCE_SETDOWN, PF_Cmd_DO_DIALOG, PF_Cmd_FRAME_SETUP,
        PF_Cmd_FRAME_SETDOWN, PF_Cmd_GET_EXTERNAL_DEPENDENCIES, PF_Cmd_COMPLETELY_GENERAL, PF_Cmd_AUDIO_RENDER,
        PF_Cmd_AUDIO_SETUP, PF_Cmd_AUDIO_SETDOWN, PF_Cmd_ARBITRARY_CALLBACK, 25, 26, 27, 28, 29, 30,
        PF_Cmd_NUM_CMDS, 35, 100, INT_MAX, -1, INT_MIN};
    for (const PF_Cmd cmd : commands) {
        SCOPED_TRACE("command " + std::to_string(cmd));
        PF_InData in_data = host.module().MakeInData();
        PF_OutData out_data;
        std::memset(&out_data, 0xA5, sizeof out_data);
        std::vector<PF_ParamDef> defs;
        std::vector<PF_ParamDef*> params;
        for (int i = 0; i < host.params().Count(); ++i) {
            defs.push_back(host.params().At(i, 0));
        }
        for (PF_ParamDef& def : defs) {
            params.push_back(&def);
        }
        const PF_InData in_before = in_data;
        const PF_OutData out_before = out_data;
        const std::vector<PF_ParamDef> defs_before = defs;
        PF_LayerDef output{};
        unsigned char extra[64];
        std::memset(extra, 0x5A, sizeof extra);
        host.ClearLogs();

        EXPECT_EQ(host.module().CallEffectMain(cmd, &in_data, &out_data, params.data(), &output, extra), PF_Err_NONE);
        EXPECT_EQ(std::memcmp(&out_data, &out_before, sizeof out_data), 0);
        EXPECT_EQ(std::memcmp(&in_data, &in_before, sizeof in_data), 0);
        for (std::size_t i = 0; i < defs.size(); ++i) {
            EXPECT_EQ(std::memcmp(&defs[i], &defs_before[i], sizeof defs[i]), 0) << "parameter " << i;
        }
        for (unsigned char byte : extra) {
            ASSERT_EQ(byte, 0x5A);
        }
        for (int call = 0; call < static_cast<int>(HostCall::Count); ++call) {
            EXPECT_EQ(host.faults().CallCount(static_cast<HostCall>(call)), 0) << "host call " << call;
        }
    }
}

TEST_F(CommandDispatch, MissingRecordsDoNotCrashTheHandlers)
{
    for (const PF_Cmd cmd : {PF_Cmd_ABOUT, PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI,
                             PF_Cmd_QUERY_DYNAMIC_FLAGS}) {
        EXPECT_EQ(host.module().CallEffectMain(cmd, nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_NONE) << cmd;
    }
    // Set-up cannot report anything without its records.
    EXPECT_EQ(host.module().CallEffectMain(PF_Cmd_GLOBAL_SETUP, nullptr, nullptr, nullptr, nullptr, nullptr),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host.module().CallEffectMain(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr, nullptr, nullptr),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
}

// Exceptions raised inside a handler (here thrown by the host's own callbacks, as a host in trouble might)
// come back as error codes after the handler released what it held.
struct ThrowCase {
    InjectedThrow throws;
    PF_Err expected;
};

class HandlerExceptions : public PluginHost, public ::testing::WithParamInterface<ThrowCase> {};

TEST_P(HandlerExceptions, SuiteUserReleasesItsSuite)
{
    Injection injection;
    injection.call = HostCall::UpdateParamUI;
    injection.throws = GetParam().throws;
    host.faults().Inject(injection);
    host.ClearLogs();

    EXPECT_EQ(host.module().SendUpdateParamsUI(), GetParam().expected);
    EXPECT_EQ(host.suites().Acquired(kPFParamUtilsSuite, 3), 1);
    EXPECT_EQ(host.suites().Released(kPFParamUtilsSuite, 3), 1);
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

TEST_P(HandlerExceptions, ThrowingSuiteAcquisitionLeavesNothingAcquired)
{
    Injection injection;
    injection.call = HostCall::AcquireSuite;
    injection.throws = GetParam().throws;
    host.faults().Inject(injection);
    host.ClearLogs();

    EXPECT_EQ(host.module().SendUpdateParamsUI(), GetParam().expected);
    EXPECT_EQ(host.suites().Outstanding(), 0);
    EXPECT_EQ(host.suites().Released(kPFParamUtilsSuite, 3), 0);
}

TEST_P(HandlerExceptions, ParameterCallbacks)
{
    Injection checkout;
    checkout.call = HostCall::CheckoutParam;
    checkout.throws = GetParam().throws;
    host.faults().Inject(checkout);
    EXPECT_EQ(host.module().SendCommand(PF_Cmd_QUERY_DYNAMIC_FLAGS), GetParam().expected);

    Injection add;
    add.call = HostCall::AddParam;
    add.skip = 10;
    add.throws = GetParam().throws;
    host.faults().Inject(add);
    EXPECT_EQ(host.module().ParamsSetup(), GetParam().expected);
}

TEST_P(HandlerExceptions, RegistrationCallback)
{
    Injection injection;
    injection.call = HostCall::Register;
    injection.throws = GetParam().throws;
    host.faults().Inject(injection);
    EXPECT_EQ(host.module().Register(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Host, HandlerExceptions,
                         ::testing::Values(ThrowCase{InjectedThrow::BadAlloc, PF_Err_OUT_OF_MEMORY},
                                           ThrowCase{InjectedThrow::RuntimeError, PF_Err_INTERNAL_STRUCT_DAMAGED}),
                         [](const auto& info) {
                             return info.param.throws == InjectedThrow::BadAlloc ? "BadAlloc" : "RuntimeError";
                         });

}   // namespace
