#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "common/binarySearch.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "task/recogParam.h"

namespace {

const char* const DICT_UNIT = "lib\\dict";

// Longest line of a wpa text file (a 1000-byte line buffer with its zero).
const size_t MAX_WPA_LINE = 999;
// Binary entries: word lengths below 1000, PA lengths below 100.
const int32_t MAX_WPAB_WORD = 1000;
const int32_t MAX_WPAB_PA = 100;

// The whole content of a file opened with openFileOrDie.
std::string readOpenFile(const std::string& path, const char* mode)
{
    filePtr fp = openFileOrDie(path, mode);
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, fp.get())) > 0)
        bytes.append(buf, n);
    if (std::ferror(fp.get()))
        fatalError("Error in reading %s: read failure", path.c_str());
    return bytes;
}

[[noreturn]] void wrongFormat(const std::string& line, size_t fieldNum, const std::string& what, int srcLine)
{
    conPrintf("line=%s (line=%d, file=%s)\n", line.c_str(), srcLine, DICT_UNIT);
    conPrintf("token1.size()=%zu (line=%d, file=%s)\n", fieldNum, srcLine + 1, DICT_UNIT);
    fatalError("Wrong format of %s (line %d in %s)", what.c_str(), srcLine + 2, DICT_UNIT);
}

// Column 4 of pinyin-table row `rowText` (1-based), checked.
const std::string& pinyinOfRow(const std::vector<std::vector<std::string>>& pinyinTable, const std::string& rowText,
                               const std::string& path, int lineNo)
{
    const int32_t row = parseLeadingInt(rowText);
    if (row < 1 || static_cast<size_t>(row) > pinyinTable.size() || pinyinTable[static_cast<size_t>(row) - 1].size() < 4)
        fatalError("Error in reading %s (line %d): pinyin table row %d does not exist or has fewer than 4 fields "
                   "(the table has %zu rows)",
                   path.c_str(), lineNo, row, pinyinTable.size());
    return pinyinTable[static_cast<size_t>(row) - 1][3];
}

// A wpa text file, english ("word\tpa#pa") or chinese (five fields, PAs from pinyin-table rows).
void wpaReadText(const std::string& path, const std::string& language,
                 const std::vector<std::vector<std::string>>& pinyinTable, std::vector<wpaEntry>& table)
{
    table.clear();
    if (path.empty())
        return;
    const std::string bytes = readOpenFile(path, "r");
    const bool english = language == "english";
    if (!english && language != "chinese")
        return;

    int lineNo = 0;
    size_t pos = 0;
    std::vector<std::string> fields;
    std::vector<std::string> rows;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        if (lf == std::string::npos)
            lf = bytes.size();
        size_t end = lf;
        if (end > pos && lf < bytes.size() && bytes[end - 1] == '\r')
            --end;
        const std::string line = bytes.substr(pos, end - pos);
        pos = lf + 1;
        ++lineNo;
        if (line.size() > MAX_WPA_LINE)
            fatalError("Error in reading %s: line %d is longer than %zu characters", path.c_str(), lineNo,
                       MAX_WPA_LINE);
        if (line.empty() || line[0] == '%')
            continue;
        strSplit(line, '\t', fields);
        wpaEntry entry;
        if (english) {
            if (fields.size() != 2)
                wrongFormat(line, fields.size(), path, 217);
            entry.word = fields[0];
            strSplit(fields[1], '#', entry.paVec);
        } else {
            if (fields.size() != 5)
                wrongFormat(line, fields.size(), path, 241);
            entry.word = fields[0];
            strSplit(fields[1], ',', rows);
            for (const std::string& row : rows)
                entry.paVec.push_back(pinyinOfRow(pinyinTable, row, path, lineNo));
            strSplit(fields[3], ',', entry.extraVec);
            if (entry.extraVec.size() < entry.paVec.size())
                fatalError("Error in reading %s (line %d): %zu items in field 4 for %zu pinyin-table rows",
                           path.c_str(), lineNo, entry.extraVec.size(), entry.paVec.size());
        }
        table.push_back(std::move(entry));
    }
}

// An inline english table "word pa#pa@word pa".
void wpaReadString(const std::string& text, const std::string& language, std::vector<wpaEntry>& table)
{
    if (text.empty())
        return;
    if (language != "english")
        fatalError("Unsupported language %s (line %d in %s)", language.c_str(), 301, DICT_UNIT);
    table.clear();
    std::vector<std::string> records;
    std::vector<std::string> fields;
    strSplit(text, '@', records);
    for (const std::string& record : records) {
        if (record.empty() || record[0] == '%')
            continue;
        strSplit(record, ' ', fields);
        if (fields.size() != 2)
            wrongFormat(record, fields.size(), record, 290);
        wpaEntry entry;
        entry.word = fields[0];
        strSplit(fields[1], '#', entry.paVec);
        table.push_back(std::move(entry));
    }
}

// Reads the little-endian fields of a wpab file; any shortfall or bad length is fatal.
class wpabCursor {
public:
    wpabCursor(const std::string& bytes, const std::string& path) : m_bytes(bytes), m_path(path) {}

    size_t remaining() const { return m_bytes.size() - m_pos; }

    int32_t int32()
    {
        need(4);
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(m_bytes[m_pos + static_cast<size_t>(i)]);
        m_pos += 4;
        return static_cast<int32_t>(v);
    }

