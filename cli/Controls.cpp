// Typed control values, the Preset menu and look files.
#include "Controls.h"

#include "CliError.h"
#include "HostSim.h"
#include "Paths.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <system_error>

namespace {

using nlohmann::json;

// Angles are 16.16 fixed-point degrees in the host: whole turns beyond this do not fit.
constexpr double ANGLE_LIMIT = 32767.0;
constexpr const char* LOOK_EFFECT = "Quaverflux";

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// The whole text as a finite number; false when anything is left over.
bool ParseNumber(std::string_view text, double& value)
{
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value) && !text.empty();
}

// Shortest text that reads back as the same double.
std::string NumberText(double value)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed);
    return error == std::errc() ? std::string(buffer, end) : std::to_string(value);
}

// A float as the decimal it was written as: the shortest text that reads back as the same float, read
// as a double (the host keeps slider ranges and defaults in single precision: 0.1 stays 0.1).
double Decimal(float value)
{
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof(buffer), value);
    double decimal = value;
    std::from_chars(buffer, written.ptr, decimal);
    return decimal;
}

bool IsPercent(const Control& control)
{
    return control.type == PF_Param_FLOAT_SLIDER && control.percent;
}

// The 1-based number of `choice` among the popup's choices, ignoring case; 0 when none.
int ChoiceNumber(const Control& control, std::string_view choice)
{
    for (std::size_t i = 0; i < control.choices.size(); ++i) {
        if (Lower(control.choices[i]) == Lower(choice)) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

std::string Unit(const Control& control)
{
    return IsPercent(control) ? "%" : "";
}

[[noreturn]] void OutsideRange(const Control& control, double value)
{
    throw CliError(control.name + " = " + NumberText(value) + Unit(control) +
                   " is outside its valid range, " + ValidValues(control));
}

// Levenshtein distance, ignoring case.
std::size_t EditDistance(std::string_view a, std::string_view b)
{
    const std::string x = Lower(a);
    const std::string y = Lower(b);
    std::vector<std::size_t> row(y.size() + 1);
    for (std::size_t j = 0; j <= y.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= x.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

std::string DidYouMean(std::string_view typed, const std::vector<std::string>& candidates)
{
    const std::string nearest = Nearest(typed, candidates);
    return nearest.empty() ? std::string() : "; did you mean " + Quoted(nearest) + "?";
}

}   // namespace

bool IsValueControl(const Control& control)
{
    switch (control.type) {
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER:
    case PF_Param_ANGLE:
    case PF_Param_POPUP:
    case PF_Param_CHECKBOX:
        return true;
    default:
        return false;
    }
}

std::string Nearest(std::string_view typed, const std::vector<std::string>& candidates)
{
    // People type the start of a name ("wrap", "saw", "heat"): the distance to the name's start, or to the
    // start of any word in it, cut to the typed length counts as much as the distance to the whole name;
    // ties go to the nearer whole name.
    std::string best;
    std::pair<std::size_t, std::size_t> best_distance{std::numeric_limits<std::size_t>::max(), 0};
    for (const std::string& candidate : candidates) {
        const std::size_t whole = EditDistance(typed, candidate);
        std::size_t start = whole;
        for (std::size_t at = 0; at < candidate.size(); ++at) {
            if (at == 0 || candidate[at - 1] == ' ') {
                start = std::min(start, EditDistance(typed, std::string_view(candidate).substr(at, typed.size())));
            }
        }
        const std::pair<std::size_t, std::size_t> distance{start, whole};
        if (distance < best_distance) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}

// ---- the catalogue ----

namespace {

// The popup the looks are chosen from, by the name the module registers it under.
constexpr std::string_view LOOK_MENU = "Preset";

// One registered parameter as people see it.
Control Learnt(const ParamStore& params, int index)
{
    const PF_ParamDef& def = params.Registered(index);
    Control control;
    control.index = index;
    control.name = std::string(def.name, std::find(def.name, def.name + sizeof def.name, '\0'));
    control.type = def.param_type;
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER:
        control.dephault = Decimal(def.u.fs_d.dephault);
        control.valid_min = Decimal(def.u.fs_d.valid_min);
        control.valid_max = Decimal(def.u.fs_d.valid_max);
        control.slider_min = Decimal(def.u.fs_d.slider_min);
        control.slider_max = Decimal(def.u.fs_d.slider_max);
        control.percent = (def.u.fs_d.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
        break;
    case PF_Param_SLIDER:
        control.dephault = def.u.sd.dephault;
        control.valid_min = def.u.sd.valid_min;
        control.valid_max = def.u.sd.valid_max;
        control.slider_min = def.u.sd.slider_min;
        control.slider_max = def.u.sd.slider_max;
        break;
    case PF_Param_ANGLE:
        control.dephault = def.u.ad.dephault / 65536.0;
        break;
    case PF_Param_POPUP:
        control.dephault = def.u.pd.dephault;
        control.choices = params.Choices(index);
        break;
    case PF_Param_CHECKBOX:
        control.dephault = def.u.bd.dephault;
        control.label = params.RegisteredText(index);
        break;
    default:
        break;
    }
    return control;
}

}   // namespace

ControlCatalogue::ControlCatalogue(HostSim& host) : host_(&host)
{
    Learn();
}

ControlCatalogue::ControlCatalogue(std::unique_ptr<HostSim> host) : own_(std::move(host)), host_(own_.get())
{
    Learn();
}

void ControlCatalogue::Learn()
{
    const ParamStore& params = host_->params();
    for (int index = 1; index < params.Count(); ++index) {
        controls_.push_back(Learnt(params, index));
    }
    const int menu = params.Find(LOOK_MENU);
    if (menu < 1 || params.Registered(menu).param_type != PF_Param_POPUP ||
        !(params.Registered(menu).flags & PF_ParamFlag_SUPERVISE)) {
        return;
    }
    menu_ = &controls_[menu - 1];
    controls_[menu - 1].look_menu = true;
    // Each choice as the user makes it: one the effect answers by writing controls is a look.
    for (int choice = 1; choice <= static_cast<int>(menu_->choices.size()); ++choice) {
        host_->ChangeParam(menu, choice);
        const std::vector<int>& written = host_->module().changed_by_plugin();
        if (written.empty()) {
            continue;
        }
        looks_.push_back(Look{menu_->choices[choice - 1], choice});
        for (const int index : written) {
            if (index != menu && index >= 1 && index <= static_cast<int>(controls_.size())) {
                controls_[index - 1].look_writes = true;
            }
        }
    }
}

std::vector<std::string> ControlCatalogue::ValueControlNames() const
{
    std::vector<std::string> names;
    for (const Control& control : controls_) {
        if (IsValueControl(control)) {
            names.push_back(control.name);
        }
    }
    return names;
}

const Control& ControlCatalogue::Find(std::string_view name) const
{
    const int index = host_->params().Find(Trim(name));
    const Control* row = index >= 1 ? &controls_[index - 1] : nullptr;
    if (row && IsValueControl(*row)) {
        return *row;
    }
    if (row && row->type == PF_Param_LAYER) {
        throw CliError(Quoted(std::string(Trim(name))) + " is a layer: give its image with --map FILE");
    }
    if (row) {
        throw CliError(Quoted(std::string(Trim(name))) + " is not a control with a value" +
                       DidYouMean(name, ValueControlNames()));
    }
    throw CliError("no control " + Quoted(std::string(Trim(name))) + DidYouMean(Trim(name), ValueControlNames()) +
                   " (quaverflux controls lists them)");
}

int ControlCatalogue::FindLook(std::string_view name) const
{
    const int choice = menu_ ? ChoiceNumber(*menu_, Trim(name)) : 0;
    if (choice == 0) {
        std::vector<std::string> names;
        for (const Look& look : looks_) {
            names.push_back(look.name);
        }
        throw CliError("no look " + Quoted(std::string(Trim(name))) + DidYouMean(Trim(name), names) +
                       " (quaverflux presets lists them)");
    }
    return choice;
}

// ---- typed values ----

ControlValue ParseSetting(const ControlCatalogue& controls, std::string_view setting)
{
    const std::size_t equals = setting.find('=');
    if (equals == std::string_view::npos) {
        throw CliError("--set " + Quoted(std::string(setting)) + " needs the form \"CONTROL=VALUE\", e.g. \"Wave Size=300\"");
    }
    const Control& control = controls.Find(setting.substr(0, equals));
    return ControlValue{&control, ParseControlValue(control, setting.substr(equals + 1))};
}

double ParseControlValue(const Control& control, std::string_view typed)
{
    const std::string_view text = Trim(typed);
    const std::string& name = control.name;
    switch (control.type) {
    case PF_Param_POPUP: {
        if (const int choice = ChoiceNumber(control, text); choice != 0) {
            return choice;
        }
        double number = 0;
        if (ParseNumber(text, number)) {
            return CheckControlValue(control, number);
        }
        throw CliError(name + " has no choice " + Quoted(std::string(text)) + DidYouMean(text, control.choices) +
                       " (choices: " + ValidValues(control) + ")");
    }
    case PF_Param_CHECKBOX: {
        const std::string word = Lower(text);
        if (word == "on" || word == "true" || word == "yes" || word == "1") {
            return 1;
        }
        if (word == "off" || word == "false" || word == "no" || word == "0") {
            return 0;
        }
        throw CliError(name + " is a checkbox: give on or off, not " + Quoted(std::string(text)));
    }
    case PF_Param_ANGLE: {
        std::string_view number_text = text;
        for (std::string_view unit : {std::string_view("°"), std::string_view("deg")}) {
            if (number_text.size() > unit.size() && number_text.substr(number_text.size() - unit.size()) == unit) {
                number_text.remove_suffix(unit.size());
            }
        }
        double degrees = 0;
        if (!ParseNumber(number_text, degrees)) {
            throw CliError(name + " takes an angle in degrees, not " + Quoted(std::string(text)));
        }
        return CheckControlValue(control, degrees);
    }
    default: {
        std::string_view number_text = text;
        if (IsPercent(control) && !number_text.empty() && number_text.back() == '%') {
            number_text.remove_suffix(1);
        }
        double number = 0;
        if (!ParseNumber(number_text, number)) {
            throw CliError(name + " takes a number, not " + Quoted(std::string(text)));
        }
        return CheckControlValue(control, number);
    }
    }
}

double CheckControlValue(const Control& control, double value)
{
    const std::string& name = control.name;
    if (!std::isfinite(value)) {
        throw CliError(name + " takes a finite number");
    }
    switch (control.type) {
    case PF_Param_POPUP:
        if (value != std::floor(value) || value < 1 || value > static_cast<double>(control.choices.size())) {
            throw CliError(name + " = " + NumberText(value) + " is not one of its choices, 1 to " +
                           std::to_string(control.choices.size()) + " (" + ValidValues(control) + ")");
        }
        return value;
    case PF_Param_CHECKBOX:
        if (value != 0 && value != 1) {
            throw CliError(name + " is a checkbox: give on or off");
        }
        return value;
    case PF_Param_ANGLE:
        if (value < -ANGLE_LIMIT || value > ANGLE_LIMIT) {
            OutsideRange(control, value);
        }
        return value;
    case PF_Param_SLIDER:
        if (value != std::floor(value)) {
            throw CliError(name + " takes a whole number, not " + NumberText(value));
        }
        [[fallthrough]];
    default:
        if (value < control.valid_min || value > control.valid_max) {
            OutsideRange(control, value);
        }
        return value;
    }
}

std::string ShowControlValue(const Control& control, double value)
{
    switch (control.type) {
    case PF_Param_POPUP: {
        const std::vector<std::string>& choices = control.choices;
        const int index = static_cast<int>(value) - 1;
        return index >= 0 && index < static_cast<int>(choices.size()) ? choices[index] : NumberText(value);
    }
    case PF_Param_CHECKBOX:
        return value != 0 ? "on" : "off";
    case PF_Param_ANGLE:
        return NumberText(value) + "°";
    default:
        return NumberText(value) + Unit(control);
    }
}

std::string ValidValues(const Control& control)
{
    switch (control.type) {
    case PF_Param_POPUP:
        return Joined(control.choices);
    case PF_Param_CHECKBOX:
        return "on, off";
    case PF_Param_ANGLE:
        return NumberText(-ANGLE_LIMIT) + "° to " + NumberText(ANGLE_LIMIT) + "°";
    default:
        return NumberText(control.valid_min) + Unit(control) + " to " + NumberText(control.valid_max) + Unit(control);
    }
}

const char* ControlKind(const Control& control)
{
    switch (control.type) {
    case PF_Param_FLOAT_SLIDER:
        return "slider";
    case PF_Param_SLIDER:
        return "integer";
    case PF_Param_ANGLE:
        return "angle";
    case PF_Param_POPUP:
        return "popup";
    case PF_Param_CHECKBOX:
        return "checkbox";
    case PF_Param_LAYER:
        return "layer";
    default:
        return "other";
    }
}

// ---- the host's order ----

void ControlPlan::Apply(HostSim& host) const
{
    // A look file that names a look: the look is chosen through the menu, once the controls it reads (Scale
    // With Layer) are restored, and the file's own values of the controls a look writes are restored over it.
    int named = 0;
    for (const ControlValue& saved : look) {
        // The menu's first choice, "Custom", names no look.
        if (saved.control->look_menu && saved.value != 1) {
            named = static_cast<int>(saved.value);
        }
    }
    for (const ControlValue& saved : look) {
        const int index = saved.control->index;
        if (named == 0 || (!saved.control->look_writes && !saved.control->look_menu)) {
            host.params().Set(index, saved.value);
        }
    }
    if (named != 0) {
        host.ChoosePreset(named);
        for (const ControlValue& saved : look) {
            if (saved.control->look_writes || saved.control->look_menu) {
                host.params().Set(saved.control->index, saved.value);
            }
        }
    }
    if (!look.empty()) {
        host.module().SendUpdateParamsUI();
    }
    for (const ControlValue& typed : settings) {
        if (!typed.control->look_writes) {
            host.ChangeParam(typed.control->index, typed.value);
        }
    }
    ApplyLook(host, preset);
}

void ControlPlan::ApplyLook(HostSim& host, int choice) const
{
    if (choice != 0) {
        host.ChoosePreset(choice);
    }
    for (const ControlValue& typed : settings) {
        if (typed.control->look_writes) {
            host.ChangeParam(typed.control->index, typed.value);
        }
    }
}

// ---- look files ----

std::vector<ControlValue> ReadLookFile(const std::string& path, const ControlCatalogue& controls)
{
    std::ifstream in(path);
    if (!in) {
        throw CliError("cannot read look file " + path + ": " + std::strerror(errno));
    }
    json look;
    try {
        look = json::parse(in);
    } catch (const json::exception& e) {
        std::string what = e.what();
        if (const std::size_t bracket = what.find("] "); what.front() == '[' && bracket != std::string::npos) {
            what.erase(0, bracket + 2);   // the library's exception tag
        }
        throw CliError("look file " + path + " is not valid JSON: " + what);
    }
    const auto fail = [&](const std::string& why) { throw CliError("look file " + path + ": " + why); };
    if (!look.is_object() || !look.contains("controls") || !look["controls"].is_object()) {
        fail("expected {\"effect\": \"Quaverflux\", \"controls\": {...}}");
    }
    if (look.contains("effect") && look["effect"] != LOOK_EFFECT) {
        fail("it is a look for " + look["effect"].dump() + ", not for " + LOOK_EFFECT);
    }
    std::vector<ControlValue> values;
    for (const auto& [name, value] : look["controls"].items()) {
        try {
            const Control& control = controls.Find(name);
            double number = 0;
            if (value.is_boolean() && control.type == PF_Param_CHECKBOX) {
                number = value.get<bool>() ? 1 : 0;
            } else if (value.is_number()) {
                number = CheckControlValue(control, value.get<double>());
            } else if (value.is_string()) {
                number = ParseControlValue(control, value.get<std::string>());
            } else {
                throw CliError(name + " has a value of the wrong kind: " + value.dump());
            }
            values.push_back(ControlValue{&control, number});
        } catch (const CliError& e) {
            fail(e.what());
        }
    }
    return values;
}

void WriteLookFile(const std::string& path, const ControlCatalogue& catalogue, const HostSim& host)
{
    json controls = json::object();
    std::vector<std::string> order;
    for (const Control& row : catalogue.controls()) {
        if (!IsValueControl(row)) {
            continue;
        }
        const double value = host.params().Get(row.index);
        switch (row.type) {
        case PF_Param_POPUP:
            controls[row.name] = ShowControlValue(row, value);
            break;
        case PF_Param_CHECKBOX:
            controls[row.name] = value != 0;
            break;
        case PF_Param_SLIDER:
            controls[row.name] = static_cast<long long>(value);
            break;
        default:
            controls[row.name] = value;
            break;
        }
        order.emplace_back(row.name);
    }
    // Panel order reads better than the library's sorted keys.
    std::string text = "{\n  \"effect\": \"" + std::string(LOOK_EFFECT) + "\",\n  \"controls\": {\n";
    for (std::size_t i = 0; i < order.size(); ++i) {
        text += "    " + json(order[i]).dump() + ": " + controls[order[i]].dump() + (i + 1 < order.size() ? ",\n" : "\n");
    }
    text += "  }\n}\n";

    PendingFile file(path);
    {
        std::ofstream out(file.path(), std::ios::binary);
        out << text;
        out.close();
        if (!out) {
            throw CliError("cannot write look file " + path + ": " + std::strerror(errno));
        }
    }
    file.Commit();
}
