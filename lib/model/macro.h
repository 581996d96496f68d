// The acoustic model set: HMMs with up to three emitting states, three streams and 32 mixtures
// per stream, read from text ("mac") or binary ("macb") macro files, sorted by name and prepared
// for scoring.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int MAX_STATE_NUM = 3;    // emitting states per model
constexpr int MAX_STREAM_NUM = 3;   // streams per state
constexpr int MAX_MIXTURE_NUM = 32; // mixtures per stream
constexpr int MAX_PARAM_NUM = 13;   // values per mean and variance vector
constexpr int MAX_MODEL_STATE_NUM = MAX_STATE_NUM + 2; // with the entry and exit states
constexpr int MODEL_NAME_SIZE = 50;  // name field with its terminating zero

struct hmmMixture {
    float weight;             // log weight after preparation (-1e10 for a zero weight)
    float mean[MAX_PARAM_NUM];
    float var[MAX_PARAM_NUM]; // inverse variance after preparation
    float gconst;
};
static_assert(sizeof(hmmMixture) == 112, "a mixture is 112 bytes, as in binary macro files");

struct hmmStream {
    int32_t mixtureNum;
    hmmMixture mixtures[MAX_MIXTURE_NUM];
};

struct hmmState {
    float streamWeight[MAX_STREAM_NUM];
    hmmStream streams[MAX_STREAM_NUM];
};

struct hmmModel {
    char name[MODEL_NAME_SIZE];
    float logCount;  // ln of the training count, 0 when unknown
    int32_t stateNum; // states including entry and exit
    hmmState states[MAX_STATE_NUM]; // state i (2 .. stateNum - 1 in HTK numbering) at i - 2
    float transp[MAX_MODEL_STATE_NUM][MAX_MODEL_STATE_NUM]; // log domain after preparation
};

class macroClass {
public:
    // Reads the set (text or binary by the extension "mac"/"MAC" or "macb"/"MACB"), sorts it by
    // name and prepares it. Any format error is fatal; a set held before is released first.
    void macRead(const std::string& path);
    void macReadText(const std::string& path);
    void macReadBinary(const std::string& path);
    // Writes the set (raw weights and variances, as read, before preparation) in binary form.
    // Only 5-state models have a binary layout that reads back as written; others are fatal.
    void macWriteBinary(const std::string& path) const;
    void macSortByName();
    void macPrepare();

    // Index of the model with exactly this name, else of its substitute (findSubstituteModel).
    int findModel(const std::string& name) const;
    // For a missing context model x+y: x+sil, else the first x+..., else model 0; -1 for fillers.
    int findSubstituteModel(const std::string& name) const;
    std::vector<std::string> getModelNames() const;
    // Sets logCount of every model from a file of "name<TAB>count" lines in set order.
    void modelCountRead(const std::string& path);

    const hmmModel& model(int index) const { return m_models[static_cast<size_t>(index)]; }
    hmmModel& model(int index) { return m_models[static_cast<size_t>(index)]; }

    int32_t modelNum = 0;
    int32_t streamNum = 0;
    int32_t streamVecSize[MAX_STREAM_NUM] = {0, 0, 0};
    std::vector<hmmModel> m_models; // one zero-initialised allocation of modelNum records

private:
    void clear();
};
