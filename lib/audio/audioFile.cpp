#include "audio/audioFile.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "audio/flvFile.h"
#include "common/byteOrder.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"

namespace {

enum waveErrorCode {
    WAVE_ERR_NONE = 0,
    WAVE_ERR_FORMAT = 1,
    WAVE_ERR_FILE_OPEN = 4,
    WAVE_ERR_CHUNK_READ = 6,
    WAVE_ERR_DATA_READ = 7,
};

const size_t WAVE_FORMAT_RECORD_BYTES = 18;
// Offset of the sub-format tag inside an extensible "fmt " chunk.
const size_t EXTENSIBLE_SUBFORMAT_OFFSET = 24;

// A chunk found inside a RIFF file: where its data starts and how long it says it is.
struct riffChunk {
    uint64_t dataOffset = 0;
    uint64_t size = 0;
};

bool idEquals(const std::string& bytes, uint64_t pos, const char* id)
{
    return std::memcmp(bytes.data() + pos, id, 4) == 0;
}

// Next chunk called `id` at or after `pos` and wholly starting before `end`, skipping others.
bool findChunk(const std::string& bytes, uint64_t pos, uint64_t end, const char* id, riffChunk& chunk)
{
    while (pos + 8 <= end) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + pos);
        uint64_t size = readLe32(p + 4);
        if (idEquals(bytes, pos, id)) {
            chunk.dataOffset = pos + 8;
            chunk.size = size;
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

// The top-level RIFF chunk of form type "WAVE": its contents (after the form type) up to its
// stated end or the end of the file, whichever comes first.
bool findRiffWave(const std::string& bytes, uint64_t& begin, uint64_t& end)
{
    uint64_t pos = 0;
    const uint64_t fileEnd = bytes.size();
    riffChunk chunk;
    while (findChunk(bytes, pos, fileEnd, "RIFF", chunk)) {
        if (chunk.dataOffset + 4 <= fileEnd && idEquals(bytes, chunk.dataOffset, "WAVE")) {
            begin = chunk.dataOffset + 4;
            end = std::min<uint64_t>(chunk.dataOffset + chunk.size, fileEnd);
            return true;
        }
        pos = chunk.dataOffset + chunk.size + (chunk.size & 1);
    }
    return false;
}

// Saturating conversion of a float sample in [-1, 1] to 16 bits.
int16_t floatToPcm16(float v)
{
    if (std::isnan(v))
        return 0;
    double scaled = static_cast<double>(v) * 32768.0;
    int r = roundHalfAway(scaled);
    if (r > INT16_MAX)
        return INT16_MAX;
    if (r < INT16_MIN)
        return INT16_MIN;
    return static_cast<int16_t>(r);
}

WaveSignal signalFromPcm16(const std::vector<int16_t>& pcm, int32_t fs, int32_t nbits)
{
    WaveSignal sig;
    sig.samples.assign(pcm.begin(), pcm.end());
    sig.sampleNum = static_cast<int32_t>(pcm.size());
    sig.fs = fs;
    sig.nbits = nbits;
    return sig;
}

} // namespace

const char* waveErrorText(int code)
{
    static const char* const texts[] = {
        "No error.",
        "Wave format mismatch.",
        "Device required in use.",
        "MMTIME required time format not supported.",
        "File open error.",
        "File close error.",
        "File chunk read error.",
        "File data read error.",
        "File chunk write error.",
        "File data write error.",
    };
    if (code >= 0 && code < static_cast<int>(std::size(texts)))
        return texts[code];
    return "Unspecified error.";
}

int16_t muLawToLinear(unsigned char byte)
{
    static const int bias[8] = {0, 132, 396, 924, 1980, 4092, 8316, 16764};
    unsigned char u = static_cast<unsigned char>(~byte);
    int segment = (u >> 4) & 0x07;
    int mantissa = u & 0x0F;
    int magnitude = (mantissa << (segment + 3)) + bias[segment];
    return static_cast<int16_t>((u & 0x80) ? -magnitude : magnitude);
}

WaveFile::WaveFile(int channels, int samplesPerSec, int bitsPerSample)
{
    m_format.formatTag = WAVE_FORMAT_PCM;
    m_format.channels = static_cast<uint16_t>(channels);
    m_format.samplesPerSec = static_cast<uint32_t>(samplesPerSec);
    m_format.bitsPerSample = static_cast<uint16_t>(bitsPerSample);
    m_format.blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    m_format.avgBytesPerSec = m_format.blockAlign * m_format.samplesPerSec;
    m_format.extraSize = 0;
}

bool WaveFile::fail(int code)
{
    m_lastError = waveErrorText(code);
    return false;
}

bool WaveFile::read(const std::string& path)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        return fail(WAVE_ERR_FILE_OPEN);
    const uint64_t fileEnd = bytes.size();
    const auto* base = reinterpret_cast<const unsigned char*>(bytes.data());

