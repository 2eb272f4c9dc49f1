#include <limits>
#include <vector>

#include "AnalysisFixture.h"

namespace {

class TrigTest : public AnalysisTest {
protected:
    // A block whose sum-of-squares level is exactly `level` (a multiple of 1/32).
    void LevelBlock(float level, std::uint32_t ms = 23)
    {
        Fill(static_cast<std::int16_t>(std::lrint(level * 32.0f)));
        Block(ms);
    }
    bool LastBlockTrigged() const { return TrigHistory[(HistoryPos.load() + 255) % 256].load() == 1; }

    // Runs `blocks` blocks of one steady level; returns the indices that trigged.
    std::vector<int> SteadyTrigs(int blocks)
    {
        std::vector<int> trigs;
        for (int i = 0; i < blocks; ++i) {
            LevelBlock(100.0f);
            if (LastBlockTrigged())
                trigs.push_back(i);
        }
        return trigs;
    }

    // Loud block every `period` blocks, silence between; the clock runs
    // `msPerBlock` per block. Returns after the n-th loud block.
    void Clicks(int count, int period, std::uint32_t msPerBlock)
    {
        for (int c = 0; c < count; ++c) {
            for (int i = 0; i < period - 1; ++i)
                LevelBlock(0.0f, msPerBlock);
            LevelBlock(200.0f, msPerBlock);
            ASSERT_TRUE(LastBlockTrigged()) << "click " << c;
        }
    }
};

TEST_F(TrigTest, LevelsExactlyAtTheLimitsDoNotTrig)
{
    rec->SetNoiseLevelValue(5);
    DecayCount.store(-1);
    LevelBlock(5.0f);  // previous level 0: only the noise test can fail
    EXPECT_FALSE(LastBlockTrigged());
    EXPECT_EQ(rec->Trig(), 0);

    PrevLevel.store(0.0f);
    LevelBlock(5.03125f);
    EXPECT_TRUE(LastBlockTrigged());

    // Threshold 0 (silence before) and a level of 0 with the noise test open.
    rec->SetNoiseLevelValue(-1);
    rec->SetTrigAggr(0);
    DecayCount.store(-1);
    BlockLevel.store(0.0f);
    PrevLevel.store(0.0f);
    DetectTrig(*rec);
    EXPECT_EQ(TrigHistory[HistoryPos.load()].load(), 0);
    BlockLevel.store(std::numeric_limits<float>::denorm_min());
    DetectTrig(*rec);
    EXPECT_EQ(TrigHistory[HistoryPos.load()].load(), 1);
}

TEST_F(TrigTest, AggressivenessDecidesWhetherASteadyLevelTrigs)
{
    rec->SetTrigAggr(100);  // factor 1.0001: just above a steady level
    EXPECT_TRUE(SteadyTrigs(100).empty());
    SetUp();
    rec->SetTrigAggr(99);
    EXPECT_FALSE(SteadyTrigs(100).empty());
}

TEST_F(TrigTest, TrigsEvery500msLockAt120AndTheLockTimesOut)
{
    Clicks(1, 20, 25);  // 500 ms: but the first trig never locks
    EXPECT_FALSE(BpmLocked.load());
    EXPECT_FLOAT_EQ(BpmInstant.load(), 120.0f);  // measured from start-up
    Clicks(1, 20, 25);
    EXPECT_TRUE(BpmLocked.load());
    EXPECT_FLOAT_EQ(Bpm.load(), 120.0f);
    Clicks(10, 20, 25);
    EXPECT_TRUE(BpmLocked.load());
    EXPECT_FLOAT_EQ(Bpm.load(), 120.0f);
    EXPECT_FLOAT_EQ(BpmInstant.load(), 120.0f);

    for (int i = 0; i < 133; ++i)
        LevelBlock(0.0f, 25);
    EXPECT_TRUE(BpmLocked.load());
    LevelBlock(0.0f, 25);
    EXPECT_FALSE(BpmLocked.load());
    EXPECT_FLOAT_EQ(Bpm.load(), 120.0f);
}

TEST_F(TrigTest, TenPercentLongerIntervalRestartsTheLockAgeButKeepsBpm)
{
    Clicks(3, 20, 25);
    ASSERT_TRUE(BpmLocked.load());
    const float bpm = Bpm.load();
    Clicks(1, 20, 25);
    for (int i = 0; i < 10; ++i)
        LevelBlock(0.0f, 25);
    LevelBlock(0.0f, 25);
    EXPECT_GT(BpmLockAge.load(), 10);

    // Interval 550 ms instead of 500 (the 11 silent blocks above included).
    for (int i = 0; i < 8; ++i)
        LevelBlock(0.0f, 25);
    LevelBlock(200.0f, 75);
    ASSERT_TRUE(LastBlockTrigged());
    EXPECT_NEAR(BpmInstant.load(), 60000.0f / 550.0f, 1e-3f);
    EXPECT_EQ(BpmLockAge.load(), 0);
    EXPECT_TRUE(BpmLocked.load());
    EXPECT_EQ(Bpm.load(), bpm);
}

// The decay's D + 2 blocks and the start-up hold are vxanalyze's tests.
TEST_F(TrigTest, TrigStaysSetUntilTheHostClearsIt)
{
    TrigFlash.store(0);
    Clicks(1, 20, 23);
    EXPECT_EQ(TrigFlash.load(), 1);  // for the display
    for (int i = 0; i < 30; ++i)
        LevelBlock(0.0f);
    EXPECT_EQ(rec->Trig(), 1);
    rec->SetTrig(0);
    Clicks(1, 20, 23);
    EXPECT_EQ(rec->Trig(), 1);
}

TEST_F(TrigTest, IntervalsAreRightAcrossTheTickCounterWrap)
{
    clock.now = 0xFFFFFFFFu - 300;
    ResetTempo();
    Clicks(3, 20, 25);  // wraps during the first interval
    EXPECT_TRUE(BpmLocked.load());
    EXPECT_FLOAT_EQ(Bpm.load(), 120.0f);
}

}  // namespace
