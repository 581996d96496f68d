#include "frontend/CMel.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "frontend/fft.h"

namespace {

// loChan stores channel numbers in 16 bits; the number of cepstra shares the bound.
constexpr int32_t kMaxChannels = 32767;
// Longest regression half-window, in frames (longer ones only repeat the edge frames).
constexpr int32_t kMaxRegressionWindow = 1000;
// Longest frame whose FFT length still fits an int32.
constexpr int32_t kMaxWindowSize = 1 << 30;

constexpr double kLogZeroEnergy = -10000000000.0;
constexpr double kMinEnergy = 2.45e-308;

// Truncates toward zero into [lo, hi]; NaN gives lo.
int32_t truncClamp(double v, int32_t lo, int32_t hi)
{
    if (std::isnan(v) || v < lo)
        return lo;
    if (v > hi)
        return hi;
    return static_cast<int32_t>(v);
}

float melOfBin(int32_t k, float fres)
{
    return static_cast<float>(1127.0 * std::log(1.0 + (k - 1) * static_cast<double>(fres)));
}

float melOfFreq(float hz)
{
    return static_cast<float>(1127.0 * std::log(1.0 + hz / 700.0));
}

size_t at(int64_t t, int32_t vecSize, int32_t column)
{
    return static_cast<size_t>(t) * static_cast<size_t>(vecSize) + static_cast<size_t>(column);
}

// Where the parts of a feature row lie for a kind: the static part (cepstra, then c0 with _0,
// then log energy with _E) from column 0, deltas and accelerations of it after it.
struct FeatureLayout {
    int32_t staticWidth = 0;
    int32_t energyColumn = -1; // -1 without _E
};

FeatureLayout layoutOf(const MfccConfig& cfg)
{
    FeatureLayout layout;
    const bool hasC0 = (cfg.targetKind & PK_HAS_0) != 0;
    const bool hasE = (cfg.targetKind & PK_HAS_E) != 0;
    layout.staticWidth = cfg.numCeps + (hasC0 ? 1 : 0) + (hasE ? 1 : 0);
    if (hasE)
        layout.energyColumn = cfg.numCeps + (hasC0 ? 1 : 0);
    return layout;
}

// Accelerations are the deltas of the deltas. Without _D the deltas are not part of the row, so
// they are taken here on the side; the row has room for the accelerations of the first `keep`
// static values (the cepstra: its length is NUMCEPS + the static width).
void accelerationsWithoutDeltas(float* data, int32_t frames, int32_t width, int32_t staticWidth, int32_t keep,
                                int32_t deltaWindow, int32_t accWindow)
{
    const int32_t scratchWidth = 3 * staticWidth;
    std::vector<float> scratch;
    try {
        scratch.assign(static_cast<size_t>(frames) * static_cast<size_t>(scratchWidth), 0.0f);
    } catch (const std::bad_alloc&) {
        fatalError("Not enough memory for the accelerations of %d frames of %d features", frames, staticWidth);
    }
    for (int32_t t = 0; t < frames; ++t)
        std::copy(data + at(t, width, 0), data + at(t, width, staticWidth), scratch.data() + at(t, scratchWidth, 0));
    regressionAdd(scratch.data(), frames, scratchWidth, 0, staticWidth, staticWidth, deltaWindow);
    regressionAdd(scratch.data(), frames, scratchWidth, staticWidth, 2 * staticWidth, staticWidth, accWindow);
    for (int32_t t = 0; t < frames; ++t) {
        const float* acc = scratch.data() + at(t, scratchWidth, 2 * staticWidth);
        std::copy(acc, acc + keep, data + at(t, width, staticWidth));
    }
}

void checkRegressionWindow(const char* key, int32_t window)
{
    if (window < 1 || window > kMaxRegressionWindow)
        fatalError("%s = %d is out of range 1..%d", key, window, kMaxRegressionWindow);
}

} // namespace

std::vector<float> hammingInit(int32_t windowSize)
{
    std::vector<float> w(static_cast<size_t>(std::max(windowSize, 0)) + 1, 1.0f);
    if (windowSize < 2)
        return w;
    const double step = FFT_TWO_PI / (windowSize - 1);
    for (int32_t i = 1; i <= windowSize; ++i)
        w[static_cast<size_t>(i)] = static_cast<float>(0.54 - 0.46 * std::cos(step * (i - 1)));
    return w;
}

