// The Windows plug-in file as a host reads it before running any of its code: an x86-64 DLL exporting the
// two entry points, importing only system DLLs, with the PiPL and version resources the host expects. The
// expected PiPL bytes are written out here from literal values, independently of the generator.
#include "PeFile.h"

#include "EffectIdentity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t MACHINE_AMD64 = 0x8664;
constexpr std::uint16_t FILE_EXECUTABLE_IMAGE = 0x0002;
constexpr std::uint16_t FILE_DLL = 0x2000;
constexpr std::uint16_t DLL_HIGH_ENTROPY_VA = 0x0020;
constexpr std::uint16_t DLL_DYNAMIC_BASE = 0x0040;
constexpr std::uint16_t DLL_NX_COMPAT = 0x0100;
constexpr std::uint32_t RT_VERSION = 16;
constexpr std::uint32_t LANGUAGE_EN_US = 1033;

const std::string PLUGIN = QF_WINDOWS_PLUGIN;
const std::string OFX_BINARY = QF_WINDOWS_OFX_BINARY;

// ---- the expected PiPL, from literal values ----

std::string Bytes(const char* text, std::size_t size)
{
    return std::string(text, size);
}

std::string Le32(std::uint32_t value)
{
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

// Vendor '8BIM' and the key, both with their characters reversed, id 0, the padded length, the data.
std::string Property(const char* reversed_key, const std::string& padded_data)
{
    return "MIB8" + std::string(reversed_key, 4) + Le32(0) + Le32(static_cast<std::uint32_t>(padded_data.size())) +
           padded_data;
}

std::vector<std::uint8_t> ExpectedPipl()
{
    // The support address is the maker's choice; its Pascal string is padded to a multiple of 4.
    std::string url = static_cast<char>(std::string(SUPPORT_URL).size()) + std::string(SUPPORT_URL);
    url.resize((url.size() + 3) / 4 * 4, '\0');

    std::string pipl = Bytes("\x01\x00", 2) + Le32(0) + Le32(13);
    pipl += Property("dnik", "TKFe");
    pipl += Property("eman", Bytes("\x0A" "Quaverflux" "\x00", 12));
    pipl += Property("gtac", Bytes("\x07" "Distort", 8));
    pipl += Property("4668", Bytes("EffectMain\x00\x00", 12));
    pipl += Property("RVPe", Bytes("\x02\x00\x00\x00", 4));
    pipl += Property("RVSe", Bytes("\x0D\x00\x1C\x00", 4));
    pipl += Property("REVe", Bytes("\x01\x06\x08\x00", 4));
    pipl += Property("FNIe", Bytes("\x00\x00\x00\x00", 4));
    pipl += Property("OLGe", Bytes("\x04\x80\x00\x06", 4));
    pipl += Property("2LGe", Bytes("\x09\x14\x00\x0A", 4));
    pipl += Property("ANMe", Bytes("\x0F" "QVFX Quaverflux", 16));
    pipl += Property("LFea", Bytes("\x08\x00\x00\x00", 4));
    pipl += Property("LRUe", url);
    return std::vector<std::uint8_t>(pipl.begin(), pipl.end());
}

// The first differing byte, for a readable failure.
std::string FirstDifference(const std::vector<std::uint8_t>& expected, const std::vector<std::uint8_t>& actual)
{
    const std::size_t n = std::min(expected.size(), actual.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (expected[i] != actual[i]) {
            char text[96];
            std::snprintf(text, sizeof text, "byte %zu: expected 0x%02X, got 0x%02X", i, expected[i], actual[i]);
            return text;
        }
    }
    return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size());
}

std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// ---- the generator, run here: needs no Windows build ----

TEST(PiplGenerator, WritesTheExpectedBytes)
{
    const std::filesystem::path dir = std::filesystem::path(QF_TEST_OUTPUT_DIR) / "generated_resources";
    std::filesystem::create_directories(dir);
    const std::string pipl = (dir / "Quaverflux.pipl").string();
    const std::string rc = (dir / "Quaverflux.rc").string();
    const std::string command = "'" + std::string(QF_MAKE_RESOURCES) + "' --pipl '" + pipl + "' --rc '" + rc + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const std::vector<std::uint8_t> expected = ExpectedPipl();
    const std::vector<std::uint8_t> actual = ReadAll(pipl);
    EXPECT_EQ(actual, expected) << FirstDifference(expected, actual);

    // The script carries the PiPL file as a resource of type "PIPL", id 16000, in US English.
    std::ifstream in(rc);
    const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(script.find("LANGUAGE 9, 1\n"), std::string::npos) << script;
    EXPECT_NE(script.find("16000 PIPL \"" + pipl + "\"\n"), std::string::npos) << script;
}

