// The level and spectrum displays and the refresh tick, against a fake
// window: what each box shows, what the mouse does in it, which hints and
// lights the tick leaves.
#include "DisplayRefresh.h"
#include "DisplayText.h"
#include "Displays.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "BlockAnalysis.h"
#include "CaptureState.h"
#include "SoundMapRecord.h"
#include "TrigDetector.h"

namespace {

// A window for the displays: plain canvases for the boxes, a cut-off fader
// that clamps and runs its handler only on a change, as the toolkit's does,
// and every text and step recorded.
class FakeDisplayHost : public IDisplayHost {
public:
    SoundMapRecord record{};
    TCanvas box1{127, 201, clBlack}, box2{149, 174, clBlack}, box3{149, 38, clBlack};
    bool box3Visible = true, realtime = false, timeline = true;
    int position = 25, minimum = 1, maximum = 455, changeCount = 0;
    const std::string trackBar3Hint = "Noise cut-off level|Minimum sound trig level: -26.2 dB";
    std::string status, hint2, hint3, hintCombo, hintStatusBar, label;
    TColor labelColor = 0;
    char separator = '.';
    std::function<void()> onRepaintStatusBar;
    std::vector<std::string> events;  // steps of a tick, and messages shown

    SoundMapRecord* Record() override { return &record; }
    TCanvas& BoxCanvas(TDisplayBox box) override
    {
        return box == TDisplayBox::PaintBox1 ? box1 : box == TDisplayBox::PaintBox2 ? box2 : box3;
    }
    void BoxDrawn(TDisplayBox box) override { events.push_back("drawn" + std::to_string(static_cast<int>(box) + 1)); }
    bool PaintBox3Visible() override { return box3Visible; }
    bool Realtime1Selected() override { return realtime; }
    bool Timeline1Selected() override { return timeline; }
    int TrackBar3Position() override { return position; }
    int TrackBar3Min() override { return minimum; }
    int TrackBar3Max() override { return maximum; }
    void SetTrackBar3Position(int p) override
    {
        p = std::clamp(p, minimum, maximum);
        if (p != position) {
            position = p;
            TrackBar3Change();
        }
    }
    void TrackBar3Change() override
    {
        ++changeCount;
        record.SetNoiseLevelValue(position);
        status = HintLongPart(trackBar3Hint);
    }
    std::string TrackBar3Hint() override { return trackBar3Hint; }
    void SetStatusText(const std::string& t) override { status = t; }
    void SetPaintBox2Hint(const std::string& h) override { hint2 = h; }
    void SetPaintBox3Hint(const std::string& h) override { hint3 = h; }
    void SetComboBox1Hint(const std::string& h) override
    {
        hintCombo = h;
        events.push_back("combo");
    }
    void SetStatusBar1Hint(const std::string& h) override { hintStatusBar = h; }
    void SetLabel1(const std::string& caption, TColor color) override
    {
        label = caption;
        labelColor = color;
        events.push_back("label");
    }
    void RepaintStatusBar() override
    {
        events.push_back("statusbar");
        if (onRepaintStatusBar)
            onRepaintStatusBar();
    }
    std::string DeviceName() override { return "Monitor of vxtest"; }
    char DecimalSeparator() override { return separator; }
    void ShowMessage(const std::string& text, TMessageKind) override { events.push_back(text); }
};

class DisplaysTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetPeakHold();
        ResetHistory();
        ResetTempo();
        ResetTrigState();
        for (auto& v : SampleBlock)
            v.store(0);
        for (auto& b : BandValues)
            b.store(0.0f);
        for (auto& g : EqGain)
            g.store(1.0f);
        level.Panel1Resize();
        // Picture rows told apart by their red component.
        spectrum.AudioLevelPicture.SetSize(7, 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 7; ++x)
                spectrum.AudioLevelPicture.SetPixel(x, y, RGBColor(y + 1, 0, 100));
        host.onRepaintStatusBar = [this] { refresh.PaintStatusLights(lights); };
    }
    static constexpr TColor kStray = RGBColor(1, 2, 3);
    static void Paint(TCanvas& c, TColor color)
    {
        c.Brush.Color = color;
        c.FillRect(0, 0, c.Width(), c.Height());
    }
    static int Strays(const TCanvas& c)
    {
        int n = 0;
        for (int y = 0; y < c.Height(); ++y)
            for (int x = 0; x < c.Width(); ++x)
                n += c.Pixel(x, y) == kStray;
        return n;
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
    struct Px {
        int x, y;
        TColor color;
    };
    static void ExpectPixels(const TCanvas& c, std::initializer_list<Px> pixels)
    {
        for (const Px& p : pixels)
            EXPECT_EQ(c.Pixel(p.x, p.y), p.color) << p.x << "," << p.y;
    }

    FakeDisplayHost host;
    TLevelDisplay level{host};
    TSpectrumDisplay spectrum{host};
    TDisplayRefresh refresh{host, level, spectrum};
    TCanvas lights{60, 21, clBlack};
};

