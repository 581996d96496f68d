// Speed of Nellymoser decoding: a long stream, made by ffmpeg from the demo recording when ffmpeg
// is there, otherwise pseudo-random blocks, decoded block by block to 16-bit samples.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "audio/flvFile.h"
#include "audio/nellymoser.h"

namespace {

// Payload blocks of an ffmpeg-made FLV file (its only audio at 22050 Hz), or nothing.
std::vector<unsigned char> ffmpegBlocks()
{
    const std::string path = "/tmp/recite-flv-bench-" + std::to_string(std::random_device{}()) + ".flv";
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y -i '" RECITE_SOURCE_DIR
                            "/data/demo/utt1.wav' -ar 22050 -c:a nellymoser '" + path + "' >/dev/null 2>&1";
    std::vector<unsigned char> blocks;
    if (std::system(cmd.c_str()) != 0)
        return blocks;
    std::FILE* fp = std::fopen(path.c_str(), "rb");
    if (fp) {
        std::vector<unsigned char> bytes;
        unsigned char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(fp);
        // Walk the tags and keep the audio payloads.
        size_t pos = 13;
        while (pos + 11 <= bytes.size()) {
            const size_t size = (size_t{bytes[pos + 1]} << 16) | (size_t{bytes[pos + 2]} << 8) | bytes[pos + 3];
            if (pos + 11 + size > bytes.size())
                break;
            if (bytes[pos] == 8 && size > 1)
                blocks.insert(blocks.end(), bytes.begin() + static_cast<long>(pos + 12),
                              bytes.begin() + static_cast<long>(pos + 12 + (size - 1) / NELLY_BLOCK_BYTES * NELLY_BLOCK_BYTES));
            pos += 11 + size + 4;
        }
    }
    std::remove(path.c_str());
    return blocks;
}

} // namespace

int main()
{
    std::vector<unsigned char> blocks = ffmpegBlocks();
    const char* source = "ffmpeg-coded speech";
    if (blocks.empty()) {
        source = "pseudo-random blocks";
        std::mt19937 rng(1);
        blocks.resize(400 * NELLY_BLOCK_BYTES);
        for (unsigned char& b : blocks)
            b = static_cast<unsigned char>(rng());
    }
    const size_t blockCount = blocks.size() / NELLY_BLOCK_BYTES;
    const int32_t rate = 22050;
    const size_t targetBlocks = 60 * 60 * rate / NELLY_BLOCK_SAMPLES; // an hour of audio

    NellyDecoder decoder = nellyDecoderCreate();
    float out[NELLY_BLOCK_SAMPLES];
    int16_t pcm[NELLY_BLOCK_SAMPLES];
    long checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t b = 0; b < targetBlocks; ++b) {
        nellyDecodeBlock(decoder, blocks.data() + (b % blockCount) * NELLY_BLOCK_BYTES, out);
        nellyToPcm16(out, pcm);
        checksum += pcm[b % NELLY_BLOCK_SAMPLES];
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double audioSeconds = static_cast<double>(targetBlocks) * NELLY_BLOCK_SAMPLES / rate;
    std::printf("flv: Nellymoser decoding at %.0f x real time (%s at %d Hz, %.0f s of audio in %.3f s; %ld)\n",
                audioSeconds / seconds, source, rate, audioSeconds, seconds, checksum);
    return 0;
}
