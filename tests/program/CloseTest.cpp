// Every way the real analyzer is asked to close: the host's request over
// the session bus, Ctrl+C, kill and the end of the session. Each saves the
// settings, marks the record inactive and exits normally; a second signal
// while it shuts down ends it at once. With a settings file that cannot be
// written nobody is asked either: the close says so on stderr and ends.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
        bool fifo = false;  // a FIFO in the settings file's place
    } cases[] = {{0, 0}, {SIGTERM, 0}, {SIGINT, 0}, {SIGHUP, 0}, {SIGTERM, SIGINT}, {SIGTERM, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "signal " << c.first << " then " << c.second << (c.fifo ? ", FIFO" : ""));
        TRunningAnalyzer a("CLOSE");
        const std::string ini = (a.dir / "VxSound.ini").string();
        if (!c.fifo)
            a.WriteIni("TrigDecay=7\n");
        ASSERT_TRUE(!c.fifo || ::mkfifo(ini.c_str(), 0600) == 0);
        const int decay = c.fifo ? 15 : 7;
        ASSERT_EQ(a.Start(), "");
        // The settings reached the record; a gain a host keeps writing comes
        // back as the window's readout, and back again when reset: the
        // window's synchronisation runs.
        ASSERT_TRUE(a.Process().WaitFor([&] { return a.Record().TrigDecay() == decay; }, 15000));
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
        // A second signal ends it before the record's last step.
        EXPECT_EQ(a.Record().AnalyzerActive(), c.second == 0 ? 0 : 1);
        EXPECT_EQ(status, c.fifo ? 1 : c.second == 0 ? 0 : 128 + c.second) << a.Process().err;
        const std::string unwritable = "vxsound: Unable to write to " + ini + "; the settings are not saved\n";
        EXPECT_EQ(a.Process().err.find(unwritable) != std::string::npos, c.fifo) << a.Process().err;
        if (c.fifo)
            continue;
        EXPECT_EQ(unsaved(), "") << a.Ini();
        // Nobody left to close.
        if (c.first == 0) {
            EXPECT_EQ(RunToEnd({VXHOST_PATH, "close"}).status, 1);
        }
    }
}

// A second start on the same segment would write the record the first
// serves; it ends at once and leaves record and settings to the first. A
// segment that a killed analyzer left behind does not block the next start.
TEST(Close, ASecondStartOnTheSameSegmentEndsAndLeavesTheFirstRunning)
{
    if (!SoundServerAnswers())
        GTEST_SKIP() << "no sound server";
    TRunningAnalyzer a("SECOND");
    a.WriteIni("TrigDecay=7\n");
    ASSERT_EQ(a.Start(), "");
    ASSERT_TRUE(a.Process().WaitFor([&] { return a.Record().TrigDecay() == 7; }, 15000));
    // A host's gain, which a second analyzer would overwrite with the file's.
    a.Record().SetGain(10);
    const std::string ini = a.Ini();
    TChild second;
    ASSERT_TRUE(second.Start({VXSOUND_PATH}, {"VX_SETTINGS_DIR=" + a.dir.string(), "VX_SEGMENT_NAME=" + a.segment,
                                              "QT_QPA_PLATFORM=offscreen"}));
    EXPECT_EQ(second.End(0, 10000), 1) << second.err;
    EXPECT_NE(second.err.find("An analyzer already runs on segment " + a.segment), std::string::npos) << second.err;
    EXPECT_EQ(a.Record().Gain(), 10);
    EXPECT_EQ(a.Record().AnalyzerActive(), 1);
    EXPECT_EQ(a.Ini(), ini);
    EXPECT_TRUE(a.Process().Running());

    EXPECT_EQ(a.Process().End(SIGKILL, 5000), 128 + SIGKILL);
    // Its record still says active; the next one's start must say so anew.
    a.Record().SetAnalyzerActive(0);
    ASSERT_EQ(a.Start(), "");
    EXPECT_EQ(a.Close(), 0) << a.Process().err;
}

}  // namespace
