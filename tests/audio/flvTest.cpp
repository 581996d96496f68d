// Tests of FLV reading and the Nellymoser decoder: the tag walk and its rejections, the format byte,
// the decoder's parts, and whole files made by ffmpeg against ffmpeg's own decode.
#include "audio/flvFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "audio/audioFile.h"
#include "audio/nellymoser.h"
#include "support/testSupport.h"

using namespace testsupport;

namespace {

// The low `bytes` bytes of v, most significant first.
std::string be(uint32_t v, int bytes = 4)
{
    std::string s;
    for (int i = bytes - 1; i >= 0; --i)
        s += static_cast<char>(v >> (8 * i));
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
    std::string out = std::string("FLV\x01\x04", 5) + be(9);
    uint32_t prev = 0;
    for (const FlvTag& t : tags) {
        out += be(prev) + static_cast<char>(t.type) + be(static_cast<uint32_t>(t.data.size()), 3) +
               std::string(4, '\0') + t.streamId + t.data; // zero timestamp and extension
        prev = 11 + static_cast<uint32_t>(t.data.size());
    }
    return out + be(prev);
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

const std::string ZERO_ID(3, '\0');

FlvTag audioTag(unsigned char format, const std::string& payload, const std::string& streamId = ZERO_ID)
{
    return {8, static_cast<char>(format) + payload, streamId};
}

std::vector<int16_t> readFlv(const std::string& path, int32_t& fs, int32_t& nbits, int32_t& channels)
{
    fs = nbits = channels = -7;
    return flvFileRead(path, fs, nbits, channels);
}

const std::string DEMO_WAV = std::string(RECITE_SOURCE_DIR) + "/data/demo/utt1.wav";

// Converts `in` to `out` with ffmpeg and the output options `options`.
void ffmpeg(const std::string& in, const std::string& options, const std::string& out)
{
    const CommandResult r = runCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " + shellQuote(in) + " " +
                                       options + " " + shellQuote(out));
    ASSERT_EQ(r.exitStatus, 0) << r.output;
}

// Runs recite on an assess parameter file of the demo data whose wavFile is `audio`.
CommandResult reciteOn(const ScratchDir& dir, const std::string& audio)
{
    const std::string demo = std::string(RECITE_SOURCE_DIR) + "/data/demo/";
    std::filesystem::create_directories(dir.path() / "out");
    std::string prm = "function = assess\nlanguage = english\nuseEpd = 0\nmaxCandidateNum = 1000\nprobTh = 400\n"
                      "comparisonMode = 1\nwavFile = " + audio + "\noutputDir = " + dir.file("out") + "\n";
    for (const char* f : {"macFile = models.mac", "wpaFile = words.wpa", "tnmFile = english.tnm",
                          "featureConfigFile = mfcc.cfg", "qiYinFile = qiyin.txt", "txtFile = utt1.txt",
                          "phoneRank2scoreParamFile = rank2score.txt", "scoreDiscountParamFile = discount.txt"})
        prm += std::string(f).insert(std::string(f).find('=') + 2, demo) + "\n";
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
    float x[NELLY_HALF], direct[2 * NELLY_HALF], fast[2 * NELLY_HALF];
    // Every single coefficient, then random spectra.
    for (int trial = 0; trial < NELLY_HALF + 20; ++trial) {
        for (int k = 0; k < NELLY_HALF; ++k)
            x[k] = trial < NELLY_HALF ? (k == trial ? 10000.0f : 0.0f) : value(rng);
        nellyInverseTransformDirect(x, direct);
        nellyInverseTransform(x, fast);
        const float peak = std::max(1.0f, std::fabs(*std::max_element(direct, std::end(direct), [](float a, float b) {
                                              return std::fabs(a) < std::fabs(b);
                                          })));
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
            ASSERT_TRUE(bits[i] >= 0 && bits[i] <= 6) << bits[i];
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
                ASSERT_TRUE(levels[static_cast<size_t>(i)] <= levels[static_cast<size_t>(j)] || bits[i] >= bits[j])
                    << "trial " << trial;
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
    NellyDecoder carried = nellyDecoderCreate(), fresh = nellyDecoderCreate();
    float a[NELLY_BLOCK_SAMPLES], b[NELLY_BLOCK_SAMPLES];
    nellyDecodeBlock(carried, bytes, a);
    nellyDecodeBlock(carried, bytes + NELLY_BLOCK_BYTES, a);
    nellyDecodeBlock(fresh, bytes + NELLY_BLOCK_BYTES, b);
    // The second half depends on this block alone.
    EXPECT_TRUE(a[0] != b[0] && a[NELLY_HALF - 1] != b[NELLY_HALF - 1] && a[NELLY_HALF] == b[NELLY_HALF]);

    // Band levels stepping up in every band overflow the gains to infinity, and the transform then
    // makes NaN: such a sample becomes 0.
    float in[NELLY_BLOCK_SAMPLES] = {32767.0f, 40000.5f, -32768.0f, -1e9f, 1.9f, -1.9f, 0.5f, -32767.9f, 32766.99f,
                                     std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()};
    int16_t pcm[NELLY_BLOCK_SAMPLES];
    nellyToPcm16(in, pcm);
    EXPECT_EQ(std::vector<int16_t>(pcm, pcm + 11),
              std::vector<int16_t>({32767, 32767, -32768, -32768, 1, -1, 0, -32767, 32766, 0, 32767}));
}

TEST(flvFileRead, formatByteGivesRateWidthAndChannels)
{
    ScratchDir dir;
    const std::string path = dir.file("f.flv");
    struct Case {
        unsigned char format;
        int32_t fs, nbits, channels;
    };
    for (const Case& c : {Case{0x52, 8000, 16, 1}, Case{0x53, 8000, 16, 1}, Case{0x6E, 44100, 16, 1},
                          Case{0x63, 5500, 16, 2}, Case{0x66, 11025, 16, 1}, Case{0x69, 22050, 8, 2}}) {
        writeFile(path, flvBytes({audioTag(c.format, randomBlocks(2, c.format))}));
        int32_t fs, nbits, channels;
        EXPECT_EQ(readFlv(path, fs, nbits, channels).size(), 512u);
        EXPECT_EQ(std::vector<int32_t>({fs, nbits, channels}), std::vector<int32_t>({c.fs, c.nbits, c.channels}))
            << int{c.format};
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
    FlvTag video{9, "\x17\x01 video", ZERO_ID};
    writeFile(path, flvBytes({FlvTag{18, "\x02\x00\x0aonMetaData", ZERO_ID}, audioTag(0x52, blocks.substr(0, 64)),
                              video, audioTag(0x52, ""), audioTag(0x52, blocks.substr(64, 192)), FlvTag{8, "", ZERO_ID}}));
    EXPECT_EQ(readFlv(path, fs, nbits, channels), whole);
    const WaveSignal sig = audioFileRead(path);
    EXPECT_TRUE(sig.sampleNum == 1024 && sig.fs == 8000 && sig.nbits == 16);
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
    writeFile(path, flvBytes({FlvTag{18, "meta", ZERO_ID}, FlvTag{9, "frame", ZERO_ID}}));
    int32_t fs = 123, nbits = 456, channels = 789;
    EXPECT_TRUE(flvFileRead(path, fs, nbits, channels).empty());
    EXPECT_TRUE(fs == 123 && nbits == 456 && channels == 789);
    EXPECT_EQ(fatalMessage([&] { audioFileRead(path); }), "FLV file \"" + path + "\" holds no audio");
    // A header alone is an FLV file without tags.
    writeFile(path, std::string("FLV\x01\x05", 5) + be(9));
    EXPECT_TRUE(flvFileRead(path, fs, nbits, channels).empty());

    // The whole blocks of a payload are decoded; the rest of a block is ignored with a warning.
    const std::string blocks = randomBlocks(3, 4);
    writeFile(path, flvBytes({audioTag(0x52, blocks.substr(0, 128))}));
    const std::vector<int16_t> full = readFlv(path, fs, nbits, channels);
    writeFile(path, flvBytes({audioTag(0x52, blocks.substr(0, 64 + 10)), audioTag(0x52, blocks.substr(64, 64))}));
    std::vector<int16_t> partial;
    const std::string out = captureStdout([&] { partial = readFlv(path, fs, nbits, channels); });
    EXPECT_EQ(partial, full);
    EXPECT_TRUE(out.starts_with("Warning") && out.find(path) != std::string::npos) << out;

    // Missing, empty and foreign files are fatal errors naming the file.
    writeFile(path, "");
    std::string message;
    const std::string warning = captureStdout([&] { message = fatalMessage([&] { readFlv(path, fs, nbits, channels); }); });
    EXPECT_EQ(warning, "Warning: flvFileSize=0! (line 310 of lib\\flvimpl)\n");
    EXPECT_NE(message.find(path), std::string::npos);
    EXPECT_TRUE(fs == 0 && nbits == 0 && channels == 1);
    for (const std::string& bytes : {std::string("FLV\x02\x05", 5) + be(9) + be(0), std::string("FL"),
                                     std::string("RIFF....WAVE")}) {
        writeFile(path, bytes);
        EXPECT_NE(fatalMessage([&] { readFlv(path, fs, nbits, channels); }).find(path), std::string::npos);
    }
    const std::string missing = dir.file("missing.flv");
    EXPECT_NE(fatalMessage([&] { readFlv(missing, fs, nbits, channels); }).find(missing), std::string::npos);
}

TEST(flvFileRead, openFailuresPrintTheirSystemErrorMessage)
{
    ScratchDir dir;
    int32_t fs = 0, nbits = 0, channels = 0;
    std::string message;
    auto failure = [&](const std::string& path) {
        return captureStderr([&] { message = fatalMessage([&] { readFlv(path, fs, nbits, channels); }); });
    };
    EXPECT_EQ(failure(""), "flv_flvFile is NULL: Invalid argument\n");
    EXPECT_FALSE(message.empty());
    const std::string missing = dir.file("missing.flv");
    EXPECT_EQ(failure(missing), "flv_fopen: No such file or directory\n");
    EXPECT_NE(message.find(missing), std::string::npos);
    // A directory, a FIFO (which would block) or a device is no file to read.
    const std::string folder = dir.file("folder.flv"), fifo = dir.file("pipe.flv");
    std::filesystem::create_directory(folder);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& special : {folder, fifo}) {
        EXPECT_EQ(failure(special), "flv_fopen: Invalid argument\n");
        EXPECT_NE(message.find(special), std::string::npos);
    }
    // Through the audio reader the run ends in the same fatal error.
    std::string err = captureStderr([&] { message = fatalMessage([&] { audioFileRead(missing); }); });
    EXPECT_EQ(err, "flv_fopen: No such file or directory\n");
    EXPECT_NE(message.find(missing), std::string::npos);
}

TEST(flvFileRead, corruptFilesAndForeignCodecsEndTheRun)
{
    ScratchDir dir;
    const std::string blocks = randomBlocks(2, 1);
    const std::string good = flvBytes({audioTag(0x52, blocks), audioTag(0x52, blocks)});
    const size_t second = 13 + 11 + 129; // the second tag's previous-tag size
    std::string badPrev = good, badFirstPrev = good;
    ++badPrev[second + 3];
    badFirstPrev[12] = 1;
    const std::string sizeCheck = "tag size check failed", pastEnd = "tag data runs past the end of the file";
    const std::vector<std::array<std::string, 2>> cases = {
        {badPrev, sizeCheck},
        {badFirstPrev, sizeCheck},
        {good.substr(0, good.size() - 2), sizeCheck},
        {flvBytes({audioTag(0x52, blocks), audioTag(0x52, blocks, std::string("\0\0\1", 3))}), "tag padding ignored"},
        {flvBytes({audioTag(0x52, blocks), audioTag(0x5E, blocks)}), "changed audio format midstream"},
        {good.substr(0, good.size() - 4 - 20), pastEnd},
        {good.substr(0, second + 4) + "\x08\xFF\xFF\xFF" + std::string(7, '\0') + "\x52", pastEnd},
        {good.substr(0, second + 4 + 6), "tag header runs past the end of the file"},
        {flvBytes({audioTag(0x2E, blocks)}), ""}, // MP3
        {flvBytes({audioTag(0x3E, blocks)}), ""}, // PCM
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string path = dir.file(std::to_string(i) + ".flv");
        writeFile(path, cases[i][0]);
        const CommandResult r = reciteOn(dir, path);
        const std::string message =
            cases[i][1].empty() ? "stream is not Nellymoser\n" : "Corrupt file (" + cases[i][1] + ")\n";
        EXPECT_TRUE(r.exitStatus == 255 && r.output.ends_with(message) && r.output.find("Done!") == std::string::npos)
            << i << "\n" << r.output;
    }
}

// At every rate ffmpeg writes as a codec we read, the decode matches ffmpeg's own; recite runs on
// the FLV as on the wave file; 16000 Hz is written as codec 4, which is not ours.
TEST(flvFileReadFfmpeg, decodesLikeFfmpegAndRunsLikeTheWaveFile)
{
    ASSERT_EQ(runCommand("command -v ffmpeg").exitStatus, 0) << "ffmpeg is installed by scripts/setup.sh";
    ScratchDir dir;
    for (int rate : {8000, 11025, 22050, 44100}) {
        const std::string flv = dir.file(std::to_string(rate) + "Hz.flv");
        const std::string raw = dir.file(std::to_string(rate) + "Hz.raw");
        ASSERT_NO_FATAL_FAILURE(ffmpeg(DEMO_WAV, "-ar " + std::to_string(rate) + " -c:a nellymoser", flv));
        ASSERT_NO_FATAL_FAILURE(ffmpeg(flv, "-f s16le -acodec pcm_s16le", raw));
        const std::string refBytes = readFile(raw);
        std::vector<int16_t> ref(refBytes.size() / 2);
        std::memcpy(ref.data(), refBytes.data(), ref.size() * 2);

        int32_t fs, nbits, channels;
        const std::vector<int16_t> ours = readFlv(flv, fs, nbits, channels);
        EXPECT_TRUE(fs == rate && nbits == 16 && channels == 1) << rate;
        ASSERT_EQ(ours.size(), ref.size()) << rate;
        ASSERT_EQ(ours.size() % NELLY_BLOCK_SAMPLES, 0u);

        double signal = 0.0, noise = 0.0, ourEnergy = 0.0;
        for (size_t i = 0; i < ref.size(); ++i) {
            const double d = static_cast<double>(ours[i]) - ref[i];
            signal += static_cast<double>(ref[i]) * ref[i];
            ourEnergy += static_cast<double>(ours[i]) * ours[i];
            noise += d * d;
        }
        EXPECT_GT(10.0 * std::log10(signal / noise), 25.0) << rate; // SNR in dB
        EXPECT_NEAR(std::sqrt(ourEnergy / signal), 1.0, 0.01) << rate;

        // Per block, the bands within 30 dB of the block's strongest agree: ffmpeg's random signs
        // where no bits are given move single bands by a few dB, nothing more.
        double worst = 0.0, sumDiff = 0.0;
        int compared = 0;
        for (size_t b = 0; b < ref.size() / NELLY_BLOCK_SAMPLES; ++b) {
            const std::vector<double> e = bandEnergies(ref.data() + b * NELLY_BLOCK_SAMPLES);
            const std::vector<double> o = bandEnergies(ours.data() + b * NELLY_BLOCK_SAMPLES);
            const double top = *std::max_element(e.begin(), e.end());
            for (size_t k = 0; k < e.size(); ++k)
                if (e[k] > top - 30.0 && e[k] > 40.0) {
                    worst = std::max(worst, std::fabs(e[k] - o[k]));
                    sumDiff += std::fabs(e[k] - o[k]), ++compared;
                }
        }
        EXPECT_LT(sumDiff / compared, 0.6) << rate;
        EXPECT_LT(worst, 6.0) << rate;
    }
    const CommandResult onFlv = reciteOn(dir, dir.file("22050Hz.flv"));
    const CommandResult onWav = reciteOn(dir, DEMO_WAV);
    EXPECT_TRUE(onFlv.exitStatus == 0 && onFlv.output.ends_with("Done!\n")) << onFlv.output;
    EXPECT_TRUE(onWav.output.ends_with("Done!\n")) << onWav.output;
    EXPECT_FALSE(recognizedText(onWav.output).empty());
    EXPECT_EQ(recognizedText(onFlv.output), recognizedText(onWav.output));
    ASSERT_NO_FATAL_FAILURE(ffmpeg(DEMO_WAV, "-ar 16000 -c:a nellymoser", dir.file("utt1_16k.flv")));
    const CommandResult on16 = reciteOn(dir, dir.file("utt1_16k.flv"));
    EXPECT_TRUE(on16.exitStatus == 255 && on16.output.ends_with("stream is not Nellymoser\n")) << on16.output;
}
