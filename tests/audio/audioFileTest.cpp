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
#include <vector>

#include "support/testSupport.h"

using namespace testsupport;

namespace {

const std::string SOX = "/usr/bin/sox";

// GUID tail shared by the KSDATAFORMAT sub-formats (after the two-byte format tag).
const std::string GUID_TAIL = std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);

// A 40-byte extensible "fmt " chunk body with the given sub-format tag.
std::string extensibleFmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subFormat)
{
    return fmtBody(WAVE_FORMAT_EXTENSIBLE, channels, rate, bits,
                   le16(22) + le16(bits) + le32(channels == 1 ? 4 : 3) + le16(subFormat) + GUID_TAIL);
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

// A plain mono 16-bit PCM WAVE file.
std::string monoWave(const std::vector<int16_t>& samples, uint32_t rate = 16000)
{
    return riffWave({{"fmt ", fmtBody(WAVE_FORMAT_PCM, 1, rate, 16)}, {"data", pcm16(samples)}});
}

void runSox(const std::string& args)
{
    CommandResult r = runCommand(shellQuote(SOX) + " " + args);
    ASSERT_EQ(r.exitStatus, 0) << "sox " << args << "\n" << r.output;
}

// The samples of input `in` (sox arguments) as sox itself decodes them: signed 16 bit without
// dither, or unsigned 8 bit.
void soxDecode(const ScratchDir& dir, const std::string& in, std::vector<int32_t>& out, bool unsigned8 = false)
{
    const std::string raw = dir.file("decoded.raw");
    ASSERT_NO_FATAL_FAILURE(runSox("-D " + in + " -t raw -e " +
                                   (unsigned8 ? "unsigned -b 8 " : "signed -b 16 ") + shellQuote(raw)));
    const std::string bytes = readFile(raw);
    out.clear();
    if (unsigned8) {
        for (char c : bytes)
            out.push_back(static_cast<unsigned char>(c));
    } else {
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            out.push_back(static_cast<int16_t>(static_cast<unsigned char>(bytes[i]) |
                                               (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
}

void expectWithin(const std::vector<int32_t>& actual, const std::vector<int32_t>& expected, int tolerance)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        ASSERT_LE(std::abs(actual[i] - expected[i]), tolerance) << "sample " << i;
}

std::string waveOpenError(const std::string& path)
{
    return "Can't open wave file " + path + " (line 24 in lib\\audioFile)";
}

std::string extensionError(const std::string& path)
{
    return "Cannot read audio file \"" + path + "\" based on its extension name...";
}

} // namespace

TEST(audioFileRead, choosesTheReaderByTheLastThreeCharacters)
{
    ScratchDir dir;
    const std::string wave = monoWave({100, -200, 300});
    for (const char* ext : {"wav", "WAV", "wa1", "WA1", "wa2", "WA2"}) {
        const std::string path = dir.file(std::string("a.") + ext);
        writeFile(path, wave);
        WaveSignal sig = audioFileRead(path);
        EXPECT_EQ(sig.samples, (std::vector<int32_t>{100, -200, 300})) << ext;
        EXPECT_EQ(sig.fs, 16000) << ext;
    }
    // The same bytes under a raw name are read as headerless samples, header included.
    for (const char* ext : {"raw", "RAW"}) {
        const std::string path = dir.file(std::string("a.") + ext);
        writeFile(path, wave);
        WaveSignal sig = audioFileRead(path);
        EXPECT_EQ(sig.sampleNum, static_cast<int32_t>(wave.size() / 2)) << ext;
        EXPECT_EQ(sig.samples.front(), 0x4952) << ext; // "RI"
    }
    // Only the last three characters count, and only in the listed spellings.
    writeFile(dir.file("b.raw.wav"), wave);
    EXPECT_EQ(audioFileRead(dir.file("b.raw.wav")).sampleNum, 3);
    writeFile(dir.file("a.Wav"), wave);
    for (const std::string& path : {dir.file("a.Wav"), dir.file("a.wAV"), dir.file("a.Raw"), dir.file("a.txt"),
                                    dir.file("awav.x"), std::string("av"), std::string("")}) {
        EXPECT_EQ(fatalMessage([&] { audioFileRead(path); }), extensionError(path));
    }
    // A bare three-character name is an extension on its own.
    EXPECT_EQ(fatalMessage([] { audioFileRead("wav"); }), waveOpenError("wav"));
    for (const char* name : {"clip.flv", "clip.FLV"}) {
        const std::string path = dir.file(name);
        std::string msg = fatalMessage([&] { audioFileRead(path); });
        EXPECT_NE(msg.find(path), std::string::npos) << msg;
        EXPECT_NE(msg, extensionError(path));
    }
}

TEST(audioFileRead, pcm16FromSoxMatchesItsDecode)
{
    ScratchDir dir;
    struct Case {
        std::string options;
        int32_t fs;
        int32_t frames;
        int32_t channels;
    };
    const Case cases[] = {
        {"-r 16000 -b 16 -c 1", 16000, 800, 1},
        {"-r 8000 -b 16 -c 1", 8000, 400, 1},
        {"-r 8000 -b 16 -c 2", 8000, 400, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string path = dir.file("tone.wav");
        ASSERT_NO_FATAL_FAILURE(runSox("-n " + c.options + " " + shellQuote(path) +
                                       " synth 0.05 sine 440 sine 660 vol 0.9"));
        std::vector<int32_t> expected;
        ASSERT_NO_FATAL_FAILURE(soxDecode(dir, shellQuote(path), expected));
        WaveSignal sig = audioFileRead(path);
        EXPECT_EQ(sig.fs, c.fs);
        EXPECT_EQ(sig.nbits, 16);
        EXPECT_EQ(sig.sampleNum, c.frames * c.channels);
        EXPECT_EQ(sig.samples, expected);
        EXPECT_LT(*std::min_element(sig.samples.begin(), sig.samples.end()), -20000); // sign-extended
    }
}

TEST(audioFileRead, eightBitAndMuLawFromSox)
{
    ScratchDir dir;
    const std::string u8 = dir.file("u8.wav");
    ASSERT_NO_FATAL_FAILURE(runSox("-n -r 16000 -b 8 -c 1 " + shellQuote(u8) + " synth 0.05 sine 440"));
    std::vector<int32_t> expected;
    ASSERT_NO_FATAL_FAILURE(soxDecode(dir, shellQuote(u8), expected, true));
    WaveSignal sig = audioFileRead(u8);
    EXPECT_EQ(sig.nbits, 8);
    EXPECT_EQ(sig.fs, 16000);
    EXPECT_EQ(sig.sampleNum, 800);
    EXPECT_EQ(sig.samples, expected);
    EXPECT_GT(*std::max_element(sig.samples.begin(), sig.samples.end()), 200); // unsigned, not re-centred

    // sox puts a "fact" chunk between "fmt " and "data" in mu-law files.
    const std::string mu = dir.file("mu.wav");
    ASSERT_NO_FATAL_FAILURE(runSox("-n -r 8000 -e mu-law -c 1 " + shellQuote(mu) + " synth 0.05 sine 440"));
    ASSERT_NE(readFile(mu).find("fact"), std::string::npos);
    ASSERT_NO_FATAL_FAILURE(soxDecode(dir, shellQuote(mu), expected));
    sig = audioFileRead(mu);
    EXPECT_EQ(sig.nbits, 16);
    EXPECT_EQ(sig.fs, 8000);
    EXPECT_EQ(sig.sampleNum, 400);
    EXPECT_EQ(sig.samples, expected);
}

TEST(audioFileRead, wideAndFloatSamplesFromSoxBecomeSixteenBit)
{
    ScratchDir dir;
    // 24 and 32 bits come out as extensible files; float as format tag 3 with a "fact" chunk.
    for (const char* options : {"-b 24", "-b 32", "-e floating-point -b 32", "-b 24 -c 2"}) {
        SCOPED_TRACE(options);
        const std::string path = dir.file("wide.wav");
        ASSERT_NO_FATAL_FAILURE(runSox("-n -r 16000 " + std::string(options) + " " + shellQuote(path) +
                                       " synth 0.05 sine 440 sine 660 vol 0.9"));
        std::vector<int32_t> expected;
        ASSERT_NO_FATAL_FAILURE(soxDecode(dir, shellQuote(path), expected));
        WaveSignal sig = audioFileRead(path);
        EXPECT_EQ(sig.fs, 16000);
        EXPECT_EQ(sig.nbits, 16);
        EXPECT_EQ(sig.sampleNum, static_cast<int32_t>(expected.size()));
        expectWithin(sig.samples, expected, 1);
    }
}

TEST(audioFileRead, otherChunksAreSkippedAndAnOddByteDropped)
{
    ScratchDir dir;
    const std::string path = dir.file("x.wav");
    const std::string fmt = fmtBody(WAVE_FORMAT_PCM, 1, 22050, 16);
    const std::vector<int16_t> pcm = {-32768, -1, 0, 1, 32767};
    const std::vector<int32_t> want(pcm.begin(), pcm.end());
    // sox writes no LIST chunk into WAVE files, so these layouts are built by hand.
    const std::vector<std::vector<Chunk>> layouts = {
        {{"fmt ", fmt}, {"LIST", "INFOICMT" + le32(6) + std::string("hello", 6)}, {"data", pcm16(pcm)}},
        {{"fmt ", fmt}, {"fact", le32(5)}, {"LIST", "odd"}, {"data", pcm16(pcm)}}, // padded odd chunk
        {{"JUNK", std::string(28, '\0')}, {"fmt ", fmt}, {"data", pcm16(pcm)}},
        {{"fmt ", fmt}, {"data", pcm16(pcm)}, {"LIST", "INFO"}},
    };
    for (size_t i = 0; i < layouts.size(); ++i) {
        writeFile(path, riffWave(layouts[i]));
        WaveSignal sig = audioFileRead(path);
        EXPECT_EQ(sig.samples, want) << "layout " << i;
        EXPECT_EQ(sig.fs, 22050) << "layout " << i;
    }
    // An odd data size drops the trailing byte.
    writeFile(path, riffWave({{"fmt ", fmt}, {"data", pcm16({7, -7}) + "\x55"}}));
    WaveSignal sig = audioFileRead(path);
    EXPECT_EQ(sig.sampleNum, 2);
    EXPECT_EQ(sig.samples, (std::vector<int32_t>{7, -7}));
}

TEST(audioFileRead, wideIntegerAndFloatConversionEdges)
{
    ScratchDir dir;
    const std::string path = dir.file("x.wav");
    auto read = [&](const std::string& fmt, const std::string& data) {
        writeFile(path, riffWave({{"fmt ", fmt}, {"data", data}}));
        WaveSignal sig = audioFileRead(path);
        EXPECT_EQ(sig.nbits, 16);
        EXPECT_EQ(sig.sampleNum, static_cast<int32_t>(sig.samples.size()));
        return sig.samples;
    };
    // Integers keep their top 16 bits (no rounding).
    const std::string s24 = std::string("\x00\x00\x80" "\xFF\xFF\x7F" "\xFF\x01\x00" "\x80\xFF\xFF" "\x00\x34\x12", 15);
    const std::vector<int32_t> want24 = {-32768, 32767, 1, -1, 0x1234};
    EXPECT_EQ(read(fmtBody(WAVE_FORMAT_PCM, 1, 16000, 24), s24), want24);
    EXPECT_EQ(read(extensibleFmt(1, 16000, 24, WAVE_FORMAT_PCM), s24), want24);
    const std::string s32 =
        le32(0x7FFFFFFF) + le32(0x80000000) + le32(0x0000FFFF) + le32(0xFFFF0000) + le32(0x1234ABCD);
    EXPECT_EQ(read(fmtBody(WAVE_FORMAT_PCM, 1, 16000, 32), s32), (std::vector<int32_t>{32767, -32768, 0, -1, 0x1234}));

    // Float: x * 32768 rounded half away from zero, saturated.
    const float q = 1.0f / 32768.0f;
    const float inf = std::numeric_limits<float>::infinity();
    const std::string f = floatBytes({0.5f, -1.0f, 1.0f, 2.0f, -3.0f, 0.5f * q, -0.5f * q, 1.5f * q, 0.49f * q,
                                      -2.5f * q, inf, -inf, 0.0f});
    const std::vector<int32_t> wantF = {16384, -32768, 32767, 32767, -32768, 1, -1, 2, 0, -3, 32767, -32768, 0};
    EXPECT_EQ(read(fmtBody(WAVE_FORMAT_IEEE_FLOAT, 1, 16000, 32), f), wantF);
    EXPECT_EQ(read(extensibleFmt(1, 16000, 32, WAVE_FORMAT_IEEE_FLOAT), f), wantF);

    // Extensible 16-bit PCM stays as it is; 8-bit stays unsigned.
    EXPECT_EQ(read(extensibleFmt(2, 16000, 16, WAVE_FORMAT_PCM), pcm16({-5, 6, 7, -8})),
              (std::vector<int32_t>{-5, 6, 7, -8}));
    writeFile(path, riffWave({{"fmt ", extensibleFmt(1, 11025, 8, WAVE_FORMAT_PCM)},
                              {"data", std::string("\x00\x80\xFF", 3)}}));
    WaveSignal sig = audioFileRead(path);
    EXPECT_EQ(sig.nbits, 8);
    EXPECT_EQ(sig.fs, 11025);
    EXPECT_EQ(sig.samples, (std::vector<int32_t>{0, 128, 255}));
}

TEST(audioFileRead, muLawDecodesAllCodesLikeSox)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    ScratchDir dir;
    const std::string path = dir.file("all.wav");
    writeFile(path, riffWave({{"fmt ", fmtBody(WAVE_FORMAT_MULAW, 1, 8000, 8, le16(0))}, {"data", all}}));
    std::vector<int32_t> expected;
    ASSERT_NO_FATAL_FAILURE(soxDecode(dir, shellQuote(path), expected));
    ASSERT_EQ(expected.size(), 256u);
    WaveSignal sig = audioFileRead(path);
    EXPECT_EQ(sig.nbits, 16);
    EXPECT_EQ(sig.samples, expected);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(muLawToLinear(static_cast<unsigned char>(b)), expected[static_cast<size_t>(b)]) << b;
    EXPECT_EQ(muLawToLinear(0xFF), 0);
    EXPECT_EQ(muLawToLinear(0x00), -32124);
    EXPECT_EQ(muLawToLinear(0x80), 32124);
}

TEST(audioFileRead, brokenWaveFilesAreFatal)
{
    ScratchDir dir;
    const std::string fmt16 = fmtBody(WAVE_FORMAT_PCM, 1, 16000, 16);
    const std::string data = pcm16({1, 2, 3, 4});
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty file", ""},
        {"no RIFF", "RIFX" + riffWave({{"fmt ", fmt16}, {"data", data}}).substr(4)},
        {"not WAVE", "RIFF" + le32(4) + "AVI "},
        {"no fmt", riffWave({{"data", data}})},
        {"data before fmt", riffWave({{"data", data}, {"fmt ", fmt16}})},
        {"no data", riffWave({{"fmt ", fmt16}, {"LIST", "INFO"}})},
        {"empty data", riffWave({{"fmt ", fmt16}, {"data", ""}})},
        {"data beyond file", riffWave({{"fmt ", fmt16}, {"data", data, 100}})},
        {"fmt beyond file", riffWave({{"fmt ", fmt16, 1000}})},
        {"4-bit", riffWave({{"fmt ", fmtBody(WAVE_FORMAT_PCM, 1, 16000, 4)}, {"data", data}})},
        {"12-bit", riffWave({{"fmt ", fmtBody(WAVE_FORMAT_PCM, 1, 16000, 12)}, {"data", data}})},
        {"20-bit", riffWave({{"fmt ", fmtBody(WAVE_FORMAT_PCM, 1, 16000, 20)}, {"data", data}})},
        {"64-bit", riffWave({{"fmt ", fmtBody(WAVE_FORMAT_PCM, 1, 16000, 64)}, {"data", data + data}})},
        {"64-bit float", riffWave({{"fmt ", fmtBody(WAVE_FORMAT_IEEE_FLOAT, 1, 16000, 64)}, {"data", data + data}})},
        {"extensible ADPCM", riffWave({{"fmt ", extensibleFmt(1, 16000, 16, 2)}, {"data", data}})},
        {"extensible mu-law", riffWave({{"fmt ", extensibleFmt(1, 16000, 8, WAVE_FORMAT_MULAW)}, {"data", data}})},
        {"extensible without GUID", riffWave({{"fmt ", fmtBody(WAVE_FORMAT_EXTENSIBLE, 1, 16000, 16, le16(0))},
                                              {"data", data}})},
    };
    const std::string path = dir.file("bad.wav");
    for (const Case& c : cases) {
        writeFile(path, c.bytes);
        EXPECT_EQ(fatalMessage([&] { audioFileRead(path); }), waveOpenError(path)) << c.what;
    }

    // A real file cut short: its data chunk says more than is there.
    const std::string whole = dir.file("whole.wav");
    ASSERT_NO_FATAL_FAILURE(runSox("-n -r 16000 -b 16 -c 1 " + shellQuote(whole) + " synth 0.05 sine 440"));
    const std::string cut = dir.file("cut.WAV");
    ASSERT_EQ(runCommand("head -c 1000 " + shellQuote(whole) + " > " + shellQuote(cut)).exitStatus, 0);
    EXPECT_EQ(fatalMessage([&] { audioFileRead(cut); }), waveOpenError(cut));

    const std::string missing = dir.file("missing.wa1");
    EXPECT_EQ(fatalMessage([&] { audioFileRead(missing); }), waveOpenError(missing));
    const std::string folder = dir.file("folder.wav");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(fatalMessage([&] { audioFileRead(folder); }), waveOpenError(folder));
}

TEST(audioFileErrors, waveFileReadReportsErrorsAsText)
{
    EXPECT_STREQ(waveErrorText(0), "No error.");
    EXPECT_STREQ(waveErrorText(6), "File chunk read error.");
    EXPECT_STREQ(waveErrorText(7), "File data read error.");
    EXPECT_STREQ(waveErrorText(42), "Unspecified error.");

    ScratchDir dir;
    const std::string path = dir.file("x.bin"); // the extension does not matter here
    const std::string fmt16 = fmtBody(WAVE_FORMAT_PCM, 1, 16000, 16);
    WaveFile wave(1, 8000, 8);
    writeFile(path, riffWave({{"fmt ", fmt16}}));
    EXPECT_FALSE(wave.read(path));
    EXPECT_EQ(wave.lastError(), "File chunk read error.");
    writeFile(path, riffWave({{"fmt ", fmt16}, {"data", pcm16({1}), 4}}));
    EXPECT_FALSE(wave.read(path));
    EXPECT_EQ(wave.lastError(), "File data read error.");
    EXPECT_FALSE(wave.read(dir.file("missing.wav")));
    EXPECT_FALSE(wave.lastError().empty());

    // A later good read clears the error and replaces the data.
    writeFile(path, monoWave({9, -9, 4}, 11025));
    ASSERT_TRUE(wave.read(path));
    EXPECT_TRUE(wave.lastError().empty());
    EXPECT_EQ(wave.sampleRate(), 11025);
    EXPECT_EQ(wave.dataByteCount(), 6u);
    int32_t out[4] = {0, 0, 0, 77};
    EXPECT_EQ(wave.getSamples(out, 4), 3);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(out[1], -9);
    EXPECT_EQ(out[2], 4);
    EXPECT_EQ(out[3], 77);
}

TEST(audioFileRead, rawFilesAreSixteenBitAt16kHz)
{
    ScratchDir dir;
    // Odd size: the last byte is dropped; samples are signed little-endian; the rate is always 16 kHz.
    std::string bytes = pcm16({-32768, -1, 0, 1, 32767}) + std::string(991, '\x01');
    ASSERT_EQ(bytes.size(), 1001u);
    const std::string odd = dir.file("odd.raw");
    writeFile(odd, bytes);
    WaveSignal sig = audioFileRead(odd);
    EXPECT_EQ(sig.sampleNum, 500);
    EXPECT_EQ(sig.samples.size(), 500u);
    EXPECT_EQ(sig.fs, 16000);
    EXPECT_EQ(sig.nbits, 16);
    EXPECT_EQ(std::vector<int32_t>(sig.samples.begin(), sig.samples.begin() + 6),
              (std::vector<int32_t>{-32768, -1, 0, 1, 32767, 0x0101}));

    // A raw file written by sox at 8 kHz still reads as 16 kHz, same samples.
    const std::string soxRaw = dir.file("tone.RAW");
    ASSERT_NO_FATAL_FAILURE(
        runSox("-n -r 8000 -t raw -e signed -b 16 -c 1 " + shellQuote(soxRaw) + " synth 0.05 sine 440"));
    std::vector<int32_t> expected;
    ASSERT_NO_FATAL_FAILURE(soxDecode(dir, "-t raw -r 8000 -e signed -b 16 -c 1 " + shellQuote(soxRaw),
                                      expected));
    sig = audioFileRead(soxRaw);
    EXPECT_EQ(sig.fs, 16000);
    EXPECT_EQ(sig.sampleNum, 400);
    EXPECT_EQ(sig.samples, expected);

    const std::string empty = dir.file("empty.raw");
    writeFile(empty, "");
    EXPECT_EQ(audioFileRead(empty).sampleNum, 0);

    const std::string missing = dir.file("missing.raw");
    EXPECT_EQ(fatalMessage([&] { audioFileRead(missing); }),
              "Cannot open file " + missing + " (line 100 of lib\\utility)");
}
