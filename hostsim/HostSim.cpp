// The simulated host: callbacks, suites, parameter storage and command sending.
#include "HostSim.h"

#include "Drawbot.h"
#include "GpuHost.h"
#include "ModuleLoader.h"
#include "ParamTable.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace {

// The basic suite's "suite not found" code ('S!Fd').
constexpr SPErr SUITE_NOT_FOUND = 0x53214664;

// The host whose command is running on this thread: the basic suite's functions carry no context.
thread_local HostSim* t_active_host = nullptr;

class ActiveHost {
public:
    explicit ActiveHost(HostSim* host) : previous_(t_active_host) { t_active_host = host; }
    ~ActiveHost() { t_active_host = previous_; }
    ActiveHost(const ActiveHost&) = delete;
    ActiveHost& operator=(const ActiveHost&) = delete;

private:
    HostSim* previous_;
};

A_long ToInt32(double value)
{
    if (!(value == value)) {
        return 0;
    }
    const double clamped = std::clamp(value, static_cast<double>(std::numeric_limits<A_long>::min()),
                                      static_cast<double>(std::numeric_limits<A_long>::max()));
    return static_cast<A_long>(std::lround(clamped));
}

// The value of a definition in the host's units (angles in degrees).
double ValueOf(const PF_ParamDef& def)
{
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER:
        return def.u.fs_d.value;
    case PF_Param_SLIDER:
        return def.u.sd.value;
    case PF_Param_POPUP:
        return def.u.pd.value;
    case PF_Param_CHECKBOX:
        return def.u.bd.value;
    case PF_Param_ANGLE:
        return def.u.ad.value / 65536.0;
    default:
        return 0.0;
    }
}

void StoreValue(PF_ParamDef& def, double value)
{
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER:
        def.u.fs_d.value = value;
        break;
    case PF_Param_SLIDER:
        def.u.sd.value = ToInt32(value);
        break;
    case PF_Param_POPUP:
        def.u.pd.value = ToInt32(value);
        break;
    case PF_Param_CHECKBOX:
        def.u.bd.value = value != 0.0 ? 1 : 0;
        break;
    case PF_Param_ANGLE:
        def.u.ad.value = ToInt32(value * 65536.0);
        break;
    default:
        break;
    }
}

// Popups and checkboxes jump from keyframe to keyframe; everything else moves linearly.
bool Holds(const PF_ParamDef& def)
{
    return def.param_type == PF_Param_POPUP || def.param_type == PF_Param_CHECKBOX;
}

std::string TextOf(const A_u_char* text)
{
    return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

}   // namespace

// ---- the host's callbacks and suite functions ----

struct HostSim::Callbacks {
    static HostSim* From(PF_ProgPtr effect_ref) { return reinterpret_cast<HostSim*>(effect_ref); }