std::vector<float> lifterInit(int32_t cepLifter, int32_t numCeps)
{
    std::vector<float> l(static_cast<size_t>(std::max(numCeps, 0)) + 1, 1.0f);
    if (cepLifter <= 0)
        return l;
    const double half = cepLifter / 2.0;
    for (int32_t i = 1; i <= numCeps; ++i)
        l[static_cast<size_t>(i)] = static_cast<float>(1.0 + half * std::sin(i * FFT_PI / cepLifter));
    return l;
}

MelFilterBank melFilterBankInit(const MfccConfig& config, int32_t windowSize, int32_t samplePeriod)
{
    if (windowSize < 2 || windowSize > kMaxWindowSize)
        fatalError("Cannot build a filter bank for frames of %d samples", windowSize);
    if (samplePeriod < 1)
        fatalError("Cannot build a filter bank for a sample period of %d", samplePeriod);
    if (config.numChans < 1 || config.numChans > kMaxChannels)
        fatalError("NUMCHANS = %d is out of range 1..%d", config.numChans, kMaxChannels);

    MelFilterBank fb;
    fb.frameSize = windowSize;
    fb.numChans = config.numChans;
    fb.samplePeriod = samplePeriod;
    fb.usePower = config.usePower;
    fb.takeLogs = true;
    fb.fftN = 2;
    while (windowSize > fb.fftN)
        fb.fftN *= 2;
    const int32_t n2 = fb.fftN / 2;
    fb.fres = static_cast<float>(10000000.0 / (samplePeriod * static_cast<double>(fb.fftN) * 700.0));

    fb.klo = 2;
    fb.khi = n2;
    float mlo = 0.0f;
    float mhi = melOfBin(n2 + 1, fb.fres);
    if (config.loFreq >= 0.0f) {
        mlo = melOfFreq(config.loFreq);
        const double bin = config.loFreq * static_cast<float>(samplePeriod) * 1e-7 * fb.fftN + 2.5;
        fb.klo = truncClamp(bin, 2, n2 + 1);
    }
    if (config.hiFreq >= 0.0f) {
        mhi = melOfFreq(config.hiFreq);
        const double bin = config.hiFreq * static_cast<float>(samplePeriod) * 1e-7 * fb.fftN + 0.5;
        fb.khi = truncClamp(bin, 0, n2);
    }

    const int32_t maxChan = fb.numChans + 1;
    fb.cf.assign(static_cast<size_t>(maxChan) + 1, 0.0f);
    fb.cf[0] = mlo;
    const float span = mhi - mlo;
    for (int32_t i = 1; i <= maxChan; ++i)
        fb.cf[static_cast<size_t>(i)] = static_cast<float>(i) / static_cast<float>(maxChan) * span + mlo;

    fb.loChan.assign(static_cast<size_t>(n2) + 1, -1);
    fb.loWt.assign(static_cast<size_t>(n2) + 1, 0.0f);
    int32_t chan = 1;
    for (int32_t k = 1; k <= n2; ++k) {
        if (k < fb.klo || k > fb.khi)
            continue;
        const float melk = melOfBin(k, fb.fres);
        while (chan <= maxChan && melk > fb.cf[static_cast<size_t>(chan)])
            ++chan;
        const int32_t ch = chan - 1;
        if (ch > fb.numChans)
            continue; // above the top edge: feeds no channel
        const auto idx = static_cast<size_t>(ch);
        fb.loChan[static_cast<size_t>(k)] = static_cast<int16_t>(ch);
        fb.loWt[static_cast<size_t>(k)] = ch > 0 ? (fb.cf[idx + 1] - melk) / (fb.cf[idx + 1] - fb.cf[idx])
                                                 : (fb.cf[1] - melk) / (fb.cf[1] - mlo);
    }

    fb.x.assign(static_cast<size_t>(fb.fftN), 0.0f);
    fb.chan.assign(static_cast<size_t>(fb.numChans) + 1, 0.0f);
    return fb;
}