TEST_F(DisplaysTest, TimelineShowsCutOffHistoryAndSweep)
{
    // The cut-off line lies at twice the position; levels of 0 on the bottom
    // row. Whatever an earlier frame left (a colour no display draws) is
    // gone, the never-drawn last column included.
    host.position = 455;
    Paint(host.box1, kStray);
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(Strays(host.box1), 0);
    ExpectPixels(host.box1, {{60, 23, clBlue}, {0, 23, clBlue}, {60, 22, clBlack}, {60, 24, clBlack},
                             {60, 200, clLime}});

    // Out-of-range entries stay inside the box; each entry's point starts
    // the next segment, which draws it.
    for (auto& l : LevelHistory)
        l.store(512.0f);  // the middle row, y = 200 - 100
    LevelHistory[50].store(0.0f);
    LevelHistory[100].store(5000.0f);
    LevelHistory[150].store(-7.0f);
    HistoryPos.store(10);
    level.PaintBox1Paint(host.box1);
    ExpectPixels(host.box1, {{EntryX(50), 200, clLime}, {EntryX(100), 0, clLime}, {EntryX(150), 200, clLime},
                             {EntryX(20), 100, clLime}, {EntryX(20), 99, clBlack}});
    // The entry being written is white, a trigged one yellow.
    ExpectPixels(host.box1, {{EntryX(9), 100, clWhite}, {EntryX(12), 100, clLime}});
    TrigHistory[10].store(1);
    TrigHistory[40].store(1);
    level.PaintBox1Paint(host.box1);
    ExpectPixels(host.box1, {{EntryX(9), 100, clYellow}, {EntryX(39), 100, clYellow}});
}

TEST_F(DisplaysTest, LevelDragSetsTheCutOffFaderInTheTimelineOnly)
{
    level.PaintBox1MouseDown(1, 0, 30, 200);  // v = 2.56
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
    host.maximum = 50;
    level.PaintBox1MouseMove(0, 30, -40);
    EXPECT_EQ(host.position, 50);
    level.PaintBox1MouseUp(1, 0, 30, 0);
    level.PaintBox1MouseMove(0, 30, 200);
    EXPECT_EQ(host.position, 50);
    EXPECT_EQ(host.status, kPaintBox1HintLong);

    // In real-time mode the fader stays.
    host.changeCount = 0;
    host.timeline = false;
    host.realtime = true;
    level.PaintBox1MouseDown(1, 0, 30, 100);
    EXPECT_EQ(host.position, 50);
    EXPECT_EQ(host.changeCount, 0);
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
        EXPECT_EQ(host.box1.Pixel(50, c.y), c.color) << "y = " << c.y;
        EXPECT_EQ(host.box1.Pixel(50, c.y - 1), clBlack) << "y = " << c.y;
    }
    // Full negative scale lies just below the box: the run down to it is red.
    RealtimeSamples(-32768);
    level.PaintBox1Paint(host.box1);
    ExpectPixels(host.box1, {{0, 199, clRed}, {0, 150, clRed}, {50, 150, clBlack}});

    host.box1.SetSize(1100, 200, clBlack);
    RealtimeSamples(SampleForRow(200, 50));
    Paint(host.box1, kStray);
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(Strays(host.box1), 0);
    ExpectPixels(host.box1, {{1022, 50, clLime}, {1023, 50, clBlack}, {1050, 50, clBlack}});
}

