#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "frontend/CMel.h"
#include "support/testSupport.h"

using testsupport::ScratchDir;

namespace {

const double kPi = std::numbers::pi;

double melOf(double hz) { return 1127.0 * std::log(1.0 + hz / 700.0); }
double hzOf(double mel) { return 700.0 * (std::exp(mel / 1127.0) - 1.0); }

// Deterministic noise in [-amplitude, amplitude].
std::vector<int32_t> noise(size_t n, int32_t amplitude, uint32_t seed = 1)
{
    std::vector<int32_t> s(n);
    for (auto& v : s) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
    }
    return s;
}

struct Result {
    FeatureMatrix f;
    int32_t windowSize, frameShift, samplePeriod;
    float at(int32_t t, int32_t d) const { return f.data.at(static_cast<size_t>(t * f.vecSize + d)); }
};

Result compute(const std::vector<int32_t>& samples, const std::string& cfgText, int32_t fs = 16000,
               int32_t nbits = 16)
{
    ScratchDir dir;
    testsupport::writeFile(dir.file("mfcc.cfg"), cfgText);
    CMel mel;
    int32_t frameNum = 0, vecSize = 0;
    mel.waveToMfcc(samples.data(), fs, nbits, static_cast<int32_t>(samples.size()), dir.file("mfcc.cfg"), frameNum,
                   vecSize);
    Result r{mel.takeFeatures(), mel.m_windowSize, mel.m_frameShift, mel.m_samplePeriod};
    EXPECT_TRUE(r.f.frameNum == frameNum && r.f.vecSize == vecSize);
    EXPECT_EQ(r.f.data.size(), static_cast<size_t>(frameNum * vecSize));
    return r;
}

} // namespace

TEST(Mfcc, FramingRatesAndRejectedInputs)
{
    Result r = compute(noise(16000, 3000), "");
    EXPECT_EQ(std::vector<int>({r.samplePeriod, r.windowSize, r.frameShift, r.f.frameNum, r.f.vecSize}),
              std::vector<int>({625, 320, 160, 99, 39}));
    EXPECT_EQ(compute(noise(479, 3000), "").f.frameNum, 1);
    EXPECT_EQ(compute(noise(480, 3000), "").f.frameNum, 2);

    r = compute(noise(11025, 3000), "", 11025); // 200000 / 907 = 220.5
    EXPECT_EQ(std::vector<int>({r.samplePeriod, r.windowSize, r.frameShift, r.f.frameNum}),
              std::vector<int>({907, 220, 110, (11025 - 220) / 110 + 1}));

    EXPECT_EQ(compute(noise(3200, 3000), "TARGETKIND=MFCC_E_0_D_A\nNUMCEPS=11").f.vecSize, 39);
    EXPECT_EQ(compute(noise(3200, 3000), "TARGETKIND=MFCC_E\nNUMCEPS=20\nENORMALISE=F").f.vecSize, 21);

    const std::vector<int32_t> s = noise(1600, 3000);
    auto fatalOf = [](const std::vector<int32_t>& samples, const char* cfg, int32_t fs = 16000, int32_t nbits = 16) {
        return testsupport::fatalMessage([&] { compute(samples, cfg, fs, nbits); });
    };
    const std::string tooShort = fatalOf(noise(319, 3000), "");
    EXPECT_TRUE(tooShort.find("319") != tooShort.npos && tooShort.find("320") != tooShort.npos) << tooShort;
    for (const char* cfg : {"NUMCHANS=40000", "NUMCEPS=0", "WINDOWSIZE=-2e5", "TARGETRATE=nan", "ACCWINDOW=5000",
                            "TARGETKIND=MFCC_A\nDELTAWINDOW=0"})
        EXPECT_FALSE(fatalOf(s, cfg).empty()) << cfg;
    EXPECT_FALSE(fatalOf(s, "", 16000, 8).empty() || fatalOf(s, "", 0).empty());
}

