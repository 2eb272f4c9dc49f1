// vxhost: the record's fields as a host types and reads them, and the
// built program run as a host would run it, against private segments.
#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "HostFields.h"
#include "HostWatch.h"
#include "SharedMemoryPlatform.h"
#include "ToolRun.h"

namespace {

using namespace std::string_literals;
using namespace vxhost;
using ::testing::HasSubstr;

TEST(HostAssignment, EveryBadOneSaysWhy)
{
    // The full ranges, odd values and case-blind names are vxhost's own
    // test below; a host clears Trig.
    for (const auto& [text, value] : {std::pair{"Trig=0", 0}, std::pair{"trigaggr=0x1F", 31}}) {
        Assignment a;
        EXPECT_FALSE(ParseAssignment(text, a)) << text;
        EXPECT_EQ(a.value, value) << text;
    }
    const struct {
        std::vector<const char*> texts;
        const char* error;
    } rejected[] = {
        // Hex is a number, not a bit pattern; a host only clears or raises Trig.
        {{"UseFFT=256", "StayOnTop=-1", "Gain=-129", "EqualizerBand[0]=128", "Gain=0xFF", "TrigDecay=2147483648",
          "NoiseLevelSwitch=-2147483649", "NoiseLevelSwitch=-9223372036854775808", "Trig=2"},
         "does not fit"},
        {{"TrigAggr=9223372036854775808", "TrigAggr=0x10000000000000000", "TrigAggr=", "TrigAggr=+", "TrigAggr=-",
          "TrigAggr=0x", "TrigAggr=1x", "TrigAggr= 1", "TrigAggr=1 ", "TrigAggr=--1", "TrigAggr=+-1",
          "TrigAggr=0x-1", "TrigAggr=1.5", "TrigAggr=1e3", "UseFFT==1"},
         "is not an integer"},
        {{"Volume=1"}, "unknown field 'Volume'"},
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
    for (const auto& r : rejected) {
        for (const char* text : r.texts) {
            Assignment a;
            EXPECT_NE(ParseAssignment(text, a).value_or("").find(r.error), std::string::npos) << text;
        }
    }
}

TEST(HostWatch, BarsUseALogScaleClampedToTheWidth)
{
    const struct {
        double value, full;
        int length;
    } bars[] = {
        {0, 1000, 0}, {-5, 1000, 0}, {std::nan(""), 1000, 0}, {1000, 1000, 40}, {1e30, 1000, 40},
        {INFINITY, 32767, 40}, {std::sqrt(1001.0) - 1, 1000, 20},  // half way on the log scale
    };
    for (const auto& b : bars)
        EXPECT_EQ(BarLength(b.value, b.full, 40), b.length) << b.value;
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
        {"TrigAggr", VXSM_OFF_TRIGAGGR, "TrigAggr=+7", "\x07\0\0\0"s, "7"},
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
    const TRun r = RunTool(VXHOST_PATH, set, {"VX_SEGMENT_NAME=" + name});
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

// The rest of vxhost's command line is the command-line tests' table.
TEST(VxHostTool, ASegmentTooSmallFailsWithStatus1)
{
    const std::string name = TestSegmentName();
    TSegment segment(name, 100);
    for (const char* command : {"dump", "watch --count 1", "set UseFFT=1"}) {
        const TRun r = RunTool(VXHOST_PATH, "--segment " + name + " " + command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_THAT(r.err, HasSubstr("Tfilemapping map view error")) << command;
    }
}

TEST(VxHostTool, WatchTakesOnlyARealTrigAndEndsAfterItsCountOnCtrlCAndOnTerm)
{
    const std::string name = TestSegmentName();
    TSegment segment(name);
    segment.bytes[VXSM_OFF_CLIPPING] = 1;
    const struct {
        int signal;  // 0: --count 3
        unsigned char trig;
        bool plain;
        std::string shows;
    } runs[] = {
        {0, 1, true, "level=0.0 clipping=1 active=0 trigs=1 bands=0.0,"},
        {SIGINT, 7, true, " trigs=0 "},  // not the analyzer's value: left for whoever wrote it
        {SIGTERM, 1, false, "AnalyzerActive 0   Clipping 1 CLIP   Trigs taken 1\n"},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.signal);
        segment.bytes[VXSM_OFF_TRIG] = r.trig;
        TChild watch;
        std::vector<std::string> argv{VXHOST_PATH, "--segment", name, "watch"};
        if (r.plain)
            argv.push_back("--plain");
        if (r.signal == 0)
            argv.push_back("--count=3");
        ASSERT_TRUE(watch.Start(argv));
        // The first frame comes after the handlers are in place: only then
        // is the signal sent.
        EXPECT_TRUE(watch.WaitFor([&] { return watch.out.find('\n') != std::string::npos || !watch.Running(); }, 20000));
        EXPECT_EQ(watch.End(r.signal, 20000), 0);  // a broken handler fails instead of hanging
        EXPECT_EQ(segment.bytes[VXSM_OFF_TRIG], r.trig == 1 ? 0 : r.trig);
        EXPECT_THAT(watch.out, HasSubstr(r.shows));
        EXPECT_EQ(watch.out.find('\x1b'), r.plain ? std::string::npos : 0u);  // the full view redraws the screen
        if (r.signal == 0) {  // one line per refresh
            EXPECT_EQ(std::count(watch.out.begin(), watch.out.end(), '\n'), 3) << watch.out;
        }
    }
}

}  // namespace
