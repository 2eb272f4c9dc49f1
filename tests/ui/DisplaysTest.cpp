#include "Displays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "FakeDisplayHost.h"

namespace {

class LevelDisplayTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetDisplayState();
        level.Panel1Resize();
    }
    // x of history entry i in a bitmap of width bw.
    static int EntryX(int bw, int i) { return static_cast<int>(std::nearbyint((bw - 1) * i / 256.0)); }
    void SetAllLevels(float v)
    {
        for (auto& l : LevelHistory)
            l.store(v);
    }

    FakeDisplayHost host;
    TLevelDisplay level{host};
};

TEST_F(LevelDisplayTest, TimelineHoldsEntriesInsideTheBox)
{
    SetAllLevels(512.0f);  // the middle row, y = 200 - 100
    LevelHistory[50].store(0.0f);
    LevelHistory[100].store(5000.0f);
    LevelHistory[150].store(-7.0f);
    level.PaintBox1Paint(host.box1);
    // Each entry's point starts the next segment, which draws it.
    EXPECT_EQ(host.box1.Pixel(EntryX(127, 50), 200), clLime);
    EXPECT_EQ(host.box1.Pixel(EntryX(127, 100), 0), clLime);
    EXPECT_EQ(host.box1.Pixel(EntryX(127, 150), 200), clLime);
    EXPECT_EQ(host.box1.Pixel(EntryX(127, 20), 100), clLime);
    EXPECT_EQ(host.box1.Pixel(EntryX(127, 20), 99), clBlack);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(LevelDisplayTest, CutOffLineLiesAtTwiceThePosition)
{
    host.position = 455;
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(host.box1.Pixel(60, 23), clBlue);
    EXPECT_EQ(host.box1.Pixel(60, 22), clBlack);
    EXPECT_EQ(host.box1.Pixel(60, 24), clBlack);
    EXPECT_EQ(host.box1.Pixel(0, 23), clBlue);
    // Levels of 0 run along the bottom row.
    EXPECT_EQ(host.box1.Pixel(60, 200), clLime);
}

TEST_F(LevelDisplayTest, SweepSegmentIsWhiteUnlessTheBlockTrigged)
{
    SetAllLevels(512.0f);
    HistoryPos.store(10);
    level.PaintBox1Paint(host.box1);
    // Entry 10's segment runs from entry 9's column into entry 10's.
    EXPECT_EQ(host.box1.Pixel(EntryX(127, 9), 100), clWhite);
    EXPECT_EQ(host.box1.Pixel(EntryX(127, 12), 100), clLime);
    TrigHistory[10].store(1);
    TrigHistory[40].store(1);
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(host.box1.Pixel(EntryX(127, 9), 100), clYellow);
    EXPECT_EQ(host.box1.Pixel(EntryX(127, 39), 100), clYellow);
}

TEST_F(LevelDisplayTest, DragSetsTheFaderByTheInverseFormula)
{
    level.PaintBox1MouseDown(1, 0, 30, 200);  // v = 2.56
    EXPECT_TRUE(level.LevelDragging);
    EXPECT_EQ(host.position, 3);
    EXPECT_EQ(host.record.NoiseLevelValue(), 3);
    EXPECT_EQ(host.changeCount, 2);  // by the move, then once more
    EXPECT_EQ(host.status, "Minimum sound trig level: -26.2 dB");

    level.PaintBox1MouseMove(0, 30, 201);
    EXPECT_EQ(host.position, 1);
    level.PaintBox1MouseMove(0, 30, 500);
    EXPECT_EQ(host.position, 1);
    EXPECT_EQ(host.changeCount, 5);  // no move this time, still run once
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
}

TEST_F(LevelDisplayTest, DragOutsideTheTimelineOrInAFlatBoxLeavesTheFader)
{
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

TEST_F(LevelDisplayTest, RealtimeColoursWarnNearTheEdges)
{
    host.realtime = true;
    host.timeline = false;
    host.box1.SetSize(127, 200);
    const struct {
        int y;
        TColor color;
    } cases[] = {{3, clRed}, {9, clYellow}, {10, clLime}, {100, clLime}, {190, clLime}, {191, clYellow}, {197, clRed}};
    for (const auto& c : cases) {
        const int s = SampleForRow(200, c.y);
        for (auto& v : SampleBlock)
            v.store(static_cast<std::int16_t>(s));
        level.PaintBox1Paint(host.box1);
        EXPECT_EQ(host.box1.Pixel(50, c.y), c.color) << "y = " << c.y;
        EXPECT_EQ(host.box1.Pixel(50, c.y - 1), clBlack) << "y = " << c.y;
    }
    // Full negative scale lies just below the box: the run down to it is red.
    for (auto& v : SampleBlock)
        v.store(-32768);
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(host.box1.Pixel(0, 199), clRed);
    EXPECT_EQ(host.box1.Pixel(0, 150), clRed);
    EXPECT_EQ(host.box1.Pixel(50, 150), clBlack);
}

TEST_F(LevelDisplayTest, RealtimeTraceEndsAtTheLastSample)
{
    host.realtime = true;
    host.timeline = false;
    host.box1.SetSize(1100, 200, clBlack);
    for (auto& v : SampleBlock)
        v.store(static_cast<std::int16_t>(SampleForRow(200, 50)));
    level.PaintBox1Paint(host.box1);
    EXPECT_EQ(host.box1.Pixel(1022, 50), clLime);
    EXPECT_EQ(host.box1.Pixel(1023, 50), clBlack);
    EXPECT_EQ(host.box1.Pixel(1050, 50), clBlack);
}

TEST_F(LevelDisplayTest, DrawingFailureIsReported)
{
    host.throwOnPosition = true;
    level.PaintBox1Paint(host.box1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "PaintBox1 gfx error");
}

class SpectrumDisplayTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetDisplayState();
        // Rows told apart by their red component.
        spectrum.AudioLevelPicture.SetSize(7, 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 7; ++x)
                spectrum.AudioLevelPicture.SetPixel(x, y, RGBColor(y + 1, 0, 100));
        Paint(host.box3, clWhite);
    }
    static void Paint(TCanvas& c, TColor color)
    {
        c.Brush.Color = color;
        c.FillRect(0, 0, c.Width(), c.Height());
    }
    FakeDisplayHost host;
    TSpectrumDisplay spectrum{host};
};

