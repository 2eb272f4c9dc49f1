#include "Fourier.h"

#include <cmath>

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr std::uint32_t kShortGroup = 16;

inline void Butterfly(float* reJ, float* imJ, float* reK, float* imK, float wr, float wi)
{
    const float tr = wr * *reK - wi * *imK;
    const float ti = wr * *imK + wi * *reK;
    *reK = *reJ - tr;
    *imK = *imJ - ti;
    *reJ = *reJ + tr;
    *imJ = *imJ + ti;
}

}  // namespace

std::uint16_t SizeToBits(std::uint16_t NumSamples)
{
    const std::uint32_t n = NumSamples;
    for (std::uint16_t bit = 0; bit <= 16; ++bit) {
        if ((n & (std::uint32_t{1} << bit)) != 0)
            return bit;
    }
    return 0;
}

std::uint16_t BitReverse(std::uint16_t index, std::uint16_t bits)
{
    if (bits > 16) {
        // More rounds than bits: the extra rounds only shift zeros in.
        std::uint32_t result = 0;
        std::uint32_t rest = index;
        for (std::uint16_t i = 0; i < bits; ++i) {
            result = (result << 1) | (rest & 1u);
            rest >>= 1;
        }
        return static_cast<std::uint16_t>(result);
    }
    // Reverse all 16 bits by swapping ever smaller halves, then drop the
    // bits that were above `bits`: the same as `bits` shift rounds.
    std::uint32_t v = index;
    v = ((v >> 1) & 0x5555u) | ((v & 0x5555u) << 1);
    v = ((v >> 2) & 0x3333u) | ((v & 0x3333u) << 2);
    v = ((v >> 4) & 0x0F0Fu) | ((v & 0x0F0Fu) << 4);
    v = ((v >> 8) & 0x00FFu) | ((v & 0x00FFu) << 8);
    return bits == 0 ? 0 : static_cast<std::uint16_t>(v >> (16 - bits));
}

void Transform(std::uint16_t NumSamples, const float* RealIn, const float* ImagIn, float* RealOut, float* ImagOut,
               float AngleNumerator)
{
    const std::uint32_t n = NumSamples;
    const std::uint16_t bits = SizeToBits(NumSamples);
    // The output arrays must not be the inputs nor each other.
    float* __restrict re = RealOut;
    float* __restrict im = ImagOut;

    // j runs through BitReverse(i, bits) by a reversed increment: add one
    // at the top bit and carry downwards (wrapping like the low bits of i).
    // It stays below 2^bits, which never exceeds N.
    const std::uint32_t top = bits == 0 ? 0 : std::uint32_t{1} << (bits - 1);
    std::uint32_t j = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        re[j] = RealIn[i];
        im[j] = ImagIn[i];
        std::uint32_t bit = top;
        while ((j & bit) != 0) {
            j ^= bit;
            bit >>= 1;
        }
        j |= bit;
    }

    // Twiddles of a run of consecutive positions, on the stack.
    constexpr std::uint32_t kRun = 64;
    float runWr[kRun];
    float runWi[kRun];

    std::uint32_t half = 1;
    for (std::uint32_t size = 2; size <= n; size *= 2) {
        const float delta = AngleNumerator / static_cast<float>(size);
        const float s = static_cast<float>(std::sin(0.5 * static_cast<double>(delta)));
        const float alpha = 2.0f * s * s;
        const float beta = static_cast<float>(std::sin(static_cast<double>(delta)));

        // Butterflies of one stage are independent, and the recurrence
        // restarts at (1, 0) in every group, so position m has the same
        // twiddle in all groups. The recurrence is stepped once per position
        // for a run of positions, and the run is applied to every group:
        // the same values and rounding as going group by group, without
        // repeating the serial recurrence N/2 times a stage.
        float wr = 1.0f;
        float wi = 0.0f;
        if (half < kShortGroup) {
            // Short groups: one position across all groups at a time.
            for (std::uint32_t m = 0; m < half; ++m) {
                for (std::uint32_t j = m; j + half < n; j += size)
                    Butterfly(re + j, im + j, re + j + half, im + j + half, wr, wi);
                const float t = alpha * wr + beta * wi;
                wi = wi - (alpha * wi - beta * wr);
                wr = wr - t;
            }
            half = size;
            continue;
        }
        for (std::uint32_t first = 0; first < half; first += kRun) {
            const std::uint32_t count = half - first < kRun ? half - first : kRun;
            for (std::uint32_t m = 0; m < count; ++m) {
                runWr[m] = wr;
                runWi[m] = wi;
                const float t = alpha * wr + beta * wi;
                wi = wi - (alpha * wi - beta * wr);
                wr = wr - t;
            }
            for (std::uint32_t start = 0; start < n; start += size) {
                const std::uint32_t j0 = start + first;
                // Only an N that is not a power of two runs past its end;
                // its result is meaningless anyway, but must stay inside.
                if (j0 + half >= n)
                    break;
                const std::uint32_t len = j0 + half + count > n ? n - (j0 + half) : count;
                float* __restrict reJ = re + j0;
                float* __restrict imJ = im + j0;
                float* __restrict reK = re + j0 + half;
                float* __restrict imK = im + j0 + half;
                for (std::uint32_t m = 0; m < len; ++m) {
                    const float tr = runWr[m] * reK[m] - runWi[m] * imK[m];
                    const float ti = runWr[m] * imK[m] + runWi[m] * reK[m];
                    reK[m] = reJ[m] - tr;
                    imK[m] = imJ[m] - ti;
                    reJ[m] = reJ[m] + tr;
                    imJ[m] = imJ[m] + ti;
                }
            }
        }
        half = size;
    }
}

void ForwardTransform(std::uint16_t NumSamples, const float* RealIn, const float* ImagIn, float* RealOut,
                      float* ImagOut)
{
    Transform(NumSamples, RealIn, ImagIn, RealOut, ImagOut, kTwoPi);
}
