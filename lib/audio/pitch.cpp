#include "audio/pitch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "audio/epd.h"
#include "audio/volume.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"

namespace {

constexpr double kLn2 = 0.69314718055995;
// Scale of the pitch function matrix after normalisation.
constexpr float kPfScale = 1048576.0f;
// Values of at most this magnitude multiply without overflowing int64.
constexpr int64_t kProductSafe = 3037000499;

bool knownPfType(int32_t pfType)
{
    return pfType == 0 || pfType == 1;
}

// a / b, with the IEEE result for b == 0 but without dividing by zero.
double safeRatio(double a, double b)
{
    if (b != 0.0)
        return a / b;
    if (a > 0.0)
        return std::numeric_limits<double>::infinity();
    if (a < 0.0)
        return -std::numeric_limits<double>::infinity();
    return std::numeric_limits<double>::quiet_NaN();
}

// Lag of a pitch at the rate; saturated to the int range (roundHalfAway), 0 when undefined.
int32_t pitchLag(int32_t fs, float pitch)
{
    return roundHalfAway(safeRatio(fs, semitone2freq(static_cast<double>(pitch))));
}

// Pitch of a lag at the rate; 0 for lags below 1.
double lagPitch(int32_t fs, int32_t lag)
{
    if (lag <= 0)
        return 0.0;
    return freq2semitone(static_cast<double>(fs) / lag);
}

// Lag range of the pitch range, the largest lag below pfLen.
void lagRange(const ptParam& p, int32_t& minLag, int32_t& maxLag)
{
    minLag = pitchLag(p.fs, p.maxPitch);
    maxLag = std::min(pitchLag(p.fs, p.minPitch), p.pfLen > 0 ? p.pfLen - 1 : -1);
}

// Frame sums shared by the autocorrelation and the magnitude difference: term(x[i], x[i + lag])
// summed in float over the pairs of the method.
template <typename Term>
void lagSums(const int32_t* x, int32_t n, int32_t pfLen, int32_t method, Term term, float* pf)
{
    for (int32_t lag = 0; lag < pfLen; ++lag) {
        const int64_t pairs = static_cast<int64_t>(n) - lag;
        int64_t count = pairs;
        if (method == 3)
            count = static_cast<int64_t>(n) - pfLen;
        else if (method == 4)
            count = std::min<int64_t>(pfLen, pairs);
        float sum = 0.0f;
        for (int64_t i = 0; i < count; ++i)
            sum += term(x[i], x[i + lag]);
        if (method == 2)
            sum = pairs > 0 ? sum / static_cast<float>(pairs) : 0.0f;
        pf[lag] = sum;
    }
}

// Total order on floats with NaN last, for sorting pitch values from any source.
bool lessNanLast(float a, float b)
{
    return !std::isnan(a) && (std::isnan(b) || a < b);
}

// Median of v (reordered): the mean of the two middle values for an even count.
float medianOf(std::vector<float>& v)
{
    const size_t n = v.size();
    std::sort(v.begin(), v.end(), lessNanLast);
    if (n % 2 == 1)
        return v[n / 2];
    return (v[n / 2 - 1] + v[n / 2]) / 2.0f;
}


} // namespace

double freq2semitone(double freq)
{
    if (!(freq > 0.0))
        return 0.0;
    return 69.0 + 12.0 * std::log(freq / 440.0) / kLn2;
}

double semitone2freq(double semitone)
{
    if (!(semitone > 0.0))
        return 0.0;
    return 440.0 * std::pow(2.0, (semitone - 69.0) / 12.0);
}