TEST_F(SpectrumDisplayTest, EqualizerBarsFollowTheBandValues)
{
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
    EXPECT_EQ(b.Pixel(30, 19), clRed);
    EXPECT_EQ(b.Pixel(39, 19), clTeal);
    EXPECT_EQ(b.Pixel(48, 19), clBlue);
    EXPECT_EQ(b.Pixel(57, 19), clRed);
    // Stretched into the box without its last column, which is cleared.
    EXPECT_EQ(host.box3.Pixel(4, 19), clYellow);
    EXPECT_EQ(host.box3.Pixel(148, 19), clBlack);
    EXPECT_EQ(host.box3.Pixel(147, 5), clBlack);
}

TEST_F(SpectrumDisplayTest, HiddenEditorDrawsOnlyTheBitmapBackground)
{
    host.box3Visible = false;
    spectrum.DrawEqualizerEditor(host.box3);
    EXPECT_EQ(spectrum.EqualizerBitmap.Pixel(3, 19), clBlack);
    EXPECT_EQ(host.box3.Pixel(4, 19), clWhite);
}

TEST_F(SpectrumDisplayTest, PressInTheMiddleIsFlat)
{
    host.separator = ',';
    spectrum.PaintBox2MouseDown(1, 0, 75, 19);  // band 8
    EXPECT_TRUE(spectrum.EqualizerDragging);
    EXPECT_EQ(host.record.EqualizerBand(8), 0);
    EXPECT_FLOAT_EQ(EqGain[8].load(), 1.0f);
    EXPECT_EQ(host.hint3, "0,0dB|Gain at 1500 Hz: 0,0dB");
    EXPECT_EQ(host.status, "Gain at 1500 Hz: 0,0dB");
}

