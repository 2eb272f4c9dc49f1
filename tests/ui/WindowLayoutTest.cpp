// The window as a user meets it: a size that holds, split sizes that
// survive hidden panels, where boxes and lights sit, and the displays
// reached by the mouse. What the tick draws is the displays tests' part
// and, on a real display, the screenshot test's.
#include "WindowFixture.h"

#include <QScreen>
#include <QTest>
#include <QToolTip>

#include "BlockAnalysis.h"

namespace {

class Layout : public WindowTest {
protected:
    TVxSoundApp& Shown()
    {
        TVxSoundApp& a = Create();
        EXPECT_TRUE(a.StartupComplete) << errors.join("; ").toStdString();
        a.show();
        QApplication::processEvents();
        return a;
    }
};

TEST_F(Layout, ExtremeGeometryIsHeldToTheScreenAndTheSplitterLimits)
{
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    const struct {
        const char* ini;
        int fftWidth, panel2Height;  // -1: as wide or high as the window allows
    } cases[] = {
        {"FormWidth=100000\nFormHeight=100000\nHSplitPos=100\nVSplitPos=100\n", -1, -1},
        {"FormWidth=400\nFormHeight=400\nHSplitPos=-2147483648\nVSplitPos=-2147483648\n", -1, -1},
        {"FormWidth=400\nFormHeight=400\nHSplitPos=2147483647\nVSplitPos=2147483647\n", 16, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        WriteIni(std::string(c.ini) + "UseFFT=1\n");
        TVxSoundApp& a = Shown();
        EXPECT_LE(a.width(), screen.width());
        EXPECT_LE(a.height(), screen.height());
        EXPECT_GE(a.FFTPanel->width(), 16);
        EXPECT_GE(a.Panel2->height(), 10);
        if (c.fftWidth > 0) {
            EXPECT_EQ(a.FFTPanel->width(), c.fftWidth);
            EXPECT_EQ(a.Panel2->height(), c.panel2Height);
        }
        w->HostCloseRequested = true;
        w->close();
        w.reset();
    }
}

TEST_F(Layout, HiddenPanelsKeepTheirSizesThroughACloseAndAStart)
{
    // Show input > None with the equalizer on hides the level display: the
    // next start shows the spectrum panel at its former width. (Equalizer
    // off is the window manager test's round trip.)
    WriteIni("FormWidth=500\nFormHeight=400\nHSplitPos=300\nVSplitPos=320\nUseFFT=1\nShowInput=0\n");
    Shown();
    EXPECT_TRUE(UserClose(true));
    const std::string ini = Ini();
    EXPECT_NE(ini.find("HSplitPos=300\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("VSplitPos=320\n"), std::string::npos) << ini;
    w.reset();
    TVxSoundApp& a = Shown();
    a.SetUseFFT();
    a.Realtime1Click();
    QApplication::processEvents();
    EXPECT_EQ(a.FFTPanel->width(), 200);
    EXPECT_EQ(a.PaintBox3->height(), 80);
    EXPECT_GT(a.PaintBox1->width(), 200);
    // None leaves the spectrum panel its own width at the right.
    a.None1Click();
    QApplication::processEvents();
    EXPECT_EQ(a.FFTPanel->width(), 200);
    EXPECT_EQ(a.FFTPanel->mapTo(&a, QPoint(a.FFTPanel->width(), 0)).x(), a.width());
}

TEST_F(Layout, BoxesLightsAndFadersSitWhereDesignedAndALongHintWidensNothing)
{
    TVxSoundApp& a = Shown();
    a.ApplicationHint("|Reset all equalizer faders to the middle (default) value, and a good deal more text");
    QApplication::processEvents();
    EXPECT_EQ(a.size(), QSize(200, 200));
    EXPECT_LE(a.minimumSizeHint().width(), 200);
    // Boxes one bevel pixel inside their panels.
    EXPECT_EQ(a.PaintBox1->mapTo(a.Panel1, QPoint(0, 0)), QPoint(1, 1));
    EXPECT_EQ(a.PaintBox1->width(), a.Panel1->width() - 2);
    // The lights: two 30-pixel panels at the bar's left edge, full height.
    EXPECT_EQ(a.StatusLights->geometry(), QRect(0, 0, 60, a.StatusBar1->height()));
    EXPECT_EQ(a.StatusPanel2->x(), 60);
    // The faders stand on the button face, and their tick marks show on
    // it: darker than the face and lighter than black.
    const QImage faders = a.FaderPanel->grab().toImage();
    EXPECT_EQ(QColor(faders.pixel(faders.width() - 1, 0)), QColor::fromRgb(clBtnFace));
    const QImage decay = a.TrackBar1->grab().toImage();
    int marks = 0;
    for (int y = decay.height() / 2 + 3; y < decay.height(); ++y)
        for (int x = 0; x < decay.width(); ++x)
            marks += qGray(decay.pixel(x, y)) >= 60 && qGray(decay.pixel(x, y)) <= 200;
    EXPECT_GE(marks, 10) << "no tick marks below the decay fader";
}

TEST_F(Layout, StatusHintsFollowTheLightsClearTheirTooltipAndFollowAKeyboardMenu)
{
    TVxSoundApp& a = Shown();
    const int left = a.StatusLights->x();
    QTest::mouseMove(a.StatusLights, QPoint(45 - left, 5));
    EXPECT_EQ(a.StatusPanel2->text(), "Flashes on trig");
    QTest::mouseMove(a.StatusLights, QPoint(10 - left, 5));
    EXPECT_EQ(a.StatusPanel2->text(), "Flashes if sound input is clipping");
    EXPECT_EQ(a.StatusBar1->toolTip(), "Clipping detector");

    QToolTip::showText(a.mapToGlobal(QPoint(10, 190)), "Clipping detector", &a);
    ASSERT_TRUE(QToolTip::isVisible());
    QTest::mouseMove(a.StatusBar1, QPoint(150, 5));
    EXPECT_EQ(a.StatusPanel2->text(), "");
    // Gone at once, not at the tooltip's own expiry seconds later.
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 1500));

    a.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&a));
    QTest::keyClick(&a, Qt::Key_V, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return a.StatusPanel2->text() == "Don't show Audio Analyzer on startup"; }))
        << a.StatusPanel2->text().toStdString();
    a.View1->close();
}

