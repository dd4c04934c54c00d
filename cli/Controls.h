// Controls as people type them: "Wave Size=300", "Edges=Mirror", "Loop=on", in the units the Effect Controls
// panel shows (percent as the number shown, angles in degrees, popups by choice name or number, checkboxes
// on or off). Names, ranges and choices come from the parameter table; nothing here keeps a copy.
#pragma once

#include "ParamTable.h"

#include <string>
#include <string_view>
#include <vector>

class HostSim;

// One control's value in the host simulator's units (HostSim::SetParam): float sliders the number shown,
// integer sliders, popups (1-based) and checkboxes integers, angles degrees.
struct ControlValue {
    const ParamSpec* control;
    double value;
};

// Whether people set this control by value: not the input, the header, a group or the map layer.
bool IsValueControl(const ParamSpec& row);

// The value control called `name` (its panel name or identifier, any case). Throws CliError naming the
// nearest control when there is none.
const ParamSpec& FindControl(std::string_view name);
// Preset menu: the look called `name`, as its popup value (1 is "Custom"); throws CliError naming the
// nearest look when there is none.
int FindLook(std::string_view name);

// "CONTROL=VALUE"; throws CliError on an unknown control or a value it cannot take.
ControlValue ParseSetting(std::string_view setting);
// A value typed for `control`; throws CliError naming the valid range or the choices.
double ParseControlValue(const ParamSpec& control, std::string_view text);
// A number for `control` (look files): integers where the control holds integers, inside the valid range.
double CheckControlValue(const ParamSpec& control, double value);
// The value as the panel shows it: "440", "50%", "90°", "Mirror", "on".
std::string ShowControlValue(const ParamSpec& control, double value);
// "2 to 20000", "0% to 1000%", "Sine, Liquid, Drip, ..."
std::string ValidValues(const ParamSpec& control);
// "slider", "integer", "angle", "popup", "checkbox".
const char* ControlKind(const ParamSpec& control);

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
std::vector<ControlValue> ReadLookFile(const std::string& path);
// Every value control's current value, by panel name, in panel order; written through a temporary file.
void WriteLookFile(const std::string& path, const HostSim& host);
