// Tests of FLV reading and the Nellymoser decoder: the tag walk and its rejections, the format byte,
// the decoder's parts, and whole files made by ffmpeg against ffmpeg's own decode.
#include "audio/flvFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "audio/audioFile.h"
#include "audio/nellymoser.h"
#include "support/testSupport.h"

using namespace testsupport;

namespace {

std::string be24(uint32_t v)
{
    return {static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string be32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
    return s;
}

struct FlvTag {
    unsigned char type = 8;
    std::string data;
    std::string streamId = std::string(3, '\0');
};

// An FLV file of the tags, each preceded by the size of the one before, with the final size after.
std::string flvBytes(const std::vector<FlvTag>& tags)
{
    std::string out = std::string("FLV\x01\x04", 5) + be32(9);
    uint32_t prev = 0;
    for (const FlvTag& t : tags) {
        out += be32(prev);
        out += static_cast<char>(t.type);
        out += be24(static_cast<uint32_t>(t.data.size()));
        out += std::string(4, '\0'); // timestamp and its extension
        out += t.streamId;
        out += t.data;
        prev = 11 + static_cast<uint32_t>(t.data.size());
    }
    return out + be32(prev);
}

// Nellymoser blocks of pseudo-random bits; every bit pattern is a valid block.
std::string randomBlocks(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s;
    for (int i = 0; i < count * NELLY_BLOCK_BYTES; ++i)
        s += static_cast<char>(rng() & 0xFF);
    return s;
}

FlvTag audioTag(unsigned char format, const std::string& payload)
{
    FlvTag t;
    t.data = static_cast<char>(format) + payload;
    return t;
}

std::vector<int16_t> readFlv(const std::string& path, int32_t& fs, int32_t& nbits, int32_t& channels)
{
    fs = nbits = channels = -7;
    return flvFileRead(path, fs, nbits, channels);
}

bool haveFfmpeg()
{
    return runCommand("command -v ffmpeg").exitStatus == 0;
}

// Runs recite on an assess parameter file of the demo data whose wavFile is `audio`.
CommandResult reciteOn(const ScratchDir& dir, const std::string& audio)
{
    const std::string demo = std::string(RECITE_SOURCE_DIR) + "/data/demo/";
    std::filesystem::create_directories(dir.path() / "out");
    const std::string prm = "function = assess\nlanguage = english\nmacFile = " + demo +
                            "models.mac\nwpaFile = " + demo + "words.wpa\ntnmFile = " + demo +
                            "english.tnm\nfeatureConfigFile = " + demo + "mfcc.cfg\nqiYinFile = " + demo +
                            "qiyin.txt\ntxtFile = " + demo + "utt1.txt\nwavFile = " + audio +
                            "\noutputDir = " + dir.file("out") +
                            "\nuseEpd = 0\nmaxCandidateNum = 1000\nprobTh = 400\ncomparisonMode = 1\n";
    writeFile(dir.file("run.prm"), prm);
    return runCommand(shellQuote(RECITE_BINARY) + " " + shellQuote(dir.file("run.prm")));
}

// The line of a run's output that names the recognized text.
std::string recognizedText(const std::string& output)
{
    const size_t at = output.find("===> ", output.find("textIndex="));
    return at == std::string::npos ? std::string() : output.substr(at, output.find('\n', at) - at);
}

// Energy in dB of eight equal frequency bands of a Hann-windowed 256-sample block.
std::vector<double> bandEnergies(const int16_t* x)
{
    const int n = NELLY_BLOCK_SAMPLES;
    std::vector<double> bands(8, 0.0);
    for (int k = 0; k < n / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (int t = 0; t < n; ++t) {
            const double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * t / n);
            re += w * x[t] * std::cos(2.0 * M_PI * k * t / n);
            im -= w * x[t] * std::sin(2.0 * M_PI * k * t / n);
        }
        bands[static_cast<size_t>(k / 16)] += re * re + im * im;
    }
    for (double& b : bands)
        b = 10.0 * std::log10(b + 1.0);
    return bands;
}

} // namespace

