// Tests of the audio file readers: extension dispatch, WAVE decoding against sox, broken files, raw files.
#include "audio/audioFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "support/testSupport.h"

using namespace testsupport;

namespace {

// A 40-byte extensible "fmt " chunk body with the given sub-format tag and the standard GUID tail.
std::string extensibleFmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subFormat)
{
    return fmtBody(WAVE_FORMAT_EXTENSIBLE, channels, rate, bits,
                   le16(22) + le16(bits) + le32(channels == 1 ? 4 : 3) + le16(subFormat) +
                       std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14));
}

std::string floatBytes(const std::vector<float>& values)
{
    std::string s;
    for (float f : values) {
        uint32_t raw;
        std::memcpy(&raw, &f, sizeof raw);
        s += le32(raw);
    }
    return s;
}

void runSox(const std::string& args)
{
    CommandResult r = runCommand("/usr/bin/sox " + args);
    ASSERT_EQ(r.exitStatus, 0) << "sox " << args << "\n" << r.output;
}

// The samples of `path` as sox itself decodes them: signed 16 bit without dither, or unsigned 8 bit.
void soxDecode(const ScratchDir& dir, const std::string& path, std::vector<int32_t>& out, bool unsigned8 = false)
{
    const std::string raw = dir.file("decoded.raw");
    ASSERT_NO_FATAL_FAILURE(runSox("-D " + shellQuote(path) + " -t raw -e " +
                                   (unsigned8 ? "unsigned -b 8 " : "signed -b 16 ") + shellQuote(raw)));
    const std::string bytes = readFile(raw);
    out.clear();
    for (size_t i = 0; i + (unsigned8 ? 0 : 1) < bytes.size(); i += unsigned8 ? 1 : 2)
        out.push_back(unsigned8 ? static_cast<unsigned char>(bytes[i])
                                : static_cast<int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                       (static_cast<unsigned char>(bytes[i + 1]) << 8)));
}

std::string waveOpenError(const std::string& path)
{
    return "Can't open wave file " + path + " (line 24 in lib\\audioFile)";
}

} // namespace

TEST(audioFileRead, choosesTheReaderByTheLastThreeCharacters)
{
    ScratchDir dir;
    const std::string wave = riffWave({{"fmt ", fmtBody(WAVE_FORMAT_PCM, 1, 16000, 16)}, {"data", pcm16({100, -200, 300})}});
    for (const char* name : {"a.wav", "a.WAV", "a.wa1", "a.WA2", "b.raw.wav"}) {
        writeFile(dir.file(name), wave);
        EXPECT_EQ(audioFileRead(dir.file(name)).samples, (std::vector<int32_t>{100, -200, 300})) << name;
    }
    // The same bytes under a raw name are read as headerless samples, header included.
    writeFile(dir.file("a.RAW"), wave);
    WaveSignal sig = audioFileRead(dir.file("a.RAW"));
    EXPECT_EQ(sig.sampleNum, static_cast<int32_t>(wave.size() / 2));
    EXPECT_EQ(sig.samples.front(), 0x4952); // "RI"
    for (const std::string& path : {dir.file("a.wAV"), dir.file("awav.x"), std::string("av")}) {
        EXPECT_EQ(fatalMessage([&] { audioFileRead(path); }),
                  "Cannot read audio file \"" + path + "\" based on its extension name...");
    }
    // A bare three-character name is an extension on its own.
    EXPECT_EQ(fatalMessage([] { audioFileRead("wav"); }), waveOpenError("wav"));
    const std::string flv = dir.file("clip.FLV");
    EXPECT_NE(fatalMessage([&] { audioFileRead(flv); }).find(flv), std::string::npos);
}

