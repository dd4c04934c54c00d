// The simulated host: its parts built and linked, start-up, and a user's edits.
#include "HostSim.h"

#include <stdexcept>

namespace {

// The control the look menu is registered as.
constexpr std::string_view PRESET_CONTROL = "Preset";

}   // namespace

HostSim::HostSim(const std::string& module_path)
    : suites_(faults_),
      params_(faults_, suites_, layers_, settings_),
      module_(module_path, instance_, settings_, params_, suites_, faults_),
      gpu_(module_, faults_, suites_),
      render_(module_, params_, layers_, gpu_, faults_, suites_),
      drawing_(module_, suites_, faults_)
{
    instance_.module = &module_;
    instance_.faults = &faults_;
    instance_.suites = &suites_;
    instance_.params = &params_;
    instance_.render = &render_;
    instance_.gpu = &gpu_;
    instance_.drawing = &drawing_;
}

PF_Err HostSim::Start()
{
    if (const PF_Err err = module_.Register()) {
        return err;
    }
    if (const PF_Err err = module_.GlobalSetup()) {
        return err;
    }
    return module_.ParamsSetup();
}

PF_Err HostSim::ChangeParam(int index, double value)
{
    params_.SetAtCurrentTime(index, value);
    PF_Err err = PF_Err_NONE;
    if (params_.Registered(index).flags & PF_ParamFlag_SUPERVISE) {
        err = module_.SendUserChangedParam(index);
    }
    if (module_.global_out_flags() & PF_OutFlag_SEND_UPDATE_PARAMS_UI) {
        const PF_Err ui_err = module_.SendUpdateParamsUI();
        err = err ? err : ui_err;
    }
    return err;
}

PF_Err HostSim::ChoosePreset(int popup_value)
{
    return ChangeParam(params_.IndexOf(PRESET_CONTROL), popup_value);
}

PF_Err HostSim::ChoosePreset(std::string_view look)
{
    const int menu = params_.IndexOf(PRESET_CONTROL);
    const int choice = params_.ChoiceOf(menu, look);
    if (choice == 0) {
        throw std::invalid_argument("no preset \"" + std::string(look) + "\"");
    }
    return ChangeParam(menu, choice);
}

void HostSim::ClearLogs()
{
    faults_.ClearCounts();
    suites_.ClearCounts();
    params_.ClearLogs();
    module_.ClearCounts();
}
