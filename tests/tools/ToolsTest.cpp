// The tools without the analyzer: the programs' command lines (the
// convention the tools share, each rule once on one of them, and what each
// tool decides itself); vxhost's fields as a host types and reads them,
// through the program against private segments; vxanalyze's analysis in
// process over whole tracks and files, then its output and progress line.
#include <signal.h>
#include <pty.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <tuple>

#include "HostFields.h"
#include "HostWatch.h"
#include "OfflineAnalyzer.h"
#include "SharedMemoryPlatform.h"
#include "SoundFiles.h"
#include "ToolOptions.h"
#include "ToolRun.h"

namespace {

using namespace std::string_literals;
using namespace vxhost;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Status 2 for a bad command line, 1 for input or a segment that cannot
// be read, 0 for help; a failure writes nothing on standard output, and
// nothing here makes the segment.
TEST(ToolCommandLines, BadOnesSayWhatIsWrongAndHelpSucceeds)
{
    const std::string segment = TestSegmentName();
    const TSegment small(segment + "_SMALL", 100);  // a host that made it too small
    const auto junk = TestFilePath("junk.wav");
    std::ofstream(junk) << "this is not a sound file";
    const struct {
        const char* program;
        std::string args;
        int status;
        std::string says;
        std::string env = "";  // instead of our segment's name
    } cases[] = {
        {VXHOST_PATH, "set UseFFT=1 Level=3 Gain=-5 Nope=1", 2,
         "vxhost set: Level is a measurement of the analyzer, not writable by a host\n"
         "vxhost set: unknown field 'Nope' (see 'vxhost set --help')\nvxhost set: nothing written\n"},
        {VXHOST_PATH, "set", 2, "vxhost set: nothing to set"},
        {VXHOST_PATH, "", 2, "Usage: vxhost"},
        {VXHOST_PATH, "frobnicate", 2, "vxhost: unknown command 'frobnicate'"},
        {VXHOST_PATH, "dump --xml", 2, "vxhost dump: unknown option '--xml'\nTry 'vxhost dump --help'."},
        {VXHOST_PATH, "watch --count", 2, "vxhost watch: option --count needs a value (N)\nTry 'vxhost watch --help'."},
        {VXHOST_PATH, "watch --count 0", 2, "--count must be an integer from 1"},
        {VXHOST_PATH, "--segment a/b dump", 2, "bad segment name 'a/b' in --segment"},
        {VXHOST_PATH, "set UseFFT=1", 2, "bad segment name 'a/b' in VX_SEGMENT_NAME", "VX_SEGMENT_NAME=a/b"},
        {VXHOST_PATH, "--segment " + segment + "_SMALL set UseFFT=1", 1, "Tfilemapping map view error"},
        {VXHOST_PATH, "--help", 0, "--segment NAME"},
        {VXHOST_PATH, "help watch", 0, "Usage: vxhost watch"},
        {VXHOST_PATH, "set --help", 0, "Usage: vxhost set"},
        {VXANALYZE_PATH, "", 2, "vxanalyze: no sound file given\nTry 'vxanalyze --help'."},
        {VXANALYZE_PATH, "x.wav y.wav", 2, "only one FILE, not also 'y.wav'"},
        {VXANALYZE_PATH, "x.wav --decay 0", 2, "--decay must be an integer from 1 to 25, not '0'"},
        {VXANALYZE_PATH, "--gain 200 x.wav", 2, "--gain must be an integer from -127 to 127, not '200'"},
        {VXANALYZE_PATH, "x.wav --aggr 12abc", 2, "--aggr must be an integer"},
        {VXANALYZE_PATH, "x.wav --eq 16=3", 2, "--eq band must be an integer from 0 to 15"},
        {VXANALYZE_PATH, "x.wav --eq 3", 2, "--eq wants BAND=VALUE, not '3'"},
        {VXANALYZE_PATH, "x.wav --csv --json", 2, "--csv and --json exclude each other"},
        {VXANALYZE_PATH, "x.wav --csv=1", 2, "vxanalyze: option --csv takes no value"},
        {VXANALYZE_PATH, "x.wav --decay 1 --decay=2", 2, "vxanalyze: option --decay given twice"},
        {VXANALYZE_PATH, "-x", 2, "vxanalyze: unknown option '-x'\nTry 'vxanalyze --help'."},
        {VXANALYZE_PATH, "-- -missing.wav", 1, "vxanalyze: cannot read '-missing.wav'"},
        {VXANALYZE_PATH, "/nonexistent/track.wav", 1, "vxanalyze: cannot read '/nonexistent/track.wav'"},
        {VXANALYZE_PATH, junk.string(), 1, "vxanalyze: cannot read '" + junk.string() + "'"},
        {VXANALYZE_PATH, "--help", 0, "resampled to 44100 Hz"},
        {VXANALYZE_PATH, "-h", 0, "Usage: vxanalyze [options] FILE\n"},
        {VXANALYZE_PATH, "--version", 0, "vxanalyze " + std::string(vxtools::ProjectVersion()) + "\n"},
#ifdef VXBRIDGE_PATH
        // Names resolve when the bridge sets up its outputs.
        {VXBRIDGE_PATH, "--osc nohost.invalid:9000", 2,
         "vxbridge: --osc nohost.invalid:9000: cannot resolve the host 'nohost.invalid'"},
        {VXBRIDGE_PATH, "--os2l nohost.invalid:9000", 2, "vxbridge: --os2l nohost.invalid:9000: cannot resolve"},
        {VXBRIDGE_PATH, "--osc h:0", 2, "vxbridge: --osc h:0: bad port '0'"},
        {VXBRIDGE_PATH, "--help", 0, "--os2l [HOST:PORT]  "},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + (" " + c.args));
        const TRunResult r = RunTool(c.program, c.args, {c.env.empty() ? "VX_SEGMENT_NAME=" + segment : c.env});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_THAT(c.status == 0 ? r.out : r.err, HasSubstr(c.says));
        EXPECT_TRUE(c.status == 0 || r.out.empty()) << r.out;
    }
    std::filesystem::remove(junk);
    EXPECT_FALSE(SharedSegmentExists(segment)) << "a bad command line, or help, made the segment";
}

