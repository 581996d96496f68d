#include <gtest/gtest.h>


#include "common/strUtil.h"
#include "lexicon/text.h"
#include "support/testSupport.h"
#include "task/recogParam.h"

using testsupport::fatalMessage;
using testsupport::ScratchDir;
using testsupport::writeFile;
using Strings = std::vector<std::string>;

TEST(textRead, fileOrHashSeparatedTexts)
{
    ScratchDir dir;
    textClass t;
    writeFile(dir.file("t.txt"), "good morning\n\nthank you#too\n");
    t.txtRead(dir.file("t.txt"));
    EXPECT_EQ(t.m_txtVs, (Strings{"good morning", "thank you#too"}));
    t.txtRead("good morning#thank you");
    EXPECT_EQ(t.m_txtVs, (Strings{"good morning", "thank you"}));
    t.txtRead("abc#");
    EXPECT_EQ(t.m_txtVs, (Strings{"abc", ""}));

    EXPECT_EQ(fatalMessage([&] { t.txtRead(""); }),
              "Error: The given recognizable texts (represented as a string delimited by #) has a length of zero. "
              "(line 19 of lib\\text)");
    const std::string empty = dir.file("empty.txt");
    writeFile(empty, "\n\n");
    EXPECT_EQ(fatalMessage([&] { t.txtRead(empty); }),
              "Error: m_txtVs.size()=0 when reading \"" + empty + "\". (line 25 of lib\\text)");
}

TEST(textNormalize, ruleKindsInFileOrder)
{
    ScratchDir dir;
    const std::string map = dir.file("map.tnm");
    writeFile(map, "% comment\n.#x#$\n #x#^\n,# #g\n\n  # #g\no#0#q#extra\n");
    textClass t;
    t.textNormRead(map, '#');
    ASSERT_EQ(t.m_textNormSp.size(), 5u);

    // The comma rule makes the double blank that the next rule folds; "q" does nothing.
    t.m_txtVs = {"  Hello,,World...\t12", "....", "A, B"};
    recogParam param;
    param.language = "english";
    t.textNormalize(param);
    EXPECT_EQ(t.m_txtVsNormalized, (Strings{"hello world", "", "a b"}));
    std::string chinese = "\xA4\xA4" "AB..";
    t.normalizeOne(chinese, "chinese");
    EXPECT_EQ(chinese, "\xA4\xA4" "AB");

    writeFile(map, "a#b#g\na#b\n");
    EXPECT_EQ(fatalMessage([&] { t.textNormRead(map, '#'); }),
              "Error: Parsing error in \"" + map + "\". (line 917 of file lib\\text)");
    writeFile(map, "%\r\n\r\na#b#g\r\n#b#g\r\n");
    EXPECT_EQ(fatalMessage([&] { t.textNormRead(map, '#'); }),
              "Error: Empty pattern in line 4 of the text normalization mapping file \"" + map + "\".");
}

TEST(textNormalize, gRulesReplaceLeftToRightWithoutRescanning)
{
    ScratchDir dir;
    const std::string map = dir.file("map.tnm");
    textClass t;
    // Overlapping matches, a replacement holding the pattern, an empty replacement.
    const Strings cases[] = {{"aa", "b", "aaaaa", "bba"},      {"a", "aa", "abab a", "aabaab aa"},
                             {"ab", "", "aab", "a"},           {"  ", " ", "   x  y    ", "  x y  "},
                             {"xyz", "q", "xyzxy", "qxy"}};
    for (const Strings& c : cases) {
        writeFile(map, c[0] + "#" + c[1] + "#g\n");
        t.textNormRead(map, '#');
        std::string text = c[2];
        t.normalizeOne(text, "chinese");
        EXPECT_EQ(text, c[3]) << c[0];
    }

    // A run of two million blanks: replacing in place moved about a terabyte (the suite would
    // time out), one pass a few megabytes.
    writeFile(map, "  # #g\n");
    t.textNormRead(map, '#');
    std::string blanks = "a" + std::string(2000000, ' ') + "b";
    t.normalizeOne(blanks, "english");
    EXPECT_EQ(blanks, "a" + std::string(1000000, ' ') + "b");
}
