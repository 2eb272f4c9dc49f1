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

constexpr double kPi = 3.14159265358979323846;

// n values, all `fill` but the listed (index, value) pairs.
std::vector<float> Bins(int n, float fill, std::initializer_list<std::pair<int, float>> set = {})
{
    std::vector<float> v(static_cast<std::size_t>(n), fill);
    for (const auto& [i, value] : set)
        v[static_cast<std::size_t>(i)] = value;
    return v;
}

std::vector<float> Wave(int n, int k, double (*f)(double))
{
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<float>(f(2 * kPi * k * i / n));
    return v;
}

struct TTransform {
    explicit TTransform(std::vector<float> in)
        : re(std::move(in)), im(re.size(), 0.0f), outRe(re.size(), -7.0f), outIm(re.size(), -7.0f)
    {
        ForwardTransform(static_cast<std::uint16_t>(re.size()), re.data(), im.data(), outRe.data(), outIm.data());
    }
    std::vector<float> re, im, outRe, outIm;
};

// The transform is not scaled and uses the positive exponent: a sine at
// bin k gives +N/2 there, the opposite of the usual convention.
TEST(ForwardTransform, SimpleInputsGiveTheirKnownSpectra)
{
    const struct {
        const char* name;
        std::vector<float> in, outRe, outIm;
    } cases[] = {
        {"zero", Bins(1024, 0.0f), Bins(1024, 0.0f), Bins(1024, 0.0f)},
        {"impulse", Bins(1024, 0.0f, {{0, 1.0f}}), Bins(1024, 1.0f), Bins(1024, 0.0f)},
        {"constant", Bins(8, 3.0f), Bins(8, 0.0f, {{0, 24.0f}}), Bins(8, 0.0f)},
        {"butterfly", {5.0f, 2.0f}, {7.0f, 3.0f}, {0.0f, 0.0f}},
        {"cosine", Wave(64, 5, std::cos), Bins(64, 0.0f, {{5, 32.0f}, {59, 32.0f}}), Bins(64, 0.0f)},
        {"sine", Wave(64, 5, std::sin), Bins(64, 0.0f), Bins(64, 0.0f, {{5, 32.0f}, {59, -32.0f}})},
    };
    for (const auto& c : cases) {
        const TTransform t(c.in);
        for (std::size_t k = 0; k < c.in.size(); ++k) {
            EXPECT_NEAR(t.outRe[k], c.outRe[k], 1e-4f) << c.name << " bin " << k;
            EXPECT_NEAR(t.outIm[k], c.outIm[k], 1e-4f) << c.name << " bin " << k;
        }
    }
}

TEST(ForwardTransform, LeavesItsInputsAndMemoryBeyondNAlone)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> re(256), im(256), outRe(256), outIm(256);
    for (std::size_t i = 0; i < 256; ++i) {
        re[i] = dist(rng);
        im[i] = dist(rng);
    }
    const auto re0 = re, im0 = im;
    ForwardTransform(256, re.data(), im.data(), outRe.data(), outIm.data());
    EXPECT_EQ(re, re0);
    EXPECT_EQ(im, im0);

    // A size that is not a power of two gives no transform, but must stay
    // inside the arrays it was given.
    auto in = Bins(8, 1.0f), zero = Bins(8, 0.0f), r = Bins(9, 0.0f, {{8, -99.0f}}), i = r;
    ForwardTransform(6, in.data(), zero.data(), r.data(), i.data());
    EXPECT_EQ(r[6], 0.0f);
    EXPECT_EQ(r[8], -99.0f);
    EXPECT_EQ(i[8], -99.0f);
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
