#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "lexicon/text.h"
#include "task/recogParam.h"

namespace {

const char* const UNIT = "lib\\text";

} // namespace

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
    std::vector<int> lineNos;
    readTextLines(path, lines, '%', &lineNos);
    std::vector<std::string> fields;
    for (size_t i = 0; i < lines.size(); ++i) {
        strSplit(lines[i], delimiter, fields);
        if (fields.size() < 3)
            fatalError("Error: Parsing error in \"%s\". (line %d of file %s)", path.c_str(), 917, UNIT);
        // "g" would never finish with it, and no other kind gives it a meaning.
        if (fields[0].empty())
            fatalError("Error: Empty pattern in line %d of the text normalization mapping file \"%s\".",
                       lineNos[i], path.c_str());
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
            strReplaceAll(text, rule.pattern, rule.replacement);
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
