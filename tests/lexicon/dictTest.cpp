#include <gtest/gtest.h>

#include <cstring>

#include "lexicon/dict.h"
#include "model/macro.h"
#include "support/testSupport.h"

using namespace testsupport;

namespace {

macroClass modelSet(const std::vector<std::string>& names)
{
    macroClass mac;
    mac.modelNum = static_cast<int32_t>(names.size());
    mac.m_models.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        std::strncpy(mac.m_models[i].name, names[i].c_str(), MODEL_NAME_SIZE - 1);
    mac.macSortByName();
    return mac;
}

} // namespace

TEST(pronDictTest, FromWpaReadWriteSearchAndPinyinTable)
{
    ScratchDir dir;
    const macroClass mac = modelSet(
        {"w+er", "sp", "h+ax", "ax+l", "l+ow", "ow+sil", "sil", "er+l", "l+d", "d+sil", "h", "e", "l", "o"});
    dictClass dict;
    EXPECT_EQ(dict.pronDictSearch("sil"), -1);
    // "hullo" shares the PA of "hello"; every model name exists, so nothing is substituted.
    dict.m_wpa = {{"hello", {"h_ax_l_ow"}, {}}, {"hullo", {"h_ax_l_ow"}, {}}, {"world", {"w_er_l_d"}, {}}};
    EXPECT_EQ(captureStdout([&] { dict.pronDictFromWpa({"hello world\tnot read", "hullo"}, mac); }), "");
    dict.pronDictWrite(dir.file("out.dic"), mac);
    EXPECT_EQ(readFile(dir.file("out.dic")),
              "h_ax_l_ow\th+ax ax+l l+ow ow+sil\nsil\tsil\nsp\tsp\nw_er_l_d\tw+er er+l l+d d+sil\n");
    EXPECT_EQ(dict.pronDictSearch("w_er_l_d"), 3);
    EXPECT_EQ(dict.pronDictSearch("h_ax"), -1);

    // Comment, CRLF, a blank line and a word without phones; "filler" has no model.
    const std::string dic = dir.file("a.dic");
    writeFile(dic, "%hello h e l o\nhello h e l o\r\n   \nbare\t\nab  sp filler\n");
    dict.m_pronDict.clear();
    EXPECT_EQ(captureStdout([&] { dict.pronDictRead(dic, mac); }),
              "Warning: skipped line 3 of " + dic + ": no phone list\nWarning: skipped line 4 of " + dic +
                  ": no phone list\n");
    dict.pronDictWrite(dir.file("out.dic"), mac);
    EXPECT_EQ(readFile(dir.file("out.dic")), "hello\th e l o\nab\tsp ???\n");

    // 999 characters per field, not per line: the separator and the CR don't count.
    std::string word(999, 'w'), phones = "h";
    for (int i = 1; i < 500; ++i)
        phones += " h";
    writeFile(dic, word + "\t" + phones + "\r\n");
    dict.m_pronDict.clear();
    dict.pronDictRead(dic, mac);
    ASSERT_EQ(dict.m_pronDict.size(), 1u);
    EXPECT_EQ(dict.m_pronDict[0].word, word);
    EXPECT_EQ(dict.m_pronDict[0].modelIds.size(), 500u);
    writeFile(dic, "x h\n" + word + "w h\n");
    EXPECT_EQ(fatalMessage([&] { dict.pronDictRead(dic, mac); }),
              "Error in dictClass::pronDictRead: the word in line 2 of " + dic + " is longer than 999 characters");
    writeFile(dic, "x h\nx " + phones + " \r\n");
    EXPECT_EQ(fatalMessage([&] { dict.pronDictRead(dic, mac); }),
              "Error in dictClass::pronDictRead: the phone list in line 2 of " + dic + " is longer than 999 characters");
    EXPECT_EQ(fatalMessage([&] { dict.pronDictRead(dic, modelSet({"sil"})); }),
              "Error in dictClass::pronDictRead when reading " + dic + ": Macro is too small (line 71 in of lib\\dict)");

    writeFile(dir.file("py.txt"), "a\tb\t\td\n\nx\n");
    dict.pinyinTableRead(dir.file("py.txt"));
    EXPECT_EQ(dict.m_pinyinTable, (std::vector<std::vector<std::string>>{{"a", "b", "", "d"}, {"x"}}));
}
