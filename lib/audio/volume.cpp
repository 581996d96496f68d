#include "audio/volume.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numeric>

#include "common/console.h"
#include "common/fatalError.h"

namespace {

const int32_t INT32_MAX_VALUE = std::numeric_limits<int32_t>::max();
const int32_t INT32_MIN_VALUE = std::numeric_limits<int32_t>::min();

int32_t saturate32(int64_t v)
{
    if (v > INT32_MAX_VALUE)
        return INT32_MAX_VALUE;
    if (v < INT32_MIN_VALUE)
        return INT32_MIN_VALUE;
    return static_cast<int32_t>(v);
}

int32_t saturate32(uint64_t v)
{
    return v > static_cast<uint64_t>(INT32_MAX_VALUE) ? INT32_MAX_VALUE : static_cast<int32_t>(v);
}

void checkVolumeMethod(int method)
{
    if (method < 1 || method > 3)
        fatalError("Unknown volume method=%d (line %d of file %s)", method, 475, "lib\\audio");
}

// Median of a frame, found by selection on `work` (a copy of the frame). For an even length the
// two middle values are averaged, truncating toward zero.
int64_t frameMedian(std::vector<int32_t>& work)
{
    const size_t n = work.size();
    const size_t mid = n / 2;
    std::nth_element(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(mid), work.end());
    const int64_t upper = work[mid];
    if (n % 2 == 1)
        return upper;
    const int64_t lower = *std::max_element(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(mid));
    return (lower + upper) / 2;
}

int64_t frameMean(const int32_t* frame, int32_t frameSize)
{
    int64_t sum = 0;
    for (int32_t i = 0; i < frameSize; ++i)
        sum += frame[i];
    return sum / frameSize;
}

// Sum of squared deviations from the truncated mean, saturating instead of wrapping: a
// deviation of a 32-bit sample is below 2^33, so each square needs the check before adding.
uint64_t frameSquaredDeviation(const int32_t* frame, int32_t frameSize)
{
    const int64_t mean = frameMean(frame, frameSize);
    const uint64_t limit = std::numeric_limits<uint64_t>::max();
    uint64_t sum = 0;
    for (int32_t i = 0; i < frameSize; ++i) {
        const int64_t d = frame[i] - mean;
        const uint64_t a = static_cast<uint64_t>(d < 0 ? -d : d);
        if (a > 0xFFFFFFFFull)
            return limit;
        const uint64_t sq = a * a;
        if (sq > limit - sum)
            return limit;
        sum += sq;
    }
    return sum;
}

} // namespace

int32_t frameCount(int32_t sampleNum, int32_t frameSize, int32_t overlap)
{
    const int64_t hop = static_cast<int64_t>(frameSize) - overlap;
    if (frameSize <= 0 || hop <= 0 || sampleNum < frameSize)
        return 0;
    return saturate32((static_cast<int64_t>(sampleNum) - overlap) / hop);
}

void wave2volume(const int32_t* samples, int32_t sampleNum, int32_t frameSize, int32_t overlap,
                 std::vector<int32_t>& volume, int method)
{
    checkVolumeMethod(method);
    const int32_t frames = frameCount(sampleNum, frameSize, overlap);
    const int64_t hop = static_cast<int64_t>(frameSize) - overlap;
    volume.assign(static_cast<size_t>(frames), 0);
    std::vector<int32_t> work;
    for (int32_t f = 0; f < frames; ++f) {
        const int32_t* frame = samples + f * hop;
        int32_t& out = volume[static_cast<size_t>(f)];
        if (method == 1) {
            work.assign(frame, frame + frameSize);
            const int64_t median = frameMedian(work);
            int64_t sum = 0;
            for (int32_t i = 0; i < frameSize; ++i)
                sum += std::llabs(frame[i] - median);
            out = saturate32(sum);
        } else {
            const uint64_t sum = frameSquaredDeviation(frame, frameSize);
            if (method == 2)
                out = saturate32(sum);
            else
                out = sum == 0 ? INT32_MIN_VALUE : static_cast<int32_t>(std::log(static_cast<double>(sum)));
        }
    }
}

