// The host's parameters: registration, values and keyframes, checkouts and UI updates.
#include "ParamStore.h"

#include "Faults.h"
#include "HostSettings.h"
#include "Instance.h"
#include "Layers.h"
#include "Suites.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

A_long ToInt32(double value)
{
    if (!(value == value)) {
        return 0;
    }
    const double clamped = std::clamp(value, static_cast<double>(std::numeric_limits<A_long>::min()),
                                      static_cast<double>(std::numeric_limits<A_long>::max()));
    return static_cast<A_long>(std::lround(clamped));
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

// The registered name, which need not end inside its field.
std::string_view NameOf(const PF_ParamDef& def)
{
    const char* end = std::find(def.name, def.name + sizeof def.name, '\0');
    return std::string_view(def.name, static_cast<std::size_t>(end - def.name));
}

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

}   // namespace

double ParamStore::ValueOf(const PF_ParamDef& def)
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

// ---- the interaction callbacks and "PF Param Utils Suite" 3 ----

struct ParamStore::Callbacks {
    static ParamStore* From(PF_ProgPtr effect_ref)
    {
        const EffectInstance* instance = EffectInstance::From(effect_ref);
        return instance ? instance->params : nullptr;
    }

    static PF_Err AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def)
    {
        ParamStore* params = From(effect_ref);
        return params ? params->AddParam(index, def) : PF_Err_BAD_CALLBACK_PARAM;
    }

    static PF_Err CheckoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                                A_u_long time_scale, PF_ParamDef* def)
    {
        ParamStore* params = From(effect_ref);
        return params ? params->Checkout(index, what_time, time_step, time_scale, def) : PF_Err_BAD_CALLBACK_PARAM;
    }

    static PF_Err CheckinParam(PF_ProgPtr effect_ref, PF_ParamDef* def)
    {
        ParamStore* params = From(effect_ref);
        return params ? params->Checkin(def) : PF_Err_BAD_CALLBACK_PARAM;
    }

    static PF_Err RegisterUi(PF_ProgPtr effect_ref, PF_CustomUIInfo* info)
    {
        ParamStore* params = From(effect_ref);
        return params ? params->RegisterUi(info) : PF_Err_BAD_CALLBACK_PARAM;
    }

    static PF_Err UpdateParamUI(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def)
    {
        ParamStore* params = From(effect_ref);
        return params ? params->UpdateParamUI(index, def) : PF_Err_BAD_CALLBACK_PARAM;
    }
};

ParamStore::ParamStore(FaultInjector& faults, SuiteTable& suites, const LayerStore& layers,
                       const HostSettings& settings)
    : faults_(faults), layers_(layers), settings_(settings)
{
    utils_suite_.PF_UpdateParamUI = Callbacks::UpdateParamUI;
    suites.Provide(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, &utils_suite_);
    Reset();
}

void ParamStore::SetCallbacks(PF_InteractCallbacks& inter)
{
    inter.add_param = Callbacks::AddParam;
    inter.checkout_param = Callbacks::CheckoutParam;
    inter.checkin_param = Callbacks::CheckinParam;
    inter.register_ui = Callbacks::RegisterUi;
}

void ParamStore::Reset()
{
    // The host's own first parameter: the layer the effect is applied to.
    slots_.clear();
    Slot input{};
    input.def.param_type = PF_Param_LAYER;
    slots_.push_back(input);
}

PF_Err ParamStore::AddParam(PF_ParamIndex index, const PF_ParamDef* def)
{
    PF_Err err = PF_Err_NONE;
    if (faults_.Injected(HostCall::AddParam, err, Count())) {
        return err;
    }
    if (!def) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (index != -1 && index != Count()) {
        return PF_Err_INVALID_INDEX;
    }
    // The host keeps its own copy of the texts the definition points at.
    Slot& slot = slots_.emplace_back(Slot{*def, {}, def->ui_flags, ValueOf(*def), {}});
    if (def->param_type == PF_Param_POPUP && def->u.pd.u.namesptr) {
        slot.text = def->u.pd.u.namesptr;
        slot.def.u.pd.u.namesptr = slot.text.c_str();
    } else if (def->param_type == PF_Param_CHECKBOX && def->u.bd.u.nameptr) {
        slot.text = def->u.bd.u.nameptr;
        slot.def.u.bd.u.nameptr = slot.text.c_str();
    } else if (def->param_type == PF_Param_LAYER) {
        map_index_ = Count() - 1;
    }
    return PF_Err_NONE;
}

PF_Err ParamStore::Checkout(PF_ParamIndex index, A_long what_time, A_long time_step, A_u_long time_scale,
                            PF_ParamDef* def)
{
    PF_Err err = PF_Err_NONE;
    if (!faults_.Injected(HostCall::CheckoutParam, err, index)) {
        if (!def || index < 0 || index >= Count()) {
            err = PF_Err_BAD_CALLBACK_PARAM;
        } else {
            // The caller's time in the host's time scale.
            const double host_scale = settings_.time_scale;
            const double time = time_scale ? what_time * host_scale / time_scale : what_time;
            *def = AtTime(index, time);
            ++checked_out_;
        }
    }
    checkouts_.push_back(CheckoutRecord{index, what_time, time_step, time_scale, err});
    return err;
}

