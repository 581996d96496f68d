#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/fatalError.h"
#include "model/macro.h"
#include "support/testSupport.h"

using testsupport::captureStdout;
using testsupport::fatalMessage;
using testsupport::ScratchDir;

namespace {

// 5-state models with the given names and distinct raw values, `mixtures` per stream.
macroClass makeSet(const std::vector<std::string>& names, int streamNum = 1, int mixtures = 2)
{
    macroClass mac;
    mac.modelNum = static_cast<int32_t>(names.size());
    mac.streamNum = streamNum;
    std::fill(mac.streamVecSize, mac.streamVecSize + streamNum, 13);
    mac.m_models.resize(names.size());
    float v = 1.0f;
    for (size_t i = 0; i < names.size(); ++i) {
        hmmModel& m = mac.m_models[i];
        std::memcpy(m.name, names[i].data(), names[i].size());
        m.stateNum = 5;
        for (hmmState& st : m.states) {
            for (int s = 0; s < streamNum; ++s) {
                st.streamWeight[s] = 1.0f;
                st.streams[s].mixtureNum = mixtures;
                for (int j = 0; j < mixtures; ++j) {
                    hmmMixture& mix = st.streams[s].mixtures[j];
                    mix.weight = 1.0f / static_cast<float>(mixtures);
                    for (int k = 0; k < MAX_PARAM_NUM; ++k, v += 1.0f) {
                        mix.mean[k] = v;
                        mix.var[k] = 0.5f + v / 1000.0f;
                    }
                    mix.gconst = v;
                }
            }
        }
        m.transp[0][1] = 1.0f;
        for (int s = 1; s < 4; ++s)
            std::tie(m.transp[s][s], m.transp[s][s + 1]) = std::tuple(0.6f, 0.4f);
    }
    return mac;
}

bool sameRecord(const hmmModel& a, const hmmModel& b)
{
    return std::memcmp(a.name, b.name, sizeof a.name) == 0 && a.logCount == b.logCount && a.stateNum == b.stateNum &&
           std::memcmp(a.states, b.states, sizeof a.states) == 0 && std::memcmp(a.transp, b.transp, sizeof a.transp) == 0;
}

// A binary macro file built field by field; `intFields` are the offsets of the counts.
struct MacbBuilder {
    std::string bytes;
    std::vector<size_t> intFields;
    float next = 0.25f;

    void i32(int32_t v)
    {
        intFields.push_back(bytes.size());
        bytes += testsupport::le32(static_cast<uint32_t>(v));
    }
    void f32(float v) { bytes += testsupport::le32(std::bit_cast<uint32_t>(v)); }
    MacbBuilder(int32_t modelNum, const std::vector<int32_t>& vecSizes)
    {
        i32(modelNum);
        i32(static_cast<int32_t>(vecSizes.size()));
        for (int32_t n : vecSizes)
            i32(n);
    }
    // Every emitting state gets the same mixture counts, one per stream; values count up by 1/8.
    MacbBuilder& model(const std::string& name, int32_t stateNum, const std::vector<int32_t>& mixtures)
    {
        bytes += name + std::string(MODEL_NAME_SIZE - std::min<size_t>(name.size(), MODEL_NAME_SIZE), '\0');
        i32(stateNum);
        for (int st = 0; st < stateNum - 2; ++st) {
            for (size_t s = 0; s < mixtures.size(); ++s)
                f32(1.0f);
            for (int32_t n : mixtures) {
                i32(n);
                for (int j = 0; j < n * 28; ++j)
                    f32(next += 0.125f);
            }
        }
        for (int k = 0; k < stateNum * stateNum; ++k)
            f32(static_cast<float>(k + 1) / 64.0f);
        return *this;
    }
};

} // namespace