TEST_F(SpectrumDisplayTest, DragClampsToTheEditor)
{
    spectrum.PaintBox2MouseDown(1, 0, 10, -50);
    EXPECT_EQ(host.record.EqualizerBand(2), 121);
    EXPECT_NEAR(EqGain[2].load(), std::pow(10.0, 2.0 * 37 / 38) / 10, 1e-5);
    spectrum.PaintBox3MouseMove(0, 148, 500);
    EXPECT_EQ(host.record.EqualizerBand(15), -121);
    EXPECT_NE(host.hint3.find("Gain at 16889 Hz: "), std::string::npos);
    spectrum.PaintBox3MouseMove(0, -3, 19);
    EXPECT_EQ(host.hint3, "0.0dB|Gain at 118 Hz: 0.0dB");

    spectrum.PaintBox3MouseUp(1, 0, 0, 0);
    EXPECT_FALSE(spectrum.EqualizerDragging);
    EXPECT_EQ(host.hint3, "Equalizer|Global equalizer for the sound input");
    spectrum.PaintBox3MouseMove(0, 75, 1);
    EXPECT_EQ(host.record.EqualizerBand(8), 0);  // only shows the hint
    EXPECT_EQ(host.hint3, "0.0dB|Gain at 1500 Hz: 0.0dB");
}

TEST_F(SpectrumDisplayTest, HintShowsTheFactorInDecibels)
{
    host.box3.SetSize(149, 200);
    spectrum.PaintBox2MouseDown(1, 0, 75, 1);
    EXPECT_EQ(host.record.EqualizerBand(8), 126);
    EXPECT_EQ(host.hint3, "19.8dB|Gain at 1500 Hz: 19.8dB");
    EqGain[8].store(static_cast<float>(std::pow(10.0, 126 / 128.0)));
    spectrum.PaintBox3MouseUp(1, 0, 0, 0);
    spectrum.PaintBox3MouseMove(0, 75, 1);
    EXPECT_EQ(host.hint3, "19.7dB|Gain at 1500 Hz: 19.7dB");
    EqGain[8].store(0.1f);
    spectrum.PaintBox3MouseMove(0, 75, 1);
    EXPECT_EQ(host.hint3, "-20.0dB|Gain at 1500 Hz: -20.0dB");
}

TEST_F(SpectrumDisplayTest, SpectrumBarsShowThePicturesLowerRows)
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
    EXPECT_EQ(b.Pixel(15, 40), clBlack);  // gap after the bar
    EXPECT_EQ(b.Pixel(16, 0), RGBColor(1, 0, 100));  // stops at the top row
    EXPECT_EQ(b.Pixel(24, 46), clBlack);
    EXPECT_EQ(b.Pixel(118, 20), clBlack);
    // Stretched without the last column and row, which are cleared.
    EXPECT_EQ(host.box2.Pixel(148, 20), clBlack);
    EXPECT_EQ(host.box2.Pixel(20, 173), clBlack);
    EXPECT_EQ(host.box2.Pixel(0, 172), clBlack);
}

TEST_F(SpectrumDisplayTest, SpectrumHintNamesTheBandUnderTheMouse)
{
    spectrum.PaintBox2MouseMove(0, 75, 3);
    EXPECT_EQ(host.hint2, "1500 Hz| Spectrum Analyzer 1500 Hz");
    EXPECT_EQ(host.status, " Spectrum Analyzer 1500 Hz");
    spectrum.PaintBox2MouseMove(0, -40, 3);
    EXPECT_EQ(host.hint2, "118 Hz| Spectrum Analyzer 118 Hz");
    spectrum.PaintBox2MouseMove(0, 4000, 3);
    EXPECT_EQ(host.hint2, "16889 Hz| Spectrum Analyzer 16889 Hz");
}

TEST_F(SpectrumDisplayTest, NoStrayPixelsSurviveWhereTheFramesDoNotDraw)
{
    // Whatever an earlier frame or size left in a box (here a colour no
    // display draws) is gone after one frame, the never-drawn last column
    // and row included.
    constexpr TColor kStray = RGBColor(1, 2, 3);
    TLevelDisplay level{host};
    spectrum.FFTPanelResize();
    const struct {
        const char* name;
        TCanvas& box;
        std::function<void()> draw;
    } frames[] = {
        {"real time", host.box1, [&] { host.realtime = true; host.timeline = false; level.PaintBox1Paint(host.box1); }},
        {"time line", host.box1, [&] { host.realtime = false; host.timeline = true; level.Panel1Resize(); level.PaintBox1Paint(host.box1); }},
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

}  // namespace
