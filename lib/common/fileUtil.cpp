#include "common/fileUtil.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/console.h"
#include "common/fatalError.h"
#include "common/strUtil.h"

namespace {

const int MAX_LINE_PIECE = 99999;

[[noreturn]] void cannotOpen(const std::string& path)
{
    fatalError("Cannot open file %s (line %d of %s)", path.c_str(), 100, "lib\\utility");
}

bool isDirectory(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

// An input path that can't be read as a file: empty, or naming a directory, FIFO, device or
// socket (a FIFO would block the run, a device never end).
bool notAnInputFile(const std::string& path)
{
    return path.empty() || isSpecialFile(path);
}

// Line pieces as a text-mode reader sees them: CR LF read as LF, a piece ends after a line
// feed or at MAX_LINE_PIECE characters. Each piece is handed on without its line feed,
// with `full` set when it filled the whole buffer and `continues` when the line goes on in the
// next piece.
template <typename Sink>
void forEachLinePiece(const std::string& bytes, Sink sink)
{
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        text.push_back(bytes[i]);
    }
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        size_t len = (lf == std::string::npos ? text.size() : lf + 1) - pos;
        bool full = false;
        if (len >= static_cast<size_t>(MAX_LINE_PIECE)) {
            len = MAX_LINE_PIECE;
            full = true;
        }
        size_t contentLen = len;
        if (contentLen > 0 && text[pos + contentLen - 1] == '\n')
            --contentLen;
        // The next piece continues this line when this one stopped short of its line feed.
        const bool continues = contentLen == len && pos + len < text.size();
        sink(text.substr(pos, contentLen), full, continues);
        pos += len;
    }
}

} // namespace

bool isSpecialFile(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st);
}

bool fileExists(const std::string& path)
{
    if (notAnInputFile(path))
        return false;
    std::ifstream in(path, std::ios::binary);
    return in.is_open();
}

bool readFileBytes(const std::string& path, std::string& bytes)
{
    bytes.clear();
    if (notAnInputFile(path))
        return false;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in.is_open())
        return false;
    const std::streamoff size = in.tellg();
    if (size > 0) {
        // One read of the whole file; the size may still change under us, so check what came.
        bytes.resize(static_cast<size_t>(size));
        in.seekg(0);
        in.read(bytes.data(), size);
        bytes.resize(static_cast<size_t>(in.gcount()));
        if (in.bad())
            return false;
        in.clear();
    } else {
        in.seekg(0);
    }
    // Whatever follows (a growing file, or a stream that reports no size).
    bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int64_t fileSize(const std::string& path)
{
    if (notAnInputFile(path))
        cannotOpen(path);
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in.is_open())
        cannotOpen(path);
    std::streamoff size = in.tellg();
    if (size < 0)
        cannotOpen(path);
    return static_cast<int64_t>(size);
}

filePtr openFileOrDie(const std::string& path, const char* mode)
{
    if (path.empty() || isDirectory(path) || (mode[0] == 'r' && notAnInputFile(path)))
        cannotOpen(path);
    filePtr fp(std::fopen(path.c_str(), mode));
    if (!fp)
        cannotOpen(path);
    return fp;
}

outputFile::outputFile(const std::string& path, bool binary) : m_path(path), m_tmp(path + ".tmp")
{
    if (path.empty() || isDirectory(path) || isDirectory(m_tmp))
        cannotOpen(path);
    m_fp.reset(std::fopen(m_tmp.c_str(), binary ? "wb" : "w"));
    if (!m_fp)
        cannotOpen(path);
}

outputFile::~outputFile()
{
    if (m_fp) {
        m_fp.reset();
        std::remove(m_tmp.c_str());
    }
}

void outputFile::commit()
{
    if (!m_fp)
        return;
    bool ok = std::fflush(m_fp.get()) == 0 && !std::ferror(m_fp.get());
    ok = std::fclose(m_fp.release()) == 0 && ok;
    if (!ok) {
        std::remove(m_tmp.c_str());
        fatalError("Cannot write file %s: the disk may be full", m_path.c_str());
    }
    std::error_code ec;
    std::filesystem::rename(m_tmp, m_path, ec);
    if (ec) {
        std::remove(m_tmp.c_str());
        fatalError("Cannot write file %s: %s", m_path.c_str(), ec.message().c_str());
    }
}

