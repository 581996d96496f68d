#include <algorithm>

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

// Refuses a text whose lists combine to more than MAX_LISTING_NUM strings, before any is built.
// count never exceeds MAX_LISTING_NUM, so the product can't overflow; an empty list lists nothing.
void checkListingSize(const altLists& lists, size_t textIndex, const std::string& text)
{
    size_t count = 1;
    for (const std::vector<std::string>& alts : lists) {
        if (alts.empty())
            return;
        if (alts.size() > MAX_LISTING_NUM / count)
            fatalError("Error: Text %zu (\"%s\") has more than %zu pronunciation combinations.", textIndex,
                       text.c_str(), MAX_LISTING_NUM);
        count *= alts.size();
    }
}

// Appends every listed string followed by a tab and the text index.
void appendIndexed(std::vector<std::string>& out, std::vector<std::string>&& listed, size_t textIndex)
{
    std::string suffix(1, '\t');
    suffix += std::to_string(textIndex);
    for (std::string& s : listed)
        out.push_back(std::move(s) + suffix);
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
    // Each word's PAs go in front of what is there, so the last word's come first.
    std::vector<std::string> front;
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        front.insert(front.end(), (*it)->paVec.begin(), (*it)->paVec.end());
    pas.insert(pas.begin(), front.begin(), front.end());
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
    std::vector<std::string> words;
    for (size_t i = 0; i < m_txtVsNormalized.size(); ++i) {
        const std::string& text = m_txtVsNormalized[i];
        words.clear();
        textToWords(text, "english", words);
        altLists lists;
        lists.reserve(words.size());
        for (const std::string& word : words) {
            const wpaEntry* entry = findWpa(dict, word);
            if (!entry)
                fatalError("Error: Found no pronunciation entry for \"%s\". Please add the pronunciation to "
                           "wpaAddendaFile. (line %d of file %s)",
                           word.c_str(), 229, UNIT);
            if (entry->paVec.empty())
                fatalError("Error: The pronunciation entry for \"%s\" has no pronunciation.", word.c_str());
            lists.push_back(entry->paVec);
        }
        checkListingSize(lists, i, text);
        appendIndexed(m_sylVs, strVecExhaustiveList(lists), i);
    }
}

void textClass::textsToSylChinese(const dictClass& dict)
{
    m_sylVs.clear();
    m_extraVs.clear();
    std::vector<std::string> chars;
    for (size_t i = 0; i < m_txtVsNormalized.size(); ++i) {
        const std::string& text = m_txtVsNormalized[i];
        chars.clear();
        textToWords(text, "chinese", chars);
        altLists paLists;
        altLists extraLists;
        for (const std::string& ch : chars) {
            const wpaEntry* entry = findWpa(dict, ch);
            if (!entry) {
                conPrintf("Warning: Found no syllable for \"%s\"!\n", ch.c_str());
                // Skipping the character would score a different text than the one given.
                fatalError("Error: Cannot list the syllables of text %zu without \"%s\".", i, ch.c_str());
            }
            const std::vector<std::string>& paVec = entry->paVec;
            if (paVec.empty())
                fatalError("Error: The syllable entry for \"%s\" has no syllable.", ch.c_str());
            if (entry->extraVec.size() < paVec.size())
                fatalError("Error: The syllable entry for \"%s\" has %zu syllables but only %zu extra items.",
                           ch.c_str(), paVec.size(), entry->extraVec.size());
            std::vector<std::string> pas = paVec;
            std::sort(pas.begin(), pas.end());
            pas.erase(std::unique(pas.begin(), pas.end()), pas.end());
            std::vector<std::string> extras;
            extras.reserve(pas.size());
            for (const std::string& pa : pas) {
                const auto first = std::find(paVec.begin(), paVec.end(), pa) - paVec.begin();
                extras.push_back(entry->extraVec[static_cast<size_t>(first)]);
            }
            paLists.push_back(std::move(pas));
            extraLists.push_back(std::move(extras));
        }
        checkListingSize(paLists, i, text);
        appendIndexed(m_sylVs, strVecExhaustiveList(paLists), i);
        std::vector<std::string> extraListed = strVecExhaustiveList(extraLists);
        m_extraVs.insert(m_extraVs.end(), extraListed.begin(), extraListed.end());
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
