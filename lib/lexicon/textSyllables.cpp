#include <algorithm>
#include <cstdint>

#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "task/recogParam.h"

namespace {

const char* const UNIT = "lib\\text";

using altLists = std::vector<std::vector<std::string>>;

// The wpa entry of a word, or null when the table has none.
const wpaEntry* findWpa(const dictClass& dict, const std::string& word)
{
    const int idx = dict.wpaSearch(word);
    if (idx < 0 || static_cast<size_t>(idx) >= dict.m_wpa.size())
        return nullptr;
    return &dict.m_wpa[static_cast<size_t>(idx)];
}

// A text for a message: a long one cut after 60 bytes (an even number, so that no double-byte
// character is cut).
std::string textForMessage(const std::string& text)
{
    const size_t keep = 60;
    if (text.size() <= keep + 3)
        return text;
    return text.substr(0, keep) + "...";
}

// a * b, or `cap` when that is more (a, b <= cap).
uint64_t cappedProduct(uint64_t a, uint64_t b, uint64_t cap)
{
    if (a != 0 && b > cap / a)
        return cap;
    return std::min(a * b, cap);
}

// What the listing of all texts costs: its strings, and the nodes of the prefix tree over them
// (for each text, the distinct beginnings of its combinations: the products of the first 1, 2, ...
// list sizes). Both are counted from the list sizes, before any string is built, and both have
// one budget for all texts together.
class listingBudget {
public:
    void add(const altLists& lists, size_t textIndex, const std::string& text)
    {
        const uint64_t cap = std::max(MAX_LISTED_STRINGS, MAX_LISTED_NODES) + 1;
        uint64_t combinations = lists.empty() ? 0 : 1;
        uint64_t nodes = 0;
        for (const std::vector<std::string>& alts : lists) {
            combinations = cappedProduct(combinations, alts.size(), cap);
            nodes = std::min(nodes + combinations, cap);
        }
        m_strings = std::min(m_strings + combinations, cap);
        m_nodes = std::min(m_nodes + nodes, cap);
        if (m_strings > MAX_LISTED_STRINGS || m_nodes > MAX_LISTED_NODES)
            fatalError("Error: Listing the pronunciations of text %zu (\"%s\") takes all texts together past %llu "
                       "syllable strings or %llu network nodes. Give fewer texts, or words with fewer "
                       "pronunciations. A long single text can use the sausage network (netType = 1), which offers "
                       "the pronunciations of each word without listing their combinations.",
                       textIndex, textForMessage(text).c_str(), static_cast<unsigned long long>(MAX_LISTED_STRINGS),
                       static_cast<unsigned long long>(MAX_LISTED_NODES));
    }

private:
    uint64_t m_strings = 0;
    uint64_t m_nodes = 0;
};

// One text's lists of alternatives, kept until every text has been counted.
struct textLists {
    size_t textIndex;
    altLists pas;
    altLists extras; // chinese only
};

// A tab and the text index, as listed entries end.
std::string indexSuffix(size_t textIndex)
{
    std::string suffix(1, '\t');
    suffix += std::to_string(textIndex);
    return suffix;
}

// Appends every combination of one alternative per list, joined by "-", in the order of
// strVecExhaustiveList (the first list varying fastest), each followed by `suffix`. Each string
// is built once from its parts: extending a growing list word by word copied every string once
// per word, quadratic in the words of a long text. Every list holds at least one alternative.
void appendListing(std::vector<std::string>& out, const altLists& lists, const std::string& suffix)
{
    if (lists.empty())
        return;
    size_t count = 1;
    for (const std::vector<std::string>& alts : lists)
        count *= alts.size(); // within the listing budget
    std::vector<size_t> choice(lists.size(), 0);
    for (size_t c = 0; c < count; ++c) {
        size_t length = suffix.size() + lists.size() - 1;
        for (size_t k = 0; k < lists.size(); ++k)
            length += lists[k][choice[k]].size();
        std::string s;
        s.reserve(length);
        for (size_t k = 0; k < lists.size(); ++k) {
            if (k > 0)
                s += '-';
            s += lists[k][choice[k]];
        }
        s += suffix;
        out.push_back(std::move(s));
        // Next combination: count up with the first list as the fastest digit.
        for (size_t k = 0; k < lists.size() && ++choice[k] == lists[k].size(); ++k)
            choice[k] = 0;
    }
}

// Whether the decimal digits stand for a number below `limit`.
bool indexBelow(const std::string& digits, size_t limit)
{
    uint64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value >= limit)
            return false;
    }
    return true;
}

struct replacement {
    const char* from;
    const char* to;
};