TEST(MacroPrepare, LogWeightsInverseVariancesAndTransitions)
{
    macroClass mac = makeSet({"a"}, 2, 3);
    mac.streamVecSize[1] = 4;
    hmmModel& m = mac.m_models[0];
    m.stateNum = 4; // states[2] is not emitting
    hmmMixture* mix = m.states[0].streams[0].mixtures;
    std::tie(mix[0].weight, mix[1].weight, mix[2].weight) = std::tuple(0.5f, 0.0f, 1.0f);
    const float var[] = {0.0f, 1e35f, 4.0f, -2.0f, 1e-31f};
    std::copy(std::begin(var), std::end(var), mix[0].var);
    m.states[1].streams[1].mixtures[0].var[3] = 2.0f;
    m.states[1].streams[1].mixtures[0].var[4] = 2.0f; // past the stream's vector size
    m.states[0].streams[0].mixtures[3].weight = 0.5f; // past mixtureNum
    m.states[0].streams[2].mixtures[0].weight = 0.5f; // past streamNum
    m.states[2].streams[0].mixtures[0].weight = 0.5f;
    m.transp[1][0] = 0.0f;
    m.transp[4][4] = 0.5f; // past stateNum
    const float mean = mix[0].mean[5];

    mac.macPrepare();
    EXPECT_EQ(std::vector<float>({mix[0].weight, mix[1].weight, mix[2].weight}),
              std::vector<float>({static_cast<float>(std::log(0.5)), -1e10f, 0.0f}));
    EXPECT_EQ(std::vector<float>(mix[0].var, mix[0].var + 5),
              std::vector<float>({1.0f / 1e-30f, 1e-30f, 0.25f, 1.0f / 1e-30f, 1.0f / 1e-30f}));
    EXPECT_EQ(mix[0].mean[5], mean);
    EXPECT_EQ(m.states[1].streams[1].mixtures[0].var[3], 0.5f);
    EXPECT_EQ(m.states[1].streams[1].mixtures[0].var[4], 2.0f);
    EXPECT_EQ(m.states[0].streams[0].mixtures[3].weight + m.states[0].streams[2].mixtures[0].weight +
                  m.states[2].streams[0].mixtures[0].weight,
              1.5f);
    EXPECT_EQ(m.transp[1][1], static_cast<float>(std::log(static_cast<double>(0.6f))));
    EXPECT_TRUE(m.transp[0][1] == 0.0f && m.transp[1][0] == 0.0f && m.transp[0][0] == 0.0f && m.transp[4][4] == 0.5f);
}

TEST(MacroSort, ByteOrderStableForDuplicatesRecordsIntact)
{
    macroClass mac = makeSet({"sil", "a", "SIL", "ab+c", "\xc3x", "ab", "b"});
    mac.macSortByName();
    EXPECT_EQ(mac.getModelNames(), std::vector<std::string>({"SIL", "a", "ab", "ab+c", "b", "sil", "\xc3x"}));

    // Many duplicates in long permutation cycles; logCount carries the original position.
    std::mt19937 rng(7);
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i)
        names.push_back(std::string(1, static_cast<char>('a' + rng() % 4)) + std::to_string(rng() % 50));
    mac = makeSet(names);
    for (size_t i = 0; i < names.size(); ++i)
        mac.m_models[i].logCount = static_cast<float>(i);
    const macroClass unsorted = mac;
    mac.macSortByName();
    for (size_t i = 0; i < names.size(); ++i) {
        const hmmModel& m = mac.m_models[i];
        ASSERT_TRUE(sameRecord(m, unsorted.m_models[static_cast<size_t>(m.logCount)])) << i;
        const int c = i > 0 ? std::strcmp(mac.m_models[i - 1].name, m.name) : -1;
        ASSERT_TRUE(c < 0 || (c == 0 && mac.m_models[i - 1].logCount < m.logCount)) << i;
    }
}

TEST(MacroFind, ExactHitsAndSubstitutionOrder)
{
    macroClass mac = makeSet({"SIL", "a", "b+a", "b+e", "b+sil", "c"});
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(mac.findModel("b+e"), 3); }), "");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(mac.findModel("b+o"), 4); }),
              "Warning of model substitution: b+o is replaced by b+sil\n");
    // Only the part through the first "+" counts, and key 1 is matched as a prefix.
    mac = makeSet({"a", "b+a", "b+silent"});
    captureStdout([&] { EXPECT_EQ(mac.findModel("b+o+q"), 2); });
    mac = makeSet({"a", "b+a", "b+e"});
    captureStdout([&] { EXPECT_EQ(mac.findModel("b+o"), 1); });
    mac = makeSet({"x", "y+a", "bb+a"});
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(mac.findModel("b+o"), 0); }),
              "Warning of model substitution: b+o is replaced by x\n");
    EXPECT_EQ(captureStdout([&] {
                  for (const char* filler : {"sp", "sil", "fillerV"})
                      EXPECT_EQ(mac.findModel(filler), -1) << filler;
              }),
              "");
    EXPECT_EQ(fatalMessage([&] { mac.findModel("y"); }),
              "Error in macroClass::findSubstituteModel(): Cannot find '+' sign, modelStr=y (line 794 of lib\\macro) \n");
    macroClass empty;
    EXPECT_NE(fatalMessage([&] { empty.findModel("b+o"); }).find("b+o"), std::string::npos);
}

