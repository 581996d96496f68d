// Tests of endpoint detection on silent signals with bursts of whole 16 ms frames.
#include "audio/epd.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

using Segments = std::vector<std::pair<int32_t, int32_t>>;

// `frames` silent 256-sample frames with alternating +-1000 in the (first frame, frame count) runs.
std::vector<int32_t> bursts(int32_t frames, const Segments& runs)
{
    std::vector<int32_t> s(static_cast<size_t>(frames * 256), 0);
    for (auto [first, count] : runs) {
        for (int32_t i = first * 256; i < (first + count) * 256; ++i)
            s[static_cast<size_t>(i)] = i % 2 ? -1000 : 1000;
    }
    return s;
}

// Begin and end frames of the segments found at 16 kHz by both detectors, which must agree.
Segments detect(const std::vector<int32_t>& s)
{
    EpdParam param;
    epdParamSet(16000, param);
    Segments byVol, byVolHod;
    const int32_t n = static_cast<int32_t>(s.size());
    for (const EpdSegment& seg : epdByVol(s.data(), n, 16000, param)) {
        EXPECT_EQ(seg.duration, seg.endFrame - seg.beginFrame + 1);
        byVol.emplace_back(seg.beginFrame, seg.endFrame);
    }
    for (const EpdSegment& seg : epdByVolHod(s.data(), n, 16000, param))
        byVolHod.emplace_back(seg.beginFrame, seg.endFrame);
    EXPECT_EQ(byVol, byVolHod);
    return byVol;
}

} // namespace

TEST(epd, parametersAndSegmentFind)
{
    EpdParam param;
    param.volRatio = 3;
    epdParamSet(22050, param);
    EXPECT_EQ(param.frameSize, 352); // 352.8 truncated
    EXPECT_EQ(param.volRatio, 10);

    Segments found;
    for (const EpdSegment& seg : segmentFind({1, 1, 0, 1, 0, 0, 1}))
        found.emplace_back(seg.beginFrame, seg.endFrame);
    EXPECT_EQ(found, (Segments{{0, 1}, {3, 3}, {6, 6}}));
}

TEST(epd, shortBurstsAndFlatSignalsGiveNoSegment)
{
    // One second: 62 frames, the threshold from the 2nd smallest and 2nd largest values.
    EXPECT_EQ(detect(bursts(62, {{20, 3}})), Segments{});
    EXPECT_EQ(detect(bursts(62, {{20, 4}})), (Segments{{20, 23}}));
    EXPECT_EQ(detect(bursts(62, {{0, 4}, {44, 4}})), (Segments{{0, 3}, {44, 47}}));
    // The loudest frame alone does not set the threshold.
    std::vector<int32_t> s = bursts(62, {{20, 4}});
    for (size_t i = 50 * 256; i < 51 * 256; ++i)
        s[i] = i % 2 ? -100000 : 100000;
    EXPECT_EQ(detect(s), (Segments{{20, 23}}));

    EXPECT_EQ(detect(std::vector<int32_t>(16000, 1234)), Segments{});
    EXPECT_EQ(detect({}), Segments{});
    EXPECT_EQ(detect(bursts(1, {{0, 1}})), Segments{});
}

TEST(epd, shortLastSegmentFarBehindIsDropped)
{
    // At 16 kHz a tail of 6 frames or fewer more than 44 frames after the previous segment goes.
    EXPECT_EQ(detect(bursts(100, {{5, 10}, {14 + 45, 6}})), (Segments{{5, 14}}));
    EXPECT_EQ(detect(bursts(100, {{5, 10}, {14 + 44, 6}})), (Segments{{5, 14}, {58, 63}}));
    EXPECT_EQ(detect(bursts(100, {{5, 10}, {14 + 45, 7}})), (Segments{{5, 14}, {59, 65}}));
    // Only the last segment is judged, and only against a valid one before it.
    EXPECT_EQ(detect(bursts(100, {{5, 10}, {14 + 45, 6}, {70, 6}})), (Segments{{5, 14}, {59, 64}, {70, 75}}));
    EXPECT_EQ(detect(bursts(100, {{5, 2}, {60, 6}})), (Segments{{60, 65}}));
}
