#include <gtest/gtest.h>

#include "support/testSupport.h"
#include "task/commandLine.h"

TEST(applyOverrides, nonEmptyArgumentsOverrideInPositionOrder)
{
    recogParam p;
    p.wavFile = "prm.wav";
    p.txtFile = "prm.txt";
    p.useEpd = 1;
    p.outputDir = "prmOut";
    const char* argv[] = {"recite", "p.prm", "", "texts.txt", "abc", "out", "a.syl", "a.net", "a.wpa", " -3", "a.lab"};
    applyOverrides(11, argv, p);
    EXPECT_EQ(p.wavFile, "prm.wav"); // empty argument keeps the file's value
    EXPECT_EQ(p.txtFile, "texts.txt");
    EXPECT_EQ(p.useEpd, 0); // letters only give 0
    EXPECT_EQ(p.outputDir, "out");
    EXPECT_EQ(p.sylFile, "a.syl");
    EXPECT_EQ(p.netFile, "a.net");
    EXPECT_EQ(p.wpaFile, "a.wpa");
    EXPECT_EQ(p.getPitch, -3);
    EXPECT_EQ(p.inputLabFile, "a.lab");

    // Only the arguments given are applied.
    recogParam q;
    q.txtFile = "keep";
    const char* two[] = {"recite", "p.prm", "x.wav"};
    applyOverrides(3, two, q);
    EXPECT_EQ(q.wavFile, "x.wav");
    EXPECT_EQ(q.txtFile, "keep");
}

TEST(applyOverrides, anArgumentLongerThanItsFieldIsFatal)
{
    recogParam p;
    const std::string longPath(1000, 'w');
    const char* argv[] = {"recite", "p.prm", longPath.c_str()};
    EXPECT_EQ(testsupport::fatalMessage([&] { applyOverrides(3, argv, p); }),
              "Command-line argument 2 (wavFile) has 1000 characters, more than 999");
    const std::string texts(9999, 't');
    const char* argv3[] = {"recite", "p.prm", "", texts.c_str()};
    applyOverrides(4, argv3, p);
    EXPECT_EQ(p.txtFile.size(), 9999u);
}

TEST(printSummary, big5LabelsAndDefaultFloatNotation)
{
    recogResult r;
    r.texts = {"first", "second"};
    r.internalPinyin = "ni3-hao3";
    r.tone = "3-3";
    r.logProb = -1234.5678f;
    r.score = 87.5f;
    std::string out = testsupport::captureStdout([&] { printSummary(r); });
    EXPECT_EQ(out, "====== \xB5\xFB\xA4\xC0\xB5\xB2\xAA\x47 ======\n"
                   "\xA4\xE5\xA6\x72=first\n"
                   "\xA4\xE5\xA6\x72=second\n"
                   "\xA4\xBA\xB3\xA1\xAB\xF7\xAD\xB5=ni3-hao3\n"
                   "Varo\xAB\xF7\xAD\xB5=\n"
                   "\xB0\xEA\xBB\x79\xAB\xF7\xAD\xB5=\n"
                   "\xBA\x7E\xBB\x79\xAB\xF7\xAD\xB5=\n"
                   "\xAD\xB5\xBD\xD5=3-3\n"
                   "\xB9\xEF\xBC\xC6\xBE\xF7\xB2\x76=-1234.57\n"
                   "\xC1\x60\xA4\xC0=87.5\n");
}
