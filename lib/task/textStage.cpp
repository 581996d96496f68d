// Resource loading by language, and the texts part of the texts-and-network stage.
#include "common/clock.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/macro.h"
#include "task/recogTask.h"

namespace {

int sizeOf(const std::vector<std::string>& v)
{
    return static_cast<int>(v.size());
}

} // namespace

void recogTask::loadResources(const recogParam& param, const macroClass& models, dictClass& dict, textClass& text)
{
    int64_t start = msClock();
    if (param.language != "english") {
        dict.pronDictRead(param.dicFile, models);
        conPrintf("%4.3f sec: Read pam \"%s\" (m_pronDict.size()=%d)\n", secondsSince(start), param.dicFile.c_str(),
                  static_cast<int>(dict.m_pronDict.size()));
    }
    if (param.language == "chinese") {
        start = msClock();
        dict.pinyinTableRead(param.pyTableFile);
        conPrintf("%4.3f sec: Read pinyinTable \"%s\" (myDict.m_pinyinTable.size()=%d)\n", secondsSince(start),
                  param.pyTableFile.c_str(), static_cast<int>(dict.m_pinyinTable.size()));
        start = msClock();
        dict.wpaRead(param.wpaFile, param.language);
        conPrintf("%4.3f sec: Read wpa \"%s\" (myDict.m_wpa.size()=%d)\n", secondsSince(start), param.wpaFile.c_str(),
                  static_cast<int>(dict.m_wpa.size()));
    }
    if (param.language == "english") {
        start = msClock();
        dict.wpaRead(param.wpaFile, param.language);
        conPrintf("%4.3f sec: Read wpa \"%s\" (myDict.m_wpa.size()=%d)\n", secondsSince(start), param.wpaFile.c_str(),
                  static_cast<int>(dict.m_wpa.size()));
        start = msClock();
        dict.wpaAddendaRead(param.wpaAddendaFile, param.language);
        conPrintf("%4.3f sec: Read wpaAddenda \"%s\" (myDict.m_wpaAddenda.size()=%d)\n", secondsSince(start),
                  param.wpaAddendaFile.c_str(), static_cast<int>(dict.m_wpaAddenda.size()));
        if (!dict.m_wpaAddenda.empty()) {
            start = msClock();
            dict.wpaMerge();
            conPrintf("%4.3f sec: wpaMerge (myDict.m_wpa.size()=%d)\n", secondsSince(start),
                      static_cast<int>(dict.m_wpa.size()));
            start = msClock();
            dict.wpaSort();
            conPrintf("%4.3f sec: Sort myDict.m_wpa\n", secondsSince(start));
        }
    }
    if (param.tnmFile.empty())
        fatalError("Error: recogParam.tnmFile is not specified! (line %d in %s)", 465, "lib\\recogTask");
    start = msClock();
    text.textNormRead(param.tnmFile, '#');
    conPrintf("%4.3f sec: Read text normalization mapping file \"%s\" (myText.m_textNormSp.size()=%d)\n",
              secondsSince(start), param.tnmFile.c_str(), static_cast<int>(text.m_textNormSp.size()));
}

void recogTask::prepareTexts(recogParam& param, const macroClass& models, dictClass& dict, textClass& text)
{
    int64_t start = msClock();
    text.txtRead(param.txtFile);
    if (param.function == "assess") {
        const std::string joined = strVecJoin(text.m_txtVs, " ");
        text.m_txtVs.assign(1, joined);
    }
    conPrintf("%4.3f sec: Read text \"%s\" (m_txtVs.size()=%d)\n", secondsSince(start), param.txtFile.c_str(),
              sizeOf(text.m_txtVs));

    start = msClock();
    text.textNormalize(param);
    conPrintf("%4.3f sec: text normalization (m_txtVsNormalized.size()=%d)\n", secondsSince(start),
              sizeOf(text.m_txtVsNormalized));
    if (!param.outputDir.empty()) {
        const std::string path = param.outputDir + "/output.nt";
        writeTextLines(path, text.m_txtVsNormalized);
        conPrintf("\t===> Saved %s\n", path.c_str());
    }

    start = msClock();
    if (!param.sylFile.empty()) {
        param.netType = 0;
        // Checked here: the text index of every line later picks a text out of m_txtVs.
        text.sylFileRead(param.sylFile, text.m_txtVs.size(), param.function == "assess");
        text.sylJapanese(param);
        conPrintf("%4.3f sec: Read syl \"%s\" (Size=%d)\n", secondsSince(start), param.sylFile.c_str(),
                  sizeOf(text.m_sylVs));
    } else {
        if (param.netType == 0) {
            if (param.language == "chinese")
                text.textsToSylChinese(dict, param.txtFile);
            else if (param.language == "english")
                text.textsToSylEnglish(dict);
            else if (param.language == "japanese")
                fatalError("This is not allowed for Japanese! (line %d, file %s)", 514, "lib\\recogTask");
        }
        conPrintf("%4.3f sec: Texts to phonetic alphabets by exhaustive listing\n", secondsSince(start));
        conPrintf("\tNo. of text entries = %d, no. of PA entries = %d\n", sizeOf(text.m_txtVs), sizeOf(text.m_sylVs));
        if (!param.outputDir.empty()) {
            const std::string path = param.outputDir + "/output.syl";
            writeTextLines(path, text.m_sylVs);
            conPrintf("\t===> Saved %s\n", path.c_str());
        }
    }

    if (param.function == "assess" && param.usePaddedHardSp == 1)
        text.addBetweenSyllables("-sp-");

    if (param.language == "english") {
        start = msClock();
        dict.pronDictFromWpa(text.m_txtVsNormalized, models);
        conPrintf("%4.3f sec: Create m_pronDict from m_txtVs. (m_pronDict.size() = %d)\n", secondsSince(start),
                  static_cast<int>(dict.m_pronDict.size()));
        if (!param.outputDir.empty()) {
            const std::string path = param.outputDir + "/output.dic";
            dict.pronDictWrite(path, models);
            conPrintf("\t===> Saved %s\n", path.c_str());
        }
    }
}
