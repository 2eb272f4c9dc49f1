// Every way the real analyzer is asked to close: the host's request over
// the session bus, Ctrl+C, kill and the end of the session. Each saves the
// settings, marks the record inactive and exits normally; a second signal
// while it shuts down ends it at once.
#include <gtest/gtest.h>

#include <csignal>

#include "RunningAnalyzer.h"

namespace {

TEST(Close, ByTheHostOrASignalSavesTheSettingsAndEndsNormally)
{
    if (!SoundServerAnswers())
        GTEST_SKIP() << "no sound server";
    const struct {
        int first;   // 0: the host's request
        int second;  // 0: none
    } cases[] = {{0, 0}, {SIGTERM, 0}, {SIGINT, 0}, {SIGHUP, 0}, {SIGTERM, SIGINT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "signal " << c.first << " then " << c.second);
        TRunningAnalyzer a("CLOSE");
        a.WriteIni("TrigDecay=7\n");
        ASSERT_EQ(a.Start(), "");
        // The settings reached the record; a gain a host keeps writing comes
        // back as the window's readout, and back again when reset: the
        // window's synchronisation runs.
        ASSERT_TRUE(a.Process().WaitFor([&] { return a.Record().TrigDecay() == 7; }, 15000));
        const std::string startText = a.Record().GainText();
        for (const std::int8_t gain : {10, 0}) {
            EXPECT_TRUE(a.Process().WaitFor(
                [&] {
                    a.Record().SetGain(gain);
                    return (a.Record().GainText() != startText) == (gain != 0);
                },
                15000))
                << "gain " << int{gain} << " never reached the window";
        }
        const auto unsaved = [&] {
            std::string missing;
            for (const char* key : {"[VxSound]", "SoundCardNo=0", "FormWidth=", "FormHeight=", "FormLeft=", "FormTop=",
                                    "HSplitPos=", "VSplitPos=", "AutoSaveChanges=1", "TrigDecay=7", "TrigAggr=150",
                                    "NoiseLevelValue=1", "EqualizerBand15=0", "Gain=0", "ShowInput=1"})
                if (a.Ini().find(key) == std::string::npos)
                    missing += std::string(" ") + key;
            return missing;
        };
        int status = 0;
        if (c.first == 0) {
            status = a.Close();
        } else {
            ::kill(a.Process().Pid(), c.first);
            // The settings are written before the 1000 ms drain: signal again then.
            if (c.second != 0) {
                ASSERT_TRUE(a.Process().WaitFor([&] { return unsaved().empty(); }, 5000)) << unsaved();
            }
            status = a.Process().End(c.second, c.second != 0 ? 500 : 10000);
        }
        EXPECT_EQ(status, c.second == 0 ? 0 : 128 + c.second) << a.Process().err;
        // A second signal ends it before the record's last step.
        EXPECT_EQ(a.Record().AnalyzerActive(), c.second == 0 ? 0 : 1);
        EXPECT_EQ(unsaved(), "") << a.Ini();
        // Nobody left to close.
        if (c.first == 0) {
            EXPECT_EQ(RunToEnd({VXHOST_PATH, "close"}).status, 1);
        }
    }
}

}  // namespace
