// The layering check: DEPS rules per top-level folder, and circles of includes between files.
#include "Layering.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace {

bool IsSource(const fs::path& path)
{
    static const std::set<std::string> EXTENSIONS = {".h", ".hpp", ".c", ".cc", ".cpp", ".cl", ".cu", ".inc"};
    return EXTENSIONS.count(path.extension().string()) != 0;
}

// Top-level folders the check never reads: build trees and hidden folders.
bool IsSkipped(const std::string& top)
{
    return top.empty() || top[0] == '.' || top.rfind("build", 0) == 0;
}

std::string TopFolder(const std::string& relative)
{
    return relative.substr(0, relative.find('/'));
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The folders (or sub-folders) a DEPS file lists, one a line; '#' starts a comment.
std::vector<std::string> ReadDeps(const fs::path& file)
{
    std::vector<std::string> allowed;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        line.erase(std::remove_if(line.begin(), line.end(), [](unsigned char c) { return std::isspace(c); }),
                   line.end());
        if (!line.empty()) {
            allowed.push_back(line);
        }
    }
    return allowed;
}

std::vector<std::string> IncludedNames(const fs::path& file)
{
    static const std::regex INCLUDE(R"(^\s*#\s*include\s*[<"]([^">]+)[">])");
    std::vector<std::string> names;
    std::ifstream in(file);
    std::smatch match;
    for (std::string line; std::getline(in, line);) {
        if (std::regex_search(line, match, INCLUDE)) {
            names.push_back(match[1]);
        }
    }
    return names;
}

struct Tree {
    std::set<std::string> files;                            // relative paths, '/' separated
    std::map<std::string, std::vector<std::string>> edges;  // file -> files it includes
};

// Every tree file `name` may mean when `from` includes it; empty when the tree has none.
std::vector<std::string> Resolve(const Tree& tree, const std::string& from, const std::string& name)
{
    const std::string beside = (fs::path(from).parent_path() / name).lexically_normal().generic_string();
    if (tree.files.count(beside)) {
        return {beside};
    }
    if (tree.files.count(name)) {
        return {name};
    }
    std::vector<std::string> found, own;
    for (const std::string& file : tree.files) {
        if (EndsWith(file, "/" + name)) {
            found.push_back(file);
            if (TopFolder(file) == TopFolder(from)) {
                own.push_back(file);
            }
        }
    }
    return own.size() == 1 ? own : found;
}

bool Allowed(const std::vector<std::string>& deps, const std::string& target)
{
    for (const std::string& rule : deps) {
        if (TopFolder(target) == rule || target.rfind(rule + "/", 0) == 0) {
            return true;
        }
    }
    return false;
}

// Depth-first search for circles; each is reported once, from the file where the search met it.
void FindCircles(const Tree& tree, std::vector<std::string>& faults)
{
    std::map<std::string, int> state;   // 1: on the current path, 2: done
    std::vector<std::string> path;
    std::function<void(const std::string&)> visit = [&](const std::string& file) {
        state[file] = 1;
        path.push_back(file);
        const auto it = tree.edges.find(file);
        for (const std::string& next : it == tree.edges.end() ? std::vector<std::string>{} : it->second) {
            if (state[next] == 1) {
                std::string circle;
                for (auto at = std::find(path.begin(), path.end(), next); at != path.end(); ++at) {
                    circle += *at + " -> ";
                }
                faults.push_back("include circle: " + circle + next);
            } else if (state[next] == 0) {
                visit(next);
            }
        }
        path.pop_back();
        state[file] = 2;
    };
    for (const std::string& file : tree.files) {
        if (state[file] == 0) {
            visit(file);
        }
    }
}

}   // namespace

std::vector<std::string> CheckLayering(const fs::path& root)
{
    Tree tree;
    std::set<std::string> tops;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = fs::relative(it->path(), root).generic_string();
        if (it->is_directory() && relative.find('/') == std::string::npos && IsSkipped(relative)) {
            it.disable_recursion_pending();
        } else if (it->is_regular_file() && relative.find('/') != std::string::npos && IsSource(it->path())) {
            tree.files.insert(relative);
            tops.insert(TopFolder(relative));
        }
    }

    std::vector<std::string> faults;
    std::map<std::string, std::vector<std::string>> deps;
    for (const std::string& top : tops) {
        if (!fs::exists(root / top / "DEPS")) {
            faults.push_back(top + "/ has no DEPS file");
        }
        deps[top] = ReadDeps(root / top / "DEPS");
    }
    for (const std::string& file : tree.files) {
        for (const std::string& name : IncludedNames(root / file)) {
            const std::vector<std::string> targets = Resolve(tree, file, name);
            if (targets.size() > 1) {
                faults.push_back(file + ": \"" + name + "\" names " + std::to_string(targets.size()) +
                                 " files (" + targets[0] + ", " + targets[1] + ")");
                continue;
            }
            if (targets.empty()) {
                continue;
            }
            const std::string& target = targets[0];
            tree.edges[file].push_back(target);
            if (TopFolder(target) != TopFolder(file) && !Allowed(deps[TopFolder(file)], target)) {
                faults.push_back(file + " includes " + target + ", which " + TopFolder(file) +
                                 "/DEPS does not allow");
            }
        }
    }
    FindCircles(tree, faults);
    return faults;
}
