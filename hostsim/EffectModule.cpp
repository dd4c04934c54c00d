// Loading, registration and command sending.
#include "EffectModule.h"

#include "Faults.h"
#include "HostSettings.h"
#include "Instance.h"
#include "ModuleLoader.h"
#include "ParamStore.h"
#include "Suites.h"

#include <stdexcept>

namespace {

std::string TextOf(const A_u_char* text)
{
    return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

PF_Err Progress(PF_ProgPtr, A_long, A_long)
{
    return PF_Err_NONE;
}

}   // namespace

struct EffectModule::Callbacks {
    // The registration callback, which carries no effect_ref: the module registering runs on this thread.
    static PF_Err Registered(PF_PluginDataPtr data, const A_u_char* name, const A_u_char* match_name,
                             const A_u_char* category, const A_u_char* entry_point, A_long kind, A_long api_major,
                             A_long api_minor, A_long reserved_info, const A_u_char* support_url)
    {
        const EffectInstance* instance = EffectInstance::OnThisThread();
        EffectModule* module = instance ? instance->module : nullptr;
        if (!module) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (module->faults_.Injected(HostCall::Register, err)) {
            return err;
        }
        Registration& r = module->registration_;
        ++r.calls;
        r.data = data;
        r.name = TextOf(name);
        r.match_name = TextOf(match_name);
        r.category = TextOf(category);
        r.entry_point = TextOf(entry_point);
        r.kind = kind;
        r.api_major = api_major;
        r.api_minor = api_minor;
        r.reserved_info = reserved_info;
        r.support_url = TextOf(support_url);
        return PF_Err_NONE;
    }
};

EffectModule::EffectModule(const std::string& module_path, EffectInstance& instance, HostSettings& settings,
                           ParamStore& params, SuiteTable& suites, FaultInjector& faults)
    : instance_(instance), settings_(settings), params_(params), suites_(suites), faults_(faults)
{
    std::string error;
    module_ = LoadedModule::Open(module_path, error);
    if (!module_) {
        throw std::runtime_error("cannot load " + module_path + ": " + error);
    }
    effect_main_ = reinterpret_cast<decltype(effect_main_)>(module_->Find("EffectMain"));
    entry_ = reinterpret_cast<decltype(entry_)>(module_->Find("PluginDataEntryFunction2"));
    if (!effect_main_ || !entry_) {
        throw std::runtime_error(module_path + " lacks EffectMain or PluginDataEntryFunction2");
    }
}

EffectModule::~EffectModule() = default;

PF_ProgPtr EffectModule::effect_ref() const
{
    return instance_.ref();
}

PF_Err EffectModule::Register()
{
    return Register(Callbacks::Registered);
}

PF_Err EffectModule::Register(PF_PluginDataCB2 callback)
{
    const EffectInstance::Active active(&instance_);
    return entry_(reinterpret_cast<PF_PluginDataPtr>(effect_ref()), callback, suites_.basic(), "HostSim", "1.0");
}

PF_InData EffectModule::MakeInData()
{
    PF_InData in{};
    ParamStore::SetCallbacks(in.inter);
    in.inter.abort = FaultInjector::AbortCallback;
    in.inter.progress = Progress;
    in.effect_ref = effect_ref();
    in.version.major = 13;
    in.version.minor = 28;
    in.appl_id = settings_.appl_id;
    in.num_params = params_.Count();
    in.current_time = settings_.current_time;
    in.time_step = settings_.time_step;
    in.local_time_step = settings_.time_step;
    in.total_time = settings_.total_time;
    in.time_scale = settings_.time_scale;
    in.width = settings_.width;
    in.height = settings_.height;
    in.output_origin_x = settings_.output_origin_x;
    in.output_origin_y = settings_.output_origin_y;
    in.downsample_x = settings_.downsample_x;
    in.downsample_y = settings_.downsample_y;
    in.pixel_aspect_ratio = PF_RationalScale{1, 1};
    in.pica_basicP = suites_.basic();
    return in;
}

PF_Err EffectModule::CallEffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                    PF_LayerDef* output, void* extra)
{
    const EffectInstance::Active active(&instance_);
    ++command_counts_[cmd];
    return effect_main_(cmd, in_data, out_data, params, output, extra);
}

PF_Err EffectModule::SendCommand(PF_Cmd cmd, void* extra, PF_LayerDef* output)
{
    if (cmd == PF_Cmd_PARAMS_SETUP) {
        params_.Reset();
    }
    PF_InData in_data = MakeInData();
    std::vector<PF_ParamDef> defs;
    std::vector<PF_ParamDef*> list;
    defs.reserve(params_.Count());
    for (int i = 0; i < params_.Count(); ++i) {
        defs.push_back(params_.At(i, settings_.current_time));
        list.push_back(&defs.back());
    }
    const PF_Err err = CallEffectMain(cmd, &in_data, &out_data_, list.data(), output, extra);

    if (cmd == PF_Cmd_GLOBAL_SETUP && err == PF_Err_NONE) {
        global_out_flags_ = out_data_.out_flags;
    }
    if (cmd == PF_Cmd_USER_CHANGED_PARAM) {
        // The host takes over what the plug-in flagged, then forgets the flags.
        changed_.clear();
        for (int i = 0; i < static_cast<int>(list.size()); ++i) {
            if (list[i]->uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) {
                params_.SetAtCurrentTime(i, ParamStore::ValueOf(*list[i]));
                changed_.push_back(i);
            }
        }
    }
    return err;
}

PF_Err EffectModule::SendUserChangedParam(int index)
{
    PF_UserChangedParamExtra extra{};
    extra.param_index = index;
    return SendCommand(PF_Cmd_USER_CHANGED_PARAM, &extra);
}

int EffectModule::CommandCount(PF_Cmd cmd) const
{
    const auto found = command_counts_.find(cmd);
    return found == command_counts_.end() ? 0 : found->second;
}
