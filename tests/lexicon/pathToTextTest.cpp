#include <gtest/gtest.h>

#include <tuple>

#include "common/fatalError.h"
#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "support/testSupport.h"
#include "task/recogParam.h"

// "string texts entries startUnit/unitNum" of pinyin2text, or "!", the fatal message and the console output.
static std::string outcome(const std::vector<std::string>& sylVs, const std::vector<int32_t>& path,
                           int comparisonMode, const char* function = "recog", int netType = 0)
{
    dictClass dict;
    for (const char* w : {"sil", "a", "b", "c", "ab", "fillerC", "fillerV", "sp"})
        dict.m_pronDict.push_back({w, {}});
    recogParam p;
    std::tie(p.comparisonMode, p.function, p.netType, p.sylFile, p.addLink4startAnywhere) =
        std::make_tuple(comparisonMode, function, netType, "x.syl", 1);
    textClass t;
    t.m_sylVs = sylVs;
    t.m_txtVs = {"t0", "t1", "t2", "t3"};
    std::vector<int> texts, entries;
    std::string got;
    const std::string console = testsupport::captureStdout([&] {
        try {
            got = t.pinyin2text(path, dict, texts, entries, p);
            got += strPrintf(" %s %s %d/%d", intVecJoin(texts, ",").c_str(), intVecJoin(entries, ",").c_str(),
                             t.m_matchStartUnit, t.m_matchUnitNum);
        } catch (const fatalErrorException& e) {
            got = std::string("!") + e.what() + "\n";
        }
    });
    return got + console;
}

TEST(pathToText, comparisonModesSausageAndRefusals)
{
    enum unit { SIL, A, B, C, AB, FILLER_C, FILLER_V, SP };
    EXPECT_EQ(outcome({"a-b\t3", "a-b-c\t1", "a-b\t2", "a-b\t3"}, {SIL, A, B, SIL}, 1), "a-b 2,3 0,2,3 -1/-1");
    EXPECT_EQ(outcome({"a-b-c\t1"}, {A, B}, 1), "a-b 1 0 -1/-1");
    EXPECT_EQ(outcome({"a-b-c\t1"}, {B, C}, 2), "b-c 1 0 -1/-1");
    EXPECT_EQ(outcome({"a-b-c\t1"}, {B, C}, 1, "assess"), "b-c 1 0 -1/-1");
    EXPECT_PRED_FORMAT2(testing::IsSubstring, "(line 887 of file lib\\text)\nError in textClass::pinyin2text(): Cannot "
                        "find sylPath within m_sylVs (shown next) at line 882 of file lib\\text!\nsylPath=-b-c- (line="
                        "883, file=lib\\text)\nrecogParamP->comparisonMode=1 (line=884, file=lib\\text)\nrecogParamP->"
                        "netType=0 (line=885, file=lib\\text)\nm_sylVs[0] = a-b-c\t1\n",
                        outcome({"a-b-c\t1"}, {B, C}, 1));
    EXPECT_EQ(outcome({"a-b\t0"}, {A, SIL, B}, 1, "assess"), "a-b 0 0 -1/-1");
    EXPECT_EQ(outcome({"c\t0", "a-b\t1", "b\t2"}, {FILLER_C, A, B, FILLER_V}, 3), "fillerC-a-b-fillerV 1,2 1,2 1/2");
    EXPECT_PRED_FORMAT2(testing::IsSubstring, "Cannot find sylPath", outcome({"b\t0"}, {A, AB}, 3));
    EXPECT_EQ(outcome({"unchecked"}, {SIL, A, SP, SIL, B, SIL}, 7, "recog", 1), "a-b 0 -1 -1/-1");
    EXPECT_PRED_FORMAT2(testing::IsSubstring, "1 \"a-b\" has no text index", outcome({"a-b\t0", "a-b"}, {A, B}, 1));
    // An index past the texts would pick a text that isn't there.
    EXPECT_EQ(outcome({"a-b\t0", "c\t4"}, {A, B}, 1),
              "!Syllable entry 1 \"c\t4\" has text index 4, but there are 4 texts.\n");
    EXPECT_EQ(outcome({"c\t4"}, {A, B}, 3), "!Syllable entry 0 \"c\t4\" has text index 4, but there are 4 texts.\n");
}

TEST(pinyinConvert, keepsFillersAndWarnsForUnknownSyllables)
{
    std::string s;
    const std::vector<std::vector<std::string>> table = {{"1", "zz"}, {"2", "ni3", "ni", "nii"}};
    EXPECT_EQ(testsupport::captureStdout([&] { s = pinyinConvert("sil-ni3-zz", table, 1, 3); }),
              "Warning: Cannot find zz in the pinyinTable!\n");
    EXPECT_EQ(s, "sil-nii-zz");
}