void ptParamSet(int32_t fs, int32_t nbits, int32_t pfType, const std::string& paramFile, ptParam& param)
{
    param = ptParam{};
    param.fs = fs;
    param.nbits = nbits;
    param.pfType = pfType;
    param.frameStep = roundHalfAway(static_cast<double>(fs) * 32.0 / 1000.0);
    param.frameSize = param.frameStep % 2 != 0 ? param.frameStep + 1 : param.frameStep;
    param.overlap = param.frameSize - param.frameStep;
    param.pfLen = param.frameSize;
    param.auxRate = static_cast<float>(fs) * 20.0f / 8000.0f;
    param.auxLevel = std::ldexp(1.0f, std::clamp(nbits, -200, 200)) / 256.0f * 5.0f;
    if (!knownPfType(pfType))
        fatalError("Unknown pfType=%d (line %d in %s)!\n", pfType, 391, "lib\\audio");
    // Weights tuned for the autocorrelation of 8 kHz speech.
    if (pfType == 1 && fs == 8000) {
        param.pfWeight = 4.0f;
        param.indexDiffWeight = 388.0f;
        param.dpMethod = 2;
        param.dpPosDiffOrder = 1;
        param.dpUseLocalOptim = 1;
    }

    if (fileExists(paramFile))
        ptParamFileRead(paramFile, param);

    const double frameDuration = safeRatio(param.frameSize * 1000.0, param.fs);
    if (frameDuration < 32.0)
        conPrintf("Warning: frameSize too small! (frameSize=%d, frameDuration=%g ms < minFrameDuration=%g ms)\n",
                  param.frameSize, frameDuration, 32.0);

    const int64_t hop = static_cast<int64_t>(param.frameSize) - param.overlap;
    param.frameRate = hop != 0 ? static_cast<int32_t>(std::clamp<int64_t>(param.fs / hop, INT32_MIN, INT32_MAX)) : 0;
    lagRange(param, param.minLag, param.maxLag);
    param.useAcf = param.pfType == 1 ? 1 : 0;
}

void ptParamFileRead(const std::string& path, ptParam& param)
{
    struct IntKey {
        const char* name;
        int32_t ptParam::*field;
    };
    struct FloatKey {
        const char* name;
        float ptParam::*field;
    };
    static const IntKey intKeys[] = {
        {"fs", &ptParam::fs},
        {"nbits", &ptParam::nbits},
        {"pfType", &ptParam::pfType},
        {"frameSize", &ptParam::frameSize},
        {"overlap", &ptParam::overlap},
        {"pfLen", &ptParam::pfLen},
        {"ppcNum", &ptParam::ppcNum},
        {"dpMethod", &ptParam::dpMethod},
        {"dpPosDiffOrder", &ptParam::dpPosDiffOrder},
        {"useVolThreshold", &ptParam::useVolThreshold},
        {"useClarityThreshold", &ptParam::useClarityThreshold},
        {"medianFilterOrder", &ptParam::medianFilterOrder},
        {"cutLeadingTrailingZero", &ptParam::cutLeadingTrailingZero},
    };
    static const FloatKey floatKeys[] = {
        {"minPitch", &ptParam::minPitch},
        {"maxPitch", &ptParam::maxPitch},
        {"pitchRangeMax", &ptParam::pitchRangeMax},
        {"pitchDiffMax", &ptParam::pitchDiffMax},
        {"maxMedianPitchDiff", &ptParam::maxMedianPitchDiff},
        {"pfWeight", &ptParam::pfWeight},
        {"indexDiffWeight", &ptParam::indexDiffWeight},
        {"clarityRatio", &ptParam::clarityRatio},
    };

    std::vector<std::string> keys;
    std::vector<std::string> values;
    readKeyValueFile(path, keys, values);
    for (size_t i = 0; i < keys.size() && i < values.size(); ++i) {
        const std::string& key = keys[i];
        const std::string& value = values[i];
        if (key == "dpUseLocalOptim") {
            param.dpUseLocalOptim = parseTruncatedNumber(value);
            continue;
        }
        const auto intKey = std::find_if(std::begin(intKeys), std::end(intKeys),
                                         [&](const IntKey& k) { return key == k.name; });
        if (intKey != std::end(intKeys)) {
            param.*(intKey->field) = parseLeadingInt(value);
            continue;
        }
        const auto floatKey = std::find_if(std::begin(floatKeys), std::end(floatKeys),
                                           [&](const FloatKey& k) { return key == k.name; });
        if (floatKey != std::end(floatKeys)) {
            param.*(floatKey->field) = static_cast<float>(std::strtod(value.c_str(), nullptr));
            continue;
        }
        fatalError("Error in parsing %s, unknown key = %s (line %d in %s)", path.c_str(), key.c_str(), 96,
                   "lib\\audio");
    }
}

