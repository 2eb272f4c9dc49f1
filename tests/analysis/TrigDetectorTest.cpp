#include <limits>

#include "AnalysisFixture.h"

namespace {

class TrigTest : public AnalysisTest {
protected:
    // A block whose sum-of-squares level is exactly `level` (a multiple of 1/32).
    void LevelBlock(float level, std::uint32_t ms)
    {
        Fill(static_cast<std::int16_t>(std::lrint(level * 32.0f)));
        Block(ms);
    }
    bool LastBlockTrigged() const { return TrigHistory[(HistoryPos.load() + 255) % 256].load() == 1; }

    // `count` times: silence, then a loud block every `period` blocks, the
    // clock running `msPerBlock` per block; each loud block must trig.
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

// A block trigs when its level is above both the noise floor and
// e^(aggressiveness / 100) / 2.718 times the level before: at 100 that
// factor is a hair above 1, so a steady level does not trig.
TEST_F(TrigTest, ALevelMustBeAboveBothTheNoiseFloorAndTheThreshold)
{
    const struct {
        std::int32_t noise, aggr;
        float prev, level;
        bool trig;
    } cases[] = {
        {5, 150, 0.0f, 5.0f, false},
        {5, 150, 0.0f, 5.03125f, true},
        {-1, 0, 0.0f, 0.0f, false},
        {-1, 0, 0.0f, std::numeric_limits<float>::denorm_min(), true},
        {1, 100, 100.0f, 100.0f, false},
        {1, 99, 100.0f, 100.0f, true},
    };
    for (const auto& c : cases) {
        rec->SetNoiseLevelValue(c.noise);
        rec->SetTrigAggr(c.aggr);
        DecayCount.store(-1);
        PrevLevel.store(c.prev);
        BlockLevel.store(c.level);
        DetectTrig(*rec);
        EXPECT_EQ(TrigHistory[HistoryPos.load()].load(), c.trig ? 1 : 0) << c.aggr << " " << c.level;
        EXPECT_EQ(rec->Trig(), c.trig ? 1 : 0) << c.aggr << " " << c.level;
        rec->SetTrig(0);
    }
}

// Clicks every 500 ms, the tick counter wrapping in the first interval.
TEST_F(TrigTest, ClicksEvery500msLockAt120UntilTheLockTimesOut)
{
    clock.now = 0xFFFFFFFFu - 300;
    ResetTempo();
    TrigFlash.store(0);
    Clicks(1, 20, 25);  // measured from start-up, which never locks
    EXPECT_FALSE(BpmLocked.load());
    EXPECT_FLOAT_EQ(BpmInstant.load(), 120.0f);
    EXPECT_EQ(TrigFlash.load(), 1);  // for the display
    Clicks(1, 20, 25);
    EXPECT_TRUE(BpmLocked.load());
    EXPECT_FLOAT_EQ(Bpm.load(), 120.0f);

    // The trig stays set until the host clears it.
    for (int i = 0; i < 19; ++i)
        LevelBlock(0.0f, 25);
    EXPECT_EQ(rec->Trig(), 1);
    rec->SetTrig(0);
    LevelBlock(200.0f, 25);
    EXPECT_EQ(rec->Trig(), 1);
    Clicks(10, 20, 25);
    EXPECT_TRUE(BpmLocked.load());
    EXPECT_FLOAT_EQ(Bpm.load(), 120.0f);

    // An interval of 550 ms, beyond smoothing on its own but within the
    // lock: the lock's age starts again and the pair's mean is smoothed in.
    const float smoothed = 0.95f * 120.0f + 0.05f * (120.0f + 60000.0f / 550.0f) / 2.0f;
    for (int i = 0; i < 19; ++i)
        LevelBlock(0.0f, 25);
    EXPECT_GT(BpmLockAge.load(), 10);
    LevelBlock(200.0f, 75);
    ASSERT_TRUE(LastBlockTrigged());
    EXPECT_NEAR(BpmInstant.load(), 60000.0f / 550.0f, 1e-3f);
    EXPECT_EQ(BpmLockAge.load(), 0);
    EXPECT_FLOAT_EQ(Bpm.load(), smoothed);

    for (int i = 0; i < 133; ++i)
        LevelBlock(0.0f, 25);
    EXPECT_TRUE(BpmLocked.load());
    LevelBlock(0.0f, 25);
    EXPECT_FALSE(BpmLocked.load());
    EXPECT_FLOAT_EQ(Bpm.load(), smoothed);
}

}  // namespace