TEST(HostAssignment, EveryBadOneSaysWhy)
{
    // The full ranges, odd values and case-blind names are vxhost's own
    // test below; a host clears Trig.
    Assignment cleared;
    EXPECT_FALSE(ParseAssignment("Trig=0", cleared));
    const std::pair<std::vector<const char*>, const char*> rejected[] = {
        // Hex is a number, not a bit pattern; a host only clears or raises Trig.
        {{"UseFFT=256", "StayOnTop=-1", "Gain=-129", "EqualizerBand[0]=128", "Gain=0xFF", "TrigDecay=2147483648",
          "NoiseLevelSwitch=-2147483649", "NoiseLevelSwitch=-9223372036854775808", "Trig=2"},
         "does not fit"},
        {{"TrigAggr=9223372036854775808", "TrigAggr=0x10000000000000000", "TrigAggr=", "TrigAggr=+", "TrigAggr=-",
          "TrigAggr=0x", "TrigAggr=1x", "TrigAggr= 1", "TrigAggr=1 ", "TrigAggr=--1", "TrigAggr=+-1",
          "TrigAggr=0x-1", "TrigAggr=1.5", "TrigAggr=1e3", "UseFFT==1"},
         "is not an integer"},
        {{"Foo[1]=1"}, "unknown field 'Foo'"},
        {{"MapVersion=1", "mapversion=1", "AnalyzerActive=0", "BandLevel[0]=1", "FFTBandLevel[2]=1", "Level=3",
          "Clipping=0", "GainText=1"},
         "not writable by a host"},
        {{"EqualizerBand=1"}, "give an index"},
        {{"UseFFT[0]=1"}, "takes no index"},
        {{"EqualizerBand[16]=1", "EqualizerBand[-1]=1", "EqualizerColor[15]=1", "EqualizerBand[+1]=1",
          "EqualizerBand[0x1]=1"},
         "out of range"},
        {{"EqualizerBand[]=1", "EqualizerBand[1=1", "EqualizerBand[1]x=1"}, "bad index"},
        {{"UseFFT", "=1"}, "expected NAME=VALUE"},
    };
    for (const auto& [texts, error] : rejected) {
        for (const char* text : texts) {
            Assignment a;
            EXPECT_NE(ParseAssignment(text, a).value_or("").find(error), std::string::npos) << text;
        }
    }
}

