#include "DisplayRefresh.h"

#include <gtest/gtest.h>

#include <cmath>

#include "DisplayText.h"
#include "FakeDisplayHost.h"

namespace {

class DisplayRefreshTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetDisplayState();
        level.Panel1Resize();
        spectrum.AudioLevelPicture.SetSize(7, 48, clRed);
        spectrum.FFTPanelResize();
        host.onRepaintStatusBar = [this] { refresh.PaintStatusLights(lights); };
    }
    TColor ClipLight() const { return lights.Pixel(15, 10); }
    TColor TrigLight() const { return lights.Pixel(45, 10); }

    FakeDisplayHost host;
    TLevelDisplay level{host};
    TSpectrumDisplay spectrum{host};
    TDisplayRefresh refresh{host, level, spectrum};
    TCanvas lights{60, 21, clBlack};
};

TEST(TempoText, RoundsToFiveDigitsThenTwoDecimals)
{
    EXPECT_EQ(TempoText(123.456, '.'), "123.46");
    EXPECT_EQ(TempoText(1234.567, '.'), "1234.60");
    EXPECT_EQ(TempoText(0.0, ','), "0,00");
    EXPECT_EQ(TempoText(120.125, '.'), "120.13");  // halves away from zero
    EXPECT_EQ(TempoText(99999.9, '.'), "100000.00");
    EXPECT_EQ(TempoText(0.004, '.'), "0.00");
    EXPECT_EQ(TempoText(0.005, '.'), "0.01");
    EXPECT_EQ(TempoText(INFINITY, '.'), "INF");
    EXPECT_EQ(FormatFixed(-0.04, 7, 1, '.'), "0.0");
    EXPECT_EQ(FormatFixed(-19.74, 7, 1, ','), "-19,7");
    EXPECT_EQ(FormatFixed(9.96, 7, 1, '.'), "10.0");
}

TEST_F(DisplayRefreshTest, FirstTickShowsTheUnlockedZeroTempo)
{
    host.separator = ',';
    refresh.VisualTimerTimer();
    EXPECT_EQ(host.label, "0,00 BPM (0,00)");
    EXPECT_EQ(host.labelColor, clRed);
    Bpm.store(120.0f);
    BpmInstant.store(117.1875f);
    BpmLocked.store(true);
    host.separator = '.';
    refresh.VisualTimerTimer();
    EXPECT_EQ(host.label, "120.00 BPM");
    EXPECT_EQ(host.labelColor, clLime);
    BpmLocked.store(false);
    refresh.VisualTimerTimer();
    EXPECT_EQ(host.label, "120.00 BPM (117.19)");
    EXPECT_EQ(host.hintCombo, "Current soundcard|Input: Monitor of vxtest");
}

TEST_F(DisplayRefreshTest, StepsRunInOrder)
{
    refresh.VisualTimerTimer();
    const std::vector<std::string> order{"label", "combo", "drawn3", "drawn2", "drawn1", "statusbar"};
    EXPECT_EQ(host.events, order);
}

TEST_F(DisplayRefreshTest, OnePeakLightsTheClippingLightForThreeTicks)
{
    PeakHold.store(32767);
    for (int tick = 1; tick <= 3; ++tick) {
        refresh.VisualTimerTimer();
        EXPECT_EQ(ClipLight(), clRed) << tick;
    }
    refresh.VisualTimerTimer();
    EXPECT_EQ(ClipLight(), clBtnFace);
    EXPECT_EQ(PeakHold.load(), 32767 - 4000);

    PeakHold.store(30000);
    refresh.VisualTimerTimer();
    EXPECT_EQ(ClipLight(), clBtnFace);
    PeakHold.store(30001);
    refresh.VisualTimerTimer();
    EXPECT_EQ(ClipLight(), clRed);
}

TEST_F(DisplayRefreshTest, TrigLightFlashesOncePerTick)
{
    refresh.VisualTimerTimer();
    EXPECT_EQ(TrigLight(), clBtnFace);
    TrigFlash.store(1);
    TrigFlash.store(1);  // several trigs in one tick
    refresh.VisualTimerTimer();
    EXPECT_EQ(TrigLight(), clBlue);
    EXPECT_EQ(TrigFlash.load(), 0);
    refresh.VisualTimerTimer();
    EXPECT_EQ(TrigLight(), clBtnFace);
}

