// Decoder speed: the fast search against the plain reference search on a realistic set-up.
// Without arguments it runs every configuration in a child process (so that each reports its
// own peak memory); with arguments it runs one: decoder-bench fast|reference CANDIDATES MIXTURES MODE.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>

#include "audio/audioFile.h"
#include "audio/signalCondition.h"
#include "decoder/viterbi.h"
#include "frontend/CMel.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/macro.h"
#include "net/net.h"
#include "support/cmuWpa.h"
#include "support/referenceViterbi.h"
#include "task/recogParam.h"

namespace {

const char* const PHONES[] = {"aa", "ae", "ah", "ao", "aw", "ay", "b",  "ch", "d",  "dh", "eh", "er", "ey",
                              "f",  "g",  "hh", "ih", "iy", "jh", "k",  "l",  "m",  "n",  "ng", "ow", "oy",
                              "p",  "r",  "s",  "sh", "t",  "th", "uh", "uw", "v",  "w",  "y",  "z",  "zh"};

// Right-context models of every phone pair, phone+sil, sil, sp and two fillers: 3 emitting states, 3 streams
// of 13 values, `mixtures` components per stream, random but plausible values.
void buildModels(macroClass& models, int mixtures)
{
    std::vector<std::string> names = {"sil", "sp", "fillerC", "fillerV"};
    for (const char* a : PHONES) {
        names.push_back(std::string(a) + "+sil");
        for (const char* b : PHONES)
            names.push_back(std::string(a) + "+" + b);
    }
    std::mt19937 gen(3);
    std::normal_distribution<float> mean(0.0f, 1.0f);
    std::uniform_real_distribution<float> var(0.3f, 2.0f);
    const float streamScale[3] = {8.0f, 1.0f, 0.3f};
    models.streamNum = 3;
    for (int s = 0; s < 3; ++s)
        models.streamVecSize[s] = 13;
    models.m_models.assign(names.size(), hmmModel{});
    for (size_t i = 0; i < names.size(); ++i) {
        hmmModel& m = models.m_models[i];
        std::memset(&m, 0, sizeof m);
        std::strncpy(m.name, names[i].c_str(), MODEL_NAME_SIZE - 1);
        m.stateNum = 5;
        for (int st = 0; st < 3; ++st) {
            for (int s = 0; s < 3; ++s) {
                hmmStream& stream = m.states[st].streams[s];
                stream.mixtureNum = mixtures;
                for (int k = 0; k < mixtures; ++k) {
                    hmmMixture& mix = stream.mixtures[k];
                    mix.weight = 1.0f / static_cast<float>(mixtures);
                    double gconst = 0;
                    for (int d = 0; d < 13; ++d) {
                        mix.mean[d] = streamScale[s] * mean(gen);
                        mix.var[d] = streamScale[s] * streamScale[s] * var(gen);
                        gconst += std::log(2 * M_PI * mix.var[d]);
                    }
                    mix.gconst = static_cast<float>(gconst);
                }
            }
        }
        m.transp[0][1] = 1.0f;
        for (int st = 1; st <= 3; ++st) {
            m.transp[st][st] = 0.6f;
            m.transp[st][st + 1] = 0.4f;
        }
    }
    models.modelNum = static_cast<int32_t>(names.size());
    models.macSortByName();
    models.macPrepare();
}

// 100 texts of 5 to 10 random dictionary words, as a tree network.
void buildNetwork(const macroClass& models, int comparisonMode, dictClass& dict, netClass& net)
{
    const std::string wpaPath = (std::filesystem::temp_directory_path() / "recite-decoder-bench.wpa").string();
    std::ofstream(wpaPath, std::ios::binary) << cmuDictToWpa(CMU_DICT_PATH);
    dict.wpaRead(wpaPath, "english");
    std::filesystem::remove(wpaPath);

    std::mt19937 gen(11);
    std::uniform_int_distribution<size_t> pick(0, dict.m_wpa.size() - 1);
    std::uniform_int_distribution<int> length(5, 10);
    textClass text;
    for (int t = 0; t < 100; ++t) {
        std::string line;
        for (int w = length(gen); w > 0; --w) {
            const wpaEntry* e = &dict.m_wpa[pick(gen)];
            while (e->paVec.size() != 1 || e->word.find_first_not_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos)
                e = &dict.m_wpa[pick(gen)];
            line += (line.empty() ? "" : " ") + e->word;
        }
        text.m_txtVs.push_back(line);
    }
    text.m_txtVsNormalized = text.m_txtVs;
    text.textsToSylEnglish(dict);
    dict.pronDictFromWpa(text.m_txtVsNormalized, models);
    if (comparisonMode == 3) {
        // The filler loops around the texts need dictionary entries of their own.
        for (const char* filler : {"fillerC", "fillerV"})
            dict.m_pronDict.push_back(pronEntry{filler, {models.findModel(filler)}});
        std::sort(dict.m_pronDict.begin(), dict.m_pronDict.end(),
                  [](const pronEntry& a, const pronEntry& b) { return a.word < b.word; });
    }
    recogParam param;
    param.language = "english";
    param.function = "recog";
    param.comparisonMode = comparisonMode;
    text.buildTreeNet(param, comparisonMode == 3, false, true);
    net.netReadLines(text.m_netVs, dict);
}

// About 9 seconds of speech-like sound (the five demo recordings in a row) through the front end.
FeatureMatrix speechFeatures()
{
    WaveSignal wave = audioFileRead(std::string(RECITE_SOURCE_DIR) + "/data/demo/utt1.wav");
    for (int i = 2; i <= 5; ++i) {
        WaveSignal more = audioFileRead(std::string(RECITE_SOURCE_DIR) + "/data/demo/utt" + std::to_string(i) + ".wav");
        wave.samples.insert(wave.samples.end(), more.samples.begin(), more.samples.end());
    }
    wave.sampleNum = static_cast<int32_t>(wave.samples.size());
    std::vector<std::string> warnings;
    signalCondition(wave, conditionSettings{}, warnings);
    const std::string cfg = (std::filesystem::temp_directory_path() / "recite-decoder-bench.cfg").string();
    std::ofstream(cfg) << "TARGETKIND = MFCC_E_D_A\n";
    CMel mel;
    int32_t frameNum = 0;
    int32_t vecSize = 0;
    mel.waveToMfcc(wave.samples.data(), wave.fs, wave.nbits, wave.sampleNum, cfg, frameNum, vecSize);
    std::filesystem::remove(cfg);
    return mel.takeFeatures();
}

int runOne(const std::string& which, int candidates, int mixtures, int mode)
{
    macroClass models;
    buildModels(models, mixtures);
    dictClass dict;
    netClass net;
    buildNetwork(models, mode, dict, net);
    const FeatureMatrix features = speechFeatures();
    const float probTh = 300.0f;
    const int arenaLen = (mode == 3 ? 100 : 5) * candidates;
    const double audioSeconds = features.frameNum * 0.01;

    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    int left = 0;
    if (which == "fast") {
        viterbiClass search(arenaLen, models.modelNum);
        left = search.viterbiSearch(net, dict, features.data.data(), features.vecSize, features.frameNum, candidates,
                                    models, probTh, 1);
    } else {
        referenceViterbi search(arenaLen, models.modelNum);
        left = search.viterbiSearch(net, dict, features.data.data(), features.vecSize, features.frameNum, candidates,
                                    models, probTh, 1);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("decoder %-9s mode %d, %4d candidates, %2d mixtures, %d models, %d nodes: %.3f x real time "
                "(%.2f s for %.1f s), peak memory %.0f MB, %d candidates left\n",
                which.c_str(), mode, candidates, mixtures, models.modelNum, net.nodeNum, seconds / audioSeconds,
                seconds, audioSeconds, usage.ru_maxrss / 1024.0, left);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5)
        return runOne(argv[1], std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    const std::string self = argv[0];
    for (int mode : {1, 3}) {
        for (int candidates : {1000, 5000}) {
            for (int mixtures : {8, 32}) {
                for (const char* which : {"fast", "reference"}) {
                    // The reference holds every arena slot with its whole history (52 KB each).
                    const double referenceGb = (mode == 3 ? 100.0 : 5.0) * candidates * sizeof(referenceCandidate) / 1e9;
                    if (std::string(which) == "reference" && referenceGb > 8.0) {
                        std::printf("decoder reference mode %d, %4d candidates, %2d mixtures: skipped (its arena "
                                    "needs %.0f GB)\n",
                                    mode, candidates, mixtures, referenceGb);
                        continue;
                    }
                    const std::string cmd = self + " " + which + " " + std::to_string(candidates) + " " +
                                            std::to_string(mixtures) + " " + std::to_string(mode) + " 2>/dev/null";
                    std::fflush(stdout);
                    if (std::system(cmd.c_str()) != 0)
                        std::printf("decoder %s mode %d, %d candidates, %d mixtures: failed\n", which, mode,
                                    candidates, mixtures);
                }
            }
        }
    }
    return 0;
}
