// recite-toy-data: a small synthetic language and a complete data set for it. Every phone is a
// clearly distinct synthetic sound; the recordings are sequences of these sounds with known
// durations, so their true segmentation is known; the acoustic models are fitted to features that
// our own front end computes from other renderings of the same texts.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "audio/signalCondition.h"
#include "audio/waveSignal.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/console.h"
#include "common/strUtil.h"
#include "frontend/CMel.h"

namespace {

const int32_t SAMPLE_RATE = 16000;
const int32_t FRAME_SHIFT = 160; // samples per 10 ms frame
const int32_t VEC_SIZE = 39;
const int32_t STREAM_SIZE = 13;
const int32_t EMITTING_STATES = 3;
const double BACKGROUND_NOISE = 6.0;     // standard deviation of the noise under everything
const double VARIANCE_FLOOR_RATIO = 0.01; // of the global variance of each feature
const int RENDERINGS_FOR_FITTING = 3;     // per text, besides the one written as a recording

// Deterministic random numbers, the same with every compiler and standard library.
class toyRandom {
public:
    explicit toyRandom(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int pick(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
    double gauss()
    {
        const double u = 1.0 - uniform(); // (0, 1]
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * uniform());
    }

private:
    uint64_t m_state;
};

enum class soundKind { tones, bandNoise, burst };

struct partial {
    double hz;
    double level; // relative to the first partial
};

struct phoneSound {
    const char* name;
    soundKind kind;
    double amplitude; // peak of the first partial; rms for noises
    std::vector<partial> partials;
    double lowHz = 0.0; // band of the noise
    double highHz = 0.0;
    int frames = 10; // nominal duration
};

std::vector<partial> harmonics(double f0, int count)
{
    std::vector<partial> p;
    for (int k = 1; k <= count; ++k)
        p.push_back({f0 * k, 1.0 / k});
    return p;
}

const std::vector<phoneSound>& phoneSounds()
{
    static const std::vector<phoneSound> sounds = {
        {"aa", soundKind::tones, 5000.0, harmonics(220.0, 16), 0.0, 0.0, 12},
        {"eh", soundKind::tones, 6000.0, {{700.0, 1.0}, {1700.0, 0.6}}, 0.0, 0.0, 12},
        {"iy", soundKind::tones, 6000.0, {{400.0, 1.0}, {2300.0, 0.6}}, 0.0, 0.0, 12},
        {"m", soundKind::tones, 2500.0, {{150.0, 1.0}, {300.0, 0.2}, {450.0, 0.1}}, 0.0, 0.0, 8},
        {"n", soundKind::tones, 2500.0, {{260.0, 1.0}, {520.0, 0.25}, {2200.0, 0.12}}, 0.0, 0.0, 8},
        {"ow", soundKind::tones, 6000.0, {{500.0, 1.0}, {900.0, 0.7}}, 0.0, 0.0, 12},
        {"s", soundKind::bandNoise, 1500.0, {}, 4000.0, 7000.0, 10},
        {"t", soundKind::burst, 5000.0, {}, 0.0, 0.0, 6},
    };
    return sounds;
}

const phoneSound& soundOf(const std::string& phone)
{
    for (const phoneSound& s : phoneSounds())
        if (phone == s.name)
            return s;
    fatalError("The toy language has no phone \"%s\"", phone.c_str());
}

// The lexicon: phonetic alphabets joined by "_", alternatives by "#"; recordings use the first.
struct toyWord {
    const char* word;
    const char* pas;
};
const toyWord WORDS[] = {
    {"eat", "iy_t"},     {"meets", "m_iy_t_s"}, {"men", "m_eh_n"}, {"moss", "m_aa_s"}, {"most", "m_ow_s_t#m_ow_s"},
    {"neat", "n_iy_t"},  {"not", "n_aa_t"},     {"on", "aa_n"},    {"seem", "s_iy_m"}, {"stone", "s_t_ow_n"},
    {"ten", "t_eh_n"},   {"tents", "t_eh_n_t_s"}, {"toast", "t_ow_s_t"}, {"tom", "t_aa_m"},
};

// The candidate texts; recording k reads text k.
const char* const TEXTS[] = {
    "Tom meets ten men.", "Tom meets most men.", "Most men eat toast.", "Stone tents seem neat.",
    "Not on moss, Tom!",
};
const int TEXT_NUM = static_cast<int>(std::size(TEXTS));

const char* const MFCC_CONFIG = "SOURCEKIND = WAVEFORM\n"
                                "SOURCEFORMAT = WAV\n"
                                "SOURCERATE = 625\n"
                                "TARGETKIND = MFCC_E_D_A\n"
                                "TARGETRATE = 100000.0\n"
                                "WINDOWSIZE = 200000.0\n"
                                "USEHAMMING = T\n"
                                "PREEMCOEF = 0.97\n"
                                "NUMCHANS = 26\n"
                                "CEPLIFTER = 22\n"
                                "NUMCEPS = 12\n"
                                "ENORMALISE = T\n";

const char* const NORMALIZATION_RULES = "% Text normalization for english: pattern#replacement#kind\n"
                                        "% kind g: replace everywhere; $: strip trailing; ^: strip leading "
                                        "(first character of the pattern)\n"
                                        ",# #g\n"
                                        ";# #g\n"
                                        ":# #g\n"
                                        "!# #g\n"
                                        "?# #g\n"
                                        "\"# #g\n"
                                        "  # #g\n"
                                        ".##$\n"
                                        " ##$\n"
                                        " ##^\n";

std::string firstPa(const std::string& word)
{
    for (const toyWord& w : WORDS)
        if (word == w.word) {
            const std::string pas = w.pas;
            return pas.substr(0, pas.find('#'));
        }
    fatalError("The toy lexicon has no word \"%s\"", word.c_str());
}

// Lower-case words of a text: letters kept, everything else separates.
std::vector<std::string> textWords(const std::string& text)
{
    std::vector<std::string> words(1);
    for (char c : text) {
        if (c >= 'A' && c <= 'Z')
            words.back() += static_cast<char>(c - 'A' + 'a');
        else if (c >= 'a' && c <= 'z')
            words.back() += c;
        else if (!words.back().empty())
            words.emplace_back();
    }
    if (words.back().empty())
        words.pop_back();
    return words;
}

// One unit of a recording: its model, the node it starts (empty for the following phones of a
// node) and its samples [begin, end), both multiples of the frame shift.
struct segment {
    std::string model;
    std::string node;
    int32_t begin = 0;
    int32_t end = 0;
};

struct utterance {
    std::vector<int32_t> samples;
    std::vector<segment> segments;
};

// Feature frames of a segment: those whose 20 ms window is centred inside it.
int32_t firstFrame(const segment& s)
{
    return std::max(s.begin / FRAME_SHIFT - 1, 0);
}

int32_t lastFrame(const segment& s, int32_t frameNum)
{
    return std::min(s.end / FRAME_SHIFT - 2, frameNum - 1);
}

// Raised-cosine fade over `ramp` samples at both ends.
void fadeEdges(std::vector<double>& x, size_t ramp)
{
    ramp = std::min(ramp, x.size() / 2);
    for (size_t i = 0; i < ramp; ++i) {
        const double g = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / static_cast<double>(ramp));
        x[i] *= g;
        x[x.size() - 1 - i] *= g;
    }
}

// Second-order sections of the audio cookbook, run in place.
void biquad(std::vector<double>& x, double hz, bool highPass)
{
    const double w = 2.0 * std::numbers::pi * hz / SAMPLE_RATE;
    const double alpha = std::sin(w) / std::numbers::sqrt2; // Q = 1 / sqrt(2)
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    const double b0 = (highPass ? (1.0 + c) : (1.0 - c)) / 2.0 / a0;
    const double b1 = (highPass ? -(1.0 + c) : (1.0 - c)) / a0;
    const double b2 = b0;
    const double a1 = -2.0 * c / a0;
    const double a2 = (1.0 - alpha) / a0;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    for (double& v : x) {
        const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = y;
    }
}

void scaleToRms(std::vector<double>& x, double rms)
{
    double sum = 0.0;
    for (double v : x)
        sum += v * v;
    if (sum > 0.0) {
        const double g = rms / std::sqrt(sum / static_cast<double>(x.size()));
        for (double& v : x)
            v *= g;
    }
}

// `count` samples of a phone, with this rendering's small changes of pitch and loudness.
std::vector<double> renderPhone(const phoneSound& sound, size_t count, toyRandom& rng)
{
    const double pitch = rng.uniform(0.98, 1.02);
    const double loudness = rng.uniform(0.85, 1.15);
    std::vector<double> x(count, 0.0);
    switch (sound.kind) {
    case soundKind::tones:
        for (const partial& p : sound.partials) {
            const double step = 2.0 * std::numbers::pi * p.hz * pitch / SAMPLE_RATE;
            const double phase = rng.uniform(0.0, 2.0 * std::numbers::pi);
            const double a = sound.amplitude * loudness * p.level;
            for (size_t i = 0; i < count; ++i)
                x[i] += a * std::sin(phase + step * static_cast<double>(i));
        }
        fadeEdges(x, 48);
        break;
    case soundKind::bandNoise: {
        // White noise through two high-pass and two low-pass sections, after a settling run-in.
        const size_t runIn = 512;
        std::vector<double> n(count + runIn);
        for (double& v : n)
            v = rng.gauss();
        for (int k = 0; k < 2; ++k) {
            biquad(n, sound.lowHz, true);
            biquad(n, sound.highHz, false);
        }
        std::copy(n.begin() + static_cast<std::ptrdiff_t>(runIn), n.end(), x.begin());
        scaleToRms(x, sound.amplitude * loudness);
        fadeEdges(x, 48);
        break;
    }
    case soundKind::burst:
        // Broadband noise dying away with a 20 ms time constant.
        for (size_t i = 0; i < count; ++i)
            x[i] = sound.amplitude * loudness * rng.gauss() * std::exp(-static_cast<double>(i) / (0.02 * SAMPLE_RATE));
        fadeEdges(x, 16);
        break;
    }
    return x;
}

// A reading of a text: leading silence, the words with short pauses between them, trailing
// silence; every duration within a frame of its nominal value.
utterance renderText(const std::string& text, uint64_t seed)
{
    toyRandom rng(seed);
    utterance u;
    std::vector<double> signal;
    auto append = [&](const std::string& model, const std::string& node, const std::vector<double>& x) {
        segment s;
        s.model = model;
        s.node = node;
        s.begin = static_cast<int32_t>(signal.size());
        signal.insert(signal.end(), x.begin(), x.end());
        s.end = static_cast<int32_t>(signal.size());
        u.segments.push_back(s);
    };
    auto quiet = [&](int frames) { return std::vector<double>(static_cast<size_t>(frames * FRAME_SHIFT), 0.0); };

    append("sil", "sil", quiet(20 + rng.pick(-1, 1)));
    const std::vector<std::string> words = textWords(text);
    for (size_t w = 0; w < words.size(); ++w) {
        if (w > 0)
            append("sp", "sp", quiet(7 + rng.pick(-1, 1)));
        const std::string pa = firstPa(words[w]);
        std::vector<std::string> phones;
        strSplit(pa, '_', phones);
        for (size_t p = 0; p < phones.size(); ++p) {
            const phoneSound& sound = soundOf(phones[p]);
            const int frames = sound.frames + rng.pick(-1, 1);
            const std::string right = p + 1 < phones.size() ? phones[p + 1] : "sil";
            append(phones[p] + "+" + right, p == 0 ? pa : "",
                   renderPhone(sound, static_cast<size_t>(frames * FRAME_SHIFT), rng));
        }
    }
    append("sil", "sil", quiet(20 + rng.pick(-1, 1)));

    u.samples.resize(signal.size());
    for (size_t i = 0; i < signal.size(); ++i) {
        const double v = std::round(signal[i] + BACKGROUND_NOISE * rng.gauss());
        u.samples[i] = static_cast<int32_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return u;
}

// The features recite computes for the whole recording (no endpoint detection).
FeatureMatrix featuresOf(const utterance& u, const std::string& cfgPath)
{
    WaveSignal wave;
    wave.samples = u.samples;
    wave.sampleNum = static_cast<int32_t>(u.samples.size());
    wave.fs = SAMPLE_RATE;
    wave.nbits = 16;
    std::vector<std::string> warnings;
    signalCondition(wave, conditionSettings{}, warnings);
    for (const std::string& w : warnings)
        std::printf("Warning: %s\n", w.c_str());
    CMel mel;
    int32_t frameNum = 0;
    int32_t vecSize = 0;
    mel.waveToMfcc(wave.samples.data(), wave.fs, wave.nbits, wave.sampleNum, cfgPath, frameNum, vecSize);
    if (vecSize != VEC_SIZE)
        fatalError("The toy models need %d feature values per frame, the configuration gives %d", VEC_SIZE, vecSize);
    return mel.takeFeatures();
}

std::string le16(uint32_t v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

std::string le32(uint32_t v)
{
    return le16(v & 0xFFFF) + le16(v >> 16);
}

std::string waveBytes(const std::vector<int32_t>& samples)
{
    const auto dataSize = static_cast<uint32_t>(samples.size() * 2);
    std::string out = "RIFF" + le32(36 + dataSize) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(SAMPLE_RATE) +
                      le32(SAMPLE_RATE * 2) + le16(2) + le16(16) + "data" + le32(dataSize);
    for (int32_t s : samples)
        out += le16(static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(s))));
    return out;
}

// Lines "start end model score [node]", times in 100 ns units (a frame is 100000), a node's name
// on its first phone: the segmentation a perfect search would give, readable as an input label
// file.
std::string labelText(const utterance& u, int32_t frameNum)
{
    std::string out = "% start end (100 ns units, 100000 a frame) model score node\n";
    for (const segment& s : u.segments) {
        const long long start = static_cast<long long>(firstFrame(s)) * 100000;
        const long long end = static_cast<long long>(lastFrame(s, frameNum) + 1) * 100000;
        out += strPrintf("%lld %lld %s 0", start, end, s.model.c_str());
        if (!s.node.empty())
            out += " " + s.node;
        out += "\n";
    }
    return out;
}

// Per emitting state: frame count and the sums of the values and of their squares.
struct stateStats {
    double frames = 0.0;
    double sum[VEC_SIZE] = {};
    double squares[VEC_SIZE] = {};
    void add(const float* row)
    {
        frames += 1.0;
        for (int d = 0; d < VEC_SIZE; ++d) {
            sum[d] += row[d];
            squares[d] += static_cast<double>(row[d]) * row[d];
        }
    }
};

struct unitStats {
    stateStats states[EMITTING_STATES];
    double occurrences = 0.0;
};

std::string baseUnit(const std::string& model)
{
    return model.substr(0, model.find('+'));
}

// Each segment's frames split into thirds, one per emitting state.
void accumulate(const utterance& u, const FeatureMatrix& f, std::map<std::string, unitStats>& units, stateStats& all)
{
    for (int32_t t = 0; t < f.frameNum; ++t)
        all.add(f.row(t));
    for (const segment& s : u.segments) {
        const int32_t first = firstFrame(s);
        const int32_t n = lastFrame(s, f.frameNum) - first + 1;
        if (n < EMITTING_STATES)
            fatalError("Segment %s of %d frames is too short to fit", s.model.c_str(), n);
        unitStats& unit = units[baseUnit(s.model)];
        unit.occurrences += 1.0;
        for (int32_t i = 0; i < n; ++i)
            unit.states[i * EMITTING_STATES / n].add(f.row(first + i));
    }
}

void appendValues(std::string& out, const double* v, int n)
{
    for (int i = 0; i < n; ++i)
        out += strPrintf(" %.6g", v[i]);
    out += "\n";
}

// The text of one model: single-Gaussian states of three streams, self-loops from the mean
// state durations.
std::string modelText(const std::string& name, const unitStats& unit, const double* floor)
{
    std::string out = "~h \"" + name + "\"\n<BEGINHMM>\n<NUMSTATES> 5\n";
    double selfLoop[EMITTING_STATES];
    for (int k = 0; k < EMITTING_STATES; ++k) {
        const stateStats& st = unit.states[k];
        double mean[VEC_SIZE];
        double var[VEC_SIZE];
        for (int d = 0; d < VEC_SIZE; ++d) {
            mean[d] = st.sum[d] / st.frames;
            var[d] = std::max(st.squares[d] / st.frames - mean[d] * mean[d], floor[d]);
        }
        const double duration = st.frames / unit.occurrences;
        selfLoop[k] = std::clamp(1.0 - 1.0 / duration, 0.5, 0.95);
        out += strPrintf("<STATE> %d\n<SWEIGHTS> 3\n 1.0 1.0 1.0\n", k + 2);
        for (int j = 0; j < 3; ++j) {
            const int at = j * STREAM_SIZE;
            double gconst = 0.0;
            for (int d = at; d < at + STREAM_SIZE; ++d)
                gconst += std::log(2.0 * std::numbers::pi * var[d]);
            out += strPrintf("<STREAM> %d\n<MEAN> %d\n", j + 1, STREAM_SIZE);
            appendValues(out, mean + at, STREAM_SIZE);
            out += strPrintf("<VARIANCE> %d\n", STREAM_SIZE);
            appendValues(out, var + at, STREAM_SIZE);
            out += strPrintf("<GCONST> %.6g\n", gconst);
        }
    }
    out += "<TRANSP> 5\n 0.0 1.0 0.0 0.0 0.0\n";
    for (int k = 0; k < EMITTING_STATES; ++k) {
        double row[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
        row[k + 1] = selfLoop[k];
        row[k + 2] = 1.0 - selfLoop[k];
        out += strPrintf(" %.4g %.4g %.4g %.4g %.4g\n", row[0], row[1], row[2], row[3], row[4]);
    }
    out += " 0.0 0.0 0.0 0.0 0.0\n<ENDHMM>\n";
    return out;
}

std::string modelSetText(const std::map<std::string, unitStats>& units, const stateStats& all)
{
    double floor[VEC_SIZE];
    for (int d = 0; d < VEC_SIZE; ++d) {
        const double mean = all.sum[d] / all.frames;
        floor[d] = VARIANCE_FLOOR_RATIO * std::max(all.squares[d] / all.frames - mean * mean, 1e-6);
    }
    // Context models share the parameters of their base phone.
    std::vector<std::pair<std::string, std::string>> models = {{"sil", "sil"}, {"sp", "sp"}};
    for (const phoneSound& p : phoneSounds()) {
        models.emplace_back(std::string(p.name) + "+sil", p.name);
        for (const phoneSound& q : phoneSounds())
            models.emplace_back(std::string(p.name) + "+" + q.name, p.name);
    }
    std::sort(models.begin(), models.end());
    std::string out = "~o\n<STREAMINFO> 3 13 13 13\n<VECSIZE> 39<NULLD><MFCC_E_D_A><DIAGC>\n";
    for (const auto& [name, unit] : models) {
        const auto it = units.find(unit);
        if (it == units.end())
            fatalError("No frames of \"%s\" to fit its model", unit.c_str());
        out += modelText(name, it->second, floor);
    }
    return out;
}

std::string wpaText()
{
    std::vector<std::string> lines;
    for (const toyWord& w : WORDS)
        lines.push_back(std::string(w.word) + "\t" + w.pas + "\n");
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& l : lines)
        out += l;
    return out;
}

// The phones without pitch, one a line.
std::string unpitchedText()
{
    std::string out;
    for (const phoneSound& p : phoneSounds())
        if (p.kind != soundKind::tones)
            out += std::string(p.name) + "\n";
    return out;
}

std::string paramText(const std::string& function, const std::string& wav, const std::string& txt)
{
    return "% Recite toy data: " + function +
           " run. Paths are relative to this directory; run recite from here.\n"
           "function = " + function + "\n"
           "language = english\n"
           "macFile = models.mac\n"
           "wpaFile = words.wpa\n"
           "tnmFile = english.tnm\n"
           "featureConfigFile = mfcc.cfg\n"
           "qiYinFile = qiyin.txt\n"
           "phoneRank2scoreParamFile = rank2score.txt\n"
           "scoreDiscountParamFile = discount.txt\n"
           "txtFile = " + txt + "\n"
           "wavFile = " + wav + "\n"
           "outputDir = out\n"
           "useEpd = 0\n"
           "maxCandidateNum = 1000\n"
           "probTh = 400\n"
           "comparisonMode = 1\n";
}

void save(const std::filesystem::path& dir, const std::string& name, const std::string& bytes)
{
    const std::string path = (dir / name).string();
    writeFileWhole(path, bytes);
    std::printf("\t===> Saved %s\n", path.c_str());
}

void writeDataSet(const std::filesystem::path& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir))
        fatalError("Cannot create directory %s", dir.string().c_str());

    save(dir, "mfcc.cfg", MFCC_CONFIG);
    save(dir, "english.tnm", NORMALIZATION_RULES);
    save(dir, "words.wpa", wpaText());
    save(dir, "qiyin.txt", unpitchedText());
    // The rank-to-score bell curve a b c, and a discount ratio per discount type: none applied.
    save(dir, "rank2score.txt", "0.05 0.5 0\n");
    save(dir, "discount.txt", "1 1 1 1 1 1 1\n");
    std::string texts;
    for (const char* t : TEXTS)
        texts += std::string(t) + "\n";
    save(dir, "texts.txt", texts);

    const std::string cfg = (dir / "mfcc.cfg").string();
    std::map<std::string, unitStats> units;
    stateStats all;
    for (int k = 0; k < TEXT_NUM; ++k) {
        // The recording itself is not among the renderings the models are fitted to.
        const utterance rec = renderText(TEXTS[k], 1 + static_cast<uint64_t>(k));
        const FeatureMatrix f = featuresOf(rec, cfg);
        const std::string stem = "utt" + std::to_string(k + 1);
        save(dir, stem + ".wav", waveBytes(rec.samples));
        save(dir, stem + ".lab", labelText(rec, f.frameNum));
        save(dir, stem + ".txt", std::string(TEXTS[k]) + "\n");
        for (int r = 0; r < RENDERINGS_FOR_FITTING; ++r) {
            const uint64_t seed = 1000 + 100 * static_cast<uint64_t>(k) + static_cast<uint64_t>(r);
            const utterance fit = renderText(TEXTS[k], seed);
            accumulate(fit, featuresOf(fit, cfg), units, all);
        }
    }
    save(dir, "models.mac", modelSetText(units, all));
    save(dir, "assess.prm", paramText("assess", "utt1.wav", "utt1.txt"));
    save(dir, "recog.prm", paramText("recog", "utt2.wav", "texts.txt"));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("Usage: %s DIR\n"
                    "  Writes a synthetic data set into DIR: recordings of a toy language with their true\n"
                    "  segmentations (uttN.wav, uttN.lab, uttN.txt), models fitted to them (models.mac), the\n"
                    "  lexicon, texts, feature configuration, score parameters (rank2score.txt, discount.txt)\n"
                    "  and the parameter files assess.prm and recog.prm.\n",
                    argv[0]);
        return 1;
    }
    try {
        writeDataSet(argv[1]);
    } catch (const fatalErrorException& e) {
        std::printf("%s\n", e.what());
        return 2;
    }
    return 0;
}