TEST_F(Layout, MouseEditsTheEqualizerAndTheCutOffAndRewritesTheHints)
{
    TVxSoundApp& a = Shown();
    CloseWaveIn();
    a.VisualTimer->stop();
    a.UseFFT1->trigger();  // the spectrum panel is shown
    a.setGeometry(a.x(), a.y(), 400, 420);
    QApplication::processEvents();
    a.VisualTimerTimer();
    TPaintBox* editor = a.PaintBox3;
    const int w3 = editor->width();
    const int h3 = editor->height();

    // Band 8 dragged to the top row: the largest gain.
    const int x8 = w3 * 7 / 15 + w3 / 30;
    QTest::mousePress(editor, Qt::LeftButton, {}, QPoint(x8, h3 / 2));
    QTest::mouseMove(editor, QPoint(x8, 0));
    EXPECT_GT(Rec().EqualizerBand(8), 100);
    EXPECT_TRUE(a.StatusPanel2->text().startsWith("Gain at 1500 Hz: ")) << a.StatusPanel2->text().toStdString();
    QTest::mouseRelease(editor, Qt::LeftButton, {}, QPoint(x8, 0));

    // In the time line a click in the level box sets the cut-off fader.
    a.Timeline1->trigger();
    a.VisualTimerTimer();
    TPaintBox* box = a.PaintBox1;
    const int before = a.TrackBar3->value();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 4));
    EXPECT_NE(a.TrackBar3->value(), before);
    EXPECT_EQ(Rec().NoiseLevelValue(), a.TrackBar3->value());
    EXPECT_EQ(a.Level->LevelBitmap.Width(), box->width());
    EXPECT_EQ(a.Level->LevelBitmap.Height(), box->height());
}

}  // namespace