TEST(HostWatch, BarsUseALogScaleClampedToTheWidth)
{
    const std::tuple<double, double, int> bars[] = {
        {0, 1000, 0}, {-5, 1000, 0}, {std::nan(""), 1000, 0}, {1000, 1000, 40}, {1e30, 1000, 40},
        {INFINITY, 32767, 40}, {std::sqrt(1001.0) - 1, 1000, 20},  // half way on the log scale
    };
    for (const auto& [value, full, length] : bars)
        EXPECT_EQ(BarLength(value, full, 40), length) << value;
}

// "[0, 0, v, 0]": `entries` entries, `value` at `index`.
std::string Array(int entries, int index, const std::string& value)
{
    std::string text = "[";
    for (int i = 0; i < entries; ++i)
        text += (i > 0 ? ", " : "") + (i == index ? value : "0"s);
    return text + "]";
}

TEST(VxHostTool, EveryFieldIsWrittenAtItsOffsetAndDumpedInRecordOrder)
{
    // One entry of each field, little-endian: the host's through set, the
    // analyzer's measurements written here.
    const struct {
        const char* name;
        std::size_t at;
        std::string set;  // empty: a measurement
        std::string bytes;
        std::string text;  // after "Name = "
        std::string json = "";  // empty: as text
    } fields[] = {
        {"MapVersion", VXSM_OFF_MAPVERSION, "", "\x02\x01"s, "258"},
        {"AnalyzerActive", VXSM_OFF_ANALYZERACTIVE, "", "\x01"s, "1"},
        {"BandLevel", VXSM_OFF_BANDLEVEL + 60, "", "\xcd\xcc\xcc\x3d"s, Array(16, 15, "0.1")},  // reads back exactly
        {"EqualizerBand", VXSM_OFF_EQUALIZERBAND + 15, "EqualizerBand[15]=127", "\x7f"s, Array(16, 15, "127")},
        {"Gain", VXSM_OFF_GAIN, "Gain=-0x80", "\x80"s, "-128"},  // hex is a number, not a bit pattern
        // A host (or garbage) may leave any bytes in GainText.
        {"GainText", VXSM_OFF_GAINTEXT, "", "\x07\"\\\n\x01\xe9\x7fx"s, R"("\"\\\x0a\x01\xe9\x7fx")",
         R"("\"\\\u000a\u0001\u00e9\u007fx")"},
        {"Trig", VXSM_OFF_TRIG, "Trig=1", "\x01"s, "1"},
        {"EqualizerColor", VXSM_OFF_EQUALIZERCOLOR + 14, "equalizercolor[14]=0xff", "\xff"s, Array(15, 14, "255")},
        {"ShowInput", VXSM_OFF_SHOWINPUT, "ShowInput=7", "\x07"s, "7"},
        {"UseFFT", VXSM_OFF_USEFFT, "USEFFT=1", "\x01"s, "1"},
        {"TriggerFaders", VXSM_OFF_TRIGGERFADERS, "TriggerFaders=2", "\x02"s, "2"},
        {"SoundCard", VXSM_OFF_SOUNDCARD, "SoundCard=3", "\x03"s, "3"},
        {"NoiseLevelSwitch", VXSM_OFF_NOISELEVELSWITCH, "NoiseLevelSwitch=-2147483648", "\0\0\0\x80"s, "-2147483648"},
        {"NoiseLevelValue", VXSM_OFF_NOISELEVELVALUE, "NoiseLevelValue=500", "\xf4\x01\0\0"s, "500"},
        {"AutoSaveChanges", VXSM_OFF_AUTOSAVECHANGES, "AutoSaveChanges=4", "\x04"s, "4"},
        {"RunMinimized", VXSM_OFF_RUNMINIMIZED, "RunMinimized=5", "\x05"s, "5"},
        {"StayOnTop", VXSM_OFF_STAYONTOP, "StayOnTop=255", "\xff"s, "255"},
        {"TrigDecay", VXSM_OFF_TRIGDECAY, "TrigDecay=2147483647", "\xff\xff\xff\x7f"s, "2147483647"},
        {"TrigAggr", VXSM_OFF_TRIGAGGR, "TrigAggr=+0x1F", "\x1f\0\0\0"s, "31"},
        {"Clipping", VXSM_OFF_CLIPPING, "", "\x01"s, "1"},
        {"FFTBandLevel", VXSM_OFF_FFTBANDLEVEL + 4, "", "\0\0\x80\x7f"s, Array(16, 1, "inf"), Array(16, 1, "null")},
        {"Level", VXSM_OFF_LEVEL, "", "\0\0\xc0\x7f"s, "nan", "null"},
    };
    const std::string name = TestSegmentName();
    TSegment segment(name);
    unsigned char* rec = segment.bytes;
    std::vector<unsigned char> image(VXSM_SIZE, 0);
    std::string set = "set", text, json;
    for (const auto& f : fields) {
        std::memcpy(image.data() + f.at, f.bytes.data(), f.bytes.size());
        if (f.set.empty())
            std::memcpy(rec + f.at, f.bytes.data(), f.bytes.size());
        set += " " + f.set;
        text += f.name + " = "s + f.text + "\n";
        json += (json.empty() ? "{\n  \"" : ",\n  \"") + (f.name + "\": "s) + (f.json.empty() ? f.text : f.json);
    }
    // The environment names the segment, and --segment wins over it.
    const TRunResult r = RunTool(VXHOST_PATH, set, {"VX_SEGMENT_NAME=" + name});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    for (int i = 0; i < VXSM_SIZE; ++i)
        EXPECT_EQ(rec[i], image[static_cast<std::size_t>(i)]) << "byte " << i;
    const std::string other = name + "_OTHER";
    EXPECT_EQ(RunTool(VXHOST_PATH, "--segment " + name + " dump", {"VX_SEGMENT_NAME=" + other}).out, text);
    EXPECT_EQ(RunTool(VXHOST_PATH, "--segment=" + name + " dump --json", {"VX_SEGMENT_NAME="}).out, json + "\n}\n");
    EXPECT_FALSE(SharedSegmentExists(other)) << "--segment did not win over the environment";
    shm_unlink(("/" + other).c_str());
}