TEST(MacroCount, LinesInSetOrder)
{
    ScratchDir dir;
    const std::string path = dir.file("count.txt");
    macroClass mac = makeSet({"a", "b", "c", "d", "e"});
    auto counts = [&] {
        std::vector<float> v;
        for (const hmmModel& m : mac.m_models)
            v.push_back(m.logCount);
        return v;
    };
    auto ln = [](double x) { return static_cast<float>(std::log(x)); };
    // Line i goes to model i whatever its name (with a warning); counts are leading numbers, 0 when
    // missing or not positive.
    testsupport::writeFile(path, "a\t3\t9\n%comment\n\nx\t12abc\r\nc\t-5\nd\ne 5\nf\t3\ng\t4\n");
    const std::string mismatch = "Warning: Mismatched model count file " + path + "! (line 41 of lib\\macro)\n";
    EXPECT_EQ(captureStdout([&] { mac.modelCountRead(path); }),
              mismatch + mismatch + "Warning: model count file " + path +
                  " has 7 lines for 5 models; the extra lines are ignored\n");
    EXPECT_EQ(counts(), std::vector<float>({ln(3), ln(12), 0, 0, 0}));

    EXPECT_EQ(captureStdout([&] { mac.modelCountRead(dir.file("missing.txt")); }), "");
    EXPECT_EQ(counts(), std::vector<float>(5, 0.0f));
}

