// vxanalyze: the offline analyzer in process (trigs and tempo over whole
// tracks, the way from any file into it, what it reports while it reads),
// then the executable: its formats and its progress line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pty.h>

#include <algorithm>

#include "OfflineAnalyzer.h"
#include "SoundFiles.h"
#include "ToolRun.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

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
    EXPECT_THAT(Blocks(AnalyseSamples(tone, s).trigTimes),
                ElementsAre(14, 17, 20, 23, 26, 29, 32, 35, 38, 41, 44, 47, 50, 53, 56, 59));
    s.decay = 25;
    EXPECT_THAT(Blocks(AnalyseSamples(tone, s).trigTimes), ElementsAre(14, 41));
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

TEST(VxAnalyzeTool, WritesEachFormatAndSaysNothingOnAFileOrPipe)
{
    const auto path = TestFilePath("tool.wav");
    WriteSoundFile(path, BurstTrack(50, 20), 1, 44100);
    const struct {
        std::string args;
        std::vector<std::string> shows;
        long lines;  // a row per block, and the summary but in CSV
    } cases[] = {
        // The first trig never locks; the trig is taken and cleared as a
        // host does.
        {"--csv",
         {"block,time,level,trig,bpm,bpm_instant,locked\n0,0.000000,0.0000,0,",
          "\n20,0.464399,353.1657,1,0.00,123.20,0\n21,0.487619,0.0000,0,",
          "\n40,0.928798,353.1657,1,126.26,129.03,1\n41,0.952018,0.0000,0,"},
         51},
        {"--csv --fft --eq 7=-20", {",locked,band0,band1,", ",band15\n0,"}, 51},
        {"",
         {"block time level trig", "\n49 1.137778 ", "\nblocks: 50\ntrigs: 2\ntrig times: 0.464 0.929\ntempo: 126.26 BPM, locked\n"},
         55},
        {"--json --fft",
         {R"({"blocks":50,"trigs":2,"trig_times":[0.464399,0.928798],"bpm":)", R"("bands":[0.0000,)", R"({"block":49,)"},
         51},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const TRun r = RunTool(VXANALYZE_PATH, path.string() + " " + c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        for (const auto& part : c.shows)
            EXPECT_THAT(r.out, HasSubstr(part));
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), c.lines);
    }
    std::filesystem::remove(path);
}

TEST(VxAnalyzeTool, ShowsProgressWhenItsErrorStreamIsATerminal)
{
    const auto path = TestFilePath("progress.wav");
    WriteSoundFile(path, BurstTrack(1300, 20), 1, 44100);  // 30 s
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        execl(VXANALYZE_PATH, VXANALYZE_PATH, path.c_str(), "--csv", nullptr);
        _exit(127);
    }
    // The terminal reports an error once the tool has ended and closed it.
    std::string shown;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (char buf[512]; std::chrono::steady_clock::now() < until;) {
        pollfd p{terminal, POLLIN, 0};
        const ssize_t n = poll(&p, 1, 100) > 0 ? read(terminal, buf, sizeof buf) : 0;
        if (n < 0 || (n == 0 && p.revents != 0))
            break;
        shown.append(buf, static_cast<std::size_t>(n));
    }
    close(terminal);
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    std::filesystem::remove(path);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_THAT(shown, HasSubstr("vxanalyze:   0%  0:00 of 0:30"));
    // The line is cleared at the end, so the shell prompt starts clean.
    EXPECT_TRUE(shown.ends_with("\r\x1b[K")) << shown;
}

}  // namespace
