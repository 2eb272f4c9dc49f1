// The built vxhost run as a host would run it, against private segments.
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "ChildProcess.h"
#include "vxsoundmap.h"

namespace {

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
    bool SegmentExists() const
    {
        struct stat st {};
        return stat(("/dev/shm/" + name_).c_str(), &st) == 0;
    }
    ToolRun Tool(const std::string& arguments) { return RunTool("--segment " + name_ + " " + arguments); }

    std::string name_;
    unsigned char* bytes_ = nullptr;
    std::size_t size_ = 0;
};

TEST_F(VxHostTool, SetWritesTheFieldsAtTheirOffsetsAndDumpShowsThem)
{
    unsigned char* rec = MakeSegment();
    const ToolRun set = Tool("set UseFFT=1 EqualizerBand[3]=64 equalizercolor[0]=2 NoiseLevelValue=500 "
                         "Gain=-0x10 ShowInput=7 TrigAggr=-1");
    ASSERT_EQ(set.status, 0) << set.output;
    EXPECT_EQ(set.output, "");
    EXPECT_EQ(rec[VXSM_OFF_USEFFT], 1);
    EXPECT_EQ(rec[VXSM_OFF_EQUALIZERBAND + 3], 64);
    EXPECT_EQ(rec[VXSM_OFF_EQUALIZERCOLOR], 2);
    EXPECT_EQ(vxsm_get_i32(rec, VXSM_OFF_NOISELEVELVALUE), 500);
    EXPECT_EQ(vxsm_get_i8(rec, VXSM_OFF_GAIN), -16);
    EXPECT_EQ(rec[VXSM_OFF_SHOWINPUT], 7);
    EXPECT_EQ(vxsm_get_i32(rec, VXSM_OFF_TRIGAGGR), -1);
    EXPECT_EQ(std::count_if(rec, rec + VXSM_SIZE, [](unsigned char b) { return b != 0; }), 11) << "bytes beside the fields";

    // Measurements written by "the analyzer" show up in the dump.
    const float level = 1234.5f;
    std::memcpy(rec + VXSM_OFF_LEVEL, &level, 4);
    rec[VXSM_OFF_GAINTEXT] = 6;
    std::memcpy(rec + VXSM_OFF_GAINTEXT + 1, "-3,0dB", 6);

    const ToolRun dump = Tool("dump");
    ASSERT_EQ(dump.status, 0) << dump.output;
    for (const char* line : {"\nUseFFT = 1\n", "\nEqualizerBand = [0, 0, 0, 64, 0,", "\nEqualizerColor = [2, 0,",
                             "\nNoiseLevelValue = 500\n", "\nGain = -16\n", "\nShowInput = 7\n",
                             "\nLevel = 1234.5\n", "\nGainText = \"-3,0dB\"\n"})
        EXPECT_NE(dump.output.find(line), std::string::npos) << line << "\n" << dump.output;

    const ToolRun json = Tool("dump --json");
    ASSERT_EQ(json.status, 0) << json.output;
    EXPECT_EQ(json.output.rfind("{\n", 0), 0u) << json.output;
    EXPECT_EQ(json.output.substr(json.output.size() - 3), "\n}\n");
    EXPECT_EQ(std::count(json.output.begin(), json.output.end(), ':'), 22) << "one key per field";
    EXPECT_NE(json.output.find("\"NoiseLevelValue\": 500"), std::string::npos);
    EXPECT_NE(json.output.find("\"GainText\": \"-3,0dB\""), std::string::npos);
}

TEST_F(VxHostTool, AnyBadAssignmentWritesNothingAndCreatesNothing)
{
    ToolRun r = Tool("set UseFFT=1 Level=3");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("not writable by a host"), std::string::npos) << r.output;
    EXPECT_FALSE(SegmentExists());

    unsigned char* rec = MakeSegment();
    for (const char* bad : {"UseFFT=1 Gain=200", "UseFFT=1 Bogus=1", "UseFFT=1 EqualizerBand[16]=1", "UseFFT=1 x"}) {
        r = Tool(std::string("set ") + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.output.find("nothing written"), std::string::npos) << r.output;
    }
    for (int i = 0; i < VXSM_SIZE; ++i)
        ASSERT_EQ(rec[i], 0) << "byte " << i;
}

