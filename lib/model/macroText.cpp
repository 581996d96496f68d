// Text ("mac") macro files: the whole file is read into memory and scanned as whitespace-separated
// tokens, with the look-ahead of the last token that the model syntax needs.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "model/macro.h"

namespace {

const char* const MACRO_UNIT = "lib\\macro";
// The model count reads the file in line pieces of at most this many characters.
const size_t LINE_PIECE_SIZE = 999;
// No model can be written in fewer bytes than this (a 2-state model: "~h", a quoted name,
// "<BEGINHMM>", a tag and the count, "<TRANSP>" and its 4 values, "<ENDHMM>"); a "~h" count the
// file can't hold is refused before any model is read.
const size_t MIN_MODEL_BYTES = 40;
// How much of an offending token our own messages show.
const size_t SHOWN_TOKEN_SIZE = 60;

constexpr std::array<bool, 256> makeSpaceTable()
{
    std::array<bool, 256> table{};
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'})
        table[static_cast<unsigned char>(c)] = true;
    return table;
}
constexpr std::array<bool, 256> SPACE_TABLE = makeSpaceTable();

inline bool isSpace(char c)
{
    return SPACE_TABLE[static_cast<unsigned char>(c)];
}

// Lines that begin with "~h", a line longer than a piece counting as several lines.
size_t countModelLines(std::string_view text)
{
    size_t count = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t lf = text.find('\n', pos);
        const size_t lineEnd = lf == std::string_view::npos ? text.size() : lf + 1;
        for (size_t start = pos; start < lineEnd; start += LINE_PIECE_SIZE) {
            if (start + 1 < lineEnd && text[start] == '~' && text[start + 1] == 'h')
                ++count;
        }
        pos = lineEnd;
    }
    return count;
}

// A whole token as "%d" reads an integer: optional sign, decimal digits, within the int range.
std::optional<int> parseInt(std::string_view t)
{
    if (!t.empty() && t.front() == '+') {
        t.remove_prefix(1);
        if (t.empty() || t.front() < '0' || t.front() > '9')
            return std::nullopt;
    }
    int value = 0;
    const char* end = t.data() + t.size();
    auto [ptr, ec] = std::from_chars(t.data(), end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// A whole token as "%e" reads a float: decimal or hexadecimal, "inf" and "nan" forms, either sign;
// values beyond the float range give what strtof gives.
bool parseFloatSlow(std::string_view t, float& value)
{
    std::string_view digits = t;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    std::chars_format format = std::chars_format::general;
    if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        format = std::chars_format::hex;
    }
    if (digits.empty() || digits.front() == '+' || digits.front() == '-')
        return false;
    const char* end = digits.data() + digits.size();
    float parsed = 0.0f;
    auto [ptr, ec] = std::from_chars(digits.data(), end, parsed, format);
    if (ptr != end)
        return false;
    if (ec == std::errc::result_out_of_range) {
        const std::string copy(t);
        char* stop = nullptr;
        value = std::strtof(copy.c_str(), &stop);
        return stop == copy.c_str() + copy.size();
    }
    if (ec != std::errc())
        return false;
    value = negative ? -parsed : parsed;
    return true;
}

constexpr float POWERS_OF_TEN[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
constexpr int EXACT_POWER_MAX = 10;          // 10^10 is the largest power of ten a float holds exactly
constexpr uint32_t EXACT_MANTISSA_MAX = 1u << 24; // every integer up to 2^24 is exact in a float

// The usual "%e" text (a sign, a few significant digits, a point, an exponent) at p: when the
// digits and the power of ten are both exact floats, one multiplication or division rounds
// correctly. Gives where the number stops, or nullptr to leave the text to the full conversion.
inline const char* parseFloatFast(const char* p, const char* const end, float& value)
{
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    uint32_t mantissa = 0;
    int significant = 0;
    int scale = 0;
    bool anyDigit = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        anyDigit = true;
        if (mantissa != 0 || *p != '0')
            ++significant;
        mantissa = mantissa * 10 + static_cast<uint32_t>(*p - '0');
        if (significant > 8)
            return nullptr;
    }
    if (p < end && *p == '.') {
        for (++p; p < end && *p >= '0' && *p <= '9'; ++p) {
            anyDigit = true;
            if (mantissa != 0 || *p != '0')
                ++significant;
            mantissa = mantissa * 10 + static_cast<uint32_t>(*p - '0');
            --scale;
            if (significant > 8)
                return nullptr;
        }
    }
    if (!anyDigit)
        return nullptr;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExp = false;
        if (p < end && (*p == '-' || *p == '+')) {
            negativeExp = *p == '-';
            ++p;
        }
        int exponent = 0;
        int expDigits = 0;
        for (; p < end && *p >= '0' && *p <= '9'; ++p) {
            exponent = exponent * 10 + (*p - '0');
            if (++expDigits > 3)
                return nullptr;
        }
        if (expDigits == 0)
            return nullptr;
        scale += negativeExp ? -exponent : exponent;
    }
    if (mantissa > EXACT_MANTISSA_MAX)
        return nullptr;
    float result = static_cast<float>(mantissa);
    if (mantissa != 0) {
        if (scale > EXACT_POWER_MAX || scale < -EXACT_POWER_MAX)
            return nullptr;
        result = scale >= 0 ? result * POWERS_OF_TEN[scale] : result / POWERS_OF_TEN[-scale];
    }
    value = negative ? -result : result;
    return p;
}

