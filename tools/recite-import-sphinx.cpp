// recite-import-sphinx: converts a phonetically-tied-mixture acoustic model of the sphinx kind
// (means, variances, sendump, transition_matrices, mdef) into our model set: right-context models
// "x+y" and "x+sil", "sil" and the one-state pause "sp", in the feature order and scale of our
// MFCC_0_D_A_Z front end.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/macro.h"

namespace {

constexpr int STREAMS = 3;
constexpr int VEC = 13;
constexpr int CI_STATES = 3;
// Variances at or below this (some codebooks hold exact zeros) are raised to it.
constexpr float VAR_FLOOR = 1e-4f;
// The model's static c0 was mean-normalised, ours is not: its Gaussians ignore c0.
constexpr float NEUTRAL_C0_VAR = 1e6f;
// Model dynamics are plain differences (d = c[t+2] - c[t-2], dd = d[t+1] - d[t-1]); ours are
// regression coefficients over two frames each side. Measured on our statics of real speech
// (the RMS ratio of both kinds computed from the same cepstra): delta 0.250, acceleration 0.128.
// The model's c0 is 1/sqrt(2) of ours (orthonormal DCT row 0), hence the further sqrt(2) for it.
constexpr double DELTA_SCALE = 0.25;
constexpr double ACCEL_SCALE = 0.09;
constexpr double C0_SCALE = std::numbers::sqrt2;

struct importError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw importError("cannot open " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

uint32_t swap32(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

// A binary file with a text header up to "endhdr\n", the byte-order word, then int32 counts and
// float32 data, as read in order.
class s3Reader {
public:
    explicit s3Reader(const std::string& path) : m_path(path), m_bytes(readAll(path))
    {
        const size_t end = m_bytes.find("endhdr\n");
        if (end == std::string::npos)
            throw importError(path + ": no \"endhdr\" line");
        m_pos = end + 7;
        const uint32_t magic = word();
        if (magic == swap32(0x11223344u))
            m_swap = true;
        else if (magic != 0x11223344u)
            throw importError(path + ": bad byte-order word");
    }
    int32_t int32() { return static_cast<int32_t>(word()); }
    float real()
    {
        const uint32_t w = word();
        float f = 0.0f;
        std::memcpy(&f, &w, 4);
        return f;
    }

private:
    uint32_t word()
    {
        if (m_pos + 4 > m_bytes.size())
            throw importError(m_path + ": ends early");
        uint32_t w = 0;
        std::memcpy(&w, m_bytes.data() + m_pos, 4);
        m_pos += 4;
        return m_swap ? swap32(w) : w;
    }
    std::string m_path;
    std::string m_bytes;
    size_t m_pos = 0;
    bool m_swap = false;
};

// Codebook Gaussians: [codebook][stream][density][dim].
struct gaussianSet {
    int codebooks = 0;
    int densities = 0;
    std::vector<float> values;
    const float* at(int cb, int f, int d) const
    {
        return &values[((static_cast<size_t>(cb) * STREAMS + static_cast<size_t>(f)) * static_cast<size_t>(densities) +
                        static_cast<size_t>(d)) * VEC];
    }
};

gaussianSet readGaussians(const std::string& path)
{
    s3Reader in(path);
    gaussianSet g;
    g.codebooks = in.int32();
    const int feats = in.int32();
    g.densities = in.int32();
    if (feats != STREAMS || g.codebooks < 1 || g.densities < 1)
        throw importError(path + ": expected 3 streams");
    for (int f = 0; f < feats; ++f) {
        if (in.int32() != VEC)
            throw importError(path + ": expected 13 values per stream");
    }
    const int total = in.int32();
    if (static_cast<long>(total) != static_cast<long>(g.codebooks) * STREAMS * g.densities * VEC)
        throw importError(path + ": inconsistent value count");
    g.values.resize(static_cast<size_t>(total));
    for (float& v : g.values)
        v = in.real();
    return g;
}

// Per tmat, 3 rows of 4 raw values.
std::vector<float> readTransitions(const std::string& path, int& count)
{
    s3Reader in(path);
    count = in.int32();
    const int rows = in.int32();
    const int cols = in.int32();
    const int total = in.int32();
    if (rows != CI_STATES || cols != CI_STATES + 1 || total != count * rows * cols)
        throw importError(path + ": expected 3x4 transition matrices");
    std::vector<float> t(static_cast<size_t>(total));
    for (float& v : t)
        v = in.real();
    return t;
}

// Quantised mixture weights as probabilities: [stream][density][senone].
std::vector<float> readWeights(const std::string& path, int densities, int& senones)
{
    const std::string b = readAll(path);
    size_t pos = 0;
    auto int32 = [&]() {
        if (pos + 4 > b.size())
            throw importError(path + ": ends early");
        int32_t v = 0;
        std::memcpy(&v, b.data() + pos, 4);
        pos += 4;
        return v;
    };
    for (;;) {
        const int32_t len = int32();
        if (len == 0)
            break;
        if (len < 0 || pos + static_cast<size_t>(len) > b.size())
            throw importError(path + ": bad header string");
        pos += static_cast<size_t>(len);
    }
    const int rows = int32();
    senones = int32();
    if (rows != densities || senones < 1)
        throw importError(path + ": codeword count differs from the codebooks");
    const size_t n = static_cast<size_t>(STREAMS) * static_cast<size_t>(rows) * static_cast<size_t>(senones);
    if (pos + n > b.size())
        throw importError(path + ": ends early");
    std::vector<float> w(n);
    const double step = -1024.0 * std::log(1.0001);
    for (size_t i = 0; i < n; ++i)
        w[i] = static_cast<float>(std::exp(step * static_cast<unsigned char>(b[pos + i])));
    return w;
}

struct triphone {
    std::string base, left, right, pos;
    int tmat = 0;
    int senone[CI_STATES] = {0, 0, 0};
};

// The model definition in text form; a binary mdef is converted by pocketsphinx_mdef_convert.
std::vector<triphone> readMdef(const std::string& path, const std::string& scratch)
{
    std::string text = readAll(path);
    if (text.rfind("0.3", 0) != 0) {
        const std::string cmd = "pocketsphinx_mdef_convert -text '" + path + "' '" + scratch + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0)
            throw importError("pocketsphinx_mdef_convert could not convert " + path);
        text = readAll(scratch);
        std::remove(scratch.c_str());
    }
    std::istringstream in(text);
    std::string line;
    std::vector<triphone> out;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        triphone t;
        std::string attrib;
        if (line.empty() || line[0] == '#' ||
            !(ls >> t.base >> t.left >> t.right >> t.pos >> attrib >> t.tmat >> t.senone[0] >> t.senone[1] >>
              t.senone[2]))
            continue;
        out.push_back(t);
    }
    if (out.empty())
        throw importError(path + ": no phones");
    return out;
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct importer {
    gaussianSet means, vars;
    std::vector<float> weights; // [stream][density][senone]
    int senones = 0;
    std::vector<float> tmats;
    int tmatCount = 0;
    std::vector<int> senoneCodebook;
    int mixtures = 8;

    // One emitting state (our index st) from a senone.
    void fillState(hmmState& state, int senone) const
    {
        const int cb = senoneCodebook[static_cast<size_t>(senone)];
        const int dens = means.densities;
        for (int f = 0; f < STREAMS; ++f) {
            state.streamWeight[f] = 1.0f;
            std::vector<int> order(static_cast<size_t>(dens));
            for (int d = 0; d < dens; ++d)
                order[static_cast<size_t>(d)] = d;
            auto w = [&](int d) {
                return weights[(static_cast<size_t>(f) * static_cast<size_t>(dens) + static_cast<size_t>(d)) *
                                   static_cast<size_t>(senones) +
                               static_cast<size_t>(senone)];
            };
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return w(a) > w(b); });
            const int keep = std::min(mixtures, dens);
            double sum = 0.0;
            for (int j = 0; j < keep; ++j)
                sum += w(order[static_cast<size_t>(j)]);
            hmmStream& stream = state.streams[f];
            stream.mixtureNum = keep;
            const double scale = f == 0 ? 1.0 : (f == 1 ? DELTA_SCALE : ACCEL_SCALE);
            for (int j = 0; j < keep; ++j) {
                const int d = order[static_cast<size_t>(j)];
                hmmMixture& mix = stream.mixtures[j];
                mix.weight = static_cast<float>(w(d) / sum);
                const float* m = means.at(cb, f, d);
                const float* v = vars.at(cb, f, d);
                double gconst = 0.0;
                for (int k = 0; k < VEC; ++k) {
                    // Ours: c1..c12 then c0; the model's: c0..c12.
                    const int src = k < VEC - 1 ? k + 1 : 0;
                    const double var = std::max(v[src], VAR_FLOOR);
                    double mean = m[src];
                    double outVar = var;
                    if (k == VEC - 1 && f == 0) {
                        mean = 0.0;
                        outVar = NEUTRAL_C0_VAR;
                    } else {
                        const double s = k == VEC - 1 ? scale * C0_SCALE : scale;
                        mean *= s;
                        outVar *= s * s;
                    }
                    mix.mean[k] = static_cast<float>(mean);
                    mix.var[k] = static_cast<float>(outVar);
                    gconst += std::log(2.0 * std::numbers::pi * static_cast<double>(mix.var[k]));
                }
                mix.gconst = static_cast<float>(gconst);
            }
        }
    }