// Checks the method (an unknown one ends the program) and clears the pitch function; false when
// there is nothing to compute.
static bool startLagFunction(const char* name, const int32_t* frame, int32_t frameSize, int32_t pfLen, int32_t method,
                             float* pf)
{
    if (method < 1 || method > 4) {
        conPrintf("Unknown method for %s()!\n", name);
        fatalExit(1, name);
    }
    if (pfLen <= 0 || pf == nullptr)
        return false;
    std::fill(pf, pf + pfLen, 0.0f);
    return frameSize > 0 && frame != nullptr;
}

void frame2acf(const int32_t* frame, int32_t frameSize, int32_t pfLen, int32_t method, bool removeMean, float* pf)
{
    if (!startLagFunction("frame2acf", frame, frameSize, pfLen, method, pf))
        return;

    int64_t mean = 0;
    int64_t spread = 0; // largest magnitude of a (centred) sample
    if (removeMean) {
        int64_t sum = 0;
        for (int32_t i = 0; i < frameSize; ++i)
            sum += frame[i];
        mean = sum / frameSize;
    }
    for (int32_t i = 0; i < frameSize; ++i)
        spread = std::max<int64_t>(spread, std::llabs(frame[i] - mean));

    if (spread <= kProductSafe) {
        lagSums(frame, frameSize, pfLen, method,
                [mean](int64_t a, int64_t b) { return static_cast<float>((a - mean) * (b - mean)); }, pf);
    } else {
        // Centred products beyond int64: exact in double up to 2^53, then rounded once to float.
        lagSums(frame, frameSize, pfLen, method,
                [mean](int64_t a, int64_t b) {
                    return static_cast<float>(static_cast<double>(a - mean) * static_cast<double>(b - mean));
                },
                pf);
    }
}

void frame2amdf(const int32_t* frame, int32_t frameSize, int32_t pfLen, int32_t method, float* pf)
{
    if (!startLagFunction("frame2amdf", frame, frameSize, pfLen, method, pf))
        return;
    lagSums(frame, frameSize, pfLen, method,
            [](int64_t a, int64_t b) { return static_cast<float>(std::llabs(a - b)); }, pf);
}

void frame2pitch(const float* pf, const ptParam& param, float& pitch, float& clarity)
{
    pitch = 0.0f;
    clarity = 0.0f;
    if (!knownPfType(param.pfType))
        fatalError("Unknown ptParam.pfType=%d (line %d of file %s)", param.pfType, 582, "lib\\audio");
    const int32_t len = param.pfLen;
    if (pf == nullptr || len <= 0)
        return;
    const bool acf = param.pfType == 1;
    const int32_t maxLag = std::min(param.maxLag, len - 1);
    const int32_t start = std::max(param.minLag, 0);

    // The search begins where the function first turns toward the optimum.
    int32_t k = start;
    for (int32_t i = start; i < len - 1; ++i) {
        if (acf ? pf[i + 1] > pf[i] : pf[i] > pf[i + 1]) {
            k = i;
            break;
        }
    }
    if (k > maxLag)
        return;

    int32_t best = k;
    float largest = pf[k];
    float smallest = pf[k];
    for (int32_t i = k + 1; i <= maxLag; ++i) {
        if (acf ? pf[i] > pf[best] : pf[i] < pf[best])
            best = i;
        largest = std::max(largest, pf[i]);
        smallest = std::min(smallest, pf[i]);
    }
    pitch = static_cast<float>(lagPitch(param.fs, best));
    if (acf) {
        clarity = pf[0] != 0.0f ? std::max(pf[best], 0.0f) / pf[0] : 0.0f;
        if (clarity > 1.0f)
            clarity = 0.0f;
    } else {
        clarity = largest != 0.0f ? 1.0f - smallest / largest : 0.0f;
    }
}