// A whole token as "%e" reads a float.
inline bool parseFloat(std::string_view t, float& value)
{
    const char* const end = t.data() + t.size();
    if (parseFloatFast(t.data(), end, value) == end)
        return true;
    auto [ptr, ec] = std::from_chars(t.data(), end, value);
    if (ec == std::errc() && ptr == end)
        return true;
    return parseFloatSlow(t, value);
}

std::string shownToken(std::string_view t)
{
    if (t.size() <= SHOWN_TOKEN_SIZE)
        return std::string(t);
    return std::string(t.substr(0, SHOWN_TOKEN_SIZE)) + "...";
}

// Tokens and numbers of the file in order. `last` is the last token read (numbers don't count);
// `pending` says it still has to be consumed by the step that looks for it.
class macTextScanner {
public:
    macTextScanner(const std::string& path, std::string_view text)
        : m_path(path), m_pos(text.data()), m_end(text.data() + text.size())
    {
    }

    const std::string& path() const { return m_path; }
    // The model being read, for messages; -1 while in the header.
    void setModel(int modelId, const char* name)
    {
        m_modelId = modelId;
        m_modelName = name;
    }
    int modelId() const { return m_modelId; }
    const char* modelName() const { return m_modelName; }

    std::string_view token(const char* what)
    {
        last = next(what);
        return last;
    }

    int integer(const char* what)
    {
        const std::string_view t = next(what);
        if (std::optional<int> value = parseInt(t))
            return *value;
        badNumber(what, t);
    }

    // The next integer when there is one; nothing is consumed otherwise.
    std::optional<int> tryInteger()
    {
        const char* const start = m_pos;
        const std::string_view t = nextOrEmpty();
        std::optional<int> value = parseInt(t);
        if (!value)
            m_pos = start;
        return value;
    }

    float real(const char* what)
    {
        skipSpace();
        float value = 0.0f;
        const char* const stop = parseFloatFast(m_pos, m_end, value);
        if (stop != nullptr && (stop == m_end || isSpace(*stop))) {
            m_pos = stop;
            return value;
        }
        const std::string_view t = next(what);
        if (!parseFloat(t, value))
            badNumber(what, t);
        return value;
    }

    void skipRestOfLine()
    {
        while (m_pos < m_end && *m_pos != '\n')
            ++m_pos;
        if (m_pos < m_end)
            ++m_pos;
    }

    // White space, then a name in double quotes (any bytes but '"').
    std::string_view quotedName()
    {
        skipSpace();
        if (m_pos == m_end)
            endOfFile();
        if (*m_pos != '"')
            fatalError("Error in reading %s: the name of model %d does not begin with '\"'", m_path.c_str(),
                       m_modelId);
        const char* const begin = ++m_pos;
        while (m_pos < m_end && *m_pos != '"')
            ++m_pos;
        if (m_pos == m_end)
            fatalError("Error in reading %s: the name of model %d has no closing '\"'", m_path.c_str(), m_modelId);
        const std::string_view name(begin, static_cast<size_t>(m_pos - begin));
        ++m_pos;
        return name;
    }

