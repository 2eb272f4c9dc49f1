// The level and spectrum displays and the refresh tick, against a fake
// window: what each box shows, what the mouse does in it, which hints and
// lights the tick leaves.
#include "DisplayRefresh.h"
#include "DisplayText.h"
#include "Displays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "FakeDisplayHost.h"

namespace {

class DisplaysTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetDisplayState();
        level.Panel1Resize();
        // Picture rows told apart by their red component.
        spectrum.AudioLevelPicture.SetSize(7, 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 7; ++x)
                spectrum.AudioLevelPicture.SetPixel(x, y, RGBColor(y + 1, 0, 100));
        host.onRepaintStatusBar = [this] { refresh.PaintStatusLights(lights); };
    }
    static void Paint(TCanvas& c, TColor color)
    {
        c.Brush.Color = color;
        c.FillRect(0, 0, c.Width(), c.Height());
    }
    // x of history entry i in the 127 pixel wide level box.
    static int EntryX(int i) { return static_cast<int>(std::nearbyint(126 * i / 256.0)); }
    void RealtimeSamples(int s)
    {
        host.realtime = true;
        host.timeline = false;
        for (auto& v : SampleBlock)
            v.store(static_cast<std::int16_t>(s));
    }
    TColor Box1(int x, int y) const { return host.box1.Pixel(x, y); }
    TColor ClipLight() const { return lights.Pixel(15, 10); }
    TColor TrigLight() const { return lights.Pixel(45, 10); }

    FakeDisplayHost host;
    TLevelDisplay level{host};
    TSpectrumDisplay spectrum{host};
    TDisplayRefresh refresh{host, level, spectrum};
    TCanvas lights{60, 21, clBlack};
};

