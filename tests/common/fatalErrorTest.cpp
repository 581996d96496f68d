#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "common/fatalError.h"
#include "support/testSupport.h"

using testsupport::captureStdout;
using testsupport::fatalMessage;

TEST(fatalError, writesTheLogIntoTheTempDirectory)
{
    testsupport::ScratchDir dir;
    testsupport::ScopedEnv env("TeMp", dir.path().string()); // the name is matched without regard to case
    std::string message;
    const std::string out =
        captureStdout([&] { message = fatalMessage([] { fatalError("bad value %d in %s", 42, "x.prm"); }); });
    EXPECT_EQ(message, "bad value 42 in x.prm");
    std::vector<std::filesystem::path> logs(std::filesystem::directory_iterator(dir.path()), {});
    ASSERT_EQ(logs.size(), 1u);
    const std::string name = logs[0].filename().string();
    EXPECT_TRUE(std::regex_match(name, std::regex("error_[0-9]{8}_[0-9]{6}\\.log"))) << name;
    EXPECT_EQ(testsupport::readFile(logs[0].string()), "Error: bad value 42 in x.prm\n");
    EXPECT_EQ(out, "\nSaved error log at " + dir.path().string() + "/" + name + "...\n");
}

TEST(fatalError, withoutTempOrWithAnUnwritableDirectoryOnlyRaises)
{
    // The test main removes every spelling of "temp".
    EXPECT_EQ(errorLogDirectory(), "");
    EXPECT_EQ(captureStdout([] { EXPECT_EQ(fatalMessage([] { fatalError("plain"); }), "plain"); }), "");
    testsupport::ScratchDir dir;
    testsupport::ScopedEnv env("temp", dir.file("missing-subdir"));
    EXPECT_EQ(captureStdout([] { EXPECT_EQ(fatalMessage([] { fatalError("again"); }), "again"); }), "");
    // Long messages are carried whole.
    const std::string longText(3000, 'm');
    EXPECT_EQ(fatalMessage([&] { fatalError("%s", longText.c_str()); }), longText);
}
