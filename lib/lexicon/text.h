// The texts of a run and what is derived from them: normalized texts and syllable strings.
#pragma once

#include <string>
#include <vector>

class dictClass;
struct recogParam;

// One normalization rule: kind "g" replaces every pattern, "$" strips trailing and "^" leading
// copies of the pattern's first character; other kinds do nothing.
struct normRule {
    std::string pattern;
    std::string replacement;
    std::string kind;
};

// Most syllable strings one text may expand to.
constexpr size_t MAX_LISTING_NUM = 100000;

class textClass {
public:
    // Texts from a file (one per non-empty line) or, when no such file exists, from the value
    // itself split at "#".
    void txtRead(const std::string& nameOrTexts);
    // Rules "pattern#replacement#kind" from the mapping file; an empty name reads nothing.
    void textNormRead(const std::string& path, char delimiter);
    // m_txtVsNormalized from m_txtVs (text cut at a tab, then normalizeOne).
    void textNormalize(const recogParam& param);
    // Lower case for english, then every rule in order.
    void normalizeOne(std::string& text, const std::string& language) const;

    // Syllable strings by exhaustive listing of every word's PAs, each followed by a tab and
    // the index of its text.
    void textsToSylEnglish(const dictClass& dict);
    void textsToSylChinese(const dictClass& dict);
    // Japanese rewrite rules over m_sylVs (only when the language is japanese); saves
    // output.syl when outputDir is set.
    void sylJapanese(const recogParam& param);
    // Replaces every "-" in m_sylVs by the separator.
    void addBetweenSyllables(const std::string& separator);

    std::vector<std::string> m_txtVs;
    std::vector<normRule> m_textNormSp;
    std::vector<std::string> m_txtVsNormalized;
    std::vector<std::string> m_sylVs;
    std::vector<std::string> m_extraVs;
};

// Appends the words of a text: english pieces between blanks, chinese two-byte characters,
// japanese one "X" per byte, nothing for other languages.
void textToWords(const std::string& text, const std::string& language, std::vector<std::string>& words);
// Inserts the PAs of every word of an english text at the front of `pas`; words missing from
// the wpa table are written to missingWord.txt and end the run.
void wordsToPas(const std::string& text, const dictClass& dict, std::vector<std::string>& pas);
