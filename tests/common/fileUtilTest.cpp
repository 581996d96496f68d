#include <gtest/gtest.h>

#include "common/fileUtil.h"
#include "support/testSupport.h"

using testsupport::fatalMessage;
using testsupport::ScratchDir;
using testsupport::writeFile;
using Strings = std::vector<std::string>;

TEST(readTextLines, linesCommentsAndLineEnds)
{
    ScratchDir dir;
    const std::string path = dir.file("lines.txt");
    Strings lines = {"stale"};

    writeFile(path, "");
    readTextLines(path, lines, 0);
    EXPECT_TRUE(lines.empty());

    // Empty lines go; the last line needs no line feed; CR LF reads as a line end.
    writeFile(path, "one\r\n\n%comment\n %kept\nlast");
    readTextLines(path, lines, 0);
    EXPECT_EQ(lines, (Strings{"one", "%comment", " %kept", "last"}));
    readTextLines(path, lines, '%');
    EXPECT_EQ(lines, (Strings{"one", " %kept", "last"}));

    // Bytes are kept as they are, Big5 and stray CR included.
    writeFile(path, "\xA4\xE5\xA6\x72\nmid\rdle\n");
    readTextLines(path, lines, 0);
    EXPECT_EQ(lines, (Strings{"\xA4\xE5\xA6\x72", "mid\rdle"}));
}

TEST(readTextLines, overlongLineIsSplitWithAWarning)
{
    ScratchDir dir;
    const std::string path = dir.file("long.txt");
    writeFile(path, std::string(100005, 'x') + "\nnext\n");
    Strings lines;
    std::string out = testsupport::captureStdout([&] { readTextLines(path, lines, 0); });
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 99999u);
    EXPECT_EQ(lines[1], std::string(6, 'x'));
    EXPECT_EQ(lines[2], "next");
    EXPECT_EQ(out, "Warning: Array is likely too small for reading string from " + path +
                       "!!! (line 715 of file lib\\utility)\n");

    // A line of 99998 characters and its line feed fill the buffer exactly: warned, not split.
    writeFile(path, std::string(99998, 'y') + "\nz\n");
    out = testsupport::captureStdout([&] { readTextLines(path, lines, 0); });
    EXPECT_EQ(lines, (Strings{std::string(99998, 'y'), "z"}));
    EXPECT_NE(out.find("Warning: Array is likely too small"), std::string::npos);
}

TEST(fileRoutines, missingFilesAndDirectoriesAreFatal)
{
    ScratchDir dir;
    const std::string missing = dir.file("missing.txt");
    const std::string expected = "Cannot open file " + missing + " (line 100 of lib\\utility)";
    Strings lines;
    EXPECT_EQ(fatalMessage([&] { readTextLines(missing, lines, 0); }), expected);
    EXPECT_EQ(fatalMessage([&] { fileSize(missing); }), expected);
    EXPECT_EQ(fatalMessage([&] { openFileOrDie(missing, "r"); }), expected);
    std::vector<float> floats;
    EXPECT_EQ(fatalMessage([&] { readFloatList(missing, floats); }), expected);

    // A directory is not a readable file, and no file can be created inside a missing one.
    const std::string d = dir.path().string();
    EXPECT_FALSE(fileExists(d));
    EXPECT_FALSE(fileExists(""));
    EXPECT_EQ(fatalMessage([&] { readTextLines(d, lines, 0); }), "Cannot open file " + d + " (line 100 of lib\\utility)");
    const std::string unwritable = dir.file("no/such/dir/out.txt");
    EXPECT_EQ(fatalMessage([&] { writeTextLines(unwritable, {"a"}); }),
              "Cannot open file " + unwritable + " (line 100 of lib\\utility)");

    writeFile(dir.file("five.bin"), "12345");
    EXPECT_TRUE(fileExists(dir.file("five.bin")));
    EXPECT_EQ(fileSize(dir.file("five.bin")), 5);
}

TEST(readKeyValueFile, commentsTrimmingAndLineNumbers)
{
    ScratchDir dir;
    const std::string path = dir.file("kv.prm");
    writeFile(path, "% header\r\n"
                    "useEpd = 1 % switch it on\r\n"
                    "outputDir  =  out \r\n"
                    "\r\n"
                    "keyOnly\n"
                    "expr = a=b\n"
                    "= orphan\n"
                    "\tspaced key\t=\t\n");
    Strings keys;
    Strings values;
    std::vector<int> lineNumbers;
    readKeyValueFile(path, keys, values, &lineNumbers);
    EXPECT_EQ(keys, (Strings{"useEpd", "outputDir", "expr", "", "spaced key"}));
    EXPECT_EQ(values, (Strings{"1", "out", "a=b", "orphan", ""}));
    EXPECT_EQ(lineNumbers, (std::vector<int>{2, 3, 6, 7, 8}));
}

TEST(tableAndFloatFiles, readAndWrite)
{
    ScratchDir dir;
    writeFile(dir.file("t.tab"), "a\tb\t\n\nc\n");
    auto rows = readTabTable(dir.file("t.tab"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (Strings{"a", "b", ""}));
    EXPECT_EQ(rows[1], (Strings{"c"}));

    writeFile(dir.file("f.txt"), "1.5 -2\n3e2\tx 4");
    std::vector<float> floats = {9};
    readFloatList(dir.file("f.txt"), floats);
    EXPECT_EQ(floats, (std::vector<float>{1.5f, -2.0f, 300.0f}));

    writeFloatValue(dir.file("score.txt"), 87.25f);
    EXPECT_EQ(testsupport::readFile(dir.file("score.txt")), "87.25\n");
    writeFloatValue(dir.file("score.txt"), 1234567.0f);
    EXPECT_EQ(testsupport::readFile(dir.file("score.txt")), "1.23457e+06\n");

    writeTextLines(dir.file("lines.txt"), {"x", "", "\xA4\xE5"});
    EXPECT_EQ(testsupport::readFile(dir.file("lines.txt")), "x\n\n\xA4\xE5\n");
}

TEST(printOrSaveStrVec, printsOrSaves)
{
    std::string out = testsupport::captureStdout([] { printOrSaveStrVec({"a", "b"}, "vec", ""); });
    EXPECT_EQ(out, "vec[0] = a\nvec[1] = b\n");
    out = testsupport::captureStdout([] { printOrSaveStrVec({}, "vec", ""); });
    EXPECT_EQ(out, "vec has zero element!\n");

    ScratchDir dir;
    out = testsupport::captureStdout([&] { printOrSaveStrVec({"a", "b"}, "vec", dir.file("v.txt")); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(testsupport::readFile(dir.file("v.txt")), "a\nb\n");
}