TEST(nellyDecoder, fastInverseTransformMatchesTheDirectSum)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(-30000.0f, 30000.0f);
    float x[NELLY_HALF];
    float direct[2 * NELLY_HALF];
    float fast[2 * NELLY_HALF];
    // Every single coefficient, then random spectra.
    for (int trial = 0; trial < NELLY_HALF + 20; ++trial) {
        for (int k = 0; k < NELLY_HALF; ++k)
            x[k] = trial < NELLY_HALF ? (k == trial ? 10000.0f : 0.0f) : value(rng);
        nellyInverseTransformDirect(x, direct);
        nellyInverseTransform(x, fast);
        float peak = 1.0f;
        for (float v : direct)
            peak = std::max(peak, std::fabs(v));
        for (int n = 0; n < 2 * NELLY_HALF; ++n)
            ASSERT_NEAR(fast[n], direct[n], peak * 2e-5f) << "trial " << trial << " n " << n;
    }
}

TEST(nellyDecoder, bitAllocationSpendsTheBudgetByLevel)
{
    int bits[NELLY_FILLED];
    // Equal levels give every coefficient the same share: 2 bits (248) is closer to 198 than
    // 1 bit (124), so the first 99 coefficients get 2 bits and the rest are cut to 0.
    for (float level : {3134.0f, 20000.0f, 31355.0f}) {
        std::vector<float> flat(NELLY_FILLED, level);
        nellyBitAlloc(flat.data(), bits);
        for (int i = 0; i < NELLY_FILLED; ++i)
            ASSERT_EQ(bits[i], i < 99 ? 2 : 0) << "level " << level << " i " << i;
    }
    // Levels of real blocks: within 0..6 bits, at most 198 in all, more bits for higher levels.
    std::mt19937 rng(11);
    int exact = 0;
    for (int trial = 0; trial < 500; ++trial) {
        std::vector<float> levels(NELLY_FILLED);
        float level = 3134.0f + static_cast<float>(rng() % 28000);
        for (int i = 0; i < NELLY_FILLED; ++i) {
            if (i % 5 == 0)
                level = std::clamp(level + static_cast<float>(static_cast<int>(rng() % 6001) - 3000), 0.0f, 40000.0f);
            levels[static_cast<size_t>(i)] = level;
        }
        nellyBitAlloc(levels.data(), bits);
        int total = 0;
        for (int i = 0; i < NELLY_FILLED; ++i) {
            ASSERT_GE(bits[i], 0);
            ASSERT_LE(bits[i], 6);
            total += bits[i];
        }
        ASSERT_LE(total, NELLY_HALF_BITS);
        exact += total == NELLY_HALF_BITS;
        // Coefficients up to the last one given bits are not cut by the budget.
        int last = NELLY_FILLED - 1;
        while (last > 0 && bits[last] == 0)
            --last;
        for (int i = 0; i < last; ++i)
            for (int j = 0; j < last; ++j)
                if (levels[static_cast<size_t>(i)] > levels[static_cast<size_t>(j)]) {
                    ASSERT_GE(bits[i], bits[j]) << "trial " << trial;
                }
    }
    EXPECT_GT(exact, 300); // 352 of these 500 spend exactly the budget
}

