#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "model/macro.h"
#include "support/cmuWpa.h"
#include "support/testSupport.h"

using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

const std::string MODEL_DIR = "/usr/share/pocketsphinx/model/en-us/en-us";
const std::vector<std::string> BASES = {"aa", "ae", "ah", "ao", "aw", "ay", "b",  "ch", "d",  "dh", "eh", "er", "ey",
                                        "f",  "g",  "hh", "ih", "iy", "jh", "k",  "l",  "m",  "n",  "ng", "ow", "oy",
                                        "p",  "r",  "s",  "sh", "t",  "th", "uh", "uw", "v",  "w",  "y",  "z",  "zh"};
const int SIL_CODEBOOK = 32; // SIL's place among the package's context-independent phones

class importSphinx : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!std::filesystem::exists(MODEL_DIR + "/mdef"))
            return;
        dir = new testsupport::ScratchDir;
        const auto r = runCommand(shellQuote(RECITE_IMPORT_SPHINX_BINARY) + " " + MODEL_DIR + " " +
                                  shellQuote(dir->file("en.mac")));
        ASSERT_EQ(r.exitStatus, 0) << r.output;
        set = new macroClass;
        set->macRead(dir->file("en.mac"));
    }
    static void TearDownTestSuite()
    {
        delete set;
        delete dir;
    }
    void SetUp() override
    {
        if (!set)
            GTEST_SKIP() << "pocketsphinx-en-us is not installed";
    }
    static const hmmModel& named(const std::string& name)
    {
        const int i = set->findModel(name);
        EXPECT_EQ(set->model(i).name, name);
        return set->model(i);
    }
    static inline testsupport::ScratchDir* dir = nullptr;
    static inline macroClass* set = nullptr;
};

// Raw float32 codebook means of the package: [codebook][stream][density][13].
std::vector<float> packageMeans()
{
    const std::string b = testsupport::readFile(MODEL_DIR + "/means");
    const size_t start = b.find("endhdr\n") + 7 + 32; // byte-order word, 6 counts, total
    std::vector<float> v((b.size() - start - 4) / 4);
    std::memcpy(v.data(), b.data() + start, v.size() * 4);
    return v;
}

} // namespace

TEST_F(importSphinx, holdsEveryRightContextModelSilenceAndPause)
{
    ASSERT_EQ(set->modelNum, 39 * 40 + 2);
    const auto all = set->getModelNames();
    const std::set<std::string> names(all.begin(), all.end());
    for (const std::string& x : BASES) {
        EXPECT_TRUE(names.count(x + "+sil")) << x;
        for (const std::string& y : BASES)
            EXPECT_TRUE(names.count(x + "+" + y)) << x << "+" << y;
    }
    EXPECT_EQ(std::vector<int>({named("sil").stateNum, named("sp").stateNum, named("f+r").stateNum}),
              std::vector<int>({5, 3, 5}));
}

TEST_F(importSphinx, weightsAndTransitionsAreNormalised)
{
    for (int m = 0; m < set->modelNum; ++m) {
        const hmmModel& model = set->model(m);
        for (int st = 0; st < model.stateNum - 2; ++st)
            for (const hmmStream& stream : model.states[st].streams) {
                ASSERT_EQ(stream.mixtureNum, 8) << model.name;
                double sum = 0.0;
                for (int j = 0; j < stream.mixtureNum; ++j)
                    sum += std::exp(static_cast<double>(stream.mixtures[j].weight));
                ASSERT_NEAR(sum, 1.0, 1e-5) << model.name;
            }
        EXPECT_FLOAT_EQ(model.transp[0][1], 0.0f) << model.name; // ln 1
        for (int i = 1; i < model.stateNum - 1; ++i) {
            const double self = std::exp(static_cast<double>(model.transp[i][i]));
            const double next = std::exp(static_cast<double>(model.transp[i][i + 1]));
            ASSERT_TRUE(std::fabs(self + next - 1.0) < 1e-5 && next > 0.0) << model.name << " row " << i;
        }
    }
}

