#include "audio/nellymoser.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>

namespace {

constexpr int16_t kInitialLevel[64] = {
    3134,  5342,  6870,  7792,  8569,  9185,  9744,  10191, 10631, 11061, 11434, 11770, 12116,
    12513, 12925, 13300, 13674, 14027, 14352, 14716, 15117, 15477, 15824, 16157, 16513, 16804,
    17090, 17401, 17679, 17948, 18238, 18520, 18764, 19078, 19381, 19640, 19921, 20205, 20500,
    20813, 21162, 21465, 21794, 22137, 22453, 22756, 23067, 23350, 23636, 23926, 24227, 24521,
    24819, 25107, 25414, 25730, 26120, 26497, 26895, 27344, 27877, 28463, 29426, 31355};

constexpr int16_t kLevelStep[32] = {-11725, -9420, -7910, -6801, -5948, -5233, -4599, -4039,
                                    -3507,  -3030, -2596, -2170, -1774, -1383, -1016, -660,
                                    -329,   -1,    337,   696,   1085,  1512,  1962,  2433,
                                    2968,   3569,  4314,  5279,  6622,  8154,  10076, 12975};

constexpr int kBandWidth[NELLY_BANDS] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 7, 8, 9, 10, 12, 14, 15};

// Levels of a b-bit code q at entry 2^b - 1 + q.
constexpr float kDequant[127] = {
    0.0000000000f,
    -0.8472560048f, 0.7224709988f,
    -1.5247479677f, -0.4531480074f, 0.3753609955f, 1.4717899561f,
    -1.9822579622f, -1.1929379702f, -0.5829370022f, -0.0693780035f, 0.3909569979f, 0.9069200158f, 1.4862740040f,
    2.2215409279f,
    -2.3887870312f, -1.8067539930f, -1.4105420113f, -1.0773609877f, -0.7995010018f, -0.5558109879f, -0.3334020078f,
    -0.1324490011f, 0.0568020009f, 0.2548770010f, 0.4773550034f, 0.7386850119f, 1.0443060398f, 1.3954459429f,
    1.8098750114f, 2.3918759823f,
    -2.3893830776f, -1.9884680510f, -1.7514040470f, -1.5643119812f, -1.3922129869f, -1.2164649963f, -1.0469499826f,
    -0.8905100226f, -0.7645580173f, -0.6454579830f, -0.5259280205f, -0.4059549868f, -0.3029719889f, -0.2096900046f,
    -0.1239869967f, -0.0479229987f, 0.0257730000f, 0.1001340002f, 0.1737180054f, 0.2585540116f, 0.3522900045f,
    0.4569880068f, 0.5767750144f, 0.7003160119f, 0.8425520062f, 1.0093879700f, 1.1821349859f, 1.3534560204f,
    1.5320819616f, 1.7332619429f, 1.9722349644f, 2.3978140354f,
    -2.5756309032f, -2.0573320389f, -1.8984919786f, -1.7727810144f, -1.6662600040f, -1.5742180347f, -1.4993319511f,
    -1.4316639900f, -1.3652280569f, -1.3000990152f, -1.2280930281f, -1.1588579416f, -1.0921250582f, -1.0135740042f,
    -0.9202849865f, -0.8287050128f, -0.7374889851f, -0.6447759867f, -0.5590940118f, -0.4857139885f, -0.4110319912f,
    -0.3459700048f, -0.2851159871f, -0.2341620028f, -0.1870580018f, -0.1442500055f, -0.1107169986f, -0.0739680007f,
    -0.0365610011f, -0.0073290002f, 0.0203610007f, 0.0479039997f, 0.0751969963f, 0.0980999991f, 0.1220389977f,
    0.1458999962f, 0.1694349945f, 0.1970459968f, 0.2252430022f, 0.2556869984f, 0.2870100141f, 0.3197099864f,
    0.3525829911f, 0.3889069855f, 0.4334920049f, 0.4769459963f, 0.5204820037f, 0.5644530058f, 0.6122040153f,
    0.6685929894f, 0.7341650128f, 0.8032159805f, 0.8784040213f, 0.9566209912f, 1.0397069454f, 1.1293770075f,
    1.2211159468f, 1.3080279827f, 1.4024800062f, 1.5056819916f, 1.6227730513f, 1.7724959850f, 1.9430880547f,
    2.2903931141f};

