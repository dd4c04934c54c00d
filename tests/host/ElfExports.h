// The names a Linux shared object exports, read straight from its ELF dynamic symbol table: what a host
// that loads it can find.
#pragma once

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace elf_exports_detail {

template <typename T>
inline T Read(const std::vector<char>& file, std::size_t offset)
{
    T value;
    if (offset + sizeof value > file.size()) {
        throw std::runtime_error("truncated ELF file");
    }
    std::memcpy(&value, file.data() + offset, sizeof value);
    return value;
}

}   // namespace elf_exports_detail

// Names of the symbols the module defines and exports (global or weak, not undefined).
inline std::set<std::string> ExportedSymbols(const std::string& path)
{
    using elf_exports_detail::Read;
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
