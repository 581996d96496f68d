// Load time of a large model set from the text and from the binary macro form.
#include "benchTiming.h"
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "model/macro.h"
#include "support/syntheticModels.h"

namespace {


} // namespace

int main()
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path();
    const std::string text = (dir / "recite-bench-models.mac").string();
    const std::string binary = (dir / "recite-bench-models.macb").string();
    {
        std::ofstream out(text, std::ios::binary);
        out << syntheticMacroText(2000, 3, 32, 5);
    }
    {
        macroClass models;
        models.macReadText(text);
        models.macWriteBinary(binary);
    }
    const double textSeconds = bestSeconds([&] {
        macroClass models;
        models.macRead(text);
    });
    const double binarySeconds = bestSeconds([&] {
        macroClass models;
        models.macRead(binary);
    });
    std::printf("model set load, text (2000 models, 3 states, 3x13 streams, 32 mixtures, %.0f MB): %.3f s\n",
                static_cast<double>(fs::file_size(text)) / 1e6, textSeconds);
    std::printf("model set load, binary (same set, %.0f MB): %.3f s\n",
                static_cast<double>(fs::file_size(binary)) / 1e6, binarySeconds);
    fs::remove(text);
    fs::remove(binary);
    return 0;
}
