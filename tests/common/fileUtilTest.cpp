#include <gtest/gtest.h>

#include <sys/stat.h>

#include "common/fileUtil.h"
#include "support/testSupport.h"

using testsupport::captureStdout;
using testsupport::fatalMessage;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;
using Strings = std::vector<std::string>;

TEST(readTextLines, linesCommentsAndLineEnds)
{
    ScratchDir dir;
    const std::string path = dir.file("lines.txt");
    auto read = [&](const std::string& bytes, char comment) {
        writeFile(path, bytes);
        Strings lines = {"stale"};
        readTextLines(path, lines, comment);
        return lines;
    };
    EXPECT_TRUE(read("", 0).empty());
    // Empty lines go; the last line needs no line feed; CR LF reads as a line end.
    EXPECT_EQ(read("one\r\n\n%comment\n %kept\nlast", 0), (Strings{"one", "%comment", " %kept", "last"}));
    EXPECT_EQ(read("one\r\n\n%comment\n %kept\nlast", '%'), (Strings{"one", " %kept", "last"}));
    // Bytes are kept as they are, Big5 and stray CR included.
    EXPECT_EQ(read("\xA4\xE5\xA6\x72\nmid\rdle\n", 0), (Strings{"\xA4\xE5\xA6\x72", "mid\rdle"}));
}

TEST(readTextLines, overlongLineIsSplitWithAWarning)
{
    ScratchDir dir;
    const std::string path = dir.file("long.txt");
    writeFile(path, std::string(100005, 'x') + "\nnext\n");
    Strings lines;
    EXPECT_EQ(captureStdout([&] { readTextLines(path, lines, 0); }),
              "Warning: Array is likely too small for reading string from " + path + "!!! (line 715 of file lib\\utility)\n");
    EXPECT_EQ(lines, (Strings{std::string(99999, 'x'), std::string(6, 'x'), "next"}));
    std::vector<int> lineNos;
    captureStdout([&] { readTextLines(path, lines, 0, &lineNos); });
    EXPECT_EQ(lineNos, (std::vector<int>{1, 1, 2})); // the pieces of a line share its number

    // A line of 99998 characters and its line feed fill the buffer exactly: warned, not split.
    writeFile(path, std::string(99998, 'y') + "\nz\n");
    EXPECT_NE(captureStdout([&] { readTextLines(path, lines, 0); }).find("Warning: Array is likely too small"),
              std::string::npos);
    EXPECT_EQ(lines, (Strings{std::string(99998, 'y'), "z"}));
    captureStdout([&] { readTextLines(path, lines, 0, &lineNos); });
    EXPECT_EQ(lineNos, (std::vector<int>{1, 2}));
}

TEST(fileRoutines, missingFilesAndDirectoriesAreFatal)
{
    ScratchDir dir;
    auto cannotOpen = [](const std::string& path) { return "Cannot open file " + path + " (line 100 of lib\\utility)"; };
    const std::string missing = dir.file("missing.txt");
    Strings lines;
    std::vector<float> floats;
    EXPECT_EQ(fatalMessage([&] { readTextLines(missing, lines, 0); }), cannotOpen(missing));
    EXPECT_EQ(fatalMessage([&] { fileSize(missing); }), cannotOpen(missing));
    EXPECT_EQ(fatalMessage([&] { openFileOrDie(missing, "r"); }), cannotOpen(missing));
    EXPECT_EQ(fatalMessage([&] { readFloatList(missing, floats); }), cannotOpen(missing));

    // A directory is not a readable file, and no file can be created inside a missing one.
    const std::string d = dir.path().string();
    EXPECT_FALSE(fileExists(d) || fileExists(""));
    EXPECT_EQ(fatalMessage([&] { readTextLines(d, lines, 0); }), cannotOpen(d));
    const std::string unwritable = dir.file("no/such/dir/out.txt");
    EXPECT_EQ(fatalMessage([&] { writeTextLines(unwritable, {"a"}); }), cannotOpen(unwritable));
    writeFile(dir.file("five.bin"), "12345");
    EXPECT_TRUE(fileExists(dir.file("five.bin")));
    EXPECT_EQ(fileSize(dir.file("five.bin")), 5);

    // A FIFO would block the run and a device never end: neither is read as a file.
    const std::string fifo = dir.file("pipe.txt");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string bytes;
    for (const std::string& special : {fifo, std::string("/dev/zero")}) {
        EXPECT_FALSE(fileExists(special) || readFileBytes(special, bytes)) << special;
        EXPECT_EQ(fatalMessage([&] { readTextLines(special, lines, 0); }), cannotOpen(special));
        EXPECT_EQ(fatalMessage([&] { openFileOrDie(special, "rb"); }), cannotOpen(special));
        EXPECT_EQ(fatalMessage([&] { fileSize(special); }), cannotOpen(special));
    }
}

TEST(readKeyValueFile, commentsTrimmingAndLineNumbers)
{
    ScratchDir dir;
    const std::string path = dir.file("kv.prm");
    writeFile(path, "% header\r\nuseEpd = 1 % switch it on\r\noutputDir  =  out \r\n\r\nkeyOnly\nexpr = a=b\n"
                    "= orphan\n\tspaced key\t=\t\n");
    Strings keys, values;
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
    EXPECT_EQ(readTabTable(dir.file("t.tab")), (std::vector<Strings>{{"a", "b", ""}, {"c"}}));

    writeFile(dir.file("f.txt"), "1.5 -2\n3e2\tx 4");
    std::vector<float> floats = {9};
    readFloatList(dir.file("f.txt"), floats);
    EXPECT_EQ(floats, (std::vector<float>{1.5f, -2.0f, 300.0f}));

    writeFloatValue(dir.file("score.txt"), 87.25f);
    EXPECT_EQ(readFile(dir.file("score.txt")), "87.25\n");
    writeFloatValue(dir.file("score.txt"), 1234567.0f);
    EXPECT_EQ(readFile(dir.file("score.txt")), "1.23457e+06\n");
    writeTextLines(dir.file("lines.txt"), {"x", "", "\xA4\xE5"});
    EXPECT_EQ(readFile(dir.file("lines.txt")), "x\n\n\xA4\xE5\n");
}

TEST(printOrSaveStrVec, printsOrSaves)
{
    EXPECT_EQ(captureStdout([] { printOrSaveStrVec({"a", "b"}, "vec", ""); }), "vec[0] = a\nvec[1] = b\n");
    EXPECT_EQ(captureStdout([] { printOrSaveStrVec({}, "vec", ""); }), "vec has zero element!\n");
    ScratchDir dir;
    EXPECT_EQ(captureStdout([&] { printOrSaveStrVec({"a", "b"}, "vec", dir.file("v.txt")); }), "");
    EXPECT_EQ(readFile(dir.file("v.txt")), "a\nb\n");
}
