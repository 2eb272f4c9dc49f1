#include <gmock/gmock.h>

#include <random>

#include "AnalysisFixture.h"

namespace {

using ::testing::Each;
using ::testing::FloatEq;

void ExpectBandValuesZero()
{
    for (int b = 0; b < kAnalysisBands; ++b)
        EXPECT_EQ(BandValues[b].load(), 0.0f) << b;
}

TEST_F(AnalysisTest, SilenceGivesZeroOnBothPaths)
{
    Fill(0);
    Block();
    EXPECT_EQ(BlockLevel.load(), 0.0f);
    rec->SetUseFFT(1);
    Block();
    EXPECT_EQ(BlockLevel.load(), 0.0f);
    EXPECT_EQ(rec->Level(), 0.0f);
    ExpectBandValuesZero();
}

TEST_F(AnalysisTest, SumOfSquaresLevelIsRmsOver32TimesGain)
{
    Fill(-1000);
    GlobalGain.store(0.5f);
    Block();
    EXPECT_FLOAT_EQ(BlockLevel.load(), 1000.0f * 0.5f / 32.0f);
    EXPECT_FLOAT_EQ(rec->Level(), BlockLevel.load());

    GlobalGain.store(1.0f);
    FillSine(44100.0 * 16 / 1024, 32767.0);  // whole periods in the block
    Block();
    EXPECT_NEAR(BlockLevel.load(), 724.0f, 0.5f);
    // The sum-of-squares path leaves the band values alone.
    ExpectBandValuesZero();
}

TEST_F(AnalysisTest, ClippingFollowsTheHeldPeak)
{
    Fill(0);
    SampleBlock[100].store(-30001);
    Block();
    EXPECT_EQ(PeakHold.load(), 30001);
    EXPECT_EQ(rec->Clipping(), 1);

    // Quiet block: the held peak keeps the flag up until the display lowers it.
    SampleBlock[100].store(0);
    Block();
    EXPECT_EQ(rec->Clipping(), 1);
    LowerPeakHold(1);
    Block();
    EXPECT_EQ(rec->Clipping(), 0);

    SampleBlock[5].store(30000);
    Block();
    EXPECT_EQ(PeakHold.load(), 30000);
    EXPECT_EQ(rec->Clipping(), 0);

    SampleBlock[6].store(-32768);
    Block();
    EXPECT_EQ(PeakHold.load(), 32768);
    EXPECT_EQ(rec->Clipping(), 1);
}

TEST_F(AnalysisTest, PeakHoldLoweringStopsAtTheBottom)
{
    PeakHold.store(std::numeric_limits<std::int32_t>::min() + 500);
    LowerPeakHold(1000);
    EXPECT_EQ(PeakHold.load(), std::numeric_limits<std::int32_t>::min());
    Fill(12);
    Block();
    EXPECT_EQ(PeakHold.load(), 12);
}

TEST_F(AnalysisTest, SineAt1000HzDominatesBand7AndBand0StaysZero)
{
    rec->SetUseFFT(1);
    FillSine(1000.0, 20000.0);
    for (int i = 0; i < 50; ++i)
        SampleBlock[i * 20].store(static_cast<std::int16_t>(SampleBlock[i * 20].load() + 3000));  // broadband
    Block();
    for (int b = 0; b < kAnalysisBands; ++b) {
        if (b != 7) {
            EXPECT_GT(BandValues[7].load(), 10.0f * BandValues[b].load()) << b;
        }
        EXPECT_FLOAT_EQ(rec->FFTBandLevel(b), BandValues[b].load());
        EXPECT_FLOAT_EQ(rec->BandLevel(b), BandValues[b].load());
    }
    EXPECT_EQ(BandValues[0].load(), 0.0f);
    EXPECT_EQ(rec->BandLevel(0), 0.0f);

    float sum = 0.0f;
    for (auto& v : BandValues)
        sum += v.load();
    EXPECT_FLOAT_EQ(BlockLevel.load(), sum / 16.0f);
}

TEST_F(AnalysisTest, BandsCollectConsecutiveBinsWithTheirWeights)
{
    // First and last spectrum bin of each band.
    constexpr int kBins[16][2] = {{1, 1},     {2, 3},     {4, 5},     {6, 7},     {8, 10},    {11, 14},
                                  {15, 20},   {21, 28},   {29, 41},   {42, 56},   {57, 82},   {83, 113},
                                  {114, 164}, {165, 226}, {227, 329}, {330, 453}};
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> noise(-20000, 20000);
    for (int i = 0; i < kSamplesPerBlock; ++i)
        SampleBlock[i].store(static_cast<std::int16_t>(noise(rng)));
    rec->SetUseFFT(1);
    GlobalGain.store(2.0f);
    EqGain[9].store(0.5f);
    Block();

    const float* spectrum = Spectrum();
    for (int b = 0; b < kAnalysisBands; ++b) {
        if (b > 0) {
            EXPECT_EQ(kBins[b][0], kBins[b - 1][1] + 1);
        }
        double sum = 0.0;
        for (int j = kBins[b][0]; j <= kBins[b][1]; ++j)
            sum += spectrum[j];
        const double expected = std::log(b + 1.0) * sum / (kBins[b][1] - kBins[b][0] + 1) * 2.0 * (b == 9 ? 0.5 : 1.0);
        EXPECT_NEAR(BandValues[b].load(), expected, 1e-4 * expected + 1e-6) << "band " << b;
    }
}

TEST_F(AnalysisTest, BandCentresAndWindowTable)
{
    const int expected[16] = {47, 118, 187, 264, 375, 528, 750, 1056, 1500, 2111, 3000, 4222, 6000, 8444, 12000, 16889};
    for (int b = 0; b < 16; ++b)
        EXPECT_EQ(BandCentre(b), expected[b]) << b;
    EXPECT_EQ(BandCentre(16), 0);
    EXPECT_EQ(BandCentre(-1), 0);

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
        const int slot = (HistoryPos.load() + 255) % 256;
        ASSERT_EQ(slot, (k - 1) % 256);
        ASSERT_NEAR(LevelHistory[slot].load(), 2.0f * k, 1e-4f * k) << k;
        ASSERT_EQ(LevelHistory[slot].load(), 2.0f * rec->Level());
        ASSERT_EQ(PrevLevel.load(), rec->Level());
    }
    EXPECT_EQ(HistoryPos.load(), 1);
    EXPECT_NEAR(LevelHistory[0].load(), 2.0f * 257, 0.01f);
    EXPECT_NEAR(LevelHistory[1].load(), 2.0f * 2, 1e-3f);
}

