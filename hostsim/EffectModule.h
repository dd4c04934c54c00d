// The module as the host drives it: loaded by path, registered through PluginDataEntryFunction2, and sent
// commands through EffectMain with a fresh in_data, the instance's out_data and the parameter array at
// the current time. It counts the commands sent and takes over the values the plug-in changes.
#pragma once

#include "AE_Effect.h"
#include "AE_PluginData.h"
#include "SPBasic.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class FaultInjector;
class LoadedModule;
class ParamStore;
class SuiteTable;
struct EffectInstance;
struct HostSettings;

// What the plug-in registered through PluginDataEntryFunction2.
struct Registration {
    int calls = 0;
    PF_PluginDataPtr data = nullptr;   // the opaque pointer handed back to the host
    std::string name, match_name, category, entry_point;
    A_long kind = 0, api_major = 0, api_minor = 0, reserved_info = 0;
    std::string support_url;
};

class EffectModule {
public:
    // Loads the module and finds its two exports; throws std::runtime_error when either fails. Commands
    // run for `instance`, whose record is the effect_ref every callback gets.
    EffectModule(const std::string& module_path, EffectInstance& instance, HostSettings& settings,
                 ParamStore& params, SuiteTable& suites, FaultInjector& faults);
    ~EffectModule();   // unloads the module
    EffectModule(const EffectModule&) = delete;
    EffectModule& operator=(const EffectModule&) = delete;

    HostSettings& settings() { return settings_; }
    PF_ProgPtr effect_ref() const;

    // ---- registration ----
    PF_Err Register();                             // with the host's recording callback
    PF_Err Register(PF_PluginDataCB2 callback);    // with any callback, null included
    const Registration& registration() const { return registration_; }

    // ---- commands ----
    PF_Err GlobalSetup() { return SendCommand(PF_Cmd_GLOBAL_SETUP); }
    // The parameters registered before are forgotten first.
    PF_Err ParamsSetup() { return SendCommand(PF_Cmd_PARAMS_SETUP); }
    // Sends a command with a fresh in_data, the instance's out_data and the parameters at current_time.
    // After PF_Cmd_USER_CHANGED_PARAM the values flagged PF_ChangeFlag_CHANGED_VALUE are taken over.
    PF_Err SendCommand(PF_Cmd cmd, void* extra = nullptr, PF_LayerDef* output = nullptr);
    PF_Err SendUserChangedParam(int index);
    PF_Err SendUpdateParamsUI() { return SendCommand(PF_Cmd_UPDATE_PARAMS_UI); }
    // EffectMain with records of the caller's own (any of them null), for edge cases.
    PF_Err CallEffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                          PF_LayerDef* output, void* extra);
    // The in_data the next command gets.
    PF_InData MakeInData();
    // The instance's out_data, handed to every command and kept between them, as the host keeps it.
    PF_OutData& out_data() { return out_data_; }
    // The out flags reported by the last successful PF_Cmd_GLOBAL_SETUP.
    PF_OutFlags global_out_flags() const { return global_out_flags_; }
    // The parameters whose values the last PF_Cmd_USER_CHANGED_PARAM changed, in index order.
    const std::vector<int>& changed_by_plugin() const { return changed_; }

    int CommandCount(PF_Cmd cmd) const;
    void ClearCounts() { command_counts_.clear(); }

private:
    struct Callbacks;

    std::unique_ptr<LoadedModule> module_;
    PF_Err (*effect_main_)(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) = nullptr;
    PF_Err (*entry_)(PF_PluginDataPtr, PF_PluginDataCB2, SPBasicSuite*, const char*, const char*) = nullptr;

    EffectInstance& instance_;
    HostSettings& settings_;
    ParamStore& params_;
    SuiteTable& suites_;
    FaultInjector& faults_;
    Registration registration_;
    PF_OutData out_data_{};
    PF_OutFlags global_out_flags_ = 0;
    std::vector<int> changed_;
    std::map<PF_Cmd, int> command_counts_;
};