TEST(nellyDecoder, blocksAndConversionToSixteenBits)
{
    // The first 6-bit field (low bits of byte 0) selects the starting level: louder blocks follow.
    double previous = 0.0;
    for (int field : {0, 20, 40, 63}) {
        std::string block(NELLY_BLOCK_BYTES, '\0');
        block[0] = static_cast<char>(field | 0xC0); // the top two bits belong to the next field
        NellyDecoder d = nellyDecoderCreate();
        float out[NELLY_BLOCK_SAMPLES];
        double energy = 0.0;
        for (int repeat = 0; repeat < 2; ++repeat) {
            nellyDecodeBlock(d, reinterpret_cast<const unsigned char*>(block.data()), out);
            for (float v : out)
                energy += static_cast<double>(v) * v;
        }
        EXPECT_GT(energy, previous * 4.0) << "field " << field;
        previous = energy;
    }
    // The decoder carries the overlap from block to block; a fresh one starts from silence.
    const std::string two = randomBlocks(2, 3);
    const auto* bytes = reinterpret_cast<const unsigned char*>(two.data());
    NellyDecoder carried = nellyDecoderCreate();
    NellyDecoder fresh = nellyDecoderCreate();
    float a[NELLY_BLOCK_SAMPLES];
    float b[NELLY_BLOCK_SAMPLES];
    nellyDecodeBlock(carried, bytes, a);
    nellyDecodeBlock(carried, bytes + NELLY_BLOCK_BYTES, a);
    nellyDecodeBlock(fresh, bytes + NELLY_BLOCK_BYTES, b);
    EXPECT_NE(a[0], b[0]);
    EXPECT_EQ(a[NELLY_HALF], b[NELLY_HALF]); // the second half depends on this block alone
    EXPECT_NE(a[NELLY_HALF - 1], b[NELLY_HALF - 1]);

    float in[NELLY_BLOCK_SAMPLES] = {32767.0f, 40000.5f, -32768.0f, -1e9f, 1.9f, -1.9f, 0.5f, -32767.9f, 32766.99f};
    int16_t pcm[NELLY_BLOCK_SAMPLES];
    nellyToPcm16(in, pcm);
    const int16_t expected[] = {32767, 32767, -32768, -32768, 1, -1, 0, -32767, 32766};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(pcm[i], expected[i]) << i;
}

TEST(flvFileRead, formatByteGivesRateWidthAndChannels)
{
    ScratchDir dir;
    struct Case {
        unsigned char format;
        int32_t fs, nbits, channels;
    };
    for (const Case& c : {Case{0x52, 8000, 16, 1}, Case{0x53, 8000, 16, 1}, Case{0x6E, 44100, 16, 1},
                          Case{0x63, 5500, 16, 2}, Case{0x66, 11025, 16, 1}, Case{0x69, 22050, 8, 2}}) {
        const std::string path = dir.file("f.flv");
        writeFile(path, flvBytes({audioTag(c.format, randomBlocks(2, c.format))}));
        int32_t fs, nbits, channels;
        const std::vector<int16_t> s = readFlv(path, fs, nbits, channels);
        EXPECT_EQ(s.size(), 512u);
        EXPECT_EQ(fs, c.fs) << int{c.format};
        EXPECT_EQ(nbits, c.nbits) << int{c.format};
        EXPECT_EQ(channels, c.channels) << int{c.format};
    }
}

TEST(flvFileRead, tagWalkDecodesEveryAudioTagAsOneStream)
{
    ScratchDir dir;
    const std::string path = dir.file("a.FLV");
    int32_t fs, nbits, channels;
    // Format byte only: the format is known but there are no samples.
    writeFile(path, flvBytes({audioTag(0x52, "")}));
    EXPECT_TRUE(readFlv(path, fs, nbits, channels).empty());
    EXPECT_EQ(fs, 8000);
    EXPECT_NE(fatalMessage([&] { audioFileRead(path); }).find(path), std::string::npos);

    // 129 bytes are two blocks; split over tags among video and script tags, the stream decodes
    // exactly as in one tag, the overlap carried across.
    const std::string blocks = randomBlocks(4, 9);
    writeFile(path, flvBytes({audioTag(0x52, blocks.substr(0, 128))}));
    const std::vector<int16_t> two = readFlv(path, fs, nbits, channels);
    EXPECT_EQ(two.size(), 512u);
    writeFile(path, flvBytes({audioTag(0x52, blocks)}));
    const std::vector<int16_t> whole = readFlv(path, fs, nbits, channels);
    ASSERT_EQ(whole.size(), 1024u);
    EXPECT_TRUE(std::equal(two.begin(), two.end(), whole.begin()));
    FlvTag video{9, "\x17\x01 video", std::string(3, '\0')};
    FlvTag script{18, "\x02\x00\x0aonMetaData", std::string(3, '\0')};
    writeFile(path, flvBytes({script, audioTag(0x52, blocks.substr(0, 64)), video, audioTag(0x52, ""),
                              audioTag(0x52, blocks.substr(64, 192)), FlvTag{8, "", std::string(3, '\0')}}));
    EXPECT_EQ(readFlv(path, fs, nbits, channels), whole);

    const WaveSignal sig = audioFileRead(path);
    EXPECT_EQ(sig.sampleNum, 1024);
    EXPECT_EQ(sig.fs, 8000);
    EXPECT_EQ(sig.nbits, 16);
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), sig.samples.begin()));

    // A stream id whose first byte is set is allowed; only its last two bytes must be 0.
    video.streamId = std::string("\x05\x00\x00", 3);
    writeFile(path, flvBytes({video, audioTag(0x52, blocks)}));
    EXPECT_EQ(readFlv(path, fs, nbits, channels), whole);
}

