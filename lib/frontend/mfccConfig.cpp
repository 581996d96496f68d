#include "frontend/mfccConfig.h"

#include "common/strUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "common/console.h"
#include "common/fileUtil.h"
#include "frontend/CMel.h"

namespace {

// Base kind names by code; ANON is the last one.
const char* const kBaseNames[] = {"WAVEFORM", "LPC", "LPREFC", "LPCEPSTRA", "LPDELCEP", "IREFC",
                                  "MFCC",     "FBANK", "MELSPEC", "USER",  "DISCRETE", "ANON"};
constexpr int kBaseCount = static_cast<int>(sizeof kBaseNames / sizeof kBaseNames[0]);

struct Qualifier {
    char letter;
    uint16_t flag;
};
// In flag order, the order in which kind names are written.
constexpr Qualifier kQualifiers[] = {{'E', PK_HAS_E}, {'N', PK_HAS_N}, {'D', PK_HAS_D},
                                     {'A', PK_HAS_A}, {'C', PK_HAS_C}, {'Z', PK_HAS_Z},
                                     {'K', PK_HAS_K}, {'0', PK_HAS_0}, {'V', PK_HAS_V}};

// Characters of a line that are read, line feed excluded.
constexpr size_t kLineChars = 49;

float toFloat(const std::string& value)
{
    return static_cast<float>(std::strtod(value.c_str(), nullptr));
}


void applySetting(const std::string& key, const std::string& value, MfccConfig& cfg)
{
    const bool isTrue = value == "TRUE" || value == "T";
    const bool isFalse = value == "FALSE" || value == "F";
    if (key == "ZMEANSOURCE") {
        if (isTrue)
            cfg.zMeanSource = true;
    } else if (key == "ENORMALISE") {
        if (isFalse)
            cfg.eNormalise = false;
    } else if (key == "USEHAMMING") {
        if (isFalse)
            cfg.useHamming = false;
    } else if (key == "USEPOWER") {
        if (isTrue)
            cfg.usePower = true;
    } else if (key == "SOURCEKIND" || key == "SOURCEFORMAT") {
        // Recognised, not used.
    } else if (key == "SOURCERATE") {
        cfg.sourceRate = toFloat(value);
    } else if (key == "TARGETKIND") {
        cfg.targetKind = paramKindParse(value);
        cfg.vecSize = paramKindVectorSize(cfg.targetKind, cfg.numCeps);
    } else if (key == "TARGETRATE") {
        cfg.targetRate = toFloat(value);
    } else if (key == "WINDOWSIZE") {
        cfg.windowSize = toFloat(value);
    } else if (key == "PREEMCOEF") {
        cfg.preEmCoef = toFloat(value);
    } else if (key == "DELTAWINDOW") {
        cfg.deltaWindow = parseTruncatedNumber(value);
    } else if (key == "ACCWINDOW") {
        cfg.accWindow = parseTruncatedNumber(value);
    } else if (key == "NUMCHANS") {
        cfg.numChans = parseTruncatedNumber(value);
    } else if (key == "CEPLIFTER") {
        cfg.cepLifter = parseTruncatedNumber(value);
    } else if (key == "NUMCEPS") {
        cfg.numCeps = parseTruncatedNumber(value);
    } else if (key == "LOFREQ") {
        cfg.loFreq = toFloat(value);
    } else if (key == "HIFREQ") {
        cfg.hiFreq = toFloat(value);
    } else if (key == "ESCALE") {
        cfg.eScale = toFloat(value);
    } else if (key == "SILFLOOR") {
        cfg.silFloor = toFloat(value);
    }
}

// One line with spaces and line feeds already removed: key=value[=ignored].
void applyLine(const std::string& line, MfccConfig& cfg)
{
    const size_t keyBegin = line.find_first_not_of('=');
    if (keyBegin == std::string::npos)
        return;
    const size_t keyEnd = line.find('=', keyBegin);
    if (keyEnd == std::string::npos)
        return;
    const size_t valueEnd = line.find('=', keyEnd + 1);
    const std::string value =
        line.substr(keyEnd + 1, valueEnd == std::string::npos ? std::string::npos : valueEnd - keyEnd - 1);
    if (value.empty())
        return;
    applySetting(line.substr(keyBegin, keyEnd - keyBegin), value, cfg);
}

} // namespace

uint16_t paramKindParse(const std::string& name)
{
    std::string base = name;
    uint16_t flags = 0;
    while (base.size() > 2 && base[base.size() - 2] == '_') {
        const char letter = base.back();
        for (const Qualifier& q : kQualifiers) {
            if (q.letter == letter)
                flags = static_cast<uint16_t>(flags | q.flag);
        }
        base.resize(base.size() - 2);
    }
    uint16_t code = PK_ANON;
    for (int i = PK_LPC; i < kBaseCount; ++i) {
        if (base == kBaseNames[i]) {
            code = static_cast<uint16_t>(i);
            break;
        }
    }
    if (code == PK_LPDELCEP) {
        code = PK_LPCEPSTRA;
        flags = static_cast<uint16_t>(flags | PK_HAS_D);
    }
    return static_cast<uint16_t>(code | flags);
}

int32_t paramKindVectorSize(uint16_t kind, int32_t numCeps)
{
    const int64_t base = int64_t{numCeps} + ((kind & PK_HAS_E) ? 1 : 0) + ((kind & PK_HAS_0) ? 1 : 0);
    const bool hasD = (kind & PK_HAS_D) != 0;
    const bool hasA = (kind & PK_HAS_A) != 0;
    int64_t size = base;
    if (hasD || hasA)
        size = (hasD ? 2 * base : int64_t{numCeps}) + (hasA ? base : 0);
    if (size > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (size < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(size);
}

std::string paramKindName(uint16_t kind)
{
    const int base = kind & 0x3f;
    std::string name = base < kBaseCount ? kBaseNames[base] : "ANON";
    for (const Qualifier& q : kQualifiers) {
        if (kind & q.flag) {
            name += '_';
            name += q.letter;
        }
    }
    return name;
}

void configTextApply(const std::string& text, MfccConfig& config, const std::string& source)
{
    size_t pos = 0;
    int lineNumber = 0;
    while (pos < text.size()) {
        ++lineNumber;
        const size_t lineFeed = text.find('\n', pos);
        const size_t lineEnd = lineFeed == std::string::npos ? text.size() : lineFeed;
        // Longer lines are cut: the rest up to the line feed is dropped, never read as a line.
        if (lineEnd - pos > kLineChars)
            conPrintf("Warning: line %d of feature configuration file %s is longer than %d characters; the rest "
                      "of it is ignored\n",
                      lineNumber, source.c_str(), static_cast<int>(kLineChars));
        const size_t end = pos + std::min(lineEnd - pos, kLineChars);
        std::string line;
        for (size_t i = pos; i < end; ++i) {
            const char c = text[i];
            if (c == '\0')
                break; // the line reads as a C string
            if (c != ' ')
                line += c;
        }
        pos = lineFeed == std::string::npos ? text.size() : lineFeed + 1;
        applyLine(line, config);
    }
}

void CMel::configFileRead(const std::string& path)
{
    std::string text;
    if (!readFileBytes(path, text)) {
        conPrintf("Can't open config file %s \n", path.c_str());
        return;
    }
    configTextApply(text, m_config, path);
}
