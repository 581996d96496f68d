// Replays inputs through the fuzz targets without libFuzzer, for the regression suite:
//   recite-fuzz-replay TARGET PATH...   (a directory stands for every file in it, a missing one for none)
//   recite-fuzz-replay --list
//   recite-fuzz-replay --seeds DIR      (writes generated seeds into DIR/<target>/)
// A target that rejects an input with a fatal error passes; a crash or sanitizer report fails.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzzSupport.h"

namespace fs = std::filesystem;

namespace fuzz {
void writeSeeds(const std::string& dir);
}

int main(int argc, char** argv)
{
    const auto targets = fuzz::registeredTargets();
    if (argc == 2 && std::string(argv[1]) == "--list") {
        for (const auto& target : targets)
            std::printf("%s\n", target.first.c_str());
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--seeds") {
        const std::string dir = fs::absolute(argv[2]).string();
        fuzz::writeSeeds(dir);
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "Usage: %s TARGET PATH...\n       %s --list\n       %s --seeds DIR\n", argv[0], argv[0], argv[0]);
        return 2;
    }
    const std::string name = argv[1];
    const auto target = std::find_if(targets.begin(), targets.end(), [&](const auto& t) { return t.first == name; });
    if (target == targets.end()) {
        std::fprintf(stderr, "%s: no target \"%s\" (see --list)\n", argv[0], name.c_str());
        return 2;
    }

    std::vector<fs::path> inputs;
    for (int i = 2; i < argc; ++i) {
        const fs::path path = fs::absolute(argv[i]);
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            std::vector<fs::path> files;
            for (const fs::directory_entry& entry : fs::directory_iterator(path))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else if (fs::exists(path, ec)) {
            inputs.push_back(path);
        }
    }

    std::printf("%s: %zu input(s)\n", name.c_str(), inputs.size());
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: can't read %s\n", argv[0], path.c_str());
            return 2;
        }
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::printf("== %s (%zu bytes)\n", path.c_str(), bytes.size());
        std::fflush(stdout);
        fuzz::runOne(target->second, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%s: every input passed\n", name.c_str());
    return 0;
}
