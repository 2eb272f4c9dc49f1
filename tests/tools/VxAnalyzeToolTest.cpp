// The vxanalyze executable end to end: exit status, messages, output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pty.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"
#include "SoundFiles.h"

namespace {

using ::testing::HasSubstr;

struct TRun {
    int status = -1;
    std::string out, err;
};

TRun RunTool(const std::string& args)
{
    std::vector<std::string> argv{VXANALYZE_PATH};
    std::istringstream words(args);
    for (std::string w; words >> w;)
        argv.push_back(w);
    TChild c;
    if (!c.Start(argv))
        return {};
    const int status = c.End(0, 60000);
    return {status, c.out, c.err};
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
        const TRun r = RunTool(path.string() + " " + c.args);
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

TEST(VxAnalyzeTool, BadInputGivesAMessageAFailureStatusAndNoOutput)
{
    const auto junk = TestFilePath("junk.wav");
    std::ofstream(junk) << "this is not a sound file";
    const struct {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"", 2, "vxanalyze: no sound file given\nTry 'vxanalyze --help'."},
        {"x.wav y.wav", 2, "only one FILE, not also 'y.wav'"},
        {"x.wav --decay 0", 2, "--decay must be an integer from 1 to 25, not '0'"},
        {"--gain 200 x.wav", 2, "--gain must be an integer from -127 to 127, not '200'"},
        {"x.wav --aggr 12abc", 2, "--aggr must be an integer"},
        {"x.wav --eq 16=3", 2, "--eq band must be an integer from 0 to 15"},
        {"x.wav --eq 3", 2, "--eq wants BAND=VALUE, not '3'"},
        {"x.wav --noise", 2, "--noise needs a value"},
        {"x.wav --csv --json", 2, "--csv and --json exclude each other"},
        {"x.wav --frobnicate", 2, "unknown option '--frobnicate'"},
        {"/nonexistent/track.wav", 1, "vxanalyze: cannot read '/nonexistent/track.wav'"},
        {junk.string(), 1, "vxanalyze: cannot read '" + junk.string() + "'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const TRun r = RunTool(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_THAT(r.err, HasSubstr(c.message));
        EXPECT_EQ(r.out, "");
    }
    std::filesystem::remove(junk);
    const TRun help = RunTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("resampled to 44100 Hz"));
}

}  // namespace
