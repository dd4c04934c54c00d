// Writes the Kdenlive effect description of the frei0r plug-in (frei0r_quaverflux.xml) from the frei0r
// parameter list, so the controls Kdenlive shows cannot drift from what the module declares: every
// parameter with its real range, unit, default and choice names. Kdenlive sends a slider's value v to MLT
// as (v - offset) / factor, which with offset = the value at 0 and factor = the span is the module's 0..1.
// Usage: make_kdenlive_effect OUTPUT.xml
#include "Frei0rParams.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

namespace {

std::string Number(double value)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return error == std::errc() ? std::string(buffer, end) : std::to_string(value);
}

std::string Escaped(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

// "a|b|c" split, joined with `separator`, each choice mapped by `each`.
template <typename Each>
std::string Joined(std::string_view choices, std::string_view separator, Each each)
{
    std::string out;
    int number = 1;
    while (true) {
        const std::size_t bar = choices.find('|');
        out += each(choices.substr(0, bar), number++);
        if (bar == std::string_view::npos) {
            return out;
        }
        out += separator;
        choices.remove_prefix(bar + 1);
    }
}

std::string Comment(int param)
{
    return "    <comment>" + Escaped(Frei0rExplanation(param)) + "</comment>\n";
}

std::string Parameter(int param)
{
    const Frei0rParam& info = FREI0R_PARAMS[static_cast<std::size_t>(param)];
    const std::string name = Escaped(info.name);
    switch (info.role) {
    case Frei0rRole::Preset: {
        std::string_view after_custom = PRESET_CHOICES.data();
        after_custom.remove_prefix(after_custom.find('|') + 1);
        return "  <parameter type=\"list\" name=\"" + name + "\" default=\"\" paramlist=\";" +
               Escaped(Joined(after_custom, ";", [](std::string_view c, int) { return std::string(c); })) +
               "\">\n    <paramlistdisplay>Keep the controls," +
               Escaped(Joined(after_custom, ",", [](std::string_view c, int) { return std::string(c); })) +
               "</paramlistdisplay>\n    <name>Preset</name>\n" + Comment(param) + "  </parameter>\n";
    }
    case Frei0rRole::Look:
        return "  <parameter type=\"url\" name=\"" + name + "\" default=\"\" filter=\"Look files (*.json)\">\n"
               "    <name>Look File</name>\n" + Comment(param) + "  </parameter>\n";
    case Frei0rRole::TimeUnit:
        // MLT gives frei0r filters seconds.
        return "  <parameter type=\"fixed\" name=\"" + name + "\" default=\"s\">\n    <name>Time Unit</name>\n  </parameter>\n";
    case Frei0rRole::Control:
        break;
    }
    const ParamSpec& row = PARAM_TABLE[info.control];
    const Frei0rRange range = Frei0rRangeOf(info.control);
    const std::string label = "    <name>" + name + "</name>\n" + Comment(param) + "  </parameter>\n";
    if (row.kind == ParamKind::Checkbox) {
        return "  <parameter type=\"bool\" name=\"" + name + "\" default=\"" + Number(row.dephault) + "\">\n" + label;
    }
    if (row.kind == ParamKind::Popup) {
        const int last = row.num_choices - 1;
        const auto at = [last](std::string_view, int number) { return Number((number - 1.0) / last); };
        return "  <parameter type=\"list\" name=\"" + name + "\" default=\"" + Number((row.dephault - 1.0) / last) +
               "\" paramlist=\"" + Joined(row.choices, ";", at) + "\">\n    <paramlistdisplay>" +
               Escaped(Joined(row.choices, ",", [](std::string_view c, int) { return std::string(c); })) +
               "</paramlistdisplay>\n" + label;
    }
    const int decimals = row.kind == ParamKind::FloatSlider ? row.precision : 0;
    const std::string unit = Frei0rUnitOf(info.control);
    return "  <parameter type=\"" + std::string(row.fixed_in_time ? "constant" : "animated") + "\" name=\"" + name +
           "\" default=\"" + Number(row.dephault) + "\" min=\"" + Number(range.at0) + "\" max=\"" + Number(range.at1) +
           "\" offset=\"" + Number(range.at0) + "\" factor=\"" + Number(range.at1 - range.at0) + "\" decimals=\"" +
           std::to_string(decimals) + "\"" + (unit.empty() ? "" : " suffix=\"" + Escaped(unit) + "\"") + ">\n" + label;
}

}   // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_kdenlive_effect OUTPUT.xml\n");
        return 2;
    }
    std::string xml = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE kpartgui>\n"
                      "<effect tag=\"frei0r.quaverflux\" id=\"frei0r.quaverflux\">\n"
                      "  <name>Quaverflux</name>\n"
                      "  <description>") + std::string(FREI0R_PLUGIN_EXPLANATION) + "</description>\n"
                      "  <author>Tessaloom</author>\n";
    for (int param = 0; param < FREI0R_PARAM_COUNT; ++param) {
        xml += Parameter(param);
    }
    xml += "</effect>\n";
    std::ofstream out(argv[1], std::ios::binary);
    out << xml;
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_kdenlive_effect: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
