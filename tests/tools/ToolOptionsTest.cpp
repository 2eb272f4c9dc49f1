#include <gtest/gtest.h>

#include <sstream>

#include "ToolOptions.h"

namespace {

vxtools::TToolOptions MakeOptions()
{
    vxtools::TToolOptions options("vxtool", "[options] FILE", "A tool.");
    options.Add({"rate", 'r', "HZ", "how often"})
        .Add({"osc", 0, "HOST:PORT", "where to", true})
        .Add({"quiet", 'q', "", "say nothing"})
        .Positionals(0, 1);
    return options;
}

TEST(ToolOptions, ParsesTheConventionAndRejectsWhatItCannotMean)
{
    struct Case {
        std::vector<std::string> args;
        vxtools::EParseOutcome outcome;
        std::string rate;             // value of --rate when parsed
        std::size_t oscCount;
        std::string message;          // expected on err, or on out for Done
    };
    const Case cases[] = {
        {{"--rate", "25", "f.wav"}, vxtools::EParseOutcome::Run, "25", 0, ""},
        {{"--rate=30", "--osc=a:1", "--osc", "b:2"}, vxtools::EParseOutcome::Run, "30", 2, ""},
        {{"-r", "5", "-q", "--", "-file-with-dash"}, vxtools::EParseOutcome::Run, "5", 0, ""},
        {{"--rate"}, vxtools::EParseOutcome::UsageError, "", 0, "vxtool: option --rate needs a value (HZ)"},
        {{"--quiet=1"}, vxtools::EParseOutcome::UsageError, "", 0, "option --quiet takes no value"},
        {{"--rate", "1", "--rate", "2"}, vxtools::EParseOutcome::UsageError, "", 0, "given twice"},
        {{"--bogus"}, vxtools::EParseOutcome::UsageError, "", 0, "unknown option '--bogus'\nTry 'vxtool --help'."},
        {{"-x"}, vxtools::EParseOutcome::UsageError, "", 0, "unknown option '-x'"},
        {{"a", "b"}, vxtools::EParseOutcome::UsageError, "", 0, "unexpected argument 'b'"},
        {{"--version"}, vxtools::EParseOutcome::Done, "", 0, "vxtool " + std::string(vxtools::ProjectVersion())},
        {{"-h"}, vxtools::EParseOutcome::Done, "", 0, "Usage: vxtool [options] FILE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        auto options = MakeOptions();
        std::ostringstream out, err;
        ASSERT_EQ(options.Parse(c.args, out, err), c.outcome);
        if (c.outcome == vxtools::EParseOutcome::Run) {
            EXPECT_EQ(options.Value("rate"), c.rate);
            EXPECT_EQ(options.Values("osc").size(), c.oscCount);
            EXPECT_TRUE(err.str().empty());
        } else {
            const std::string& text = c.outcome == vxtools::EParseOutcome::Done ? out.str() : err.str();
            EXPECT_NE(text.find(c.message), std::string::npos) << text;
        }
    }
    EXPECT_NE(std::string(vxtools::ProjectVersion()), "");
}

TEST(ToolOptions, OptionalValueTakesOnlyAFollowingNonOption)
{
    struct Case {
        std::vector<std::string> args;
        std::string value;
        std::size_t positionals;
    };
    const Case cases[] = {
        {{"--os2l"}, "", 0},
        {{"--os2l", "h:1"}, "h:1", 0},
        {{"--os2l=h:1", "f.wav"}, "h:1", 1},
        {{"--os2l", "--quiet"}, "", 0},
        {{"--os2l", "--", "f.wav"}, "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        auto options = MakeOptions();
        vxtools::TOptionSpec os2l{"os2l", 0, "HOST:PORT", "browse or connect"};
        os2l.optionalValue = true;
        options.Add(os2l);
        std::ostringstream out, err;
        ASSERT_EQ(options.Parse(c.args, out, err), vxtools::EParseOutcome::Run) << err.str();
        EXPECT_TRUE(options.Has("os2l"));
        EXPECT_EQ(options.Value("os2l", "absent"), c.value);
        EXPECT_EQ(options.PositionalArgs().size(), c.positionals);
        EXPECT_NE(options.HelpText().find("--os2l [HOST:PORT]"), std::string::npos);
    }
}

TEST(ToolOptions, IntegerRangeNamesTheOption)
{
    EXPECT_EQ(vxtools::TToolOptions::ParseInteger("-1", "--rate", -1, 5), -1);
    for (const char* bad : {"", "6", "1x", "0x1", " 1"}) {
        try {
            vxtools::TToolOptions::ParseInteger(bad, "--rate", -1, 5);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const vxtools::EToolUsage& e) {
            EXPECT_NE(std::string(e.what()).find("--rate must be an integer from -1 to 5"), std::string::npos);
        }
    }
}

}  // namespace