void wave2volume(const int32_t* samples, int32_t sampleNum, int32_t frameSize, int32_t overlap,
                 std::vector<float>& volume, int method)
{
    checkVolumeMethod(method);
    const int32_t frames = frameCount(sampleNum, frameSize, overlap);
    const int64_t hop = static_cast<int64_t>(frameSize) - overlap;
    volume.assign(static_cast<size_t>(frames), 0.0f);
    std::vector<int32_t> work;
    for (int32_t f = 0; f < frames; ++f) {
        const int32_t* frame = samples + f * hop;
        float sum = 0.0f;
        if (method == 1) {
            work.assign(frame, frame + frameSize);
            const int64_t median = frameMedian(work);
            for (int32_t i = 0; i < frameSize; ++i)
                sum += static_cast<float>(std::llabs(frame[i] - median));
        } else {
            const int64_t mean = frameMean(frame, frameSize);
            for (int32_t i = 0; i < frameSize; ++i) {
                const float d = static_cast<float>(frame[i] - mean);
                sum += d * d;
            }
            if (method == 3)
                sum = sum == 0.0f ? -1e10f : std::log(sum);
        }
        volume[static_cast<size_t>(f)] = sum;
    }
}

void wave2hod(const int32_t* samples, int32_t sampleNum, int32_t frameSize, int32_t overlap,
              std::vector<int32_t>& hod, int order)
{
    static const int32_t kernels[5][6] = {
        {-1, 1}, {-1, 2, -1}, {-1, 3, -3, 1}, {-1, 4, -6, 4, -1}, {-1, 5, -10, 10, -5, 1}};
    if (order < 1 || order > 5) {
        conPrintf("Unsupported order!\n");
        fatalExit(1, "Unsupported order!");
    }
    const int32_t* kernel = kernels[order - 1];
    const int32_t frames = frameCount(sampleNum, frameSize, overlap);
    const int64_t hop = static_cast<int64_t>(frameSize) - overlap;
    hod.assign(static_cast<size_t>(frames), 0);
    for (int32_t f = 0; f < frames; ++f) {
        const int32_t* frame = samples + f * hop;
        int64_t sum = 0;
        for (int32_t i = 0; i + order < frameSize; ++i) {
            int64_t d = 0;
            for (int j = 0; j <= order; ++j)
                d += static_cast<int64_t>(kernel[j]) * frame[i + j];
            sum += d < 0 ? -d : d;
        }
        hod[static_cast<size_t>(f)] = saturate32(sum);
    }
}

int32_t frame2sampleIndex(int32_t frameIndex, int32_t frameSize, int32_t overlap)
{
    return saturate32(static_cast<int64_t>(frameSize) / 2 - 1 +
                      (static_cast<int64_t>(frameSize) - overlap) * frameIndex);
}

// The utilities below give 0 for an empty array.
int32_t intMean(const int32_t* v, int32_t n)
{
    if (n <= 0)
        return 0;
    int64_t sum = 0;
    for (int32_t i = 0; i < n; ++i)
        sum += v[i];
    return static_cast<int32_t>(sum / n);
}

int32_t intMax(const int32_t* v, int32_t n)
{
    return n <= 0 ? 0 : *std::max_element(v, v + n);
}

int32_t intMin(const int32_t* v, int32_t n)
{
    return n <= 0 ? 0 : *std::min_element(v, v + n);
}

int32_t intSum(const int32_t* v, int32_t n)
{
    int64_t sum = 0;
    for (int32_t i = 0; i < n; ++i)
        sum += v[i];
    return saturate32(sum);
}

int32_t intDot(const int32_t* a, const int32_t* b, int32_t n)
{
    int64_t sum = 0;
    const int64_t hi = std::numeric_limits<int64_t>::max();
    const int64_t lo = std::numeric_limits<int64_t>::min();
    for (int32_t i = 0; i < n; ++i) {
        // A product of two 32-bit values fits in 64 bits; the running sum sticks at the 64-bit limits.
        const int64_t term = static_cast<int64_t>(a[i]) * b[i];
        if (term > 0 && sum > hi - term)
            sum = hi;
        else if (term < 0 && sum < lo - term)
            sum = lo;
        else
            sum += term;
    }
    return saturate32(sum);
}

void intSortWithIndex(const int32_t* v, int32_t n, std::vector<int32_t>& sorted, std::vector<int32_t>& index)
{
    const size_t count = n > 0 ? static_cast<size_t>(n) : 0;
    index.resize(count);
    std::iota(index.begin(), index.end(), 0);
    // Equal values keep their original order.
    std::stable_sort(index.begin(), index.end(), [v](int32_t a, int32_t b) { return v[a] < v[b]; });
    sorted.resize(count);
    for (size_t i = 0; i < count; ++i)
        sorted[i] = v[index[i]];
}
