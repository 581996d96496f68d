// Decoder of Nellymoser audio: 64-byte blocks of 256 samples each.
#pragma once

#include <array>
#include <cstdint>

constexpr int NELLY_BLOCK_BYTES = 64;
constexpr int NELLY_BLOCK_SAMPLES = 256;
constexpr int NELLY_HALF = 128;   // coefficients, and output samples, per half block
constexpr int NELLY_BANDS = 23;
constexpr int NELLY_FILLED = 124; // coefficients covered by the bands
constexpr int NELLY_HALF_BITS = 198;

// What the previous half block left for the overlap-add: the windowed second half of its
// inverse transform, which is symmetric, so 64 values hold it.
struct NellyDecoder {
    std::array<float, NELLY_HALF / 2> overlap{};
};

NellyDecoder nellyDecoderCreate();

// Bits per coefficient (0 to 6, at most 198 in all) for the 124 band levels of a block.
void nellyBitAlloc(const float* levels, int* bits);

// Decodes one 64-byte block into 256 samples (floats at 16-bit scale).
void nellyDecodeBlock(NellyDecoder& decoder, const unsigned char* block, float* out);

// 256 floats to 16-bit samples: clipped to the 16-bit range, otherwise truncated toward zero.
void nellyToPcm16(const float* in, int16_t* out);

// The inverse transform of one half block without the fast algorithm, as a check of the fast one:
// y[n] = sum of x[k] cos(pi / 128 (n + 64.5) (k + 0.5)) for n = 0..255, times the output scale.
void nellyInverseTransformDirect(const float* coefficients, float* y);
// The same through the fast algorithm.
void nellyInverseTransform(const float* coefficients, float* y);
