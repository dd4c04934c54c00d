// A strict reader of look files: RFC 8259 JSON (no comments, trailing commas, NaN or bare words; UTF-8
// checked), then the controls checked against the parameter table as the command-line renderer checks
// them.
#include "LookFile.h"

#include "ParamTable.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <utility>

namespace {

constexpr std::string_view LOOK_EFFECT = "Quaverflux";
constexpr std::size_t MAX_LOOK_BYTES = 1 << 20;
// Deeper nesting than any look needs is refused rather than recursed into.
constexpr int MAX_DEPTH = 32;
// Angles are 16.16 fixed-point degrees in the host: whole turns beyond this do not fit.
constexpr double ANGLE_LIMIT = 32767.0;

// ---- JSON ----

struct Json {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;                                  // strings; numbers as written
    std::vector<Json> items;                           // arrays
    // Objects, in the file's order, each member with its name in `name`. (A pair of a name and a Json
    // would need Json complete inside its own definition, which not every standard library allows.)
    std::vector<Json> members;
    std::string name;                                  // as a member of an object
};

struct JsonError {
    std::string what;
};

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    Json Document()
    {
        SkipSpace();
        Json value = Value(0);
        SkipSpace();
        if (at_ != text_.size()) {
            Fail("unexpected text after the end");
        }
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const
    {
        int line = 1;
        int column = 1;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) {
            column = text_[i] == '\n' ? 1 : column + 1;
            line += text_[i] == '\n' ? 1 : 0;
        }
        throw JsonError{what + " at line " + std::to_string(line) + ", column " + std::to_string(column)};
    }

    bool AtEnd() const { return at_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[at_]; }