TEST(MacroBinary, LayoutRoundTripAndExtensions)
{
    ScratchDir dir;
    // A 3-state model: its 9 transition values fill the 5 x 5 matrix from the start.
    const std::string small = dir.file("small.macb");
    testsupport::writeFile(small, MacbBuilder(1, {13, 5}).model("ab", 3, {2, 0}).bytes);
    macroClass mac;
    mac.macReadBinary(small);
    ASSERT_EQ(mac.modelNum, 1);
    EXPECT_EQ(std::vector<int>(mac.streamVecSize, mac.streamVecSize + 3), std::vector<int>({13, 5, 0}));
    const hmmModel& m = mac.model(0);
    EXPECT_TRUE(std::string(m.name) == "ab" && m.stateNum == 3 && m.states[0].streams[0].mixtureNum == 2 &&
                m.states[0].streams[1].mixtureNum == 0);
    const hmmMixture& second = m.states[0].streams[0].mixtures[1];
    EXPECT_EQ(std::vector<float>({second.weight, second.mean[0], second.var[12], second.gconst}),
              std::vector<float>({0.25f + 29 / 8.0f, 0.25f + 30 / 8.0f, 0.25f + 55 / 8.0f, 0.25f + 56 / 8.0f}));
    EXPECT_TRUE(m.transp[0][0] == 1 / 64.0f && m.transp[0][4] == 5 / 64.0f && m.transp[1][3] == 9 / 64.0f &&
                m.transp[1][4] == 0.0f && m.transp[2][0] == 0.0f);

    // Written and read back, the raw records are unchanged.
    const macroClass set = makeSet({"zz", "b+a", "sil"}, 3, 4);
    const std::string path = dir.file("set.macb");
    set.macWriteBinary(path);
    EXPECT_EQ(testsupport::readFile(path).size(), 20 + 3 * (54 + 3 * (12 + 3 * (4 + 4 * 112)) + 100));
    mac.macReadBinary(path);
    ASSERT_TRUE(mac.modelNum == 3 && mac.streamNum == 3 && mac.m_models.size() == 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(sameRecord(mac.model(i), set.model(i))) << i;

    // macRead sorts and prepares; upper-case extensions are accepted, mixed case is not.
    std::filesystem::copy_file(path, dir.file("set.MACB"));
    mac.macRead(dir.file("set.MACB"));
    EXPECT_EQ(mac.getModelNames(), std::vector<std::string>({"b+a", "sil", "zz"}));
    EXPECT_EQ(mac.model(0).states[0].streams[0].mixtures[0].weight, static_cast<float>(std::log(0.25)));
    const std::string mixed = dir.file("x.Macb");
    std::filesystem::copy_file(path, mixed);
    EXPECT_EQ(fatalMessage([&] { mac.macRead(mixed); }),
              "Error in reading \"" + mixed +
                  "\": The only allowed extension are \"mac\" and \"macb\" (line 762 of lib\\macro) \n");
    EXPECT_TRUE(mac.modelNum == 0 && mac.m_models.empty() && mac.streamNum == 0);

    // A model whose transitions lie outside its binary layout is refused, leaving no file behind.
    macroClass three = makeSet({"a", "q"});
    three.m_models[1].stateNum = 3;
    const std::string refused = dir.file("refused.macb");
    const std::string msg = fatalMessage([&] { three.macWriteBinary(refused); });
    EXPECT_TRUE(msg.find("model 1 (q)") != std::string::npos && msg.find("stateNum=3") != std::string::npos) << msg;
    EXPECT_FALSE(std::filesystem::exists(refused) || std::filesystem::exists(refused + ".tmp"));
}

TEST(MacroBinary, RefusesDamagedFiles)
{
    ScratchDir dir;
    const std::string path = dir.file("bad.macb");
    const std::string whole = MacbBuilder(1, {13}).model("a", 5, {1}).bytes;
    const std::pair<std::string, const char*> cases[] = {
        {MacbBuilder(1000, {13}).model("a", 5, {1}).bytes, "modelNum=1000"},
        {MacbBuilder(1, {13, 13, 13, 13}).model("a", 5, {1, 1, 1, 1}).bytes, "streamNum=4"},
        {MacbBuilder(1, {13, 0}).model("a", 5, {1, 1}).bytes, "vector size 0"},
        {MacbBuilder(1, {13}).model("a", 1, {1}).bytes + std::string(80, '\0'), "model 0 (a) has stateNum=1"},
        {MacbBuilder(1, {13}).model("m", 5, {33}).bytes, "model 0 (m), state 2, stream 1 has mixtureNum=33"},
        {MacbBuilder(1, {13}).model(std::string(50, 'n'), 5, {1}).bytes, "model 0 has no terminating zero"},
        {whole.substr(0, whole.size() - 1), "ends early (model 0"},
        {whole.substr(0, 6), "ends early (in the header"},
    };
    for (const auto& [bytes, part] : cases) {
        testsupport::writeFile(path, bytes);
        macroClass mac = makeSet({"held"});
        const std::string msg = fatalMessage([&] { mac.macRead(path); });
        EXPECT_TRUE(msg.find(part) != std::string::npos && msg.find(path) != std::string::npos) << msg;
        EXPECT_TRUE(mac.modelNum == 0 && mac.m_models.empty()) << part;
    }
}

TEST(MacroBinary, DamagedFilesNeverCrash)
{
    const MacbBuilder b = MacbBuilder(3, {13, 13}).model("b+a", 5, {2, 1}).model("a", 4, {0, 3}).model("sil", 3, {1, 1});
    // Bytes after the last model are not read; zeros there let a damaged count reach far.
    const std::string padded = b.bytes + std::string(4096, '\0');
    ScratchDir dir;
    const std::string path = dir.file("fuzz.macb");
    std::mt19937 rng(12345);
    int refused = 0;
    for (int run = 0; run < 1500; ++run) {
        std::string bytes = run % 2 ? padded : b.bytes;
        if (run % 3 == 0) {
            bytes.resize(rng() % bytes.size());
        } else if (run % 3 == 1) {
            bytes[rng() % bytes.size()] ^= static_cast<char>(1 + rng() % 255);
        } else {
            const int32_t edges[] = {-1, 0, 1, 2, 3, 5, 6, 13, 14, 32, 33, INT32_MAX, INT32_MIN};
            const int32_t v = rng() % 4 ? edges[rng() % std::size(edges)] : static_cast<int32_t>(rng());
            bytes.replace(b.intFields[rng() % b.intFields.size()], 4, testsupport::le32(static_cast<uint32_t>(v)));
        }
        std::filesystem::remove(path); // a fresh file: rewriting one in place may wait for the disk
        testsupport::writeFile(path, bytes);
        macroClass mac;
        try {
            mac.macRead(path);
        } catch (const fatalErrorException&) {
            ++refused;
            ASSERT_TRUE(mac.m_models.empty() && mac.modelNum == 0);
            continue;
        }
        ASSERT_TRUE(static_cast<size_t>(mac.modelNum) == mac.m_models.size() && mac.streamNum >= 1 &&
                    mac.streamNum <= MAX_STREAM_NUM);
        for (const std::string& name : mac.getModelNames()) {
            const hmmModel& m = mac.model(mac.findModel(name));
            ASSERT_TRUE(m.name == name && m.stateNum >= 2 && m.stateNum <= MAX_MODEL_STATE_NUM);
            for (const hmmState& st : m.states)
                for (const hmmStream& s : st.streams)
                    ASSERT_TRUE(s.mixtureNum >= 0 && s.mixtureNum <= MAX_MIXTURE_NUM);
        }
    }
    EXPECT_TRUE(refused > 500 && refused < 1450) << refused;
}
