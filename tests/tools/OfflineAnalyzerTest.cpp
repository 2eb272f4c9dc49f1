#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "OfflineAnalyzer.h"
#include "SoundFiles.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

std::vector<double> BlockTimes(std::vector<int> blocks)
{
    std::vector<double> t;
    for (int b : blocks)
        t.push_back(b * 1024.0 / 44100.0);
    return t;
}

class OfflineTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const auto& p : files_)
            std::filesystem::remove(p);
    }
    std::filesystem::path File(const std::string& name)
    {
        files_.push_back(TestFilePath(name));
        return files_.back();
    }

private:
    std::vector<std::filesystem::path> files_;
};

TEST_F(OfflineTest, BurstsTrigOnTheirBlocksAndTheTempoLocks)
{
    const auto path = File("bursts.wav");
    WriteSoundFile(path, BurstTrack(200, 20), 1, 44100);
    const TOfflineResult r = AnalyseFile(path.string(), TOfflineSettings{});
    ASSERT_EQ(r.rows.size(), 200u);
    EXPECT_THAT(r.trigTimes, ElementsAreArray(BlockTimes({20, 40, 60, 80, 100, 120, 140, 160, 180})));
    EXPECT_TRUE(r.locked);
    // The lock takes the mean of the first two intervals (487 ms from
    // start-up, then 465 ms); smoothing then pulls it towards 129.2 BPM
    // (20 blocks, 464.4 ms) by 5 % per agreeing trig.
    EXPECT_NEAR(r.rows[40].bpm, (60000.0f / 487 + 60000.0f / 465) / 2 * 0.95f + 0.05f * 60000.0f / 465, 0.01);
    EXPECT_GT(r.bpm, r.rows[40].bpm);
    EXPECT_LT(r.bpm, 129.3);
    EXPECT_FALSE(r.rows[20].locked);  // the first trig never locks
    EXPECT_TRUE(r.rows[40].locked);
    EXPECT_TRUE(r.rows[40].trig);
    EXPECT_FALSE(r.rows[41].trig);  // taken and cleared like a host does
}

// A steady click track ends locked on its tempo, even when the first lock
// fell on a wrong tempo (the first interval runs from start-up, or stray
// sounds before the music agree with each other); the trigs stay on the
// clicks.
TEST_F(OfflineTest, SteadyClickTrackEndsLockedOnItsTempo)
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

TEST_F(OfflineTest, SteadyToneTrigsEveryDecayPlusTwoBlocksAfterTheStartUpHold)
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

TEST_F(OfflineTest, RepeatedRunsAreIdentical)
{
    const auto track = BurstTrack(300, 23);
    TOfflineSettings s;
    s.useFFT = true;
    s.eq[7] = 64;
    std::ostringstream a, b;
    WriteResult(a, AnalyseSamples(track, s), EOutputFormat::Csv, true);
    WriteResult(b, AnalyseSamples(track, s), EOutputFormat::Csv, true);
    EXPECT_EQ(a.str(), b.str());
}