TEST_F(DisplayRefreshTest, LightPanelsOnlyDrawTheirOwnRectangles)
{
    TCanvas bar(260, 21, clBlack);
    PeakHold.store(32000);
    refresh.StatusBar1DrawPanel(bar, 0, TRect{2, 2, 30, 19});
    refresh.StatusBar1DrawPanel(bar, 2, TRect{62, 2, 260, 19});
    EXPECT_EQ(bar.Pixel(2, 2), clRed);
    EXPECT_EQ(bar.Pixel(30, 10), clBlack);
    EXPECT_EQ(bar.Pixel(100, 10), clBlack);
    PeakHold.store(0);
    refresh.StatusBar1DrawPanel(bar, 1, TRect{32, 2, 60, 19});
    refresh.StatusBar1DrawPanel(bar, 0, TRect{2, 2, 30, 19});
    EXPECT_EQ(bar.Pixel(40, 10), clBtnFace);
    EXPECT_EQ(bar.Pixel(10, 10), clRed);  // off draws nothing over the panel
}

TEST_F(DisplayRefreshTest, StatusBarHintFollowsTheMouse)
{
    refresh.StatusBar1MouseMove(0, 45, 5);
    EXPECT_EQ(host.hintStatusBar, "Trig detector|Flashes on trig");
    refresh.StatusBar1MouseMove(0, 10, 5);
    EXPECT_EQ(host.hintStatusBar, "Clipping detector|Flashes if sound input is clipping");
    refresh.StatusBar1MouseMove(0, 0, 5);
    EXPECT_EQ(host.hintStatusBar, "Clipping detector|Flashes if sound input is clipping");
    refresh.StatusBar1MouseMove(0, 31, 5);
    EXPECT_EQ(host.hintStatusBar, "Trig detector|Flashes on trig");
    refresh.StatusBar1MouseMove(0, 30, 5);
    EXPECT_EQ(host.hintStatusBar, "Clipping detector|Flashes if sound input is clipping");
    refresh.StatusBar1MouseMove(0, 60, 5);
    EXPECT_EQ(host.hintStatusBar, "Trig detector|Flashes on trig");
    refresh.StatusBar1MouseMove(0, 61, 5);
    EXPECT_EQ(host.hintStatusBar, "|");
    refresh.StatusBar1MouseMove(0, 10, 5);
    refresh.StatusBar1MouseMove(0, -1, 5);
    EXPECT_EQ(host.hintStatusBar, "|");
}

TEST_F(DisplayRefreshTest, NothingHappensWhileMinimized)
{
    PeakHold.store(32767);
    refresh.ApplicationMinimize();
    refresh.VisualTimerTimer();
    refresh.VisualTimerTimer();
    EXPECT_TRUE(host.events.empty());
    EXPECT_EQ(PeakHold.load(), 32767);
    refresh.ApplicationRestore();
    refresh.VisualTimerTimer();
    EXPECT_EQ(ClipLight(), clRed);
    EXPECT_EQ(PeakHold.load(), 31767);
}

TEST_F(DisplayRefreshTest, FailureSkipsTheRestOfTheTick)
{
    PeakHold.store(20000);
    host.throwOnComboHint = true;
    refresh.VisualTimerTimer();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Gfx error");
    EXPECT_EQ(PeakHold.load(), 20000);
    EXPECT_EQ(host.statusRepaints, 0);
    EXPECT_TRUE(host.drawn.empty());

    // The next tick starts again; a level display failure is its own and
    // the tick goes on.
    host.throwOnComboHint = false;
    host.throwOnPosition = true;
    refresh.VisualTimerTimer();
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1], "PaintBox1 gfx error");
    EXPECT_EQ(host.statusRepaints, 1);
    EXPECT_EQ(PeakHold.load(), 19000);
}

}  // namespace
