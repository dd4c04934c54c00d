// Parameters as the host keeps them, learnt from what the module registers through add_param: each
// definition as it came (name, type, range, default, choices, flags), its value or keyframes, and what
// PF_UpdateParamUI last showed. Index 0 is the host's own: the layer the effect is applied to.
//
// Values are kept in the units people use: float sliders as the value, integer sliders, popups (1-based)
// and checkboxes as integers, angles in degrees. Times are in the host's time_scale units. A layer
// parameter's value is the layer it points at (a LayerStore id, or NO_LAYER).
#pragma once

#include "AE_Effect.h"
#include "AE_EffectSuites.h"

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class FaultInjector;
class LayerStore;
class SuiteTable;
struct HostSettings;

struct Keyframe {
    A_long time;       // host time_scale units
    double value;
};

struct CheckoutRecord {
    int index;
    A_long what_time, time_step;
    A_u_long time_scale;
    PF_Err result;
};

struct UiUpdate {
    int index;
    PF_ParamDef def;   // as the plug-in passed it
};

class ParamStore {
public:
    // Offers "PF Param Utils Suite" 3 on `suites`.
    ParamStore(FaultInjector& faults, SuiteTable& suites, const LayerStore& layers, const HostSettings& settings);
    ParamStore(const ParamStore&) = delete;
    ParamStore& operator=(const ParamStore&) = delete;

    // in_data's add_param, checkout_param, checkin_param and register_ui.
    static void SetCallbacks(PF_InteractCallbacks& inter);
    // Forgets every registered parameter but the input, before PF_Cmd_PARAMS_SETUP registers them anew.
    // What layer parameters point at stays.
    void Reset();

    // ---- what the module registered ----
    int Count() const { return static_cast<int>(slots_.size()); }
    // The definition as add_param received it; popup choices and checkbox labels point into the host's
    // own copies (RegisteredText).
    const PF_ParamDef& Registered(int index) const;
    const std::string& RegisteredText(int index) const;
    PF_ParamUIFlags UiFlags(int index) const;      // as last set through PF_UpdateParamUI
    // The parameter registered under `name`, ignoring case: a group answers to its name only when no
    // other parameter has it. -1 when none; IndexOf throws std::invalid_argument instead.
    int Find(std::string_view name) const;
    int IndexOf(std::string_view name) const;
    // A popup's choices, and the 1-based number of `choice` among them (ignoring case; 0 when none).
    std::vector<std::string> Choices(int index) const;
    int ChoiceOf(int index, std::string_view choice) const;
    const std::vector<PF_CustomUIInfo>& registered_ui() const { return registered_ui_; }

    // ---- values ----
    // The value a definition carries, in the host's units.
    static double ValueOf(const PF_ParamDef& def);
    double Get(int index) const;                   // at the current time
    double Get(std::string_view name) const { return Get(IndexOf(name)); }
    double GetAt(int index, A_long time) const;
    // The full definition with its value at `time`, as checkout_param hands it out.
    PF_ParamDef At(int index, A_long time) const { return AtTime(index, time); }
    // A constant value (keyframes dropped).
    void Set(int index, double value);
    void Set(std::string_view name, double value) { Set(IndexOf(name), value); }
    // Animated value: linear between keyframes (popups and checkboxes hold), constant outside them.
    void SetKeyframes(int index, std::vector<Keyframe> keys);
    // The value at the current time, as an edit in the panel sets it: an animated control gets a keyframe.
    void SetAtCurrentTime(int index, double value);

    // ---- layer parameters ----
    void SetLayer(int index, int layer);             // a LayerStore id or NO_LAYER
    void SetInputLayer(int layer) { SetLayer(0, layer); }
    // The layer parameter the module registered (the last one, when several), learnt at registration and
    // kept when a later registration is cut short; throws std::logic_error before any.
    void SetMapLayer(int layer);
    int MapLayerIndex() const { return map_index_; }
    int LayerOf(int index) const;                    // NO_LAYER when it points at none

    // ---- logs ----
    int OutstandingCheckouts() const { return checked_out_; }
    const std::vector<CheckoutRecord>& checkouts() const { return checkouts_; }
    const std::vector<UiUpdate>& ui_updates() const { return ui_updates_; }
    void ClearLogs();

private:
    struct Callbacks;

    // One parameter as the host keeps it.
    struct Slot {
        PF_ParamDef def;           // as registered; string pointers lead into `text`
        std::string text;          // popup choices or checkbox label
        PF_ParamUIFlags ui_flags;  // as currently shown
        double value;              // constant value, when `keys` is empty
        std::vector<Keyframe> keys;
    };

    const Slot& SlotAt(int index) const;
    PF_ParamDef AtTime(int index, double time) const;
    PF_Err AddParam(PF_ParamIndex index, const PF_ParamDef* def);
    PF_Err Checkout(PF_ParamIndex index, A_long what_time, A_long time_step, A_u_long time_scale, PF_ParamDef* def);
    PF_Err Checkin(const PF_ParamDef* def);
    PF_Err RegisterUi(const PF_CustomUIInfo* info);
    PF_Err UpdateParamUI(PF_ParamIndex index, const PF_ParamDef* def);

    FaultInjector& faults_;
    const LayerStore& layers_;
    const HostSettings& settings_;
    PF_ParamUtilsSuite3 utils_suite_{};
    std::deque<Slot> slots_;                 // a deque: slots never move, so pointers into `text` stay valid
    std::map<int, int> layer_params_;        // layer parameter index -> layer id
    int map_index_ = -1;
    int checked_out_ = 0;
    std::vector<CheckoutRecord> checkouts_;
    std::vector<UiUpdate> ui_updates_;
    std::vector<PF_CustomUIInfo> registered_ui_;
};