TEST_F(OfflineTest, ChannelsAreMixedAndOtherRatesResampled)
{
    const auto mono = BurstTrack(120, 20);
    std::vector<std::int16_t> stereo;
    for (std::int16_t v : mono) {
        stereo.push_back(v);
        stereo.push_back(0);
    }
    const auto stereoPath = File("stereo.wav");
    WriteSoundFile(stereoPath, stereo, 2, 44100);
    const TOfflineResult r = AnalyseFile(stereoPath.string(), TOfflineSettings{});
    const TOfflineResult m = AnalyseSamples(mono, TOfflineSettings{});
    EXPECT_NEAR(r.rows[20].level, m.rows[20].level / 2, 0.05);
    EXPECT_EQ(r.trigTimes, m.trigTimes);

    std::vector<std::int16_t> half;  // every other sample: 22050 Hz
    for (std::size_t i = 0; i < mono.size(); i += 2)
        half.push_back(mono[i]);
    const auto halfPath = File("half.flac");
    WriteSoundFile(halfPath, half, 1, 22050, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const TOfflineResult h = AnalyseFile(halfPath.string(), TOfflineSettings{});
    EXPECT_NEAR(static_cast<double>(h.rows.size()), 120.0, 1.0);
    ASSERT_EQ(h.trigTimes.size(), m.trigTimes.size());
    for (std::size_t i = 0; i < h.trigTimes.size(); ++i)
        EXPECT_NEAR(h.trigTimes[i], m.trigTimes[i], 0.024) << i;  // within a block
}

TEST_F(OfflineTest, ObserverGetsEachRowWhileTheFileIsReadAndTheProgress)
{
    // Resampled, so the last rows come out of the resampler's drain.
    std::vector<std::int16_t> half;
    const auto mono = BurstTrack(200, 20);
    for (std::size_t i = 0; i < mono.size(); i += 2)
        half.push_back(mono[i]);
    const auto path = File("observed.flac");
    WriteSoundFile(path, half, 1, 22050, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);

    std::vector<TBlockRow> rows;
    std::vector<std::size_t> rowsAtProgress;
    double seconds = 0, length = 0;
    const TAnalyseObserver observer{[&](const TBlockRow& row) { rows.push_back(row); },
                                    [&](double s, double l) {
                                        rowsAtProgress.push_back(rows.size());
                                        seconds = s;
                                        length = l;
                                    }};
    const TOfflineResult r = AnalyseFile(path.string(), TOfflineSettings{}, observer);

    ASSERT_EQ(rows.size(), r.rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].block, static_cast<long>(i));
        EXPECT_EQ(rows[i].level, r.rows[i].level) << i;
        EXPECT_EQ(rows[i].trig, r.rows[i].trig) << i;
    }
    ASSERT_GE(rowsAtProgress.size(), 3u);
    EXPECT_GT(rowsAtProgress.front(), 0u) << "rows held back";
    EXPECT_LT(rowsAtProgress.front(), rows.size() / 4) << "rows held back";
    EXPECT_NEAR(length, 200 * 1024 / 44100.0, 0.001);
    EXPECT_EQ(seconds, length);
}

TEST_F(OfflineTest, FormatsCarryTheColumnsAndTheSummary)
{
    TOfflineSettings s;
    const TOfflineResult r = AnalyseSamples(BurstTrack(50, 20), s);
    std::ostringstream csv, csvBands, json, text;
    WriteResult(csv, r, EOutputFormat::Csv, false);
    WriteResult(csvBands, r, EOutputFormat::Csv, true);
    WriteResult(json, r, EOutputFormat::Json, false);
    WriteResult(text, r, EOutputFormat::Text, false);

    std::istringstream lines(csv.str());
    std::string header, row;
    std::getline(lines, header);
    EXPECT_EQ(header, "block,time,level,trig,bpm,bpm_instant,locked");
    int rows = 0;
    while (std::getline(lines, row))
        ++rows;
    EXPECT_EQ(rows, 50);
    EXPECT_THAT(csv.str(), HasSubstr("\n20,0.464399,"));
    EXPECT_THAT(csv.str(), ::testing::Not(HasSubstr("trigs")));
    EXPECT_THAT(csvBands.str(), HasSubstr(",locked,band0,band1,"));
    EXPECT_THAT(csvBands.str(), HasSubstr(",band15\n"));

    EXPECT_THAT(json.str(), HasSubstr("{\"blocks\":50,\"trigs\":2,\"trig_times\":[0.464399,0.928798]"));
    EXPECT_THAT(json.str(), HasSubstr("\"locked\":true"));
    EXPECT_THAT(json.str(), HasSubstr("{\"block\":49,"));
    EXPECT_THAT(text.str(), HasSubstr("blocks: 50\ntrigs: 2\ntrig times: 0.464 0.929\ntempo: "));
}

}  // namespace
