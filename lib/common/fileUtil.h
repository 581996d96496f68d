// Small file readers and writers. A file that must exist and can't be opened ends the run
// with "Cannot open file ..." through fatalError.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct fileCloser {
    void operator()(std::FILE* fp) const
    {
        if (fp)
            std::fclose(fp);
    }
};
using filePtr = std::unique_ptr<std::FILE, fileCloser>;

// True when the path names something that exists but is not a regular file: a directory, FIFO,
// device or socket.
bool isSpecialFile(const std::string& path);
// True when the path names a regular file that can be opened for reading.
bool fileExists(const std::string& path);
// Size in bytes; fatal when the file can't be opened.
int64_t fileSize(const std::string& path);
// An open file; fatal when it can't be opened (directories can't be opened).
filePtr openFileOrDie(const std::string& path, const char* mode);
// The whole file as bytes; false when it can't be opened or read.
bool readFileBytes(const std::string& path, std::string& bytes);

// A file written through a temporary file in the same directory ("<path>.tmp"): commit() renames
// it into place. An object destroyed without commit() (a fatal error while writing) removes the
// temporary file, so a reader finds either the complete new file or none. A file that can't be
// created or written is fatal, named by its final path.
class outputFile {
public:
    explicit outputFile(const std::string& path, bool binary = false);
    ~outputFile();
    outputFile(const outputFile&) = delete;
    outputFile& operator=(const outputFile&) = delete;

    std::FILE* get() const { return m_fp.get(); }
    void commit();

private:
    std::string m_path;
    std::string m_tmp;
    filePtr m_fp;
};

// Writes the bytes to path through a temporary file renamed into place, so that a failure leaves
// no partial file; failures are fatal.
void writeFileWhole(const std::string& path, const std::string& bytes);

// Non-empty lines of a text file, without line ends, skipping lines that begin with `skip`
// (0 keeps every non-empty line). Lines are read in pieces of at most 99999 characters.
// `lineNumbers`, when given, receives each kept line's 1-based line number in the file.
void readTextLines(const std::string& path, std::vector<std::string>& lines, char skip,
                   std::vector<int>* lineNumbers = nullptr);
void writeTextLines(const std::string& path, const std::vector<std::string>& lines);
// key = value lines: "%" starts a comment, blanks around key and value are trimmed, lines
// without "=" are dropped. `lineNumbers`, when given, receives each pair's 1-based line number.
void readKeyValueFile(const std::string& path, std::vector<std::string>& keys, std::vector<std::string>& values,
                      std::vector<int>* lineNumbers = nullptr);
// Tab-separated fields of every non-empty line.
std::vector<std::vector<std::string>> readTabTable(const std::string& path);
// Every number of the file up to the first text that isn't one.
void readFloatList(const std::string& path, std::vector<float>& values);
void writeFloatValue(const std::string& path, float value);
// Writes vec to path, or prints it as name[i] = ... when path is empty.
void printOrSaveStrVec(const std::vector<std::string>& vec, const std::string& name, const std::string& path);
