#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "support/cmuWpa.h"
#include "support/testSupport.h"
#include "task/recogParam.h"

using namespace testsupport;

namespace {

// "word<TAB>pa#pa<TAB>extra,extra|PA count" lines.
std::string dump(const std::vector<wpaEntry>& table)
{
    std::string s;
    for (const wpaEntry& e : table)
        s += e.word + "\t" + strVecJoin(e.paVec, "#") + "\t" + strVecJoin(e.extraVec, ",") + "|" +
             std::to_string(e.paVec.size()) + "\n";
    return s;
}

std::string i32(size_t v)
{
    return le32(static_cast<uint32_t>(v));
}

// Standard output, then the fatal message of a call that must fail.
std::string failure(const std::function<void()>& fn)
{
    std::string message;
    return captureStdout([&] { message = fatalMessage(fn); }) + message;
}

} // namespace

TEST(wpaTest, CmuTableFromTextBinaryAndInline)
{
    ScratchDir dir;
    writeFile(dir.file("cmu.wpa"), cmuDictToWpa(CMU_DICT_PATH));
    dictClass cmu;
    cmu.wpaRead(dir.file("cmu.wpa"), "english");
    EXPECT_GT(cmu.m_wpa.size(), 120000u);
    EXPECT_TRUE(std::is_sorted(cmu.m_wpa.begin(), cmu.m_wpa.end(),
                               [](const wpaEntry& a, const wpaEntry& b) { return a.word < b.word; }));
    std::vector<wpaEntry> few;
    for (const char* word : {"hello", "read", "world"})
        few.push_back(cmu.m_wpa.at(static_cast<size_t>(cmu.wpaSearch(word))));
    few.push_back({"zz", {"z", ""}, {}});
    EXPECT_EQ(dump(few), "hello\thh_ah_l_ow#hh_eh_l_ow\t|2\nread\tr_eh_d#r_iy_d\t|2\nworld\tw_er_l_d\t|1\nzz\tz#\t|2\n");

    // The same entries as text (with CR LF and a comment), binary and inline table.
    std::string text = "%comment\n", inlined = "@%comment@", binary = i32(few.size());
    for (const wpaEntry& e : few) {
        text += e.word + "\t" + strVecJoin(e.paVec, "#") + "\r\n";
        inlined += e.word + " " + strVecJoin(e.paVec, "#") + "@";
        binary += i32(e.word.size()) + e.word + i32(e.paVec.size());
        for (const std::string& pa : e.paVec)
            binary += i32(pa.size()) + pa;
    }
    writeFile(dir.file("few.WPA"), text);
    writeFile(dir.file("few.wpab"), binary);
    writeFile(dir.file("empty.wpab"), i32(0));
    for (const std::string& source : {dir.file("few.WPA"), dir.file("few.wpab"), inlined, dir.file("empty.wpab")}) {
        dictClass dict;
        captureStdout([&] { dict.wpaRead(source, "english"); });
        EXPECT_EQ(dump(dict.m_wpa), source.ends_with("empty.wpab") ? "" : dump(few)) << source;
    }
}

