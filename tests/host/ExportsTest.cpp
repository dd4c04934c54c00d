// The module shows a host exactly its two entry points: read straight from its ELF dynamic symbol table.
#include <gtest/gtest.h>

#if defined(__linux__)
#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

template <typename T>
T Read(const std::vector<char>& file, std::size_t offset)
{
    T value;
    if (offset + sizeof value > file.size()) {
        throw std::runtime_error("truncated ELF file");
    }
    std::memcpy(&value, file.data() + offset, sizeof value);
    return value;
}

// Names of the symbols the module defines and exports (global or weak, not undefined).
std::set<std::string> ExportedSymbols(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto header = Read<Elf64_Ehdr>(file, 0);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) {
        throw std::runtime_error("not a 64-bit ELF file");
    }
    std::set<std::string> names;
    for (int s = 0; s < header.e_shnum; ++s) {
        const auto section = Read<Elf64_Shdr>(file, header.e_shoff + s * sizeof(Elf64_Shdr));
        if (section.sh_type != SHT_DYNSYM) {
            continue;
        }
        const auto strings = Read<Elf64_Shdr>(file, header.e_shoff + section.sh_link * sizeof(Elf64_Shdr));
        for (std::size_t at = 0; at + sizeof(Elf64_Sym) <= section.sh_size; at += sizeof(Elf64_Sym)) {
            const auto symbol = Read<Elf64_Sym>(file, section.sh_offset + at);
            const int binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) {
                continue;
            }
            names.insert(std::string(file.data() + strings.sh_offset + symbol.st_name));
        }
    }
    return names;
}

TEST(ModuleExports, ExactlyTheTwoEntryPoints)
{
    const std::string path = QF_MODULE_PATH;
    EXPECT_EQ(path.substr(path.find_last_of('/') + 1), "Quaverflux.so");
    const std::set<std::string> expected = {"EffectMain", "PluginDataEntryFunction2"};
    EXPECT_EQ(ExportedSymbols(path), expected);
}

}   // namespace
#endif