    void SkipSpace()
    {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) {
            ++at_;
        }
    }

    void Expect(char c)
    {
        if (Peek() != c || AtEnd()) {
            Fail(std::string("expected '") + c + "'");
        }
        ++at_;
    }

    Json Value(int depth)
    {
        if (depth > MAX_DEPTH) {
            Fail("nesting deeper than " + std::to_string(MAX_DEPTH));
        }
        Json value;
        const char c = Peek();
        if (AtEnd()) {
            Fail("unexpected end of the text");
        } else if (c == '{') {
            value.kind = Json::Kind::Object;
            Members(value, depth);
        } else if (c == '[') {
            value.kind = Json::Kind::Array;
            Items(value, depth);
        } else if (c == '"') {
            value.kind = Json::Kind::String;
            value.text = String();
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            value.kind = Json::Kind::Number;
            value.number = Number(value.text);
        } else if (Word("true")) {
            value.kind = Json::Kind::Boolean;
            value.boolean = true;
        } else if (Word("false")) {
            value.kind = Json::Kind::Boolean;
        } else if (!Word("null")) {
            Fail("expected a value");
        }
        return value;
    }

    bool Word(std::string_view word)
    {
        if (text_.substr(at_, word.size()) != word) {
            return false;
        }
        at_ += word.size();
        return true;
    }

    void Members(Json& object, int depth)
    {
        Expect('{');
        SkipSpace();
        if (Peek() == '}') {
            ++at_;
            return;
        }
        while (true) {
            SkipSpace();
            if (Peek() != '"') {
                Fail("expected a name in quotes");
            }
            std::string name = String();
            SkipSpace();
            Expect(':');
            SkipSpace();
            object.members.push_back(Value(depth + 1));
            object.members.back().name = std::move(name);
            SkipSpace();
            if (Peek() == '}') {
                ++at_;
                return;
            }
            Expect(',');
        }
    }

    void Items(Json& array, int depth)
    {
        Expect('[');
        SkipSpace();
        if (Peek() == ']') {
            ++at_;
            return;
        }
        while (true) {
            SkipSpace();
            array.items.push_back(Value(depth + 1));
            SkipSpace();
            if (Peek() == ']') {
                ++at_;
                return;
            }
            Expect(',');
        }
    }

    double Number(std::string& written)
    {
        const std::size_t start = at_;
        const auto digits = [&] {
            const std::size_t from = at_;
            while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
                ++at_;
            }
            return at_ - from;
        };
        if (Peek() == '-') {
            ++at_;
        }
        if (Peek() == '0') {
            ++at_;
        } else if (digits() == 0) {
            Fail("malformed number");
        }
        if (Peek() == '.') {
            ++at_;
            if (digits() == 0) {
                Fail("malformed number");
            }
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++at_;
            if (Peek() == '+' || Peek() == '-') {
                ++at_;
            }
            if (digits() == 0) {
                Fail("malformed number");
            }
        }
        written = std::string(text_.substr(start, at_ - start));
        double value = 0.0;
        const auto [end, error] = std::from_chars(written.data(), written.data() + written.size(), value);
        if (error != std::errc() || end != written.data() + written.size() || !std::isfinite(value)) {
            at_ = start;
            Fail("number " + written + " is out of range");
        }
        return value;
    }

    unsigned Hex4()
    {
        unsigned code = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            const char c = Peek();
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0 || AtEnd()) {
                Fail("malformed \\u escape");
            }
            code = code * 16 + static_cast<unsigned>(digit);
        }
        return code;
    }

    static void AppendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    // One UTF-8 sequence starting at at_, copied to out; overlong forms, surrogates and code points past
    // U+10FFFF are refused.
    void Utf8(std::string& out)
    {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text_[at_ + i]); };
        const unsigned char lead = byte(0);
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || at_ + static_cast<std::size_t>(length) > text_.size()) {
            Fail("text that is not UTF-8");
        }
        unsigned code = lead & (0x7F >> length);
        for (int i = 1; i < length; ++i) {
            if ((byte(static_cast<std::size_t>(i)) & 0xC0) != 0x80) {
                Fail("text that is not UTF-8");
            }
            code = (code << 6) | (byte(static_cast<std::size_t>(i)) & 0x3F);
        }
        const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            Fail("text that is not UTF-8");
        }
        out.append(text_.substr(at_, static_cast<std::size_t>(length)));
        at_ += static_cast<std::size_t>(length);
    }

    std::string String()
    {
        Expect('"');
        std::string out;
        while (true) {
            if (AtEnd()) {
                Fail("unterminated string");
            }
            const unsigned char c = static_cast<unsigned char>(Peek());
            if (c == '"') {
                ++at_;
                return out;
            }
            if (c < 0x20) {
                Fail("control character in a string");
            }
            if (c >= 0x80) {
                Utf8(out);
                continue;
            }
            ++at_;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const char escape = Peek();
            ++at_;
            switch (escape) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned code = Hex4();
                if (code >= 0xDC00 && code <= 0xDFFF) {
                    Fail("lone low surrogate in a \\u escape");
                }
                if (code >= 0xD800 && code <= 0xDBFF) {
                    if (!Word("\\u")) {
                        Fail("lone high surrogate in a \\u escape");
                    }
                    const unsigned low = Hex4();
                    if (low < 0xDC00 || low > 0xDFFF) {
                        Fail("lone high surrogate in a \\u escape");
                    }
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                AppendUtf8(out, code);
                break;
            }
            default:
                --at_;
                Fail("unknown escape in a string");
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// ---- controls ----

struct LookError {
    std::string what;
};

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
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

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

// Shortest text that reads back as the same double.
std::string NumberText(double value)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return error == std::errc() ? std::string(buffer, end) : std::to_string(value);
}

// The whole text as a finite number (spaces around and a leading '+' allowed); false otherwise.
bool ParseNumber(std::string_view text, double& value)
{
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// The control a look names by its panel name, in any case.
const ParamSpec& NamedControl(std::string_view typed)
{
    const std::string_view name = Trim(typed);
    const ParamSpec* row = FindParam(name);
    if (!row || Lower(row->name) != Lower(name)) {
        throw LookError{"no control " + Quoted(name)};
    }
    if (row->kind == ParamKind::Layer) {
        throw LookError{Quoted(name) + " is a layer, which a look does not hold"};
    }
    if (!HoldsValue(row->kind)) {
        throw LookError{Quoted(name) + " is not a control with a value"};
    }
    return *row;
}

std::string UnitOf(const ParamSpec& row)
{
    return row.kind == ParamKind::FloatSlider && row.percent ? "%" : "";
}

// A number for `row` in the panel's units: whole where the control holds whole numbers, inside its range.
double CheckedNumber(const ParamSpec& row, double value)
{
    const std::string name = row.name;
    switch (row.kind) {
    case ParamKind::Popup:
        if (value != std::floor(value) || value < 1 || value > row.num_choices) {
            throw LookError{name + " = " + NumberText(value) + " is not one of its choices, 1 to " +
                            std::to_string(row.num_choices)};
        }
        return value;
    case ParamKind::Checkbox:
        if (value != 0 && value != 1) {
            throw LookError{name + " is a checkbox: give on or off"};
        }
        return value;
    case ParamKind::Angle:
        if (value < -ANGLE_LIMIT || value > ANGLE_LIMIT) {
            throw LookError{name + " = " + NumberText(value) + "° is outside its valid range, " +
                            NumberText(-ANGLE_LIMIT) + "° to " + NumberText(ANGLE_LIMIT) + "°"};
        }
        return value;
    case ParamKind::Slider:
        if (value != std::floor(value)) {
            throw LookError{name + " takes a whole number, not " + NumberText(value)};
        }
        [[fallthrough]];
    default:
        if (value < row.valid_min || value > row.valid_max) {
            throw LookError{name + " = " + NumberText(value) + UnitOf(row) + " is outside its valid range, " +
                            NumberText(row.valid_min) + UnitOf(row) + " to " + NumberText(row.valid_max) + UnitOf(row)};
        }
        return value;
    }
}

// A value written as text: a choice's name, on/off, or a number with its unit.
double TextValue(const ParamSpec& row, std::string_view written)
{
    const std::string_view text = Trim(written);
    const std::string name = row.name;
    double number = 0.0;
    switch (row.kind) {
    case ParamKind::Popup:
        if (const int choice = FindChoice(row.choices, text); choice != 0) {
            return choice;
        }
        if (ParseNumber(text, number)) {
            return CheckedNumber(row, number);
        }
        throw LookError{name + " has no choice " + Quoted(text)};
    case ParamKind::Checkbox: {
        const std::string word = Lower(text);
        if (word == "on" || word == "true" || word == "yes" || word == "1") {
            return 1;
        }
        if (word == "off" || word == "false" || word == "no" || word == "0") {
            return 0;
        }
        throw LookError{name + " is a checkbox: give on or off, not " + Quoted(text)};
    }
    case ParamKind::Angle: {
        std::string_view digits = text;
        for (std::string_view unit : {std::string_view("°"), std::string_view("deg")}) {
            if (digits.size() > unit.size() && digits.substr(digits.size() - unit.size()) == unit) {
                digits.remove_suffix(unit.size());
            }
        }
        if (!ParseNumber(digits, number)) {
            throw LookError{name + " takes an angle in degrees, not " + Quoted(text)};
        }
        return CheckedNumber(row, number);
    }
    default: {
        std::string_view digits = text;
        if (row.percent && !digits.empty() && digits.back() == '%') {
            digits.remove_suffix(1);
        }
        if (!ParseNumber(digits, number)) {
            throw LookError{name + " takes a number, not " + Quoted(text)};
        }
        return CheckedNumber(row, number);
    }
    }
}

ParamChange ControlValue(std::string_view name, const Json& value)
{
    const ParamSpec& row = NamedControl(name);
    double number = 0.0;
    if (value.kind == Json::Kind::Boolean && row.kind == ParamKind::Checkbox) {
        number = value.boolean ? 1 : 0;
    } else if (value.kind == Json::Kind::Number) {
        number = CheckedNumber(row, value.number);
    } else if (value.kind == Json::Kind::String) {
        number = TextValue(row, value.text);
    } else {
        throw LookError{std::string(row.name) + " has a value of the wrong kind"};
    }
    return ParamChange{row.index, ParamValueFromNumber(row.index, number)};
}

const Json* Member(const Json& object, std::string_view name)
{
    const Json* found = nullptr;
    for (const Json& member : object.members) {
        found = member.name == name ? &member : found;   // the last of repeated names, as JSON readers take it
    }
    return found;
}

LookReading Read(std::string_view text, const std::string& where)
{
    LookReading reading;
    Json look;
    try {
        look = JsonParser(text).Document();
    } catch (const JsonError& e) {
        reading.error = where + " is not valid JSON: " + e.what;
        return reading;
    }
    try {
        const Json* controls = look.kind == Json::Kind::Object ? Member(look, "controls") : nullptr;
        if (!controls || controls->kind != Json::Kind::Object) {
            throw LookError{"expected {\"effect\": \"Quaverflux\", \"controls\": {...}}"};
        }
        if (const Json* effect = Member(look, "effect");
            effect && (effect->kind != Json::Kind::String || effect->text != LOOK_EFFECT)) {
            throw LookError{"it is not a look for " + std::string(LOOK_EFFECT)};
        }
        for (const Json& member : controls->members) {
            reading.values.push_back(ControlValue(member.name, member));
        }
    } catch (const LookError& e) {
        reading.values.clear();
        reading.error = where + ": " + e.what;
    }
    return reading;
}

}   // namespace

LookReading ParseLookText(std::string_view text)
{
    return Read(text, "look");
}

LookReading LoadLookFile(const std::string& path)
{
    const std::string where = "look file " + path;
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (in) {
        text.resize(MAX_LOOK_BYTES + 1);
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
    }
    if (!in && !in.eof()) {
        LookReading reading;
        reading.error = "cannot read " + where + ": " + std::strerror(errno);
        return reading;
    }
    if (text.size() > MAX_LOOK_BYTES) {
        LookReading reading;
        reading.error = where + " is larger than a look file can be (1 MiB)";
        return reading;
    }
    return Read(text, where);
}
