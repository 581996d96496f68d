// Tests of signal conditioning: amplification, resampling, volume check, noise removal, DC removal.
#include "audio/signalCondition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "support/testSupport.h"

using namespace testsupport;

namespace {

// Uniform pseudo-random noise in [-amplitude, amplitude].
std::vector<int32_t> noise(size_t n, int32_t amplitude)
{
    std::vector<int32_t> v(n);
    uint32_t seed = 12345;
    for (int32_t& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
    }
    return v;
}

// 16000 samples (99 check frames) of silence with alternating +-a over [from, from + n).
std::vector<int32_t> block(size_t from, size_t n, int32_t a)
{
    std::vector<int32_t> v(16000, 0);
    for (size_t i = from; i < from + n; ++i)
        v[i] = i % 2 ? -a : a;
    return v;
}

int check(const std::vector<int32_t>& s, const std::string& path = "")
{
    return volumeCheck(s.data(), static_cast<int32_t>(s.size()), path);
}

// Conditions a signal; gives the console output.
std::string condition(WaveSignal& w, std::vector<int32_t> samples, int32_t fs, int32_t nbits,
                      const conditionSettings& settings = {}, bool* subtracted = nullptr)
{
    std::vector<std::string> warnings;
    const auto n = static_cast<int32_t>(samples.size());
    w = WaveSignal{std::move(samples), n, fs, nbits};
    bool r = false;
    std::string out = captureStdout([&] { r = signalCondition(w, settings, warnings); });
    if (subtracted)
        *subtracted = r;
    return out;
}

double energy(const std::vector<int32_t>& s, size_t from, size_t to)
{
    double e = 0;
    for (size_t i = from; i < to; ++i)
        e += static_cast<double>(s[i]) * s[i];
    return e;
}

} // namespace

TEST(signalCondition, amplifyResampleAndRemoveTheOffset)
{
    // 8-bit 128/129: x256 gives 32768/33024, their mean 32896 goes.
    WaveSignal w;
    std::vector<int32_t> eight(1000, 128);
    for (size_t i = 1; i < eight.size(); i += 2)
        eight[i] = 129;
    EXPECT_EQ(condition(w, eight, 16000, 8), "nbits=8 ===> Amplify to have nbits=16\n");
    EXPECT_EQ(w.nbits, 16);
    for (size_t i = 0; i < w.samples.size(); ++i)
        ASSERT_EQ(w.samples[i], i % 2 ? 128 : -128);

    // An 8 kHz ramp -i becomes -j/2 (halves away from zero), its mean -3999.75 truncated away.
    std::vector<int32_t> ramp(8000);
    for (int32_t i = 0; i < 8000; ++i)
        ramp[static_cast<size_t>(i)] = -i;
    EXPECT_EQ(condition(w, ramp, 8000, 16), "fs=8000 ===> Resample to have fs=16000\n");
    ASSERT_EQ(w.samples.size(), 15999u);
    EXPECT_TRUE(w.sampleNum == 15999 && w.fs == 16000);
    for (int32_t j = 0; j < 15999; ++j)
        ASSERT_EQ(w.samples[static_cast<size_t>(j)], -(j + 1) / 2 + 3999) << j;

    // An output count beyond what the rates give never reads past the input.
    std::vector<int32_t> out(5);
    resample(ramp.data(), 2, 1, 1, out.data(), 5);
    EXPECT_EQ(out, (std::vector<int32_t>{0, -1, -1, -1, -1}));

    // 16 bits at 16 kHz: only the offset changes.
    std::vector<int32_t> plain = noise(5000, 3000);
    const int64_t sum = std::accumulate(plain.begin(), plain.end(), int64_t{0});
    EXPECT_EQ(condition(w, plain, 16000, 16), "");
    for (size_t i = 0; i < plain.size(); ++i)
        ASSERT_EQ(w.samples[i], plain[i] - sum / 5000);

    std::vector<std::string> warnings;
    w = WaveSignal{{}, 0, 16000, 24};
    EXPECT_EQ(fatalMessage([&] { signalCondition(w, {}, warnings); }), "Cannot condition a signal of 24 bits");
    for (size_t n : {0, 320}) {
        EXPECT_EQ(condition(w, std::vector<int32_t>(n, 7), 16000, 16, {"", true, true}),
                  "Warning: signal of " + std::to_string(n) +
                      " samples is too short for the volume check and the noise test\n");
        EXPECT_EQ(w.samples, std::vector<int32_t>(n, 0));
    }
}

