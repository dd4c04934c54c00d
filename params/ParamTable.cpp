// Look-ups in the parameter table by the names people type.
#include "ParamTable.h"

#include <cctype>

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool MatchesIdentifier(const ParamSpec& row, std::string_view text)
{
    const std::string_view identifier = row.identifier;
    constexpr std::string_view PREFIX = "PARAM_";
    return SameIgnoringCase(identifier, text) || SameIgnoringCase(identifier.substr(PREFIX.size()), text);
}

}   // namespace

const ParamSpec* FindParam(std::string_view name_or_identifier)
{
    if (name_or_identifier.empty()) {
        return nullptr;
    }
    const ParamSpec* group = nullptr;
    for (const ParamSpec& row : PARAM_TABLE) {
        if (MatchesIdentifier(row, name_or_identifier)) {
            return &row;
        }
        if (SameIgnoringCase(row.name, name_or_identifier)) {
            if (row.kind != ParamKind::GroupStart) {
                return &row;
            }
            group = group ? group : &row;
        }
    }
    return group;
}

int FindChoice(const char* choices, std::string_view choice)
{
    if (!choices) {
        return 0;
    }
    std::string_view rest = choices;
    for (int number = 1;; ++number) {
        const std::size_t bar = rest.find('|');
        if (SameIgnoringCase(rest.substr(0, bar), choice)) {
            return number;
        }
        if (bar == std::string_view::npos) {
            return 0;
        }
        rest.remove_prefix(bar + 1);
    }
}
