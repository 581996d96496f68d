#include <gtest/gtest.h>

#include <chrono>

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

TEST(textNormalize, replacementIsOnePassAndSameAsReplaceAll)
{
    ScratchDir dir;
    const std::string map = dir.file("map.tnm");
    textClass t;
    // Overlapping matches, a replacement holding the pattern, an empty replacement.
    const Strings rules[] = {{"aa", "b"}, {"a", "aa"}, {"ab", ""}, {"  ", " "}, {"xyz", "q"}};
    const Strings texts = {"aaaaa", "abab a", "   x  y    ", "", "xyzxy", "aab"};
    for (const Strings& rule : rules) {
        writeFile(map, rule[0] + "#" + rule[1] + "#g\n");
        t.textNormRead(map, '#');
        for (std::string text : texts) {
            std::string expected = text;
            strReplaceAll(expected, rule[0], rule[1]);
            t.normalizeOne(text, "chinese");
            EXPECT_EQ(text, expected) << rule[0];
        }
    }

    // A run of two million blanks: shifting the rest of the text at every replacement moved
    // about a terabyte, one pass a few megabytes.
    writeFile(map, "  # #g\n");
    t.textNormRead(map, '#');
    std::string blanks = "a" + std::string(2000000, ' ') + "b";
    const auto start = std::chrono::steady_clock::now();
    t.normalizeOne(blanks, "english");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
    EXPECT_EQ(blanks, "a" + std::string(1000000, ' ') + "b");
}