// Japanese unit rewrites, applied in this order to "-" + line + "-".
const replacement JAPANESE_RULES[] = {
    {"_n-", "-n-"},       {"-tsu(ts)", "-tsu"}, {"-su(s)", "-su"}, {"-ts_", "-tsu-"},  {"e_i-", "e-"},
    {"o_u-", "o-"},       {"a_a-", "a-"},       {"i_i-", "i-"},    {"u_u-", "u-"},     {"e_e_e-", "e-"},
    {"e_e-", "e-"},       {"o_o-", "o-"},       {"yu_yu-", "yu-"}, {"u_i-", "u-"},     {"a_u-", "a-"},
    {"-s_u", "-su"},      {"-ts_u", "-tsu"},    {"-#-#-#-", "-sil-"}, {"-#-#-", "-sil-"}, {"-#-", "-sil-"},
};

std::string japaneseRewrite(std::string w)
{
    strToLower(w);
    if (w.starts_with("sil-"))
        w.erase(0, 4);
    if (w.ends_with("-sil"))
        w.resize(w.size() - 4);
    w = "-" + w + "-";
    for (const replacement& r : JAPANESE_RULES)
        strReplaceAll(w, r.from, r.to);
    return w.size() >= 2 ? w.substr(1, w.size() - 2) : std::string();
}

} // namespace

void textToWords(const std::string& text, const std::string& language, std::vector<std::string>& words)
{
    if (language == "english") {
        strSplit(text, ' ', words, true);
    } else if (language == "chinese") {
        for (size_t i = 0; i + 1 < text.size(); i += 2)
            words.push_back(text.substr(i, 2));
    } else if (language == "japanese") {
        words.insert(words.end(), text.size(), "X");
    }
}

void wordsToPas(const std::string& text, const dictClass& dict, std::vector<std::string>& pas)
{
    std::vector<std::string> words;
    textToWords(text, "english", words);
    std::vector<const wpaEntry*> found;
    std::vector<std::string> missing;
    for (const std::string& word : words) {
        if (const wpaEntry* entry = findWpa(dict, word)) {
            found.push_back(entry);
        } else {
            conPrintf("Error: Found no pronunciation entry for \"%s\". (line %d of file %s)\n", word.c_str(), 195,
                      UNIT);
            missing.push_back(word);
        }
    }
    // Appended, not put in front: inserting at the front moved the whole list once per text.
    // Users sort the list, so only its content matters.
    for (const wpaEntry* entry : found)
        pas.insert(pas.end(), entry->paVec.begin(), entry->paVec.end());
    if (missing.empty())
        return;
    std::sort(missing.begin(), missing.end());
    missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
    writeTextLines("missingWord.txt", missing);
    fatalError("Error: %d words (recorded at \"missingWord.txt\") cannot be found in the pronunciation dictionary! "
               "Please add the pronunciation to wpaAddendaFile. (line %d of file %s)",
               static_cast<int>(missing.size()), 206, UNIT);
}

void textClass::textsToSylEnglish(const dictClass& dict)
{
    if (dict.m_wpa.empty())
        fatalError("Error: wpa.size()==0 at line %d of file %s!", 260, UNIT);
    m_sylVs.clear();
    listingBudget budget;
    std::vector<textLists> all;
    std::vector<std::string> words;
    for (size_t i = 0; i < m_txtVsNormalized.size(); ++i) {
        const std::string& text = m_txtVsNormalized[i];
        words.clear();
        textToWords(text, "english", words);
        textLists lists{i, {}, {}};
        lists.pas.reserve(words.size());
        for (const std::string& word : words) {
            const wpaEntry* entry = findWpa(dict, word);
            if (!entry)
                fatalError("Error: Found no pronunciation entry for \"%s\". Please add the pronunciation to "
                           "wpaAddendaFile. (line %d of file %s)",
                           word.c_str(), 229, UNIT);
            if (entry->paVec.empty())
                fatalError("Error: The pronunciation entry for \"%s\" has no pronunciation.", word.c_str());
            lists.pas.push_back(entry->paVec);
        }
        budget.add(lists.pas, i, text);
        all.push_back(std::move(lists));
    }
    for (const textLists& lists : all)
        appendListing(m_sylVs, lists.pas, indexSuffix(lists.textIndex));
}

