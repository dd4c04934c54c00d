// The source tree's layering as data: which top-level folder each file belongs to, what each of its
// #include lines resolves to inside the tree, and which of those cross a folder's DEPS rules or close a
// circle of files including each other.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Reads every source file below `root` (build folders and hidden folders left out) and returns one line per
// fault, empty when the tree keeps its rules:
// - a top-level folder holding source files without a DEPS file;
// - an include that resolves to a file of another top-level folder that the includer's DEPS does not list
//   (a DEPS line names a folder, or a sub-folder such as "sdk/adobesdk" to allow only that part of it);
// - an include that matches files in several folders, so the include path alone decides which is meant;
// - a circle of files including each other.
// Includes are resolved as the compiler would meet them: beside the including file, from the tree's root,
// then by the trailing path below any folder (own folder first). Names found nowhere in the tree belong to
// the system and are not checked.
std::vector<std::string> CheckLayering(const std::filesystem::path& root);