TEST_F(DisplaysTest, TimelineShowsCutOffHistoryAndSweep)
{
    // The cut-off line lies at twice the position; levels of 0 on the bottom row.
    host.position = 455;
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(Box1(60, 23), clBlue);
    EXPECT_EQ(Box1(0, 23), clBlue);
    EXPECT_EQ(Box1(60, 22), clBlack);
    EXPECT_EQ(Box1(60, 24), clBlack);
    EXPECT_EQ(Box1(60, 200), clLime);

    // Out-of-range entries stay inside the box; each entry's point starts
    // the next segment, which draws it.
    for (auto& l : LevelHistory)
        l.store(512.0f);  // the middle row, y = 200 - 100
    LevelHistory[50].store(0.0f);
    LevelHistory[100].store(5000.0f);
    LevelHistory[150].store(-7.0f);
    HistoryPos.store(10);
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(Box1(EntryX(50), 200), clLime);
    EXPECT_EQ(Box1(EntryX(100), 0), clLime);
    EXPECT_EQ(Box1(EntryX(150), 200), clLime);
    EXPECT_EQ(Box1(EntryX(20), 100), clLime);
    EXPECT_EQ(Box1(EntryX(20), 99), clBlack);
    // The entry being written is white, a trigged one yellow.
    EXPECT_EQ(Box1(EntryX(9), 100), clWhite);
    EXPECT_EQ(Box1(EntryX(12), 100), clLime);
    TrigHistory[10].store(1);
    TrigHistory[40].store(1);
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(Box1(EntryX(9), 100), clYellow);
    EXPECT_EQ(Box1(EntryX(39), 100), clYellow);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(DisplaysTest, LevelDragSetsTheCutOffFaderInTheTimelineOnly)
{
    level.PaintBox1MouseDown(1, 0, 30, 200);  // v = 2.56
    EXPECT_TRUE(level.LevelDragging);
    EXPECT_EQ(host.position, 3);
    EXPECT_EQ(host.record.NoiseLevelValue(), 3);
    EXPECT_EQ(host.changeCount, 2);  // by the move, then once more
    EXPECT_EQ(host.status, "Minimum sound trig level: -26.2 dB");
    // Clamped to the fader's range; the handler runs even without a move.
    level.PaintBox1MouseMove(0, 30, 201);
    EXPECT_EQ(host.position, 1);
    level.PaintBox1MouseMove(0, 30, 500);
    EXPECT_EQ(host.position, 1);
    EXPECT_EQ(host.changeCount, 5);
    level.PaintBox1MouseMove(0, 30, 0);
    EXPECT_EQ(host.position, 455);
    host.maximum = 50;
    level.PaintBox1MouseMove(0, 30, -40);
    EXPECT_EQ(host.position, 50);
    level.PaintBox1MouseUp(1, 0, 30, 0);
    EXPECT_FALSE(level.LevelDragging);
    level.PaintBox1MouseMove(0, 30, 200);
    EXPECT_EQ(host.position, 50);
    EXPECT_EQ(host.status, kPaintBox1HintLong);

    // In real-time mode, or in a box one pixel high, the fader stays.
    host.position = 25;
    host.changeCount = 0;
    host.timeline = false;
    host.realtime = true;
    level.PaintBox1MouseDown(1, 0, 30, 100);
    EXPECT_EQ(host.position, 25);
    EXPECT_EQ(host.changeCount, 0);
    EXPECT_EQ(host.status, "Use this window to verify sound level");
    host.timeline = true;
    host.realtime = false;
    host.box1.SetSize(127, 1);
    level.PaintBox1MouseMove(0, 30, 0);
    EXPECT_EQ(host.position, 25);
}

int SampleForRow(int h, int y)
{
    for (int s = -32768; s <= 32767; ++s)
        if (h / 2 - static_cast<int>(std::nearbyint(h / 2.0 * s / 32768.0)) == y)
            return s;
    return 0;
}

TEST_F(DisplaysTest, RealtimeTraceWarnsNearTheEdgesAndEndsAtTheLastSample)
{
    host.box1.SetSize(127, 200);
    const struct {
        int y;
        TColor color;
    } cases[] = {{3, clRed}, {4, clYellow}, {9, clYellow}, {10, clLime}, {100, clLime},
                 {190, clLime}, {191, clYellow}, {196, clYellow}, {197, clRed}};
    for (const auto& c : cases) {
        RealtimeSamples(SampleForRow(200, c.y));
        level.PaintBox1Paint(host.box1);
        EXPECT_EQ(Box1(50, c.y), c.color) << "y = " << c.y;
        EXPECT_EQ(Box1(50, c.y - 1), clBlack) << "y = " << c.y;
    }
    // Full negative scale lies just below the box: the run down to it is red.
    RealtimeSamples(-32768);
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(Box1(0, 199), clRed);
    EXPECT_EQ(Box1(0, 150), clRed);
    EXPECT_EQ(Box1(50, 150), clBlack);

    host.box1.SetSize(1100, 200, clBlack);
    RealtimeSamples(SampleForRow(200, 50));
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(Box1(1022, 50), clLime);
    EXPECT_EQ(Box1(1023, 50), clBlack);
    EXPECT_EQ(Box1(1050, 50), clBlack);
}

TEST_F(DisplaysTest, EqualizerBarsFollowTheBandValuesInTheirColours)
{
    Paint(host.box3, clWhite);
    host.record.SetEqualizerBand(1, 0);
    host.record.SetEqualizerBand(2, 127);
    host.record.SetEqualizerBand(3, -127);
    host.record.SetEqualizerColor(3, 3);
    host.record.SetEqualizerColor(4, 1);
    host.record.SetEqualizerColor(5, 2);
    host.record.SetEqualizerColor(6, 200);
    spectrum.DrawEqualizerEditor(host.box3);
    const TCanvas& b = spectrum.EqualizerBitmap;
    EXPECT_EQ(b.Width(), 135);
    EXPECT_EQ(b.Height(), 38);
    for (int y = 18; y <= 20; ++y)
        EXPECT_EQ(b.Pixel(3, y), clYellow) << y;  // 3 pixels high
    EXPECT_EQ(b.Pixel(3, 17), clBlack);
    EXPECT_EQ(b.Pixel(7, 19), clYellow);
    EXPECT_EQ(b.Pixel(8, 19), clBlack);  // the end point is left out
    EXPECT_EQ(b.Pixel(12, 0), clYellow);
    EXPECT_EQ(b.Pixel(12, 2), clBlack);
    EXPECT_EQ(b.Pixel(21, 37), clYellow);
    // Colour numbers 3, 1, 2 and an unknown one.
    EXPECT_EQ(b.Pixel(30, 19), clRed);
    EXPECT_EQ(b.Pixel(39, 19), clTeal);
    EXPECT_EQ(b.Pixel(48, 19), clBlue);
    EXPECT_EQ(b.Pixel(57, 19), clRed);
    // Stretched into the box without its last column, which is cleared.
    EXPECT_EQ(host.box3.Pixel(4, 19), clYellow);
    EXPECT_EQ(host.box3.Pixel(148, 19), clBlack);
    EXPECT_EQ(host.box3.Pixel(147, 5), clBlack);

    // Hidden, the editor draws only its bitmap's background.
    Paint(host.box3, clWhite);
    host.box3Visible = false;
    spectrum.DrawEqualizerEditor(host.box3);
    EXPECT_EQ(spectrum.EqualizerBitmap.Pixel(3, 19), clBlack);
    EXPECT_EQ(host.box3.Pixel(4, 19), clWhite);
}

TEST_F(DisplaysTest, EqualizerDragSetsBandsAndShowsTheGainInTheHint)
{
    host.separator = ',';
    spectrum.PaintBox2MouseDown(1, 0, 75, 19);  // band 8, the middle: flat
    EXPECT_TRUE(spectrum.EqualizerDragging);
    EXPECT_EQ(host.record.EqualizerBand(8), 0);
    EXPECT_FLOAT_EQ(EqGain[8].load(), 1.0f);
    EXPECT_EQ(host.hint3, "0,0dB|Gain at 1500 Hz: 0,0dB");
    EXPECT_EQ(host.status, "Gain at 1500 Hz: 0,0dB");
    host.separator = '.';

    // Outside the editor the drag clamps to its edges.
    spectrum.PaintBox2MouseDown(1, 0, 10, -50);
    EXPECT_EQ(host.record.EqualizerBand(2), 121);
    EXPECT_NEAR(EqGain[2].load(), 8.85867, 1e-4);
    spectrum.PaintBox3MouseMove(0, 148, 500);
    EXPECT_EQ(host.record.EqualizerBand(15), -121);
    EXPECT_NE(host.hint3.find("Gain at 16889 Hz: "), std::string::npos);
    spectrum.PaintBox3MouseMove(0, -3, 19);
    EXPECT_EQ(host.hint3, "0.0dB|Gain at 118 Hz: 0.0dB");
    spectrum.PaintBox3MouseUp(1, 0, 0, 0);
    EXPECT_FALSE(spectrum.EqualizerDragging);
    EXPECT_EQ(host.hint3, "Equalizer|Global equalizer for the sound input");

    // Without a drag the mouse only shows the band's present factor.
    host.box3.SetSize(149, 200);
    spectrum.PaintBox3MouseMove(0, 75, 1);
    EXPECT_EQ(host.record.EqualizerBand(8), 0);
    EXPECT_EQ(host.hint3, "0.0dB|Gain at 1500 Hz: 0.0dB");
    spectrum.PaintBox2MouseDown(1, 0, 75, 1);
    EXPECT_EQ(host.record.EqualizerBand(8), 126);
    EXPECT_EQ(host.hint3, "19.8dB|Gain at 1500 Hz: 19.8dB");
    spectrum.PaintBox3MouseUp(1, 0, 0, 0);
    for (const auto& [gain, hint] : {std::pair{std::pow(10.0, 126 / 128.0), "19.7dB|Gain at 1500 Hz: 19.7dB"},
                                     std::pair{0.1, "-20.0dB|Gain at 1500 Hz: -20.0dB"}}) {
        EqGain[8].store(static_cast<float>(gain));
        spectrum.PaintBox3MouseMove(0, 75, 1);
        EXPECT_EQ(host.hint3, hint);
    }
}

TEST_F(DisplaysTest, SpectrumBarsShowThePicturesLowerRowsAndTheHintItsBand)
{
    Paint(host.box2, clWhite);
    spectrum.DrawSpectrumAnalyzer(host.box2);  // no size yet: nothing visible
    EXPECT_EQ(host.box2.Pixel(10, 10), clWhite);

    spectrum.FFTPanelResize();
    EXPECT_EQ(spectrum.SpectrumBitmap.Width(), 119);
    EXPECT_EQ(spectrum.SpectrumBitmap.Height(), 48);
    BandValues[0].store(5000.0f);  // band 0 has no bar
    BandValues[1].store(12.5f);
    BandValues[2].store(250.0f);
    BandValues[3].store(1.0e9f);
    BandValues[4].store(NAN);
    spectrum.DrawSpectrumAnalyzer(host.box2);
    const TCanvas& b = spectrum.SpectrumBitmap;
    for (int y = 0; y < 48; ++y)
        EXPECT_EQ(b.Pixel(3, y), clBlack) << y;
    EXPECT_EQ(b.Pixel(8, 46), RGBColor(47, 0, 100));
    EXPECT_EQ(b.Pixel(14, 37), RGBColor(38, 0, 100));
    EXPECT_EQ(b.Pixel(8, 36), clBlack);
    EXPECT_EQ(b.Pixel(8, 47), clBlack);
    EXPECT_EQ(b.Pixel(15, 40), clBlack);             // gap after the bar
    EXPECT_EQ(b.Pixel(16, 0), RGBColor(1, 0, 100));  // stops at the top row
    EXPECT_EQ(b.Pixel(24, 46), clBlack);
    EXPECT_EQ(b.Pixel(118, 20), clBlack);
    // Stretched without the last column and row, which are cleared.
    EXPECT_EQ(host.box2.Pixel(148, 20), clBlack);
    EXPECT_EQ(host.box2.Pixel(20, 173), clBlack);
    EXPECT_EQ(host.box2.Pixel(0, 172), clBlack);

    for (const auto& [x, band] : {std::pair{75, "1500 Hz"}, std::pair{-40, "118 Hz"}, std::pair{4000, "16889 Hz"}}) {
        spectrum.PaintBox2MouseMove(0, x, 3);
        EXPECT_EQ(host.hint2, band + std::string("| Spectrum Analyzer ") + band);
        EXPECT_EQ(host.status, " Spectrum Analyzer " + std::string(band));
    }
}

TEST_F(DisplaysTest, NoStrayPixelsSurviveWhereTheFramesDoNotDraw)
{
    // Whatever an earlier frame or size left in a box (here a colour no
    // display draws) is gone after one frame, the never-drawn last column
    // and row included.
    constexpr TColor kStray = RGBColor(1, 2, 3);
    spectrum.FFTPanelResize();
    const struct {
        const char* name;
        TCanvas& box;
        std::function<void()> draw;
    } frames[] = {
        {"real time", host.box1, [&] { host.realtime = true; host.timeline = false; level.PaintBox1Paint(host.box1); }},
        {"time line", host.box1, [&] { host.realtime = false; host.timeline = true; level.PaintBox1Paint(host.box1); }},
        {"spectrum", host.box2, [&] { spectrum.DrawSpectrumAnalyzer(host.box2); }},
        {"editor", host.box3, [&] { spectrum.DrawEqualizerEditor(host.box3); }},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.name);
        Paint(f.box, kStray);
        f.draw();
        int stray = 0;
        for (int y = 0; y < f.box.Height(); ++y)
            for (int x = 0; x < f.box.Width(); ++x)
                stray += f.box.Pixel(x, y) == kStray;
        EXPECT_EQ(stray, 0);
    }
}

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