    static PF_Err Registered(PF_PluginDataPtr data, const A_u_char* name, const A_u_char* match_name,
                             const A_u_char* category, const A_u_char* entry_point, A_long kind, A_long api_major,
                             A_long api_minor, A_long reserved_info, const A_u_char* support_url)
    {
        HostSim* host = t_active_host;
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::Register, err)) {
            return err;
        }
        Registration& r = host->registration_;
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

    static PF_Err AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::AddParam, err, host->ParamCount())) {
            return err;
        }
        if (!def) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (index != -1 && index != host->ParamCount()) {
            return PF_Err_INVALID_INDEX;
        }
        // The host keeps its own copy of the texts the definition points at.
        Slot& slot = host->params_.emplace_back(Slot{*def, {}, def->ui_flags, ValueOf(*def), {}});
        if (def->param_type == PF_Param_POPUP && def->u.pd.u.namesptr) {
            slot.text = def->u.pd.u.namesptr;
            slot.def.u.pd.u.namesptr = slot.text.c_str();
        } else if (def->param_type == PF_Param_CHECKBOX && def->u.bd.u.nameptr) {
            slot.text = def->u.bd.u.nameptr;
            slot.def.u.bd.u.nameptr = slot.text.c_str();
        }
        return PF_Err_NONE;
    }

    static PF_Err CheckoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                                A_u_long time_scale, PF_ParamDef* def)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (!host->Injected(HostCall::CheckoutParam, err, index)) {
            if (!def || index < 0 || index >= host->ParamCount()) {
                err = PF_Err_BAD_CALLBACK_PARAM;
            } else {
                // The caller's time in the host's time scale.
                const double host_scale = host->settings_.time_scale;
                const double time = time_scale ? what_time * host_scale / time_scale : what_time;
                *def = host->ParamAtTime(index, time);
                ++host->checked_out_;
            }
        }
        host->checkouts_.push_back(CheckoutRecord{index, what_time, time_step, time_scale, err});
        return err;
    }

    static PF_Err CheckinParam(PF_ProgPtr effect_ref, PF_ParamDef* def)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::CheckinParam, err)) {
            return err;
        }
        if (!def) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        --host->checked_out_;
        return PF_Err_NONE;
    }

    static PF_Err Abort(PF_ProgPtr effect_ref)
    {
        HostSim* host = From(effect_ref);
        PF_Err err = PF_Err_NONE;
        if (host && host->Injected(HostCall::Abort, err)) {
            return err;
        }
        return host && host->abort_when_ && host->abort_when_() ? PF_Interrupt_CANCEL : PF_Err_NONE;
    }

    static PF_Err Progress(PF_ProgPtr, A_long, A_long) { return PF_Err_NONE; }

    static PF_Err RegisterUi(PF_ProgPtr effect_ref, PF_CustomUIInfo* info)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::RegisterUi, err)) {
            return err;
        }
        if (!info) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        host->registered_ui_.push_back(*info);
        return PF_Err_NONE;
    }

    static SPErr AcquireSuite(const char* name, A_long version, const void** suite)
    {
        HostSim* host = t_active_host;
        if (!host || !name || !suite) {
            return SUITE_NOT_FOUND;
        }
        PF_Err err = PF_Err_NONE;
        bool null_suite = false;
        const auto key = std::make_pair(std::string(name), static_cast<int>(version));
        if (host->Injected(HostCall::AcquireSuite, err, -1, name, &null_suite)) {
            if (!null_suite) {
                return err;
            }
            *suite = nullptr;
            ++host->suite_counts_[key].first;
            return PF_Err_NONE;
        }
        const auto found = host->suites_.find(key);
        if (found == host->suites_.end()) {
            return SUITE_NOT_FOUND;
        }
        *suite = found->second;
        ++host->suite_counts_[key].first;
        return PF_Err_NONE;
    }

    // Counted even when an injected error is returned: the plug-in has let go of the suite either way.
    // Never inject a throw here: releases run in destructors.
    static SPErr ReleaseSuite(const char* name, A_long version)
    {
        HostSim* host = t_active_host;
        if (!host || !name) {
            return SUITE_NOT_FOUND;
        }
        ++host->suite_counts_[std::make_pair(std::string(name), static_cast<int>(version))].second;
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::ReleaseSuite, err, -1, name)) {
            return err;
        }
        return PF_Err_NONE;
    }

    static SPBoolean IsEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

    static SPErr AllocateBlock(size_t size, void** block)
    {
        if (!block) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        *block = std::malloc(size ? size : 1);
        return *block ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
    }

    static SPErr FreeBlock(void* block)
    {
        std::free(block);
        return PF_Err_NONE;
    }

    static SPErr ReallocateBlock(void* block, size_t size, void** new_block)
    {
        if (!new_block) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        void* moved = std::realloc(block, size ? size : 1);
        if (!moved) {
            return PF_Err_OUT_OF_MEMORY;
        }
        *new_block = moved;
        return PF_Err_NONE;
    }

    static SPErr Undefined() { return SUITE_NOT_FOUND; }

    static PF_Err UpdateParamUI(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def)
    {
        HostSim* host = From(effect_ref);
        if (!host) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_Err err = PF_Err_NONE;
        if (host->Injected(HostCall::UpdateParamUI, err, index)) {
            return err;
        }
        if (!def || index < 0 || index >= host->ParamCount()) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        host->ui_updates_.push_back(UiUpdate{index, *def});
        host->params_[index].ui_flags = def->ui_flags;
        return PF_Err_NONE;
    }
};