PF_Err ParamStore::Checkin(const PF_ParamDef* def)
{
    PF_Err err = PF_Err_NONE;
    if (faults_.Injected(HostCall::CheckinParam, err)) {
        return err;
    }
    if (!def) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    --checked_out_;
    return PF_Err_NONE;
}

PF_Err ParamStore::RegisterUi(const PF_CustomUIInfo* info)
{
    PF_Err err = PF_Err_NONE;
    if (faults_.Injected(HostCall::RegisterUi, err)) {
        return err;
    }
    if (!info) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    registered_ui_.push_back(*info);
    return PF_Err_NONE;
}

PF_Err ParamStore::UpdateParamUI(PF_ParamIndex index, const PF_ParamDef* def)
{
    PF_Err err = PF_Err_NONE;
    if (faults_.Injected(HostCall::UpdateParamUI, err, index)) {
        return err;
    }
    if (!def || index < 0 || index >= Count()) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    ui_updates_.push_back(UiUpdate{index, *def});
    slots_[index].ui_flags = def->ui_flags;
    return PF_Err_NONE;
}

// ---- what the module registered ----

const ParamStore::Slot& ParamStore::SlotAt(int index) const
{
    if (index < 0 || index >= Count()) {
        throw std::out_of_range("no parameter " + std::to_string(index));
    }
    return slots_[index];
}

const PF_ParamDef& ParamStore::Registered(int index) const
{
    return SlotAt(index).def;
}

const std::string& ParamStore::RegisteredText(int index) const
{
    return SlotAt(index).text;
}

PF_ParamUIFlags ParamStore::UiFlags(int index) const
{
    return SlotAt(index).ui_flags;
}

int ParamStore::Find(std::string_view name) const
{
    if (name.empty()) {
        return -1;
    }
    int group = -1;
    for (int i = 0; i < Count(); ++i) {
        const PF_ParamDef& def = slots_[i].def;
        if (!SameIgnoringCase(NameOf(def), name)) {
            continue;
        }
        if (def.param_type != PF_Param_GROUP_START) {
            return i;
        }
        group = group < 0 ? i : group;
    }
    return group;
}

int ParamStore::IndexOf(std::string_view name) const
{
    const int index = Find(name);
    if (index < 0) {
        throw std::invalid_argument("no control named \"" + std::string(name) + "\"");
    }
    return index;
}

std::vector<std::string> ParamStore::Choices(int index) const
{
    std::vector<std::string> choices;
    if (Registered(index).param_type != PF_Param_POPUP) {
        return choices;
    }
    std::string_view rest = RegisteredText(index);
    while (true) {
        const std::size_t bar = rest.find('|');
        choices.emplace_back(rest.substr(0, bar));
        if (bar == std::string_view::npos) {
            return choices;
        }
        rest.remove_prefix(bar + 1);
    }
}

int ParamStore::ChoiceOf(int index, std::string_view choice) const
{
    const std::vector<std::string> choices = Choices(index);
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (SameIgnoringCase(choices[i], choice)) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

// ---- values ----

PF_ParamDef ParamStore::AtTime(int index, double time) const
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
        const int layer = LayerOf(index);
        def.u.ld = layer == NO_LAYER ? PF_LayerDef{} : layers_.At(layer).World();
    }
    return def;
}

double ParamStore::Get(int index) const
{
    return GetAt(index, settings_.current_time);
}

double ParamStore::GetAt(int index, A_long time) const
{
    return ValueOf(At(index, time));
}

void ParamStore::Set(int index, double value)
{
    SlotAt(index);
    slots_[index].keys.clear();
    slots_[index].value = value;
}

void ParamStore::SetKeyframes(int index, std::vector<Keyframe> keys)
{
    SlotAt(index);
    std::stable_sort(keys.begin(), keys.end(), [](const Keyframe& a, const Keyframe& b) { return a.time < b.time; });
    slots_[index].keys = std::move(keys);
}

void ParamStore::SetAtCurrentTime(int index, double value)
{
    SlotAt(index);
    Slot& slot = slots_[index];
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

// ---- layer parameters ----

void ParamStore::SetLayer(int index, int layer)
{
    if (layer != NO_LAYER) {
        layers_.At(layer);
    }
    layer_params_[index] = layer;
}

void ParamStore::SetMapLayer(int layer)
{
    if (map_index_ < 0) {
        throw std::logic_error("the effect registered no layer parameter");
    }
    SetLayer(map_index_, layer);
}

int ParamStore::LayerOf(int index) const
{
    const auto found = layer_params_.find(index);
    return found == layer_params_.end() ? NO_LAYER : found->second;
}

// ---- logs ----

void ParamStore::ClearLogs()
{
    checked_out_ = 0;
    checkouts_.clear();
    ui_updates_.clear();
    registered_ui_.clear();
}
