#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "common/fatalError.h"
#include "model/macro.h"
#include "support/testSupport.h"

using testsupport::fatalMessage;
using Floats = std::vector<float>;

namespace {

// Three streams of 2, 3 and 1 values (every vector still declared with 13). State 2: stream 1 has
// two mixtures (the second with <RCLASS>), stream 2 one mixture without <MIXTURE>, stream 3
// declares 4 mixtures, lists 3 numbered 7, 1, 3, the second without <GCONST>. State 3 uses the
// <SWEIGHTS> form and its last mixture has no <GCONST>.
const std::string HEADER = "~o\n<STREAMINFO> 3 2 3 1\n<VECSIZE> 6<NULLD><MFCC_E_D_A_Z><DIAGC>\n";
const std::string MODEL_ZZ = "~h \"zz\"\n<BEGINHMM> <NUMSTATES> 4\n"
                             "<STATE> 2 <NUMMIXES> 2 1 4 <SWEIGHTS> 3 1.0 0.9 +8e-1\n"
                             "<STREAM> 1 <MIXTURE> 1 0.25 <MEAN> 13 1 2 <VARIANCE> 13 3 4 <GCONST> 5\n"
                             "<MIXTURE> 2 7.5e-01 <RCLASS> 4 <MEAN> 13 -1 -2 <VARIANCE> 13 0.5 0.25 <GCONST> -6\n"
                             "<STREAM> 2 <MEAN> 13 10 11 12 <VARIANCE> 13 1 2 3 <GCONST> 7\n"
                             "<STREAM> 3 <MIXTURE> 7 0.5 <MEAN> 13 20 <VARIANCE> 13 2 <GCONST> 8\n"
                             "<MIXTURE> 1 0.3 <MEAN> 13 21 <VARIANCE> 13 3\n"
                             "<MIXTURE> 3 0.2 <MEAN> 13 22 <VARIANCE> 13 4 <GCONST> 9\n"
                             "<STATE> 3 <SWEIGHTS> 3 0.5 0.25 0.125\n"
                             "<STREAM> 1 <MEAN> 13 30 31 <VARIANCE> 13 1 1 <GCONST> 1\n"
                             "<STREAM> 2 <MEAN> 13 32 33 34 <VARIANCE> 13 1 1 1 <GCONST> 2\n"
                             "<STREAM> 3 <MEAN> 13 35 <VARIANCE> 13 0.5\n"
                             "<TRANSP> 4\n 0 1 0 0\n 0 0.6 0.4 0\n 0 0 0.7 0.3\n 0 0 0 0\n<ENDHMM>\n";

// Single-mixture streams in the <SWEIGHTS> form; every value of state i is i + base.
std::string plainModel(const std::string& name, int stateNum, int base)
{
    std::string t = "~h \"";
    t.append(name).append("\"\n<BEGINHMM> <NUMSTATES> ").append(std::to_string(stateNum)).append("\n");
    for (int i = 2; i < stateNum; ++i) {
        const std::string v = std::string(" ").append(std::to_string(i + base));
        t.append("<STATE> ").append(std::to_string(i)).append(" <SWEIGHTS> 3").append(v + v + v);
        for (const std::string& values : {v + v, v + v + v, v}) {
            t.append(" <STREAM> 1 <MEAN> 13").append(values).append(" <VARIANCE> 13").append(values);
            t.append(" <GCONST>").append(v);
        }
        t.append("\n");
    }
    t.append("<TRANSP> ").append(std::to_string(stateNum));
    for (int i = 0; i < stateNum * stateNum; ++i)
        t += i % (stateNum + 1) == 1 ? " 1" : " 0";
    return t + "\n<ENDHMM>\n";
}

const std::string SET_TEXT = HEADER + MODEL_ZZ + plainModel("aa", 5, 100);

std::string changed(const std::string& from, const std::string& to, const std::string& text = SET_TEXT)
{
    const size_t pos = text.find(from);
    EXPECT_NE(pos, std::string::npos) << from;
    return pos == std::string::npos ? text : std::string(text).replace(pos, from.size(), to);
}

// Weight, the first n mean and variance values, gconst.
Floats values(const hmmMixture& m, int n)
{
    Floats v{m.weight};
    v.insert(v.end(), m.mean, m.mean + n);
    v.insert(v.end(), m.var, m.var + n);
    v.push_back(m.gconst);
    return v;
}

float gconstOf(std::initializer_list<double> vars)
{
    double sum = 0.0;
    for (double v : vars)
        sum += std::log(2.0 * std::numbers::pi * v);
    return static_cast<float>(sum);
}

struct macFile {
    testsupport::ScratchDir dir;
    std::string path = dir.file("set.mac");
    macroClass set;
    void read(const std::string& text)
    {
        std::filesystem::remove(path); // a fresh file: rewriting one in place may wait for the disk
        testsupport::writeFile(path, text);
        set.macReadText(path);
    }
    std::string failure(const std::string& text)
    {
        return fatalMessage([&] { read(text); });
    }
};

} // namespace

