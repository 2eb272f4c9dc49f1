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

// Zero, an impulse, a constant (not scaled) and the two-point butterfly.
TEST(ForwardTransform, SimpleInputsGiveTheirKnownSpectra)
{
    const struct {
        std::vector<float> in;
        std::vector<float> outRe;  // the imaginary part is zero throughout
    } cases[] = {
        {std::vector<float>(1024, 0.0f), std::vector<float>(1024, 0.0f)},
        {[] { std::vector<float> v(1024, 0.0f); v[0] = 1.0f; return v; }(), std::vector<float>(1024, 1.0f)},
        {std::vector<float>(8, 3.0f), {24.0f, 0, 0, 0, 0, 0, 0, 0}},
        {{5.0f, 2.0f}, {7.0f, 3.0f}},
    };
    for (const auto& c : cases) {
        TBlock b(static_cast<int>(c.in.size()));
        b.re = c.in;
        b.Run();
        for (std::size_t k = 0; k < c.in.size(); ++k) {
            EXPECT_NEAR(b.outRe[k], c.outRe[k], 1e-5f) << c.in.size() << " bin " << k;
            EXPECT_NEAR(b.outIm[k], 0.0f, 1e-5f) << c.in.size() << " bin " << k;
        }
    }
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
