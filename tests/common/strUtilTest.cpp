#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "common/strUtil.h"
#include "support/testSupport.h"

using Strings = std::vector<std::string>;

TEST(strSplit, keepsEmptyFieldsAndTrailingDelimiter)
{
    Strings out;
    strSplit("a#b#", '#', out);
    EXPECT_EQ(out, (Strings{"a", "b", ""}));
    strSplit("#a", '#', out);
    EXPECT_EQ(out, (Strings{"", "a"}));
    strSplit("a##b", '#', out);
    EXPECT_EQ(out, (Strings{"a", "", "b"}));
    strSplit("whole", '#', out);
    EXPECT_EQ(out, (Strings{"whole"}));
    strSplit("", '#', out);
    EXPECT_TRUE(out.empty());
    strSplit("#", '#', out);
    EXPECT_EQ(out, (Strings{"", ""}));

    // Appending keeps what is there.
    out = {"x"};
    strSplit("y z", ' ', out, true);
    EXPECT_EQ(out, (Strings{"x", "y", "z"}));
}

TEST(strVecLinSearch, matchPositions)
{
    const Strings vec = {"xab", "abx", "ab", "zzz"};
    std::vector<int> idx = {99};
    strVecLinSearch(vec, "ab", idx, 0);
    EXPECT_EQ(idx, (std::vector<int>{0, 1, 2}));
    strVecLinSearch(vec, "ab", idx, 1);
    EXPECT_EQ(idx, (std::vector<int>{1, 2}));
    strVecLinSearch(vec, "ab", idx, 2);
    EXPECT_EQ(idx, (std::vector<int>{0, 2}));
    strVecLinSearch(vec, "ab", idx, 3);
    EXPECT_EQ(idx, (std::vector<int>{2}));

    // Only the first occurrence counts for "ends the string".
    strVecLinSearch({"abab"}, "ab", idx, 2);
    EXPECT_TRUE(idx.empty());

    // An unknown mode fails only once a string contains the pattern.
    strVecLinSearch(vec, "qq", idx, 7);
    EXPECT_TRUE(idx.empty());
    EXPECT_EQ(testsupport::fatalMessage([&] { strVecLinSearch(vec, "ab", idx, 7); }),
              "Unknown matchPos in strVecLinSearch (line 918 of lib\\utility)");
}

TEST(strVecExhaustiveList, firstPositionVariesFastest)
{
    EXPECT_EQ(strVecExhaustiveList({{"a", "b"}}), (Strings{"a", "b"}));
    EXPECT_EQ(strVecExhaustiveList({{"a", "b"}, {"c", "d"}}), (Strings{"a-c", "b-c", "a-d", "b-d"}));
    Strings all = strVecExhaustiveList({{"a", "b"}, {"1", "2", "3"}, {"x", "y"}});
    ASSERT_EQ(all.size(), 12u);
    EXPECT_EQ(all.front(), "a-1-x");
    EXPECT_EQ(all[1], "b-1-x");
    EXPECT_EQ(all[2], "a-2-x");
    EXPECT_EQ(all.back(), "b-3-y");
    EXPECT_TRUE(strVecExhaustiveList({}).empty());
}

TEST(stringRoutines, trimLowerReplaceJoin)
{
    std::string s = " \t\v\f\r\n key = v \r\n";
    strTrim(s);
    EXPECT_EQ(s, "key = v");
    s = "   ";
    strTrim(s);
    EXPECT_EQ(s, "");

    // The right trim leaves vertical tab and form feed alone.
    s = "abc \v\t\r\n ";
    strTrimRight(s);
    EXPECT_EQ(s, "abc \v");

    // Only ASCII letters change; Big5 bytes stay as they are.
    s = "AbZ\xA4\xE5-Q";
    strToLower(s);
    EXPECT_EQ(s, "abz\xA4\xE5-q");

    // Inserted text is never rescanned.
    s = "aaa";
    strReplaceAll(s, "a", "aa");
    EXPECT_EQ(s, "aaaaaa");
    s = "a-b-c";
    strReplaceAll(s, "-", "");
    EXPECT_EQ(s, "abc");
    s = "abc";
    strReplaceAll(s, "", "x");
    EXPECT_EQ(s, "abc");

    EXPECT_EQ(strVecJoin({}, "#"), "");
    EXPECT_EQ(strVecJoin({"a", "", "b"}, "#"), "a##b");
    EXPECT_EQ(intVecJoin({0, 4, -7}, "#"), "0#4#-7");
    EXPECT_EQ(intVecJoin({}, "#"), "");

    Strings v = {"", "a", "", "b", ""};
    strVecRemoveEmpty(v);
    EXPECT_EQ(v, (Strings{"a", "b"}));

    EXPECT_EQ(fileExtension("dir.v1/models.macb"), "macb");
    EXPECT_EQ(fileExtension("noext"), "");
    EXPECT_EQ(fileExtension("trailing."), "");
}

TEST(roundHalfAway, halvesGoAwayFromZero)
{
    EXPECT_EQ(roundHalfAway(2.5), 3);
    EXPECT_EQ(roundHalfAway(-2.5), -3);
    EXPECT_EQ(roundHalfAway(0.0), 0);
    EXPECT_EQ(roundHalfAway(2.4999), 2);
    EXPECT_EQ(roundHalfAway(-0.5), -1);
    EXPECT_EQ(roundHalfAway(99.99), 100);
    EXPECT_EQ(roundHalfAway(1.5f), 2);
    EXPECT_EQ(roundHalfAway(-1.5f), -2);
    // Single precision adds in single precision: 0.49999997f + 0.5f is 1.0f.
    EXPECT_EQ(roundHalfAway(0.49999997f), 1);
    EXPECT_EQ(roundHalfAway(0.49999997), 0);
    // Out of range and NaN do not invoke undefined conversions.
    EXPECT_EQ(roundHalfAway(1e30), INT_MAX);
    EXPECT_EQ(roundHalfAway(-1e30f), INT_MIN);
    EXPECT_EQ(roundHalfAway(std::nan("")), 0);
}

TEST(parseLeadingInt, readsLikeAtoi)
{
    EXPECT_EQ(parseLeadingInt("1"), 1);
    EXPECT_EQ(parseLeadingInt("  -2.5"), -2);
    EXPECT_EQ(parseLeadingInt("+7x"), 7);
    EXPECT_EQ(parseLeadingInt("1.5"), 1);
    EXPECT_EQ(parseLeadingInt("abc"), 0);
    EXPECT_EQ(parseLeadingInt(""), 0);
    EXPECT_EQ(parseLeadingInt("- 3"), 0);
    EXPECT_EQ(parseLeadingInt("--3"), 0);
    EXPECT_EQ(parseLeadingInt("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(parseLeadingInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseLeadingInt("-99999999999999999999"), INT32_MIN);
}
