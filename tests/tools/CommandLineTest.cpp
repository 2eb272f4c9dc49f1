// Command lines: the convention all tools share, then what each tool
// decides itself, through the programs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "SharedMemoryPlatform.h"
#include "SoundFiles.h"
#include "ToolOptions.h"
#include "ToolRun.h"

namespace {

using ::testing::HasSubstr;
using vxtools::EParseOutcome;

// What a parse left, as one line.
std::string Parsed(const vxtools::TToolOptions& o)
{
    std::string text = "rate=" + o.Value("rate", "-") + " osc=" + std::to_string(o.Values("osc").size()) +
                       " os2l=" + o.Value("os2l", "-") + " quiet=" + (o.Has("quiet") ? "1" : "0") + " files=";
    for (const auto& p : o.PositionalArgs())
        text += p + ";";
    return text;
}

TEST(ToolOptions, ParsesTheConventionAndRejectsWhatItCannotMean)
{
    const struct {
        std::vector<std::string> args;
        EParseOutcome outcome;
        std::string text;  // Parsed() for Run, else what the tool printed
    } cases[] = {
        {{"--rate", "25", "f.wav"}, EParseOutcome::Run, "rate=25 osc=0 os2l=- quiet=0 files=f.wav;"},
        {{"--rate=30", "--osc=a:1", "--osc", "b:2"}, EParseOutcome::Run, "rate=30 osc=2 os2l=- quiet=0 files="},
        {{"-r", "5", "-q", "--", "-file-with-dash"}, EParseOutcome::Run, "rate=5 osc=0 os2l=- quiet=1 files=-file-with-dash;"},
        // An optional value is taken only from a following non-option.
        {{"--os2l"}, EParseOutcome::Run, "rate=- osc=0 os2l= quiet=0 files="},
        {{"--os2l", "h:1"}, EParseOutcome::Run, "rate=- osc=0 os2l=h:1 quiet=0 files="},
        {{"--os2l=h:1", "f.wav"}, EParseOutcome::Run, "rate=- osc=0 os2l=h:1 quiet=0 files=f.wav;"},
        {{"--os2l", "--quiet"}, EParseOutcome::Run, "rate=- osc=0 os2l= quiet=1 files="},
        {{"--os2l", "--", "f.wav"}, EParseOutcome::Run, "rate=- osc=0 os2l= quiet=0 files=f.wav;"},
        {{"--rate"}, EParseOutcome::UsageError, "vxtool: option --rate needs a value (HZ)\nTry 'vxtool --help'.\n"},
        {{"--quiet=1"}, EParseOutcome::UsageError, "option --quiet takes no value"},
        {{"--rate", "1", "--rate", "2"}, EParseOutcome::UsageError, "option --rate given twice"},
        {{"--bogus"}, EParseOutcome::UsageError, "vxtool: unknown option '--bogus'\nTry 'vxtool --help'.\n"},
        {{"-x"}, EParseOutcome::UsageError, "unknown option '-x'"},
        {{"a", "b"}, EParseOutcome::UsageError, "unexpected argument 'b'"},
        {{"--version"}, EParseOutcome::Done, "vxtool " + std::string(vxtools::ProjectVersion()) + "\n"},
        {{"-h"}, EParseOutcome::Done, "Usage: vxtool [options] FILE"},
        {{"--help"}, EParseOutcome::Done, "--os2l [HOST:PORT]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        vxtools::TToolOptions options("vxtool", "[options] FILE", "A tool.");
        vxtools::TOptionSpec os2l{"os2l", 0, "HOST:PORT", "browse or connect"};
        os2l.optionalValue = true;
        options.Add({"rate", 'r', "HZ", "how often"})
            .Add({"osc", 0, "HOST:PORT", "where to", true})
            .Add({"quiet", 'q', "", "say nothing"})
            .Add(os2l)
            .Positionals(0, 1);
        std::ostringstream out, err;
        ASSERT_EQ(options.Parse(c.args, out, err), c.outcome) << err.str();
        if (c.outcome == EParseOutcome::Run)
            EXPECT_EQ(Parsed(options), c.text);
        else
            EXPECT_NE((c.outcome == EParseOutcome::Done ? out : err).str().find(c.text), std::string::npos);
        EXPECT_EQ(c.outcome == EParseOutcome::UsageError, !err.str().empty());
    }
    EXPECT_NE(std::string(vxtools::ProjectVersion()), "");
}

// Status 2 for a bad command line, 1 for input that cannot be read, 0 for
// help; a failure writes nothing on standard output, and nothing here
// makes the segment.
TEST(ToolCommandLines, EachProgramSaysWhatIsWrongWithItsOwnOptions)
{
    const std::string segment = TestSegmentName();
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
        {VXHOST_PATH, "watch --count 0", 2, "--count must be an integer from 1"},
        {VXHOST_PATH, "--segment a/b dump", 2, "bad segment name 'a/b' in --segment"},
        {VXHOST_PATH, "set UseFFT=1", 2, "bad segment name 'a/b' in VX_SEGMENT_NAME", "VX_SEGMENT_NAME=a/b"},
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
        {VXANALYZE_PATH, "/nonexistent/track.wav", 1, "vxanalyze: cannot read '/nonexistent/track.wav'"},
        {VXANALYZE_PATH, junk.string(), 1, "vxanalyze: cannot read '" + junk.string() + "'"},
        {VXANALYZE_PATH, "--help", 0, "resampled to 44100 Hz"},
#ifdef VXBRIDGE_PATH
        // Names resolve when the bridge sets up its outputs.
        {VXBRIDGE_PATH, "--osc nohost.invalid:9000", 2,
         "vxbridge: --osc nohost.invalid:9000: cannot resolve the host 'nohost.invalid'"},
        {VXBRIDGE_PATH, "--os2l nohost.invalid:9000", 2, "vxbridge: --os2l nohost.invalid:9000: cannot resolve"},
        {VXBRIDGE_PATH, "--osc h:0", 2, "vxbridge: --osc h:0: bad port '0'"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + (" " + c.args));
        const TRun r = RunTool(c.program, c.args, {c.env.empty() ? "VX_SEGMENT_NAME=" + segment : c.env});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_THAT(c.status == 0 ? r.out : r.err, HasSubstr(c.says));
        EXPECT_TRUE(c.status == 0 || r.out.empty()) << r.out;
    }
    std::filesystem::remove(junk);
    EXPECT_FALSE(SharedSegmentExists(segment)) << "a bad command line, or help, made the segment";
}

}  // namespace