constexpr double kPi = 3.14159265358979323846;

// Gain of the inverse transform that brings the output to the 16-bit scale of the band gains.
constexpr float kOutputScale = 0.125f;

constexpr int kFftSize = NELLY_HALF / 2; // 64 complex points
constexpr int kFftLog2 = 6;

struct TransformTables {
    float preCos[kFftSize];  // cos(pi (4k + 1) / 512)
    float preSin[kFftSize];  // -sin(pi (4k + 1) / 512)
    float postCos[kFftSize]; // cos(pi k / 128), times the output scale
    float postSin[kFftSize]; // -sin(pi k / 128), times the output scale
    float rootCos[kFftSize / 2]; // cos(2 pi k / 64)
    float rootSin[kFftSize / 2]; // -sin(2 pi k / 64)
    int bitReverse[kFftSize];
    float window[NELLY_HALF]; // sin(pi (2k + 1) / 512)

    TransformTables()
    {
        for (int k = 0; k < kFftSize; ++k) {
            const double pre = kPi * (4 * k + 1) / 512.0;
            preCos[k] = static_cast<float>(std::cos(pre));
            preSin[k] = static_cast<float>(-std::sin(pre));
            const double post = kPi * k / 128.0;
            postCos[k] = static_cast<float>(std::cos(post) * kOutputScale);
            postSin[k] = static_cast<float>(-std::sin(post) * kOutputScale);
            int r = 0;
            for (int b = 0; b < kFftLog2; ++b)
                r |= ((k >> b) & 1) << (kFftLog2 - 1 - b);
            bitReverse[k] = r;
        }
        for (int k = 0; k < kFftSize / 2; ++k) {
            rootCos[k] = static_cast<float>(std::cos(2.0 * kPi * k / kFftSize));
            rootSin[k] = static_cast<float>(-std::sin(2.0 * kPi * k / kFftSize));
        }
        for (int k = 0; k < NELLY_HALF; ++k)
            window[k] = static_cast<float>(std::sin(kPi * (2 * k + 1) / 512.0));
    }
};

const TransformTables& tables()
{
    static const TransformTables t;
    return t;
}

// Reads fields of up to 8 bits, least significant bit first.
class BitReader {
public:
    BitReader(const unsigned char* block, int position) : m_block(block), m_pos(position) {}

    int read(int n)
    {
        const int byte = (m_pos >> 3) & (NELLY_BLOCK_BYTES - 1);
        const int shift = m_pos & 7;
        const unsigned both = static_cast<unsigned>(m_block[byte]) |
                              (static_cast<unsigned>(m_block[(byte + 1) & (NELLY_BLOCK_BYTES - 1)]) << 8);
        m_pos += n;
        return static_cast<int>((both >> shift) & ((1u << n) - 1));
    }

private:
    const unsigned char* m_block;
    int m_pos;
};

// The type-IV cosine transform u[n] = sum of x[k] cos(pi / 128 (n + 0.5) (k + 0.5)) of the 128
// coefficients, through a 64-point complex FFT; the result is scaled by the output scale.
void cosineTransform4(const float* x, float* u)
{
    const TransformTables& t = tables();
    float re[kFftSize];
    float im[kFftSize];
    // Even coefficients as real parts, odd ones taken from the top as imaginary parts, rotated,
    // stored in bit-reversed order.
    for (int k = 0; k < kFftSize; ++k) {
        const float a = x[2 * k];
        const float b = x[NELLY_HALF - 1 - 2 * k];
        const int r = t.bitReverse[k];
        re[r] = a * t.preCos[k] - b * t.preSin[k];
        im[r] = a * t.preSin[k] + b * t.preCos[k];
    }
    for (int half = 1, stride = kFftSize / 2; half < kFftSize; half <<= 1, stride >>= 1) {
        for (int start = 0; start < kFftSize; start += 2 * half) {
            for (int j = 0; j < half; ++j) {
                const float wc = t.rootCos[j * stride];
                const float ws = t.rootSin[j * stride];
                const int p = start + j;
                const int q = p + half;
                const float tr = re[q] * wc - im[q] * ws;
                const float ti = re[q] * ws + im[q] * wc;
                re[q] = re[p] - tr;
                im[q] = im[p] - ti;
                re[p] += tr;
                im[p] += ti;
            }
        }
    }
    for (int j = 0; j < kFftSize; ++j) {
        const float sr = re[j] * t.postCos[j] - im[j] * t.postSin[j];
        const float si = re[j] * t.postSin[j] + im[j] * t.postCos[j];
        u[2 * j] = sr;
        u[NELLY_HALF - 1 - 2 * j] = -si;
    }
}