void pitchCandidates(const float* pf, const ptParam& param, std::vector<PitchCandidate>& candidates)
{
    candidates.clear();
    if (!knownPfType(param.pfType))
        fatalError("Unknown ptParam.pfType=%d (line %d of file %s)", param.pfType, 764, "lib\\audio");
    const int32_t len = param.pfLen;
    if (pf == nullptr || len <= 0)
        return;
    const int32_t lo = pitchLag(param.fs, param.maxPitch);
    const int32_t hi = pitchLag(param.fs, param.minPitch);
    auto add = [&](int32_t lag) {
        if (lag >= lo && lag <= hi) {
            PitchCandidate c;
            c.lag = lag;
            c.value = static_cast<double>(pf[lag]);
            candidates.push_back(c);
        }
    };

    if (param.dpUseLocalOptim != 1) {
        for (int32_t lag = 0; lag < len; ++lag)
            add(lag);
        return;
    }
    // A flat top (or bottom) yields its middle lag.
    const bool maxima = param.pfType == 1;
    int32_t turn = -1;
    for (int32_t i = 1; i < len; ++i) {
        const float a = pf[i - 1];
        const float b = pf[i];
        if (maxima ? b > a : b < a) {
            turn = i;
        } else if ((maxima ? a > b : a < b) && turn >= 0) {
            add((turn + i) / 2);
            turn = -1;
        }
    }
}

void pitchDp(std::span<PitchFrame> frames, const ptParam& param, std::span<float> pitch)
{
    if (!knownPfType(param.pfType))
        fatalError("Unknown ptParam.pfType=%d (line %d of file %s)", param.pfType, 942, "lib\\audio");
    if (frames.empty())
        return;
    const bool acf = param.pfType == 1;

    // Tenths of semitones of every lag of the run, for distances in pitch.
    std::vector<int32_t> tenth;
    if (param.dpMethod != 1) {
        int32_t top = 0;
        for (const PitchFrame& f : frames) {
            for (const PitchCandidate& c : f.candidates)
                top = std::max(top, c.lag);
        }
        tenth.assign(static_cast<size_t>(top) + 1, 0);
        for (size_t i = 1; i < tenth.size(); ++i)
            tenth[i] = roundHalfAway(10.0 * lagPitch(param.fs, static_cast<int32_t>(i)));
    }
    auto tenthOf = [&](int32_t lag) { return lag > 0 ? tenth[static_cast<size_t>(lag)] : 0; };
    auto distance = [&](int32_t a, int32_t b) {
        const int64_t d = param.dpMethod == 1 ? std::llabs(static_cast<int64_t>(a) - b)
                                              : std::llabs(static_cast<int64_t>(tenthOf(a)) - tenthOf(b));
        const double dd = static_cast<double>(d);
        return param.dpPosDiffOrder == 1 ? dd : dd * dd;
    };
    const double pfWeight = static_cast<double>(param.pfWeight);
    const double diffWeight = static_cast<double>(param.indexDiffWeight);
    auto better = [acf](double a, double b) { return acf ? a > b : a < b; };

    for (size_t t = 0; t < frames.size(); ++t) {
        std::vector<PitchCandidate>& cur = frames[t].candidates;
        const std::vector<PitchCandidate>* prev = t > 0 ? &frames[t - 1].candidates : nullptr;
        for (PitchCandidate& c : cur) {
            c.score = pfWeight * c.value;
            c.back = -1;
            if (prev == nullptr || prev->empty())
                continue;
            double best = 0.0;
            for (size_t i = 0; i < prev->size(); ++i) {
                const double step = diffWeight * distance((*prev)[i].lag, c.lag);
                const double s = acf ? (*prev)[i].score - step : (*prev)[i].score + step;
                if (c.back < 0 || better(s, best)) {
                    best = s;
                    c.back = static_cast<int32_t>(i);
                }
            }
            c.score += best;
        }
    }

    const std::vector<PitchCandidate>& last = frames.back().candidates;
    if (last.empty())
        return;
    int32_t idx = 0;
    for (size_t i = 1; i < last.size(); ++i) {
        if (better(last[i].score, last[static_cast<size_t>(idx)].score))
            idx = static_cast<int32_t>(i);
    }
    for (size_t t = frames.size(); t-- > 0 && idx >= 0;) {
        const std::vector<PitchCandidate>& cands = frames[t].candidates;
        if (static_cast<size_t>(idx) >= cands.size())
            break;
        const PitchCandidate& c = cands[static_cast<size_t>(idx)];
        frames[t].chosenLag = c.lag;
        if (t < pitch.size())
            pitch[t] = static_cast<float>(lagPitch(param.fs, c.lag));
        idx = c.back;
    }
}

