// The command-line convention all tools share; each tool's own table has
// only what the tool decides itself.
#include <gtest/gtest.h>

#include <sstream>

#include "ToolOptions.h"

namespace {

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

}  // namespace