void melFilterBankApply(MelFilterBank& fb)
{
    const int32_t n2 = fb.fftN / 2;
    if (fb.fftN < 2 || fb.numChans < 1 || fb.x.size() != static_cast<size_t>(fb.fftN) ||
        fb.loChan.size() <= static_cast<size_t>(n2) || fb.loWt.size() <= static_cast<size_t>(n2) ||
        fb.chan.size() <= static_cast<size_t>(fb.numChans))
        fatalError("The mel filter bank is not initialised");

    // Shorter transforms have no bin inside klo..khi.
    if (fb.fftN >= 4)
        realFft(fb.x.data(), fb.fftN);
    std::fill(fb.chan.begin(), fb.chan.end(), 0.0f);
    const int32_t numChans = fb.numChans;
    const int32_t lo = std::max(fb.klo, 1);
    const int32_t hi = std::min(fb.khi, n2);
    for (int32_t k = lo; k <= hi; ++k) {
        // Bin k (from 1) is the FFT's bin k - 1.
        const float re = fb.x[static_cast<size_t>(2 * (k - 1))];
        const float im = fb.x[static_cast<size_t>(2 * (k - 1) + 1)];
        float e = re * re + im * im;
        if (!fb.usePower)
            e = std::sqrt(e);
        const int32_t ch = fb.loChan[static_cast<size_t>(k)];
        const float t = fb.loWt[static_cast<size_t>(k)] * e;
        if (ch > 0 && ch <= numChans)
            fb.chan[static_cast<size_t>(ch)] += t;
        if (ch >= 0 && ch < numChans)
            fb.chan[static_cast<size_t>(ch) + 1] += e - t;
    }
    if (fb.takeLogs) {
        for (int32_t ch = 1; ch <= numChans; ++ch) {
            float& m = fb.chan[static_cast<size_t>(ch)];
            m = static_cast<float>(std::log(std::max(m, 1.0f)));
        }
    }
}

void frameToMfcc(const float* frame, const MfccConfig& config, const std::vector<float>& hamming,
                 const std::vector<float>& lifter, MelFilterBank& fb, float* out)
{
    const int32_t n = fb.frameSize;
    const int32_t numCeps = config.numCeps;
    const int32_t numChans = fb.numChans;
    if (n < 2 || n > fb.fftN || fb.x.size() != static_cast<size_t>(fb.fftN) || numChans != config.numChans ||
        fb.chan.size() <= static_cast<size_t>(numChans) || numCeps < 1 ||
        (config.useHamming && hamming.size() <= static_cast<size_t>(n)) ||
        (config.cepLifter > 0 && lifter.size() <= static_cast<size_t>(numCeps)))
        fatalError("The filter bank, window or lifter does not match the feature configuration");

    // The frame is prepared in place in the FFT buffer.
    float* s = fb.x.data();
    std::copy(frame, frame + n, s);
    if (config.zMeanSource) {
        float sum = 0.0f;
        for (int32_t i = 0; i < n; ++i)
            sum += s[i];
        const float mean = sum / static_cast<float>(n);
        for (int32_t i = 0; i < n; ++i)
            s[i] -= mean;
    }
    float energy = 0.0f;
    for (int32_t i = 0; i < n; ++i)
        energy += s[i] * s[i];
    const float k = config.preEmCoef;
    if (k > 0.0f) {
        for (int32_t i = n - 1; i >= 1; --i)
            s[i] -= k * s[i - 1];
        s[0] *= 1.0f - k;
    }
    if (config.useHamming) {
        for (int32_t i = 0; i < n; ++i)
            s[i] *= hamming[static_cast<size_t>(i) + 1];
    }
    std::fill(s + n, s + fb.fftN, 0.0f);
    melFilterBankApply(fb);

    const float* m = fb.chan.data();
    const double norm = std::sqrt(2.0 / numChans);
    for (int32_t j = 1; j <= numCeps; ++j) {
        float c = 0.0f;
        for (int32_t ch = 1; ch <= numChans; ++ch)
            c = static_cast<float>(c + m[ch] * std::cos(j * (ch - 0.5) * FFT_PI / numChans));
        c = static_cast<float>(c * norm);
        if (config.cepLifter > 0)
            c *= lifter[static_cast<size_t>(j)];
        out[j - 1] = c;
    }
    int32_t col = numCeps;
    if (config.targetKind & PK_HAS_0) {
        float sum = 0.0f;
        for (int32_t ch = 1; ch <= numChans; ++ch)
            sum += m[ch];
        out[col++] = static_cast<float>(sum * norm);
    }
    if (config.targetKind & PK_HAS_E)
        out[col] = static_cast<float>(energy < kMinEnergy ? kLogZeroEnergy : std::log(energy));
}

