#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/macro.h"
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
}

// The message of a listing past the budget, for text `index` shown as `shown`.
static std::string overBudget(size_t index, const std::string& shown)
{
    return "Error: Listing the pronunciations of text " + std::to_string(index) + " (\"" + shown +
           "\") takes all texts together past 100000 syllable strings or 250000 network nodes. Give fewer texts, or "
           "words with fewer pronunciations. A long single text can use the sausage network (netType = 1), which "
           "offers the pronunciations of each word without listing their combinations.";
}

TEST(sylEnglish, longTextListedInLinearTimeInTheOrderOfTheExhaustiveList)
{
    dictClass dict;
    dict.m_wpa = {{"a", {"a1", "a2"}, {}}, {"b", {"b1", "b2", "b3"}, {}}, {"c", {"c1"}, {}}, {"d", {"d1", "d2"}, {}}};
    textClass t;
    t.m_txtVsNormalized = {"a b c d b"};
    t.textsToSylEnglish(dict);
    Strings expected = strVecExhaustiveList({{"a1", "a2"}, {"b1", "b2", "b3"}, {"c1"}, {"d1", "d2"}, {"b1", "b2", "b3"}});
    for (std::string& s : expected)
        s += "\t0";
    EXPECT_EQ(t.m_sylVs, expected);

    // Growing the string word by word copied it once per word: about 90 GB of copying for this
    // text (the suite would time out), against a few megabytes.
    std::string words = "c";
    for (int i = 1; i < 240000; ++i)
        words += " c";
    t.m_txtVsNormalized = {words};
    t.textsToSylEnglish(dict);
    ASSERT_EQ(t.m_sylVs.size(), 1u);
    EXPECT_EQ(t.m_sylVs[0].size(), 240000u * 3u - 1u + 2u);
}

TEST(sylEnglish, listingBudgetCoversAllTextsTogether)
{
    textClass t;
    // 16 words of two pronunciations: 65536 strings per text; the second text passes 100000.
    std::string sixteen = "a";
    for (int i = 1; i < 16; ++i)
        sixteen += " a";
    t.m_txtVsNormalized = {"it", sixteen};
    t.textsToSylEnglish(ENGLISH);
    EXPECT_EQ(t.m_sylVs.size(), 65537u);
    t.m_txtVsNormalized.assign(20, sixteen);
    EXPECT_EQ(fatalMessage([&] { t.textsToSylEnglish(ENGLISH); }),
              overBudget(1, sixteen));

    // 2^70 combinations would wrap a plain 64-bit product.
    std::string many = "a";
    for (int i = 1; i < 70; ++i)
        many += " a";
    t.m_txtVsNormalized = {"it", many};
    EXPECT_EQ(fatalMessage([&] { t.textsToSylEnglish(ENGLISH); }), overBudget(1, many.substr(0, 60) + "..."));

    // One string, but a tree of more nodes than the budget allows.
    std::string longText = "it";
    for (int i = 1; i < 250001; ++i)
        longText += " it";
    t.m_txtVsNormalized = {longText};
    EXPECT_EQ(fatalMessage([&] { t.textsToSylEnglish(ENGLISH); }), overBudget(0, longText.substr(0, 60) + "..."));
}

TEST(sylChinese, sortedSyllablesWithParallelExtras)
{
    const std::string zhong = "\xA4\xA4", wen = "\xA4\xE5";
    dictClass dict;
    dict.m_wpa = {{zhong, {"zhong4", "zhong1", "zhong4"}, {"A", "B", "C"}}, {wen, {"wen2"}, {"x2"}}};
    textClass t;
    t.m_txtVsNormalized = {zhong + wen + "\xA4"};
    t.textsToSylChinese(dict, "t.txt");
    EXPECT_EQ(t.m_sylVs, (Strings{"zhong1-wen2\t0", "zhong4-wen2\t0"}));
    EXPECT_EQ(t.m_extraVs, (Strings{"B-x2", "A-x2"}));
}