TEST_F(DisplaysTest, TickShowsTempoThenDrawsEveryBoxInOrder)
{
    host.separator = ',';
    refresh.VisualTimerTimer();
    EXPECT_EQ(host.label, "0,00 BPM (0,00)");
    EXPECT_EQ(host.labelColor, clRed);
    EXPECT_EQ(host.events, (std::vector<std::string>{"label", "combo", "drawn3", "drawn2", "drawn1", "statusbar"}));
    EXPECT_EQ(host.hintCombo, "Current soundcard|Input: Monitor of vxtest");
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
    EXPECT_EQ(host.labelColor, clRed);
}

TEST_F(DisplaysTest, APeakLightsClippingForThreeTicksATrigFlashesOnce)
{
    PeakHold.store(32767);
    TrigFlash.store(1);
    TrigFlash.store(1);  // several trigs in one tick
    for (int tick = 1; tick <= 3; ++tick) {
        refresh.VisualTimerTimer();
        EXPECT_EQ(ClipLight(), clRed) << tick;
        EXPECT_EQ(TrigLight(), tick == 1 ? clBlue : clBtnFace) << tick;
        EXPECT_EQ(TrigFlash.load(), 0);
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

    // Minimized, the tick does nothing at all, the peak decay included.
    PeakHold.store(32767);
    host.events.clear();
    refresh.ApplicationMinimize();
    refresh.VisualTimerTimer();
    EXPECT_TRUE(host.events.empty());
    EXPECT_EQ(PeakHold.load(), 32767);
    refresh.ApplicationRestore();
    refresh.VisualTimerTimer();
    EXPECT_EQ(PeakHold.load(), 31767);
}

TEST_F(DisplaysTest, LightPanelsDrawOnlyTheirOwnRectangles)
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

TEST_F(DisplaysTest, StatusBarHintNamesTheLightUnderTheMouse)
{
    const std::string clip = "Clipping detector|Flashes if sound input is clipping";
    const std::string trig = "Trig detector|Flashes on trig";
    const std::pair<int, std::string> cases[] = {{45, trig}, {10, clip}, {0, clip}, {31, trig},
                                                 {30, clip}, {60, trig}, {61, "|"},  {-1, "|"}};
    for (const auto& [x, hint] : cases) {
        refresh.StatusBar1MouseMove(0, x, 5);
        EXPECT_EQ(host.hintStatusBar, hint) << "x = " << x;
    }
}

TEST_F(DisplaysTest, FailureSkipsTheRestOfTheTick)
{
    PeakHold.store(20000);
    host.throwOnComboHint = true;
    refresh.VisualTimerTimer();
    EXPECT_EQ(host.messages, std::vector<std::string>{"Gfx error"});
    EXPECT_EQ(PeakHold.load(), 20000);
    EXPECT_EQ(host.events, std::vector<std::string>{"label"});

    // The next tick starts again; a level display failure is its own and
    // the tick goes on.
    host.throwOnComboHint = false;
    host.throwOnPosition = true;
    refresh.VisualTimerTimer();
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Gfx error", "PaintBox1 gfx error"}));
    EXPECT_EQ(host.events.back(), "statusbar");
    EXPECT_EQ(PeakHold.load(), 19000);
}

}  // namespace