// ---- construction ----

HostSim::HostSim(const std::string& module_path)
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

    basic_suite_.AcquireSuite = Callbacks::AcquireSuite;
    basic_suite_.ReleaseSuite = Callbacks::ReleaseSuite;
    basic_suite_.IsEqual = Callbacks::IsEqual;
    basic_suite_.AllocateBlock = Callbacks::AllocateBlock;
    basic_suite_.FreeBlock = Callbacks::FreeBlock;
    basic_suite_.ReallocateBlock = Callbacks::ReallocateBlock;
    basic_suite_.Undefined = Callbacks::Undefined;
    ProvideSuite(kSPBasicSuite, kSPBasicSuiteVersion, &basic_suite_);

    param_utils_suite_.PF_UpdateParamUI = Callbacks::UpdateParamUI;
    ProvideSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, &param_utils_suite_);
    ProvideSuite(kPFWorldSuite, kPFWorldSuiteVersion2, WorldSuite());
    StartGpuHost();
    drawing_ = std::make_unique<DrawingHost>(*this);   // offers the custom-UI and drawing suites

    ResetParams();
}

HostSim::~HostSim()
{
    StopGpuHost();   // a host retires its GPU devices while the plug-in is still loaded
}

HostSim* HostSim::OnThisThread()
{
    return t_active_host;
}

// ---- start-up and commands ----

PF_Err HostSim::Start()
{
    if (const PF_Err err = Register()) {
        return err;
    }
    if (const PF_Err err = GlobalSetup()) {
        return err;
    }
    return ParamsSetup();
}

PF_Err HostSim::Register()
{
    return Register(Callbacks::Registered);
}

PF_Err HostSim::Register(PF_PluginDataCB2 callback)
{
    const ActiveHost active(this);
    return entry_(reinterpret_cast<PF_PluginDataPtr>(this), callback, &basic_suite_, "HostSim", "1.0");
}

PF_InData HostSim::MakeInData()
{
    PF_InData in{};
    in.inter.checkout_param = Callbacks::CheckoutParam;
    in.inter.checkin_param = Callbacks::CheckinParam;
    in.inter.add_param = Callbacks::AddParam;
    in.inter.abort = Callbacks::Abort;
    in.inter.progress = Callbacks::Progress;
    in.inter.register_ui = Callbacks::RegisterUi;
    in.effect_ref = reinterpret_cast<PF_ProgPtr>(this);
    in.version.major = 13;
    in.version.minor = 28;
    in.appl_id = settings_.appl_id;
    in.num_params = ParamCount();
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
    in.pica_basicP = &basic_suite_;
    return in;
}

PF_Err HostSim::CallEffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                               PF_LayerDef* output, void* extra)
{
    const ActiveHost active(this);
    ++command_counts_[cmd];
    return effect_main_(cmd, in_data, out_data, params, output, extra);
}

