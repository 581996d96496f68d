// FLV files with Nellymoser audio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Decoded 16-bit samples of the file's audio, with its sample rate and width.
std::vector<int16_t> flvFileRead(const std::string& path, int32_t& fs, int32_t& nbits);