void pitchMedianFilter(std::vector<float>& pitch, int32_t order)
{
    if (order <= 0)
        return;
    const size_t m = static_cast<size_t>(order);
    const size_t half = m / 2;
    const size_t n = pitch.size();
    if (half >= n || half >= n - half)
        return;
    const std::vector<float> copy(pitch);
    std::vector<float> window(m);
    for (size_t t = half; t < n - half; ++t) {
        std::copy_n(copy.begin() + static_cast<std::ptrdiff_t>(t - half), m, window.begin());
        pitch[t] = medianOf(window);
    }
}

float pitchMedian(const std::vector<float>& pitch)
{
    std::vector<float> voiced;
    for (float p : pitch) {
        if (p != 0.0f)
            voiced.push_back(p);
    }
    return voiced.empty() ? 0.0f : medianOf(voiced);
}

int32_t pitchTrack(const int32_t* samples, int32_t sampleNum, const ptParam& param, std::vector<float>& pitch)
{
    PitchTrackDetail detail;
    return pitchTrack(samples, sampleNum, param, pitch, detail);
}

int32_t pitchTrack(const int32_t* samples, int32_t sampleNum, const ptParam& param, std::vector<float>& pitch,
                   PitchTrackDetail& detail)
{
    if (!knownPfType(param.pfType))
        fatalError("Unknown pfType=%d (line %d of file %s)", param.pfType, 523, "lib\\audio");
    ptParam p = param;
    lagRange(p, p.minLag, p.maxLag);

    const int32_t frameNum = samples != nullptr ? frameCount(sampleNum, p.frameSize, p.overlap) : 0;
    const size_t frames = static_cast<size_t>(std::max(frameNum, 0));
    const size_t len = static_cast<size_t>(std::max(p.pfLen, 0));
    pitch.assign(frames, 0.0f);
    detail.chosenLag.assign(frames, -1);
    detail.clarity.assign(frames, 0.0f);
    detail.pfMatrix.assign(frames * len, 0.0f);
    if (frames == 0)
        return 0;
    const int64_t hop = static_cast<int64_t>(p.frameSize) - p.overlap;

    // Pitch function of every frame, scaled so that its largest magnitude is 2^20.
    std::vector<float>& matrix = detail.pfMatrix;
    auto row = [&](size_t t) { return matrix.data() + t * len; };
    for (size_t t = 0; t < frames; ++t) {
        const int32_t* frame = samples + static_cast<int64_t>(t) * hop;
        if (p.pfType == 1)
            frame2acf(frame, p.frameSize, p.pfLen, 1, true, row(t));
        else
            frame2amdf(frame, p.frameSize, p.pfLen, 2, row(t));
    }
    float largest = 0.0f;
    for (float v : matrix)
        largest = std::max(largest, std::fabs(v));
    if (largest > 0.0f) {
        for (float& v : matrix)
            v = v / largest * kPfScale;
    }

    if (p.useAcf != 0 && p.pfType == 1) {
        for (size_t t = 0; t < frames; ++t) {
            float framePitch = 0.0f;
            float clarity = 0.0f;
            frame2pitch(row(t), p, framePitch, clarity);
            std::for_each(row(t), row(t) + len, [clarity](float& v) { v *= clarity; });
        }
    }

    std::vector<PitchFrame> track(frames);
    for (size_t t = 0; t < frames; ++t)
        pitchCandidates(row(t), p, track[t].candidates);
    if (frames > 1) {
        size_t t = 0;
        while (t < frames) {
            if (track[t].candidates.empty()) {
                ++t;
                continue;
            }
            size_t end = t;
            while (end < frames && !track[end].candidates.empty())
                ++end;
            pitchDp(std::span<PitchFrame>(track).subspan(t, end - t), p,
                    std::span<float>(pitch).subspan(t, end - t));
            t = end;
        }
    }

    if (p.useVolThreshold != 0) {
        EpdParam epd;
        epdParamSet(p.fs, epd);
        const std::vector<EpdSegment> segments = epdByVol(samples, sampleNum, p.fs, epd);
        if (segments.empty())
            conPrintf("Warning: Cannot find any segment after epdByVol! (line %d of file %s)\n", 1168, "lib\\audio");
        // Pitch frame whose centre is nearest to an endpoint frame's centre.
        auto pitchFrame = [&](int32_t epdFrame) {
            const int32_t sample = frame2sampleIndex(epdFrame, epd.frameSize, epd.overlap);
            const double at = (static_cast<double>(sample) + 1.0 - p.frameSize / 2) / static_cast<double>(hop);
            return std::max(roundHalfAway(at), 0);
        };
        std::vector<char> marked(frames, 0);
        for (const EpdSegment& s : segments) {
            const int64_t end = std::min<int64_t>(pitchFrame(s.endFrame), frameNum - 1);
            for (int64_t t = pitchFrame(s.beginFrame); t <= end; ++t)
                marked[static_cast<size_t>(t)] = 1;
        }
        for (size_t t = 0; t < frames; ++t) {
            if (!marked[t])
                pitch[t] = 0.0f;
        }
    }

    float clearest = 0.0f;
    for (size_t t = 0; t < frames; ++t) {
        const int32_t lag = track[t].chosenLag;
        const float* r = row(t);
        float clarity = 0.0f;
        if (lag >= 0 && static_cast<size_t>(lag) < len && r[0] != 0.0f)
            clarity = r[lag] / r[0];
        if (clarity < 0.0f || clarity > 1.0f)
            clarity = 0.0f;
        detail.chosenLag[t] = lag;
        detail.clarity[t] = clarity;
        clearest = std::max(clearest, clarity);
    }
    if (p.useClarityThreshold != 0) {
        const float threshold = p.clarityRatio * clearest;
        for (size_t t = 0; t < frames; ++t) {
            if (detail.clarity[t] < threshold)
                pitch[t] = 0.0f;
        }
    }

    if (p.medianFilterOrder > 2)
        pitchMedianFilter(pitch, p.medianFilterOrder);

    if (p.cutLeadingTrailingZero != 0) {
        const auto first = std::find_if(pitch.begin(), pitch.end(), [](float v) { return v != 0.0f; });
        if (first != pitch.end()) {
            const auto last = std::find_if(pitch.rbegin(), pitch.rend(), [](float v) { return v != 0.0f; }).base();
            std::copy(first, last, pitch.begin());
        }
    }
    return frameNum;
}
