// Lexicon speed: reading the CMU-derived english wpa table and building the dictionary of a text.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "lexicon/dict.h"
#include "model/macro.h"
#include "support/cmuWpa.h"

namespace {

double secondsOf(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Names only: every phone, its right-context models with every phone and "sil", and the fillers.
macroClass biphoneModelNames()
{
    const char* const phones[] = {"aa", "ae", "ah", "ao", "aw", "ay", "b", "ch", "d", "dh", "eh", "er", "ey",
                                  "f", "g", "hh", "ih", "iy", "jh", "k", "l", "m", "n", "ng", "ow", "oy",
                                  "p", "r", "s", "sh", "t", "th", "uh", "uw", "v", "w", "y", "z", "zh"};
    std::set<std::string> names = {"sil", "sp"};
    for (const char* a : phones) {
        names.insert(std::string(a) + "+sil");
        for (const char* b : phones)
            names.insert(std::string(a) + "+" + b);
    }
    macroClass models;
    models.streamNum = 1;
    models.streamVecSize[0] = 13;
    models.m_models.resize(names.size());
    int i = 0;
    for (const std::string& name : names) {
        hmmModel& m = models.m_models[static_cast<size_t>(i++)];
        std::memset(&m, 0, sizeof m);
        std::strncpy(m.name, name.c_str(), MODEL_NAME_SIZE - 1);
        m.stateNum = 5;
    }
    models.modelNum = i;
    return models;
}

} // namespace

int main()
{
    const std::string wpaText = cmuDictToWpa(CMU_DICT_PATH);
    if (wpaText.empty()) {
        std::printf("lexicon: %s not found (package pocketsphinx-en-us)\n", CMU_DICT_PATH);
        return 1;
    }
    const std::string wpaPath = (std::filesystem::temp_directory_path() / "recite-bench-cmu.wpa").string();
    std::ofstream(wpaPath, std::ios::binary) << wpaText;
    const macroClass models = biphoneModelNames();

    dictClass dict;
    auto start = std::chrono::steady_clock::now();
    dict.wpaRead(wpaPath, "english");
    const double readSeconds = secondsOf(start);

    const std::vector<std::string> texts = {"the quick brown fox jumps over the lazy dog while seven bright "
                                            "students read this simple sentence aloud near home"};
    start = std::chrono::steady_clock::now();
    dict.pronDictFromWpa(texts, models);
    const double dictSeconds = secondsOf(start);

    std::printf("lexicon: read CMU-derived wpa (%zu words): %.3f s\n", dict.m_wpa.size(), readSeconds);
    std::printf("lexicon: dictionary of a 20-word text (%zu entries): %.4f s\n", dict.m_pronDict.size(), dictSeconds);
    std::filesystem::remove(wpaPath);
    return 0;
}