    // Whether one of the remaining tokens is `wanted`; reads to the end.
    bool findToken(std::string_view wanted)
    {
        for (std::string_view t = nextOrEmpty(); !t.empty(); t = nextOrEmpty()) {
            if (t == wanted)
                return true;
        }
        return false;
    }

    std::string_view last;
    bool pending = false;

private:
    void skipSpace()
    {
        while (m_pos < m_end && isSpace(*m_pos))
            ++m_pos;
    }

    std::string_view nextOrEmpty()
    {
        skipSpace();
        const char* const begin = m_pos;
        while (m_pos < m_end && !isSpace(*m_pos))
            ++m_pos;
        return std::string_view(begin, static_cast<size_t>(m_pos - begin));
    }

    std::string_view next(const char* what)
    {
        const std::string_view t = nextOrEmpty();
        if (t.empty())
            endOfFile(what);
        return t;
    }

    [[noreturn]] void endOfFile(const char* what = "the quoted model name") const
    {
        if (m_modelId < 0)
            fatalError("Unexpected end of file %s while reading the header (%s expected)", m_path.c_str(), what);
        fatalError("Unexpected end of file %s while reading model %d (%s expected)", m_path.c_str(), m_modelId,
                   what);
    }

    [[noreturn]] void badNumber(const char* what, std::string_view t) const
    {
        const std::string shown = shownToken(t);
        if (m_modelId < 0)
            fatalError("Error in reading %s: expected %s in the header, found \"%s\"", m_path.c_str(), what,
                       shown.c_str());
        fatalError("Error in reading %s: expected %s in model %d, found \"%s\"", m_path.c_str(), what, m_modelId,
                   shown.c_str());
    }

    const std::string& m_path;
    const char* m_pos;
    const char* const m_end;
    int m_modelId = -1;
    const char* m_modelName = "";
};

// Sum of ln(2 pi v) over the variances, for a mixture that doesn't give its <GCONST>.
float computeGconst(const float* var, int vecSize)
{
    double sum = 0.0;
    for (int k = 0; k < vecSize; ++k)
        sum += std::log(2.0 * std::numbers::pi * static_cast<double>(var[k]));
    return static_cast<float>(sum);
}

// <RCLASS>, <MEAN>, <VARIANCE> and <GCONST> of one mixture.
void readMixtureBody(macTextScanner& in, hmmMixture& mix, int streamId, int vecSize)
{
    std::string_view tag = in.token("\"<MEAN>\"");
    if (tag == "<RCLASS>") {
        in.integer("the regression class");
        tag = in.token("\"<MEAN>\"");
    }
    if (tag != "<MEAN>")
        fatalError("Error: Cannot find \"<MEAN>\" (line %d of %s)", 296, MACRO_UNIT);
    const int meanSize = in.integer("the mean vector size");
    if (meanSize != MAX_PARAM_NUM)
        fatalError("Error: MAX_PARAM_NUM = %d != %d! (line %d of %s)", MAX_PARAM_NUM, meanSize, 299, MACRO_UNIT);
    if (vecSize < 1 || vecSize > MAX_PARAM_NUM)
        fatalError("Error in reading %s: model %d (%s): stream %d has vector size %d, outside 1..%d",
                   in.path().c_str(), in.modelId(), in.modelName(), streamId, vecSize, MAX_PARAM_NUM);
    for (int k = 0; k < vecSize; ++k)
        mix.mean[k] = in.real("a mean value");

    tag = in.token("\"<VARIANCE>\"");
    const std::optional<int> varSize = in.tryInteger();
    if (varSize && *varSize != MAX_PARAM_NUM)
        fatalError("Error: MAX_PARAM_NUM = %d != %d! (line %d of %s)", MAX_PARAM_NUM, *varSize, 305, MACRO_UNIT);
    if (tag != "<VARIANCE>")
        fatalError("Cannot find \"<VARIANCE>\" (line %d of %s)", 308, MACRO_UNIT);
    if (!varSize)
        in.integer("the variance vector size");
    for (int k = 0; k < vecSize; ++k)
        mix.var[k] = in.real("a variance value");

    if (in.token("\"<GCONST>\"") == "<GCONST>") {
        mix.gconst = in.real("a gconst value");
    } else {
        // Left for the next step to consume.
        in.pending = true;
        mix.gconst = computeGconst(mix.var, vecSize);
    }
}

