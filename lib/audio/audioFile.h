// Reading of WAVE, raw and FLV audio files into a WaveSignal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/waveSignal.h"

// Fields of a RIFF WAVE "fmt " chunk, in file order (18 bytes in the file).
struct WaveFormat {
    uint16_t formatTag = 1;
    uint16_t channels = 1;
    uint32_t samplesPerSec = 8000;
    uint32_t avgBytesPerSec = 8000;
    uint16_t blockAlign = 1;
    uint16_t bitsPerSample = 8;
    uint16_t extraSize = 0;
};

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_MULAW = 7;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// Text stored as the last error for a wave file error code.
const char* waveErrorText(int code);

// A RIFF WAVE file read into memory. Tag 7 is mu-law; tag 3 at 32 bits (or an extensible file
// with that sub-format) is float; every other tag is integer PCM of the stated width. Mu-law,
// float and 24- or 32-bit integers are turned into 16-bit PCM while reading; 8-bit data stays
// unsigned; other widths are refused. The channel count is not consulted.
class WaveFile {
public:
    WaveFile(int channels, int samplesPerSec, int bitsPerSample);

    // True on success; false with lastError() set otherwise.
    bool read(const std::string& path);
    // Converts at most maxCount samples into dest (16 bits signed, 8 bits unsigned); gives the count.
    int32_t getSamples(int32_t* dest, int32_t maxCount) const;

    int32_t sampleRate() const { return static_cast<int32_t>(m_format.samplesPerSec); }
    int32_t bitsPerSample() const { return m_format.bitsPerSample; }
    uint32_t dataByteCount() const { return static_cast<uint32_t>(m_data.size()); }
    const WaveFormat& format() const { return m_format; }
    const std::string& lastError() const { return m_lastError; }

private:
    bool fail(int code);
    bool convertToPcm16(uint16_t encoding);

    WaveFormat m_format;
    std::vector<unsigned char> m_data;
    std::string m_lastError;
};

// 16-bit linear value of a G.711 mu-law byte.
int16_t muLawToLinear(unsigned char byte);

// Reads the utterance; the reader is chosen by the last three characters of the path.
// Any failure is fatal.
WaveSignal audioFileRead(const std::string& path);

// A raw file of 16-bit little-endian samples at 16000 Hz.
WaveSignal rawFileRead(const std::string& path);