    // Self-loop and next-state probabilities of emitting state i of tmat t, renormalised.
    std::pair<float, float> transition(int t, int i) const
    {
        const float* row = &tmats[(static_cast<size_t>(t) * CI_STATES + static_cast<size_t>(i)) * (CI_STATES + 1)];
        const double self = row[i], next = row[i + 1];
        const double sum = self + next;
        if (!(sum > 0.0))
            return {0.5f, 0.5f};
        return {static_cast<float>(self / sum), static_cast<float>(next / sum)};
    }

    hmmModel makeModel(const std::string& name, const triphone& t) const
    {
        hmmModel m{};
        std::snprintf(m.name, sizeof m.name, "%s", name.c_str());
        m.stateNum = CI_STATES + 2;
        m.transp[0][1] = 1.0f;
        for (int i = 0; i < CI_STATES; ++i) {
            fillState(m.states[i], t.senone[i]);
            const auto [self, next] = transition(t.tmat, i);
            m.transp[i + 1][i + 1] = self;
            m.transp[i + 1][i + 2] = next;
        }
        return m;
    }

    hmmModel makePause(const triphone& sil) const
    {
        hmmModel m{};
        std::snprintf(m.name, sizeof m.name, "sp");
        m.stateNum = 3;
        fillState(m.states[0], sil.senone[1]);
        const auto [self, next] = transition(sil.tmat, 1);
        m.transp[0][1] = 1.0f;
        m.transp[1][1] = self;
        m.transp[1][2] = next;
        return m;
    }
};