TEST(macReadText, readsRawValuesInFileOrder)
{
    macFile f;
    f.read(SET_TEXT);
    ASSERT_TRUE(f.set.modelNum == 2 && f.set.m_models.size() == 2u && f.set.streamNum == 3);
    EXPECT_EQ(Floats(f.set.streamVecSize, f.set.streamVecSize + 3), (Floats{2, 3, 1}));

    const hmmModel& zz = f.set.model(0); // file order, not sorted
    EXPECT_TRUE(zz.name == std::string("zz") && zz.stateNum == 4);
    const hmmState& s2 = zz.states[0];
    EXPECT_EQ(Floats(s2.streamWeight, s2.streamWeight + 3), (Floats{1.0f, 0.9f, 0.8f}));
    EXPECT_EQ(s2.streams[0].mixtureNum, 2);
    EXPECT_EQ(values(s2.streams[0].mixtures[0], 3), (Floats{0.25f, 1, 2, 0, 3, 4, 0, 5}));
    EXPECT_EQ(values(s2.streams[0].mixtures[1], 2), (Floats{0.75f, -1, -2, 0.5f, 0.25f, -6}));
    EXPECT_EQ(values(s2.streams[1].mixtures[0], 3), (Floats{1, 10, 11, 12, 1, 2, 3, 7}));
    // Slots in order of appearance; a missing <GCONST> is computed and the slot advances; the
    // fourth declared slot stays empty.
    EXPECT_EQ(s2.streams[2].mixtureNum, 4);
    EXPECT_EQ(values(s2.streams[2].mixtures[0], 1), (Floats{0.5f, 20, 2, 8}));
    EXPECT_EQ(values(s2.streams[2].mixtures[1], 1), (Floats{0.3f, 21, 3, gconstOf({3})}));
    EXPECT_EQ(values(s2.streams[2].mixtures[2], 1), (Floats{0.2f, 22, 4, 9}));
    EXPECT_EQ(values(s2.streams[2].mixtures[3], 1), (Floats{0, 0, 0, 0}));

    const hmmState& s3 = zz.states[1];
    EXPECT_EQ(s3.streamWeight[2], 0.125f);
    EXPECT_EQ(s3.streams[0].mixtureNum + s3.streams[1].mixtureNum + s3.streams[2].mixtureNum, 3);
    EXPECT_EQ(values(s3.streams[2].mixtures[0], 1), (Floats{1, 35, 0.5f, gconstOf({0.5})}));
    EXPECT_EQ(Floats(&zz.transp[1][0], &zz.transp[2][0]), (Floats{0, 0.6f, 0.4f, 0, 0})); // top left of 5 x 5
    EXPECT_EQ(zz.transp[2][3], 0.3f);

    const hmmModel& aa = f.set.model(1);
    EXPECT_TRUE(aa.name == std::string("aa") && aa.stateNum == 5 && aa.transp[3][4] == 1.0f);
    EXPECT_EQ(values(aa.states[2].streams[1].mixtures[0], 3), (Floats{1, 104, 104, 104, 104, 104, 104, 104}));

    // Missing <GCONST> before <MIXTURE> and before <STREAM>; once taken up, the look-ahead doesn't
    // cut the next stream's mixture list short.
    const std::string noGconst5 = changed("<GCONST> 5\n", "\n");
    for (const std::string& text : {noGconst5, changed("<GCONST> -6\n", "\n", noGconst5)}) {
        f.read(text);
        const hmmState& s = f.set.model(0).states[0];
        EXPECT_EQ(Floats({s.streams[0].mixtures[0].gconst, s.streams[0].mixtures[1].weight, s.streams[1].mixtures[0].mean[0],
                          s.streams[2].mixtures[2].mean[0]}),
                  (Floats{gconstOf({3, 4}), 0.75f, 10, 22}));
    }
    EXPECT_EQ(f.set.model(0).states[0].streams[0].mixtures[1].gconst, gconstOf({0.5, 0.25}));
}