TEST(signalCondition, volumeCheckThresholds)
{
    // A 20 ms block at a frame start: that frame's volume is 320 x 140 = 44800, just loud enough.
    std::vector<int32_t> s = block(3200, 320, 140);
    EXPECT_EQ(check(s), VOL_CHECK_GOOD);
    s[3201] = -139; // 44799
    EXPECT_EQ(check(s), VOL_CHECK_MAX_TOO_SMALL);

    // The quietest frame may reach 30 x 320; at 31 x 320 it is too loud, even when too quiet as well.
    EXPECT_EQ(check(block(0, 16000, 30)), VOL_CHECK_MAX_TOO_SMALL);
    EXPECT_EQ(check(block(0, 16000, 31)), VOL_CHECK_MIN_TOO_BIG);

    // Saturated beyond 0.95 x 32768 = 31129.6: 98 in 99 frames make no saturated sample per frame.
    s = block(3200, 320, 140);
    for (size_t i = 0; i < 98; ++i)
        s[8000 + i] = i % 2 ? -32000 : 32000;
    s[9000] = -31129;
    EXPECT_EQ(check(s), VOL_CHECK_GOOD);
    s[9000] = -31130;
    EXPECT_EQ(check(s), VOL_CHECK_SATURATED);

    // A parameter file sets only the keys it names; values read as leading numbers.
    ScratchDir dir;
    writeFile(dir.file("vol.txt"), "% thresholds\nminVolTh = 40abc\n");
    EXPECT_EQ(check(block(0, 16000, 31), dir.file("vol.txt")), VOL_CHECK_MAX_TOO_SMALL);
    writeFile(dir.file("bad.txt"), "maxVolTh = 100\nminVolTH = 3\n");
    EXPECT_EQ(fatalMessage([&] { check(s, dir.file("bad.txt")); }),
              "Error in parsing " + dir.file("bad.txt") + ", unknown key = minVolTH (line 31 in lib\\audio)");
    EXPECT_EQ(check({}), VOL_CHECK_GOOD);

    // In conditioning the result is a warning, or fatal with useWaveReject.
    const std::string quiet =
        "Volume check: Max volume too small. Please increase the microphone's gain. (line 322 in lib\\recogTask)";
    std::vector<std::string> warnings;
    WaveSignal w{block(0, 16000, 10), 16000, 16000, 16};
    captureStdout([&] { signalCondition(w, {}, warnings); });
    EXPECT_EQ(warnings, std::vector<std::string>{quiet});
    w = WaveSignal{block(0, 16000, 10), 16000, 16000, 16};
    EXPECT_EQ(fatalMessage([&] { signalCondition(w, {"", true, false}, warnings); }), quiet);
}

TEST(signalCondition, spectralSubtractionRemovesSteadyNoise)
{
    // Noise throughout, a loud tone from 0.5 s on.
    std::vector<int32_t> s = noise(16000, 1000);
    for (size_t i = 8000; i < s.size(); ++i)
        s[i] += static_cast<int32_t>(8000 * std::sin(0.39269908 * static_cast<double>(i)));
    std::vector<int32_t> out = specSubtract(s.data(), 16000, 16000);
    ASSERT_EQ(out.size(), 205u * 76 + 307);
    // Overlap-add without window compensation scales what it keeps by the window sum per hop,
    // (0.54 x 512 - 0.46) / 205, in energy its square; the tone keeps that gain, the noise loses most.
    const double gain = std::pow((0.54 * 512 - 0.46) / 205, 2);
    EXPECT_NEAR(energy(out, 9000, 15000) / energy(s, 9000, 15000), gain, 0.1 * gain);
    EXPECT_LT(energy(out, 1000, 7000) / energy(s, 1000, 7000), 0.4 * gain);

    // Too short for a frame: unchanged. A single frame is its own noise estimate and vanishes.
    EXPECT_EQ(specSubtract(s.data(), 511, 16000), std::vector<int32_t>(s.begin(), s.begin() + 511));
    EXPECT_EQ(specSubtract(s.data(), 600, 16000), std::vector<int32_t>(512, 0));
    EXPECT_EQ(fatalMessage([&] { specSubtract(s.data(), 16000, 11025); }),
              "Cannot subtract the noise spectrum at 11025 Hz: frames of 352 samples are not a power of two");

    // Conditioning subtracts a steady noise when asked to, and not a signal with louder parts.
    WaveSignal w;
    bool subtracted = false;
    EXPECT_EQ(condition(w, noise(16000, 1000), 16000, 16, {"", false, true}, &subtracted),
              "Perform spectrum subtraction...\n");
    EXPECT_TRUE(subtracted && w.sampleNum == 205 * 76 + 307 && w.samples.size() == 205u * 76 + 307);
    condition(w, noise(16000, 1000), 16000, 16, {}, &subtracted);
    EXPECT_FALSE(subtracted);
    std::vector<int32_t> speech = noise(16000, 1000);
    for (size_t i = 4000; i < 12000; ++i)
        speech[i] *= 4;
    EXPECT_EQ(condition(w, speech, 16000, 16, {"", false, true}, &subtracted), "");
    EXPECT_FALSE(subtracted);
    // The test compares the tenth quietest and loudest frames: a few loud frames don't count.
    speech = noise(16000, 1000);
    for (size_t i = 2000; i < 2640; ++i)
        speech[i] *= 4;
    condition(w, speech, 16000, 16, {"", false, true}, &subtracted);
    EXPECT_TRUE(subtracted);
}
