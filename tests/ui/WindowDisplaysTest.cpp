// The displays inside the real window: the refresh tick reaching the boxes,
// the tempo label and the lights, and the mouse reaching the displays.
#include "WindowFixture.h"

#include <QTest>

#include "BlockAnalysis.h"
#include "SoundMapRecord.h"
#include "TrigDetector.h"

namespace {

class WindowDisplays : public WindowTest {
protected:
    // A started, shown window with the capture stopped, so that only the
    // test moves the analysis state.
    TVxSoundApp& Shown()
    {
        TVxSoundApp& a = Create();
        EXPECT_TRUE(a.StartupComplete) << a.LastError.toStdString();
        CloseWaveIn();
        a.VisualTimer->stop();
        a.setWindowState(Qt::WindowNoState);
        a.show();
        QApplication::processEvents();
        return a;
    }
    TColor Light(TVxSoundApp& a, int x) { return a.StatusLights->Canvas().Pixel(x, 10); }
};

}  // namespace

TEST_F(WindowDisplays, TickDrawsTheBoxesTempoAndLightsAndStopsWhileMinimized)
{
    TVxSoundApp& a = Shown();
    ASSERT_GT(a.PaintBox2->width(), 0);
    ASSERT_GT(a.PaintBox3->height(), 0);

    Bpm.store(120.0f);
    BpmLocked.store(true);
    PeakHold.store(32767);
    TrigFlash.store(1);
    for (int i = 0; i < kHistoryLength; ++i)
        LevelHistory[i].store(512);

    a.VisualTimerTimer();
    EXPECT_EQ(a.Label1->text(), "120.00 BPM");
    EXPECT_EQ(a.Label1Color, clLime);
    EXPECT_EQ(Light(a, 10), clRed);
    EXPECT_EQ(Light(a, 45), clBlue);
    EXPECT_EQ(TrigFlash.load(), 0);
    EXPECT_EQ(PeakHold.load(), 31767);
    // The equalizer editor shows its flat bars: something other than black
    // in the middle row, and the time line reaches PaintBox1.
    const TCanvas& editor = a.PaintBox3->Canvas();
    bool drawn = false;
    for (int x = 0; x < editor.Width(); ++x)
        drawn = drawn || editor.Pixel(x, editor.Height() / 2) != clBlack;
    EXPECT_TRUE(drawn);

    // Real-time mode leaves the last column to the box's own black.
    const TCanvas& level = a.PaintBox1->Canvas();
    EXPECT_EQ(level.Pixel(level.Width() - 1, 5), clBlack);

    a.VisualTimerTimer();
    a.VisualTimerTimer();
    EXPECT_EQ(Light(a, 10), clRed);  // 30767 still lights it
    EXPECT_EQ(Light(a, 45), clBtnFace);
    a.VisualTimerTimer();
    EXPECT_EQ(Light(a, 10), clBtnFace);

    BpmLocked.store(false);
    BpmInstant.store(98.5f);
    a.VisualTimerTimer();
    EXPECT_EQ(a.Label1->text(), "120.00 BPM (98.50)");
    EXPECT_EQ(a.Label1Color, clRed);

    const std::int32_t held = PeakHold.load();
    a.ApplicationMinimize();
    a.VisualTimerTimer();
    EXPECT_EQ(PeakHold.load(), held);
    a.ApplicationRestore();
    a.VisualTimer->stop();
    a.VisualTimerTimer();
    EXPECT_EQ(PeakHold.load(), held - 1000);
}

TEST_F(WindowDisplays, MouseEditsTheEqualizerAndRewritesTheHints)
{
    TVxSoundApp& a = Shown();
    a.UseFFT1->trigger();  // the spectrum panel is shown
    a.setGeometry(a.x(), a.y(), 400, 420);
    QApplication::processEvents();
    a.VisualTimerTimer();
    TPaintBox* editor = a.PaintBox3;
    const int w3 = editor->width();
    const int h3 = editor->height();
    ASSERT_GT(w3, 15);
    ASSERT_GT(h3, 4);

    // Band 8 dragged to the top row: the largest gain.
    const int x8 = w3 * 7 / 15 + w3 / 30;
    QTest::mousePress(editor, Qt::LeftButton, {}, QPoint(x8, h3 / 2));
    QTest::mouseMove(editor, QPoint(x8, 0));
    EXPECT_GT(Rec().EqualizerBand(8), 100);
    EXPECT_GT(EqGain[8].load(), 5.0f);
    EXPECT_TRUE(a.StatusPanel2->text().startsWith("Gain at 1500 Hz: ")) << a.StatusPanel2->text().toStdString();
    EXPECT_TRUE(a.PaintBox3->toolTip().endsWith("dB"));
    // Letting go gives the editor its own hint back.
    QTest::mouseRelease(editor, Qt::LeftButton, {}, QPoint(x8, 0));
    EXPECT_EQ(a.PaintBox3->toolTip(), "Equalizer");
    EXPECT_EQ(a.StatusPanel2->text(), "Global equalizer for the sound input");

    ASSERT_TRUE(a.PaintBox2->isVisible()) << a.PaintBox2->width() << "x" << a.PaintBox2->height();
    QTest::mouseMove(a.PaintBox2, QPoint(x8, 2));
    EXPECT_EQ(a.StatusPanel2->text().toStdString(), " Spectrum Analyzer 1500 Hz");
    EXPECT_EQ(a.PaintBox2->toolTip().toStdString(), "1500 Hz");
}

TEST_F(WindowDisplays, StatusBarHintFollowsTheMouseOverTheLights)
{
    TVxSoundApp& a = Shown();
    const int left = a.StatusLights->x();
    QTest::mouseMove(a.StatusLights, QPoint(45 - left, 5));
    EXPECT_EQ(a.StatusPanel2->text(), "Flashes on trig");
    QTest::mouseMove(a.StatusLights, QPoint(10 - left, 5));
    EXPECT_EQ(a.StatusPanel2->text(), "Flashes if sound input is clipping");
    EXPECT_EQ(a.StatusBar1->toolTip(), "Clipping detector");
}

TEST_F(WindowDisplays, LevelDragMovesTheNoiseFaderInTimeLineMode)
{
    TVxSoundApp& a = Shown();
    a.Timeline1->trigger();
    a.VisualTimerTimer();
    TPaintBox* box = a.PaintBox1;
    ASSERT_GT(box->height(), 10);
    const int before = a.TrackBar3->value();
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(5, box->height() / 4));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(5, box->height() / 4));
    EXPECT_NE(a.TrackBar3->value(), before);
    EXPECT_EQ(Rec().NoiseLevelValue(), a.TrackBar3->value());
    EXPECT_EQ(a.Level->LevelBitmap.Width(), box->width());
    EXPECT_EQ(a.Level->LevelBitmap.Height(), box->height());
}