// Kinds whose static part is not 13 wide used to be refused; their dynamic columns follow the
// static width, and each column is what the default kind computes for the same value.
TEST(Mfcc, DynamicColumnsFollowTheStaticWidth)
{
    const std::vector<int32_t> s = noise(3200, 3000, 7);
    const Result def = compute(s, "");
    const int32_t frames = def.f.frameNum;
    // Column c of r against column d of the default kind, in every frame.
    auto sameColumns = [&](const Result& r, int32_t c, int32_t d, int32_t count) {
        ASSERT_EQ(r.f.frameNum, frames);
        for (int32_t t = 0; t < frames; ++t)
            for (int32_t k = 0; k < count; ++k)
                ASSERT_EQ(r.at(t, c + k), def.at(t, d + k)) << "frame " << t << " column " << c + k;
    };

    // Energy and accelerations without deltas: 13 static values and the accelerations (deltas of
    // the deltas) of the 12 cepstra, 25 columns as the configuration reader says.
    const Result ea = compute(s, "TARGETKIND=MFCC_E_A");
    EXPECT_EQ(ea.f.vecSize, 25);
    sameColumns(ea, 0, 0, 13);
    sameColumns(ea, 13, 26, 12);
    // No energy: 12 static values, their deltas and accelerations.
    const Result da = compute(s, "TARGETKIND=MFCC_D_A");
    EXPECT_EQ(da.f.vecSize, 36);
    sameColumns(da, 0, 0, 12);
    sameColumns(da, 12, 13, 12);
    sameColumns(da, 24, 26, 12);

    // 16 cepstra with energy and mean removal: energy normalised in column 16, deltas from 17,
    // accelerations from 34; only the cepstra lose their means.
    const Result wide = compute(s, "NUMCEPS=16\nTARGETKIND=MFCC_E_D_A_Z");
    const Result plain = compute(s, "NUMCEPS=16\nTARGETKIND=MFCC_E_D_A");
    ASSERT_EQ(wide.f.vecSize, 51);
    float emax = -1e30f;
    std::vector<float> expected = plain.f.data;
    cepMeanRemove(expected.data(), frames, 51, 16);
    for (int32_t t = 0; t < frames; ++t)
        emax = std::max(emax, wide.at(t, 16));
    EXPECT_EQ(emax, 1.0f);
    EXPECT_EQ(wide.f.data, expected);
    std::vector<float> statics(plain.f.data);
    regressionAdd(statics.data(), frames, 51, 0, 17, 17, 2);
    regressionAdd(statics.data(), frames, 51, 17, 34, 17, 2);
    EXPECT_EQ(statics, plain.f.data);
    double sum = 0.0;
    for (int32_t t = 0; t < frames; ++t)
        sum += wide.at(t, 15);
    EXPECT_NEAR(sum, 0.0, 1e-3);

    // c0 and energy: energy is the last static value, after c0.
    const Result c0 = compute(s, "TARGETKIND=MFCC_E_0_D_A");
    EXPECT_EQ(c0.f.vecSize, 42);
    sameColumns(c0, 0, 0, 12);
    sameColumns(c0, 13, 12, 1);
    sameColumns(c0, 14 + 13, 13 + 12, 1); // energy's delta
}

TEST(MelFilterBank, EdgesCentresAndWeights)
{
    MelFilterBank fb = melFilterBankInit(MfccConfig{}, 320, 625);
    EXPECT_EQ(std::vector<int>({fb.fftN, fb.klo, fb.khi}), std::vector<int>({512, 2, 256}));
    ASSERT_EQ(fb.cf.size(), 28u);
    const double top = melOf(8000.0);
    for (int i = 1; i <= 27; ++i)
        EXPECT_NEAR(fb.cf[i], i * top / 27.0, 2e-3) << i;

    // Each used bin lies between its lower channel's centre and the next one, weighted linearly.
    EXPECT_EQ(fb.loChan.at(1), -1);
    for (int k = 2; k <= 256; ++k) {
        const double mel = melOf((k - 1) * 8000.0 / 256.0);
        const int ch = fb.loChan.at(k);
        ASSERT_TRUE(ch >= 0 && ch <= 26) << k;
        const double lower = ch > 0 ? fb.cf[ch] : 0.0;
        const double upper = fb.cf[ch + 1];
        EXPECT_TRUE(mel > lower - 1e-3 && mel <= upper + 1e-3) << k;
        EXPECT_NEAR(fb.loWt.at(k), (upper - mel) / (upper - lower), 1e-4) << k;
    }

    fb = melFilterBankInit(MfccConfig{.loFreq = 300.0f, .hiFreq = 3400.0f}, 320, 625);
    EXPECT_EQ(std::vector<int>({fb.klo, fb.khi}), std::vector<int>({12, 109})); // 9.6 + 2.5, 108.8 + 0.5
    EXPECT_EQ(std::vector<int>({fb.loChan.at(11), fb.loChan.at(12), fb.loChan.at(109), fb.loChan.at(110)}),
              std::vector<int>({-1, 0, 26, -1}));
    EXPECT_NEAR(fb.cf[0], melOf(300.0), 1e-3);
    EXPECT_NEAR(fb.cf[27], melOf(3400.0), 1e-3);

    // At 11025 Hz the bank follows the truncated sample period: it tops out at 10^7 / 907 / 2 Hz.
    fb = melFilterBankInit(MfccConfig{}, 220, 907);
    EXPECT_EQ(std::vector<int>({fb.fftN, fb.khi}), std::vector<int>({256, 128}));
    EXPECT_NEAR(fb.cf[27], melOf(1e7 / 907.0 / 2.0), 5e-3); // not 5512.5 Hz
}