TEST(macReadText, numbersReadAsScanfWould)
{
    macFile f;
    std::mt19937 rng(7);
    const char* const forms[] = {"%e", "%.9g", "%+.3E", "%.12f", "%a"};
    std::vector<std::string> written;
    auto number = [&] {
        const double v = std::uniform_real_distribution<double>(-10, 10)(rng) * std::pow(10.0, int(rng() % 86) - 45);
        char buf[64];
        std::snprintf(buf, sizeof buf, forms[rng() % 5], v);
        written.push_back(buf);
        return std::string(" ").append(buf);
    };
    // One stream of 32 mixtures; a name with a space; no line feed at the end.
    std::string text = "~o <STREAMINFO> 1 13 <VECSIZE> 13\n~h  \"n m\" <BEGINHMM> <NUMSTATES> 3 <STATE> 2 <NUMMIXES> 32"
                       " <SWEIGHTS> 1 1";
    for (int j = 0; j < 32; ++j) {
        text.append("\n<MIXTURE> 1").append(number());
        for (const char* tag : {" <MEAN> 13", " <VARIANCE> 13"}) {
            text += tag;
            for (int k = 0; k < 13; ++k)
                text += number();
        }
        text.append(" <GCONST>").append(number());
    }
    f.read(text + "\n<TRANSP> +3 0 1 0 0 .5 5. 0 -0 0x1.8p1 <ENDHMM>");
    EXPECT_STREQ(f.set.model(0).name, "n m");
    size_t n = 0;
    for (const hmmMixture& mix : f.set.model(0).states[0].streams[0].mixtures)
        for (float got : values(mix, 13))
            EXPECT_EQ(std::strtof(written.at(n++).c_str(), nullptr), got) << written.at(n - 1);
    EXPECT_EQ(Floats(&f.set.model(0).transp[1][1], &f.set.model(0).transp[1][3]), (Floats{0.5f, 5}));
    EXPECT_TRUE(std::signbit(f.set.model(0).transp[2][1]));
    EXPECT_EQ(f.set.model(0).transp[2][2], 3.0f);

    f.read(changed("<MEAN> 13 1 2", "<MEAN> 13 -Infinity nan"));
    const float* mean = f.set.model(0).states[0].streams[0].mixtures[0].mean;
    EXPECT_TRUE(mean[0] == -INFINITY && std::isnan(mean[1]));
    for (const std::string b : {"1.5x", "+-1", "1e", "0x"})
        EXPECT_EQ(f.failure(changed(" 0.6 ", " " + b + " ")),
                  "Error in reading " + f.path + ": expected a transition value in model 0, found \"" + b + "\"");
    EXPECT_EQ(f.failure(changed("<NUMSTATES> 4", "<NUMSTATES> 99999999999")),
              "Error in reading " + f.path + ": expected the state count in model 0, found \"99999999999\"");
}

