#include "Fourier.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#ifdef VX_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;

struct TBlock {
    explicit TBlock(int n) : re(n), im(n), outRe(n, -7.0f), outIm(n, -7.0f) {}
    void Run() { ForwardTransform(static_cast<std::uint16_t>(re.size()), re.data(), im.data(), outRe.data(), outIm.data()); }
    std::vector<float> re, im, outRe, outIm;
};

TEST(BitHelpers, SizeToBitsIsTheLowestSetBit)
{
    EXPECT_EQ(SizeToBits(1024), 10);
    EXPECT_EQ(SizeToBits(2), 1);
    EXPECT_EQ(SizeToBits(32768), 15);
    EXPECT_EQ(SizeToBits(0), 0);
    EXPECT_EQ(SizeToBits(12), 2);  // not a power of two: its lowest bit
}

TEST(BitHelpers, BitReverseReversesTheLowBits)
{
    EXPECT_EQ(BitReverse(1, 10), 512);
    EXPECT_EQ(BitReverse(3, 10), 768);
    EXPECT_EQ(BitReverse(0, 10), 0);
    EXPECT_EQ(BitReverse(1023, 10), 1023);
    EXPECT_EQ(BitReverse(0xFFFF, 1), 1);  // only the lowest bit counts
    EXPECT_EQ(BitReverse(1, 16), 0x8000);
}

TEST(ForwardTransform, ZeroInputGivesZeroOutput)
{
    TBlock b(1024);
    b.Run();
    EXPECT_THAT(b.outRe, ::testing::Each(0.0f));
    EXPECT_THAT(b.outIm, ::testing::Each(0.0f));
}

TEST(ForwardTransform, ImpulseGivesFlatSpectrum)
{
    TBlock b(1024);
    b.re[0] = 1.0f;
    b.Run();
    for (int k = 0; k < 1024; ++k) {
        EXPECT_FLOAT_EQ(b.outRe[k], 1.0f) << k;
        EXPECT_FLOAT_EQ(b.outIm[k], 0.0f) << k;
    }
}

TEST(ForwardTransform, ConstantIsNotScaled)
{
    TBlock b(1024);
    std::fill(b.re.begin(), b.re.end(), 3.0f);
    b.Run();
    EXPECT_FLOAT_EQ(b.outRe[0], 3072.0f);
    EXPECT_NEAR(b.outRe[1], 0.0f, 1e-3f);
}

TEST(ForwardTransform, CosineAndSineUseThePositiveExponent)
{
    constexpr int n = 1024;
    constexpr int k = 37;
    TBlock c(n), s(n);
    for (int i = 0; i < n; ++i) {
        c.re[i] = static_cast<float>(std::cos(2 * kPi * k * i / n));
        s.re[i] = static_cast<float>(std::sin(2 * kPi * k * i / n));
    }
    c.Run();
    s.Run();
    EXPECT_NEAR(c.outRe[k], n / 2.0f, 0.01f);
    EXPECT_NEAR(c.outRe[n - k], n / 2.0f, 0.01f);
    // Positive exponent: +N/2 at k, the opposite of the usual convention.
    EXPECT_NEAR(s.outIm[k], n / 2.0f, 0.01f);
    EXPECT_NEAR(s.outIm[n - k], -n / 2.0f, 0.01f);
    for (int j = 0; j < n; ++j) {
        if (j == k || j == n - k)
            continue;
        EXPECT_NEAR(std::hypot(c.outRe[j], c.outIm[j]), 0.0f, 0.01f) << j;
        EXPECT_NEAR(std::hypot(s.outRe[j], s.outIm[j]), 0.0f, 0.01f) << j;
    }
}

TEST(ForwardTransform, TwoPointsAreSumAndDifference)
{
    TBlock b(2);
    b.re = {5.0f, 2.0f};
    b.Run();
    EXPECT_FLOAT_EQ(b.outRe[0], 7.0f);
    EXPECT_FLOAT_EQ(b.outRe[1], 3.0f);
    EXPECT_FLOAT_EQ(b.outIm[0], 0.0f);
    EXPECT_FLOAT_EQ(b.outIm[1], 0.0f);
}