TEST(flvFileRead, filesWithoutAudioOrPartialBlocks)
{
    ScratchDir dir;
    const std::string path = dir.file("v.flv");
    // Video and script tags only: no samples, out-parameters untouched, and no audio for a run.
    writeFile(path, flvBytes({FlvTag{18, "meta", std::string(3, '\0')}, FlvTag{9, "frame", std::string(3, '\0')}}));
    int32_t fs = 123, nbits = 456, channels = 789;
    EXPECT_TRUE(flvFileRead(path, fs, nbits, channels).empty());
    EXPECT_EQ(fs, 123);
    EXPECT_EQ(nbits, 456);
    EXPECT_EQ(channels, 789);
    EXPECT_EQ(fatalMessage([&] { audioFileRead(path); }), "FLV file \"" + path + "\" holds no audio");
    // A header alone is an FLV file without tags.
    writeFile(path, std::string("FLV\x01\x05", 5) + be32(9));
    EXPECT_TRUE(flvFileRead(path, fs, nbits, channels).empty());

    // The whole blocks of a payload are decoded; the rest of a block is ignored with a warning.
    const std::string blocks = randomBlocks(3, 4);
    writeFile(path, flvBytes({audioTag(0x52, blocks.substr(0, 128))}));
    const std::vector<int16_t> full = readFlv(path, fs, nbits, channels);
    writeFile(path, flvBytes({audioTag(0x52, blocks.substr(0, 64 + 10)), audioTag(0x52, blocks.substr(64, 64))}));
    std::vector<int16_t> partial;
    const std::string out = captureStdout([&] { partial = readFlv(path, fs, nbits, channels); });
    EXPECT_EQ(partial, full);
    EXPECT_EQ(out.rfind("Warning", 0), 0u) << out;
    EXPECT_NE(out.find(path), std::string::npos) << out;

    // Missing, empty and foreign files are fatal errors naming the file.
    const std::string missing = dir.file("missing.flv");
    EXPECT_NE(fatalMessage([&] { readFlv(missing, fs, nbits, channels); }).find(missing), std::string::npos);
    writeFile(path, "");
    std::string message;
    const std::string warning = captureStdout([&] { message = fatalMessage([&] { readFlv(path, fs, nbits, channels); }); });
    EXPECT_EQ(warning, "Warning: flvFileSize=0! (line 310 of lib\\flvimpl)\n");
    EXPECT_NE(message.find(path), std::string::npos);
    EXPECT_EQ(fs, 0);
    EXPECT_EQ(nbits, 0);
    EXPECT_EQ(channels, 1);
    for (const std::string& bytes : {std::string("FLV\x02\x05", 5) + be32(9) + be32(0), std::string("FL"),
                                     std::string("RIFF....WAVE")}) {
        writeFile(path, bytes);
        EXPECT_NE(fatalMessage([&] { readFlv(path, fs, nbits, channels); }).find(path), std::string::npos);
    }
}