    // A length-prefixed string whose length lies in 0 .. limit-1.
    std::string text(int32_t limit, const char* what)
    {
        const int32_t len = int32();
        if (len < 0 || len >= limit)
            fatalError("Error in reading %s: %s length %d at byte %zu is outside 0..%d", m_path.c_str(), what, len,
                       m_pos - 4, limit - 1);
        need(static_cast<size_t>(len));
        std::string s = m_bytes.substr(m_pos, static_cast<size_t>(len));
        m_pos += static_cast<size_t>(len);
        return s;
    }

    // Fails unless `count` items of at least `minBytes` each can still follow.
    void checkCount(int32_t count, size_t minBytes, const char* what) const
    {
        if (count < 0 || static_cast<size_t>(count) > remaining() / minBytes)
            fatalError("Error in reading %s: %s count %d at byte %zu is negative or does not fit the file", m_path.c_str(), what,
                       count, m_pos - 4);
    }

private:
    void need(size_t n) const
    {
        if (n > remaining())
            fatalError("Error in reading %s: the file ends early (%zu bytes, %zu more needed at byte %zu)",
                       m_path.c_str(), m_bytes.size(), n, m_pos);
    }

    const std::string& m_bytes;
    const std::string& m_path;
    size_t m_pos = 0;
};

void wpaReadBinary(const std::string& path, std::vector<wpaEntry>& table)
{
    const std::string bytes = readOpenFile(path, "rb");
    table.clear();
    wpabCursor in(bytes, path);
    const int32_t entryNum = in.int32();
    if (entryNum < 1)
        return;
    in.checkCount(entryNum, 8, "entry");
    table.reserve(static_cast<size_t>(entryNum));
    for (int32_t e = 0; e < entryNum; ++e) {
        wpaEntry entry;
        entry.word = in.text(MAX_WPAB_WORD, "word");
        const int32_t paNum = in.int32();
        in.checkCount(paNum, 4, "PA");
        entry.paVec.reserve(static_cast<size_t>(paNum));
        for (int32_t k = 0; k < paNum; ++k)
            entry.paVec.push_back(in.text(MAX_WPAB_PA, "PA"));
        table.push_back(std::move(entry));
    }
}

} // namespace

void dictClass::wpaRead(const std::string& nameOrText, const std::string& language)
{
    if (!fileExists(nameOrText)) {
        conPrintf("Read WPA from the given string (line %d in %s)...\n", 139, DICT_UNIT);
        wpaReadString(nameOrText, language, m_wpa);
        return;
    }
    const std::string ext = fileExtension(nameOrText);
    if (ext == "wpab" || ext == "WPAB")
        wpaReadBinary(nameOrText, m_wpa);
    else if (ext == "wpa" || ext == "WPA")
        wpaReadText(nameOrText, language, m_pinyinTable, m_wpa);
    else
        fatalError("Error in reading \"%s\": The only allowed extension are \"wpa\" and \"wpab\" (line %d of %s) \n",
                   nameOrText.c_str(), 150, DICT_UNIT);
}

void dictClass::wpaAddendaRead(const std::string& path, const std::string& language)
{
    wpaReadText(path, language, m_pinyinTable, m_wpaAddenda);
}

void dictClass::wpaMerge()
{
    for (const wpaEntry& addendum : m_wpaAddenda) {
        const int i = wpaSearch(addendum.word);
        if (i >= 0) {
            wpaEntry& old = m_wpa[static_cast<size_t>(i)];
            conPrintf("\tOld entry: word=%s, pa=%s\n", old.word.c_str(), strVecJoin(old.paVec, "#").c_str());
            conPrintf("\tNew entry: word=%s, pa=%s\n", addendum.word.c_str(), strVecJoin(addendum.paVec, "#").c_str());
            old = addendum;
        } else {
            m_wpa.push_back(addendum);
        }
    }
    m_wpaAddenda.clear();
}

void dictClass::wpaSort()
{
    std::stable_sort(m_wpa.begin(), m_wpa.end(),
                     [](const wpaEntry& a, const wpaEntry& b) { return a.word < b.word; });
}

int dictClass::wpaSearch(const std::string& word) const
{
    return binarySearch(m_wpa.size(), [&](size_t i) { return word.compare(m_wpa[i].word); });
}

void dictClass::wpaSaveForTexts(const std::string& path, const std::vector<std::string>& texts,
                                const recogParam& param) const
{
    std::vector<std::string> words;
    for (const std::string& text : texts)
        textToWords(text, param.language, words);
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());

    std::vector<int> indices;
    for (const std::string& word : words) {
        const int i = wpaSearch(word);
        if (i < 0)
            conPrintf("Warning: Found no PA for \"%s\" in %s! (line %d in %s)\n", word.c_str(), path.c_str(), 474,
                      DICT_UNIT);
        else
            indices.push_back(i);
    }
    std::sort(indices.begin(), indices.end());

    outputFile out(path);
    for (const int i : indices) {
        const wpaEntry& entry = m_wpa[static_cast<size_t>(i)];
        const std::string line = entry.word + "\t" + strVecJoin(entry.paVec, "#") + "\n";
        std::fwrite(line.data(), 1, line.size(), out.get());
    }
    out.commit();
}
