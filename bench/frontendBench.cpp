// Front-end throughput: seconds of audio processed per second of CPU time.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

#include "audio/signalCondition.h"
#include "frontend/CMel.h"

namespace {

const int32_t FS = 16000;
const int32_t SECONDS = 60;

// A minute of speech-like signal: voiced bursts of harmonics with pauses, over a little noise.
WaveSignal syntheticRecording()
{
    WaveSignal w;
    w.fs = FS;
    w.nbits = 16;
    w.sampleNum = FS * SECONDS;
    w.samples.resize(static_cast<size_t>(w.sampleNum));
    std::mt19937 gen(1);
    std::normal_distribution<double> noise(0.0, 200.0);
    for (int32_t i = 0; i < w.sampleNum; ++i) {
        const double t = static_cast<double>(i) / FS;
        const bool voiced = std::fmod(t, 1.0) < 0.7;
        double v = noise(gen);
        if (voiced) {
            const double f0 = 120.0 + 30.0 * std::sin(2 * M_PI * 0.5 * t);
            for (int h = 1; h <= 8; ++h)
                v += 3000.0 / h * std::sin(2 * M_PI * f0 * h * t);
        }
        w.samples[static_cast<size_t>(i)] = static_cast<int32_t>(v);
    }
    return w;
}

double cpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Best of a few runs of conditioning, optional spectral subtraction and MFCC.
double throughput(const WaveSignal& recording, const std::string& cfg, bool subtract)
{
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        WaveSignal w = recording;
        const double start = cpuSeconds();
        std::vector<std::string> warnings;
        signalCondition(w, conditionSettings{}, warnings);
        if (subtract) {
            w.samples = specSubtract(w.samples.data(), w.sampleNum, w.fs);
            w.sampleNum = static_cast<int32_t>(w.samples.size());
        }
        CMel mel;
        int32_t frameNum = 0;
        int32_t vecSize = 0;
        mel.waveToMfcc(w.samples.data(), w.fs, w.nbits, w.sampleNum, cfg, frameNum, vecSize);
        best = std::min(best, cpuSeconds() - start);
    }
    return SECONDS / best;
}

} // namespace

int main()
{
    const std::string cfg = (std::filesystem::temp_directory_path() / "recite-bench-mfcc.cfg").string();
    std::ofstream(cfg) << "TARGETKIND = MFCC_E_D_A\n";
    const WaveSignal recording = syntheticRecording();
    std::printf("frontend (conditioning + MFCC_E_D_A, 60 s at 16 kHz): %.1f s of audio per CPU second\n",
                throughput(recording, cfg, false));
    std::printf("frontend with spectral subtraction (60 s at 16 kHz): %.1f s of audio per CPU second\n",
                throughput(recording, cfg, true));
    std::filesystem::remove(cfg);
    return 0;
}
