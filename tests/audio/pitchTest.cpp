// Tests of the pitch tracker, from its parameters and parts to whole tracks of synthetic signals.
#include "audio/pitch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "support/testSupport.h"

using namespace testsupport;
using Floats = std::vector<float>;
using Ints = std::vector<int32_t>;

namespace {

const double kPitch200 = freq2semitone(200.0); // lag 80 at 16 kHz

ptParam param16k(int32_t pfType = 1)
{
    ptParam p;
    ptParamSet(16000, 16, pfType, "", p);
    return p;
}

// Two seconds at 16 kHz: wave(i) for the second from sample 8000, quiet(i) before and after.
template <typename Wave, typename Quiet>
Ints framedSignal(Wave wave, Quiet quiet)
{
    Ints s(32000);
    for (int32_t i = 0; i < 32000; ++i)
        s[static_cast<size_t>(i)] = i >= 8000 && i < 24000 ? wave(i) : quiet(i);
    return s;
}

// The pitch of 200 Hz from frame `first` to frame `last`, none elsewhere.
void expect200Hz(const Ints& s, const ptParam& p, size_t first, size_t last)
{
    Floats pitch;
    ASSERT_EQ(pitchTrack(s.data(), static_cast<int32_t>(s.size()), p, pitch), 62);
    for (size_t t = 0; t < pitch.size(); ++t)
        EXPECT_NEAR(pitch[t], t < first || t > last ? 0.0 : kPitch200, t < first || t > last ? 0.0 : 0.2) << t;
}

} // namespace

TEST(ptParam, defaultsAndTunedWeights)
{
    ptParam p = param16k();
    EXPECT_EQ((Ints{p.frameSize, p.overlap, p.pfLen, p.frameRate, p.minLag, p.maxLag, p.dpMethod}),
              (Ints{512, 0, 512, 31, 15, 346, 1}));
    ptParamSet(8000, 16, 1, "", p); // lags 7.64 and 172.98
    EXPECT_EQ((Ints{p.frameSize, p.minLag, p.maxLag, p.dpMethod}), (Ints{256, 8, 173, 2}));
    EXPECT_EQ((Floats{p.pfWeight, p.indexDiffWeight}), (Floats{4, 388}));
    ptParamSet(8000, 16, 0, "", p);
    EXPECT_EQ((Floats{p.pfWeight, p.indexDiffWeight}), (Floats{1, 1}));
    EXPECT_EQ(fatalMessage([&] { ptParamSet(16000, 16, 2, "", p); }), "Unknown pfType=2 (line 391 in lib\\audio)!\n");
}

TEST(ptParam, fileKeys)
{
    ScratchDir dir;
    const std::string path = dir.file("pt.txt");
    writeFile(path, "minPitch = 40.5\ndpUseLocalOptim = 2.9\nframeSize = 256 % short\n");
    ptParam p;
    EXPECT_EQ(captureStdout([&] { ptParamSet(16000, 16, 1, path, p); }),
              "Warning: frameSize too small! (frameSize=256, frameDuration=16 ms < minFrameDuration=32 ms)\n");
    EXPECT_EQ(p.minPitch, 40.5f);
    EXPECT_EQ((Ints{p.dpUseLocalOptim, p.frameRate, p.maxLag}), (Ints{2, 62, 189})); // lag 188.63

    writeFile(path, "fs = 16000\nbogus = 1\n");
    EXPECT_EQ(fatalMessage([&] { ptParamFileRead(path, p); }),
              "Error in parsing " + path + ", unknown key = bogus (line 96 in lib\\audio)");
}

