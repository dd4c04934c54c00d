// File names: writing through a temporary file beside the target, and telling whether two spellings name
// the same file.
#pragma once

#include <string>

// A file about to replace `target`: written under a hidden temporary name in the same folder (so the final
// rename never crosses file systems), renamed over the target by Commit(), removed if never committed.
// The temporary name keeps the target's extension, which tells image writers the format.
class PendingFile {
public:
    explicit PendingFile(const std::string& target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return temporary_; }   // where to write
    const std::string& target() const { return target_; }
    // Puts the written file in the target's place; throws CliError when the rename fails.
    void Commit();

private:
    std::string target_;
    std::string temporary_;
    bool committed_ = false;
};

// Whether the two paths name one file: the same canonical path (through "..", "." and symbolic links), or
// the same file on disk (hard links). A path that does not exist yet is compared by the canonical form of
// its folder.
bool SameFile(const std::string& a, const std::string& b);

// Throws CliError when the folder a file is to be written in does not exist or cannot be written.
void CheckWritableFolder(const std::string& path);

// The file's extension in lower case, with its dot: ".png"; empty when it has none.
std::string LowerExtension(const std::string& path);