void energyNormalise(float* data, int32_t frameNum, int32_t vecSize, int32_t energyColumn, float silFloor,
                     float eScale)
{
    if (frameNum < 0 || energyColumn < 0 || energyColumn >= vecSize)
        fatalError("Cannot normalise energy in column %d of %d frames of %d values", energyColumn, frameNum, vecSize);
    if (frameNum == 0)
        return;
    float emax = data[energyColumn];
    for (int32_t t = 1; t < frameNum; ++t)
        emax = std::max(emax, data[at(t, vecSize, energyColumn)]);
    const auto floor = static_cast<float>(emax - silFloor * std::log(10.0) / 10.0);
    for (int32_t t = 0; t < frameNum; ++t) {
        float& e = data[at(t, vecSize, energyColumn)];
        if (e < floor)
            e = floor;
        e = static_cast<float>(1.0 - (emax - e) * eScale);
    }
}

void regressionAdd(float* data, int32_t frameNum, int32_t vecSize, int32_t srcBegin, int32_t destBegin, int32_t width,
                   int32_t window)
{
    if (frameNum < 0 || width < 0 || srcBegin < 0 || destBegin < 0 ||
        int64_t{srcBegin} + width > vecSize || int64_t{destBegin} + width > vecSize || window < 1 ||
        window > kMaxRegressionWindow)
        fatalError("Cannot take deltas of columns %d.. into %d.. (%d wide, window %d) in rows of %d values", srcBegin,
                   destBegin, width, window, vecSize);
    double sumSquares = 0.0;
    for (int32_t theta = 1; theta <= window; ++theta)
        sumSquares += static_cast<double>(theta) * theta;
    const auto denom = static_cast<float>(2.0 * sumSquares);
    const int64_t last = int64_t{frameNum} - 1;
    for (int64_t t = 0; t <= last; ++t) {
        for (int32_t j = 0; j < width; ++j) {
            float sum = 0.0f;
            for (int32_t theta = 1; theta <= window; ++theta) {
                const float later = data[at(std::min(t + theta, last), vecSize, srcBegin + j)];
                const float earlier = data[at(std::max(t - theta, int64_t{0}), vecSize, srcBegin + j)];
                sum += static_cast<float>(theta) * (later - earlier);
            }
            data[at(t, vecSize, destBegin + j)] = sum / denom;
        }
    }
}

void cepMeanRemove(float* data, int32_t frameNum, int32_t vecSize, int32_t columns)
{
    if (frameNum < 0 || columns < 0 || columns > vecSize)
        fatalError("Cannot remove the means of %d columns from rows of %d values", columns, vecSize);
    if (frameNum == 0)
        return;
    for (int32_t j = 0; j < columns; ++j) {
        double sum = 0.0;
        for (int32_t t = 0; t < frameNum; ++t)
            sum += data[at(t, vecSize, j)];
        const double mean = sum / frameNum;
        for (int32_t t = 0; t < frameNum; ++t) {
            float& v = data[at(t, vecSize, j)];
            v = static_cast<float>(v - mean);
        }
    }
}