TEST(frame2acf, methodsOnATinyFrame)
{
    const int32_t x[] = {1, 2, 3, 4};
    const std::vector<Floats> acf = {{30, 20, 11}, {7.5f, 20.0f / 3, 5.5f}, {1, 2, 3}, {14, 20, 11}};
    Floats pf(3);
    for (int32_t method = 1; method <= 4; ++method) {
        frame2acf(x, 4, 3, method, false, pf.data());
        EXPECT_EQ(pf, acf[static_cast<size_t>(method - 1)]) << "method " << method;
    }
    auto out = [&](auto fn) {
        fn();
        return pf;
    };
    EXPECT_EQ(out([&] { frame2acf(x, 4, 3, 1, true, pf.data()); }), (Floats{6, 2, -1})); // mean 2: {-1, 0, 1, 2}
    const int32_t negative[] = {-1, -2, -2}; // mean -5 / 3 truncates to -1: {0, -1, -1}
    EXPECT_EQ(out([&] { frame2acf(negative, 3, 3, 1, true, pf.data()); }), (Floats{2, 1, 0}));
    EXPECT_EQ(out([&] { frame2amdf(x, 4, 3, 1, pf.data()); }), (Floats{0, 3, 4}));
    EXPECT_EQ(out([&] { frame2amdf(x, 4, 3, 2, pf.data()); }), (Floats{0, 1, 2}));
    EXPECT_EQ(testsupport::captureStdout([&] {
                  EXPECT_EQ(testsupport::programExitStatus([&] { frame2acf(x, 4, 3, 5, false, pf.data()); }), 1);
                  EXPECT_EQ(testsupport::programExitStatus([&] { frame2amdf(x, 4, 3, 0, pf.data()); }), 1);
              }),
              "Unknown method for frame2acf()!\nUnknown method for frame2amdf()!\n");
}

TEST(pitchCandidates, localOptimaInRangeAndSearchStart)
{
    ptParam p = param16k();
    Floats row(512, 0.0f);
    row[10] = 9;                     // below the smallest lag 15
    row[20] = row[21] = row[22] = 5; // flat top: rise at 20, fall at 23, (20 + 23) / 2
    row[100] = 3;
    row[101] = 1; // a second fall yields no candidate
    row[400] = 7; // beyond the largest lag 346
    std::vector<PitchCandidate> c;
    auto lags = [&](const ptParam& q) {
        pitchCandidates(row.data(), q, c);
        Ints out;
        for (const PitchCandidate& k : c)
            out.push_back(k.lag);
        return out;
    };
    EXPECT_EQ(lags(p), (Ints{21, 100}));
    EXPECT_EQ(c[1].value, 3.0);
    for (float& v : row)
        v = -v;
    EXPECT_EQ(lags(param16k(0)), (Ints{21, 100})); // minima of the magnitude difference
    p.dpUseLocalOptim = 0;
    EXPECT_EQ(lags(p).size(), 332u); // every lag 15..346

    // A falling autocorrelation is searched from lag 15 on: its largest value is there.
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = 1000.0f - static_cast<float>(i);
    float pitch = 0.0f, clarity = 0.0f;
    frame2pitch(row.data(), param16k(), pitch, clarity);
    EXPECT_FLOAT_EQ(pitch, static_cast<float>(freq2semitone(16000.0 / 15)));
    EXPECT_FLOAT_EQ(clarity, 0.985f);
}

TEST(pitchDp, jumpsCostAndTiesGoToTheFirst)
{
    ptParam p = param16k();
    std::vector<PitchFrame> run(1);
    run[0].candidates = {{40, 1.0}, {80, 5.0}, {100, 5.0}};
    Floats pitch(2, 0.0f);
    pitchDp(run, p, pitch);
    EXPECT_EQ(run[0].chosenLag, 80);
    EXPECT_FLOAT_EQ(pitch[0], static_cast<float>(kPitch200));

    // Frame 0 gains 0.5 by jumping 80 lags (119 tenths of semitones) to 160 and back.
    run.assign(2, {});
    run[0].candidates = {{80, 10.0}, {160, 10.5}};
    run[1].candidates = {{80, 10.0}, {160, 9.0}};
    auto lags = [&](int32_t method, int32_t order, float weight) {
        p.dpMethod = method;
        p.dpPosDiffOrder = order;
        p.indexDiffWeight = weight;
        pitchDp(run, p, pitch);
        return std::make_pair(run[0].chosenLag, run[1].chosenLag);
    };
    EXPECT_EQ(lags(1, 1, 1.0f), std::make_pair(80, 80));
    EXPECT_EQ(run[1].candidates[0].score, 20.0);
    const std::tuple<int32_t, int32_t, float, int32_t> cases[] = {
        {1, 1, 0.005f, 160}, {2, 1, 0.005f, 80}, {1, 1, 0.0001f, 160}, {1, 2, 0.0001f, 80}};
    for (const auto& [method, order, weight, first] : cases)
        EXPECT_EQ(lags(method, order, weight), std::make_pair(first, 80)) << method << order << weight;
}

