// vxhost: the record's fields as a host types and reads them, and the
// built program run as a host would run it, against private segments.
#include <signal.h>
#include <sys/mman.h>

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

TEST(HostWatch, BarsUseALogScaleAndOnlyARealTrigIsTaken)
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

    SoundMapRecord record{};
    record.SetTrig(7);  // not the analyzer's value: left for whoever wrote it
    EXPECT_FALSE(TakeTrig(record));
    EXPECT_EQ(record.Trig(), 7);
    // The full view redraws the screen; --plain is vxhost watch's own test.
    EXPECT_EQ(WatchFrame(record, 3, false, "X").rfind("\x1b[H\x1b[2J", 0), 0u);
}

// "[0, 0, v, 0]": `entries` entries, `value` at `index`.
std::string Array(int entries, int index, const std::string& value)
{
    std::string text = "[";
    for (int i = 0; i < entries; ++i)
        text += (i > 0 ? ", " : "") + (i == index ? value : "0"s);
    return text + "]";
}

class VxHostTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        name_ = "VXHOSTTEST_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        shm_unlink(("/" + name_).c_str());
    }
    void TearDown() override
    {
        if (bytes_ != nullptr)
            munmap(bytes_, size_);
        shm_unlink(("/" + name_).c_str());
    }

    // Our own view of the segment, made the way any host would.
    unsigned char* MakeSegment(off_t size = VXSM_SIZE)
    {
        const int fd = shm_open(("/" + name_).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(ftruncate(fd, size), 0);
        void* p = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd);
        EXPECT_NE(p, MAP_FAILED);
        size_ = static_cast<std::size_t>(size);
        bytes_ = static_cast<unsigned char*>(p);
        return bytes_;
    }

    std::string name_;
    unsigned char* bytes_ = nullptr;
    std::size_t size_ = 0;
};

TEST_F(VxHostTool, EveryFieldIsWrittenAtItsOffsetAndDumpedInRecordOrder)
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
    unsigned char* rec = MakeSegment();
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
    const TRun r = RunTool(VXHOST_PATH, set, {"VX_SEGMENT_NAME=" + name_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    for (int i = 0; i < VXSM_SIZE; ++i)
        EXPECT_EQ(rec[i], image[static_cast<std::size_t>(i)]) << "byte " << i;
    const std::string other = name_ + "_OTHER";
    EXPECT_EQ(RunTool(VXHOST_PATH, "--segment " + name_ + " dump", {"VX_SEGMENT_NAME=" + other}).out, text);
    EXPECT_EQ(RunTool(VXHOST_PATH, "--segment=" + name_ + " dump --json", {"VX_SEGMENT_NAME="}).out, json + "\n}\n");
    EXPECT_FALSE(SharedSegmentExists(other)) << "--segment did not win over the environment";
    shm_unlink(("/" + other).c_str());
}

// The rest of vxhost's command line is the command-line tests' table.
TEST_F(VxHostTool, ASegmentTooSmallFailsWithStatus1)
{
    MakeSegment(100);
    for (const char* command : {"dump", "watch --count 1", "set UseFFT=1"}) {
        const TRun r = RunTool(VXHOST_PATH, "--segment " + name_ + " " + command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_THAT(r.err, HasSubstr("Tfilemapping map view error")) << command;
    }
}

TEST_F(VxHostTool, WatchTakesTheTrigAndEndsAfterItsCountOnCtrlCAndOnTerm)
{
    unsigned char* rec = MakeSegment();
    rec[VXSM_OFF_CLIPPING] = 1;
    for (int sig : {0, SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        rec[VXSM_OFF_TRIG] = 1;
        TChild watch;
        std::vector<std::string> argv{VXHOST_PATH, "--segment", name_, "watch", "--plain"};
        if (sig == 0)
            argv.insert(argv.end(), {"--count", "3"});
        ASSERT_TRUE(watch.Start(argv));
        // The first frame comes after the handlers are in place: only then
        // is the signal sent.
        EXPECT_TRUE(watch.WaitFor([&] { return watch.out.find('\n') != std::string::npos || !watch.Running(); }, 20000));
        EXPECT_EQ(watch.End(sig, 20000), 0);  // a broken handler fails instead of hanging
        EXPECT_EQ(rec[VXSM_OFF_TRIG], 0);
        EXPECT_THAT(watch.out, HasSubstr("level=0.0 clipping=1 active=0 trigs=1 bands=0.0,"));
        EXPECT_EQ(watch.out.find('\x1b'), std::string::npos);
        if (sig == 0) {  // one line per refresh
            EXPECT_EQ(std::count(watch.out.begin(), watch.out.end(), '\n'), 3) << watch.out;
        }
    }
}

}  // namespace
