// Radix-2 FFTs on float buffers, computed with double-precision twiddles.
#pragma once

constexpr double FFT_PI = 3.14159265358979;
constexpr double FFT_TWO_PI = 6.28318530717959;

// In place on `points` complex values stored as (re, im) pairs; points must be a power of two.
// expSign +1 computes X[k] = sum x[n] e^(+2 pi i k n / points), -1 the conjugate transform.
// With `scale` the result is divided by points (for an inverse transform).
void complexFft(float* data, int points, int expSign, bool scale);

// In place on n real values (n a power of two, at least 4): afterwards data[2k], data[2k+1] hold the
// real and imaginary part of bin k for k = 1 .. n/2 - 1; data[0] holds bin 0 and data[1] is 0 (the
// Nyquist term is dropped). The transform is unscaled with exponent sign +1.
void realFft(float* data, int n);