TEST(sylChinese, wpabEntriesWithoutExtrasAndTextsWithUnknownCharacters)
{
    const std::string zhong = "\xA4\xA4", wen = "\xA4\xE5", guo = "\xB0\xEA", missing = "\xB0\xDA";
    dictClass dict;
    // As from a wpab file: no extras; one entry without any syllable.
    dict.m_wpa = {{zhong, {"zhong1"}, {}}, {wen, {"wen2", "wen4"}, {}}, {guo, {}, {}}};
    textClass t;
    t.m_txtVsNormalized = {zhong + missing + wen + missing, wen + zhong, guo, zhong};
    const std::string out = captureStdout([&] { t.textsToSylChinese(dict, "t.txt"); });
    EXPECT_EQ(out, "Warning: Found no syllable for \"" + missing + "\"!\n"
                   "Warning: Found no syllable for \"" + missing + "\"!\n"
                   "Warning: Text 0 (\"" + t.m_txtVsNormalized[0] + "\") is left out: \"" + missing +
                   "\" has no syllable in the wpa table.\n"
                   "Warning: Found no syllable for \"" + guo + "\"!\n"
                   "Warning: Text 2 (\"" + guo + "\") is left out: \"" + guo + "\" has no syllable in the wpa table.\n");
    // The remaining texts keep their own indices; the extras are empty items, one per syllable.
    EXPECT_EQ(t.m_sylVs, (Strings{"wen2-zhong1\t1", "wen4-zhong1\t1", "zhong1\t3"}));
    EXPECT_EQ(t.m_extraVs, (Strings{"-", "-", ""}));

    // A path through text 3 maps back to text 3 and to its entry.
    t.m_txtVs = {"t0", "t1", "t2", "t3"};
    dict.m_pronDict = {{"sil", {}}, {"zhong1", {}}};
    recogParam param;
    param.comparisonMode = 1;
    std::vector<int> texts, entries;
    EXPECT_EQ(t.pinyin2text({0, 1, 0}, dict, texts, entries, param), "zhong1");
    EXPECT_EQ(texts, (std::vector<int>{3}));
    EXPECT_EQ(entries, (std::vector<int>{2}));

    t.m_txtVsNormalized = {missing, "", guo};
    std::string message;
    captureStdout([&] { message = fatalMessage([&] { t.textsToSylChinese(dict, "t.txt"); }); });
    EXPECT_EQ(message, "Error: No text of \"t.txt\" is left to recognise: 2 left out for characters without a "
                       "syllable in the wpa table (see the warnings above).");
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

TEST(wordsToPas, appendsWithoutMovingTheListAndGivesTheSameDictionary)
{
    Strings pas = {"old"};
    pas.reserve(16);
    const std::string* const first = pas.data();
    wordsToPas("read it", ENGLISH, pas);
    // Appending leaves what is there in place (putting each text in front was quadratic).
    EXPECT_EQ(pas.data(), first);
    EXPECT_EQ(pas, (Strings{"old", "r_iy_d", "r_eh_d", "ih_t"}));

    // The dictionary is the same as from the list with every text's PAs put in front.
    dictClass dict = ENGLISH;
    const Strings texts = {"read it", "a b a", "it read\tx", "b"};
    Strings front;
    for (const std::string& text : texts) {
        Strings words;
        textToWords(text.substr(0, text.find('\t')), "english", words);
        for (const std::string& word : words) {
            const Strings& paVec = dict.m_wpa[static_cast<size_t>(dict.wpaSearch(word))].paVec;
            front.insert(front.begin(), paVec.begin(), paVec.end());
        }
    }
    front.push_back("sil");
    front.push_back("sp");
    std::sort(front.begin(), front.end());
    front.erase(std::unique(front.begin(), front.end()), front.end());
    macroClass models;
    for (const char* name : {"a1+sil", "a2+sil", "b1+sil", "b2+sil", "d+sil", "eh+d", "ih+t", "iy+d", "r+eh", "r+iy",
                             "sil", "sp", "t+sil"}) {
        models.m_models.emplace_back();
        std::strncpy(models.m_models.back().name, name, MODEL_NAME_SIZE - 1);
    }
    models.modelNum = static_cast<int32_t>(models.m_models.size());
    models.macSortByName();
    dict.pronDictFromWpa(texts, models);
    Strings words;
    for (const pronEntry& e : dict.m_pronDict)
        words.push_back(e.word);
    EXPECT_EQ(words, front);
}

TEST(wordsToPas, missingWordsAreRecorded)
{
    Strings pas;
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

TEST(sylFile, entriesNeedATextIndexBelowTheNumberOfTexts)
{
    testsupport::ScratchDir dir;
    const std::string path = dir.file("a.syl");
    textClass t;
    testsupport::writeFile(path, "a-b\t0\r\n\nc\t 2 \n");
    t.sylFileRead(path, 3, false);
    EXPECT_EQ(t.m_sylVs, (Strings{"a-b\t0", "c\t 2 "}));

    // Line numbers count the empty lines that readTextLines drops.
    const std::string lead = "a\t0\n\n";
    for (const auto& [line, texts, assess, problem] : std::vector<std::tuple<std::string, size_t, bool, std::string>>{
             {"a-b", 2, false, "no text index (a tab and the number of the text that the syllables spell)"},
             {"a-b\t0\t1", 2, false, "more than one tab"},
             {"\t0", 2, false, "no syllables before the tab"},
             {"a-b\t", 2, false, "a text index that is not a number: \"\""},
             {"a-b\t1x", 2, false, "a text index that is not a number: \"1x\""},
             {"a-b\t-1", 2, false, "a negative text index: -1"},
             {"a-b\t2", 2, false, "text index 2, not below the number of texts (2)"},
             {"a-b\t99999999999999999999999", 2, false,
              "text index 99999999999999999999999, not below the number of texts (2)"},
             {"a-b\t1", 1, true, "text index 1, but assess joins the texts into one text, index 0"}}) {
        testsupport::writeFile(path, lead + line + "\n");
        const size_t textNum = texts;
        const bool joined = assess;
        EXPECT_EQ(fatalMessage([&] { t.sylFileRead(path, textNum, joined); }),
                  "Error: Line 3 of the syllable file \"" + path + "\" has " + problem + ".")
            << line;
    }
    // A line too long for one read comes in pieces; the second piece has no index.
    testsupport::writeFile(path, "a\t0\r\n" + std::string(100005, 'x') + "\t0\n");
    std::string message;
    captureStdout([&] { message = fatalMessage([&] { t.sylFileRead(path, 1, false); }); });
    EXPECT_EQ(message, "Error: Line 2 of the syllable file \"" + path + "\" has no text index (a tab and the number "
                       "of the text that the syllables spell).");
}