// Signed 16-bit value of an integer, wrapping as a 16-bit register would.
int32_t wrap16(int64_t v)
{
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFF));
}

int64_t shiftBy(int64_t v, int shift)
{
    return shift >= 0 ? v * (int64_t{1} << shift) : v >> -shift;
}

int allocatedBits(const int32_t* v, int32_t off, int s2)
{
    int total = 0;
    for (int i = 0; i < NELLY_FILLED; ++i) {
        const int32_t above = std::max(v[i] - off, 0);
        total += std::min(6, ((above >> (s2 - 1)) + 1) >> 1);
    }
    return total;
}

} // namespace

NellyDecoder nellyDecoderCreate()
{
    return NellyDecoder{};
}

void nellyBitAlloc(const float* levels, int* bits)
{
    int64_t mx = 0;
    for (int i = 0; i < NELLY_FILLED; ++i)
        mx = std::max(mx, static_cast<int64_t>(levels[i]));
    int sh = -16;
    if (mx == 0) {
        sh = 15;
    } else {
        while (mx < (int64_t{1} << 30)) {
            mx *= 2;
            ++sh;
        }
    }
    int32_t v[NELLY_FILLED];
    int64_t sum = 0;
    for (int i = 0; i < NELLY_FILLED; ++i) {
        const int32_t scaled = wrap16(shiftBy(static_cast<int64_t>(levels[i]), sh));
        v[i] = (3 * scaled) >> 2;
        sum += v[i];
    }
    const int s2 = std::max(sh + 11, 1);

    // First guess of the offset: the excess over the budget spread over the coefficients.
    int64_t t = sum - (int64_t{NELLY_HALF_BITS} << s2);
    int32_t off = 0;
    if (t != 0) {
        int doublings = 0;
        while (std::llabs(t) < (int64_t{1} << 30)) {
            t *= 2;
            ++doublings;
        }
        off = wrap16(shiftBy(((t >> 16) * 4228) >> 15, 12 - doublings));
    }
    int total = allocatedBits(v, off, s2);

    if (total != NELLY_HALF_BITS) {
        // Step the offset until the total crosses the budget.
        int64_t d = total - NELLY_HALF_BITS;
        int k = 0;
        while (std::llabs(d) < (int64_t{1} << 14)) {
            d *= 2;
            ++k;
        }
        const int stepShift = s2 - k - 4;
        const int32_t step = static_cast<int32_t>(
            stepShift >= 1 ? ((d * 4228) >> 15) << stepShift : ((d * 4228) >> 15) >> -stepShift);
        const bool over = total > NELLY_HALF_BITS;
        int32_t prevOff = off;
        int prevTotal = total;
        int rounds = 0;
        while (rounds < 19) {
            ++rounds;
            prevOff = off;
            prevTotal = total;
            off = wrap16(int64_t{off} + step);
            total = allocatedBits(v, off, s2);
            if ((total > NELLY_HALF_BITS) != over || total == NELLY_HALF_BITS)
                break;
        }
        if (total != NELLY_HALF_BITS && (total > NELLY_HALF_BITS) != over) {
            // Bisect between the offset above the budget and the one below.
            int32_t hiOff = over ? prevOff : off; // gives more than the budget
            int hiTotal = over ? prevTotal : total;
            int32_t loOff = over ? off : prevOff;
            int loTotal = over ? total : prevTotal;
            while (rounds < 20) {
                ++rounds;
                const int32_t mid = (hiOff + loOff) >> 1;
                const int midTotal = allocatedBits(v, mid, s2);
                if (midTotal == NELLY_HALF_BITS) {
                    hiOff = loOff = mid;
                    hiTotal = loTotal = midTotal;
                    break;
                }
                if (midTotal > NELLY_HALF_BITS) {
                    hiOff = mid;
                    hiTotal = midTotal;
                } else {
                    loOff = mid;
                    loTotal = midTotal;
                }
            }
            if (hiTotal - NELLY_HALF_BITS < NELLY_HALF_BITS - loTotal) {
                off = hiOff;
            } else {
                off = loOff;
            }
        }
    }

    int running = 0;
    for (int i = 0; i < NELLY_FILLED; ++i) {
        const int32_t above = std::max(v[i] - off, 0);
        int b = std::min(6, ((above >> (s2 - 1)) + 1) >> 1);
        if (running + b > NELLY_HALF_BITS)
            b = NELLY_HALF_BITS - running;
        bits[i] = b;
        running += b;
    }
}

