// Controls as people type them: "Wave Size=300", "Edges=Mirror", "Loop=on", in the units the Effect Controls
// panel shows (percent as the number shown, angles in degrees, popups by choice name or number, checkboxes
// on or off). Names, kinds, ranges, choices and which controls a look writes are learnt from the module, as
// a host learns them: from what it registers, and from what choosing each look of its Preset menu changes.
#pragma once

#include "AE_Effect.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class HostSim;

// One parameter as the module registered it, in the host simulator's units (ParamStore::Set): float
// sliders the number shown, integer sliders, popups (1-based) and checkboxes integers, angles degrees.
struct Control {
    int index = 0;                          // the parameter's index
    std::string name;                       // as the panel shows it
    PF_ParamType type = PF_Param_NO_DATA;
    double dephault = 0;
    double valid_min = 0, valid_max = 0;    // sliders
    double slider_min = 0, slider_max = 0;  // sliders
    bool percent = false;                   // a float slider shown in percent
    std::vector<std::string> choices;       // popups
    std::string label;                      // checkboxes
    bool look_writes = false;               // choosing a look of the Preset menu writes it
    bool look_menu = false;                 // the Preset menu itself
};

// A look of the Preset menu: a choice that writes controls ("Custom" writes none).
struct Look {
    std::string name;
    int choice;                             // its popup value
};

// The effect's controls, learnt from a started host: every parameter the module registered (the host's
// input aside), then every choice of the popup registered as "Preset" chosen once, as the user chooses it.
// Name lookups go through the host's parameter store.
class ControlCatalogue {
public:
    // Learns from `host`, whose values change; the host must outlive the catalogue.
    explicit ControlCatalogue(HostSim& host);
    // Learns from a host of its own, kept for the catalogue's life.
    explicit ControlCatalogue(std::unique_ptr<HostSim> host);

    const std::vector<Control>& controls() const { return controls_; }   // in panel order
    const std::vector<Look>& looks() const { return looks_; }
    // The value control called `name` (its panel name, any case). Throws CliError naming the nearest
    // control when there is none.
    const Control& Find(std::string_view name) const;
    // Preset menu: the choice called `name`, as its popup value (1 is "Custom"); throws CliError naming the
    // nearest look when there is none.
    int FindLook(std::string_view name) const;

private:
    void Learn();
    std::vector<std::string> ValueControlNames() const;

    std::unique_ptr<HostSim> own_;
    HostSim* host_;
    std::vector<Control> controls_;   // parameter index i at i - 1
    std::vector<Look> looks_;
    const Control* menu_ = nullptr;
};

// One control's value in the host simulator's units.
struct ControlValue {
    const Control* control;
    double value;
};

// Whether people set this control by value: not a layer, the header or a group.
bool IsValueControl(const Control& control);

// "CONTROL=VALUE"; throws CliError on an unknown control or a value it cannot take.
ControlValue ParseSetting(const ControlCatalogue& controls, std::string_view setting);
// A value typed for `control`; throws CliError naming the valid range or the choices.
double ParseControlValue(const Control& control, std::string_view text);
// A number for `control` (look files): integers where the control holds integers, inside the valid range.
double CheckControlValue(const Control& control, double value);
// The value as the panel shows it: "440", "50%", "90°", "Mirror", "on".
std::string ShowControlValue(const Control& control, double value);
// "2 to 20000", "0% to 1000%", "Sine, Liquid, Drip, ..."
std::string ValidValues(const Control& control);
// "slider", "integer", "angle", "popup", "checkbox".
const char* ControlKind(const Control& control);

// The nearest of `candidates` to `typed` by edit distance, ignoring case; empty when there are none.
std::string Nearest(std::string_view typed, const std::vector<std::string>& candidates);

// The values a render uses, applied to a started host in the host's order: the look file's values as a
// saved project restores them, then the typed settings of controls a look never writes (so Scale With Layer
// is in place when a look scales Wave Size), then the Preset menu as the user chooses it
// (PF_Cmd_USER_CHANGED_PARAM), then the typed settings of the controls a look writes, which win over it.
// The host's layer size must already be set: a look scales Wave Size to it.
struct ControlPlan {
    std::vector<ControlValue> look;        // from a look file
    std::vector<ControlValue> settings;    // --set, in the order typed
    int preset = 0;                        // popup value; 0 leaves the menu alone

    void Apply(HostSim& host) const;
    // The steps that follow a choice of look (the look and the settings of the controls it writes), for
    // rendering the same values in another look.
    void ApplyLook(HostSim& host, int preset) const;
};

// Look files: {"effect": "Quaverflux", "controls": {"Wave Size": 440, "Waveform": "Sine", "Loop": false, ...}}.
// Reading throws CliError on malformed JSON, unknown controls (naming the nearest) and invalid values.
std::vector<ControlValue> ReadLookFile(const std::string& path, const ControlCatalogue& controls);
// Every value control's current value, by panel name, in panel order; written through a temporary file.
void WriteLookFile(const std::string& path, const ControlCatalogue& controls, const HostSim& host);
