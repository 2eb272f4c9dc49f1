#include <limits>
#include <random>

#include "AnalysisFixture.h"

namespace {

TEST_F(AnalysisTest, ClippingFollowsTheHeldPeakUntilTheDisplayLowersIt)
{
    // Each step sets one sample, lets the display lower the held peak, and
    // runs a block.
    const struct {
        int index;
        std::int16_t value;
        std::int32_t lower, peak;
        std::uint8_t clipping;
    } steps[] = {
        {100, -30001, 0, 30001, 1},
        {100, 0, 0, 30001, 1},  // quiet: the held peak keeps the flag up
        {100, 0, 1, 30000, 0},
        {5, 30000, 0, 30000, 0},
        {6, -32768, 0, 32768, 1},
    };
    Fill(0);
    for (const auto& s : steps) {
        SampleBlock[s.index].store(s.value);
        LowerPeakHold(s.lower);
        Block();
        EXPECT_EQ(PeakHold.load(), s.peak) << s.value;
        EXPECT_EQ(rec->Clipping(), s.clipping) << s.value;
    }
    // Days without blocks: the lowering stops at the bottom, not wrapping.
    PeakHold.store(std::numeric_limits<std::int32_t>::min() + 500);
    LowerPeakHold(1000);
    EXPECT_EQ(PeakHold.load(), std::numeric_limits<std::int32_t>::min());
}

// Band b is the mean of its spectrum bins times ln(b + 1) (band 0 is
// always 0), the gain and its equalizer factor; the level is their mean.
TEST_F(AnalysisTest, BandsAverageTheirBinsAndA1000HzToneLandsInBand7)
{
    constexpr int kBins[16][2] = {{1, 1},     {2, 3},     {4, 5},     {6, 7},     {8, 10},    {11, 14},
                                  {15, 20},   {21, 28},   {29, 41},   {42, 56},   {57, 82},   {83, 113},
                                  {114, 164}, {165, 226}, {227, 329}, {330, 453}};
    FillSine(1000.0, 20000.0);
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> noise(-1000, 1000);
    for (auto& s : SampleBlock)
        s.store(static_cast<std::int16_t>(s.load() + noise(rng)));
    rec->SetUseFFT(1);
    GlobalGain.store(2.0f);
    EqGain[9].store(0.5f);
    Block();

    const float* spectrum = Spectrum();
    float total = 0.0f;
    for (int b = 0; b < kAnalysisBands; ++b) {
        double sum = 0.0;
        for (int j = kBins[b][0]; j <= kBins[b][1]; ++j)
            sum += spectrum[j];
        const double expected = std::log(b + 1.0) * sum / (kBins[b][1] - kBins[b][0] + 1) * 2.0 * (b == 9 ? 0.5 : 1.0);
        EXPECT_NEAR(BandValues[b].load(), expected, 1e-4 * expected + 1e-6) << "band " << b;
        if (b != 7) {
            EXPECT_GT(BandValues[7].load(), 10.0f * BandValues[b].load()) << b;
        }
        EXPECT_EQ(rec->FFTBandLevel(b), BandValues[b].load());
        EXPECT_EQ(rec->BandLevel(b), BandValues[b].load());
        total += BandValues[b].load();
    }
    EXPECT_FLOAT_EQ(BlockLevel.load(), total / 16.0f);
    EXPECT_EQ(rec->Level(), BlockLevel.load());

    // The labels the window and the plugin show, and the Hann window over
    // 1023 intervals that shaped the spectrum.
    const int centres[17] = {47, 118, 187, 264, 375, 528, 750, 1056, 1500, 2111, 3000, 4222, 6000, 8444, 12000, 16889, 0};
    for (int b = -1; b <= 16; ++b)
        EXPECT_EQ(BandCentre(b), centres[b < 0 ? 16 : b]) << b;
    const float* w = WindowTable();
    EXPECT_EQ(w[0], 0.0f);
    EXPECT_NEAR(w[1023], 0.0f, 1e-12f);
    EXPECT_FLOAT_EQ(w[511], 0.9999976f);
    EXPECT_FLOAT_EQ(w[512], 0.9999976f);
}

TEST_F(AnalysisTest, HistoryHoldsTwiceTheLevelAndWrapsAfter256Blocks)
{
    for (int k = 1; k <= 257; ++k) {
        Fill(static_cast<std::int16_t>(32 * k));  // level k
        Block();
        ASSERT_EQ(HistoryPos.load(), k % 256);
        ASSERT_NEAR(LevelHistory[(k - 1) % 256].load(), 2.0f * k, 1e-4f * k) << k;
        ASSERT_EQ(PrevLevel.load(), rec->Level());
    }
    EXPECT_NEAR(LevelHistory[1].load(), 2.0f * 2, 1e-3f);
}

// With the spectrum off, or the work skipped, the host keeps seeing the
// last band values, however someone scribbled over them. With the
// spectrum off the level is the samples' RMS / 32 times the gain.
TEST_F(AnalysisTest, BandValuesStayWhenTheSpectrumIsNotComputed)
{
    rec->SetUseFFT(1);
    FillSine(3000.0, 10000.0);
    Block();
    float frozen[16];
    for (int b = 0; b < 16; ++b)
        frozen[b] = BandValues[b].load();
    ASSERT_GT(frozen[10], 0.0f);

    const struct {
        std::uint8_t useFft;
        int recording;
        bool device, runs;
    } cases[] = {
        {1, 0, true, false},   // stopped
        {1, 1, false, false},  // no device
        {0, 1, true, true},    // spectrum off
    };
    Fill(-32000);
    GlobalGain.store(0.5f);
    for (const auto& c : cases) {
        rec->SetUseFFT(c.useFft);
        Recording.store(c.recording);
        DeviceHandlePresent.store(c.device);
        rec->SetBandLevel(10, -1.0f);
        const int pos = HistoryPos.load();
        const float level = rec->Level();
        Block();
        for (int b = 0; b < 16; ++b) {
            EXPECT_EQ(BandValues[b].load(), frozen[b]);
            EXPECT_EQ(rec->BandLevel(b), frozen[b]);
            EXPECT_EQ(rec->FFTBandLevel(b), frozen[b]);
        }
        EXPECT_EQ(HistoryPos.load(), c.runs ? pos + 1 : pos);
        EXPECT_EQ(rec->Level(), c.runs ? 500.0f : level);
        EXPECT_EQ(PeakHold.load() >= 32000, c.runs);
    }

    // Without a record the block is skipped altogether.
    SetSoundMapOwner(nullptr);
    Block();
    EXPECT_EQ(HistoryPos.load(), 2);
}

}  // namespace
