// PE32+ reading: headers, sections, exports, imports and the resource tree.
#include "PeFile.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

constexpr std::uint16_t PE32_PLUS_MAGIC = 0x20B;
constexpr int EXPORT_DIRECTORY = 0;
constexpr int IMPORT_DIRECTORY = 1;
constexpr int RESOURCE_DIRECTORY = 2;
constexpr int DELAY_IMPORT_DIRECTORY = 13;
constexpr std::uint32_t HIGH_BIT = 0x80000000u;

}   // namespace

PeFile PeFile::Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return PeFile(std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

PeFile::PeFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes))
{
    if (bytes_.size() < 64 || bytes_[0] != 'M' || bytes_[1] != 'Z')
        throw std::runtime_error("no MZ header");
    const std::uint32_t pe = Read<std::uint32_t>(0x3C);
    if (Read<std::uint32_t>(pe) != 0x00004550)   // "PE\0\0"
        throw std::runtime_error("no PE signature");
    const std::size_t coff = pe + 4;
    machine_ = Read<std::uint16_t>(coff);
    const std::uint16_t section_count = Read<std::uint16_t>(coff + 2);
    const std::uint16_t optional_size = Read<std::uint16_t>(coff + 16);
    characteristics_ = Read<std::uint16_t>(coff + 18);

    const std::size_t optional = coff + 20;
    magic_ = Read<std::uint16_t>(optional);
    if (magic_ != PE32_PLUS_MAGIC)
        throw std::runtime_error("not a PE32+ image");
    dll_characteristics_ = Read<std::uint16_t>(optional + 70);
    const std::uint32_t directory_count = Read<std::uint32_t>(optional + 108);
    for (std::uint32_t i = 0; i < directory_count && 112 + 8 * (i + 1) <= optional_size; ++i)
        directories_.push_back({Read<std::uint32_t>(optional + 112 + 8 * i), Read<std::uint32_t>(optional + 116 + 8 * i)});

    const std::size_t table = optional + optional_size;
    for (std::uint16_t s = 0; s < section_count; ++s) {
        const std::size_t at = table + 40u * s;
        sections_.push_back({Read<std::uint32_t>(at + 12), Read<std::uint32_t>(at + 8), Read<std::uint32_t>(at + 20),
                             Read<std::uint32_t>(at + 16)});
    }
}

template <typename T>
T PeFile::Read(std::size_t offset) const
{
    T value;
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof value)
        throw std::runtime_error("read past the end of the file");
    std::memcpy(&value, bytes_.data() + offset, sizeof value);   // the file is little-endian, like the test host
    return value;
}

std::size_t PeFile::Offset(std::uint32_t rva) const
{
    for (const Section& s : sections_) {
        if (rva >= s.virtual_address && rva - s.virtual_address < s.raw_size)
            return s.raw_offset + (rva - s.virtual_address);
    }
    throw std::runtime_error("address outside every section's file data");
}

std::string PeFile::CString(std::uint32_t rva) const
{
    std::size_t at = Offset(rva);
    std::string text;
    while (at < bytes_.size() && bytes_[at] != 0)
        text += static_cast<char>(bytes_[at++]);
    if (at >= bytes_.size())
        throw std::runtime_error("unterminated string");
    return text;
}

PeFile::DataDirectory PeFile::Directory(int index) const
{
    return index < static_cast<int>(directories_.size()) ? directories_[index] : DataDirectory{};
}

std::vector<std::string> PeFile::ExportNames() const
{
    const DataDirectory dir = Directory(EXPORT_DIRECTORY);
    std::vector<std::string> names;
    if (dir.rva == 0)
        return names;
    const std::size_t at = Offset(dir.rva);
    const std::uint32_t name_count = Read<std::uint32_t>(at + 24);
    const std::uint32_t name_table = Read<std::uint32_t>(at + 32);
    for (std::uint32_t i = 0; i < name_count; ++i)
        names.push_back(CString(Read<std::uint32_t>(Offset(name_table) + 4 * i)));
    return names;
}

std::uint32_t PeFile::ExportFunctionCount() const
{
    const DataDirectory dir = Directory(EXPORT_DIRECTORY);
    return dir.rva == 0 ? 0 : Read<std::uint32_t>(Offset(dir.rva) + 20);
}

std::map<std::string, std::vector<std::string>> PeFile::Imports() const
{
    std::map<std::string, std::vector<std::string>> imports;
    const DataDirectory dir = Directory(IMPORT_DIRECTORY);
    if (dir.rva == 0)
        return imports;
    for (std::size_t at = Offset(dir.rva);; at += 20) {
        const std::uint32_t lookup = Read<std::uint32_t>(at);
        const std::uint32_t name = Read<std::uint32_t>(at + 12);
        const std::uint32_t first_thunk = Read<std::uint32_t>(at + 16);
        if (name == 0 && first_thunk == 0)
            break;
        std::vector<std::string>& functions = imports[CString(name)];
        for (std::size_t thunk = Offset(lookup != 0 ? lookup : first_thunk);; thunk += 8) {
            const std::uint64_t entry = Read<std::uint64_t>(thunk);
            if (entry == 0)
                break;
            if (entry >> 63)
                functions.push_back("#" + std::to_string(entry & 0xFFFF));
            else
                functions.push_back(CString(static_cast<std::uint32_t>(entry) + 2));   // after the hint
        }
    }
    return imports;
}

bool PeFile::HasDelayImports() const
{
    return Directory(DELAY_IMPORT_DIRECTORY).rva != 0;
}

