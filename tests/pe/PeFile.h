// A small reader of PE32+ files (Windows x86-64 executables and DLLs), enough to check what a host sees
// of the plug-in before it runs any of its code: the headers, the export and import tables and the
// resources. Every read is bounds-checked; a malformed file throws std::runtime_error.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class PeFile {
public:
    static PeFile Load(const std::string& path);
    explicit PeFile(std::vector<std::uint8_t> bytes);

    std::uint16_t machine() const { return machine_; }
    std::uint16_t characteristics() const { return characteristics_; }   // IMAGE_FILE_*
    std::uint16_t optional_magic() const { return magic_; }              // 0x20B for PE32+
    std::uint16_t dll_characteristics() const { return dll_characteristics_; }

    // Names in the export name table, in table order; `function_count` counts every exported address,
    // named or not.
    std::vector<std::string> ExportNames() const;
    std::uint32_t ExportFunctionCount() const;
    // Imported functions by DLL name as the file spells it; an import by ordinal reads "#<n>".
    std::map<std::string, std::vector<std::string>> Imports() const;
    bool HasDelayImports() const;

    // A resource type or name: a number or a string.
    using ResourceKey = std::variant<std::uint32_t, std::u16string>;
    // The languages under type / name, in directory order.
    std::vector<std::uint32_t> ResourceLanguages(const ResourceKey& type, const ResourceKey& name) const;
    // The data of one resource, or nothing when the directory has no such entry.
    std::optional<std::vector<std::uint8_t>> Resource(const ResourceKey& type, const ResourceKey& name,
                                                      std::uint32_t language) const;

private:
    struct DataDirectory {
        std::uint32_t rva = 0, size = 0;
    };
    struct Section {
        std::uint32_t virtual_address, virtual_size, raw_offset, raw_size;
    };
    struct ResourceEntry {
        ResourceKey key;
        bool is_directory;
        std::uint32_t offset;   // from the start of the resource directory
    };

    template <typename T>
    T Read(std::size_t offset) const;
    std::size_t Offset(std::uint32_t rva) const;   // file offset of an address in a section
    std::string CString(std::uint32_t rva) const;
    DataDirectory Directory(int index) const;
    std::vector<ResourceEntry> ResourceDirectory(std::uint32_t offset) const;
    std::optional<ResourceEntry> FindResource(std::uint32_t directory, const ResourceKey& key) const;

    std::vector<std::uint8_t> bytes_;
    std::uint16_t machine_ = 0, characteristics_ = 0, magic_ = 0, dll_characteristics_ = 0;
    std::vector<DataDirectory> directories_;
    std::vector<Section> sections_;
};

// One node of a version resource (VS_VERSIONINFO and everything under it): key, value and children.
struct VersionNode {
    std::u16string key;
    bool is_text = false;
    std::vector<std::uint8_t> value;   // binary value; for text, the UTF-16 code units as bytes
    std::vector<VersionNode> children;

    std::u16string Text() const;   // a text value without its terminator
    const VersionNode* Child(const std::u16string& child_key) const;
};

// Parses a version resource; throws std::runtime_error when a length runs past its parent.
VersionNode ParseVersionResource(const std::vector<std::uint8_t>& data);

// ASCII text as UTF-16, for comparing with keys and values read from a file.
std::u16string Utf16(const std::string& ascii);
std::string Ascii(const std::u16string& text);
