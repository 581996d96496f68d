#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "common/strUtil.h"
#include "support/testSupport.h"

using Strings = std::vector<std::string>;

TEST(strSplit, keepsEmptyFieldsAndTrailingDelimiter)
{
    const std::pair<const char*, Strings> cases[] = {{"a#b#", {"a", "b", ""}}, {"#a", {"", "a"}}, {"a##b", {"a", "", "b"}},
                                                     {"whole", {"whole"}},      {"", {}},          {"#", {"", ""}}};
    Strings out;
    for (const auto& [text, fields] : cases) {
        strSplit(text, '#', out);
        EXPECT_EQ(out, fields) << text;
    }
    out = {"x"}; // appending keeps what is there
    strSplit("y z", ' ', out, true);
    EXPECT_EQ(out, (Strings{"x", "y", "z"}));
}

TEST(strVecLinSearch, matchPositions)
{
    const Strings vec = {"xab", "abx", "ab", "zzz"};
    const std::vector<std::vector<int>> byMode = {{0, 1, 2}, {1, 2}, {0, 2}, {2}};
    std::vector<int> idx = {99};
    for (int mode = 0; mode < 4; ++mode) {
        strVecLinSearch(vec, "ab", idx, mode);
        EXPECT_EQ(idx, byMode[static_cast<size_t>(mode)]) << mode;
    }
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
    EXPECT_EQ((Strings{all[0], all[1], all[2], all[11]}), (Strings{"a-1-x", "b-1-x", "a-2-x", "b-3-y"}));
    EXPECT_TRUE(strVecExhaustiveList({}).empty());
}

TEST(stringRoutines, trimLowerReplaceJoin)
{
    auto edited = [](std::string s, void (*edit)(std::string&)) {
        edit(s);
        return s;
    };
    EXPECT_EQ(edited(" \t\v\f\r\n key = v \r\n", strTrim), "key = v");
    EXPECT_EQ(edited("   ", strTrim), "");
    EXPECT_EQ(edited("abc \v\t\r\n ", strTrimRight), "abc \v"); // vertical tab and form feed stay
    EXPECT_EQ(edited("AbZ\xA4\xE5-Q", strToLower), "abz\xA4\xE5-q"); // Big5 bytes stay

    // Inserted text is never rescanned.
    const std::tuple<std::string, std::string, std::string, std::string> replacements[] = {
        {"aaa", "a", "aa", "aaaaaa"}, {"a-b-c", "-", "", "abc"}, {"abc", "", "x", "abc"}};
    for (auto [s, from, to, result] : replacements) {
        strReplaceAll(s, from, to);
        EXPECT_EQ(s, result);
    }

    EXPECT_EQ(strVecJoin({}, "#") + "|" + strVecJoin({"a", "", "b"}, "#"), "|a##b");
    EXPECT_EQ(intVecJoin({0, 4, -7}, "#") + "|" + intVecJoin({}, "#"), "0#4#-7|");
    Strings v = {"", "a", "", "b", ""};
    strVecRemoveEmpty(v);
    EXPECT_EQ(v, (Strings{"a", "b"}));
    EXPECT_EQ((Strings{fileExtension("dir.v1/models.macb"), fileExtension("noext"), fileExtension("trailing.")}),
              (Strings{"macb", "", ""}));
}

TEST(roundHalfAway, halvesGoAwayFromZero)
{
    const std::pair<double, int> doubles[] = {{2.5, 3},     {-2.5, -3},       {0.0, 0},           {2.4999, 2},
                                              {-0.5, -1},   {99.99, 100},     {0.49999997, 0},    {1e30, INT_MAX},
                                              {std::nan(""), 0}};
    for (const auto& [x, rounded] : doubles)
        EXPECT_EQ(roundHalfAway(x), rounded) << x;
    const std::pair<float, int> floats[] = {{1.5f, 2}, {-1.5f, -2}, {0.5f, 1}, {-0.5f, -1}, {-1e30f, INT_MIN}};
    for (const auto& [x, rounded] : floats)
        EXPECT_EQ(roundHalfAway(x), rounded) << x;
}

TEST(roundHalfAway, noRoundingErrorInTheAddedHalf)
{
    // Just below a half: adding 0.5 in the argument's own precision rounded these up.
    EXPECT_EQ(roundHalfAway(0.49999997f), 0);
    EXPECT_EQ(roundHalfAway(-0.49999997f), 0);
    EXPECT_EQ(roundHalfAway(std::nextafter(0.5, 0.0)), 0);
    EXPECT_EQ(roundHalfAway(-std::nextafter(0.5, 0.0)), 0);
    // Above 2^23 every float is an integer, above 2^52 every double: they must come back unchanged.
    EXPECT_EQ(roundHalfAway(8388609.0f), 8388609);
    EXPECT_EQ(roundHalfAway(-8388609.0f), -8388609);
    EXPECT_EQ(roundHalfAway(16777215.0f), 16777215);
    EXPECT_EQ(roundHalfAway(4194304.5f), 4194305);
    EXPECT_EQ(roundHalfAway(2147483520.0f), 2147483520);
    EXPECT_EQ(roundHalfAway(2147483647.0), INT_MAX);
    EXPECT_EQ(roundHalfAway(-2147483648.0), INT_MIN);
    // Every float in a range around the halves agrees with exact rounding done in double.
    for (float x = -70000.5f; x <= 70000.5f; x += 0.25f) {
        const float below = std::nextafter(x, -1e9f);
        for (float v : {x, below}) {
            double t = std::trunc(static_cast<double>(v));
            double frac = static_cast<double>(v) - t;
            int expected = static_cast<int>(t) + (frac >= 0.5 ? 1 : frac <= -0.5 ? -1 : 0);
            ASSERT_EQ(roundHalfAway(v), expected) << v;
        }
    }
}

TEST(parseLeadingInt, readsLikeAtoi)
{
    const std::pair<const char*, int> cases[] = {
        {"1", 1},   {"  -2.5", -2}, {"+7x", 7},   {"1.5", 1}, {"abc", 0}, {"", 0}, {"- 3", 0},
        {"--3", 0}, {"99999999999999999999", INT32_MAX}, {"-2147483648", INT32_MIN}, {"-99999999999999999999", INT32_MIN}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(parseLeadingInt(text), value) << text;
}