// Of the triphones given, the senone sequence that occurs with the most left contexts.
const triphone* mostShared(const std::vector<const triphone*>& group)
{
    std::map<std::vector<int>, std::pair<std::set<std::string>, const triphone*>> bySequence;
    for (const triphone* t : group) {
        auto& entry = bySequence[{t->tmat, t->senone[0], t->senone[1], t->senone[2]}];
        entry.first.insert(t->left);
        if (!entry.second)
            entry.second = t;
    }
    const triphone* best = nullptr;
    size_t bestCount = 0;
    for (const auto& [key, entry] : bySequence) {
        if (entry.first.size() > bestCount) {
            bestCount = entry.first.size();
            best = entry.second;
        }
    }
    return best;
}

void writeText(const macroClass& set, const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        throw importError("cannot write " + path);
    std::fprintf(f, "~o\n<STREAMINFO> 3 13 13 13\n<VECSIZE> 39<NULLD><MFCC_0_D_A_Z><DIAGC>\n");
    for (const hmmModel& m : set.m_models) {
        std::fprintf(f, "~h \"%s\"\n<BEGINHMM>\n<NUMSTATES> %d\n", m.name, m.stateNum);
        for (int st = 0; st < m.stateNum - 2; ++st) {
            const hmmState& s = m.states[st];
            std::fprintf(f, "<STATE> %d\n<NUMMIXES> %d %d %d\n<SWEIGHTS> 3\n 1.0 1.0 1.0\n", st + 2,
                         s.streams[0].mixtureNum, s.streams[1].mixtureNum, s.streams[2].mixtureNum);
            for (int k = 0; k < STREAMS; ++k) {
                std::fprintf(f, "<STREAM> %d\n", k + 1);
                const hmmStream& stream = s.streams[k];
                for (int j = 0; j < stream.mixtureNum; ++j) {
                    const hmmMixture& mix = stream.mixtures[j];
                    if (stream.mixtureNum > 1)
                        std::fprintf(f, "<MIXTURE> %d %.9g\n", j + 1, static_cast<double>(mix.weight));
                    std::fprintf(f, "<MEAN> 13\n");
                    for (float v : mix.mean)
                        std::fprintf(f, " %.9g", static_cast<double>(v));
                    std::fprintf(f, "\n<VARIANCE> 13\n");
                    for (float v : mix.var)
                        std::fprintf(f, " %.9g", static_cast<double>(v));
                    std::fprintf(f, "\n<GCONST> %.9g\n", static_cast<double>(mix.gconst));
                }
            }
        }
        std::fprintf(f, "<TRANSP> %d\n", m.stateNum);
        for (int i = 0; i < m.stateNum; ++i) {
            for (int j = 0; j < m.stateNum; ++j)
                std::fprintf(f, " %.9g", static_cast<double>(m.transp[i][j]));
            std::fprintf(f, "\n");
        }
        std::fprintf(f, "<ENDHMM>\n");
    }
    if (std::fclose(f) != 0)
        throw importError("cannot write " + path);
}

