#include "frontend/fft.h"

#include <cmath>
#include <utility>

void complexFft(float* data, int points, int expSign, bool scale)
{
    // 1-based indexing as a(i) = data[i - 1] over n = 2 x points floats.
    const int n = 2 * points;
    auto a = [data](int i) -> float& { return data[i - 1]; };

    // Bit-reversal permutation of the complex values.
    int j = 1;
    for (int ii = 1; ii <= points; ++ii) {
        const int i = 2 * ii - 1;
        if (j > i) {
            std::swap(a(j), a(i));
            std::swap(a(j + 1), a(i + 1));
        }
        int m = points;
        while (m >= 2 && j > m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }

    // Butterflies; twiddles advance by the sine recurrence.
    for (int span = 2; span < n; span *= 2) {
        const int inc = 2 * span;
        const double theta = expSign * (FFT_TWO_PI / span);
        const double s = std::sin(0.5 * theta);
        const double wpr = -2.0 * s * s;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int ii = 1; ii <= span / 2; ++ii) {
            const int m = 2 * ii - 1;
            for (int i = m; i <= n; i += inc) {
                const int k = i + span;
                const double xre = wr * a(k) - wi * a(k + 1);
                const double xim = wr * a(k + 1) + wi * a(k);
                a(k) = static_cast<float>(a(i) - xre);
                a(k + 1) = static_cast<float>(a(i + 1) - xim);
                a(i) = static_cast<float>(a(i) + xre);
                a(i + 1) = static_cast<float>(a(i + 1) + xim);
            }
            const double wx = wr;
            wr = wr * wpr - wi * wpi + wr;
            wi = wi * wpr + wx * wpi + wi;
        }
    }

    if (scale) {
        for (int i = 0; i < n; ++i)
            data[i] = static_cast<float>(data[i] / points);
    }
}

void realFft(float* data, int n)
{
    const int half = n / 2;
    auto a = [data](int i) -> float& { return data[i - 1]; };
    complexFft(data, half, +1, false);

    // Split the half-length transform of even and odd samples into the real transform.
    const double theta = FFT_PI / half;
    const double s = std::sin(0.5 * theta);
    const double wpr = -2.0 * s * s;
    const double wpi = std::sin(theta);
    double wr = 1.0 + wpr;
    double wi = wpi;
    for (int i = 2; i <= half / 2; ++i) {
        const int i1 = 2 * i - 1;
        const int i2 = i1 + 1;
        const int i3 = n + 3 - i2;
        const int i4 = i3 + 1;
        const double h1r = 0.5 * (a(i1) + a(i3));
        const double h1i = 0.5 * (a(i2) - a(i4));
        const double h2r = -(-0.5) * (a(i2) + a(i4));
        const double h2i = -0.5 * (a(i1) - a(i3));
        a(i1) = static_cast<float>(h1r + wr * h2r - wi * h2i);
        a(i2) = static_cast<float>(h1i + wr * h2i + wi * h2r);
        a(i3) = static_cast<float>(h1r - wr * h2r + wi * h2i);
        a(i4) = static_cast<float>(-h1i + wr * h2i + wi * h2r);
        const double wx = wr;
        wr = wr * wpr - wi * wpi + wr;
        wi = wi * wpr + wx * wpi + wi;
    }
    const float dc = a(1);
    a(1) = dc + a(2);
    a(2) = 0.0f;
}
