// The offline analyzer in process: trigs and tempo over whole tracks, the
// way from any file into it, and what it reports while it reads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "OfflineAnalyzer.h"
#include "SoundFiles.h"

namespace {

using ::testing::ElementsAreArray;

std::vector<double> BlockTimes(std::vector<int> blocks)
{
    std::vector<double> t;
    for (int b : blocks)
        t.push_back(b * 1024.0 / 44100.0);
    return t;
}

// A steady click track ends locked on its tempo, even when the first lock
// fell on a wrong tempo (the first interval runs from start-up, or stray
// sounds before the music agree with each other); the trigs stay on the
// clicks.
TEST(Offline, SteadyClickTrackEndsLockedOnItsTempo)
{
    const struct {
        double bpm;
        double first;                // first click, seconds
        std::vector<double> strays;  // sounds before the first click
    } cases[] = {
        {100, 0.5, {}}, {100, 1.3, {}}, {120, 0.44, {}}, {120, 0.8, {}}, {120, 7.3, {3.4, 6.8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpm << " BPM from " << c.first << " s");
        std::vector<double> times = c.strays;
        for (int k = 0; k < c.bpm / 2; ++k)  // 30 s of clicks
            times.push_back(c.first + k * 60.0 / c.bpm);
        const TOfflineResult r = AnalyseSamples(ClickTrack(c.first + 31, times), TOfflineSettings{});
        ASSERT_EQ(r.trigTimes.size(), times.size());
        for (std::size_t i = 0; i < times.size(); ++i)
            EXPECT_NEAR(r.trigTimes[i], times[i], 1024.0 / 44100) << i;  // the block holding the click
        EXPECT_TRUE(r.locked);
        EXPECT_NEAR(r.bpm, c.bpm, c.bpm * 0.01);
    }
}

TEST(Offline, SteadyToneTrigsEveryDecayPlusTwoBlocksAfterTheStartUpHold)
{
    std::vector<std::int16_t> tone(60 * 1024, 3200);  // level 100 on every block
    TOfflineSettings s;
    s.aggr = 50;
    s.decay = 1;
    EXPECT_THAT(AnalyseSamples(tone, s).trigTimes, ElementsAreArray(BlockTimes({14, 17, 20, 23, 26, 29, 32, 35, 38, 41,
                                                                                44, 47, 50, 53, 56, 59})));
    s.decay = 25;
    EXPECT_THAT(AnalyseSamples(tone, s).trigTimes, ElementsAreArray(BlockTimes({14, 41})));
    s.noise = 100;  // exactly the level: never
    EXPECT_TRUE(AnalyseSamples(tone, s).trigTimes.empty());
    s.noise = 1;
    s.gain = 127;  // +20 dB
    EXPECT_FLOAT_EQ(AnalyseSamples(tone, s).rows[0].level, 1000.0f);
}

TEST(Offline, FilesAreMixedDownResampledAndFollowedWhileRead)
{
    const auto mono = BurstTrack(200, 20);
    const TOfflineResult m = AnalyseSamples(mono, TOfflineSettings{});
    std::vector<std::int16_t> stereo, half;  // left only; every other sample, 22050 Hz
    for (std::size_t i = 0; i < mono.size(); ++i) {
        stereo.insert(stereo.end(), {mono[i], 0});
        if (i % 2 == 0)
            half.push_back(mono[i]);
    }
    const auto stereoPath = TestFilePath("stereo.wav"), halfPath = TestFilePath("half.flac");
    WriteSoundFile(stereoPath, stereo, 2, 44100);
    WriteSoundFile(halfPath, half, 1, 22050, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);

    const TOfflineResult s = AnalyseFile(stereoPath.string(), TOfflineSettings{});
    EXPECT_NEAR(s.rows[20].level, m.rows[20].level / 2, 0.05);
    EXPECT_EQ(s.trigTimes, m.trigTimes);

    // Resampled, so the last rows come out of the resampler's drain.
    std::vector<TBlockRow> rows;
    std::vector<std::size_t> rowsAtProgress;
    double seconds = 0, length = 0;
    const TAnalyseObserver observer{[&](const TBlockRow& row) { rows.push_back(row); },
                                    [&](double at, double of) {
                                        rowsAtProgress.push_back(rows.size());
                                        seconds = at;
                                        length = of;
                                    }};
    const TOfflineResult h = AnalyseFile(halfPath.string(), TOfflineSettings{}, observer);
    std::filesystem::remove(stereoPath);
    std::filesystem::remove(halfPath);
    EXPECT_NEAR(static_cast<double>(h.rows.size()), 200.0, 1.0);
    ASSERT_EQ(h.trigTimes.size(), m.trigTimes.size());
    for (std::size_t i = 0; i < h.trigTimes.size(); ++i)
        EXPECT_NEAR(h.trigTimes[i], m.trigTimes[i], 0.024) << i;  // within a block

    ASSERT_EQ(rows.size(), h.rows.size());
    EXPECT_EQ(rows.back().block, static_cast<long>(rows.size()) - 1);
    ASSERT_GE(rowsAtProgress.size(), 3u);
    EXPECT_GT(rowsAtProgress.front(), 0u) << "rows held back";
    EXPECT_LT(rowsAtProgress.front(), rows.size() / 4) << "rows held back";
    EXPECT_NEAR(length, 200 * 1024 / 44100.0, 0.001);
    EXPECT_EQ(seconds, length);
}

}  // namespace