TEST_F(VxHostTool, WatchTakesTheTrigLikeAHost)
{
    unsigned char* rec = MakeSegment();
    rec[VXSM_OFF_TRIG] = 1;
    rec[VXSM_OFF_CLIPPING] = 1;
    const ToolRun r = Tool("watch --plain --count 3");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(rec[VXSM_OFF_TRIG], 0);
    // Three refreshes, one line each, the trig counted once.
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 3) << r.output;
    EXPECT_NE(r.output.find("clipping=1 active=0 trigs=1 "), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find('\x1b'), std::string::npos);
}

TEST_F(VxHostTool, WatchEndsCleanlyOnCtrlCAndTerm)
{
    MakeSegment();
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        TChild watch;
        ASSERT_TRUE(watch.Start({VXHOST_PATH, "--segment", name_, "watch", "--plain"}));
        // The first frame comes after the handlers are in place: only then
        // is the signal sent.
        EXPECT_TRUE(watch.WaitFor([&] { return watch.out.find('\n') != std::string::npos || !watch.Running(); }, 20000));
        EXPECT_NE(watch.out.find("level="), std::string::npos) << watch.out;
        EXPECT_EQ(watch.End(sig, 20000), 0);  // a broken handler fails instead of hanging
    }
}

TEST_F(VxHostTool, SegmentComesFromTheEnvironmentUnlessGiven)
{
    unsigned char* rec = MakeSegment();
    const std::string other = name_ + "_OTHER";
    struct Case {
        std::vector<std::string> environment;
        std::string arguments;
        int status;
        std::uint8_t useFFT;  // in our segment afterwards
    };
    const Case cases[] = {
        {{"VX_SEGMENT_NAME=" + name_}, "set UseFFT=1", 0, 1},
        {{"VX_SEGMENT_NAME=" + other}, "--segment=" + name_ + " set UseFFT=2", 0, 2},
        {{"VX_SEGMENT_NAME="}, "--segment " + name_ + " set UseFFT=3", 0, 3},
        {{"VX_SEGMENT_NAME=a/b"}, "set UseFFT=4", 2, 3},
    };
    for (const Case& c : cases) {
        const ToolRun r = RunTool(c.arguments, c.environment);
        EXPECT_EQ(r.status, c.status) << c.environment[0] << " " << c.arguments << "\n" << r.output;
        EXPECT_EQ(rec[VXSM_OFF_USEFFT], c.useFFT) << c.environment[0] << " " << c.arguments;
    }
    struct stat st {};
    EXPECT_NE(stat(("/dev/shm/" + other).c_str(), &st), 0) << "--segment did not win over the environment";
    EXPECT_NE(RunTool("set UseFFT=4", {"VX_SEGMENT_NAME=a/b"}).output.find("VX_SEGMENT_NAME"), std::string::npos);
}

TEST_F(VxHostTool, SegmentErrorsAndUsageErrorsFail)
{
    MakeSegment(100);  // a host that made the segment too small
    ToolRun r = Tool("dump");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Tfilemapping map view error"), std::string::npos) << r.output;
    EXPECT_EQ(Tool("watch --count 1").status, 1);
    EXPECT_EQ(Tool("set UseFFT=1").status, 1);

    EXPECT_EQ(RunTool("--segment a/b dump").status, 2);
    EXPECT_EQ(RunTool("").status, 2);
    EXPECT_EQ(RunTool("frobnicate").status, 2);
    EXPECT_EQ(Tool("dump --xml").status, 2);
    EXPECT_EQ(Tool("watch --count 0").status, 2);
    EXPECT_EQ(Tool("set").status, 2);
}

TEST_F(VxHostTool, HelpForEachCommandSucceeds)
{
    for (const char* args : {"--help", "help", "dump --help", "set --help", "watch --help", "help watch"}) {
        const ToolRun r = RunTool(args);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_NE(r.output.find("Usage: vxhost"), std::string::npos) << args;
    }
    EXPECT_NE(RunTool("--help").output.find("--segment NAME"), std::string::npos);
    EXPECT_FALSE(SegmentExists());
}

}  // namespace
