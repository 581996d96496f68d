#include "task/commandLine.h"

#include "common/console.h"
#include "common/fatalError.h"
#include "common/strUtil.h"

namespace {

// Big5 labels of the summary block.
const char LABEL_TITLE[] = "====== \xB5\xFB\xA4\xC0\xB5\xB2\xAA\x47 ======";
const char LABEL_TEXT[] = "\xA4\xE5\xA6\x72\x3D";
const char LABEL_INTERNAL[] = "\xA4\xBA\xB3\xA1\xAB\xF7\xAD\xB5\x3D";
const char LABEL_VARO[] = "\x56\x61\x72\x6F\xAB\xF7\xAD\xB5\x3D";
const char LABEL_MPA[] = "\xB0\xEA\xBB\x79\xAB\xF7\xAD\xB5\x3D";
const char LABEL_HANYU[] = "\xBA\x7E\xBB\x79\xAB\xF7\xAD\xB5\x3D";
const char LABEL_TONE[] = "\xAD\xB5\xBD\xD5\x3D";
const char LABEL_LOGPROB[] = "\xB9\xEF\xBC\xC6\xBE\xF7\xB2\x76\x3D";
const char LABEL_SCORE[] = "\xC1\x60\xA4\xC0\x3D";

const char* const USAGE_ARGS[] = {
    "",
    " wavFile",
    " wavFile txtFile",
    " wavFile txtFile useEpd ",
    " wavFile txtFile useEpd outputDir",
    " wavFile txtFile useEpd outputDir syl",
    " wavFile txtFile useEpd outputDir syl net",
    " wavFile txtFile useEpd outputDir syl net wpa",
    " wavFile txtFile useEpd outputDir syl net wpa getPitch",
    " wavFile txtFile useEpd outputDir syl net wpa getPitch inputLabFile",
};

void overrideText(std::string& field, const char* key, int position, const char* arg)
{
    std::string value(arg);
    int maxLen = recogParamTextMax(key);
    if (value.size() > static_cast<size_t>(maxLen))
        fatalError("Command-line argument %d (%s) has %zu characters, more than %d", position, key, value.size(),
                   maxLen);
    field = value;
}

} // namespace

void printUsage(int argNum, const char* programPath)
{
    conPrintf("No. of command-line arguments: %d\n", argNum);
    conPrintf("No. of command-line arguments should within [1, 10].\n");
    for (size_t i = 0; i < std::size(USAGE_ARGS); ++i)
        conPrintf("%s%s recogParamFile%s\n", i == 0 ? "Usage: " : "       ", programPath, USAGE_ARGS[i]);
}

void applyOverrides(int argc, const char* const* argv, recogParam& param)
{
    for (int position = 2; position < argc && position <= MAX_ARG_NUM; ++position) {
        const char* arg = argv[position];
        if (arg[0] == '\0')
            continue;
        switch (position) {
        case 2:
            overrideText(param.wavFile, "wavFile", position, arg);
            break;
        case 3:
            overrideText(param.txtFile, "txtFile", position, arg);
            break;
        case 4:
            param.useEpd = parseLeadingInt(arg);
            break;
        case 5:
            overrideText(param.outputDir, "outputDir", position, arg);
            break;
        case 6:
            overrideText(param.sylFile, "sylFile", position, arg);
            break;
        case 7:
            overrideText(param.netFile, "netFile", position, arg);
            break;
        case 8:
            overrideText(param.wpaFile, "wpaFile", position, arg);
            break;
        case 9:
            param.getPitch = parseLeadingInt(arg);
            break;
        case 10:
            overrideText(param.inputLabFile, "inputLabFile", position, arg);
            break;
        }
    }
}

void printSummary(const recogResult& result)
{
    conPrintf("%s\n", LABEL_TITLE);
    for (const std::string& t : result.texts)
        conPrintf("%s%s\n", LABEL_TEXT, t.c_str());
    conPrintf("%s%s\n", LABEL_INTERNAL, result.internalPinyin.c_str());
    conPrintf("%s%s\n", LABEL_VARO, result.varoPinyin.c_str());
    conPrintf("%s%s\n", LABEL_MPA, result.mpaPinyin.c_str());
    conPrintf("%s%s\n", LABEL_HANYU, result.hanyuPinyin.c_str());
    conPrintf("%s%s\n", LABEL_TONE, result.tone.c_str());
    conPrintf("%s%g\n", LABEL_LOGPROB, static_cast<double>(result.logProb));
    conPrintf("%s%g\n", LABEL_SCORE, static_cast<double>(result.score));
}