TEST(audioFileRead, soxFilesOfEverySampleFormatMatchItsDecode)
{
    ScratchDir dir;
    struct Case {
        const char* options;
        int32_t fs, sampleNum, nbits, tolerance;
    };
    // 24 and 32 bits come out as extensible files; float and mu-law with a "fact" chunk before "data".
    const Case cases[] = {
        {"-r 8000 -b 16 -c 2", 8000, 800, 16, 0},    {"-r 16000 -b 8 -c 1", 16000, 800, 8, 0},
        {"-r 8000 -e mu-law -c 1", 8000, 400, 16, 0}, {"-r 16000 -b 24 -c 1", 16000, 800, 16, 1},
        {"-r 16000 -b 32 -c 1", 16000, 800, 16, 1},   {"-r 16000 -e floating-point -b 32 -c 1", 16000, 800, 16, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string path = dir.file("tone.wav");
        ASSERT_NO_FATAL_FAILURE(
            runSox("-n " + std::string(c.options) + " " + shellQuote(path) + " synth 0.05 sine 440 sine 660 vol 0.9"));
        std::vector<int32_t> expected;
        ASSERT_NO_FATAL_FAILURE(soxDecode(dir, path, expected, c.nbits == 8));
        WaveSignal sig = audioFileRead(path);
        EXPECT_EQ(sig.fs, c.fs);
        EXPECT_EQ(sig.nbits, c.nbits);
        EXPECT_EQ(sig.sampleNum, c.sampleNum);
        ASSERT_EQ(sig.samples.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_LE(std::abs(sig.samples[i] - expected[i]), c.tolerance) << "sample " << i;
        // Signed 16-bit samples are sign-extended; 8-bit ones stay unsigned, not re-centred.
        EXPECT_TRUE(c.nbits == 8 ? *std::max_element(sig.samples.begin(), sig.samples.end()) > 200
                                 : *std::min_element(sig.samples.begin(), sig.samples.end()) < -20000);
    }
}

TEST(audioFileRead, otherChunksAreSkippedAndAnOddByteDropped)
{
    ScratchDir dir;
    const std::string path = dir.file("x.wav");
    const std::string fmt = fmtBody(WAVE_FORMAT_PCM, 1, 22050, 16);
    // sox writes no LIST chunk into WAVE files, so this layout is built by hand; "odd" gets a pad byte.
    writeFile(path, riffWave({{"JUNK", std::string(28, '\0')}, {"fmt ", fmt}, {"LIST", "odd"},
                              {"data", pcm16({-32768, -1, 0, 1, 32767})}, {"LIST", "INFO"}}));
    WaveSignal sig = audioFileRead(path);
    EXPECT_EQ(sig.samples, (std::vector<int32_t>{-32768, -1, 0, 1, 32767}));
    EXPECT_EQ(sig.fs, 22050);
    writeFile(path, riffWave({{"fmt ", fmt}, {"data", pcm16({7, -7}) + "\x55"}}));
    sig = audioFileRead(path);
    EXPECT_EQ(sig.sampleNum, 2);
    EXPECT_EQ(sig.samples, (std::vector<int32_t>{7, -7}));
}

TEST(audioFileRead, wideIntegerFloatAndMuLawConversionEdges)
{
    ScratchDir dir;
    const std::string path = dir.file("x.wav");
    auto read = [&](const std::string& fmt, const std::string& data) {
        writeFile(path, riffWave({{"fmt ", fmt}, {"data", data}}));
        return audioFileRead(path);
    };
    // Integers keep their top 16 bits (no rounding).
    const std::string s24 = std::string("\x00\x00\x80" "\xFF\xFF\x7F" "\xFF\x01\x00" "\x80\xFF\xFF" "\x00\x34\x12", 15);
    EXPECT_EQ(read(fmtBody(WAVE_FORMAT_PCM, 1, 16000, 24), s24).samples,
              (std::vector<int32_t>{-32768, 32767, 1, -1, 0x1234}));
    const std::string s32 =
        le32(0x7FFFFFFF) + le32(0x80000000) + le32(0x0000FFFF) + le32(0xFFFF0000) + le32(0x1234ABCD);
    EXPECT_EQ(read(fmtBody(WAVE_FORMAT_PCM, 1, 16000, 32), s32).samples,
              (std::vector<int32_t>{32767, -32768, 0, -1, 0x1234}));

    // Float: x * 32768 rounded half away from zero, saturated.
    const float q = 1.0f / 32768.0f;
    const float inf = std::numeric_limits<float>::infinity();
    const std::string f = floatBytes({0.5f, -1.0f, 1.0f, 2.0f, -3.0f, 0.5f * q, -0.5f * q, 1.5f * q, 0.49f * q,
                                      -2.5f * q, inf, -inf, 0.0f});
    const std::vector<int32_t> wantF = {16384, -32768, 32767, 32767, -32768, 1, -1, 2, 0, -3, 32767, -32768, 0};
    EXPECT_EQ(read(fmtBody(WAVE_FORMAT_IEEE_FLOAT, 1, 16000, 32), f).samples, wantF);
    WaveSignal sig = read(extensibleFmt(1, 16000, 32, WAVE_FORMAT_IEEE_FLOAT), f);
    EXPECT_EQ(sig.samples, wantF);
    EXPECT_EQ(sig.nbits, 16);

    // Every mu-law code decodes as sox decodes it.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    sig = read(fmtBody(WAVE_FORMAT_MULAW, 1, 8000, 8, le16(0)), all);
    std::vector<int32_t> expected;
    ASSERT_NO_FATAL_FAILURE(soxDecode(dir, path, expected));
    ASSERT_EQ(expected.size(), 256u);
    EXPECT_EQ(sig.samples, expected);
}

TEST(audioFileRead, otherFormatTagsAreIntegerPcmOfTheStatedWidth)
{
    ScratchDir dir;
    const std::string path = dir.file("x.wav");
    auto read = [&](const std::string& fmt, const std::string& data) {
        writeFile(path, riffWave({{"fmt ", fmt}, {"data", data}}));
        return audioFileRead(path);
    };
    const std::string s16 = pcm16({1000, -1000, 32767});
    const std::vector<int32_t> want16 = {1000, -1000, 32767};
    const std::string bytes8("\x00\x80\xFF\x01", 4);
    const std::vector<int32_t> want8 = {0, 128, 255, 1};
    // ADPCM, A-law and float tags at widths that are no float, an extensible file with no GUID or
    // with the mu-law GUID: all plain integers. A file without channels reads like a mono one.
    for (uint16_t tag : {uint16_t{2}, uint16_t{6}, WAVE_FORMAT_IEEE_FLOAT, uint16_t{0x55}}) {
        EXPECT_EQ(read(fmtBody(tag, 1, 16000, 16), s16).samples, want16) << tag;
        WaveSignal sig = read(fmtBody(tag, 2, 8000, 8), bytes8);
        EXPECT_EQ(std::make_tuple(sig.samples, sig.nbits, sig.fs), std::make_tuple(want8, 8, 8000)) << tag;
    }
    EXPECT_EQ(read(fmtBody(WAVE_FORMAT_EXTENSIBLE, 1, 16000, 16, le16(0)), s16).samples, want16);
    EXPECT_EQ(read(extensibleFmt(1, 16000, 8, WAVE_FORMAT_MULAW), bytes8).samples, want8);
    EXPECT_EQ(read(fmtBody(WAVE_FORMAT_PCM, 0, 16000, 16), s16).samples, want16);
    // 32 bits under a tag that isn't float keep their top 16 bits.
    EXPECT_EQ(read(fmtBody(6, 1, 16000, 32), le32(0x1234ABCD) + le32(0xFFFF0000)).samples,
              (std::vector<int32_t>{0x1234, -1}));
    // Only mu-law ignores the stated width: every byte is one sample.
    WaveSignal sig = read(fmtBody(WAVE_FORMAT_MULAW, 1, 8000, 0), std::string("\xFF\x00", 2));
    EXPECT_EQ(std::make_pair(sig.samples, sig.nbits), std::make_pair(std::vector<int32_t>{0, -32124}, 16));
}

TEST(audioFileRead, brokenWaveFilesAreFatal)
{
    ScratchDir dir;
    const std::string fmt16 = fmtBody(WAVE_FORMAT_PCM, 1, 16000, 16);
    const std::string data = pcm16({1, 2, 3, 4});
    auto fmtOnly = [&](const std::string& fmt) { return riffWave({{"fmt ", fmt}, {"data", data + data}}); };
    const std::pair<const char*, std::string> cases[] = {
        {"not WAVE", "RIFF" + le32(4) + "AVI "},
        {"data before fmt", riffWave({{"data", data}, {"fmt ", fmt16}})},
        {"data beyond file", riffWave({{"fmt ", fmt16}, {"data", data, 100}})},
        {"fmt beyond file", riffWave({{"fmt ", fmt16, 1000}})},
        {"20-bit", fmtOnly(fmtBody(WAVE_FORMAT_PCM, 1, 16000, 20))},
        {"64-bit float", fmtOnly(fmtBody(WAVE_FORMAT_IEEE_FLOAT, 1, 16000, 64))},
        {"0-bit", fmtOnly(fmtBody(WAVE_FORMAT_PCM, 1, 16000, 0))},
        {"4-bit ADPCM", fmtOnly(fmtBody(2, 1, 16000, 4))},
        {"12-bit", fmtOnly(fmtBody(WAVE_FORMAT_PCM, 1, 16000, 12))},
        {"0-bit with no channels", fmtOnly(fmtBody(WAVE_FORMAT_PCM, 0, 16000, 0))},
        {"23-bit extensible float", fmtOnly(extensibleFmt(1, 16000, 23, WAVE_FORMAT_IEEE_FLOAT))},
    };
    const std::string path = dir.file("bad.wav");
    for (const auto& [what, bytes] : cases) {
        writeFile(path, bytes);
        EXPECT_EQ(fatalMessage([&] { audioFileRead(path); }), waveOpenError(path)) << what;
    }
    const std::string folder = dir.file("folder.wav");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(fatalMessage([&] { audioFileRead(folder); }), waveOpenError(folder));
}

TEST(audioFileRead, rawFilesAreSixteenBitAt16kHz)
{
    ScratchDir dir;
    // Odd size: the last byte is dropped; samples are signed little-endian; the rate is always 16 kHz.
    const std::string odd = dir.file("odd.raw");
    writeFile(odd, pcm16({-32768, -1, 0, 1, 32767}) + std::string(991, '\x01'));
    WaveSignal sig = audioFileRead(odd);
    EXPECT_EQ(sig.sampleNum, 500);
    EXPECT_EQ(sig.samples.size(), 500u);
    EXPECT_EQ(sig.fs, 16000);
    EXPECT_EQ(sig.nbits, 16);
    EXPECT_EQ(std::vector<int32_t>(sig.samples.begin(), sig.samples.begin() + 6),
              (std::vector<int32_t>{-32768, -1, 0, 1, 32767, 0x0101}));
    writeFile(odd, "");
    EXPECT_EQ(audioFileRead(odd).sampleNum, 0);
}
