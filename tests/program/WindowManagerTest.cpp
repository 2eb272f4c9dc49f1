// The window under a window manager (openbox on the virtual display), as a
// user's desktop frames and places it: geometry that round-trips through a
// close and a start, Run Minimized with Stay On Top ending iconic, and an
// About window that takes the focus and offers no minimize or maximize.
#include <gtest/gtest.h>

#include <QTest>

#include <chrono>

#include "AboutForm.h"
#include "RunningAnalyzer.h"

namespace {

std::string Xprop(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {"xprop"};
    argv.insert(argv.end(), args.begin(), args.end());
    const TRunResult r = RunToEnd(argv, {}, 10000);
    return r.status == 0 ? r.out : "";
}

bool HaveWindowManager()
{
    return std::getenv("DISPLAY") != nullptr &&
           Xprop({"-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") != std::string::npos;
}

// Polls `get` until it returns something or the deadline passes.
std::string Poll(const std::function<std::string()>& get, int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string value;
    while ((value = get()).empty() && std::chrono::steady_clock::now() < until)
        QTest::qWait(20);
    return value;
}

// A property of window w once the window manager has set it.
std::string Property(const std::string& w, const char* name, int timeoutMs = 10000)
{
    return Poll(
        [&] {
            const std::string v = Xprop({"-id", w, name});
            return v.find("not found") == std::string::npos ? v : "";
        },
        timeoutMs);
}

// The managed top-level window of the running analyzer.
std::string ClientWindow(TRunningAnalyzer& a)
{
    const std::string pid = "= " + std::to_string(a.Process().Pid()) + "\n";
    return Poll(
        [&] {
            const std::string list = Xprop({"-root", "_NET_CLIENT_LIST"});
            for (std::size_t at = list.find("0x"); at != std::string::npos; at = list.find("0x", at + 2)) {
                const std::string id = list.substr(at, list.find_first_not_of("0123456789abcdefx", at) - at);
                if (Xprop({"-id", id, "_NET_WM_PID"}).ends_with(pid))
                    return id;
            }
            return std::string();
        },
        20000);
}

TEST(WindowManager, GeometryAndSplitsRoundTripThroughCloseAndStart)
{
    if (!HaveWindowManager())
        GTEST_SKIP() << "no window manager on a display";
    TRunningAnalyzer a("WMGEOM", "xcb");
    // Equalizer off: the spectrum panel's kept size is what gets saved.
    a.WriteIni("SoundCardNo=0\nFormWidth=500\nFormHeight=400\nFormLeft=200\nFormTop=100\nHSplitPos=300\n"
               "VSplitPos=320\nAutoSaveChanges=0\nRunMinimized=0\n");
    // Twice: a creep of the frame's size would show on the first round.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(a.Start(), "");
        const std::string w = ClientWindow(a);
        ASSERT_NE(w, "") << "the analyzer's window never appeared";
        ASSERT_NE(Property(w, "_NET_FRAME_EXTENTS"), "") << "the window manager never framed the window";
        ASSERT_EQ(a.Close(), 0);
        for (const char* key : {"FormWidth=500\n", "FormHeight=400\n", "FormLeft=200\n", "FormTop=100\n",
                                "HSplitPos=300\n", "VSplitPos=320\n"})
            EXPECT_NE(a.Ini().find(key), std::string::npos) << key << a.Ini();
    }
}

TEST(WindowManager, RunMinimizedWithStayOnTopStartsIconicTenTimesInARow)
{
    if (!HaveWindowManager())
        GTEST_SKIP() << "no window manager on a display";
    TRunningAnalyzer a("WMMIN", "xcb");
    for (int start = 0; start < 10; ++start) {
        SCOPED_TRACE(start);
        a.WriteIni("RunMinimized=1\nStayOnTop=1\nFormLeft=300\nFormTop=200\n");
        // The host's segment holds what the last run or the host left;
        // every other start it says Stay On Top is off until the settings
        // are read.
        a.Record().SetStayOnTop(start % 2 == 0 ? 1 : 0);
        ASSERT_EQ(a.Start(), "");
        const std::string w = ClientWindow(a);
        ASSERT_NE(w, "") << "the analyzer's window never appeared";
        const std::string state = Property(w, "WM_STATE");
        EXPECT_NE(state.find("Iconic"), std::string::npos) << state;
        EXPECT_NE(Xprop({"-id", w, "_NET_WM_STATE"}).find("_NET_WM_STATE_ABOVE"), std::string::npos);
        ASSERT_EQ(a.Close(), 0);
        EXPECT_NE(a.Ini().find("FormLeft=300\nFormTop=200\n"), std::string::npos) << a.Ini();
    }
}

TEST(WindowManager, AboutTakesTheFocusAndAsksForNoBorderIcons)
{
    if (!HaveWindowManager())
        GTEST_SKIP() << "no window manager on a display";
    ASSERT_TRUE(AppOn("xcb")) << "the process's application is not on the display";
    TAboutForm about;
    about.show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&about, 10000)) << "the About window did not take the focus";
    char w[32];
    std::snprintf(w, sizeof w, "0x%llx", static_cast<unsigned long long>(about.winId()));
    // Both the decoration and the function hints leave out minimize (0x20,
    // 0x08) and maximize (0x40, 0x10); openbox then offers no maximize.
    // (It keeps its iconify button whatever the hints say.)
    const std::string motif = Property(w, "_MOTIF_WM_HINTS");
    unsigned flags = 0, functions = 0, decorations = 0;
    ASSERT_EQ(std::sscanf(motif.substr(motif.find('=') + 1).c_str(), " 0x%x, 0x%x, 0x%x", &flags, &functions,
                          &decorations), 3) << motif;
    EXPECT_EQ(flags & 3u, 3u) << motif;
    EXPECT_EQ(functions & 0x18u, 0u) << motif;
    EXPECT_EQ(decorations & 0x60u, 0u) << motif;
    const std::string actions = Property(w, "_NET_WM_ALLOWED_ACTIONS");
    EXPECT_NE(actions.find("_NET_WM_ACTION_CLOSE"), std::string::npos) << actions;
    EXPECT_EQ(actions.find("MAXIMIZE"), std::string::npos) << actions;
    EXPECT_TRUE(about.Copyright->text().contains("Corvane"));
}

}  // namespace
