// Replays fuzz inputs through the same harness without libFuzzer: every file named, and every file inside
// every folder named, in name order. A broken rule aborts the process, naming the steps of the input.
#include "FuzzHarness.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        if (!fs::exists(path)) {
            std::printf("%s: none\n", path.string().c_str());   // an empty folder is not kept by git
            continue;
        }
        if (fs::is_directory(path)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    inputs.push_back(entry.path());
                }
            }
        } else {
            inputs.push_back(path);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...: no inputs found\n", argv[0]);
        return 2;
    }
    FuzzSetUp();
    for (const fs::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        std::printf("%s (%zu bytes)\n", path.filename().string().c_str(), bytes.size());
        std::fflush(stdout);
        FuzzOneInput(bytes.data(), bytes.size());
        std::printf("  steps:%s\n", FuzzTrace().c_str());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
