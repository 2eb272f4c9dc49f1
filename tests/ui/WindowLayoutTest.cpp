// The window as a user meets it: a size that holds, split sizes that
// survive hidden panels, the panels' colours, the status bar's lights and
// hints.
#include "WindowFixture.h"

#include <QScreen>
#include <QTest>
#include <QToolTip>

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
    // A started window closed by the user, then the settings it wrote.
    std::string CloseAndRead()
    {
        EXPECT_TRUE(UserClose(true));
        return Ini();
    }
};

TEST_F(Layout, FirstStartKeepsItsDesignSizeWhileHintsChange)
{
    TVxSoundApp& a = Shown();
    EXPECT_EQ(a.size(), QSize(200, 200));
    a.ApplicationHint("|Reset all equalizer faders to the middle (default) value, and a good deal more text");
    QApplication::processEvents();
    EXPECT_EQ(a.size(), QSize(200, 200));
    EXPECT_LE(a.minimumSizeHint().width(), 200);
    const std::string ini = CloseAndRead();
    EXPECT_NE(ini.find("FormWidth=200\n"), std::string::npos) << ini;
}

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
        EXPECT_LE(a.Level->LevelBitmap.Width(), screen.width());
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
    // Equalizer off, and Show input > None with the equalizer on: either
    // way the next start shows the spectrum panel at its former width.
    for (const char* hide : {"UseFFT=0\n", "UseFFT=1\nShowInput=0\n"}) {
        SCOPED_TRACE(hide);
        WriteIni(std::string("FormWidth=500\nFormHeight=400\nHSplitPos=300\nVSplitPos=320\n") + hide);
        Shown();
        const std::string ini = CloseAndRead();
        EXPECT_NE(ini.find("HSplitPos=300\n"), std::string::npos) << ini;
        EXPECT_NE(ini.find("VSplitPos=320\n"), std::string::npos) << ini;
        w.reset();
    }
    TVxSoundApp& a = Shown();
    a.SetUseFFT();
    a.Realtime1Click();
    QApplication::processEvents();
    EXPECT_EQ(a.FFTPanel->width(), 200);
    EXPECT_EQ(a.PaintBox3->height(), 80);
    EXPECT_GT(a.PaintBox1->width(), 200);
}

TEST_F(Layout, NoneLeavesTheSpectrumPanelItsOwnWidthAtTheRight)
{
    WriteIni("FormWidth=500\nFormHeight=400\nHSplitPos=300\nUseFFT=1\n");
    TVxSoundApp& a = Shown();
    a.None1Click();
    QApplication::processEvents();
    EXPECT_EQ(a.FFTPanel->width(), 200);
    EXPECT_EQ(a.FFTPanel->mapTo(&a, QPoint(a.FFTPanel->width(), 0)).x(), a.width());
}

TEST_F(Layout, BoxesLightsAndFadersSitWhereDesigned)
{
    TVxSoundApp& a = Shown();
    // Boxes one bevel pixel inside their panels.
    EXPECT_EQ(a.PaintBox1->mapTo(a.Panel1, QPoint(0, 0)), QPoint(1, 1));
    EXPECT_EQ(a.PaintBox1->width(), a.Panel1->width() - 2);
    // The lights: two 30-pixel panels at the bar's left edge, full height.
    EXPECT_EQ(a.StatusLights->geometry(), QRect(0, 0, 60, a.StatusBar1->height()));
    EXPECT_EQ(a.StatusPanel2->x(), 60);
    // The faders stand on the button face, and their tick marks show on it.
    const QImage faders = a.FaderPanel->grab().toImage();
    EXPECT_EQ(QColor(faders.pixel(faders.width() - 1, 0)), QColor::fromRgb(clBtnFace));
    const QImage decay = a.TrackBar1->grab().toImage();
    // Marks darker than the face and lighter than black (black on black
    // was the fault).
    int dark = 0;
    for (int y = decay.height() / 2 + 3; y < decay.height(); ++y)
        for (int x = 0; x < decay.width(); ++x)
            dark += qGray(decay.pixel(x, y)) >= 60 && qGray(decay.pixel(x, y)) <= 200;
    EXPECT_GE(dark, 10) << "no tick marks below the decay fader";
}

TEST_F(Layout, StatusHintsClearTheirTooltipAndFollowAKeyboardMenu)
{
    TVxSoundApp& a = Shown();
    QToolTip::showText(a.mapToGlobal(QPoint(10, 190)), "Clipping detector", &a);
    ASSERT_TRUE(QToolTip::isVisible());
    QTest::mouseMove(a.StatusLights, QPoint(10, 5));
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

}  // namespace
