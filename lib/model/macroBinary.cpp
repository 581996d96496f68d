// The binary "macb" form of the model set: little-endian fields without padding, a header of
// modelNum, streamNum and the stream vector sizes, then each model with only the states, streams
// and mixtures it uses.
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/byteOrder.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "model/macro.h"

namespace {

// The smallest model the layout allows: name, stateNum and the 2 x 2 transition matrix of a model
// without emitting states.
constexpr size_t MIN_MODEL_BYTES = MODEL_NAME_SIZE + 4 + 4 * 4;

// Reading position in the file's bytes; every read past the end is fatal.
class macbCursor {
public:
    macbCursor(const std::string& path, const std::string& bytes)
        : m_path(path), m_data(reinterpret_cast<const unsigned char*>(bytes.data())), m_size(bytes.size())
    {
    }

    size_t remaining() const { return m_size - m_pos; }
    size_t position() const { return m_pos; }
    void seek(size_t pos) { m_pos = pos; }
    // The model being read, for the messages; -1 while reading the header.
    void setModel(int modelId) { m_modelId = modelId; }

    const unsigned char* take(size_t n)
    {
        if (remaining() < n) {
            if (m_modelId < 0)
                fatalError("Binary macro file %s ends early (in the header, at byte %zu)", m_path.c_str(), m_pos);
            fatalError("Binary macro file %s ends early (model %d, at byte %zu)", m_path.c_str(), m_modelId, m_pos);
        }
        const unsigned char* p = m_data + m_pos;
        m_pos += n;
        return p;
    }
    int32_t int32() { return static_cast<int32_t>(readLe32(take(4))); }
    float float32()
    {
        const uint32_t raw = readLe32(take(4));
        float v;
        std::memcpy(&v, &raw, sizeof v);
        return v;
    }

private:
    const std::string& m_path;
    const unsigned char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    int m_modelId = -1;
};

// Reads one model at the cursor into m (whose unused slots are left as they are).
void readModel(macbCursor& in, const std::string& path, int modelId, int32_t streamNum, hmmModel& m)
{
    in.setModel(modelId);
    const unsigned char* name = in.take(MODEL_NAME_SIZE);
    const void* end = std::memchr(name, 0, MODEL_NAME_SIZE);
    if (!end)
        fatalError("Binary macro file %s: the name of model %d has no terminating zero within %d bytes",
                   path.c_str(), modelId, MODEL_NAME_SIZE);
    std::memset(m.name, 0, sizeof m.name);
    std::memcpy(m.name, name, static_cast<size_t>(static_cast<const unsigned char*>(end) - name));

    m.stateNum = in.int32();
    if (m.stateNum < 2 || m.stateNum > MAX_MODEL_STATE_NUM)
        fatalError("Binary macro file %s: model %d (%s) has stateNum=%d, outside 2 to %d", path.c_str(), modelId,
                   m.name, m.stateNum, MAX_MODEL_STATE_NUM);
    for (int st = 0; st < m.stateNum - 2; ++st) {
        hmmState& state = m.states[st];
        for (int s = 0; s < streamNum; ++s)
            state.streamWeight[s] = in.float32();
        for (int s = 0; s < streamNum; ++s) {
            hmmStream& stream = state.streams[s];
            stream.mixtureNum = in.int32();
            if (stream.mixtureNum < 0 || stream.mixtureNum > MAX_MIXTURE_NUM)
                fatalError("Binary macro file %s: model %d (%s), state %d, stream %d has mixtureNum=%d, outside 0 to %d",
                           path.c_str(), modelId, m.name, st + 2, s + 1, stream.mixtureNum, MAX_MIXTURE_NUM);
            for (int j = 0; j < stream.mixtureNum; ++j) {
                hmmMixture& mix = stream.mixtures[j];
                mix.weight = in.float32();
                for (float& v : mix.mean)
                    v = in.float32();
                for (float& v : mix.var)
                    v = in.float32();
                mix.gconst = in.float32();
            }
        }
    }
    // The values fill the 5 x 5 matrix from its start, row after row of that layout.
    const int values = m.stateNum * m.stateNum;
    for (int k = 0; k < values; ++k)
        m.transp[k / MAX_MODEL_STATE_NUM][k % MAX_MODEL_STATE_NUM] = in.float32();
}

// Appends little-endian fields to a byte string.
class macbWriter {
public:
    void int32(int32_t v)
    {
        unsigned char b[4];
        writeLe32(b, static_cast<uint32_t>(v));
        m_bytes.append(reinterpret_cast<const char*>(b), 4);
    }
    void float32(float v)
    {
        uint32_t raw;
        std::memcpy(&raw, &v, sizeof raw);
        int32(static_cast<int32_t>(raw));
    }
    void bytes(const void* p, size_t n) { m_bytes.append(static_cast<const char*>(p), n); }
    const std::string& data() const { return m_bytes; }

private:
    std::string m_bytes;
};

} // namespace

