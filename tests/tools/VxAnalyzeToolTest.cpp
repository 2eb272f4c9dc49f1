// The executable end to end: exit status, messages, output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pty.h>
#include <spawn.h>

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

TEST(VxAnalyzeTool, ShowsProgressWhenItsErrorStreamIsATerminal)
{
    // (With a file or pipe as error stream it says nothing: see above.)
    const auto path = TestFilePath("progress.wav");
    WriteSoundFile(path, BurstTrack(1300, 20), 1, 44100);  // 30 s
    int terminal = -1, side = -1;
    ASSERT_EQ(openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, side, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, terminal);
    posix_spawn_file_actions_addclose(&actions, side);
    std::string args[] = {VXANALYZE_PATH, path.string(), "--csv"};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, VXANALYZE_PATH, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(side);

    // The terminal reports an error once the tool has ended and closed it.
    std::string shown;
    for (int idle = 0; idle < 300;) {
        pollfd p{terminal, POLLIN, 0};
        char buf[512];
        const ssize_t n = poll(&p, 1, 100) > 0 ? read(terminal, buf, sizeof buf) : 0;
        if (n < 0 || (n == 0 && p.revents != 0))
            break;
        idle = n > 0 ? 0 : idle + 1;
        shown.append(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
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
        {"", 2, "no sound file given"},
        {"x.wav --decay 0", 2, "--decay must be an integer from 1 to 25, not '0'"},
        {"--gain 200 x.wav", 2, "--gain must be an integer from -127 to 127, not '200'"},
        {"x.wav --aggr 12abc", 2, "--aggr"},
        {"x.wav --eq 16=3", 2, "--eq"},
        {"x.wav --eq 3", 2, "--eq"},
        {"x.wav --noise", 2, "--noise needs a value"},
        {"x.wav --csv --json", 2, ""},
        {"x.wav --frobnicate", 2, "unknown option '--frobnicate'"},
        {"/nonexistent/track.wav", 1, "vxanalyze: cannot read '/nonexistent/track.wav'"},
        {junk.string(), 1, "vxanalyze: cannot read '" + junk.string() + "'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const TRun r = RunTool(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_THAT(r.err, HasSubstr(c.message));
        EXPECT_TRUE(r.out.empty());
    }
    std::filesystem::remove(junk);

    const TRun help = RunTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("resampled to 44100 Hz"));
}

}  // namespace