TEST(ForwardTransform, LeavesInputsAndMemoryBeyondNAlone)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    TBlock b(256);
    for (int i = 0; i < 256; ++i) {
        b.re[i] = dist(rng);
        b.im[i] = dist(rng);
    }
    const auto re = b.re;
    const auto im = b.im;
    b.Run();
    EXPECT_EQ(b.re, re);
    EXPECT_EQ(b.im, im);

    // A size that is not a power of two gives no DFT, but must stay inside
    // the arrays it was given.
    std::vector<float> in(8, 1.0f), zero(8, 0.0f), outRe(8, 0.0f), outIm(8, 0.0f);
    outRe.push_back(-99.0f);
    outIm.push_back(-99.0f);
    ForwardTransform(6, in.data(), zero.data(), outRe.data(), outIm.data());
    EXPECT_EQ(outRe[6], 0.0f);
    EXPECT_EQ(outRe[8], -99.0f);
    EXPECT_EQ(outIm[8], -99.0f);
}

// The algorithm step by step, group after group: the transform must give
// exactly these bits, since its rounding is part of what the host sees.
void ReferenceTransform(int n, const float* re, const float* im, float* outRe, float* outIm)
{
    const std::uint16_t bits = SizeToBits(static_cast<std::uint16_t>(n));
    for (int i = 0; i < n; ++i) {
        const int j = BitReverse(static_cast<std::uint16_t>(i), bits);
        outRe[j] = re[i];
        outIm[j] = im[i];
    }
    for (int half = 1, size = 2; size <= n; half = size, size *= 2) {
        const float delta = 6.2831855f / static_cast<float>(size);
        const float s = static_cast<float>(std::sin(0.5 * delta));
        const float alpha = 2.0f * s * s;
        const float beta = static_cast<float>(std::sin(static_cast<double>(delta)));
        for (int start = 0; start < n; start += size) {
            float wr = 1.0f, wi = 0.0f;
            for (int j = start; j < start + half; ++j) {
                const int k = j + half;
                const float tr = wr * outRe[k] - wi * outIm[k];
                const float ti = wr * outIm[k] + wi * outRe[k];
                outRe[k] = outRe[j] - tr;
                outIm[k] = outIm[j] - ti;
                outRe[j] = outRe[j] + tr;
                outIm[j] = outIm[j] + ti;
                const float t = alpha * wr + beta * wi;
                wi = wi - (alpha * wi - beta * wr);
                wr = wr - t;
            }
        }
    }
}

TEST(ForwardTransform, KeepsTheRoundingOfTheStepByStepAlgorithm)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (int n : {2, 8, 1024, 32768}) {
        TBlock b(n);
        for (int i = 0; i < n; ++i) {
            b.re[i] = static_cast<float>(sample(rng)) * 0.37f;
            b.im[i] = (i % 3 == 0) ? static_cast<float>(sample(rng)) : 0.0f;
        }
        std::vector<float> refRe(n), refIm(n);
        ReferenceTransform(n, b.re.data(), b.im.data(), refRe.data(), refIm.data());
        b.Run();
        EXPECT_EQ(b.outRe, refRe) << n;
        EXPECT_EQ(b.outIm, refIm) << n;
    }
}

#ifdef VX_HAVE_FFTW
TEST(ForwardTransform, MagnitudesAgreeWithFftwOnRandomBlocks)
{
    constexpr int n = 1024;
    fftwf_complex* in = fftwf_alloc_complex(n);
    fftwf_complex* out = fftwf_alloc_complex(n);
    fftwf_plan plan = fftwf_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);

    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (int round = 0; round < 20; ++round) {
        TBlock b(n);
        for (int i = 0; i < n; ++i) {
            b.re[i] = static_cast<float>(sample(rng));
            in[i][0] = b.re[i];
            in[i][1] = 0.0f;
        }
        b.Run();
        fftwf_execute(plan);
        double peak = 0.0;
        for (int k = 0; k < n; ++k)
            peak = std::max(peak, static_cast<double>(std::hypot(out[k][0], out[k][1])));
        for (int k = 0; k < n; ++k) {
            const double ours = std::hypot(b.outRe[k], b.outIm[k]);
            const double theirs = std::hypot(out[k][0], out[k][1]);
            // Single-precision rounding over 10 stages plus the twiddle
            // recurrence's drift, relative to the block's largest bin.
            EXPECT_NEAR(ours, theirs, 2e-5 * peak) << "round " << round << " bin " << k;
            // Conjugate of FFTW's negative-exponent result.
            EXPECT_NEAR(b.outIm[k], -out[k][1], 2e-5 * peak);
        }
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
#endif

}  // namespace