TEST(MelFilterBank, ToneLandsInNearestChannel)
{
    MfccConfig cfg;
    MelFilterBank fb = melFilterBankInit(cfg, 320, 625);
    const std::vector<float> w = hammingInit(320);
    const double step = melOf(8000.0) / 27.0;
    for (int target : {6, 10, 15, 21, 26})
        for (double offset : {-0.3, 0.0, 0.3}) {
            const double hz = hzOf((target + offset) * step);
            std::fill(fb.x.begin(), fb.x.end(), 0.0f);
            for (int i = 0; i < 320; ++i)
                fb.x[i] = static_cast<float>(8000.0 * std::sin(2.0 * kPi * hz * i / 16000.0)) * w[i + 1];
            melFilterBankApply(fb);
            const auto peak = std::max_element(fb.chan.begin() + 1, fb.chan.end()) - fb.chan.begin();
            EXPECT_EQ(peak, target) << hz << " Hz";
        }
}

TEST(Mfcc, WindowLifterAndCosineTransform)
{
    const std::vector<float> w = hammingInit(321);
    for (auto [i, expected] : {std::pair{1, 0.08}, {321, 0.08}, {161, 1.0}, {222, double(w[100])}})
        EXPECT_NEAR(w[i], expected, 1e-6) << i;

    // With as many coefficients as channels (c0 included) the transform keeps the energy:
    // sum m^2 = c0^2 / 2 + sum c_j^2.
    MfccConfig cfg{.targetKind = PK_MFCC | PK_HAS_0, .cepLifter = 0, .numCeps = 25};
    MelFilterBank fb = melFilterBankInit(cfg, 320, 625);
    const std::vector<int32_t> s = noise(320, 5000);
    const std::vector<float> frame(s.begin(), s.end());
    std::vector<float> plain(26), lifted(26);
    frameToMfcc(frame.data(), cfg, hammingInit(320), lifterInit(0, 25), fb, plain.data());
    double channelEnergy = 0.0;
    for (int ch = 1; ch <= 26; ++ch)
        channelEnergy += fb.chan[ch] * fb.chan[ch];
    double cepEnergy = plain[25] * plain[25] / 2.0;
    for (int j = 0; j < 25; ++j)
        cepEnergy += plain[j] * plain[j];
    EXPECT_NEAR(cepEnergy, channelEnergy, 1e-5 * channelEnergy);

    cfg.cepLifter = 22;
    frameToMfcc(frame.data(), cfg, hammingInit(320), lifterInit(22, 25), fb, lifted.data());
    for (int j = 1; j <= 25; ++j) {
        const double expected = plain[j - 1] * (1.0 + 11.0 * std::sin(j * kPi / 22.0));
        EXPECT_NEAR(lifted[j - 1], expected, 1e-5 * std::max(1.0, std::fabs(expected))) << j;
    }
    EXPECT_EQ(lifted[25], plain[25]); // c0 is not liftered

    // Pre-emphasis turns a constant frame into the same frame scaled by 1 - k: every channel
    // moves by ln(1 - k), so c0 shifts by sqrt(2 / 26) * 26 * ln(1 - k) and the rest stay.
    cfg = {.targetKind = PK_MFCC | PK_HAS_0, .useHamming = false, .cepLifter = 0, .numCeps = 12};
    const std::vector<float> flat(320, 20000.0f);
    std::vector<float> emphasised(13);
    frameToMfcc(flat.data(), cfg, {}, {}, fb, emphasised.data());
    cfg.preEmCoef = 0.0f;
    frameToMfcc(flat.data(), cfg, {}, {}, fb, plain.data());
    EXPECT_NEAR(emphasised[12] - plain[12], std::sqrt(2.0 / 26.0) * 26.0 * std::log(0.025), 1e-3);
    for (int j = 0; j < 12; ++j)
        EXPECT_NEAR(emphasised[j], plain[j], 1e-3) << j;
}

TEST(Mfcc, EnergyOfKnownAndSilentFrames)
{
    // 320 zero-mean samples, then 320 of silence: frames 0 (signal), 1 (half) and 2 (silent).
    std::vector<int32_t> s(640, 0);
    double sumSquares = 0.0;
    for (int i = 0; i < 320; ++i) {
        s[i] = 100 * (2 * (i % 8) - 7);
        sumSquares += double(s[i]) * s[i];
    }
    Result r = compute(s, "TARGETKIND=MFCC_E\nENORMALISE=F\n");
    ASSERT_EQ(r.f.data.size(), 3u * 13u);
    EXPECT_NEAR(r.at(0, 12), std::log(sumSquares), 1e-5);
    EXPECT_NEAR(r.at(1, 12), std::log(sumSquares / 2.0), 1e-5);
    EXPECT_EQ(r.at(2, 12), -1e10f);
    EXPECT_EQ(std::vector<float>(r.f.data.begin() + 26, r.f.data.begin() + 38), std::vector<float>(12, 0.0f));

    // The frame mean is removed before the energy is taken.
    for (int i = 0; i < 640; ++i)
        s[i] += 500;
    r = compute(s, "TARGETKIND=MFCC_E\nENORMALISE=F\nZMEANSOURCE=T\n");
    EXPECT_TRUE(std::fabs(r.at(0, 12) - std::log(sumSquares)) < 1e-5 && r.at(2, 12) == -1e10f);
}