TEST(macReadText, formatErrorsHaveTheirMessages)
{
    macFile f;
    const std::string unit = " of lib\\macro)";
    const std::vector<std::array<std::string, 3>> cases = {
        {"<BEGINHMM>", "<BEGINHM>", "modelId=0, str1=<BEGINHM>, Cannot find \"<BEGINHMM>\" (line 194" + unit},
        {"<NUMMIXES> 2 1 4", "<NUMMIXES> 2 33 4", "Error: mixtureNum=33 exceeds MAX_MIXTURE_NUM=32 (line 214" + unit},
        {"<SWEIGHTS> 3 0.5", "<SWEIGHT> 3 0.5",
         "ERROR: fail to read <NUMMIXES> or <SWEIGHTS> at modelId = 0, stateId = 3 (line 223" + unit},
        {"<STREAM> 2 <MEAN>", "<STREAMS> 2 <MEAN>",
         "str1=<STREAMS>, temp=2, Cannot find \"<STREAM>\" (line 248" + unit},
        {"<RCLASS> 4 <MEAN>", "<RCLASS> 4 <MEANS>", "Error: Cannot find \"<MEAN>\" (line 296" + unit},
        {"<MEAN> 13 1 2", "<MEAN> 12 1 2", "Error: MAX_PARAM_NUM = 13 != 12! (line 299" + unit},
        {"<VARIANCE> 13 3 4", "<VARIANC> 13 3 4", "Cannot find \"<VARIANCE>\" (line 308" + unit},
        {"<TRANSP> 4", "<TRANSF> 4", "Error: Cannot find \"<TRANSP>\" (line 345" + unit},
        {"<ENDHMM>", "<ENDHM>", "Error: Not reading <ENDHMM>, modelId=0 (line 362" + unit},
    };
    for (const auto& c : cases) {
        const std::string out = testsupport::captureStdout([&] { EXPECT_EQ(f.failure(changed(c[0], c[1])), c[2]); });
        EXPECT_EQ(out, c[1].starts_with("<STREAMS>") ? "modelId=0 (zz), stateId=2\n" : "");
    }
    EXPECT_EQ(fatalMessage([&] { f.set.macReadText(f.path + "x"); }),
              "Cannot open file " + f.path + "x (line 100 of lib\\utility)");
}

TEST(macReadText, refusesWhatTheRecordsCannotHold)
{
    macFile f;
    const std::string in = "Error in reading " + f.path + ": ";
    const std::string eof = "Unexpected end of file " + f.path + " while reading ";
    const std::string last = plainModel("bb", 3, 0);
    const std::vector<std::array<std::string, 2>> cases = {
        {changed("<STREAMINFO> 3 2 3 1", "<STREAMINFO> 4 2 3 1 1"), in + "streamNum=4 is outside 1..3"},
        {changed("3 2 3 1", "3 2 14 1"), in + "model 0 (zz): stream 2 has vector size 14, outside 1..13"},
        {changed("<NUMSTATES> 5", "<NUMSTATES> 6"), in + "model 1 (aa) has stateNum=6, outside 2..5"},
        {changed("<NUMSTATES> 5", "<NUMSTATES> 1"), in + "model 1 (aa) has stateNum=1, outside 2..5"},
        {changed("2 1 4", "2 -1 4"), in + "model 0 (zz) has mixtureNum=-1 at stateId = 2, below 0"},
        {changed("\"aa\"", "\"" + std::string(50, 'n') + "\""),
         in + "the name of model 1 has 50 characters, more than 49"},
        {SET_TEXT + "~h \"bb", in + "the name of model 2 has no closing '\"'"},
        // Models are counted by lines beginning with "~h", read in pieces of 999 characters.
        {SET_TEXT + " " + last, in + "a \"~h\" after the last of 2 models does not begin a line"},
        {SET_TEXT + "~h\n", eof + "model 2 (the quoted model name expected)"},
        {SET_TEXT.substr(0, SET_TEXT.size() - 9), eof + "model 1 (\"<ENDHMM>\" expected)"},
        {"", eof + "the header (the global options macro expected)"},
        {HEADER + "~h\n~h\n~h\n", in + "3 lines begin with \"~h\", more models than 73 bytes can hold"},
    };
    for (const auto& [text, message] : cases)
        EXPECT_EQ(f.failure(text), message);
    f.read(SET_TEXT + std::string(999, ' ') + last);
    EXPECT_STREQ(f.set.model(2).name, "bb");
    f.read(changed("\"aa\"", "\"" + std::string(49, 'n') + "\"") + std::string(1998, '\t') + last);
    EXPECT_TRUE(f.set.model(1).name == std::string(49, 'n') && f.set.modelNum == 3);
    f.failure(changed("<ENDHMM>", "<END>")); // nothing of a failed read stays
    EXPECT_TRUE(f.set.modelNum + f.set.streamNum == 0 && f.set.m_models.empty());
}