    uint64_t riffBegin = 0;
    uint64_t riffEnd = 0;
    riffChunk fmt;
    if (!findRiffWave(bytes, riffBegin, riffEnd) || !findChunk(bytes, riffBegin, riffEnd, "fmt ", fmt))
        return fail(WAVE_ERR_CHUNK_READ);
    if (fmt.dataOffset + fmt.size > fileEnd)
        return fail(WAVE_ERR_CHUNK_READ);

    // The chunk is read over the format record, never beyond it.
    unsigned char record[WAVE_FORMAT_RECORD_BYTES];
    writeLe16(record, m_format.formatTag);
    writeLe16(record + 2, m_format.channels);
    writeLe32(record + 4, m_format.samplesPerSec);
    writeLe32(record + 8, m_format.avgBytesPerSec);
    writeLe16(record + 12, m_format.blockAlign);
    writeLe16(record + 14, m_format.bitsPerSample);
    writeLe16(record + 16, m_format.extraSize);
    std::memcpy(record, base + fmt.dataOffset, std::min<uint64_t>(fmt.size, WAVE_FORMAT_RECORD_BYTES));
    m_format.formatTag = readLe16(record);
    m_format.channels = readLe16(record + 2);
    m_format.samplesPerSec = readLe32(record + 4);
    m_format.avgBytesPerSec = readLe32(record + 8);
    m_format.blockAlign = readLe16(record + 12);
    m_format.bitsPerSample = readLe16(record + 14);
    m_format.extraSize = readLe16(record + 16);

    // Mu-law bytes, 32-bit floats (also as the sub-format of an extensible file, the first two
    // bytes of its GUID), and for every other tag integer PCM of the stated width.
    uint16_t encoding = WAVE_FORMAT_PCM;
    if (m_format.formatTag == WAVE_FORMAT_MULAW) {
        encoding = WAVE_FORMAT_MULAW;
    } else if (m_format.bitsPerSample == 32) {
        uint16_t tag = m_format.formatTag;
        if (tag == WAVE_FORMAT_EXTENSIBLE && fmt.size >= EXTENSIBLE_SUBFORMAT_OFFSET + 2)
            tag = readLe16(base + fmt.dataOffset + EXTENSIBLE_SUBFORMAT_OFFSET);
        if (tag == WAVE_FORMAT_IEEE_FLOAT)
            encoding = WAVE_FORMAT_IEEE_FLOAT;
    }

    // The "data" chunk is searched from the end of "fmt " on.
    riffChunk data;
    if (!findChunk(bytes, fmt.dataOffset + fmt.size + (fmt.size & 1), riffEnd, "data", data))
        return fail(WAVE_ERR_CHUNK_READ);
    if (data.size == 0 || data.dataOffset + data.size > fileEnd)
        return fail(WAVE_ERR_DATA_READ);
    m_data.assign(base + data.dataOffset, base + data.dataOffset + data.size);

    if (!convertToPcm16(encoding))
        return fail(WAVE_ERR_FORMAT);
    m_lastError.clear();
    return true;
}

