#include <algorithm>
#include <climits>
#include <cstdint>

#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "model/fillers.h"
#include "task/recogParam.h"

namespace {

const char* const UNIT = "lib\\text";

// Line numbers reported when no syllable entry matches the path.
const int NOT_FOUND_LINE = 882;
const int SYL_PATH_LINE = 883;
const int COMPARISON_MODE_LINE = 884;
const int NET_TYPE_LINE = 885;
const int NOT_FOUND_FATAL_LINE = 887;

// An m_sylVs entry taken apart: its syllables framed by "-" and the index of its text.
struct sylEntry {
    std::string framed;
    int textIndex = 0;
};

// Entries come from the syllable listing or from a syllable file; only those compared here
// need the tab and the text index, so they are checked on use.
sylEntry parseSylEntry(const std::string& entry, size_t position, size_t textNum)
{
    std::vector<std::string> fields;
    strSplit(entry, '\t', fields);
    if (fields.size() < 2)
        fatalError("Syllable entry %zu \"%s\" has no text index (a tab and the number of its text).", position,
                   entry.c_str());
    std::string number = fields[1];
    strTrim(number);
    if (number.empty() || !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        fatalError("Syllable entry %zu \"%s\" has a text index that is not a number: \"%s\".", position,
                   entry.c_str(), fields[1].c_str());
    const int32_t index = parseLeadingInt(number);
    // The index picks a text out of m_txtVs once the path has been matched.
    if (static_cast<size_t>(index) >= textNum)
        fatalError("Syllable entry %zu \"%s\" has text index %d, but there are %zu texts.", position, entry.c_str(),
                   index, textNum);
    return {"-" + fields[0] + "-", index};
}

// m_sylVs positions are reported as int, so the list must stay within that range.
void checkSylVsSize(const std::vector<std::string>& sylVs)
{
    if (sylVs.size() > static_cast<size_t>(INT_MAX))
        fatalError("Too many syllable entries (%zu) to compare.", sylVs.size());
}

// The "-" among the first `end` characters of s.
int countDashes(const std::string& s, size_t end)
{
    const auto last = s.begin() + static_cast<std::ptrdiff_t>(std::min(end, s.size()));
    return static_cast<int>(std::count(s.begin(), last, '-'));
}

} // namespace

std::string textClass::pinyin2text(const std::vector<int32_t>& pathSylIndices, const dictClass& dict,
                                   std::vector<int>& textIndices, std::vector<int>& entryIndices,
                                   const recogParam& param)
{
    m_matchStartUnit = -1;
    m_matchUnitNum = -1;
    textIndices.clear();
    entryIndices.clear();
    if (pathSylIndices.empty())
        fatalError("The best syllable path has zero length!");

    const bool sausage = param.netType == 1;
    const bool dropPauses = sausage && param.language != "japanese";
    std::string path;
    for (size_t i = 0; i < pathSylIndices.size(); ++i) {
        const int32_t idx = pathSylIndices[i];
        if (idx < 0 || static_cast<size_t>(idx) >= dict.m_pronDict.size())
            fatalError("Path unit %zu has dictionary index %d outside the %zu entries of the pronunciation dictionary.",
                       i, idx, dict.m_pronDict.size());
        const std::string& word = dict.m_pronDict[static_cast<size_t>(idx)].word;
        if (word == "sil" && (i == 0 || i + 1 == pathSylIndices.size()))
            continue;
        if (dropPauses && (word == "sp" || word == "sil"))
            continue;
        path += word;
        path += '-';
    }

    if (sausage) {
        if (!path.empty())
            path.pop_back();
        textIndices.assign(1, 0);
        entryIndices.assign(1, -1);
        return path;
    }

    path.insert(path.begin(), '-');
    checkSylVsSize(m_sylVs);
    switch (param.comparisonMode) {
    case 1:
        if (param.function == "assess" && param.usePaddedSoftSil == 1)
            strReplaceAll(path, "-sil-", "-");
        searchSylVs(path, 0, textIndices, entryIndices);
        if (textIndices.empty())
            searchSylVs(path, 1, textIndices, entryIndices);
        if (textIndices.empty() && param.function == "assess" && !param.sylFile.empty() &&
            param.addLink4startAnywhere == 1)
            searchSylVs(path, 2, textIndices, entryIndices);
        break;
    case 2:
        searchSylVs(path, 2, textIndices, entryIndices);
        break;
    case 3:
        for (size_t n = 0; n < m_sylVs.size(); ++n) {
            const sylEntry entry = parseSylEntry(m_sylVs[n], n, m_txtVs.size());
            const size_t pos = path.find(entry.framed);
            if (pos == std::string::npos)
                continue;
            textIndices.push_back(entry.textIndex);
            entryIndices.push_back(static_cast<int>(n));
            if (m_matchStartUnit < 0 && m_matchUnitNum < 0) {
                m_matchStartUnit = countDashes(path, pos + 1) - 1;
                m_matchUnitNum = countDashes(entry.framed, entry.framed.size()) - 1;
            }
        }
        break;
    default:
        fatalError("Unknown comparisonMode = %d", param.comparisonMode);
    }

    if (textIndices.empty()) {
        conPrintf("Error in textClass::pinyin2text(): Cannot find sylPath within m_sylVs (shown next) at line %d of "
                  "file %s!\n",
                  NOT_FOUND_LINE, UNIT);
        conPrintf("sylPath=%s (line=%d, file=%s)\n", path.c_str(), SYL_PATH_LINE, UNIT);
        conPrintf("recogParamP->comparisonMode=%d (line=%d, file=%s)\n", param.comparisonMode, COMPARISON_MODE_LINE,
                  UNIT);
        conPrintf("recogParamP->netType=%d (line=%d, file=%s)\n", param.netType, NET_TYPE_LINE, UNIT);
        printOrSaveStrVec(m_sylVs, "m_sylVs", "");
        fatalError("Error in textClass::pinyin2text(): Cannot find sylPath within m_sylVs (line %d of file %s)",
                   NOT_FOUND_FATAL_LINE, UNIT);
    }

    std::sort(textIndices.begin(), textIndices.end());
    textIndices.erase(std::unique(textIndices.begin(), textIndices.end()), textIndices.end());
    // The framed path always begins with "-"; it ends with one unless every unit was skipped.
    if (path.size() < 2)
        return "";
    return path.substr(1, path.size() - 2);
}

void textClass::searchSylVs(const std::string& framedPath, int mode, std::vector<int>& textIndices,
                            std::vector<int>& entryIndices) const
{
    if (mode < 0 || mode > 2)
        fatalError("Unknown mode in searchSylVs()!");
    checkSylVsSize(m_sylVs);
    for (size_t n = 0; n < m_sylVs.size(); ++n) {
        const sylEntry entry = parseSylEntry(m_sylVs[n], n, m_txtVs.size());
        bool match = false;
        if (mode == 0)
            match = entry.framed == framedPath;
        else if (mode == 1)
            match = entry.framed.compare(0, framedPath.size(), framedPath) == 0;
        else
            match = entry.framed.find(framedPath) != std::string::npos;
        if (match) {
            textIndices.push_back(entry.textIndex);
            entryIndices.push_back(static_cast<int>(n));
        }
    }
}

std::string pinyinColumnMap(const std::string& syllable, int from, int to,
                            const std::vector<std::vector<std::string>>& table)
{
    if (from >= 0 && to >= 0) {
        const size_t needed = static_cast<size_t>(std::max(from, to)) + 1;
        for (const std::vector<std::string>& row : table) {
            if (row.size() >= needed && row[static_cast<size_t>(from)] == syllable)
                return row[static_cast<size_t>(to)];
        }
    }
    if (!isFillerName(syllable))
        conPrintf("Warning: Cannot find %s in the pinyinTable!\n", syllable.c_str());
    return syllable;
}

std::string pinyinConvert(const std::string& syllables, const std::vector<std::vector<std::string>>& table, int from,
                          int to)
{
    std::vector<std::string> pieces;
    strSplit(syllables, '-', pieces);
    for (std::string& piece : pieces)
        piece = pinyinColumnMap(piece, from, to, table);
    return strVecJoin(pieces, "-");
}
