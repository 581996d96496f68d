#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "frontend/fft.h"

namespace {

std::vector<float> randomSignal(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
    std::vector<float> x(static_cast<size_t>(n));
    for (float& v : x)
        v = dist(gen);
    return x;
}

// Direct DFT bin k with exponent sign `sign`.
void dft(const std::vector<float>& x, int k, int sign, double& re, double& im)
{
    const int n = static_cast<int>(x.size());
    re = 0;
    im = 0;
    for (int t = 0; t < n; ++t) {
        re += x[static_cast<size_t>(t)] * std::cos(2 * M_PI * k * t / n);
        im += sign * x[static_cast<size_t>(t)] * std::sin(2 * M_PI * k * t / n);
    }
}

} // namespace

TEST(fft, realTransformMatchesTheDirectSum)
{
    for (int n : {4, 16, 512}) {
        std::vector<float> x = randomSignal(n, static_cast<unsigned>(n));
        std::vector<float> y = x;
        realFft(y.data(), n);
        const double tol = 1e-3 * n;
        for (int k = 0; k < n / 2; ++k) {
            double re, im;
            dft(x, k, +1, re, im);
            EXPECT_NEAR(y[static_cast<size_t>(2 * k)], re, tol) << "n=" << n << " k=" << k;
            EXPECT_NEAR(y[static_cast<size_t>(2 * k + 1)], k == 0 ? 0.0 : im, tol) << "n=" << n << " k=" << k;
        }
    }
}

TEST(fft, complexForwardAndInverseRoundTrip)
{
    const int points = 512;
    std::vector<float> x = randomSignal(points, 7);
    std::vector<float> c(2 * points, 0.0f);
    for (int i = 0; i < points; ++i)
        c[static_cast<size_t>(2 * i)] = x[static_cast<size_t>(i)];
    complexFft(c.data(), points, -1, false);
    for (int k : {0, 1, 100, 255, 256, 511}) {
        double re, im;
        dft(x, k, -1, re, im);
        EXPECT_NEAR(c[static_cast<size_t>(2 * k)], re, 0.5);
        EXPECT_NEAR(c[static_cast<size_t>(2 * k + 1)], im, 0.5);
    }
    complexFft(c.data(), points, +1, true);
    for (int i = 0; i < points; ++i) {
        EXPECT_NEAR(c[static_cast<size_t>(2 * i)], x[static_cast<size_t>(i)], 1e-2);
        EXPECT_NEAR(c[static_cast<size_t>(2 * i + 1)], 0.0, 1e-2);
    }
}
