// Helpers shared by the tests: scratch directories, files, WAVE building, running commands.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh directory removed again when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // Path of a file name inside the directory.
    std::string file(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

// One RIFF chunk: 4-character identifier and its data (a pad byte is added when odd).
struct Chunk {
    std::string id;
    std::string data;
    // When set, the size written in the header instead of the data's length.
    int64_t statedSize = -1;
};

std::string le16(uint16_t v);
std::string le32(uint32_t v);
// A "fmt " chunk body of 16 bytes (plus extra bytes, if any).
std::string fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& extra = "");
// A RIFF WAVE file of the given chunks.
std::string riffWave(const std::vector<Chunk>& chunks);
// 16-bit little-endian bytes of the samples.
std::string pcm16(const std::vector<int16_t>& samples);

struct CommandResult {
    int exitStatus = -1;
    std::string output; // standard output and standard error together
};
// Runs a shell command line and collects its output.
CommandResult runCommand(const std::string& commandLine);
// The command line quoted for the shell.
std::string shellQuote(const std::string& s);

// Standard output written while fn runs.
std::string captureStdout(const std::function<void()>& fn);
// Standard error written while fn runs.
std::string captureStderr(const std::function<void()>& fn);

// The message of the fatal error that fn raises; fails the test when none is raised.
std::string fatalMessage(const std::function<void()>& fn);

// The exit status with which fn ends the program (a fatal error carrying one); fails the test
// when fn raises none.
int programExitStatus(const std::function<void()>& fn);

// Sets an environment variable for the lifetime of the object, restoring the old state after.
class ScopedEnv {
public:
    ScopedEnv(const std::string& name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    bool m_had = false;
    std::string m_old;
};

} // namespace testsupport
