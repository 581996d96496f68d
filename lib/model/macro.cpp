#include "model/macro.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <string_view>

#include "common/binarySearch.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "model/fillers.h"

namespace {

const char* const MACRO_UNIT = "lib\\macro";

// The name up to its terminating zero, never beyond the 50-byte field.
std::string_view nameOf(const hmmModel& m)
{
    const void* end = std::memchr(m.name, '\0', sizeof m.name);
    const size_t len = end ? static_cast<size_t>(static_cast<const char*>(end) - m.name) : sizeof m.name;
    return std::string_view(m.name, len);
}

// Byte-wise comparison on unsigned bytes; a name sorts before its extensions.
int compareNames(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

// Models that are both counted and held: loops never go past either.
size_t heldModels(const macroClass& mac)
{
    if (mac.modelNum <= 0)
        return 0;
    return std::min(static_cast<size_t>(mac.modelNum), mac.m_models.size());
}

// Bounds of a loop over record slots, clamped to the capacity of the record.
int clampCount(int32_t n, int capacity)
{
    return std::clamp(n, 0, capacity);
}

void prepareMixture(hmmMixture& mix, int vecSize)
{
    for (int k = 0; k < vecSize; ++k) {
        float v = mix.var[k];
        if (static_cast<double>(v) < 1e-30)
            v = 1e-30f;
        const float r = 1.0f / v;
        mix.var[k] = static_cast<double>(r) < 1e-30 ? 1e-30f : r;
    }
    mix.weight = mix.weight == 0.0f ? -1e10f : static_cast<float>(std::log(static_cast<double>(mix.weight)));
}

} // namespace

void macroClass::clear()
{
    modelNum = 0;
    streamNum = 0;
    std::fill(std::begin(streamVecSize), std::end(streamVecSize), 0);
    std::vector<hmmModel>().swap(m_models);
}

void macroClass::macRead(const std::string& path)
{
    clear();
    try {
        const std::string ext = fileExtension(path);
        if (ext == "macb" || ext == "MACB")
            macReadBinary(path);
        else if (ext == "mac" || ext == "MAC")
            macReadText(path);
        else
            fatalError("Error in reading \"%s\": The only allowed extension are \"mac\" and \"macb\" (line %d of %s) \n",
                       path.c_str(), 762, MACRO_UNIT);
        macSortByName();
        macPrepare();
    } catch (...) {
        clear();
        throw;
    }
}

void macroClass::macSortByName()
{
    const size_t n = heldModels(*this);
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
        return compareNames(nameOf(m_models[a]), nameOf(m_models[b])) < 0;
    });

    // Position i receives the record at order[i]. Each cycle of the permutation is walked once,
    // with one record held aside, so every record moves at most twice.
    std::vector<bool> placed(n, false);
    auto held = std::make_unique<hmmModel>();
    for (size_t start = 0; start < n; ++start) {
        if (placed[start] || order[start] == start) {
            placed[start] = true;
            continue;
        }
        *held = m_models[start];
        size_t dst = start;
        while (order[dst] != start) {
            m_models[dst] = m_models[order[dst]];
            placed[dst] = true;
            dst = order[dst];
        }
        m_models[dst] = *held;
        placed[dst] = true;
    }
}

void macroClass::macPrepare()
{
    const size_t n = heldModels(*this);
    const int streams = clampCount(streamNum, MAX_STREAM_NUM);
    for (size_t m = 0; m < n; ++m) {
        hmmModel& model = m_models[m];
        const int emitting = clampCount(model.stateNum - 2, MAX_STATE_NUM);
        for (int st = 0; st < emitting; ++st) {
            for (int s = 0; s < streams; ++s) {
                hmmStream& stream = model.states[st].streams[s];
                const int vecSize = clampCount(streamVecSize[s], MAX_PARAM_NUM);
                const int mixtures = clampCount(stream.mixtureNum, MAX_MIXTURE_NUM);
                for (int j = 0; j < mixtures; ++j)
                    prepareMixture(stream.mixtures[j], vecSize);
            }
        }
        const int states = clampCount(model.stateNum, MAX_MODEL_STATE_NUM);
        for (int i = 0; i < states; ++i) {
            for (int j = 0; j < states; ++j) {
                float& t = model.transp[i][j];
                if (t != 0.0f)
                    t = static_cast<float>(std::log(static_cast<double>(t)));
            }
        }
    }
}

int macroClass::findModel(const std::string& name) const
{
    const int found =
        binarySearch(heldModels(*this), [&](size_t i) { return compareNames(name, nameOf(m_models[i])); });
    return found >= 0 ? found : findSubstituteModel(name);
}

int macroClass::findSubstituteModel(const std::string& name) const
{
    if (isFillerName(name))
        return -1;
    const size_t plus = name.find('+');
    if (plus == std::string::npos)
        fatalError("Error in macroClass::findSubstituteModel(): Cannot find '+' sign, modelStr=%s (line %d of %s) \n",
                   name.c_str(), 794, MACRO_UNIT);

    const size_t n = heldModels(*this);
    const std::string key2 = name.substr(0, plus + 1);
    const std::string key1 = key2 + "sil";
    auto firstWithPrefix = [&](const std::string& key) -> size_t {
        for (size_t i = 0; i < n; ++i) {
            if (nameOf(m_models[i]).starts_with(key))
                return i;
        }
        return n;
    };
    size_t chosen = firstWithPrefix(key1);
    if (chosen == n)
        chosen = firstWithPrefix(key2);
    if (chosen == n) {
        if (n == 0)
            fatalError("Cannot find a substitute for model %s: the model set is empty", name.c_str());
        chosen = 0;
    }
    const std::string chosenName(nameOf(m_models[chosen]));
    conPrintf("Warning of model substitution: %s is replaced by %s\n", name.c_str(), chosenName.c_str());
    return static_cast<int>(chosen);
}

std::vector<std::string> macroClass::getModelNames() const
{
    const size_t n = heldModels(*this);
    std::vector<std::string> names;
    names.reserve(n);
    for (size_t i = 0; i < n; ++i)
        names.emplace_back(nameOf(m_models[i]));
    return names;
}

void macroClass::modelCountRead(const std::string& path)
{
    for (hmmModel& m : m_models)
        m.logCount = 0.0f;
    if (path.empty() || !fileExists(path))
        return;

    std::vector<std::string> lines;
    readTextLines(path, lines, '%');
    const size_t n = heldModels(*this);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i >= n) {
            conPrintf("Warning: model count file %s has %zu lines for %zu models; the extra lines are ignored\n",
                      path.c_str(), lines.size(), n);
            break;
        }
        const std::string& line = lines[i];
        const size_t tab = line.find('\t');
        const std::string_view modelName = std::string_view(line).substr(0, tab);
        if (modelName != nameOf(m_models[i]))
            conPrintf("Warning: Mismatched model count file %s! (line %d of %s)\n", path.c_str(), 41, MACRO_UNIT);
        int32_t count = 0;
        if (tab != std::string::npos) {
            const size_t next = line.find('\t', tab + 1);
            count = parseLeadingInt(line.substr(tab + 1, next == std::string::npos ? std::string::npos : next - tab - 1));
        }
        if (count > 0)
            m_models[i].logCount = static_cast<float>(std::log(static_cast<double>(count)));
    }
}