void macroClass::macReadBinary(const std::string& path)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        fatalError("Cannot open file %s (line %d of %s)", path.c_str(), 100, "lib\\utility");

    macbCursor in(path, bytes);
    const int32_t fileModelNum = in.int32();
    const int32_t fileStreamNum = in.int32();
    if (fileModelNum < 0)
        fatalError("Binary macro file %s: modelNum=%d is negative", path.c_str(), fileModelNum);
    if (fileStreamNum < 1 || fileStreamNum > MAX_STREAM_NUM)
        fatalError("Binary macro file %s: streamNum=%d, outside 1 to %d", path.c_str(), fileStreamNum, MAX_STREAM_NUM);
    int32_t fileVecSize[MAX_STREAM_NUM] = {0, 0, 0};
    for (int s = 0; s < fileStreamNum; ++s) {
        fileVecSize[s] = in.int32();
        if (fileVecSize[s] < 1 || fileVecSize[s] > MAX_PARAM_NUM)
            fatalError("Binary macro file %s: stream %d has vector size %d, outside 1 to %d", path.c_str(), s + 1,
                       fileVecSize[s], MAX_PARAM_NUM);
    }
    const size_t minBytes = MIN_MODEL_BYTES;
    if (static_cast<size_t>(fileModelNum) > in.remaining() / minBytes)
        fatalError("Binary macro file %s: modelNum=%d, but its remaining %zu bytes hold at most %zu models",
                   path.c_str(), fileModelNum, in.remaining(), in.remaining() / minBytes);

    // A first pass checks the whole file against one scratch record, so that a damaged file is
    // refused before the set (about 32 KB a model) is allocated; the second pass cannot fail.
    const size_t modelStart = in.position();
    auto scratch = std::make_unique<hmmModel>();
    for (int32_t id = 0; id < fileModelNum; ++id)
        readModel(in, path, id, fileStreamNum, *scratch);

    std::vector<hmmModel> models(static_cast<size_t>(fileModelNum));
    in.seek(modelStart);
    for (int32_t id = 0; id < fileModelNum; ++id)
        readModel(in, path, id, fileStreamNum, models[static_cast<size_t>(id)]);

    modelNum = fileModelNum;
    streamNum = fileStreamNum;
    std::memcpy(streamVecSize, fileVecSize, sizeof streamVecSize);
    m_models.swap(models);
}

void macroClass::macWriteBinary(const std::string& path) const
{
    if (modelNum < 0 || static_cast<size_t>(modelNum) != m_models.size())
        fatalError("Cannot write %s: modelNum=%d but %zu models are held", path.c_str(), modelNum, m_models.size());
    if (streamNum < 1 || streamNum > MAX_STREAM_NUM)
        fatalError("Cannot write %s: streamNum=%d, outside 1 to %d", path.c_str(), streamNum, MAX_STREAM_NUM);

    macbWriter out;
    out.int32(modelNum);
    out.int32(streamNum);
    for (int s = 0; s < streamNum; ++s) {
        if (streamVecSize[s] < 1 || streamVecSize[s] > MAX_PARAM_NUM)
            fatalError("Cannot write %s: stream %d has vector size %d, outside 1 to %d", path.c_str(), s + 1,
                       streamVecSize[s], MAX_PARAM_NUM);
        out.int32(streamVecSize[s]);
    }
    for (int32_t id = 0; id < modelNum; ++id) {
        const hmmModel& m = m_models[static_cast<size_t>(id)];
        const void* end = std::memchr(m.name, 0, sizeof m.name);
        if (!end)
            fatalError("Cannot write %s: the name of model %d has no terminating zero within %d bytes", path.c_str(),
                       id, MODEL_NAME_SIZE);
        char name[MODEL_NAME_SIZE] = {};
        std::memcpy(name, m.name, static_cast<size_t>(static_cast<const char*>(end) - m.name));
        // The reader fills the 5 x 5 matrix from its start with stateNum^2 values, so a smaller
        // model reads back as written only when its transitions all lie in those first entries
        // (as a 3-state pause model's do: entry, self-loop and exit sit at 1, 6 and 7).
        if (m.stateNum < 2 || m.stateNum > MAX_MODEL_STATE_NUM)
            fatalError("Cannot write %s: model %d (%s) has stateNum=%d, outside 2 to %d", path.c_str(), id, name,
                       m.stateNum, MAX_MODEL_STATE_NUM);
        const float* flat = &m.transp[0][0];
        const int transpValues = m.stateNum * m.stateNum;
        for (int k = transpValues; k < MAX_MODEL_STATE_NUM * MAX_MODEL_STATE_NUM; ++k) {
            if (flat[k] != 0.0f)
                fatalError("Cannot write %s: model %d (%s) has stateNum=%d and a transition at row %d, column %d, "
                           "which the binary layout cannot hold",
                           path.c_str(), id, name, m.stateNum, k / MAX_MODEL_STATE_NUM, k % MAX_MODEL_STATE_NUM);
        }
        out.bytes(name, sizeof name);
        out.int32(m.stateNum);
        for (int st = 0; st < m.stateNum - 2; ++st) {
            const hmmState& state = m.states[st];
            for (int s = 0; s < streamNum; ++s)
                out.float32(state.streamWeight[s]);
            for (int s = 0; s < streamNum; ++s) {
                const hmmStream& stream = state.streams[s];
                if (stream.mixtureNum < 0 || stream.mixtureNum > MAX_MIXTURE_NUM)
                    fatalError("Cannot write %s: model %d (%s), state %d, stream %d has mixtureNum=%d, outside 0 to %d",
                               path.c_str(), id, name, st + 2, s + 1, stream.mixtureNum, MAX_MIXTURE_NUM);
                out.int32(stream.mixtureNum);
                for (int j = 0; j < stream.mixtureNum; ++j) {
                    const hmmMixture& mix = stream.mixtures[j];
                    out.float32(mix.weight);
                    for (float v : mix.mean)
                        out.float32(v);
                    for (float v : mix.var)
                        out.float32(v);
                    out.float32(mix.gconst);
                }
            }
        }
        for (int k = 0; k < transpValues; ++k)
            out.float32(flat[k]);
    }

    writeFileWhole(path, out.data());
}
