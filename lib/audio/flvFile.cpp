#include "audio/flvFile.h"

#include "common/fatalError.h"

std::vector<int16_t> flvFileRead(const std::string& path, int32_t& fs, int32_t& nbits)
{
    fs = 0;
    nbits = 0;
    fatalError("Cannot read FLV file \"%s\": FLV audio is not supported by this build", path.c_str());
}
