#include "fuzzSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdlib.h>

#include "common/fatalError.h"
#include "lexicon/dict.h"
#include "model/macro.h"
#include "support/syntheticModels.h"

extern char** environ;

namespace fuzz {

namespace {

std::string g_scratch;

void removeScratch()
{
    if (!g_scratch.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(g_scratch, ec);
    }
}

// fatalError writes an error log into the directory named by "temp" (any case); a fuzzing run
// would leave one file per rejected input there.
void unsetTempVariables()
{
    std::vector<std::string> names;
    for (char** e = environ; e && *e; ++e) {
        std::string name(*e);
        name = name.substr(0, name.find('='));
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (lower == "temp")
            names.push_back(name);
    }
    for (const std::string& name : names)
        unsetenv(name.c_str());
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) {
        std::perror(path.c_str());
        std::abort();
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), fp) != bytes.size()) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fclose(fp);
}

std::map<std::string, targetBody>& registry()
{
    static std::map<std::string, targetBody> targets;
    return targets;
}

} // namespace

const std::string& scratchDir()
{
    if (g_scratch.empty()) {
        unsetTempVariables();
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/recite-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror(pattern.c_str());
            std::abort();
        }
        g_scratch = pattern;
        std::atexit(removeScratch);
    }
    return g_scratch;
}

std::string writeScratch(const std::string& name, const std::string& bytes)
{
    const std::string path = scratchDir() + "/" + name;
    writeBytes(path, bytes);
    return path;
}

std::string writeInput(const std::string& bytes, const std::string& ext)
{
    return writeScratch("input." + ext, bytes);
}

std::pair<std::string, std::string> splitInput(const std::string& input)
{
    static const std::string separator = "\n--8<--\n";
    const size_t at = input.find(separator);
    if (at == std::string::npos)
        return {input, std::string()};
    return {input.substr(0, at), input.substr(at + separator.size())};
}

void runOne(targetBody body, const uint8_t* data, size_t size)
{
    scratchDir();
    try {
        body(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const fatalErrorException&) {
    }
}

registration::registration(const char* name, targetBody body)
{
    registry()[name] = body;
}

std::vector<std::pair<std::string, targetBody>> registeredTargets()
{
    return {registry().begin(), registry().end()};
}

const macroClass& fixedModels()
{
    static const macroClass models = [] {
        macroClass m;
        m.macRead(writeScratch("fixed.mac", syntheticMacroText(8, 1, 1, 7)));
        return m;
    }();
    return models;
}

dictClass fixedDictionary()
{
    static const dictClass dict = [] {
        dictClass d;
        d.pronDictRead(writeScratch("fixed.dic", "sil sil\nsp sp\nw0 p0+p0 p0+p1\nw1 p0+p2 p0+p3\nw2 p0+p4\n"
                                                 "w3 p0+p5 p0+p1 p0+p2\n"),
                       fixedModels());
        return d;
    }();
    return dict;
}

dictClass fixedWpa()
{
    static const dictClass dict = [] {
        dictClass d;
        d.wpaRead("eat iy_t@meets m_iy_t_s@men m_eh_n#m_ah_n@most m_ow_s_t#m_ow_s@on aa_n#ao_n@stone s_t_ow_n@"
                  "ten t_eh_n#t_ih_n@tom t_aa_m#t_ao_m",
                  "english");
        d.wpaSort();
        return d;
    }();
    return dict;
}

const std::vector<int32_t>& fixedSignal()
{
    static const std::vector<int32_t> samples = [] {
        std::vector<int32_t> s(16000);
        uint32_t noise = 12345;
        for (size_t i = 0; i < s.size(); ++i) {
            noise = noise * 1103515245u + 12345u;
            const double tone = 6000.0 * std::sin(6.283185307179586 * 220.0 * static_cast<double>(i) / 16000.0);
            s[i] = static_cast<int32_t>(tone) + static_cast<int32_t>((noise >> 16) % 512) - 256;
        }
        return s;
    }();
    return samples;
}

} // namespace fuzz