bool endsWith(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int run(const std::string& dir, const std::string& out, int mixtures)
{
    importer im;
    im.mixtures = mixtures;
    im.means = readGaussians(dir + "/means");
    im.vars = readGaussians(dir + "/variances");
    if (im.vars.codebooks != im.means.codebooks || im.vars.densities != im.means.densities)
        throw importError("means and variances differ in shape");
    im.weights = readWeights(dir + "/sendump", im.means.densities, im.senones);
    im.tmats = readTransitions(dir + "/transition_matrices", im.tmatCount);
    const std::vector<triphone> phones = readMdef(dir + "/mdef", out + ".mdef.txt");

    // Context-independent phones come first, in codebook order; a senone uses its base's codebook.
    std::vector<std::string> ciNames;
    std::map<std::string, int> ciIndex;
    for (const triphone& t : phones) {
        if (t.left == "-" && !ciIndex.count(t.base)) {
            ciIndex[t.base] = static_cast<int>(ciNames.size());
            ciNames.push_back(t.base);
        }
    }
    im.senoneCodebook.assign(static_cast<size_t>(im.senones), 0);
    for (const triphone& t : phones) {
        const auto it = ciIndex.find(t.base);
        if (it == ciIndex.end() || it->second >= im.means.codebooks || t.tmat < 0 || t.tmat >= im.tmatCount)
            throw importError("mdef: unknown base phone, codebook or tmat for " + t.base);
        for (int s : t.senone) {
            if (s < 0 || s >= im.senones)
                throw importError("mdef: senone out of range");
            im.senoneCodebook[static_cast<size_t>(s)] = it->second;
        }
    }
    const auto silIt = std::find_if(phones.begin(), phones.end(),
                                    [](const triphone& t) { return t.base == "SIL" && t.left == "-"; });
    if (silIt == phones.end())
        throw importError("mdef: no SIL phone");

    // Base phones: neither SIL nor fillers such as +NSN+.
    std::vector<std::string> bases;
    for (const std::string& b : ciNames) {
        if (b != "SIL" && b.front() != '+')
            bases.push_back(b);
    }
    std::map<std::pair<std::string, std::string>, std::vector<const triphone*>> within, any;
    for (const triphone& t : phones) {
        if (t.left == "-")
            continue;
        any[{t.base, t.right}].push_back(&t);
        if (t.pos == "i")
            within[{t.base, t.right}].push_back(&t);
    }
    const std::map<std::string, const triphone*> ciPhone = [&] {
        std::map<std::string, const triphone*> m;
        for (const triphone& t : phones)
            if (t.left == "-")
                m[t.base] = &t;
        return m;
    }();

    macroClass set;
    set.streamNum = STREAMS;
    for (int s = 0; s < STREAMS; ++s)
        set.streamVecSize[s] = VEC;
    int fallbacks = 0;
    std::vector<std::string> rights = bases;
    rights.push_back("SIL");
    for (const std::string& x : bases) {
        for (const std::string& y : rights) {
            const triphone* chosen = nullptr;
            if (auto it = within.find({x, y}); it != within.end())
                chosen = mostShared(it->second);
            if (!chosen)
                if (auto it = any.find({x, y}); it != any.end())
                    chosen = mostShared(it->second);
            if (!chosen) {
                chosen = ciPhone.at(x);
                ++fallbacks;
            }
            set.m_models.push_back(im.makeModel(lower(x) + "+" + lower(y), *chosen));
        }
    }
    set.m_models.push_back(im.makeModel("sil", *silIt));
    set.m_models.push_back(im.makePause(*silIt));
    set.modelNum = static_cast<int32_t>(set.m_models.size());
    set.macSortByName();

    if (endsWith(out, ".macb") || endsWith(out, ".MACB"))
        set.macWriteBinary(out);
    else
        writeText(set, out);
    std::printf("\t===> Saved %s (%d models, %d mixtures, %d from context-independent phones)\n", out.c_str(),
                set.modelNum, mixtures, fallbacks);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    int mixtures = 8;
    if (args.size() == 4 && args[2] == "--mixtures") {
        mixtures = std::atoi(args[3].c_str());
        args.resize(2);
    }
    if (args.size() != 2 || mixtures < 1 || mixtures > MAX_MIXTURE_NUM) {
        std::printf("Usage: %s MODEL_DIR OUT.mac|OUT.macb [--mixtures N]\n"
                    "  Converts a sphinx phonetically-tied-mixture model (means, variances, sendump,\n"
                    "  transition_matrices, mdef) into right-context models x+y, x+sil, sil and sp,\n"
                    "  keeping the N (1..%d, default 8) heaviest Gaussians per state and stream.\n",
                    argv[0], MAX_MIXTURE_NUM);
        return 1;
    }
    try {
        return run(args[0], args[1], mixtures);
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 2;
    }
}
