// FLV files with Nellymoser audio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Decoded 16-bit samples of the file's audio (256 per 64-byte block), with the sample rate, width
// and channel count of its first audio tag. A file without audio gives no samples and leaves the
// out-parameters as they were. A missing, unreadable, empty or non-FLV file is a fatal error;
// a corrupt file or audio in another codec ends the program with exit status -1.
std::vector<int16_t> flvFileRead(const std::string& path, int32_t& fs, int32_t& nbits, int32_t& channels);
std::vector<int16_t> flvFileRead(const std::string& path, int32_t& fs, int32_t& nbits);
