// recite-import-cmudict: converts a CMU-style pronouncing dictionary ("word PH PH ...", alternatives
// as "word(2)") into the english wpa table ("word<TAB>pa#pa", phones lower case joined by "_",
// entries in byte order) and, optionally, its binary form for fast loading.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/fatalError.h"
#include "common/fileUtil.h"

namespace {

// Limits of the binary form (and of the text reader's 999-character lines).
const size_t MAX_WORD = 999;
const size_t MAX_PA = 99;
const size_t MAX_LINE = 999;

// "word(2)" -> "word"; other words unchanged.
std::string baseWord(const std::string& word)
{
    if (word.size() < 4 || word.back() != ')')
        return word;
    const size_t open = word.rfind('(');
    if (open == std::string::npos || open == 0 || open + 2 >= word.size())
        return word;
    for (size_t i = open + 1; i + 1 < word.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(word[i])))
            return word;
    return word.substr(0, open);
}

void appendInt32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xffu));
}

void appendText(std::string& out, const std::string& s)
{
    appendInt32(out, static_cast<uint32_t>(s.size()));
    out += s;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::printf("Usage: %s DICT OUT.wpa [OUT.wpab]\n"
                    "  Writes the english wpa table of the pronouncing dictionary DICT to OUT.wpa and,\n"
                    "  when given, its binary form to OUT.wpab.\n",
                    argv[0]);
        return 1;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in)
            fatalError("Cannot open file %s", argv[1]);
        // Word -> its PAs in dictionary order.
        std::map<std::string, std::vector<std::string>> table;
        std::string line;
        std::string word;
        std::string phone;
        long lineNo = 0;
        long badLines = 0;
        while (std::getline(in, line)) {
            ++lineNo;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const size_t hash = line.find('#');
            if (hash != std::string::npos)
                line.resize(hash); // comments
            std::istringstream fields(line);
            if (!(fields >> word) || word.rfind(";;;", 0) == 0)
                continue;
            std::string pa;
            while (fields >> phone) {
                for (char& c : phone)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (!pa.empty())
                    pa += '_';
                pa += phone;
            }
            if (pa.empty()) {
                ++badLines;
                continue;
            }
            table[baseWord(word)].push_back(pa);
        }
        if (in.bad())
            fatalError("Error in reading %s: read failure", argv[1]);

        std::string text;
        std::string binary;
        uint32_t kept = 0;
        long skipped = 0;
        appendInt32(binary, 0); // count, filled in below
        for (const auto& [w, pas] : table) {
            bool fits = w.size() <= MAX_WORD && w.size() + 1 <= MAX_LINE;
            size_t lineLen = w.size() + 1;
            for (const std::string& pa : pas) {
                fits = fits && pa.size() <= MAX_PA;
                lineLen += pa.size() + 1;
            }
            if (!fits || lineLen - 1 > MAX_LINE) {
                ++skipped;
                continue;
            }
            text += w;
            text += '\t';
            for (size_t k = 0; k < pas.size(); ++k) {
                if (k > 0)
                    text += '#';
                text += pas[k];
            }
            text += '\n';
            appendText(binary, w);
            appendInt32(binary, static_cast<uint32_t>(pas.size()));
            for (const std::string& pa : pas)
                appendText(binary, pa);
            ++kept;
        }
        const std::string count = [&] {
            std::string c;
            appendInt32(c, kept);
            return c;
        }();
        binary.replace(0, 4, count);

        if (badLines > 0)
            std::printf("Warning: %ld lines of %s without phones were ignored\n", badLines, argv[1]);
        if (skipped > 0)
            std::printf("Warning: %ld entries too long for the wpa formats (word < 1000, PA < 100 bytes) were "
                        "skipped\n",
                        skipped);
        writeFileWhole(argv[2], text);
        std::printf("\t===> Saved %s (%u words from %ld lines)\n", argv[2], kept, lineNo);
        if (argc == 4) {
            writeFileWhole(argv[3], binary);
            std::printf("\t===> Saved %s\n", argv[3]);
        }
    } catch (const fatalErrorException& e) {
        std::printf("%s\n", e.what());
        return 2;
    }
    return 0;
}