TEST(wpaTest, ChoiceOfSourceAndFormats)
{
    ScratchDir dir;
    const std::string path = dir.file("t.wpa");
    dictClass dict;
    writeFile(path, "a\tx\n\n%\nb\tx\ty\n");
    EXPECT_EQ(failure([&] { dict.wpaRead(path, "english"); }),
              "line=b\tx\ty (line=217, file=lib\\dict)\ntoken1.size()=3 (line=218, file=lib\\dict)\nWrong format of " +
                  path + " (line 219 in lib\\dict)");
    writeFile(dir.file("a.txt"), "a\tb\n");
    EXPECT_EQ(failure([&] { dict.wpaRead(dir.file("a.txt"), "english"); }),
              "Error in reading \"" + dir.file("a.txt") +
                  "\": The only allowed extension are \"wpa\" and \"wpab\" (line 150 of lib\\dict) \n");

    const std::string told = "Read WPA from the given string (line 139 in lib\\dict)...\n";
    EXPECT_EQ(captureStdout([&] { dict.wpaRead("hello h_ax_l_ow", "english"); }), told);
    EXPECT_EQ(dump(dict.m_wpa), "hello\th_ax_l_ow\t|1\n");
    EXPECT_EQ(failure([&] { dict.wpaRead("hello h", "chinese"); }),
              told + "Unsupported language chinese (line 301 in lib\\dict)");

    // Big5 characters; PAs from column 4 of the pinyin table.
    dict.m_pinyinTable = {{"1", "zhong1", "", "zhong"}, {"2", "wen2", "", "wen"}, {"3", "short"}};
    writeFile(path, "\xA4\xA4\t1\tu\tzh,z\tu\n\xA4\xE5\t2,1\tu\tw,e\tu\n");
    dict.wpaRead(path, "chinese");
    EXPECT_EQ(dump(dict.m_wpa), "\xA4\xA4\tzhong\tzh,z|1\n\xA4\xE5\twen#zhong\tw,e|2\n");
}

TEST(wpaTest, DamagedFilesAreRefused)
{
    ScratchDir dir;
    dictClass dict;
    dict.m_pinyinTable = {{"1", "zhong1", "", "zhong"}, {"2", "short"}};
    const std::string a = i32(1) + "a", zh = "%\n\xA4\xA4\t";
    // Chinese rows 3 (missing), 2 (too short); fewer extra items than PAs; an over-long line.
    for (const auto& [name, bytes, what] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"c.wpa", zh + "3\tu\tzh\tu\n", "line 2"},
             {"c.wpa", zh + "2\tu\tzh\tu\n", "line 2"},
             {"c.wpa", zh + "1,1\tu\tzh\tu\n", "line 2"},
             {"c.wpa", zh + "1\tu\t" + std::string(992, 'z') + "\tu\n", "line 2"},
             {"b.wpab", i32(2) + a + i32(0) + i32(9) + "abc", "ends early"},
             {"b.wpab", i32(1) + i32(1000) + std::string(1000, 'w') + i32(0), "word length 1000"},
             {"b.wpab", i32(1) + a + i32(size_t(-1)), "PA count -1"},
             {"b.wpab", i32(0x7fffffff) + a + i32(0), "entry count"}}) {
        const std::string path = dir.file(name);
        writeFile(path, bytes);
        const std::string message = fatalMessage([&] { dict.wpaRead(path, "chinese"); });
        EXPECT_TRUE(message.find(path) != std::string::npos && message.find(what) != std::string::npos) << message;
    }
}

TEST(wpaTest, MergeSortAndSaveForTexts)
{
    ScratchDir dir;
    dictClass dict;
    dict.m_wpa = {{"b", {"b1"}, {}}, {"d", {"d1"}, {}}};
    writeFile(dir.file("add.wpa"), "d\td2#d3\nc\tc1\nc\tc2\na\ta1#\ne\t\n");
    dict.wpaAddendaRead(dir.file("add.wpa"), "english");
    EXPECT_EQ(captureStdout([&] { dict.wpaMerge(); }), "\tOld entry: word=d, pa=d1\n\tNew entry: word=d, pa=d2#d3\n");
    EXPECT_TRUE(dict.m_wpaAddenda.empty());
    dict.wpaSort();
    EXPECT_EQ(dump(dict.m_wpa), "a\ta1#\t|2\nb\tb1\t|1\nc\tc1\t|1\nc\tc2\t|1\nd\td2#d3\t|2\ne\t\t|0\n");

    recogParam param;
    param.language = "english";
    const std::string out = dir.file("output.wpa");
    EXPECT_EQ(captureStdout([&] { dict.wpaSaveForTexts(out, {"d a zz", "a b"}, param); }),
              "Warning: Found no PA for \"zz\" in " + out + "! (line 474 in lib\\dict)\n");
    EXPECT_EQ(readFile(out), "a\ta1#\nb\tb1\nd\td2#d3\n");
}