PF_Err HostSim::SendCommand(PF_Cmd cmd, void* extra, PF_LayerDef* output)
{
    if (cmd == PF_Cmd_PARAMS_SETUP) {
        ResetParams();
    }
    PF_InData in_data = MakeInData();
    std::vector<PF_ParamDef> defs;
    std::vector<PF_ParamDef*> list;
    defs.reserve(params_.size());
    for (int i = 0; i < ParamCount(); ++i) {
        defs.push_back(ParamAtTime(i, settings_.current_time));
        list.push_back(&defs.back());
    }
    const PF_Err err = CallEffectMain(cmd, &in_data, &out_data_, list.data(), output, extra);

    if (cmd == PF_Cmd_GLOBAL_SETUP && err == PF_Err_NONE) {
        global_out_flags_ = out_data_.out_flags;
    }
    if (cmd == PF_Cmd_USER_CHANGED_PARAM) {
        // The host takes over what the plug-in flagged, then forgets the flags.
        for (int i = 0; i < static_cast<int>(list.size()); ++i) {
            if (list[i]->uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) {
                SetValueAtCurrentTime(i, ValueOf(*list[i]));
            }
        }
    }
    return err;
}

PF_Err HostSim::SendUserChangedParam(int index)
{
    PF_UserChangedParamExtra extra{};
    extra.param_index = index;
    return SendCommand(PF_Cmd_USER_CHANGED_PARAM, &extra);
}

// ---- parameters ----

void HostSim::ResetParams()
{
    // The host's own first parameter: the layer the effect is applied to.
    params_.clear();
    Slot input{};
    input.def.param_type = PF_Param_LAYER;
    params_.push_back(input);
}

const HostSim::Slot& HostSim::SlotAt(int index) const
{
    if (index < 0 || index >= ParamCount()) {
        throw std::out_of_range("no parameter " + std::to_string(index));
    }
    return params_[index];
}

const PF_ParamDef& HostSim::RegisteredParam(int index) const
{
    return SlotAt(index).def;
}

const std::string& HostSim::RegisteredText(int index) const
{
    return SlotAt(index).text;
}

PF_ParamUIFlags HostSim::UiFlags(int index) const
{
    return SlotAt(index).ui_flags;
}

int HostSim::ParamIndexOf(std::string_view name)
{
    const ParamSpec* row = FindParam(name);
    if (!row) {
        throw std::invalid_argument("no control named \"" + std::string(name) + "\"");
    }
    return row->index;
}

PF_ParamDef HostSim::ParamAtTime(int index, double time) const
{
    const Slot& slot = SlotAt(index);
    PF_ParamDef def = slot.def;
    def.uu.change_flags = 0;   // the id field only means the disk id at set-up
    def.ui_flags = slot.ui_flags;

    double value = slot.value;
    const std::vector<Keyframe>& keys = slot.keys;
    if (!keys.empty()) {
        if (time <= keys.front().time) {
            value = keys.front().value;
        } else if (time >= keys.back().time) {
            value = keys.back().value;
        } else {
            const auto next = std::upper_bound(keys.begin(), keys.end(), time,
                                               [](double t, const Keyframe& key) { return t < key.time; });
            const Keyframe& a = *(next - 1);
            const Keyframe& b = *next;
            value = Holds(def) ? a.value : a.value + (b.value - a.value) * ((time - a.time) / (static_cast<double>(b.time) - a.time));
        }
    }
    StoreValue(def, value);
    if (def.param_type == PF_Param_LAYER) {
        FillLayerParam(index, def);
    }
    return def;
}

PF_ParamDef HostSim::ParamAt(int index, A_long time) const
{
    return ParamAtTime(index, time);
}

double HostSim::GetParamAt(int index, A_long time) const
{
    return ValueOf(ParamAt(index, time));
}

void HostSim::SetParam(int index, double value)
{
    SlotAt(index);
    params_[index].keys.clear();
    params_[index].value = value;
}

void HostSim::SetKeyframes(int index, std::vector<Keyframe> keys)
{
    SlotAt(index);
    std::stable_sort(keys.begin(), keys.end(), [](const Keyframe& a, const Keyframe& b) { return a.time < b.time; });
    params_[index].keys = std::move(keys);
}