TEST(macReadText, survivesCorruptedFiles)
{
    macFile f;
    std::mt19937 rng(2024);
    const std::string bytes = SET_TEXT + plainModel("cc", 3, 7);
    const char specials[] = " \n\"~h<>-09e.";
    int succeeded = 0;
    testsupport::captureStdout([&] {
        for (int round = 0; round < 1500; ++round) {
            std::string text = bytes;
            for (int k = 0; k <= round % 3; ++k)
                text[rng() % text.size()] =
                    rng() % 2 ? specials[rng() % (sizeof specials - 1)] : static_cast<char>(rng() & 0xFF);
            if (round % 4 == 0)
                text.resize(rng() % text.size());
            try {
                f.read(text);
                ++succeeded;
                ASSERT_EQ(static_cast<size_t>(f.set.modelNum), f.set.m_models.size());
                for (const hmmModel& m : f.set.m_models)
                    ASSERT_TRUE(m.stateNum >= 2 && m.stateNum <= 5 && std::strlen(m.name) < 50);
            } catch (const fatalErrorException&) {
                ASSERT_TRUE(f.set.m_models.empty());
            }
        }
    });
    EXPECT_GT(succeeded, 50); // flips inside numbers and names still read
}

// Content after the last counted model used to be refused, and so were models without emitting
// states, which the grammar allows.
TEST(macReadText, readsTheCountedModelsOnlyAndTwoStateModels)
{
    macFile f;
    const std::string tee = "~h \"tee\"\n<BEGINHMM> <NUMSTATES> 2\n<TRANSP> 2\n0 1\n0 0\n<ENDHMM>\n";
    f.read(SET_TEXT + tee + "% a comment after the models\n~v \"varFloor1\"\n<VARIANCE> 13 1 1 1 1 1 1 1 1 1 1 1 1 1\n");
    ASSERT_EQ(f.set.modelNum, 3);
    const hmmModel& t = f.set.model(2);
    EXPECT_TRUE(t.name == std::string("tee") && t.stateNum == 2 && t.transp[0][1] == 1.0f && t.transp[1][0] == 0.0f);
    for (const hmmState& state : t.states)
        for (const hmmStream& stream : state.streams)
            EXPECT_EQ(stream.mixtureNum, 0);

    // Through macRead (sorted, prepared) and the binary form, the model stays as it is.
    std::filesystem::copy_file(f.path, f.dir.file("set.MAC"));
    macroClass set;
    set.macRead(f.dir.file("set.MAC"));
    const int tIndex = set.findModel("tee");
    EXPECT_TRUE(set.model(tIndex).stateNum == 2 && set.model(tIndex).transp[0][1] == 0.0f);
    f.set.macWriteBinary(f.dir.file("set.macb"));
    macroClass back;
    back.macReadBinary(f.dir.file("set.macb"));
    ASSERT_EQ(back.modelNum, 3);
    const hmmModel& b = back.model(2);
    EXPECT_TRUE(b.name == std::string("tee") && b.stateNum == 2 && b.transp[0][1] == 1.0f &&
                b.states[0].streams[0].mixtureNum == 0);
    // Text after the models is never parsed, even when it would not read as a model.
    f.read(SET_TEXT + "<ENDHMM> 1 2 3 \"");
    EXPECT_EQ(f.set.modelNum, 2);
}