void readStream(macTextScanner& in, hmmStream& stream, int streamId, int vecSize)
{
    for (int j = 0; j < stream.mixtureNum && j < MAX_MIXTURE_NUM; ++j) {
        hmmMixture& mix = stream.mixtures[j];
        if (stream.mixtureNum < 2) {
            mix.weight = 1.0f;
        } else {
            if (in.last != "<MIXTURE>" && !in.pending)
                in.token("\"<MIXTURE>\"");
            in.pending = false;
            if (in.last != "<MIXTURE>")
                break; // the stream lists fewer mixtures than it declares
            in.integer("a mixture number");
            mix.weight = in.real("a mixture weight");
        }
        readMixtureBody(in, mix, streamId, vecSize);
    }
}

struct textSetHeader {
    int32_t streamNum = 0;
    int32_t streamVecSize[MAX_STREAM_NUM] = {0, 0, 0};
};

void readState(macTextScanner& in, const textSetHeader& header, hmmModel& model, int modelId, int stateId)
{
    hmmState& state = model.states[stateId - 2];
    if (in.last == "<STATE>") {
        in.integer("a state number");
        in.pending = false;
    } else {
        in.token("\"<STATE>\"");
        in.integer("a state number");
    }

    const std::string_view tag = in.token("\"<NUMMIXES>\" or \"<SWEIGHTS>\"");
    if (tag == "<NUMMIXES>") {
        for (int s = 0; s < header.streamNum; ++s) {
            const int mixtureNum = in.integer("a mixture count");
            if (mixtureNum > MAX_MIXTURE_NUM)
                fatalError("Error: mixtureNum=%d exceeds MAX_MIXTURE_NUM=%d (line %d of %s)", mixtureNum,
                           MAX_MIXTURE_NUM, 214, MACRO_UNIT);
            if (mixtureNum < 0)
                fatalError("Error in reading %s: model %d (%s) has mixtureNum=%d at stateId = %d, below 0",
                           in.path().c_str(), modelId, model.name, mixtureNum, stateId);
            state.streams[s].mixtureNum = mixtureNum;
        }
        in.token("\"<SWEIGHTS>\"");
        in.integer("the stream weight count");
    } else if (tag == "<SWEIGHTS>") {
        for (int s = 0; s < header.streamNum; ++s)
            state.streams[s].mixtureNum = 1;
        in.integer("the stream weight count");
    } else {
        fatalError("ERROR: fail to read <NUMMIXES> or <SWEIGHTS> at modelId = %d, stateId = %d (line %d of %s)",
                   modelId, stateId, 223, MACRO_UNIT);
    }
    for (int s = 0; s < header.streamNum; ++s)
        state.streamWeight[s] = in.real("a stream weight");

    for (int s = 0; s < header.streamNum; ++s) {
        if (header.streamNum > 1) {
            int streamId = 0;
            if (in.last == "<STREAM>") {
                streamId = in.integer("a stream number");
                in.pending = false;
            } else if (in.token("\"<STREAM>\"") == "<STREAM>") {
                streamId = in.integer("a stream number");
            } else {
                streamId = in.tryInteger().value_or(0);
            }
            if (in.last != "<STREAM>") {
                conPrintf("modelId=%d (%s), stateId=%d\n", modelId, model.name, stateId);
                fatalError("str1=%s, temp=%d, Cannot find \"<STREAM>\" (line %d of %s)", std::string(in.last).c_str(),
                           streamId, 248, MACRO_UNIT);
            }
        }
        readStream(in, state.streams[s], s + 1, header.streamVecSize[s]);
    }
}