TEST(Mfcc, EnergyNormalisation)
{
    // Loudness rising over 0.1 s steps, then silence.
    std::vector<int32_t> s;
    for (int step = 0; step < 12; ++step)
        for (int32_t v : noise(1600, 2 << step, static_cast<uint32_t>(step + 7)))
            s.push_back(v);
    s.resize(s.size() + 4800, 0);

    const Result raw = compute(s, "ENORMALISE=F");
    const Result norm = compute(s, "");
    ASSERT_EQ(raw.f.frameNum, norm.f.frameNum);
    const int frames = raw.f.frameNum;
    int loudest = 0;
    for (int t = 1; t < frames; ++t)
        loudest = raw.at(t, 12) > raw.at(loudest, 12) ? t : loudest;
    EXPECT_EQ(norm.at(loudest, 12), 1.0f);

    const double range = 50.0 * std::log(10.0) / 10.0;
    const double floor = 1.0 - range * 0.1;
    for (int t = 0; t < frames; ++t) {
        const double e = norm.at(t, 12);
        EXPECT_TRUE(e <= 1.0 && e >= floor - 1e-5) << t;
        const double below = raw.at(loudest, 12) - raw.at(t, 12);
        EXPECT_NEAR(e, below < range ? 1.0 - 0.1 * below : floor, 1e-4) << t;
        // Deltas come from the normalised values, never from -1e10.
        EXPECT_LE(std::fabs(norm.at(t, 25)), 1.2) << t;
    }
    EXPECT_NEAR(norm.at(frames - 1, 12), -0.1513, 1e-4);
}

TEST(Mfcc, Regression)
{
    // Column 0 a ramp of slope 3, column 1 constant; deltas into columns 2 and 3.
    auto ramp = [](int frames) {
        std::vector<float> m(static_cast<size_t>(frames) * 4, 0.0f);
        for (int t = 0; t < frames; ++t) {
            m[t * 4] = 3.0f * t + 1.0f;
            m[t * 4 + 1] = 5.0f;
        }
        return m;
    };
    std::vector<float> m = ramp(10);
    regressionAdd(m.data(), 10, 4, 0, 2, 2, 2);
    const float expected[10] = {1.5f, 2.4f, 3, 3, 3, 3, 3, 3, 2.4f, 1.5f};
    for (int t = 0; t < 10; ++t)
        EXPECT_TRUE(std::fabs(m[t * 4 + 2] - expected[t]) < 1e-6 && m[t * 4 + 3] == 0.0f) << t;

    // Fewer frames than the window: the edges stand in for every missing neighbour.
    m = ramp(3);
    regressionAdd(m.data(), 3, 4, 0, 2, 2, 2);
    for (int t = 0; t < 3; ++t)
        EXPECT_NEAR(m[t * 4 + 2], t == 1 ? 1.8f : 1.5f, 1e-6) << t;
    for (int c : {2, 3}) // a window of 0; deltas running past the vector
        testsupport::fatalMessage([&] { regressionAdd(m.data(), 1, 4, 0, 2, c, c == 2 ? 0 : 2); });

    // A single frame through the whole computation: every delta and acceleration is 0.
    const Result one = compute(noise(320, 3000), "");
    ASSERT_EQ(one.f.frameNum, 1);
    EXPECT_EQ(one.at(0, 12), 1.0f);
    EXPECT_EQ(std::vector<float>(one.f.data.begin() + 13, one.f.data.end()), std::vector<float>(26, 0.0f));
}

TEST(Mfcc, CepstralMeanRemoval)
{
    const std::vector<int32_t> s = noise(8000, 4000, 3);
    const Result plain = compute(s, "");
    const Result z = compute(s, "TARGETKIND=MFCC_E_D_A_Z");
    // Columns 0-11 lose their means; energy, deltas and accelerations are untouched.
    for (int d = 0; d < 39; ++d) {
        double mean = 0.0;
        for (int t = 0; t < plain.f.frameNum; ++t)
            mean += d < 12 ? plain.at(t, d) / plain.f.frameNum : 0.0;
        for (int t = 0; t < plain.f.frameNum; ++t)
            EXPECT_NEAR(z.at(t, d), plain.at(t, d) - mean, 1e-5) << t << "," << d;
    }
}