void nellyInverseTransformDirect(const float* coefficients, float* y)
{
    for (int n = 0; n < 2 * NELLY_HALF; ++n) {
        double s = 0.0;
        for (int k = 0; k < NELLY_HALF; ++k)
            s += coefficients[k] * std::cos(kPi / NELLY_HALF * (n + 64.5) * (k + 0.5));
        y[n] = static_cast<float>(s * kOutputScale);
    }
}

void nellyInverseTransform(const float* coefficients, float* y)
{
    float u[NELLY_HALF];
    cosineTransform4(coefficients, u);
    // The 256 outputs are the type-IV transform extended by its symmetries.
    for (int n = 0; n < 64; ++n) {
        y[n] = u[n + 64];
        y[192 + n] = -u[n];
    }
    for (int n = 64; n < 192; ++n)
        y[n] = -u[191 - n];
}

void nellyDecodeBlock(NellyDecoder& decoder, const unsigned char* block, float* out)
{
    const TransformTables& t = tables();
    float levels[NELLY_FILLED];
    float gains[NELLY_FILLED];
    BitReader reader(block, 0);
    float level = kInitialLevel[reader.read(6)];
    for (int band = 0, i = 0; band < NELLY_BANDS; ++band) {
        if (band > 0)
            level += kLevelStep[reader.read(5)];
        const float gain = std::exp2(level * 0.00048828125f);
        for (int j = 0; j < kBandWidth[band]; ++j, ++i) {
            levels[i] = level;
            gains[i] = gain;
        }
    }
    int bits[NELLY_FILLED];
    nellyBitAlloc(levels, bits);

    for (int half = 0; half < 2; ++half) {
        BitReader coded(block, 116 + half * NELLY_HALF_BITS);
        float x[NELLY_HALF];
        for (int i = 0; i < NELLY_FILLED; ++i) {
            const int b = bits[i];
            if (b == 0) {
                const float v = gains[i] * 0.7071067811865476f;
                x[i] = (i & 1) ? -v : v;
            } else {
                x[i] = kDequant[(1 << b) - 1 + coded.read(b)] * gains[i];
            }
        }
        for (int i = NELLY_FILLED; i < NELLY_HALF; ++i)
            x[i] = 0.0f;

        float u[NELLY_HALF];
        cosineTransform4(x, u);
        float* o = out + half * NELLY_HALF;
        // First half of this transform (u[n + 64], then -u[191 - n]), windowed, plus what the previous
        // one left; its second half is -u[63 - n] then -u[n - 64], kept as -u[0..63] for the next.
        for (int n = 0; n < 64; ++n) {
            o[n] = t.window[n] * u[n + 64] + t.window[127 - n] * decoder.overlap[static_cast<size_t>(63 - n)];
            o[64 + n] = -t.window[64 + n] * u[127 - n] + t.window[63 - n] * decoder.overlap[static_cast<size_t>(n)];
        }
        for (int n = 0; n < 64; ++n)
            decoder.overlap[static_cast<size_t>(n)] = -u[n];
    }
}

void nellyToPcm16(const float* in, int16_t* out)
{
    for (int i = 0; i < NELLY_BLOCK_SAMPLES; ++i) {
        const float v = in[i];
        if (std::isnan(v)) // from overflowing gains (levels that step up in every band)
            out[i] = 0;
        else if (v >= 32767.0f)
            out[i] = 32767;
        else if (v <= -32768.0f)
            out[i] = -32768;
        else
            out[i] = static_cast<int16_t>(v);
    }
}
