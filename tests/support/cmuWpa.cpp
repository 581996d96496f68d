#include "support/cmuWpa.h"

#include <fstream>
#include <map>
#include <sstream>
#include <vector>

std::string cmuDictToWpa(const std::string& dictPath)
{
    std::ifstream in(dictPath);
    if (!in)
        return {};
    // std::map orders std::string keys by unsigned bytes, as the wpa lookup expects.
    std::map<std::string, std::vector<std::string>> entries;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string word;
        if (!(fields >> word))
            continue;
        const size_t paren = word.find('(');
        if (paren != std::string::npos && paren > 0 && word.back() == ')')
            word.resize(paren);
        std::string pa;
        std::string phone;
        while (fields >> phone) {
            for (char& c : phone) {
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            }
            if (!pa.empty())
                pa += '_';
            pa += phone;
        }
        if (!pa.empty())
            entries[word].push_back(pa);
    }
    std::string out;
    for (const auto& [word, pas] : entries) {
        out += word;
        out += '\t';
        for (size_t i = 0; i < pas.size(); ++i) {
            if (i > 0)
                out += '#';
            out += pas[i];
        }
        out += '\n';
    }
    return out;
}