// Brings mu-law, wide integer and float data to 16-bit PCM; 8-bit and 16-bit PCM stay. Integer
// widths other than 8, 16, 24 and 32 bits (zero included) are refused.
bool WaveFile::convertToPcm16(uint16_t encoding)
{
    const uint16_t bits = m_format.bitsPerSample;
    size_t bytesPerSample = 0;
    if (encoding == WAVE_FORMAT_MULAW) {
        bytesPerSample = 1;
    } else if (encoding == WAVE_FORMAT_IEEE_FLOAT) {
        bytesPerSample = 4;
    } else {
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return false;
        bytesPerSample = bits / 8;
    }
    const size_t count = m_data.size() / bytesPerSample;
    if (count > static_cast<size_t>(INT32_MAX))
        return false;
    if (encoding != WAVE_FORMAT_MULAW && encoding != WAVE_FORMAT_IEEE_FLOAT && bits <= 16)
        return true;

    std::vector<unsigned char> out(count * 2);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* p = m_data.data() + i * bytesPerSample;
        int16_t v = 0;
        if (encoding == WAVE_FORMAT_MULAW) {
            v = muLawToLinear(p[0]);
        } else if (encoding == WAVE_FORMAT_IEEE_FLOAT) {
            float f;
            uint32_t raw = readLe32(p);
            std::memcpy(&f, &raw, sizeof f);
            v = floatToPcm16(f);
        } else {
            // The top 16 bits of a wider integer sample.
            v = static_cast<int16_t>(readLe16(p + bytesPerSample - 2));
        }
        writeLe16(out.data() + 2 * i, static_cast<uint16_t>(v));
    }
    m_data.swap(out);
    m_format.formatTag = WAVE_FORMAT_PCM;
    m_format.bitsPerSample = 16;
    m_format.blockAlign = static_cast<uint16_t>(m_format.channels * 2);
    m_format.avgBytesPerSec = m_format.blockAlign * m_format.samplesPerSec;
    return true;
}

int32_t WaveFile::getSamples(int32_t* dest, int32_t maxCount) const
{
    const int bytesPerSample = m_format.bitsPerSample / 8;
    if (bytesPerSample != 1 && bytesPerSample != 2)
        return 0;
    size_t available = m_data.size() / static_cast<size_t>(bytesPerSample);
    int32_t count = static_cast<int32_t>(std::min<size_t>(available, static_cast<size_t>(std::max(maxCount, 0))));
    for (int32_t i = 0; i < count; ++i) {
        if (bytesPerSample == 2)
            dest[i] = static_cast<int16_t>(readLe16(m_data.data() + 2 * static_cast<size_t>(i)));
        else
            dest[i] = m_data[static_cast<size_t>(i)];
    }
    return count;
}

WaveSignal rawFileRead(const std::string& path)
{
    int64_t size = fileSize(path);
    if (size / 2 > INT32_MAX)
        fatalError("Raw audio file %s is too large (%lld bytes)", path.c_str(), static_cast<long long>(size));
    std::string bytes;
    if (!readFileBytes(path, bytes))
        fatalError("Cannot open file %s (line %d of %s)", path.c_str(), 100, "lib\\utility");
    const size_t count = std::min<size_t>(static_cast<size_t>(size), bytes.size()) / 2;
    WaveSignal sig;
    sig.samples.resize(count);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < count; ++i)
        sig.samples[i] = static_cast<int16_t>(readLe16(p + 2 * i));
    sig.sampleNum = static_cast<int32_t>(count);
    sig.fs = 16000;
    sig.nbits = 16;
    return sig;
}

WaveSignal audioFileRead(const std::string& path)
{
    const std::string ext = path.size() >= 3 ? path.substr(path.size() - 3) : std::string();
    if (ext == "wav" || ext == "WAV" || ext == "wa1" || ext == "WA1" || ext == "wa2" || ext == "WA2") {
        WaveFile wave(1, 8000, 8);
        if (!wave.read(path))
            fatalError("Can't open wave file %s (line %d in %s)", path.c_str(), 24, "lib\\audioFile");
        WaveSignal sig;
        sig.fs = wave.sampleRate();
        sig.nbits = wave.bitsPerSample();
        sig.sampleNum = static_cast<int32_t>(wave.dataByteCount() / static_cast<uint32_t>(sig.nbits / 8));
        sig.samples.resize(static_cast<size_t>(sig.sampleNum));
        wave.getSamples(sig.samples.data(), sig.sampleNum);
        return sig;
    }
    if (ext == "flv" || ext == "FLV") {
        int32_t fs = 0;
        int32_t nbits = 0;
        int32_t channels = 1;
        std::vector<int16_t> pcm = flvFileRead(path, fs, nbits, channels);
        if (pcm.empty())
            fatalError("FLV file \"%s\" holds no audio", path.c_str());
        return signalFromPcm16(pcm, fs, nbits);
    }
    if (ext == "raw" || ext == "RAW")
        return rawFileRead(path);
    fatalError("Cannot read audio file \"%s\" based on its extension name...", path.c_str());
}
