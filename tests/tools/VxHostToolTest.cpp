// The built vxhost run as a host would run it, against private segments.
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "ChildProcess.h"
#include "vxsoundmap.h"

namespace {

using namespace std::string_literals;
using ::testing::HasSubstr;

struct ToolRun {
    int status = -1;
    std::string output;  // stdout and stderr together
};

// `arguments` split at blanks; `environment`: NAME=VALUE entries.
ToolRun RunTool(const std::string& arguments, const std::vector<std::string>& environment = {})
{
    std::vector<std::string> argv{VXHOST_PATH};
    std::istringstream words(arguments);
    for (std::string w; words >> w;)
        argv.push_back(w);
    TChild c;
    if (!c.Start(argv, environment))
        return {};
    const int status = c.End(0, 20000);
    return {status, c.out + c.err};
}

bool SegmentExists(const std::string& name)
{
    struct stat st {};
    return stat(("/dev/shm/" + name).c_str(), &st) == 0;
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
    ToolRun Tool(const std::string& arguments) { return RunTool("--segment " + name_ + " " + arguments); }

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
        {"EqualizerBand", VXSM_OFF_EQUALIZERBAND + 3, "EqualizerBand[3]=64", "\x40"s, Array(16, 3, "64")},
        {"Gain", VXSM_OFF_GAIN, "Gain=-0x10", "\xf0"s, "-16"},
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
        {"TrigAggr", VXSM_OFF_TRIGAGGR, "TrigAggr=-1", "\xff\xff\xff\xff"s, "-1"},
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
    const ToolRun r = RunTool(set, {"VX_SEGMENT_NAME=" + name_});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    for (int i = 0; i < VXSM_SIZE; ++i)
        EXPECT_EQ(rec[i], image[static_cast<std::size_t>(i)]) << "byte " << i;
    const std::string other = name_ + "_OTHER";
    EXPECT_EQ(RunTool("--segment " + name_ + " dump", {"VX_SEGMENT_NAME=" + other}).output, text);
    EXPECT_EQ(RunTool("--segment=" + name_ + " dump --json", {"VX_SEGMENT_NAME="}).output, json + "\n}\n");
    EXPECT_FALSE(SegmentExists(other)) << "--segment did not win over the environment";
    shm_unlink(("/" + other).c_str());
}

TEST_F(VxHostTool, BadCommandLinesFailWith2HelpSucceedsAndNeitherMakesTheSegment)
{
    const struct {
        std::string args;
        int status;
        std::string says;
        std::string environment = "";
    } cases[] = {
        {"set UseFFT=1 Level=3 Gain=-5 Nope=1", 2,
         "vxhost set: Level is a measurement of the analyzer, not writable by a host\n"
         "vxhost set: unknown field 'Nope' (see 'vxhost set --help')\nvxhost set: nothing written\n"},
        {"set", 2, "vxhost set: nothing to set"},
        {"", 2, "Usage: vxhost"},
        {"frobnicate", 2, "vxhost: unknown command 'frobnicate'"},
        {"dump --xml", 2, "vxhost dump: unknown option '--xml'"},
        {"watch --count 0", 2, "--count must be an integer from 1"},
        {"--segment a/b dump", 2, "bad segment name 'a/b' in --segment"},
        {"set UseFFT=1", 2, "bad segment name 'a/b' in VX_SEGMENT_NAME", "VX_SEGMENT_NAME=a/b"},
        {"--help", 0, "--segment NAME"},
        {"help", 0, "Usage: vxhost [--segment NAME]"},
        {"dump --help", 0, "Usage: vxhost dump"},
        {"set --help", 0, "Usage: vxhost set"},
        {"help watch", 0, "Usage: vxhost watch"},
    };
    for (const auto& c : cases) {
        const ToolRun r = RunTool(c.args, {c.environment.empty() ? "VX_SEGMENT_NAME=" + name_ : c.environment});
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_THAT(r.output, HasSubstr(c.says)) << c.args;
    }
    EXPECT_FALSE(SegmentExists(name_)) << "a bad command line, or help, made the segment";

    MakeSegment(100);  // a host that made the segment too small
    for (const char* command : {"dump", "watch --count 1", "set UseFFT=1"}) {
        const ToolRun r = Tool(command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_THAT(r.output, HasSubstr("Tfilemapping map view error")) << command;
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