void writeFileWhole(const std::string& path, const std::string& bytes)
{
    outputFile out(path, true);
    std::fwrite(bytes.data(), 1, bytes.size(), out.get());
    out.commit();
}

void readTextLines(const std::string& path, std::vector<std::string>& lines, char skip,
                   std::vector<int>* lineNumbers)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        cannotOpen(path);
    lines.clear();
    if (lineNumbers)
        lineNumbers->clear();
    int lineNo = 0;
    bool continuing = false;
    forEachLinePiece(bytes, [&](std::string piece, bool full, bool continues) {
        // Pieces of one over-long line count as one line for the numbering.
        if (!continuing)
            ++lineNo;
        continuing = continues;
        if (full)
            conPrintf("Warning: Array is likely too small for reading string from %s!!! (line %d of file %s)\n",
                      path.c_str(), 715, "lib\\utility");
        if (!piece.empty() && (skip == 0 || piece[0] != skip)) {
            lines.push_back(std::move(piece));
            if (lineNumbers)
                lineNumbers->push_back(lineNo);
        }
    });
}

void writeTextLines(const std::string& path, const std::vector<std::string>& lines)
{
    outputFile out(path);
    for (const std::string& line : lines) {
        std::fwrite(line.data(), 1, line.size(), out.get());
        std::fputc('\n', out.get());
    }
    out.commit();
}

void readKeyValueFile(const std::string& path, std::vector<std::string>& keys, std::vector<std::string>& values,
                      std::vector<int>* lineNumbers)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        cannotOpen(path);
    keys.clear();
    values.clear();
    if (lineNumbers)
        lineNumbers->clear();
    int lineNo = 0;
    bool continuing = false;
    forEachLinePiece(bytes, [&](std::string line, bool full, bool continues) {
        // Pieces of one over-long line count as one line for the numbering.
        if (!continuing)
            ++lineNo;
        continuing = continues;
        if (full)
            conPrintf("Warning: Array is likely too small for reading string from %s!!! (line %d of file %s)\n",
                      path.c_str(), 715, "lib\\utility");
        if (line.empty())
            return;
        size_t pct = line.find('%');
        if (pct != std::string::npos)
            line.resize(pct);
        strTrim(line);
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            return;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        strTrim(key);
        strTrim(value);
        keys.push_back(std::move(key));
        values.push_back(std::move(value));
        if (lineNumbers)
            lineNumbers->push_back(lineNo);
    });
}

std::vector<std::vector<std::string>> readTabTable(const std::string& path)
{
    std::vector<std::string> lines;
    readTextLines(path, lines, 0);
    std::vector<std::vector<std::string>> rows(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        strSplit(lines[i], '\t', rows[i]);
    return rows;
}

void readFloatList(const std::string& path, std::vector<float>& values)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        cannotOpen(path);
    values.clear();
    const char* p = bytes.c_str();
    const char* end = p + bytes.size();
    while (p < end) {
        char* next = nullptr;
        float v = std::strtof(p, &next);
        if (next == p)
            break;
        values.push_back(v);
        p = next;
    }
}

void writeFloatValue(const std::string& path, float value)
{
    outputFile out(path);
    std::fprintf(out.get(), "%g\n", static_cast<double>(value));
    out.commit();
}

void printOrSaveStrVec(const std::vector<std::string>& vec, const std::string& name, const std::string& path)
{
    if (!path.empty()) {
        writeTextLines(path, vec);
        return;
    }
    if (vec.empty())
        conPrintf("%s has zero element!\n", name.c_str());
    for (size_t i = 0; i < vec.size(); ++i)
        conPrintf("%s[%zu] = %s\n", name.c_str(), i, vec[i].c_str());
}
