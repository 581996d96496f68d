#include <string_view>

#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "lexicon/text.h"
#include "task/recogParam.h"

namespace {

const char* const UNIT = "lib\\text";

// 1-based line of the file that holds its `index`-th (0-based) rule line, counting lines as
// textNormRead sees them (empty ones and "%" comments don't hold rules); 0 when not found.
int ruleLineNumber(const std::string& path, size_t index)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        return 0;
    int lineNo = 0;
    size_t seen = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        size_t end = lf == std::string::npos ? bytes.size() : lf;
        std::string_view line(bytes.data() + pos, end - pos);
        if (!line.empty() && line.back() == '\r' && lf != std::string::npos)
            line.remove_suffix(1);
        ++lineNo;
        if (!line.empty() && line.front() != '%') {
            if (seen == index)
                return lineNo;
            ++seen;
        }
        if (lf == std::string::npos)
            break;
        pos = lf + 1;
    }
    return 0;
}

} // namespace

void strReplaceAllOnePass(std::string& text, const std::string& from, const std::string& to)
{
    size_t pos = text.find(from);
    if (from.empty() || pos == std::string::npos)
        return;
    std::string out;
    out.reserve(text.size());
    size_t done = 0;
    for (; pos != std::string::npos; pos = text.find(from, done)) {
        out.append(text, done, pos - done);
        out += to;
        done = pos + from.size();
    }
    out.append(text, done, std::string::npos);
    text.swap(out);
}

void textClass::txtRead(const std::string& nameOrTexts)
{
    m_txtVs.clear();
    if (fileExists(nameOrTexts)) {
        readTextLines(nameOrTexts, m_txtVs, 0);
    } else {
        if (nameOrTexts.empty())
            fatalError("Error: The given recognizable texts (represented as a string delimited by #) has a length "
                       "of zero. (line %d of %s)",
                       19, UNIT);
        strSplit(nameOrTexts, '#', m_txtVs);
    }
    if (m_txtVs.empty())
        fatalError("Error: m_txtVs.size()=0 when reading \"%s\". (line %d of %s)", nameOrTexts.c_str(), 25, UNIT);
}

void textClass::textNormRead(const std::string& path, char delimiter)
{
    m_textNormSp.clear();
    if (path.empty())
        return;
    std::vector<std::string> lines;
    readTextLines(path, lines, '%');
    std::vector<std::string> fields;
    for (size_t i = 0; i < lines.size(); ++i) {
        strSplit(lines[i], delimiter, fields);
        if (fields.size() < 3)
            fatalError("Error: Parsing error in \"%s\". (line %d of file %s)", path.c_str(), 917, UNIT);
        // "g" would never finish with it, and no other kind gives it a meaning.
        if (fields[0].empty())
            fatalError("Error: Empty pattern in line %d of the text normalization mapping file \"%s\".",
                       ruleLineNumber(path, i), path.c_str());
        m_textNormSp.push_back({fields[0], fields[1], fields[2]});
    }
}

void textClass::textNormalize(const recogParam& param)
{
    m_txtVsNormalized.clear();
    m_txtVsNormalized.reserve(m_txtVs.size());
    for (const std::string& text : m_txtVs) {
        std::string copy = text.substr(0, text.find('\t'));
        normalizeOne(copy, param.language);
        m_txtVsNormalized.push_back(std::move(copy));
    }
}

void textClass::normalizeOne(std::string& text, const std::string& language) const
{
    if (language == "english")
        strToLower(text);
    for (const normRule& rule : m_textNormSp) {
        // Rules added by hand may still lack a pattern or kind; they do nothing.
        if (rule.kind.empty() || rule.pattern.empty())
            continue;
        const char c = rule.pattern[0];
        switch (rule.kind[0]) {
        case 'g':
            strReplaceAllOnePass(text, rule.pattern, rule.replacement);
            break;
        case '$': {
            size_t end = text.find_last_not_of(c);
            text.resize(end == std::string::npos ? 0 : end + 1);
            break;
        }
        case '^':
            text.erase(0, text.find_first_not_of(c));
            break;
        default:
            break;
        }
    }
}
