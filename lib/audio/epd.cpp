#include "audio/epd.h"

#include <algorithm>

#include "audio/volume.h"
#include "common/fatalError.h"
#include "common/strUtil.h"

namespace {

// Detection shared by both detectors: `useHod` averages the frame volume with the high-order
// difference and divides by volHodRatio instead of volRatio.
std::vector<EpdSegment> detect(const int32_t* samples, int32_t sampleNum, int32_t fs, const EpdParam& param,
                               bool useHod)
{
    const int32_t frameNum = frameCount(sampleNum, param.frameSize, param.overlap);
    if (frameNum <= 0 || samples == nullptr)
        return {};
    const int32_t ratio = useHod ? param.volHodRatio : param.volRatio;
    if (ratio <= 0)
        fatalError("Invalid endpoint detection threshold ratio %d", ratio);

    const float framesPerSecond = static_cast<float>(fs) / static_cast<float>(param.frameSize - param.overlap);
    const int32_t minLen = roundHalfAway(param.minSegment * framesPerSecond);
    const int32_t gapMax = roundHalfAway(param.maxTailGap * framesPerSecond);
    const int32_t tailMax = roundHalfAway(param.maxTailDuration * framesPerSecond);

    std::vector<int32_t> v;
    wave2volume(samples, sampleNum, param.frameSize, param.overlap, v, 1);
    if (useHod) {
        std::vector<int32_t> h;
        wave2hod(samples, sampleNum, param.frameSize, param.overlap, h, param.hodOrder);
        for (size_t i = 0; i < v.size() && i < h.size(); ++i)
            v[i] = static_cast<int32_t>((static_cast<int64_t>(v[i]) + h[i]) / 2);
    }

    std::vector<int32_t> sorted(v);
    std::sort(sorted.begin(), sorted.end());
    const int32_t k = std::clamp(roundHalfAway(frameNum * 0.03125), 1, frameNum);
    const int64_t low = sorted[static_cast<size_t>(k - 1)];
    const int64_t high = sorted[static_cast<size_t>(frameNum - k)];
    const int64_t threshold = low + (high - low) / ratio;

    std::vector<int32_t> flags(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        flags[i] = v[i] > threshold ? 1 : 0;
    std::vector<EpdSegment> segments = segmentFind(flags);

    for (EpdSegment& s : segments) {
        if (s.duration <= minLen)
            s.valid = 0;
    }
    // A short last segment far behind the one before it is dropped.
    EpdSegment* last = nullptr;
    EpdSegment* previous = nullptr;
    for (EpdSegment& s : segments) {
        if (s.valid) {
            previous = last;
            last = &s;
        }
    }
    if (last && previous && last->beginFrame - previous->endFrame > gapMax && last->duration <= tailMax)
        last->valid = 0;

    std::erase_if(segments, [](const EpdSegment& s) { return !s.valid; });
    return segments;
}

} // namespace

void epdParamSet(int32_t fs, EpdParam& param)
{
    param = EpdParam{};
    param.frameSize = static_cast<int32_t>(fs / 62.5);
    param.overlap = 0;
}

std::vector<EpdSegment> segmentFind(const std::vector<int32_t>& flags)
{
    std::vector<EpdSegment> segments;
    const size_t n = flags.size();
    for (size_t i = 0; i < n; ++i) {
        if (flags[i] < 1 || (i > 0 && flags[i - 1] > 0))
            continue;
        size_t end = i;
        while (end + 1 < n && flags[end + 1] > 0)
            ++end;
        EpdSegment s;
        s.beginFrame = static_cast<int32_t>(i);
        s.endFrame = static_cast<int32_t>(end);
        s.duration = s.endFrame - s.beginFrame + 1;
        s.valid = 1;
        segments.push_back(s);
        i = end;
    }
    return segments;
}

std::vector<EpdSegment> epdByVol(const int32_t* samples, int32_t sampleNum, int32_t fs, const EpdParam& param)
{
    return detect(samples, sampleNum, fs, param, false);
}

std::vector<EpdSegment> epdByVolHod(const int32_t* samples, int32_t sampleNum, int32_t fs, const EpdParam& param)
{
    return detect(samples, sampleNum, fs, param, true);
}