TEST_F(AnalysisTest, SwitchingTheSpectrumOffFreezesTheBandValues)
{
    rec->SetUseFFT(1);
    FillSine(3000.0, 10000.0);
    Block();
    float frozen[16];
    for (int b = 0; b < 16; ++b)
        frozen[b] = BandValues[b].load();
    ASSERT_GT(frozen[10], 0.0f);

    rec->SetUseFFT(0);
    Fill(-3200);
    for (int round = 0; round < 3; ++round) {
        rec->SetBandLevel(10, -1.0f);  // someone scribbles over it
        Block();
        for (int b = 0; b < 16; ++b) {
            EXPECT_EQ(BandValues[b].load(), frozen[b]);
            EXPECT_EQ(rec->BandLevel(b), frozen[b]);
            EXPECT_EQ(rec->FFTBandLevel(b), frozen[b]);
        }
    }
    EXPECT_FLOAT_EQ(rec->Level(), 100.0f);
}

TEST_F(AnalysisTest, GuardSkipsTheWorkButStillCopiesTheBands)
{
    rec->SetUseFFT(1);
    FillSine(1000.0, 10000.0);
    Block();
    const float band7 = BandValues[7].load();
    const float level = rec->Level();
    const int pos = HistoryPos.load();

    Fill(-32000);
    for (int stop = 0; stop < 2; ++stop) {
        Recording.store(stop == 0 ? 0 : 1);
        DeviceHandlePresent.store(stop == 0);
        rec->SetBandLevel(7, 0.0f);
        Block();
        EXPECT_EQ(rec->BandLevel(7), band7);
        EXPECT_EQ(rec->Level(), level);
        EXPECT_EQ(HistoryPos.load(), pos);
        EXPECT_LT(PeakHold.load(), 30000);
    }

    // Without a record the block is skipped altogether.
    Recording.store(1);
    SetSoundMapOwner(nullptr);
    Block();
    EXPECT_EQ(HistoryPos.load(), pos);
}

}  // namespace
