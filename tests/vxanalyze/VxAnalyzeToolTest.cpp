// The executable end to end: exit status, messages, output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "SoundFiles.h"

namespace {

using ::testing::HasSubstr;

struct TRun {
    int status = -1;
    std::string out, err;
};

TRun RunTool(const std::string& args)
{
    const auto errPath = TestFilePath("stderr.txt");
    const std::string cmd = std::string(VXANALYZE_PATH) + " " + args + " 2>" + errPath.string();
    TRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errPath);
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    std::filesystem::remove(errPath);
    return r;
}

TEST(VxAnalyzeTool, AnalysesAWavFile)
{
    const auto path = TestFilePath("tool.wav");
    WriteSoundFile(path, BurstTrack(100, 20), 1, 44100);
    const TRun r = RunTool(path.string() + " --csv");
    const TRun j = RunTool(path.string() + " --json --fft --eq 7=-20");
    std::filesystem::remove(path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    EXPECT_EQ(r.out.rfind("block,time,level,trig,bpm,bpm_instant,locked\n", 0), 0u);
    EXPECT_THAT(r.out, HasSubstr("\n20,0.464399,"));
    EXPECT_EQ(j.status, 0) << j.err;
    EXPECT_THAT(j.out, HasSubstr("\"trigs\":4,"));
    EXPECT_THAT(j.out, HasSubstr("\"bands\":[0.0000,"));
}

TEST(VxAnalyzeTool, BadInputGivesAMessageAndAFailureStatus)
{
    const TRun missing = RunTool("/nonexistent/track.wav");
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("vxanalyze: cannot read '/nonexistent/track.wav'"));
    EXPECT_TRUE(missing.out.empty());

    const TRun bad = RunTool("--gain 200 x.wav");
    EXPECT_EQ(bad.status, 2);
    EXPECT_THAT(bad.err, HasSubstr("--gain must be an integer from -127 to 127, not '200'"));

    const TRun help = RunTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("resampled to 44100 Hz"));
}

}  // namespace
