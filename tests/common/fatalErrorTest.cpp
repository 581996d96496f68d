#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "common/fatalError.h"
#include "support/testSupport.h"

namespace fs = std::filesystem;
using testsupport::ScratchDir;

namespace {

std::vector<fs::path> logsIn(const fs::path& dir)
{
    std::vector<fs::path> logs;
    for (const auto& entry : fs::directory_iterator(dir))
        logs.push_back(entry.path());
    return logs;
}

} // namespace

TEST(fatalError, writesTheLogIntoTheTempDirectory)
{
    ScratchDir dir;
    // The variable's name is matched without regard to case.
    testsupport::ScopedEnv env("TeMp", dir.path().string());
    std::string message;
    std::string out = testsupport::captureStdout(
        [&] { message = testsupport::fatalMessage([] { fatalError("bad value %d in %s", 42, "x.prm"); }); });
    EXPECT_EQ(message, "bad value 42 in x.prm");

    auto logs = logsIn(dir.path());
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
    std::string out = testsupport::captureStdout(
        [] { EXPECT_EQ(testsupport::fatalMessage([] { fatalError("plain"); }), "plain"); });
    EXPECT_EQ(out, "");

    ScratchDir dir;
    testsupport::ScopedEnv env("temp", dir.file("missing-subdir"));
    out = testsupport::captureStdout(
        [] { EXPECT_EQ(testsupport::fatalMessage([] { fatalError("again"); }), "again"); });
    EXPECT_EQ(out, "");

    // Long messages are carried whole.
    const std::string longText(3000, 'm');
    EXPECT_EQ(testsupport::fatalMessage([&] { fatalError("%s", longText.c_str()); }), longText);
}
