// Tests of the frame volume, the high-order difference and the integer utilities.
#include "audio/volume.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "support/testSupport.h"

namespace {

std::vector<int32_t> alternating(size_t n, int32_t a)
{
    std::vector<int32_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = i % 2 ? -a : a;
    return v;
}

} // namespace

TEST(volume, framesAndVolumesInClosedForm)
{
    EXPECT_EQ(std::vector<int>({frameCount(16000, 256, 0), frameCount(320, 320, 160), frameCount(319, 320, 160),
                                frameCount(100, 10, 10)}),
              std::vector<int>({62, 1, 0, 0}));
    EXPECT_EQ(frame2sampleIndex(2, 256, 0), 127 + 512);

    // Alternating +-A: the even-length median is 0, each sample deviates by A.
    std::vector<int32_t> s = alternating(640, 300);
    std::vector<int32_t> vi;
    std::vector<float> vf;
    wave2volume(s.data(), 640, 320, 160, vi, 1);
    wave2volume(s.data(), 640, 320, 160, vf, 1);
    EXPECT_EQ(vi, std::vector<int32_t>(3, 320 * 300));
    EXPECT_EQ(vf, std::vector<float>(3, 320.0f * 300.0f));
    wave2volume(s.data(), 319, 320, 160, vi, 1);
    EXPECT_TRUE(vi.empty());

    // Odd frames every 4 samples: medians 3 and 1.
    std::vector<int32_t> odd{1, 2, 3, 10, 100, 1, 1, 1, 1};
    wave2volume(odd.data(), 9, 5, 1, vi, 1);
    EXPECT_EQ(vi, (std::vector<int32_t>{2 + 1 + 0 + 7 + 97, 99}));

    // Method 2 takes the mean truncated toward zero: {0, 0, -1} has mean 0, not -1.
    std::vector<int32_t> small{0, 0, -1, 1, 2, 3};
    wave2volume(small.data(), 6, 3, 0, vi, 2);
    EXPECT_EQ(vi, (std::vector<int32_t>{1, 2}));

    // Loud frames exceed 32 bits: method 2 saturates, method 3 logs the true value, 2.88e11.
    std::vector<int32_t> loud = alternating(320, 30000);
    loud.resize(640, 5);
    wave2volume(loud.data(), 640, 320, 0, vi, 2);
    EXPECT_EQ(vi, (std::vector<int32_t>{std::numeric_limits<int32_t>::max(), 0}));
    wave2volume(loud.data(), 640, 320, 0, vi, 3);
    EXPECT_EQ(vi, (std::vector<int32_t>{26, std::numeric_limits<int32_t>::min()}));
    wave2volume(loud.data(), 640, 320, 0, vf, 3);
    EXPECT_NEAR(vf[0], 26.386f, 1e-3f);
    EXPECT_EQ(vf[1], -1e10f);

    EXPECT_EQ(testsupport::fatalMessage([&] { wave2volume(s.data(), 640, 320, 160, vi, 4); }),
              "Unknown volume method=4 (line 475 of file lib\\audio)");
}

TEST(volume, highOrderDifference)
{
    // Order 4 on alternating +-A: |-A - 4A - 6A - 4A - A| = 16A at each of 252 positions.
    std::vector<int32_t> s = alternating(512, 10);
    std::vector<int32_t> hod;
    wave2hod(s.data(), 512, 256, 0, hod, 4);
    EXPECT_EQ(hod, (std::vector<int32_t>{252 * 160, 252 * 160}));

    // A quadratic has a constant second difference of 2 and no third one.
    std::vector<int32_t> q(20);
    for (int32_t i = 0; i < 20; ++i)
        q[static_cast<size_t>(i)] = i * i;
    wave2hod(q.data(), 20, 20, 0, hod, 2);
    EXPECT_EQ(hod, std::vector<int32_t>{18 * 2});
    wave2hod(q.data(), 20, 20, 0, hod, 3);
    EXPECT_EQ(hod, std::vector<int32_t>{0});
    wave2hod(q.data(), 20, 4, 0, hod, 5); // frames shorter than the kernel
    EXPECT_EQ(hod, std::vector<int32_t>(5, 0));

    const std::string out =
        testsupport::captureStdout([&] { EXPECT_EQ(testsupport::programExitStatus([&] { wave2hod(q.data(), 20, 20, 0, hod, 6); }), 1); });
    EXPECT_EQ(out, "Unsupported order!\n");
}

TEST(volume, sortWithIndexAndMean)
{
    const std::vector<int32_t> v{3, -7, 3, 0, -7};
    std::vector<int32_t> sorted, index;
    intSortWithIndex(v.data(), 5, sorted, index);
    EXPECT_EQ(sorted, (std::vector<int32_t>{-7, -7, 0, 3, 3}));
    EXPECT_EQ(index, (std::vector<int32_t>{1, 4, 3, 0, 2}));
    EXPECT_EQ(intMean(v.data(), 5), -1); // -8 / 5 truncates toward zero
    EXPECT_EQ(intMean(v.data(), 0), 0);
}
