#include "support/testSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

#include "common/fatalError.h"

namespace testsupport {

ScratchDir::ScratchDir()
{
    static std::atomic<int> counter{0};
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "recite-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    if (info)
        name += std::string("-") + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    m_path = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string ScratchDir::file(const std::string& name) const
{
    return (m_path / name).string();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string le16(uint16_t v)
{
    return le32(v).substr(0, 2);
}

std::string le32(uint32_t v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF), static_cast<char>((v >> 16) & 0xFF),
            static_cast<char>(v >> 24)};
}

std::string fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& extra)
{
    uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * blockAlign) + le16(blockAlign) + le16(bits) + extra;
}

std::string riffWave(const std::vector<Chunk>& chunks)
{
    std::string body = "WAVE";
    for (const Chunk& c : chunks) {
        uint32_t size = c.statedSize >= 0 ? static_cast<uint32_t>(c.statedSize) : static_cast<uint32_t>(c.data.size());
        body += c.id + le32(size) + c.data;
        if (c.data.size() % 2 == 1)
            body += '\0';
    }
    return "RIFF" + le32(static_cast<uint32_t>(body.size())) + body;
}

std::string pcm16(const std::vector<int16_t>& samples)
{
    std::string s;
    for (int16_t v : samples)
        s += le16(static_cast<uint16_t>(v));
    return s;
}

std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

CommandResult runCommand(const std::string& commandLine)
{
    CommandResult result;
    std::FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << commandLine;
        return result;
    }
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        result.output.append(buf.data(), n);
    int status = pclose(pipe);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string captureStdout(const std::function<void()>& fn)
{
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::string captureStderr(const std::function<void()>& fn)
{
    std::fflush(stderr);
    testing::internal::CaptureStderr();
    fn();
    std::fflush(stderr);
    return testing::internal::GetCapturedStderr();
}

std::string fatalMessage(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const fatalErrorException& e) {
        return e.what();
    }
    ADD_FAILURE() << "no fatal error was raised";
    return {};
}

int programExitStatus(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const fatalErrorException& e) {
        if (e.endsWithExitStatus())
            return e.exitStatus();
        ADD_FAILURE() << "a fatal error without exit status was raised: " << e.what();
        return -1;
    }
    ADD_FAILURE() << "no program exit was raised";
    return -1;
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : m_name(name)
{
    if (const char* old = std::getenv(name.c_str()))
        m_had = true, m_old = old;
    setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (m_had)
        setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

} // namespace testsupport