void HostSim::SetValueAtCurrentTime(int index, double value)
{
    Slot& slot = params_[index];
    if (slot.keys.empty()) {
        slot.value = value;
        return;
    }
    // An animated control gets a keyframe at the current time.
    const A_long now = settings_.current_time;
    const auto at = std::lower_bound(slot.keys.begin(), slot.keys.end(), now,
                                     [](const Keyframe& key, A_long t) { return key.time < t; });
    if (at != slot.keys.end() && at->time == now) {
        at->value = value;
    } else {
        slot.keys.insert(at, Keyframe{now, value});
    }
}

PF_Err HostSim::ChangeParam(int index, double value)
{
    SlotAt(index);
    SetValueAtCurrentTime(index, value);
    PF_Err err = PF_Err_NONE;
    if (params_[index].def.flags & PF_ParamFlag_SUPERVISE) {
        err = SendUserChangedParam(index);
    }
    if (global_out_flags_ & PF_OutFlag_SEND_UPDATE_PARAMS_UI) {
        const PF_Err ui_err = SendUpdateParamsUI();
        err = err ? err : ui_err;
    }
    return err;
}

PF_Err HostSim::ChoosePreset(std::string_view look)
{
    const int choice = FindChoice(RegisteredText(PRESET_INDEX).c_str(), look);
    if (choice == 0) {
        throw std::invalid_argument("no preset \"" + std::string(look) + "\"");
    }
    return ChoosePreset(choice);
}

// ---- failure injection, suites, counters ----

void HostSim::Inject(const Injection& injection)
{
    injections_.push_back(Armed{injection});
}

void HostSim::AbortAfter(int calls)
{
    Injection abort;
    abort.call = HostCall::Abort;
    abort.error = PF_Interrupt_CANCEL;
    abort.skip = calls;
    abort.times = -1;
    Inject(abort);
}

bool HostSim::Injected(HostCall call, PF_Err& error, int param_index, std::string_view suite, bool* null_suite)
{
    ++call_counts_[static_cast<int>(call)];
    for (Armed& armed : injections_) {
        const Injection& injection = armed.injection;
        if (injection.call != call || (injection.param_index >= 0 && injection.param_index != param_index) ||
            (!injection.suite.empty() && injection.suite != suite)) {
            continue;
        }
        if (armed.seen < injection.skip) {
            ++armed.seen;
            continue;
        }
        if (injection.times >= 0 && armed.fired >= injection.times) {
            continue;
        }
        ++armed.fired;
        if (injection.throws == InjectedThrow::BadAlloc) {
            throw std::bad_alloc();
        }
        if (injection.throws == InjectedThrow::RuntimeError) {
            throw std::runtime_error("injected host failure");
        }
        error = injection.error;
        if (null_suite) {
            *null_suite = injection.null_suite;
        }
        return true;
    }
    return false;
}

void HostSim::ProvideSuite(const std::string& name, int version, const void* table)
{
    suites_[std::make_pair(name, version)] = table;
}

void HostSim::WithdrawSuite(const std::string& name, int version)
{
    suites_.erase(std::make_pair(name, version));
}

int HostSim::CommandCount(PF_Cmd cmd) const
{
    const auto found = command_counts_.find(cmd);
    return found == command_counts_.end() ? 0 : found->second;
}

int HostSim::SuiteAcquired(std::string_view name, int version) const
{
    const auto found = suite_counts_.find(std::make_pair(std::string(name), version));
    return found == suite_counts_.end() ? 0 : found->second.first;
}

int HostSim::SuiteReleased(std::string_view name, int version) const
{
    const auto found = suite_counts_.find(std::make_pair(std::string(name), version));
    return found == suite_counts_.end() ? 0 : found->second.second;
}

int HostSim::OutstandingSuites() const
{
    int outstanding = 0;
    for (const auto& [key, counts] : suite_counts_) {
        outstanding += counts.first - counts.second;
    }
    return outstanding;
}

void HostSim::ClearLogs()
{
    call_counts_.fill(0);
    command_counts_.clear();
    suite_counts_.clear();
    checked_out_ = 0;
    checkouts_.clear();
    ui_updates_.clear();
    registered_ui_.clear();
}