TEST_F(importSphinx, gconstMatchesTheVariances)
{
    for (const char* name : {"sil", "sp", "aa+b", "t+sil", "zh+zh"}) {
        const hmmModel& model = named(name);
        for (int st = 0; st < model.stateNum - 2; ++st)
            for (const hmmStream& stream : model.states[st].streams)
                for (int j = 0; j < stream.mixtureNum; ++j) {
                    const hmmMixture& mix = stream.mixtures[j];
                    double sum = 0.0;
                    for (float inv : mix.var) // inverse variances once prepared
                        sum += std::log(2.0 * std::numbers::pi / static_cast<double>(inv));
                    ASSERT_NEAR(mix.gconst, sum, 1e-3 * std::fabs(sum) + 1e-3) << name;
                }
    }
}

TEST_F(importSphinx, silenceGaussiansAreReorderedAndScaled)
{
    const std::vector<float> raw = packageMeans();
    const hmmState& state = named("sil").states[1];
    const double factor[3] = {1.0, 0.25, 0.09};
    for (int s = 0; s < 3; ++s)
        for (int j = 0; j < state.streams[s].mixtureNum; ++j) {
            const float* ours = state.streams[s].mixtures[j].mean;
            EXPECT_TRUE(s > 0 || (ours[12] == 0.0f && 1.0f / state.streams[s].mixtures[j].var[12] > 1e5f))
                << j; // static c0 neutralised
            bool found = false;
            for (int d = 0; d < 128 && !found; ++d) {
                const float* m = &raw[((static_cast<size_t>(SIL_CODEBOOK) * 3 + static_cast<size_t>(s)) * 128 +
                                       static_cast<size_t>(d)) * 13];
                bool same = true;
                for (int k = 0; k < 12; ++k)
                    same = same && std::fabs(ours[k] - m[k + 1] * factor[s]) <= 1e-5 * (1 + std::fabs(m[k + 1]));
                if (s > 0)
                    same = same && std::fabs(ours[12] - m[0] * factor[s] * std::numbers::sqrt2) <= 1e-4;
                found = same;
            }
            EXPECT_TRUE(found) << "stream " << s + 1 << " mixture " << j + 1;
        }
}

TEST_F(importSphinx, recognisesARealRecording)
{
    const std::string d = dir->path().string();
    testsupport::writeFile(dir->file("words.wpa"), cmuDictToWpa(CMU_DICT_PATH));
    testsupport::writeFile(dir->file("texts.txt"), "front center\nfront left\nfront right\nrear center\nrear left\n"
                                                   "rear right\nside left\nside right\n");
    testsupport::writeFile(dir->file("qiyin.txt"), "s\nt\n");
    std::filesystem::copy_file(std::string(RECITE_SOURCE_DIR) + "/data/demo/english.tnm", dir->file("english.tnm"));
    std::filesystem::create_directory(dir->file("out"));
    testsupport::writeFile(dir->file("recog.prm"),
                           "function = recog\nlanguage = english\nmacFile = en.mac\nwpaFile = words.wpa\n"
                           "tnmFile = english.tnm\nfeatureConfigFile = " + std::string(RECITE_SOURCE_DIR) +
                               "/data/en-us/mfcc.cfg\nqiYinFile = qiyin.txt\ntxtFile = texts.txt\n"
                               "wavFile = /usr/share/sounds/alsa/Front_Center.wav\noutputDir = out\nuseEpd = 0\n"
                               "maxCandidateNum = 1000\nprobTh = 400\ncomparisonMode = 1\n");
    const auto r = runCommand("cd " + shellQuote(d) + " && " + shellQuote(RECITE_BINARY) + " recog.prm");
    ASSERT_EQ(r.exitStatus, 0) << r.output;
    EXPECT_NE(r.output.find("textIndex=0 ===> front center"), std::string::npos) << r.output;
}

TEST(importSphinxUsage, refusesWrongArgumentsAndMissingFiles)
{
    testsupport::ScratchDir dir;
    const std::string bin = shellQuote(RECITE_IMPORT_SPHINX_BINARY);
    EXPECT_EQ(runCommand(bin).exitStatus, 1);
    EXPECT_EQ(runCommand(bin + " a b --mixtures 33").exitStatus, 1);
    EXPECT_EQ(runCommand(bin + " " + shellQuote(dir.file("none")) + " " + shellQuote(dir.file("o.mac"))).exitStatus, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.mac")));
}