void readModel(macTextScanner& in, const std::string& path, const textSetHeader& header, hmmModel& model,
               int modelId)
{
    in.setModel(modelId, model.name);
    in.token("\"~h\"");
    const std::string_view name = in.quotedName();
    if (name.size() >= static_cast<size_t>(MODEL_NAME_SIZE))
        fatalError("Error in reading %s: the name of model %d has %zu characters, more than %d", path.c_str(),
                   modelId, name.size(), MODEL_NAME_SIZE - 1);
    std::memcpy(model.name, name.data(), name.size());

    const std::string_view begin = in.token("\"<BEGINHMM>\"");
    if (begin != "<BEGINHMM>")
        fatalError("modelId=%d, str1=%s, Cannot find \"<BEGINHMM>\" (line %d of %s)", modelId,
                   std::string(begin).c_str(), 194, MACRO_UNIT);
    in.token("\"<NUMSTATES>\"");
    const int stateNum = in.integer("the state count");
    // 2 states (entry and exit only) is a model without emitting states.
    if (stateNum < 2 || stateNum > MAX_MODEL_STATE_NUM)
        fatalError("Error in reading %s: model %d (%s) has stateNum=%d, outside 2..%d", path.c_str(), modelId,
                   model.name, stateNum, MAX_MODEL_STATE_NUM);
    model.stateNum = stateNum;

    for (int stateId = 2; stateId < stateNum; ++stateId)
        readState(in, header, model, modelId, stateId);

    if (in.last == "<TRANSP>") {
        in.integer("the transition matrix size");
        in.pending = false;
    } else {
        if (in.token("\"<TRANSP>\"") != "<TRANSP>")
            fatalError("Error: Cannot find \"<TRANSP>\" (line %d of %s)", 345, MACRO_UNIT);
        in.integer("the transition matrix size");
    }
    for (int i = 0; i < stateNum; ++i) {
        for (int j = 0; j < stateNum; ++j)
            model.transp[i][j] = in.real("a transition value");
    }

    if (in.token("\"<ENDHMM>\"") != "<ENDHMM>")
        fatalError("Error: Not reading <ENDHMM>, modelId=%d (line %d of %s)", modelId, 362, MACRO_UNIT);
}

} // namespace

void macroClass::macReadText(const std::string& path)
{
    modelNum = 0;
    streamNum = 0;
    for (int32_t& size : streamVecSize)
        size = 0;
    std::vector<hmmModel>().swap(m_models);

    std::string bytes;
    if (!readFileBytes(path, bytes))
        fatalError("Cannot open file %s (line %d of %s)", path.c_str(), 100, "lib\\utility");
    const std::string_view text(bytes);

    const size_t count = countModelLines(text);
    if (count > text.size() / MIN_MODEL_BYTES || count > static_cast<size_t>(INT32_MAX))
        fatalError("Error in reading %s: %zu lines begin with \"~h\", more models than %zu bytes can hold",
                   path.c_str(), count, text.size());
    // The records (about 32 KB each) grow with the models read, not with the count, so that a
    // file of "~h" lines and little else costs no more than it holds.
    std::vector<hmmModel> models;

    macTextScanner in(path, text);
    textSetHeader header;
    in.token("the global options macro");
    in.token("\"<STREAMINFO>\"");
    header.streamNum = in.integer("the stream count");
    if (header.streamNum < 1 || header.streamNum > MAX_STREAM_NUM)
        fatalError("Error in reading %s: streamNum=%d is outside 1..%d", path.c_str(), header.streamNum,
                   MAX_STREAM_NUM);
    // The vector sizes are checked where a mean is read (after its declared size) and at the end.
    for (int s = 0; s < header.streamNum; ++s)
        header.streamVecSize[s] = in.integer("a stream vector size");
    in.token("\"<VECSIZE>\"");
    in.skipRestOfLine();

    for (size_t m = 0; m < count; ++m) {
        try {
            models.emplace_back();
        } catch (const std::bad_alloc&) {
            fatalError("Error in reading %s: not enough memory for %zu models", path.c_str(), count);
        }
        readModel(in, path, header, models.back(), static_cast<int>(m));
    }
    // Exactly the counted models are read; what follows them (comments, other macros) is not
    // looked at, except that a model whose "~h" does not begin a line would be lost silently.
    if (in.findToken("~h"))
        fatalError("Error in reading %s: a \"~h\" after the last of %zu models does not begin a line", path.c_str(),
                   count);
    for (int s = 0; s < header.streamNum; ++s) {
        if (header.streamVecSize[s] < 1 || header.streamVecSize[s] > MAX_PARAM_NUM)
            fatalError("Error in reading %s: stream %d has vector size %d, outside 1..%d", path.c_str(), s + 1,
                       header.streamVecSize[s], MAX_PARAM_NUM);
    }

    modelNum = static_cast<int32_t>(models.size());
    streamNum = header.streamNum;
    for (int s = 0; s < MAX_STREAM_NUM; ++s)
        streamVecSize[s] = header.streamVecSize[s];
    m_models = std::move(models);
}