void CMel::waveToMfcc(const int32_t* samples, int32_t fs, int32_t nbits, int32_t sampleNum, const std::string& cfgFile,
                      int32_t& frameNum, int32_t& vecSize)
{
    std::string text;
    if (!readFileBytes(cfgFile, text)) {
        conPrintf("Cannot open %s (line %d, file %s)\n", cfgFile.c_str(), 129, "lib\\CMel");
        configFileRead(cfgFile);
        fatalError("Cannot open feature configuration file %s", cfgFile.c_str());
    }
    configTextApply(text, m_config, cfgFile);
    const MfccConfig& cfg = m_config;

    if (nbits != 16)
        fatalError("Cannot compute features of %d-bit samples; 16 bits are expected", nbits);
    if (fs <= 0)
        fatalError("Cannot compute features at a sampling rate of %d Hz", fs);
    m_samplePeriod = static_cast<int32_t>(10000000.0 / fs);
    if (m_samplePeriod < 1)
        fatalError("Cannot compute features at a sampling rate of %d Hz", fs);
    const auto period = static_cast<float>(m_samplePeriod);
    m_windowSize = truncClamp(cfg.windowSize / period, 0, 2147483647);
    if (m_windowSize < 2)
        fatalError("WINDOWSIZE = %g gives frames of %d samples; at least 2 are needed", cfg.windowSize, m_windowSize);
    m_frameShift = truncClamp(cfg.targetRate / period, 0, 2147483647);
    if (m_frameShift < 1)
        fatalError("TARGETRATE = %g gives a frame shift of %d samples; at least 1 is needed", cfg.targetRate,
                   m_frameShift);
    if (sampleNum < m_windowSize)
        fatalError("Cannot compute features of %d samples: fewer than one window of %d samples", sampleNum,
                   m_windowSize);
    if (cfg.numCeps < 1 || cfg.numCeps > kMaxChannels)
        fatalError("NUMCEPS = %d is out of range 1..%d", cfg.numCeps, kMaxChannels);
    const FeatureLayout layout = layoutOf(cfg);
    const bool hasD = (cfg.targetKind & PK_HAS_D) != 0;
    const bool hasA = (cfg.targetKind & PK_HAS_A) != 0;
    if (hasD || hasA)
        checkRegressionWindow("DELTAWINDOW", cfg.deltaWindow);
    if (cfg.targetKind & PK_HAS_A)
        checkRegressionWindow("ACCWINDOW", cfg.accWindow);

    m_config.vecSize = paramKindVectorSize(cfg.targetKind, cfg.numCeps);
    const int32_t frames = (sampleNum - m_windowSize) / m_frameShift + 1;
    const int32_t width = m_config.vecSize;

    const std::vector<float> hamming = hammingInit(m_windowSize);
    const std::vector<float> lifter = lifterInit(cfg.cepLifter, cfg.numCeps);
    MelFilterBank fb = melFilterBankInit(cfg, m_windowSize, m_samplePeriod);

    m_features = FeatureMatrix{};
    try {
        m_features.data.assign(static_cast<size_t>(frames) * static_cast<size_t>(width), 0.0f);
    } catch (const std::bad_alloc&) {
        fatalError("Not enough memory for %d frames of %d features", frames, width);
    }
    m_features.frameNum = frames;
    m_features.vecSize = width;
    float* data = m_features.data.data();

    std::vector<float> frame(static_cast<size_t>(m_windowSize));
    for (int32_t t = 0; t < frames; ++t) {
        const int32_t* src = samples + static_cast<size_t>(t) * static_cast<size_t>(m_frameShift);
        for (int32_t i = 0; i < m_windowSize; ++i)
            frame[static_cast<size_t>(i)] = static_cast<float>(src[i]);
        frameToMfcc(frame.data(), cfg, hamming, lifter, fb, data + at(t, width, 0));
    }

    const int32_t sw = layout.staticWidth;
    if (layout.energyColumn >= 0 && cfg.eNormalise)
        energyNormalise(data, frames, width, layout.energyColumn, cfg.silFloor, cfg.eScale);
    if (hasD)
        regressionAdd(data, frames, width, 0, sw, sw, cfg.deltaWindow);
    if (hasA && hasD)
        regressionAdd(data, frames, width, sw, 2 * sw, sw, cfg.accWindow);
    else if (hasA)
        accelerationsWithoutDeltas(data, frames, width, sw, width - sw, cfg.deltaWindow, cfg.accWindow);
    if (cfg.targetKind & PK_HAS_Z)
        cepMeanRemove(data, frames, width, cfg.numCeps);

    frameNum = frames;
    vecSize = width;
}
