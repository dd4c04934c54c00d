// make_resources: writes the Windows plug-in's PiPL resource (a binary file) and the resource script that
// carries it together with the version resource, both from the effect's identity in host/EffectIdentity.h.
//   make_resources --pipl <Quaverflux.pipl> --rc <Quaverflux.rc>
// The script names the PiPL file by the path given, so windres reads the bytes written here unchanged.
#include "host/EffectIdentity.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The host's property vendor: every PiPL property of an effect is filed under '8BIM'.
constexpr std::uint32_t PIPL_VENDOR = 0x3842494D;   // '8BIM'
constexpr std::uint32_t RESOURCE_LANGUAGE = 0x0409;  // English (United States)
constexpr std::uint32_t CODE_PAGE_UNICODE = 1200;
constexpr std::uint32_t VERSION_FLAGS_MASK = 0x3F;   // VS_FFI_FILEFLAGSMASK
constexpr std::uint32_t VERSION_OS_NT_WINDOWS32 = 0x00040004;
constexpr std::uint32_t VERSION_TYPE_DLL = 2;
constexpr const char* PLUGIN_SUFFIX = ".aex";

// A four-character code as the host writes it: the multi-character constant, least significant byte
// first, so 'kind' is stored as "dnik".
constexpr std::uint32_t FourCC(const char (&code)[5])
{
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

class Bytes {
public:
    void U16(std::uint32_t value)
    {
        for (int i = 0; i < 2; ++i)
            data_.push_back(std::uint8_t(value >> (8 * i)));
    }
    void U32(std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            data_.push_back(std::uint8_t(value >> (8 * i)));
    }
    void Text(std::string_view text) { data_.insert(data_.end(), text.begin(), text.end()); }
    void Byte(std::uint8_t value) { data_.push_back(value); }
    void PadTo4()
    {
        while (data_.size() % 4 != 0)
            data_.push_back(0);
    }
    const std::vector<std::uint8_t>& data() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
};

Bytes PascalString(std::string_view text)
{
    if (text.size() > 255)
        throw std::runtime_error("Pascal string longer than 255 bytes: " + std::string(text));
    Bytes b;
    b.Byte(std::uint8_t(text.size()));
    b.Text(text);
    return b;
}

Bytes CString(std::string_view text)
{
    Bytes b;
    b.Text(text);
    b.Byte(0);
    return b;
}

Bytes Words(std::uint32_t first, std::uint32_t second)
{
    Bytes b;
    b.U16(first);
    b.U16(second);
    return b;
}

Bytes Long(std::uint32_t value)
{
    Bytes b;
    b.U32(value);
    return b;
}

struct Property {
    std::uint32_t key;
    Bytes data;
};

// Header (version 1, reserved 0, count), then each property as vendor, key, id 0, padded length and the
// data padded with zeros to a multiple of four bytes. The flag words are those of any host but Premiere.
std::vector<std::uint8_t> PiPL()
{
    const std::vector<Property> properties = {
        {FourCC("kind"), Long(EFFECT_KIND)},
        {FourCC("name"), PascalString(EFFECT_NAME)},
        {FourCC("catg"), PascalString(EFFECT_CATEGORY)},
        {FourCC("8664"), CString(EFFECT_ENTRY_POINT)},
        {FourCC("ePVR"), Words(EFFECT_PIPL_VERSION_MAJOR, EFFECT_PIPL_VERSION_MINOR)},
        {FourCC("eSVR"), Words(EFFECT_SPEC_VERSION_MAJOR, EFFECT_SPEC_VERSION_MINOR)},
        {FourCC("eVER"), Long(EFFECT_VERSION_WORD)},
        {FourCC("eINF"), Long(EFFECT_INFO_FLAGS)},
        {FourCC("eGLO"), Long(EFFECT_OUT_FLAGS)},
        {FourCC("eGL2"), Long(EFFECT_OUT_FLAGS2)},
        {FourCC("eMNA"), PascalString(EFFECT_MATCH_NAME)},
        {FourCC("aeFL"), Long(EFFECT_RESERVED_INFO)},
        {FourCC("eURL"), PascalString(SUPPORT_URL)},
    };
    Bytes out;
    out.U16(1);
    out.U32(0);
    out.U32(std::uint32_t(properties.size()));
    for (const Property& p : properties) {
        Bytes data = p.data;
        data.PadTo4();
        out.U32(PIPL_VENDOR);
        out.U32(p.key);
        out.U32(0);
        out.U32(std::uint32_t(data.data().size()));
        out.Text(std::string_view(reinterpret_cast<const char*>(data.data().data()), data.data().size()));
    }
    return out.data();
}

// A string literal of the resource compiler: quotes doubled, backslashes escaped.
std::string RcString(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out + "\"";
}

std::string VersionText()
{
    return std::to_string(EFFECT_VERSION_MAJOR) + "." + std::to_string(EFFECT_VERSION_MINOR) + "." +
           std::to_string(EFFECT_VERSION_FIX);
}

// The identity holds a few texts that repeat other items; refuse to build when they disagree.
void CheckIdentity()
{
    if (VersionText() != EFFECT_VERSION_TEXT)
        throw std::runtime_error("EFFECT_VERSION_TEXT does not match the version numbers");
    if (std::string(EFFECT_NAME) + PLUGIN_SUFFIX != EFFECT_FILE_NAME)
        throw std::runtime_error("EFFECT_FILE_NAME is not the effect name with " + std::string(PLUGIN_SUFFIX));
    if (std::string_view(SUPPORT_URL).rfind("https://", 0) != 0)
        throw std::runtime_error("SUPPORT_URL is not an https:// address");
}

std::string ResourceScript(const std::string& pipl_path)
{
    const std::string numbers = std::to_string(EFFECT_VERSION_MAJOR) + "," + std::to_string(EFFECT_VERSION_MINOR) +
                                "," + std::to_string(EFFECT_VERSION_FIX) + "," +
                                std::to_string(EFFECT_VERSION_BUILD);
    char language_block[16];
    std::snprintf(language_block, sizeof language_block, "%04x%04x", unsigned(RESOURCE_LANGUAGE),
                  unsigned(CODE_PAGE_UNICODE));
    const struct {
        const char* key;
        std::string value;
    } strings[] = {
        {"CompanyName", MAKER_NAME},
        {"FileDescription", EFFECT_FILE_DESCRIPTION},
        {"FileVersion", VersionText()},
        {"InternalName", EFFECT_NAME},
        {"LegalCopyright", COPYRIGHT},
        {"OriginalFilename", EFFECT_FILE_NAME},
        {"ProductName", EFFECT_NAME},
        {"ProductVersion", VersionText()},
        {"Comments", SUPPORT_URL},
    };

    std::ostringstream rc;
    rc << "// Generated by tools/make_resources from host/EffectIdentity.h. Do not edit.\n"
       << "LANGUAGE " << (RESOURCE_LANGUAGE & 0x3FF) << ", " << (RESOURCE_LANGUAGE >> 10) << "\n\n"
       << "16000 PIPL " << RcString(pipl_path) << "\n\n"
       << "1 VERSIONINFO\n"
       << "FILEVERSION " << numbers << "\n"
       << "PRODUCTVERSION " << numbers << "\n"
       << "FILEFLAGSMASK 0x" << std::hex << VERSION_FLAGS_MASK << "\n"
       << "FILEFLAGS 0x0\n"
       << "FILEOS 0x" << VERSION_OS_NT_WINDOWS32 << "\n"
       << "FILETYPE 0x" << VERSION_TYPE_DLL << "\n"
       << "FILESUBTYPE 0x0\n" << std::dec
       << "BEGIN\n"
       << "  BLOCK \"StringFileInfo\"\n"
       << "  BEGIN\n"
       << "    BLOCK \"" << language_block << "\"\n"
       << "    BEGIN\n";
    for (const auto& s : strings)
        rc << "      VALUE \"" << s.key << "\", " << RcString(s.value) << "\n";
    rc << "    END\n"
       << "  END\n"
       << "  BLOCK \"VarFileInfo\"\n"
       << "  BEGIN\n"
       << "    VALUE \"Translation\", 0x" << std::hex << RESOURCE_LANGUAGE << ", " << std::dec << CODE_PAGE_UNICODE
       << "\n"
       << "  END\n"
       << "END\n";
    return rc.str();
}

// Writes only when the content changes, so the resource is not recompiled on every build.
void WriteIfChanged(const std::string& path, const std::string& content)
{
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            const std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (old == content)
                return;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

}   // namespace

int main(int argc, char** argv)
{
    std::string pipl_path, rc_path;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        if (option == "--pipl")
            pipl_path = argv[i + 1];
        else if (option == "--rc")
            rc_path = argv[i + 1];
    }
    if (pipl_path.empty() || rc_path.empty() || argc != 5) {
        std::fprintf(stderr, "usage: make_resources --pipl <pipl file> --rc <resource script>\n");
        return 2;
    }
    try {
        CheckIdentity();
        const std::vector<std::uint8_t> pipl = PiPL();
        WriteIfChanged(pipl_path, std::string(pipl.begin(), pipl.end()));
        WriteIfChanged(rc_path, ResourceScript(pipl_path));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_resources: %s\n", e.what());
        return 1;
    }
    return 0;
}
