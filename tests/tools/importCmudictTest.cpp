#include <gtest/gtest.h>

#include <filesystem>

#include "lexicon/dict.h"
#include "support/testSupport.h"

using testsupport::runCommand;
using testsupport::shellQuote;

static const char* const CMUDICT = "/usr/share/pocketsphinx/model/en-us/cmudict-en-us.dict";

TEST(importCmudict, realDictionaryGivesTheSameTableAsTextAndBinary)
{
    if (!std::filesystem::exists(CMUDICT))
        GTEST_SKIP() << CMUDICT << " is missing (package pocketsphinx-en-us)";
    testsupport::ScratchDir dir;
    const std::string wpa = dir.file("cmudict.wpa"), wpab = dir.file("cmudict.wpab");
    auto r = runCommand(shellQuote(RECITE_IMPORT_CMUDICT_BINARY) + " " + shellQuote(CMUDICT) + " " + shellQuote(wpa) +
                        " " + shellQuote(wpab));
    ASSERT_EQ(r.exitStatus, 0) << r.output;

    dictClass text, binary;
    text.wpaRead(wpa, "english");
    binary.wpaRead(wpab, "english");
    ASSERT_GT(text.m_wpa.size(), 120000u);
    ASSERT_EQ(binary.m_wpa.size(), text.m_wpa.size());
    for (size_t i = 1; i < text.m_wpa.size(); ++i)
        ASSERT_LT(text.m_wpa[i - 1].word, text.m_wpa[i].word);

    using Entry = std::pair<std::string, std::vector<std::string>>;
    for (const Entry& e : {Entry{"a", {"ah", "ey"}}, Entry{"forward", {"f_ao_r_w_er_d"}},
                           Entry{"center", {"s_eh_n_t_er", "s_eh_n_er"}}}) {
        const int t = text.wpaSearch(e.first);
        ASSERT_GE(t, 0) << e.first;
        EXPECT_EQ(binary.wpaSearch(e.first), t) << e.first;
        EXPECT_EQ(text.m_wpa[static_cast<size_t>(t)].paVec, e.second) << e.first;
        EXPECT_EQ(binary.m_wpa[static_cast<size_t>(t)].paVec, e.second) << e.first;
    }
    for (size_t i = 0; i < text.m_wpa.size(); i += 997)
        EXPECT_TRUE(binary.m_wpa[i].word == text.m_wpa[i].word && binary.m_wpa[i].paVec == text.m_wpa[i].paVec) << i;
}

TEST(importCmudict, wrongUsageAndMissingInput)
{
    testsupport::ScratchDir dir;
    EXPECT_EQ(runCommand(shellQuote(RECITE_IMPORT_CMUDICT_BINARY)).exitStatus, 1);
    const std::string out = dir.file("out.wpa");
    EXPECT_EQ(runCommand(shellQuote(RECITE_IMPORT_CMUDICT_BINARY) + " " + shellQuote(dir.file("none.dict")) + " " +
                         shellQuote(out)).exitStatus, 2);
    EXPECT_FALSE(std::filesystem::exists(out));
}
