#include "Fourier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#ifdef VX_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

// n values, all `fill` but the listed (index, value) pairs.
std::vector<float> Bins(int n, float fill, std::initializer_list<std::pair<int, float>> set = {})
{
    std::vector<float> v(static_cast<std::size_t>(n), fill);
    for (const auto& [i, value] : set)
        v[static_cast<std::size_t>(i)] = value;
    return v;
}

// One slot past N in every array, which the transform must leave alone.
struct TTransform {
    explicit TTransform(std::vector<float> in)
        : n(in.size()), re(in), im(n + 1, 0.0f), outRe(n + 1, -7.0f), outIm(n + 1, -7.0f)
    {
        re.push_back(-7.0f);
        ForwardTransform(static_cast<std::uint16_t>(n), re.data(), im.data(), outRe.data(), outIm.data());
    }
    std::size_t n;
    std::vector<float> re, im, outRe, outIm;
};

// The transform is not scaled and uses the positive exponent: a sine at
// bin k gives +N/2 there, the opposite of the usual convention.
TEST(ForwardTransform, SimpleInputsGiveTheirKnownSpectraAndStayInTheirArrays)
{
    const float r = std::sqrt(0.5f);
    const struct {
        const char* name;
        std::vector<float> in, outRe, outIm;
    } cases[] = {
        {"zero", Bins(1024, 0.0f), Bins(1024, 0.0f), Bins(1024, 0.0f)},
        {"impulse", Bins(1024, 0.0f, {{0, 1.0f}}), Bins(1024, 1.0f), Bins(1024, 0.0f)},
        {"constant", Bins(8, 3.0f), Bins(8, 0.0f, {{0, 24.0f}}), Bins(8, 0.0f)},
        {"butterfly", {5.0f, 2.0f}, {7.0f, 3.0f}, {0.0f, 0.0f}},
        {"cosine", {1, r, 0, -r, -1, -r, 0, r}, Bins(8, 0.0f, {{1, 4.0f}, {7, 4.0f}}), Bins(8, 0.0f)},
        {"sine", {0, r, 1, r, 0, -r, -1, -r}, Bins(8, 0.0f), Bins(8, 0.0f, {{1, 4.0f}, {7, -4.0f}})},
    };
    for (const auto& c : cases) {
        const TTransform t(c.in);
        for (std::size_t k = 0; k < t.n; ++k) {
            EXPECT_NEAR(t.outRe[k], c.outRe[k], 1e-4f) << c.name << " bin " << k;
            EXPECT_NEAR(t.outIm[k], c.outIm[k], 1e-4f) << c.name << " bin " << k;
        }
        EXPECT_EQ(std::vector<float>(t.re.begin(), t.re.end() - 1), c.in) << c.name;
        EXPECT_EQ(t.im, Bins(static_cast<int>(t.n) + 1, 0.0f)) << c.name;
        EXPECT_EQ(std::vector<float>({t.re[t.n], t.outRe[t.n], t.outIm[t.n]}), Bins(3, -7.0f)) << c.name;
    }
}

#ifdef VX_HAVE_FFTW
TEST(ForwardTransform, AgreesWithFftwOnRandomBlocks)
{
    constexpr int n = 1024;
    fftwf_complex* in = fftwf_alloc_complex(n);
    fftwf_complex* out = fftwf_alloc_complex(n);
    fftwf_plan plan = fftwf_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);

    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (int round = 0; round < 20; ++round) {
        std::vector<float> block(n);
        for (int i = 0; i < n; ++i) {
            block[i] = static_cast<float>(sample(rng));
            in[i][0] = block[i];
            in[i][1] = 0.0f;
        }
        const TTransform t(block);
        fftwf_execute(plan);
        double peak = 0.0;
        for (int k = 0; k < n; ++k)
            peak = std::max(peak, static_cast<double>(std::hypot(out[k][0], out[k][1])));
        // Single-precision rounding over 10 stages plus the twiddle
        // recurrence's drift, relative to the block's largest bin; the
        // result is the conjugate of FFTW's negative-exponent one.
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(t.outRe[k], out[k][0], 2e-5 * peak) << "round " << round << " bin " << k;
            EXPECT_NEAR(t.outIm[k], -out[k][1], 2e-5 * peak) << "round " << round << " bin " << k;
        }
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
#endif

}  // namespace
