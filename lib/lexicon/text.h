// The texts of a run and what is derived from them: normalized texts and syllable strings.
#pragma once

#include <cstdint>
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

// Budget of the exhaustive listing, for all texts together: syllable strings, and nodes of the
// prefix tree over them. The tree network takes about 1.4 kB per node until the search ends.
constexpr uint64_t MAX_LISTED_STRINGS = 100000;
constexpr uint64_t MAX_LISTED_NODES = 250000;

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
    // the index of its text. The combinations are counted first: past the listing budget the run
    // ends before any is built.
    void textsToSylEnglish(const dictClass& dict);
    // Chinese: a text with a character that has no syllable is left out with a warning; when no
    // text is left, the run ends with an error naming `textSource` (where the texts came from).
    // m_extraVs parallels m_sylVs (empty items for entries without extras).
    void textsToSylChinese(const dictClass& dict, const std::string& textSource);
    // m_sylVs from a syllable file: every non-empty line is a syllable string, one tab and the
    // decimal index of its text, below `textNum`; anything else ends the run naming the file and
    // line. `joined`: the texts were joined into one (assess), so the only index is 0.
    void sylFileRead(const std::string& path, size_t textNum, bool joined);
    // Japanese rewrite rules over m_sylVs (only when the language is japanese); saves
    // output.syl when outputDir is set.
    void sylJapanese(const recogParam& param);
    // Replaces every "-" in m_sylVs by the separator.
    void addBetweenSyllables(const std::string& separator);

    // m_netVs: a prefix tree over the syllable strings of m_sylVs, optionally with filler loops
    // around the text, optional pauses between the units of a single text, framing silences and
    // the link families switched on in param.
    void buildTreeNet(const recogParam& param, bool fillerLoops, bool softPauses, bool framingSilences);
    // m_netVs: a chain of word columns, each offering the word's pronunciations (one text only).
    void buildSausageNet(const dictClass& dict, const recogParam& param);

    // The syllable string of a best path (its m_pronDict indices in order) and the texts and
    // m_sylVs entries it matches under param.comparisonMode.
    std::string pinyin2text(const std::vector<int32_t>& pathSylIndices, const dictClass& dict,
                            std::vector<int>& textIndices, std::vector<int>& entryIndices, const recogParam& param);
    // Appends the matches of a framed path ("-a-b-") among m_sylVs: mode 0 exact, 1 prefix,
    // 2 anywhere.
    void searchSylVs(const std::string& framedPath, int mode, std::vector<int>& textIndices,
                     std::vector<int>& entryIndices) const;

    std::vector<std::string> m_txtVs;
    std::vector<normRule> m_textNormSp;
    std::vector<std::string> m_txtVsNormalized;
    std::vector<std::string> m_sylVs;
    std::vector<std::string> m_extraVs;
    std::vector<std::string> m_netVs;
    // Comparison mode 3: path units before the first match, and units of that match (-1: none).
    int32_t m_matchStartUnit = -1;
    int32_t m_matchUnitNum = -1;
};

// Appends the words of a text: english pieces between blanks, chinese two-byte characters,
// japanese one "X" per byte, nothing for other languages.
void textToWords(const std::string& text, const std::string& language, std::vector<std::string>& words);
// Appends the PAs of every word of an english text to `pas`, in word order; words missing from
// the wpa table are written to missingWord.txt and end the run.
void wordsToPas(const std::string& text, const dictClass& dict, std::vector<std::string>& pas);

// The syllable in column `to` of the first pinyin-table row whose column `from` holds it
// (unchanged, with a warning unless it is a filler, when there is none).
std::string pinyinColumnMap(const std::string& syllable, int from, int to,
                            const std::vector<std::vector<std::string>>& table);
// Every "-"-separated syllable of the string mapped from column `from` to column `to`.
std::string pinyinConvert(const std::string& syllables, const std::vector<std::vector<std::string>>& table, int from,
                          int to);