TEST(VxHostTool, WatchTakesOnlyARealTrigAndEndsAfterItsCountOnCtrlCAndOnTerm)
{
    const std::string name = TestSegmentName();
    TSegment segment(name);
    segment.bytes[VXSM_OFF_CLIPPING] = 1;
    const struct {
        int signal;  // 0: ends after its count
        unsigned char trig;
        std::vector<std::string> options;
        std::string shows;
    } runs[] = {
        {0, 1, {"--plain", "--count=3"}, "level=0.0 clipping=1 active=0 trigs=1 bands=0.0,"},
        {SIGINT, 7, {"--plain"}, " trigs=0 "},  // not the analyzer's value: left for whoever wrote it
        {SIGTERM, 1, {}, "AnalyzerActive 0   Clipping 1 CLIP   Trigs taken 1\n"},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.signal);
        segment.bytes[VXSM_OFF_TRIG] = r.trig;
        TChild watch;
        std::vector<std::string> argv{VXHOST_PATH, "--segment", name, "watch"};
        argv.insert(argv.end(), r.options.begin(), r.options.end());
        ASSERT_TRUE(watch.Start(argv));
        // The first frame comes after the handlers are in place: only then
        // is the signal sent.
        EXPECT_TRUE(watch.WaitFor([&] { return watch.out.find('\n') != std::string::npos || !watch.Running(); }, 20000));
        EXPECT_EQ(watch.End(r.signal, 20000), 0);  // a broken handler fails instead of hanging
        EXPECT_EQ(segment.bytes[VXSM_OFF_TRIG], r.trig == 1 ? 0 : r.trig);
        EXPECT_THAT(watch.out, HasSubstr(r.shows));
        EXPECT_EQ(watch.out.find('\x1b'), r.options.empty() ? 0u : std::string::npos);  // the full view redraws the screen
        if (r.signal == 0) {  // one line per refresh
            EXPECT_EQ(std::count(watch.out.begin(), watch.out.end(), '\n'), 3) << watch.out;
        }
    }
}