void textClass::textsToSylChinese(const dictClass& dict, const std::string& textSource)
{
    m_sylVs.clear();
    m_extraVs.clear();
    listingBudget budget;
    std::vector<textLists> all;
    size_t givenUp = 0;
    std::vector<std::string> chars;
    for (size_t i = 0; i < m_txtVsNormalized.size(); ++i) {
        const std::string& text = m_txtVsNormalized[i];
        chars.clear();
        textToWords(text, "chinese", chars);
        textLists lists{i, {}, {}};
        std::string lacking; // the first character that can't be spelled
        for (const std::string& ch : chars) {
            const wpaEntry* entry = findWpa(dict, ch);
            if (!entry || entry->paVec.empty()) {
                conPrintf("Warning: Found no syllable for \"%s\"!\n", ch.c_str());
                if (lacking.empty())
                    lacking = ch;
                continue;
            }
            const std::vector<std::string>& paVec = entry->paVec;
            std::vector<std::string> pas = paVec;
            std::sort(pas.begin(), pas.end());
            pas.erase(std::unique(pas.begin(), pas.end()), pas.end());
            // Each syllable's extra item where it first occurs; tables without extras (wpab) give
            // empty items.
            std::vector<std::string> extras;
            extras.reserve(pas.size());
            for (const std::string& pa : pas) {
                const auto first = static_cast<size_t>(std::find(paVec.begin(), paVec.end(), pa) - paVec.begin());
                extras.push_back(first < entry->extraVec.size() ? entry->extraVec[first] : std::string());
            }
            lists.pas.push_back(std::move(pas));
            lists.extras.push_back(std::move(extras));
        }
        if (!lacking.empty()) {
            // Skipping the character would score a different text; the other texts can still be
            // recognised.
            conPrintf("Warning: Text %zu (\"%s\") is left out: \"%s\" has no syllable in the wpa table.\n", i,
                      textForMessage(text).c_str(), lacking.c_str());
            ++givenUp;
            continue;
        }
        budget.add(lists.pas, i, text);
        all.push_back(std::move(lists));
    }
    if (givenUp > 0 && std::all_of(all.begin(), all.end(), [](const textLists& l) { return l.pas.empty(); }))
        fatalError("Error: No text of \"%s\" is left to recognise: %zu left out for characters without a syllable "
                   "in the wpa table (see the warnings above).",
                   textSource.c_str(), givenUp);
    for (const textLists& lists : all) {
        appendListing(m_sylVs, lists.pas, indexSuffix(lists.textIndex));
        appendListing(m_extraVs, lists.extras, "");
    }
}

void textClass::sylFileRead(const std::string& path, size_t textNum, bool joined)
{
    std::vector<int> lineNos;
    readTextLines(path, m_sylVs, 0, &lineNos);
    std::vector<std::string> fields;
    for (size_t n = 0; n < m_sylVs.size(); ++n) {
        strSplit(m_sylVs[n], '\t', fields);
        std::string problem;
        if (fields.size() < 2) {
            problem = "no text index (a tab and the number of the text that the syllables spell)";
        } else if (fields.size() > 2) {
            problem = "more than one tab";
        } else if (fields[0].empty()) {
            problem = "no syllables before the tab";
        } else {
            std::string index = fields[1];
            strTrim(index);
            const bool negative = index.size() > 1 && index[0] == '-';
            const size_t digits = index.find_first_not_of("0123456789", negative ? 1 : 0);
            if (index.empty() || digits != std::string::npos)
                problem = "a text index that is not a number: \"" + fields[1] + "\"";
            else if (negative)
                problem = "a negative text index: " + index;
            else if (joined && index.find_first_not_of('0') != std::string::npos)
                problem = "text index " + index + ", but assess joins the texts into one text, index 0";
            else if (!joined && !indexBelow(index, textNum))
                problem = "text index " + index + ", not below the number of texts (" + std::to_string(textNum) + ")";
        }
        if (!problem.empty())
            fatalError("Error: Line %d of the syllable file \"%s\" has %s.", lineNos[n], path.c_str(),
                       problem.c_str());
    }
}

void textClass::sylJapanese(const recogParam& param)
{
    if (param.language != "japanese")
        return;
    std::vector<std::string> fields;
    for (std::string& s : m_sylVs) {
        strSplit(s, '\t', fields);
        if (fields.size() == 2)
            s = japaneseRewrite(fields[0]) + "\t" + fields[1];
        else
            s = japaneseRewrite(s);
    }
    if (!param.outputDir.empty()) {
        const std::string path = param.outputDir + "/output.syl";
        writeTextLines(path, m_sylVs);
        conPrintf("\t===> Saved %s for Japanese!\n", path.c_str());
    }
}

void textClass::addBetweenSyllables(const std::string& separator)
{
    conPrintf("\tAdding %s between syllables...\n", separator.c_str());
    for (std::string& s : m_sylVs)
        strReplaceAll(s, "-", separator);
}
