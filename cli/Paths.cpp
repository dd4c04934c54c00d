// File names for the command line.
#include "Paths.h"

#include "CliError.h"
#include "Platform.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> g_pending_count{0};

}   // namespace

PendingFile::PendingFile(const std::string& target) : target_(target)
{
    const fs::path path(target);
    // ".name.ext.part-PID-N.ext": hidden, unique to this process and file, and the extension still last.
    const std::string name = "." + path.filename().string() + ".part-" + std::to_string(ProcessNumber()) + "-" +
                             std::to_string(g_pending_count++) + path.extension().string();
    temporary_ = (path.parent_path() / name).string();
}

PendingFile::~PendingFile()
{
    if (!committed_) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
    }
}

void PendingFile::Commit()
{
    if (!ReplaceFile(temporary_, target_)) {
        throw CliError("cannot write " + target_ + ": " + std::strerror(errno));
    }
    committed_ = true;
}

namespace {

// The canonical form where the file system can tell it, else the plain normalised absolute path.
fs::path Canonical(const std::string& path)
{
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        absolute = fs::path(path);
    }
    fs::path canonical = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : canonical;
}

}   // namespace

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code error;
    if (fs::exists(a, error) && fs::exists(b, error) && fs::equivalent(a, b, error)) {
        return true;
    }
    return Canonical(a) == Canonical(b);
}

void CheckWritableFolder(const std::string& path)
{
    const fs::path folder = fs::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::is_directory(folder, error)) {
        throw CliError("cannot write " + path + ": no folder " + folder.string());
    }
    if (!FolderWritable(folder.empty() ? "." : folder.string())) {
        throw CliError("cannot write " + path + ": " + std::strerror(errno));
    }
}

std::string LowerExtension(const std::string& path)
{
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}