// A steady click track reads within 1 % of its tempo after 15 s at every
// tempo and first-click offset (block timing splits each interval into two
// block counts up to 5 % apart), even when the first lock fell on a wrong
// tempo (the first interval runs from start-up, or stray sounds before the
// music agree with each other); the trigs stay on the clicks.
TEST(Offline, SteadyClickTrackEndsLockedOnItsTempo)
{
    struct TCase {
        double bpm;
        double first;                // first click, seconds
        std::vector<double> strays;  // sounds before the first click
    };
    std::vector<TCase> cases = {{120, 7.3, {3.4, 6.8}}};
    for (double bpm = 60; bpm <= 150; bpm += 7.5)
        for (int k = 0; k < 50; ++k)
            cases.push_back({bpm, 0.04 * k, {}});
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpm << " BPM from " << c.first << " s");
        std::vector<double> times = c.strays;
        for (int k = 0; c.first + k * 60.0 / c.bpm < 14.9; ++k)  // whole clicks only
            times.push_back(c.first + k * 60.0 / c.bpm);
        const TOfflineResult r = AnalyseSamples(ClickTrack(15, times), TOfflineSettings{});
        // Only a first click inside the start-up hold (14 blocks) is no trig.
        ASSERT_LE(r.trigTimes.size(), times.size());
        const std::size_t missed = times.size() - r.trigTimes.size();
        ASSERT_LE(missed, c.first < 14 * 1024.0 / 44100 ? 1u : 0u);
        for (std::size_t i = 0; i < r.trigTimes.size(); ++i)
            EXPECT_NEAR(r.trigTimes[i], times[i + missed], 1024.0 / 44100) << i;  // the block holding the click
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

TEST(Offline, FilesAreMixedDownAndResampled)
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

    float level20 = -1;
    const TOfflineResult s = AnalyseFile(stereoPath.string(), TOfflineSettings{},
                                         {[&](const TBlockRow& row) { level20 = row.block == 20 ? row.level : level20; }, {}});
    EXPECT_NEAR(level20, m.rows[20].level / 2, 0.05);
    EXPECT_EQ(s.trigTimes, m.trigTimes);

    // Resampled, so the last rows come out of the resampler's drain. Rows
    // reach the observer while the file is read, not held back to its end.
    std::size_t rowsSeen = 0;
    std::vector<std::size_t> rowsAtProgress;
    const TAnalyseObserver observer{[&](const TBlockRow& row) { EXPECT_EQ(row.block, long(rowsSeen++)); },
                                    [&](double, double) { rowsAtProgress.push_back(rowsSeen); }};
    const TOfflineResult h = AnalyseFile(halfPath.string(), TOfflineSettings{}, observer);
    EXPECT_EQ(long(rowsSeen), h.blocks);
    ASSERT_GE(rowsAtProgress.size(), 3u);
    EXPECT_GT(rowsAtProgress.front(), 0u);
    EXPECT_LT(rowsAtProgress.front(), rowsSeen / 4) << "rows held back";
    std::filesystem::remove(stereoPath);
    std::filesystem::remove(halfPath);
    EXPECT_NEAR(static_cast<double>(h.blocks), 200.0, 1.0);
    ASSERT_EQ(h.trigTimes.size(), m.trigTimes.size());
    for (std::size_t i = 0; i < h.trigTimes.size(); ++i)
        EXPECT_NEAR(h.trigTimes[i], m.trigTimes[i], 0.024) << i;  // within a block
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
        // The first trig never locks, the second locks on the mean of the
        // two; the trig is taken and cleared as a host does.
        {"--csv",
         {"block,time,level,trig,bpm,bpm_instant,locked\n0,0.000000,0.0000,0,",
          "\n20,0.464399,353.1657,1,0.00,123.20,0\n21,0.487619,0.0000,0,",
          "\n40,0.928798,353.1657,1,126.12,129.03,1\n41,0.952018,0.0000,0,"},
         51},
        {"--csv --fft --eq 7=-20", {",locked,band0,band1,", ",band15\n0,"}, 51},
        {"",
         {"block time level trig", "\n49 1.137778 ", "\nblocks: 50\ntrigs: 2\ntrig times: 0.464 0.929\ntempo: 126.12 BPM, locked\n"},
         55},
        {"--json --fft",
         {"{\"rows\":[\n{\"block\":0,", R"("bands":[0.0000,)", R"({"block":49,)",
          R"(}],"blocks":50,"trigs":2,"trig_times":[0.464399,0.928798],"bpm":126.12,"locked":true})" "\n"},
         51},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const TRunResult r = RunTool(VXANALYZE_PATH, path.string() + " " + c.args);
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
