#include <algorithm>
#include <cstring>

#include "common/binarySearch.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/macro.h"

namespace {

const char* const DICT_UNIT = "lib\\dict";

// Longest word and longest phone list of a dictionary line (1000-byte buffers with their zero).
const size_t MAX_DIC_FIELD = 999;

// The white space that scanf's %s and " " skip.
bool isScanSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Models both counted and held by the set.
size_t heldModels(const macroClass& models)
{
    if (models.modelNum <= 0)
        return 0;
    return std::min(static_cast<size_t>(models.modelNum), models.m_models.size());
}

// The model's name, or "???" for an index that names no model.
std::string modelNameOf(const macroClass& models, int32_t id)
{
    if (id < 0 || static_cast<size_t>(id) >= heldModels(models))
        return "???";
    const char* name = models.model(id).name;
    const void* end = std::memchr(name, '\0', MODEL_NAME_SIZE);
    const size_t len = end ? static_cast<size_t>(static_cast<const char*>(end) - name) : MODEL_NAME_SIZE;
    return std::string(name, len);
}

// Splits a dictionary line like "%s %[^\n]": the first token is the word, the rest after the
// white space that follows it is the phone list. False when either is missing.
bool splitDictLine(const std::string& line, std::string& word, std::string& phones)
{
    size_t pos = 0;
    while (pos < line.size() && isScanSpace(line[pos]))
        ++pos;
    const size_t wordBegin = pos;
    while (pos < line.size() && !isScanSpace(line[pos]))
        ++pos;
    if (pos == wordBegin)
        return false;
    word = line.substr(wordBegin, pos - wordBegin);
    while (pos < line.size() && isScanSpace(line[pos]))
        ++pos;
    if (pos == line.size())
        return false;
    phones = line.substr(pos);
    return true;
}

} // namespace

void dictClass::pronDictRead(const std::string& path, const macroClass& models)
{
    if (heldModels(models) < 2)
        fatalError("Error in dictClass::pronDictRead when reading %s: Macro is too small (line %d in of %s)",
                   path.c_str(), 71, DICT_UNIT);
    std::string bytes;
    if (!readFileBytes(path, bytes))
        fatalError("Unable to open %s (line %d in %s)", path.c_str(), 75, DICT_UNIT);

    int lineNo = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        if (lf == std::string::npos)
            lf = bytes.size();
        std::string line = bytes.substr(pos, lf - pos);
        pos = lf + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '%')
            continue;
        std::string word;
        std::string phones;
        if (!splitDictLine(line, word, phones)) {
            conPrintf("Warning: skipped line %d of %s: no phone list\n", lineNo, path.c_str());
            continue;
        }
        // The limits hold for each field; the separator between them doesn't count.
        if (word.size() > MAX_DIC_FIELD || phones.size() > MAX_DIC_FIELD)
            fatalError("Error in dictClass::pronDictRead: the %s in line %d of %s is longer than %zu characters",
                       word.size() > MAX_DIC_FIELD ? "word" : "phone list", lineNo, path.c_str(), MAX_DIC_FIELD);
        strTrimRight(phones);
        std::vector<std::string> names;
        strSplit(phones, ' ', names);
        pronEntry entry{word, {}};
        entry.modelIds.reserve(names.size());
        for (const std::string& name : names)
            entry.modelIds.push_back(models.findModel(name));
        m_pronDict.push_back(std::move(entry));
    }
}

void dictClass::pronDictFromWpa(const std::vector<std::string>& texts, const macroClass& models)
{
    m_pronDict.clear();
    std::vector<std::string> pas;
    for (const std::string& text : texts)
        wordsToPas(text.substr(0, text.find('\t')), *this, pas);
    pas.push_back("sil");
    pas.push_back("sp");
    std::sort(pas.begin(), pas.end());
    pas.erase(std::unique(pas.begin(), pas.end()), pas.end());

    m_pronDict.reserve(pas.size());
    for (const std::string& pa : pas) {
        std::vector<std::string> phones;
        strSplit(pa, '_', phones);
        pronEntry entry{pa, {}};
        entry.modelIds.reserve(phones.size());
        for (size_t i = 0; i < phones.size(); ++i) {
            const std::string& phone = phones[i];
            std::string name;
            if (phone == "sil" || phone == "sp")
                name = phone;
            else
                name = phone + "+" + (i + 1 < phones.size() ? phones[i + 1] : std::string("sil"));
            entry.modelIds.push_back(models.findModel(name));
        }
        m_pronDict.push_back(std::move(entry));
    }
}

void dictClass::pronDictWrite(const std::string& path, const macroClass& models) const
{
    outputFile out(path);
    for (const pronEntry& entry : m_pronDict) {
        std::string line = entry.word + "\t";
        for (size_t i = 0; i < entry.modelIds.size(); ++i) {
            if (i > 0)
                line += ' ';
            line += modelNameOf(models, entry.modelIds[i]);
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), out.get());
    }
    out.commit();
}

int dictClass::pronDictSearch(const std::string& word) const
{
    return binarySearch(m_pronDict.size(), [&](size_t i) { return word.compare(m_pronDict[i].word); });
}

void dictClass::pinyinTableRead(const std::string& path)
{
    m_pinyinTable = readTabTable(path);
}
