// The lexicon of a run: pronunciation dictionary, word-phonetic-alphabet tables, pinyin table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class macroClass;
struct recogParam;

// A dictionary word and the models of its phones (-1: no model, written as "???").
struct pronEntry {
    std::string word;
    std::vector<int32_t> modelIds;
};

// A word's alternative phonetic-alphabet strings (PAs); extraVec only for chinese tables.
struct wpaEntry {
    std::string word;
    std::vector<std::string> paVec;
    std::vector<std::string> extraVec;
};

class dictClass {
public:
    // Pronunciation dictionary: appended from a file ("word phone phone ...", kept in file order).
    void pronDictRead(const std::string& path, const macroClass& models);
    // English: rebuilt from m_wpa for the words of the texts, sorted, with right-context models.
    void pronDictFromWpa(const std::vector<std::string>& texts, const macroClass& models);
    void pronDictWrite(const std::string& path, const macroClass& models) const;
    // Binary search on word (byte order); -1 when absent.
    int pronDictSearch(const std::string& word) const;

    // Rows of tab-separated fields; replaces the table.
    void pinyinTableRead(const std::string& path);

    // A wpa file ("wpa"/"WPA" text, "wpab"/"WPAB" binary) or, when no such file exists, an
    // inline table "word pa#pa@word pa" (english only).
    void wpaRead(const std::string& nameOrText, const std::string& language);
    // Addenda from a text wpa file into m_wpaAddenda.
    void wpaAddendaRead(const std::string& path, const std::string& language);
    // Replaces or appends the addenda entries in m_wpa, then clears the addenda.
    void wpaMerge();
    void wpaSort();
    // Binary search on word (byte order); -1 when absent.
    int wpaSearch(const std::string& word) const;
    // Writes the entries that the words of the texts use, in m_wpa order, as an english wpa file.
    void wpaSaveForTexts(const std::string& path, const std::vector<std::string>& texts,
                         const recogParam& param) const;

    std::vector<pronEntry> m_pronDict;
    std::vector<wpaEntry> m_wpa;
    std::vector<wpaEntry> m_wpaAddenda;
    std::vector<std::vector<std::string>> m_pinyinTable;
};
