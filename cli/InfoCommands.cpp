// quaverflux presets, controls and header: what the effect offers, and its header as the panel draws it.
#include "CliError.h"
#include "CommandSupport.h"
#include "Drawbot.h"
#include "ImageFiles.h"
#include "Paths.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <system_error>

namespace {

using nlohmann::json;

constexpr std::size_t LINE_WIDTH = 100;

// The value as JSON: a popup's choice name, a checkbox's boolean, else the number.
json JsonValue(const Control& control, double value)
{
    switch (control.type) {
    case PF_Param_POPUP:
        return ShowControlValue(control, value);
    case PF_Param_CHECKBOX:
        return value != 0;
    case PF_Param_SLIDER:
        return static_cast<long long>(value);
    default:
        return value;
    }
}

// Items joined by ", " in lines of at most LINE_WIDTH characters, each line indented.
std::string Wrapped(const std::vector<std::string>& items, const std::string& indent)
{
    std::string text;
    std::string line = indent;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string item = items[i] + (i + 1 < items.size() ? "," : "");
        if (line.size() > indent.size() && line.size() + 1 + item.size() > LINE_WIDTH) {
            text += line + "\n";
            line = indent;
        }
        line += (line.size() > indent.size() ? " " : "") + item;
    }
    return text + line + "\n";
}

PanelTheme ParseTheme(const std::string& text)
{
    if (text == "dark") {
        return PanelTheme::Dark();
    }
    if (text == "light") {
        return PanelTheme::Light();
    }
    std::vector<float> channels;
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        double value = -1;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (error != std::errc() || end != item.data() + item.size() || !(value >= 0 && value <= 255)) {
            channels.clear();
            break;
        }
        channels.push_back(static_cast<float>(value / 255.0));
    }
    if (channels.size() != 3 && channels.size() != 6 && channels.size() != 9) {
        throw CliError("--theme " + Quoted(text) +
                       ": give dark, light, or the panel's background, text and accent colours as R,G,B (0 to 255), "
                       "e.g. 40,40,40 or 40,40,40,220,220,220,80,160,255");
    }
    // The colours not given come from the built-in theme nearest in brightness.
    const float brightness = 0.2126f * channels[0] + 0.7152f * channels[1] + 0.0722f * channels[2];
    PanelTheme theme = brightness > 0.5f ? PanelTheme::Light() : PanelTheme::Dark();
    Rgb* colours[3] = {&theme.background, &theme.text, &theme.accent};
    for (std::size_t i = 0; i * 3 < channels.size(); ++i) {
        *colours[i] = Rgb{channels[i * 3], channels[i * 3 + 1], channels[i * 3 + 2]};
    }
    return theme;
}

}   // namespace

void RunPresets(const GlobalOptions& global, bool as_json)
{
    HostSim host(FindModule(global.module));
    if (host.Start() != PF_Err_NONE) {
        throw CliError("the plug-in failed to start");
    }
    // Each look as choosing it sets the controls, on a 1920 x 1080 layer (Scale With Layer is on by default,
    // so Wave Size is the look's own).
    host.settings().width = 1920;
    host.settings().height = 1080;
    const ControlCatalogue catalogue(host);
    json looks = json::array();
    std::string text;
    for (const Look& look : catalogue.looks()) {
        host.ChoosePreset(look.choice);
        json values = json::object();
        std::vector<std::string> shown;
        for (const Control& control : catalogue.controls()) {
            if (!control.look_writes) {
                continue;
            }
            const double value = host.params().Get(control.index);
            values[control.name] = JsonValue(control, value);
            shown.push_back(control.name + " " + ShowControlValue(control, value));
        }
        looks.push_back(json{{"name", look.name}, {"controls", values}});
        text += look.name + "\n" + Wrapped(shown, "  ");
    }
    std::cout << (as_json ? looks.dump(2) + "\n" : text);
}

void RunControls(const GlobalOptions& global, bool as_json)
{
    const ControlCatalogue catalogue(StartPlugin(FindModule(global.module)));
    json controls = json::array();
    std::string text;
    for (const Control& row : catalogue.controls()) {
        if (row.type == PF_Param_GROUP_START) {
            text += std::string(text.empty() ? "" : "\n") + row.name + " (group)\n";
            continue;
        }
        if (row.type == PF_Param_LAYER) {
            controls.push_back(json{{"name", row.name}, {"kind", "layer"}});
            text += "  " + row.name + ": layer; give its image with --map FILE\n";
            continue;
        }
        if (!IsValueControl(row)) {
            continue;
        }
        json entry{{"name", row.name}, {"kind", ControlKind(row)}, {"default", JsonValue(row, row.dephault)}};
        std::string line =
            "  " + row.name + ": " + ControlKind(row) + ", default " + ShowControlValue(row, row.dephault);
        if (row.type == PF_Param_POPUP) {
            entry["choices"] = row.choices;
            line += "; choices " + ValidValues(row);
        } else if (row.type == PF_Param_CHECKBOX) {
            line += "; on or off (\"" + row.label + "\")";
        } else if (row.type == PF_Param_ANGLE) {
            entry["valid"] = json::array({-32767, 32767});
            line += "; degrees, " + ValidValues(row);
        } else {
            entry["valid"] = json::array({row.valid_min, row.valid_max});
            entry["slider"] = json::array({row.slider_min, row.slider_max});
            if (row.percent) {
                entry["unit"] = "%";
            }
            line += "; valid " + ValidValues(row) + ", slider " + ShowControlValue(row, row.slider_min) + " to " +
                    ShowControlValue(row, row.slider_max);
        }
        controls.push_back(entry);
        text += line + "\n";
    }
    std::cout << (as_json ? controls.dump(2) + "\n" : text);
}

void RunHeader(const GlobalOptions& global, const HeaderOptions& options)
{
    OutputFormat(options.output);
    CheckWritableFolder(options.output);
    const PanelTheme theme = ParseTheme(options.theme);
    HostSim host(FindModule(global.module));
    if (host.Start() != PF_Err_NONE) {
        throw CliError("the plug-in failed to start");
    }
    RgbaImage header;
    try {
        header = DrawHeaderImage(host.drawing(), static_cast<float>(options.scale), theme);
    } catch (const std::exception& e) {
        throw CliError(e.what());
    }
    FloatImage image(header.width, header.height);
    for (int y = 0; y < header.height; ++y) {
        for (int x = 0; x < header.width; ++x) {
            const unsigned char* p = header.At(x, y);
            image.Set(x, y, p[2] / 255.0f, p[1] / 255.0f, p[0] / 255.0f, p[3] / 255.0f);
        }
    }
    const std::string note = WriteImageFile(options.output, image, PixelDepth::Bits8);
    if (!global.quiet) {
        std::fprintf(stderr, "quaverflux: wrote %s (%d x %d, the header at %dx)\n", options.output.c_str(),
                     header.width, header.height, options.scale);
    }
    (void)note;   // 8-bit fits every format
}
