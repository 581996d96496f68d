#include "audio/signalCondition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "audio/volume.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "frontend/fft.h"

namespace {

const int32_t TARGET_FS = 16000;
const int32_t TARGET_NBITS = 16;
// Volume check and noise test: 20 ms frames every 10 ms at 16 kHz.
const int32_t CHECK_FRAME = 320;
const int32_t CHECK_OVERLAP = 160;

int32_t saturate32(int64_t v)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

bool isPowerOfTwo(int32_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

void amplify(WaveSignal& wave)
{
    if (wave.nbits == TARGET_NBITS)
        return;
    if (wave.nbits < 1 || wave.nbits > TARGET_NBITS)
        fatalError("Cannot condition a signal of %d bits", wave.nbits);
    conPrintf("nbits=%d ===> Amplify to have nbits=%d\n", wave.nbits, TARGET_NBITS);
    const int64_t factor = int64_t{1} << (TARGET_NBITS - wave.nbits);
    for (int32_t& s : wave.samples)
        s = saturate32(s * factor);
    wave.nbits = TARGET_NBITS;
}

void resampleTo16k(WaveSignal& wave)
{
    if (wave.fs == TARGET_FS)
        return;
    if (wave.fs <= 0)
        fatalError("Cannot condition a signal at %d Hz", wave.fs);
    conPrintf("fs=%d ===> Resample to have fs=%d\n", wave.fs, TARGET_FS);
    const int32_t count = static_cast<int32_t>(wave.samples.size());
    int32_t newCount = 0;
    if (count > 0) {
        const double n = std::floor((count - 1) * static_cast<double>(TARGET_FS) / wave.fs) + 1;
        if (n > std::numeric_limits<int32_t>::max())
            fatalError("Cannot resample %d samples from %d Hz to %d Hz: too many samples", count, wave.fs,
                       TARGET_FS);
        newCount = static_cast<int32_t>(n);
    }
    std::vector<int32_t> out(static_cast<size_t>(newCount));
    resample(wave.samples.data(), count, wave.fs, TARGET_FS, out.data(), newCount);
    wave.samples.swap(out);
    wave.fs = TARGET_FS;
}

// True when the 10% quietest and loudest frames differ by less than the factor of a steady noise.
bool isSteadyNoise(const std::vector<int32_t>& samples)
{
    std::vector<int32_t> volume;
    wave2volume(samples.data(), static_cast<int32_t>(samples.size()), CHECK_FRAME, CHECK_OVERLAP, volume, 1);
    const size_t frames = volume.size();
    if (frames == 0)
        return false;
    std::sort(volume.begin(), volume.end());
    const size_t k = std::max<size_t>(frames / 10, 1);
    int32_t low = volume[k - 1];
    if (low == 0)
        low = 1;
    const int32_t high = volume[frames - k];
    return static_cast<float>(high) / static_cast<float>(low) < 2.35456f;
}

void removeDc(std::vector<int32_t>& samples)
{
    if (samples.empty())
        return;
    // A 64-bit sum: 32 bits overflow for long loud signals.
    int64_t sum = 0;
    for (int32_t s : samples)
        sum += s;
    const int64_t mean = sum / static_cast<int64_t>(samples.size());
    for (int32_t& s : samples)
        s = saturate32(s - mean);
}

} // namespace

void volCheckParamRead(const std::string& path, VolCheckParam& param)
{
    param = VolCheckParam{};
    if (path.empty())
        return;
    std::vector<std::string> keys;
    std::vector<std::string> values;
    readKeyValueFile(path, keys, values);
    for (size_t i = 0; i < keys.size() && i < values.size(); ++i) {
        const float value = static_cast<float>(std::strtod(values[i].c_str(), nullptr));
        if (keys[i] == "maxVolTh")
            param.maxVolTh = value;
        else if (keys[i] == "minVolTh")
            param.minVolTh = value;
        else if (keys[i] == "satAmpRatio")
            param.satAmpRatio = value;
        else if (keys[i] == "satSampleCountRatioTh")
            param.satSampleCountRatioTh = value;
        else
            fatalError("Error in parsing %s, unknown key = %s (line %d in %s)", path.c_str(), keys[i].c_str(), 31,
                       "lib\\audio");
    }
}

int volumeCheck(const int32_t* samples, int32_t sampleNum, const std::string& paramPath)
{
    VolCheckParam param;
    volCheckParamRead(paramPath, param);

    std::vector<int32_t> volume;
    wave2volume(samples, sampleNum, CHECK_FRAME, CHECK_OVERLAP, volume, 1);
    const int32_t frames = static_cast<int32_t>(volume.size());
    // Without a whole frame there is nothing to judge.
    if (frames == 0)
        return VOL_CHECK_GOOD;
    const int32_t maxVol = intMax(volume.data(), frames);
    const int32_t minVol = intMin(volume.data(), frames);

    int result = VOL_CHECK_GOOD;
    if (static_cast<float>(minVol) > param.minVolTh * 320.0f)
        result = VOL_CHECK_MIN_TOO_BIG;
    else if (param.maxVolTh * 320.0f > static_cast<float>(maxVol))
        result = VOL_CHECK_MAX_TOO_SMALL;

    const float satLevel = param.satAmpRatio * 32768.0f;
    int32_t saturated = 0;
    for (int32_t i = 0; i < sampleNum; ++i) {
        const float s = static_cast<float>(samples[i]);
        if (s > satLevel || s < -satLevel)
            ++saturated;
    }
    if (static_cast<float>(saturated / frames) > param.satSampleCountRatioTh)
        result = VOL_CHECK_SATURATED;
    return result;
}

void resample(const int32_t* in, int32_t inNum, int32_t fromRate, int32_t toRate, int32_t* out, int32_t outNum)
{
    if (outNum <= 0)
        return;
    if (inNum <= 0) {
        std::fill(out, out + outNum, 0);
        return;
    }
    if (fromRate <= 0 || toRate <= 0)
        fatalError("Cannot resample from %d Hz to %d Hz", fromRate, toRate);
    out[0] = in[0];
    out[outNum - 1] = in[inNum - 1];
    for (int32_t j = 1; j < outNum - 1; ++j) {
        const double t = static_cast<double>(j) * fromRate / toRate;
        const double fi = std::floor(t);
        // Beyond the input (an output count larger than the two rates give) the last sample repeats.
        if (fi >= inNum - 1) {
            out[j] = in[inNum - 1];
            continue;
        }
        const int32_t i = static_cast<int32_t>(fi);
        const double f = t - fi;
        out[j] = roundHalfAway(static_cast<float>(in[i + 1] * f + in[i] * (1 - f)));
    }
}

std::vector<int32_t> specSubtract(const int32_t* samples, int32_t sampleNum, int32_t fs)
{
    sampleNum = std::max(sampleNum, 0);
    const int32_t N = static_cast<int32_t>(fs * 0.032);
    // The FFT takes powers of two only (512 at 16 kHz, the one rate conditioning uses).
    if (N < 2 || !isPowerOfTwo(N))
        fatalError("Cannot subtract the noise spectrum at %d Hz: frames of %d samples are not a power of two", fs,
                   N);
    const int32_t O = static_cast<int32_t>(N * 0.6);
    const int32_t H = N - O;
    const int32_t M = (sampleNum - O) / H;
    // Too short for a single frame: nothing to subtract.
    if (M <= 0)
        return std::vector<int32_t>(samples, samples + sampleNum);
    // The noise spectrum comes from the first quarter second; a shorter signal uses all its frames
    // (at least one).
    int32_t K = static_cast<int32_t>((fs * 0.25 - O) / H);
    K = std::clamp(K, 1, M);

    std::vector<float> window(static_cast<size_t>(N));
    for (int32_t i = 0; i < N; ++i)
        window[static_cast<size_t>(i)] =
            0.54f - 0.46f * std::cos(static_cast<float>(i) * 6.2831855f / static_cast<float>(N - 1));

    std::vector<float> buf(2 * static_cast<size_t>(N));
    auto transformFrame = [&](int32_t frame) {
        const int32_t* x = samples + static_cast<int64_t>(frame) * H;
        for (int32_t i = 0; i < N; ++i) {
            buf[2 * static_cast<size_t>(i)] = static_cast<float>(x[i]) * window[static_cast<size_t>(i)];
            buf[2 * static_cast<size_t>(i) + 1] = 0.0f;
        }
        complexFft(buf.data(), N, -1, false);
    };

    std::vector<float> noise(static_cast<size_t>(N), 0.0f);
    for (int32_t j = 0; j < K; ++j) {
        transformFrame(j);
        for (size_t k = 0; k < noise.size(); ++k)
            noise[k] += buf[2 * k] * buf[2 * k] + buf[2 * k + 1] * buf[2 * k + 1];
    }
    for (float& p : noise)
        p /= static_cast<float>(K);

    std::vector<int64_t> sum(static_cast<size_t>(H) * M + O, 0);
    for (int32_t j = 0; j < M; ++j) {
        transformFrame(j);
        for (size_t k = 0; k < noise.size(); ++k) {
            const float re = buf[2 * k];
            const float im = buf[2 * k + 1];
            const float p = std::max(re * re + im * im - noise[k], 0.0f);
            const float phase = std::atan2(im, re);
            const float magnitude = std::sqrt(p);
            buf[2 * k] = magnitude * std::cos(phase);
            buf[2 * k + 1] = magnitude * std::sin(phase);
        }
        complexFft(buf.data(), N, +1, true);
        const size_t start = static_cast<size_t>(j) * H;
        for (size_t i = 0; i < static_cast<size_t>(N); ++i)
            sum[start + i] += roundHalfAway(buf[2 * i]);
    }

    std::vector<int32_t> out(sum.size());
    for (size_t i = 0; i < sum.size(); ++i)
        out[i] = saturate32(sum[i]);
    return out;
}

bool signalCondition(WaveSignal& wave, const conditionSettings& settings, std::vector<std::string>& warnings)
{
    // The count and the array agree from here on.
    const size_t count = static_cast<size_t>(std::max(wave.sampleNum, 0));
    if (wave.samples.size() > count)
        wave.samples.resize(count);
    wave.sampleNum = static_cast<int32_t>(wave.samples.size());

    amplify(wave);
    resampleTo16k(wave);
    wave.sampleNum = static_cast<int32_t>(wave.samples.size());

    bool subtracted = false;
    if (wave.sampleNum <= CHECK_FRAME) {
        conPrintf("Warning: signal of %d samples is too short for the volume check and the noise test\n",
                  wave.sampleNum);
    } else {
        std::string message;
        switch (volumeCheck(wave.samples.data(), wave.sampleNum, settings.volCheckPrmFile)) {
        case VOL_CHECK_MAX_TOO_SMALL:
            message = strPrintf(
                "Volume check: Max volume too small. Please increase the microphone's gain. (line %d in %s)", 322,
                "lib\\recogTask");
            break;
        case VOL_CHECK_MIN_TOO_BIG:
            message = strPrintf("Volume check: Min volume too big. Please use a uni-directional microphone. Do not "
                                "use builtin microphones of notebooks. (line %d in %s)",
                                325, "lib\\recogTask");
            break;
        case VOL_CHECK_SATURATED:
            message = strPrintf("Volume check: Too many saturated wave samples. Please decrease the microphone's "
                                "gain. Please do not turn on gain boost. (line %d in %s)",
                                328, "lib\\recogTask");
            break;
        default:
            break;
        }
        if (!message.empty()) {
            warnings.push_back(message);
            if (settings.useWaveReject)
                fatalError("%s", message.c_str());
        }

        if (settings.useSpecSubtraction && isSteadyNoise(wave.samples)) {
            conPrintf("Perform spectrum subtraction...\n");
            wave.samples = specSubtract(wave.samples.data(), wave.sampleNum, wave.fs);
            wave.sampleNum = static_cast<int32_t>(wave.samples.size());
            subtracted = true;
        }
    }

    removeDc(wave.samples);
    wave.sampleNum = static_cast<int32_t>(wave.samples.size());
    return subtracted;
}