// ---- the built plug-in file ----

class WindowsPlugin : public ::testing::Test {
protected:
    void SetUp() override { Load(PLUGIN); }

    void Load(const std::string& path)
    {
        if (!std::filesystem::exists(path)) {
            // CI sets QF_REQUIRE_WINDOWS_BUILD (test preset windows-check): there a missing file fails.
            const char* required = std::getenv("QF_REQUIRE_WINDOWS_BUILD");
            const std::string why = "no Windows build: " + path + " is missing (build the windows preset, see README.md)";
            if (required && std::string(required) == "1")
                FAIL() << why;
            GTEST_SKIP() << why;
        }
        file.emplace(PeFile::Load(path));
    }

    std::optional<PeFile> file;
};

// The OpenFX bundle's Windows binary: found by hosts under Contents/Win64, it exports the two OpenFX
// entry points alone and needs only DLLs every Windows has.
class WindowsOfxBinary : public WindowsPlugin {
protected:
    void SetUp() override { Load(OFX_BINARY); }
};

TEST_F(WindowsOfxBinary, IsAnX64DllExportingTheTwoOpenFxEntryPoints)
{
    const std::filesystem::path path(OFX_BINARY);
    EXPECT_EQ(path.filename(), "Quaverflux.ofx");
    EXPECT_EQ(path.parent_path().filename(), "Win64");
    EXPECT_EQ(path.parent_path().parent_path().parent_path().filename(), "Quaverflux.ofx.bundle");
    EXPECT_EQ(file->machine(), MACHINE_AMD64);
    EXPECT_EQ(file->characteristics() & FILE_DLL, FILE_DLL);
    const std::vector<std::string> names = file->ExportNames();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"OfxGetNumberOfPlugins", "OfxGetPlugin"}));
    EXPECT_EQ(file->ExportFunctionCount(), 2u) << "exports without a name";
    for (const auto& [dll, functions] : file->Imports()) {
        EXPECT_TRUE(Lower(dll) == "kernel32.dll" || Lower(dll) == "msvcrt.dll") << "imports " << dll;
    }
}

TEST_F(WindowsPlugin, IsAnX64Dll)
{
    EXPECT_EQ(std::filesystem::path(PLUGIN).filename(), "Quaverflux.aex");
    EXPECT_EQ(file->machine(), MACHINE_AMD64);
    EXPECT_EQ(file->optional_magic(), 0x20B);
    EXPECT_EQ(file->characteristics() & (FILE_DLL | FILE_EXECUTABLE_IMAGE), FILE_DLL | FILE_EXECUTABLE_IMAGE);
    // Loaded at any address, data never executable: what current hosts require of their plug-ins.
    const std::uint16_t wanted = DLL_HIGH_ENTROPY_VA | DLL_DYNAMIC_BASE | DLL_NX_COMPAT;
    EXPECT_EQ(file->dll_characteristics() & wanted, wanted);
}

TEST_F(WindowsPlugin, ExportsExactlyTheTwoEntryPoints)
{
    const std::vector<std::string> names = file->ExportNames();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"EffectMain", "PluginDataEntryFunction2"}));
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(file->ExportFunctionCount(), 2u) << "exports without a name";
}

TEST_F(WindowsPlugin, ImportsOnlySystemDlls)
{
    // KERNEL32 and the C runtime every Windows has; SHELL32 for opening the maker's web page. The C++
    // runtime, libgcc and winpthread are linked in: no DLL of the compiler's may be needed.
    const std::set<std::string> allowed = {"kernel32.dll", "msvcrt.dll", "shell32.dll"};
    const auto imports = file->Imports();
    std::set<std::string> dlls;
    for (const auto& [dll, functions] : imports) {
        dlls.insert(Lower(dll));
        EXPECT_TRUE(allowed.count(Lower(dll))) << "imports " << dll;
    }
    EXPECT_TRUE(dlls.count("kernel32.dll"));
    EXPECT_FALSE(file->HasDelayImports());
}