TEST_F(DisplaysTest, EqualizerBarsFollowTheBandValuesInTheirColours)
{
    Paint(host.box3, kStray);
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
    // Each bar leaves out its end point; full and zero bands reach the edges.
    ExpectPixels(b, {{3, 17, clBlack}, {7, 19, clYellow}, {8, 19, clBlack}, {12, 0, clYellow}, {12, 2, clBlack},
                     {21, 37, clYellow}});
    // Colour numbers 3, 1, 2 and an unknown one.
    ExpectPixels(b, {{30, 19, clRed}, {39, 19, clTeal}, {48, 19, clBlue}, {57, 19, clRed}});
    // Stretched into the box without its last column, which is cleared.
    ExpectPixels(host.box3, {{4, 19, clYellow}, {148, 19, clBlack}, {147, 5, clBlack}});
    EXPECT_EQ(Strays(host.box3), 0);
}

TEST_F(DisplaysTest, EqualizerDragSetsBandsAndShowsTheGainInTheHint)
{
    host.separator = ',';
    spectrum.PaintBox2MouseDown(1, 0, 75, 19);  // band 8, the middle: flat
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
    EqGain[8].store(0.1f);
    spectrum.PaintBox3MouseMove(0, 75, 1);
    EXPECT_EQ(host.hint3, "-20.0dB|Gain at 1500 Hz: -20.0dB");
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
    // Each bar shows the picture's rows from the bottom up to its level,
    // stops at the top row, and leaves a gap before the next.
    ExpectPixels(b, {{8, 46, RGBColor(47, 0, 100)}, {14, 37, RGBColor(38, 0, 100)}, {8, 36, clBlack},
                     {8, 47, clBlack}, {15, 40, clBlack}, {16, 0, RGBColor(1, 0, 100)}, {24, 46, clBlack},
                     {118, 20, clBlack}});
    // Stretched without the last column and row, which are cleared.
    ExpectPixels(host.box2, {{148, 20, clBlack}, {20, 173, clBlack}, {0, 172, clBlack}});
    Paint(host.box2, kStray);
    spectrum.DrawSpectrumAnalyzer(host.box2);
    EXPECT_EQ(Strays(host.box2), 0);

    for (const auto& [x, band] : {std::pair{75, "1500 Hz"}, std::pair{-40, "118 Hz"}, std::pair{4000, "16889 Hz"}}) {
        spectrum.PaintBox2MouseMove(0, x, 3);
        EXPECT_EQ(host.hint2, band + std::string("| Spectrum Analyzer ") + band);
        EXPECT_EQ(host.status, " Spectrum Analyzer " + std::string(band));
    }
}

TEST(TempoText, RoundsToFiveDigitsThenTwoDecimals)
{
    EXPECT_EQ(TempoText(123.456, '.'), "123.46");
    EXPECT_EQ(TempoText(1234.567, '.'), "1234.60");
    EXPECT_EQ(TempoText(0.0, ','), "0,00");
    EXPECT_EQ(TempoText(120.125, '.'), "120.13");  // halves away from zero
    EXPECT_EQ(TempoText(99999.9, '.'), "100000.00");
    EXPECT_EQ(TempoText(0.005, '.'), "0.01");
    EXPECT_EQ(TempoText(INFINITY, '.'), "INF");
    EXPECT_EQ(FormatFixed(-0.04, 7, 1, '.'), "0.0");
    EXPECT_EQ(FormatFixed(-19.74, 7, 1, ','), "-19,7");
    EXPECT_EQ(FormatFixed(9.96, 7, 1, '.'), "10.0");
}

TEST_F(DisplaysTest, TickShowsTempoDrawsEveryBoxInOrderAndLightsTheLights)
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

    // A peak lights the clipping light for three ticks, a trig flashes once.
    PeakHold.store(32767);
    TrigFlash.store(1);
    TrigFlash.store(1);  // several trigs in one tick
    for (int tick = 1; tick <= 3; ++tick) {
        refresh.VisualTimerTimer();
        EXPECT_EQ(lights.Pixel(15, 10), clRed) << tick;
        EXPECT_EQ(lights.Pixel(45, 10), tick == 1 ? clBlue : clBtnFace) << tick;
        EXPECT_EQ(TrigFlash.load(), 0);
    }
    refresh.VisualTimerTimer();
    EXPECT_EQ(lights.Pixel(15, 10), clBtnFace);
    EXPECT_EQ(PeakHold.load(), 32767 - 4000);
    PeakHold.store(30000);
    refresh.VisualTimerTimer();
    EXPECT_EQ(lights.Pixel(15, 10), clBtnFace);
    PeakHold.store(30001);
    refresh.VisualTimerTimer();
    EXPECT_EQ(lights.Pixel(15, 10), clRed);

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

}  // namespace