TEST(flvFileRead, corruptFilesAndForeignCodecsEndTheRun)
{
    ScratchDir dir;
    const std::string blocks = randomBlocks(2, 1);
    const std::string good = flvBytes({audioTag(0x52, blocks), audioTag(0x52, blocks)});
    const size_t secondTag = 13 + 11 + 129; // the second tag's previous-tag size
    FlvTag padded = audioTag(0x52, blocks);
    padded.streamId = std::string("\x00\x00\x01", 3);
    struct Case {
        const char* name;
        std::string bytes;
        const char* message;
    };
    std::string badPrev = good;
    badPrev[secondTag + 3] = static_cast<char>(badPrev[secondTag + 3] + 1);
    std::string badFirstPrev = good;
    badFirstPrev[12] = 1;
    const std::vector<Case> cases = {
        {"badPrevious", badPrev, "Corrupt file (tag size check failed)\n"},
        {"badFirstPrevious", badFirstPrev, "Corrupt file (tag size check failed)\n"},
        {"noFinalSize", good.substr(0, good.size() - 2), "Corrupt file (tag size check failed)\n"},
        {"streamId", flvBytes({audioTag(0x52, blocks), padded}), "Corrupt file (tag padding ignored)\n"},
        {"formatChange", flvBytes({audioTag(0x52, blocks), audioTag(0x5E, blocks)}),
         "Corrupt file (changed audio format midstream)\n"},
        {"pastTheEnd", good.substr(0, good.size() - 4 - 20), "Corrupt file (tag data runs past the end of the file)\n"},
        {"hugeTag", good.substr(0, secondTag + 4) + "\x08\xFF\xFF\xFF" + std::string(7, '\0') + "\x52",
         "Corrupt file (tag data runs past the end of the file)\n"},
        {"headerCut", good.substr(0, secondTag + 4 + 6), "Corrupt file (tag header runs past the end of the file)\n"},
        {"mp3", flvBytes({audioTag(0x2E, blocks)}), "stream is not Nellymoser\n"},
        {"pcm", flvBytes({audioTag(0x3E, blocks)}), "stream is not Nellymoser\n"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(std::string(c.name) + ".flv");
        writeFile(path, c.bytes);
        const CommandResult r = reciteOn(dir, path);
        EXPECT_EQ(r.exitStatus, 255) << c.name << "\n" << r.output;
        EXPECT_TRUE(r.output.ends_with(c.message)) << c.name << "\n" << r.output;
        EXPECT_EQ(r.output.find("Done!"), std::string::npos) << c.name;
    }
}

TEST(flvFileReadFfmpeg, decodesLikeFfmpegAtEveryRate)
{
    ASSERT_TRUE(haveFfmpeg()) << "ffmpeg is installed by scripts/setup.sh";
    ScratchDir dir;
    const std::string wav = std::string(RECITE_SOURCE_DIR) + "/data/demo/utt1.wav";
    for (int rate : {8000, 11025, 22050, 44100}) {
        const std::string flv = dir.file(std::to_string(rate) + "Hz.flv");
        const std::string raw = dir.file(std::to_string(rate) + "Hz.raw");
        CommandResult r = runCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " + shellQuote(wav) +
                                     " -ar " + std::to_string(rate) + " -c:a nellymoser " + shellQuote(flv));
        ASSERT_EQ(r.exitStatus, 0) << r.output;
        r = runCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " + shellQuote(flv) +
                       " -f s16le -acodec pcm_s16le " + shellQuote(raw));
        ASSERT_EQ(r.exitStatus, 0) << r.output;
        const std::string refBytes = readFile(raw);
        std::vector<int16_t> ref(refBytes.size() / 2);
        std::memcpy(ref.data(), refBytes.data(), ref.size() * 2);

        int32_t fs, nbits, channels;
        const std::vector<int16_t> ours = readFlv(flv, fs, nbits, channels);
        EXPECT_EQ(fs, rate);
        EXPECT_EQ(nbits, 16);
        EXPECT_EQ(channels, 1);
        ASSERT_EQ(ours.size(), ref.size()) << rate;
        ASSERT_EQ(ours.size() % NELLY_BLOCK_SAMPLES, 0u);

        double signal = 0.0, noise = 0.0, ourEnergy = 0.0, maxDiff = 0.0;
        for (size_t i = 0; i < ref.size(); ++i) {
            const double d = static_cast<double>(ours[i]) - ref[i];
            signal += static_cast<double>(ref[i]) * ref[i];
            ourEnergy += static_cast<double>(ours[i]) * ours[i];
            noise += d * d;
            maxDiff = std::max(maxDiff, std::fabs(d));
        }
        const double snr = 10.0 * std::log10(signal / noise);
        std::cout << "  " << rate << " Hz: SNR " << snr << " dB, max difference " << maxDiff << "\n";
        EXPECT_GT(snr, 25.0) << rate;
        EXPECT_NEAR(std::sqrt(ourEnergy / signal), 1.0, 0.01) << rate;

        // Per block, the bands within 30 dB of the block's strongest agree: ffmpeg's random signs
        // where no bits are given move single bands by a few dB, nothing more.
        double worst = 0.0;
        double sumDiff = 0.0;
        int compared = 0;
        for (size_t b = 0; b < ref.size() / NELLY_BLOCK_SAMPLES; ++b) {
            const std::vector<double> e = bandEnergies(ref.data() + b * NELLY_BLOCK_SAMPLES);
            const std::vector<double> o = bandEnergies(ours.data() + b * NELLY_BLOCK_SAMPLES);
            const double top = *std::max_element(e.begin(), e.end());
            for (size_t k = 0; k < e.size(); ++k)
                if (e[k] > top - 30.0 && e[k] > 40.0) {
                    sumDiff += std::fabs(e[k] - o[k]);
                    ++compared;
                    worst = std::max(worst, std::fabs(e[k] - o[k]));
                }
        }
        std::cout << "  " << rate << " Hz: band energy difference " << sumDiff / compared << " dB on average, "
                  << worst << " dB at most\n";
        EXPECT_LT(sumDiff / compared, 0.6) << rate;
        EXPECT_LT(worst, 6.0) << rate;
    }
}