TEST(pitchMedianFilter, orderAndEnds)
{
    auto filtered = [](Floats v, int32_t order) {
        pitchMedianFilter(v, order);
        return v;
    };
    EXPECT_EQ(filtered({1, 9, 2, 8, 3, 7, 4}, 5), (Floats{1, 9, 3, 7, 4, 7, 4}));
    EXPECT_EQ(filtered({1, 9, 2, 8, 3, 7, 4}, 4), (Floats{1, 9, 5, 5.5f, 5, 7, 4}));
    EXPECT_EQ(filtered({1, 9, 2, 8}, 5), (Floats{1, 9, 2, 8}));
    EXPECT_EQ((Floats{pitchMedian({0, 3, 0, 1, 2}), pitchMedian({0, 4, 1, 0, 3, 2}), pitchMedian({0, 0})}),
              (Floats{2, 2.5f, 0}));
}

TEST(pitchTrack, tonesAtTheirPitchAndGating)
{
    auto sine = [](double amplitude) {
        return [amplitude](int32_t i) { return static_cast<int32_t>(amplitude * std::sin(i * std::numbers::pi / 40)); };
    };
    // Decaying pulses every 80 samples (rich in harmonics) for half a second, then loud noise.
    uint32_t seed = 1;
    auto pulsesThenNoise = [&](int32_t i) {
        seed = seed * 1664525u + 1013904223u;
        if (i < 16000)
            return static_cast<int32_t>(20000 * std::exp(-(i % 80) / 8.0));
        return static_cast<int32_t>(seed >> 16) - 32768;
    };
    const Ints tone = framedSignal(sine(10000), sine(100));
    const Ints pulses = framedSignal(pulsesThenNoise, [](int32_t) { return 0; });
    ptParam p = param16k();
    expect200Hz(tone, p, 15, 46);
    expect200Hz(tone, param16k(0), 15, 46);
    expect200Hz(pulses, p, 15, 30);

    Floats pitch;
    p.cutLeadingTrailingZero = 1;
    pitchTrack(tone.data(), 32000, p, pitch);
    // Frames 15..46 moved to 0..31, the rest as it was.
    EXPECT_TRUE(std::abs(pitch[0] - kPitch200) < 0.2 && std::abs(pitch[46] - kPitch200) < 0.2 && pitch[47] == 0);

    // Without the gating, the quiet tone and the noise get pitch.
    p.cutLeadingTrailingZero = 0;
    p.useVolThreshold = 0;
    pitchTrack(tone.data(), 32000, p, pitch);
    EXPECT_NEAR(pitch[0], kPitch200, 0.2);
    p.useClarityThreshold = 0;
    pitchTrack(pulses.data(), 32000, p, pitch);
    EXPECT_NE(pitch[40], 0.0f);
    // No path is traced through a single frame.
    EXPECT_EQ(pitchTrack(tone.data() + 8000, 512, p, pitch), 1);
    EXPECT_EQ(pitch, Floats(1, 0.0f));
}

TEST(pitchTrack, silenceAndShortInputs)
{
    const ptParam p = param16k();
    Floats pitch(3, 7.0f); // resized and filled
    const Ints silence(16000, 0);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(pitchTrack(silence.data(), 16000, p, pitch), 31); }),
              "Warning: Cannot find any segment after epdByVol! (line 1168 of file lib\\audio)\n");
    EXPECT_EQ(pitch, Floats(31, 0.0f));
    EXPECT_EQ(pitchTrack(silence.data(), 511, p, pitch), 0);
    EXPECT_TRUE(pitch.empty());
}
