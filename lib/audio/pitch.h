// Pitch tracking: per-frame pitch in semitones (69 = 440 Hz), 0 where there is none.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Tracker settings. ptParamSet fills them for a sample rate; the values shown are those at 16 kHz.
struct ptParam {
    int32_t fs = 16000;
    int32_t nbits = 16;
    int32_t pfType = 1; // pitch function: 0 average magnitude difference, 1 autocorrelation
    int32_t frameDurationMs = 32;    // not read by the tracker
    int32_t minFrameDurationMs = 32; // not read by the tracker
    int32_t frameSize = 512;
    int32_t frameStep = 512; // kept beside frameSize; framing uses frameSize - overlap
    int32_t overlap = 0;
    int32_t pfLen = 512; // lags 0..pfLen-1 of the pitch function
    int32_t ppcNum = 10; // not read by the tracker
    float minPitch = 30.0f;
    float maxPitch = 84.0f;
    float pitchRangeMax = 24.0f; // width of the narrowed range of a second pass
    float pitchDiffMax = 5.0f;        // not read by the tracker
    float maxMedianPitchDiff = 20.0f; // not read by the tracker
    int32_t dpMethod = 1;       // lag distance: 1 in lags, otherwise in tenths of semitones
    int32_t dpPosDiffOrder = 1; // 1: distance as is; otherwise squared
    int32_t dpUseLocalOptim = 1; // 1: candidates are local optima; otherwise every lag
    float pfWeight = 1.0f;
    float indexDiffWeight = 1.0f;
    int32_t useVolThreshold = 1;
    int32_t useClarityThreshold = 1;
    float clarityRatio = 0.6f;
    int32_t medianFilterOrder = 5; // 2 or less: no filter
    int32_t cutLeadingTrailingZero = 0;
    float auxRate = 40.0f;     // fs * 20 / 8000; not read by the tracker
    float auxLevel = 1280.0f;  // 2^nbits / 2^8 * 5; not read by the tracker
    int32_t auxFlag = 0;       // not read by the tracker
    int32_t frameRate = 31;    // frames per second
    int32_t minLag = 15;
    int32_t maxLag = 346;
    int32_t useAcf = 1; // clarity weighting of the autocorrelation
};

// One candidate lag of a frame.
struct PitchCandidate {
    int32_t lag = 0;
    double value = 0.0; // pitch function at the lag
    double score = 0.0; // accumulated path score
    int32_t back = -1;  // chosen candidate of the previous frame, -1 at the start of a run
};

struct PitchFrame {
    int32_t chosenLag = -1; // -1 until a path is traced
    std::vector<PitchCandidate> candidates;
};

// Semitones of a frequency (0 when freq <= 0) and the frequency of a semitone (0 when st <= 0).
double freq2semitone(double freq);
double semitone2freq(double semitone);

// Defaults for the rate, width and pitch function type, then the keys of paramFile when that file
// exists, then the frame rate and lag range. A type other than 0 or 1 is fatal.
void ptParamSet(int32_t fs, int32_t nbits, int32_t pfType, const std::string& paramFile, ptParam& param);
// Overrides the fields named in a key = value file; an unknown key is fatal.
void ptParamFileRead(const std::string& path, ptParam& param);

// Optional outputs of pitchTrack, each frameCount long (the matrix frameCount x pfLen, row-major):
// the pitch function after clarity weighting, the chosen lag (-1 outside runs) and the clarity at
// the chosen lag relative to lag 0 (0 when out of 0..1).
struct PitchTrackDetail {
    std::vector<float> pfMatrix;
    std::vector<int32_t> chosenLag;
    std::vector<float> clarity;
};

// Pitch of every frame into `pitch` (resized to the frame count); gives the frame count.
int32_t pitchTrack(const int32_t* samples, int32_t sampleNum, const ptParam& param, std::vector<float>& pitch);
int32_t pitchTrack(const int32_t* samples, int32_t sampleNum, const ptParam& param, std::vector<float>& pitch,
                   PitchTrackDetail& detail);

// Pitch function of one frame of frameSize samples over lags 0..pfLen-1 into pf (pfLen values).
// Autocorrelation, optionally of the frame less its truncated mean. Method 1: sum over every
// pair within the frame; 2: that sum divided by its term count; 3: the first frameSize - pfLen
// products for every lag; 4: the first pfLen products (pairs past the frame end are left out).
// Another method prints a message and ends the program with status 1.
void frame2acf(const int32_t* frame, int32_t frameSize, int32_t pfLen, int32_t method, bool removeMean, float* pf);
// The same four methods with |x[i] - x[i + lag]| in place of the product.
void frame2amdf(const int32_t* frame, int32_t frameSize, int32_t pfLen, int32_t method, float* pf);

// Pitch and clarity of one frame from its pitch function (pfLen values), searched over
// param.minLag..param.maxLag.
void frame2pitch(const float* pf, const ptParam& param, float& pitch, float& clarity);

// Candidate lags of one frame (local optima, or every lag) within the pitch range, in lag order.
void pitchCandidates(const float* pf, const ptParam& param, std::vector<PitchCandidate>& candidates);

// Best path through a run of frames that all have candidates: records each frame's chosen lag and
// writes its pitch to pitch[t] (pitch holds at least frames.size() values).
void pitchDp(std::span<PitchFrame> frames, const ptParam& param, std::span<float> pitch);

// Median filter of the given order; the first and last order / 2 values stay.
void pitchMedianFilter(std::vector<float>& pitch, int32_t order);

// Median of the non-zero values; 0 when there is none.
float pitchMedian(const std::vector<float>& pitch);