TEST_F(WindowsPlugin, PlatformSeamsAreTheWindowsCalls)
{
    // The GPU runtimes, the log folder and the web page reach Windows through exactly these calls; a
    // missing one means a seam was built with another platform's branch.
    std::map<std::string, std::set<std::string>> imported;
    for (const auto& [dll, functions] : file->Imports())
        imported[Lower(dll)].insert(functions.begin(), functions.end());
    for (const char* call : {"GetModuleHandleW", "LoadLibraryExW", "GetProcAddress", "GetTempPathA"})
        EXPECT_TRUE(imported["kernel32.dll"].count(call)) << "KERNEL32.dll!" << call;
    EXPECT_TRUE(imported["shell32.dll"].count("ShellExecuteA")) << "SHELL32.dll!ShellExecuteA";
}

TEST_F(WindowsPlugin, CarriesThePipl)
{
    const PeFile::ResourceKey type = Utf16("PIPL");
    EXPECT_EQ(file->ResourceLanguages(type, 16000u), std::vector<std::uint32_t>{LANGUAGE_EN_US});
    const auto pipl = file->Resource(type, 16000u, LANGUAGE_EN_US);
    ASSERT_TRUE(pipl) << "no resource PIPL / 16000 / 1033";
    const std::vector<std::uint8_t> expected = ExpectedPipl();
    EXPECT_EQ(*pipl, expected) << FirstDifference(expected, *pipl);
}

TEST_F(WindowsPlugin, CarriesTheVersionResource)
{
    EXPECT_EQ(file->ResourceLanguages(RT_VERSION, 1u), std::vector<std::uint32_t>{LANGUAGE_EN_US});
    const auto data = file->Resource(RT_VERSION, 1u, LANGUAGE_EN_US);
    ASSERT_TRUE(data) << "no version resource 1 / 1033";
    const VersionNode root = ParseVersionResource(*data);
    EXPECT_EQ(Ascii(root.key), "VS_VERSION_INFO");

    // VS_FIXEDFILEINFO: signature, structure version, then the words checked below.
    ASSERT_EQ(root.value.size(), 52u);
    auto word = [&](int index) {
        std::uint32_t v = 0;
        for (int b = 3; b >= 0; --b)
            v = (v << 8) | root.value[4 * index + b];
        return v;
    };
    EXPECT_EQ(word(0), 0xFEEF04BDu);
    EXPECT_EQ(word(2), 0x00010000u) << "file version 1.0";
    EXPECT_EQ(word(3), 0x00000001u) << "file version .0.1";
    EXPECT_EQ(word(4), 0x00010000u) << "product version 1.0";
    EXPECT_EQ(word(5), 0x00000001u) << "product version .0.1";
    EXPECT_EQ(word(6), 0x3Fu) << "flags mask";
    EXPECT_EQ(word(7), 0u) << "flags";
    EXPECT_EQ(word(8), 0x00040004u) << "VOS_NT_WINDOWS32";
    EXPECT_EQ(word(9), 2u) << "VFT_DLL";

    const VersionNode* strings = root.Child(u"StringFileInfo");
    ASSERT_TRUE(strings);
    const VersionNode* table = strings->Child(u"040904b0");
    ASSERT_TRUE(table) << "no string table 040904b0";
    const std::pair<const char*, std::string> expected[] = {
        {"CompanyName", "Tessaloom"},
        {"FileDescription", "Quaverflux - After Effects effect"},
        {"FileVersion", "1.0.0"},
        {"InternalName", "Quaverflux"},
        {"LegalCopyright", COPYRIGHT},
        {"OriginalFilename", "Quaverflux.aex"},
        {"ProductName", "Quaverflux"},
        {"ProductVersion", "1.0.0"},
        {"Comments", SUPPORT_URL},
    };
    for (const auto& [key, value] : expected) {
        const VersionNode* entry = table->Child(Utf16(key));
        ASSERT_TRUE(entry) << "no " << key;
        EXPECT_TRUE(entry->is_text) << key;
        EXPECT_EQ(Ascii(entry->Text()), value) << key;
    }
    EXPECT_EQ(table->children.size(), std::size(expected));

    const VersionNode* vars = root.Child(u"VarFileInfo");
    ASSERT_TRUE(vars);
    const VersionNode* translation = vars->Child(u"Translation");
    ASSERT_TRUE(translation);
    EXPECT_EQ(translation->value, (std::vector<std::uint8_t>{0x09, 0x04, 0xB0, 0x04})) << "0x0409, code page 1200";
}

}   // namespace
