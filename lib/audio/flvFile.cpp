#include "audio/flvFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "audio/nellymoser.h"
#include "common/byteOrder.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"

namespace {

constexpr size_t kFileHeaderSize = 9;
constexpr size_t kTagHeaderSize = 11;
constexpr size_t kPrevTagSizeBytes = 4;
constexpr unsigned char kAudioTag = 8;

[[noreturn]] void corruptFile(const char* reason)
{
    std::fprintf(stderr, "Corrupt file (%s)\n", reason);
    fatalExit(-1, reason);
}

struct AudioFormat {
    int32_t fs = 0;
    int32_t nbits = 0;
    int32_t channels = 1;
};

AudioFormat decodeFormatByte(unsigned char format)
{
    const int codec = format >> 4;
    if (codec != 5 && codec != 6) {
        std::fprintf(stderr, "stream is not Nellymoser\n");
        fatalExit(-1, "stream is not Nellymoser");
    }
    AudioFormat f;
    f.nbits = (format & 0x02) ? 16 : 8;
    if (codec == 5) {
        f.fs = 8000;
        f.channels = 1;
    } else {
        static const int32_t rates[4] = {5500, 11025, 22050, 44100};
        f.fs = rates[(format >> 2) & 3];
        f.channels = (format & 0x01) + 1;
    }
    return f;
}

// Reads the whole file. Failures print their system error message ("flv_flvFile is NULL",
// "flv_fopen", "flv_malloc", as perror does) to standard error and end in a fatal error.
void readWholeFile(const std::string& path, std::string& bytes)
{
    if (path.empty()) {
        errno = EINVAL;
        std::perror("flv_flvFile is NULL");
        fatalError("Cannot read FLV file: no file name given");
    }
    errno = 0;
    std::FILE* file = nullptr;
    if (isSpecialFile(path))
        errno = EINVAL; // a FIFO or device would block or never end
    else
        file = std::fopen(path.c_str(), "rb");
    if (!file) {
        std::perror("flv_fopen");
        fatalError("Cannot open FLV file \"%s\"", path.c_str());
    }
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    // A directory may report any size; no FLV file of ours is near 2 GB (its samples would
    // overflow a sample count), so larger sizes count as a failed allocation.
    bool allocated = size >= 0 && size <= INT32_MAX;
    if (allocated) {
        try {
            bytes.resize(static_cast<size_t>(size));
        } catch (const std::exception&) {
            allocated = false;
        }
    }
    if (!allocated) {
        if (errno == 0)
            errno = ENOMEM;
        std::perror("flv_malloc");
        std::fclose(file);
        fatalError("Cannot read FLV file \"%s\": no memory for its %ld bytes", path.c_str(), size);
    }
    std::rewind(file);
    const size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file);
    const bool failed = got != bytes.size() || std::ferror(file);
    std::fclose(file);
    if (failed)
        fatalError("Cannot read FLV file \"%s\": %zu of its %zu bytes read", path.c_str(), got, bytes.size());
}

} // namespace

std::vector<int16_t> flvFileRead(const std::string& path, int32_t& fs, int32_t& nbits, int32_t& channels)
{
    std::string bytes;
    readWholeFile(path, bytes);
    if (bytes.empty()) {
        fs = 0;
        nbits = 0;
        channels = 1;
        conPrintf("Warning: flvFileSize=0! (line %d of %s)\n", 310, "lib\\flvimpl");
        fatalError("FLV file \"%s\" is empty", path.c_str());
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    if (size < 4 || std::memcmp(data, "FLV\x01", 4) != 0) {
        std::fprintf(stderr, "Unknown file format!\n");
        fatalError("\"%s\" is not an FLV file", path.c_str());
    }

    std::vector<int16_t> samples;
    NellyDecoder decoder = nellyDecoderCreate();
    float block[NELLY_BLOCK_SAMPLES];
    int16_t pcm[NELLY_BLOCK_SAMPLES];
    bool haveFormat = false;
    unsigned char firstFormat = 0;
    bool partialBlock = false;
    uint32_t expectedPrevSize = 0;
    size_t pos = kFileHeaderSize;
    while (pos < size) {
        if (size - pos < kPrevTagSizeBytes || readBe32(data + pos) != expectedPrevSize)
            corruptFile("tag size check failed");
        pos += kPrevTagSizeBytes;
        if (pos == size)
            break;
        if (size - pos < kTagHeaderSize)
            corruptFile("tag header runs past the end of the file");
        const unsigned char* tag = data + pos;
        const uint32_t dataSize = readBe24(tag + 1);
        if (tag[9] != 0 || tag[10] != 0)
            corruptFile("tag padding ignored");
        pos += kTagHeaderSize;
        if (dataSize > size - pos)
            corruptFile("tag data runs past the end of the file");
        const unsigned char* payload = data + pos;
        pos += dataSize;
        expectedPrevSize = static_cast<uint32_t>(kTagHeaderSize) + dataSize;
        if (tag[0] != kAudioTag || dataSize == 0)
            continue;

        if (!haveFormat) {
            const AudioFormat f = decodeFormatByte(payload[0]);
            fs = f.fs;
            nbits = f.nbits;
            channels = f.channels;
            firstFormat = payload[0];
            haveFormat = true;
        } else if (payload[0] != firstFormat) {
            corruptFile("changed audio format midstream");
        }
        const size_t codedBytes = dataSize - 1;
        const size_t blocks = codedBytes / NELLY_BLOCK_BYTES;
        if (codedBytes % NELLY_BLOCK_BYTES != 0)
            partialBlock = true;
        if (blocks > (static_cast<size_t>(INT32_MAX) - samples.size()) / NELLY_BLOCK_SAMPLES)
            fatalError("FLV file \"%s\" holds more than %d samples", path.c_str(), INT32_MAX);
        samples.reserve(samples.size() + blocks * NELLY_BLOCK_SAMPLES);
        for (size_t b = 0; b < blocks; ++b) {
            nellyDecodeBlock(decoder, payload + 1 + b * NELLY_BLOCK_BYTES, block);
            nellyToPcm16(block, pcm);
            samples.insert(samples.end(), pcm, pcm + NELLY_BLOCK_SAMPLES);
        }
    }
    if (partialBlock)
        conPrintf("Warning: audio of %s is not a whole number of 64-byte Nellymoser blocks; the rest of a "
                  "block is ignored\n",
                  path.c_str());
    return samples;
}

std::vector<int16_t> flvFileRead(const std::string& path, int32_t& fs, int32_t& nbits)
{
    int32_t channels = 1;
    return flvFileRead(path, fs, nbits, channels);
}
