#include <gtest/gtest.h>

#include <filesystem>

#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "support/testSupport.h"
#include "task/recogParam.h"

using testsupport::captureStdout;
using testsupport::fatalMessage;
using Strings = std::vector<std::string>;

const dictClass ENGLISH = [] {
    dictClass dict;
    dict.m_wpa = {{"a", {"a1", "a2"}, {}}, {"b", {"b1", "b2"}, {}}, {"it", {"ih_t"}, {}}, {"read", {"r_iy_d", "r_eh_d"}, {}}};
    return dict;
}();

TEST(sylEnglish, exhaustiveListingAndRefusals)
{
    textClass t;
    t.m_txtVsNormalized = {"read it", "a b", "it"};
    t.textsToSylEnglish(ENGLISH);
    EXPECT_EQ(t.m_sylVs, (Strings{"r_iy_d-ih_t\t0", "r_eh_d-ih_t\t0", "a1-b1\t1", "a2-b1\t1", "a1-b2\t1", "a2-b2\t1",
                                  "ih_t\t2"}));

    t.m_txtVsNormalized = {"read  it"};
    EXPECT_EQ(fatalMessage([&] { t.textsToSylEnglish(ENGLISH); }),
              "Error: Found no pronunciation entry for \"\". Please add the pronunciation to wpaAddendaFile. "
              "(line 229 of file lib\\text)");
    EXPECT_EQ(fatalMessage([&] { t.textsToSylEnglish(dictClass()); }),
              "Error: wpa.size()==0 at line 260 of file lib\\text!");
    // 2^70 combinations would wrap a plain 64-bit product.
    std::string many = "a";
    for (int i = 1; i < 70; ++i)
        many += " a";
    t.m_txtVsNormalized = {"it", many};
    EXPECT_EQ(fatalMessage([&] { t.textsToSylEnglish(ENGLISH); }),
              "Error: Text 1 (\"" + many + "\") has more than 100000 pronunciation combinations.");
}

TEST(sylChinese, sortedSyllablesWithParallelExtras)
{
    const std::string zhong = "\xA4\xA4", wen = "\xA4\xE5", missing = "\xB0\xDA";
    dictClass dict;
    dict.m_wpa = {{zhong, {"zhong4", "zhong1", "zhong4"}, {"A", "B", "C"}}, {wen, {"wen2"}, {"x2"}}};
    textClass t;
    t.m_txtVsNormalized = {zhong + wen + "\xA4"};
    t.textsToSylChinese(dict);
    EXPECT_EQ(t.m_sylVs, (Strings{"zhong1-wen2\t0", "zhong4-wen2\t0"}));
    EXPECT_EQ(t.m_extraVs, (Strings{"B-x2", "A-x2"}));

    t.m_txtVsNormalized = {zhong, wen + missing};
    std::string message;
    EXPECT_EQ(captureStdout([&] { message = fatalMessage([&] { t.textsToSylChinese(dict); }); }),
              "Warning: Found no syllable for \"" + missing + "\"!\n");
    EXPECT_EQ(message, "Error: Cannot list the syllables of text 1 without \"" + missing + "\".");
}

TEST(sylRewrite, japaneseRulesAndShortPause)
{
    testsupport::ScratchDir dir;
    recogParam param;
    param.language = "japanese";
    param.outputDir = dir.path().string();
    textClass t;
    t.m_sylVs = {"sil-ko_n-ni_chi_wa-sil", "to_o-ky_o_o\tAB", "#-a-#-#-b-#-#-#", "A_A-b\tC\tD"};
    EXPECT_EQ(captureStdout([&] { t.sylJapanese(param); }),
              "\t===> Saved " + dir.file("output.syl") + " for Japanese!\n");
    EXPECT_EQ(testsupport::readFile(dir.file("output.syl")),
              "ko-n-ni_chi_wa\nto-ky_o\tAB\nsil-a-sil-b-sil\na-b\tc\td\n");

    t.m_sylVs = {"a-b\t0"};
    EXPECT_EQ(captureStdout([&] { t.addBetweenSyllables("-sp-"); }), "\tAdding -sp- between syllables...\n");
    EXPECT_EQ(t.m_sylVs, (Strings{"a-sp-b\t0"}));
}

TEST(wordsToPas, foundPasGoInFrontMissingWordsAreRecorded)
{
    Strings pas = {"old"};
    wordsToPas("read it", ENGLISH, pas);
    EXPECT_EQ(pas, (Strings{"ih_t", "r_iy_d", "r_eh_d", "old"}));

    testsupport::ScratchDir dir;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::string message;
    const std::string out = captureStdout([&] { message = fatalMessage([&] { wordsToPas("zz it yy zz", ENGLISH, pas); }); });
    std::filesystem::current_path(previous);
    EXPECT_EQ(out, "Error: Found no pronunciation entry for \"zz\". (line 195 of file lib\\text)\n"
                   "Error: Found no pronunciation entry for \"yy\". (line 195 of file lib\\text)\n"
                   "Error: Found no pronunciation entry for \"zz\". (line 195 of file lib\\text)\n");
    EXPECT_EQ(testsupport::readFile(dir.file("missingWord.txt")), "yy\nzz\n");
    EXPECT_EQ(message, "Error: 2 words (recorded at \"missingWord.txt\") cannot be found in the pronunciation "
                       "dictionary! Please add the pronunciation to wpaAddendaFile. (line 206 of file lib\\text)");
}
