// The programs' command lines: the convention the tools share (each rule
// once, on one of them) and what each tool decides itself.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "SharedMemoryPlatform.h"
#include "SoundFiles.h"
#include "ToolOptions.h"
#include "ToolRun.h"

namespace {

using ::testing::HasSubstr;

// Status 2 for a bad command line, 1 for input that cannot be read, 0 for
// help; a failure writes nothing on standard output, and nothing here
// makes the segment.
TEST(ToolCommandLines, BadOnesSayWhatIsWrongAndHelpSucceeds)
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
        {VXHOST_PATH, "watch --count", 2, "vxhost watch: option --count needs a value (N)\nTry 'vxhost watch --help'."},
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
        const TRun r = RunTool(c.program, c.args, {c.env.empty() ? "VX_SEGMENT_NAME=" + segment : c.env});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_THAT(c.status == 0 ? r.out : r.err, HasSubstr(c.says));
        EXPECT_TRUE(c.status == 0 || r.out.empty()) << r.out;
    }
    std::filesystem::remove(junk);
    EXPECT_FALSE(SharedSegmentExists(segment)) << "a bad command line, or help, made the segment";
}

}  // namespace