TEST(flvFileReadFfmpeg, reciteRunsOnFlvAsOnTheWaveFile)
{
    ASSERT_TRUE(haveFfmpeg()) << "ffmpeg is installed by scripts/setup.sh";
    ScratchDir dir;
    const std::string wav = std::string(RECITE_SOURCE_DIR) + "/data/demo/utt1.wav";
    const std::string flv = dir.file("utt1.flv");
    CommandResult r = runCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " + shellQuote(wav) +
                                 " -ar 22050 -c:a nellymoser " + shellQuote(flv));
    ASSERT_EQ(r.exitStatus, 0) << r.output;
    const CommandResult onFlv = reciteOn(dir, flv);
    EXPECT_EQ(onFlv.exitStatus, 0) << onFlv.output;
    EXPECT_TRUE(onFlv.output.ends_with("Done!\n")) << onFlv.output;
    const CommandResult onWav = reciteOn(dir, wav);
    EXPECT_TRUE(onWav.output.ends_with("Done!\n")) << onWav.output;
    EXPECT_FALSE(recognizedText(onWav.output).empty());
    EXPECT_EQ(recognizedText(onFlv.output), recognizedText(onWav.output));

    // ffmpeg writes 16000 Hz Nellymoser as codec 4, which is not ours.
    const std::string flv16 = dir.file("utt1_16k.flv");
    r = runCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " + shellQuote(wav) +
                   " -ar 16000 -c:a nellymoser " + shellQuote(flv16));
    ASSERT_EQ(r.exitStatus, 0) << r.output;
    const CommandResult on16 = reciteOn(dir, flv16);
    EXPECT_EQ(on16.exitStatus, 255) << on16.output;
    EXPECT_TRUE(on16.output.ends_with("stream is not Nellymoser\n")) << on16.output;
}
