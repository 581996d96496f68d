// Frame volume, high-order difference and small integer-array utilities.
#pragma once

#include <cstdint>
#include <vector>

// Frames of frameSize samples every frameSize - overlap samples from sample 0; a trailing partial
// frame is dropped. Gives 0 when there is no whole frame.
int32_t frameCount(int32_t sampleNum, int32_t frameSize, int32_t overlap);

// Volume of every frame into `volume` (resized to the frame count). Method 1: sum of absolute
// deviations from the frame median; 2: sum of squared deviations from the frame mean;
// 3: natural log of method 2. Any other method is fatal.
void wave2volume(const int32_t* samples, int32_t sampleNum, int32_t frameSize, int32_t overlap,
                 std::vector<int32_t>& volume, int method);
void wave2volume(const int32_t* samples, int32_t sampleNum, int32_t frameSize, int32_t overlap,
                 std::vector<float>& volume, int method);

// High-order difference of every frame (order 1..5; any other order ends the program with status 1).
void wave2hod(const int32_t* samples, int32_t sampleNum, int32_t frameSize, int32_t overlap,
              std::vector<int32_t>& hod, int order);

// Sample index of a frame's centre.
int32_t frame2sampleIndex(int32_t frameIndex, int32_t frameSize, int32_t overlap);

// Integer utilities: mean truncates toward zero; the sort gives an ascending copy and, for each
// element, its index before sorting.
int32_t intMean(const int32_t* v, int32_t n);
int32_t intMax(const int32_t* v, int32_t n);
int32_t intMin(const int32_t* v, int32_t n);
int32_t intSum(const int32_t* v, int32_t n);
int32_t intDot(const int32_t* a, const int32_t* b, int32_t n);
void intSortWithIndex(const int32_t* v, int32_t n, std::vector<int32_t>& sorted, std::vector<int32_t>& index);
