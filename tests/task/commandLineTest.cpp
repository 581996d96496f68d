#include <gtest/gtest.h>

#include "support/testSupport.h"
#include "task/commandLine.h"

TEST(applyOverrides, nonEmptyArgumentsOverrideInPositionOrder)
{
    recogParam p;
    p.wavFile = "prm.wav";
    p.useEpd = 1;
    const char* argv[] = {"recite", "p.prm", "", "texts.txt", "abc", "out", "a.syl", "a.net", "a.wpa", " -3", "a.lab"};
    applyOverrides(11, argv, p);
    // An empty argument keeps the file's value; letters only give 0.
    EXPECT_EQ(std::tie(p.wavFile, p.txtFile, p.outputDir, p.sylFile, p.netFile, p.wpaFile, p.inputLabFile),
              std::make_tuple("prm.wav", "texts.txt", "out", "a.syl", "a.net", "a.wpa", "a.lab"));
    EXPECT_EQ(std::make_pair(p.useEpd, p.getPitch), std::make_pair(0, -3));

    // Only the arguments given are applied.
    recogParam q;
    q.txtFile = "keep";
    const char* two[] = {"recite", "p.prm", "x.wav"};
    applyOverrides(3, two, q);
    EXPECT_EQ(std::tie(q.wavFile, q.txtFile), std::make_tuple("x.wav", "keep"));
}

TEST(applyOverrides, anArgumentLongerThanItsFieldIsFatal)
{
    recogParam p;
    const std::string longPath(1000, 'w'), texts(9999, 't');
    const char* argv[] = {"recite", "p.prm", longPath.c_str()};
    EXPECT_EQ(testsupport::fatalMessage([&] { applyOverrides(3, argv, p); }),
              "Command-line argument 2 (wavFile) has 1000 characters, more than 999");
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
    EXPECT_EQ(testsupport::captureStdout([&] { printSummary(r); }),
              "====== \xB5\xFB\xA4\xC0\xB5\xB2\xAA\x47 ======\n\xA4\xE5\xA6\x72=first\n\xA4\xE5\xA6\x72=second\n"
              "\xA4\xBA\xB3\xA1\xAB\xF7\xAD\xB5=ni3-hao3\nVaro\xAB\xF7\xAD\xB5=\n\xB0\xEA\xBB\x79\xAB\xF7\xAD\xB5=\n"
              "\xBA\x7E\xBB\x79\xAB\xF7\xAD\xB5=\n\xAD\xB5\xBD\xD5=3-3\n\xB9\xEF\xBC\xC6\xBE\xF7\xB2\x76=-1234.57\n"
              "\xC1\x60\xA4\xC0=87.5\n");
}