std::vector<PeFile::ResourceEntry> PeFile::ResourceDirectory(std::uint32_t offset) const
{
    const DataDirectory dir = Directory(RESOURCE_DIRECTORY);
    if (dir.rva == 0)
        return {};
    const std::size_t base = Offset(dir.rva);
    const std::size_t at = base + offset;
    const std::uint32_t count = std::uint32_t(Read<std::uint16_t>(at + 12)) + Read<std::uint16_t>(at + 14);
    std::vector<ResourceEntry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t name = Read<std::uint32_t>(at + 16 + 8 * i);
        const std::uint32_t target = Read<std::uint32_t>(at + 20 + 8 * i);
        ResourceEntry entry{std::uint32_t(0), (target & HIGH_BIT) != 0, target & ~HIGH_BIT};
        if (name & HIGH_BIT) {
            // A name: a 16-bit length, then that many UTF-16 units, no terminator.
            const std::size_t text = base + (name & ~HIGH_BIT);
            std::u16string key;
            const std::uint16_t length = Read<std::uint16_t>(text);
            for (std::uint16_t c = 0; c < length; ++c)
                key += static_cast<char16_t>(Read<std::uint16_t>(text + 2 + 2 * c));
            entry.key = key;
        } else {
            entry.key = name;
        }
        entries.push_back(entry);
    }
    return entries;
}

std::optional<PeFile::ResourceEntry> PeFile::FindResource(std::uint32_t directory, const ResourceKey& key) const
{
    for (const ResourceEntry& e : ResourceDirectory(directory)) {
        if (e.key == key)
            return e;
    }
    return std::nullopt;
}

std::vector<std::uint32_t> PeFile::ResourceLanguages(const ResourceKey& type, const ResourceKey& name) const
{
    std::vector<std::uint32_t> languages;
    const auto by_type = FindResource(0, type);
    if (!by_type || !by_type->is_directory)
        return languages;
    const auto by_name = FindResource(by_type->offset, name);
    if (!by_name || !by_name->is_directory)
        return languages;
    for (const ResourceEntry& e : ResourceDirectory(by_name->offset)) {
        if (const auto* id = std::get_if<std::uint32_t>(&e.key))
            languages.push_back(*id);
    }
    return languages;
}

std::optional<std::vector<std::uint8_t>> PeFile::Resource(const ResourceKey& type, const ResourceKey& name,
                                                          std::uint32_t language) const
{
    const auto by_type = FindResource(0, type);
    if (!by_type || !by_type->is_directory)
        return std::nullopt;
    const auto by_name = FindResource(by_type->offset, name);
    if (!by_name || !by_name->is_directory)
        return std::nullopt;
    const auto by_language = FindResource(by_name->offset, language);
    if (!by_language || by_language->is_directory)
        return std::nullopt;
    const std::size_t entry = Offset(Directory(RESOURCE_DIRECTORY).rva) + by_language->offset;
    const std::uint32_t rva = Read<std::uint32_t>(entry);
    const std::uint32_t size = Read<std::uint32_t>(entry + 4);
    const std::size_t at = Offset(rva);
    if (at > bytes_.size() || bytes_.size() - at < size)
        throw std::runtime_error("resource data past the end of the file");
    return std::vector<std::uint8_t>(bytes_.begin() + at, bytes_.begin() + at + size);
}

// ---- version resources ----

namespace {

std::uint16_t Word(const std::vector<std::uint8_t>& data, std::size_t at)
{
    if (at + 2 > data.size())
        throw std::runtime_error("version resource truncated");
    return static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8));
}

std::size_t Align4(std::size_t at)
{
    return (at + 3) & ~std::size_t(3);
}

// One node at `at`, no further than `end`; returns the offset after it.
std::size_t ParseNode(const std::vector<std::uint8_t>& data, std::size_t at, std::size_t end, VersionNode& node)
{
    const std::size_t length = Word(data, at);
    const std::size_t value_length = Word(data, at + 2);
    node.is_text = Word(data, at + 4) == 1;
    if (length < 6 || at + length > end)
        throw std::runtime_error("version node runs past its parent");
    const std::size_t node_end = at + length;
    std::size_t p = at + 6;
    for (std::uint16_t c; (c = Word(data, p)) != 0; p += 2)
        node.key += static_cast<char16_t>(c);
    p = Align4(p + 2);
    // A text value's length counts UTF-16 units, a binary value's bytes.
    const std::size_t value_bytes = node.is_text ? 2 * value_length : value_length;
    if (p + value_bytes > node_end)
        throw std::runtime_error("version value runs past its node");
    node.value.assign(data.begin() + p, data.begin() + p + value_bytes);
    p = Align4(p + value_bytes);
    while (p < node_end) {
        VersionNode child;
        p = Align4(ParseNode(data, p, node_end, child));
        node.children.push_back(std::move(child));
    }
    return node_end;
}

}   // namespace

VersionNode ParseVersionResource(const std::vector<std::uint8_t>& data)
{
    VersionNode root;
    ParseNode(data, 0, data.size(), root);
    return root;
}

std::u16string VersionNode::Text() const
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(value[i] | (value[i + 1] << 8));
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

const VersionNode* VersionNode::Child(const std::u16string& child_key) const
{
    for (const VersionNode& c : children) {
        if (c.key == child_key)
            return &c;
    }
    return nullptr;
}

std::u16string Utf16(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Ascii(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}
