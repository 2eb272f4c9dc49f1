// Menu commands, view state, layout and hints of the main window.
#include "WindowFixture.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QTest>
#include <QWindow>

#include "BlockAnalysis.h"

// The toolkit rule the faders and the synchronisation rely on, checked once
// against the real controls: setValue clamps and signals only on a change,
// and a lower maximum clamps the position.
TEST(ToolkitRule, SliderAndScrollBarClampAndSignalOnlyOnChange)
{
    EnsureTestApplication();
    QSlider slider(Qt::Horizontal);
    slider.setRange(1, 455);
    slider.setValue(100);
    QSignalSpy moved(&slider, &QSlider::valueChanged);
    slider.setValue(100);
    EXPECT_EQ(moved.count(), 0);
    slider.setValue(1000);
    EXPECT_EQ(slider.value(), 455);
    EXPECT_EQ(moved.count(), 1);
    slider.setValue(2000);
    EXPECT_EQ(moved.count(), 1);
    slider.setMaximum(50);
    EXPECT_EQ(slider.value(), 50);
    EXPECT_EQ(moved.count(), 2);
    slider.setMaximum(455);
    EXPECT_EQ(slider.value(), 50);
    EXPECT_EQ(moved.count(), 2);

    QScrollBar bar(Qt::Vertical);
    bar.setRange(-127, 127);
    QSignalSpy scrolled(&bar, &QScrollBar::valueChanged);
    bar.setValue(128);
    EXPECT_EQ(bar.value(), 127);
    bar.setValue(128);
    EXPECT_EQ(scrolled.count(), 1);
}

using Commands = WindowTest;

TEST_F(Commands, SwitchesToggleTagRecordByteAndCheckImage)
{
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete) << errors.join("; ").toStdString();
    struct Case {
        TMenuItem* item;
        std::uint8_t (SoundMapRecord::*field)() const;
    };
    const Case cases[] = {
        {a.AutoSaveChanges1, &SoundMapRecord::AutoSaveChanges}, {a.Runminimized1, &SoundMapRecord::RunMinimized},
        {a.StayOnTop1, &SoundMapRecord::StayOnTop},           {a.Triggerfaders1, &SoundMapRecord::TriggerFaders},
        {a.SoundCard1, &SoundMapRecord::SoundCard},           {a.UseFFT1, &SoundMapRecord::UseFFT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item->objectName().toStdString());
        const int before = c.item->Tag;
        c.item->trigger();
        EXPECT_EQ(c.item->Tag, 1 - before);
        EXPECT_EQ((Rec().*c.field)(), c.item->Tag);
        EXPECT_EQ(c.item->ImageIndex(), c.item->Tag == 1 ? 10 : -1);
        c.item->trigger();
        EXPECT_EQ(c.item->Tag, before);
        EXPECT_EQ((Rec().*c.field)(), before);
    }

    // Key forwarding has no record byte: the record stays as it was.
    const std::vector<std::uint8_t> before = RecordBytes(Rec());
    a.PassKeypressestoVantorix->trigger();
    EXPECT_EQ(a.PassKeypressestoVantorix->Tag, 1);
    EXPECT_EQ(a.PassKeypressestoVantorix->ImageIndex(), 10);
    const std::vector<std::uint8_t> bytes = RecordBytes(Rec());
    for (std::size_t off : {std::size_t{VXSM_OFF_SHOWINPUT}, std::size_t{VXSM_OFF_USEFFT},
                            std::size_t{VXSM_OFF_AUTOSAVECHANGES}, std::size_t{VXSM_OFF_STAYONTOP}})
        EXPECT_EQ(bytes[off], before[off]);
}

TEST_F(Commands, OptionGroupsWriteTheirValueAndMoveTheSelectionImage)
{
    TVxSoundApp& a = Create();
    a.Timeline1->trigger();
    EXPECT_EQ(Rec().ShowInput(), 2);
    EXPECT_EQ(a.Timeline1->Tag, 1);
    EXPECT_EQ(a.Realtime1->Tag, 0);
    EXPECT_EQ(a.Timeline1->ImageIndex(), 22);
    EXPECT_EQ(a.Realtime1->ImageIndex(), 23);
    EXPECT_EQ(a.None1->ImageIndex(), 23);
    // An already selected option writes its value again and changes nothing.
    Rec().SetShowInput(7);
    a.Timeline1->trigger();
    EXPECT_EQ(Rec().ShowInput(), 2);
    EXPECT_EQ(a.Timeline1->ImageIndex(), 22);

    a.Medium1->trigger();
    EXPECT_EQ(Rec().NoiseLevelSwitch(), 1);
    EXPECT_EQ(a.TrackBar3->maximum(), 150);
    EXPECT_EQ(a.Medium1->ImageIndex(), 22);
    EXPECT_EQ(a.Low1->ImageIndex(), 23);
    a.High1->trigger();
    EXPECT_EQ(Rec().NoiseLevelSwitch(), 2);
    EXPECT_EQ(a.TrackBar3->maximum(), 455);
    EXPECT_EQ(a.Medium1->Tag, 0);

    // Fixed images.
    EXPECT_EQ(a.Exit1->ImageIndex(), 9);
    EXPECT_EQ(a.Volume1->ImageIndex(), 12);
    EXPECT_EQ(a.Equalizer1->ImageIndex(), 11);
    EXPECT_EQ(a.Contents1->ImageIndex(), 5);
    EXPECT_EQ(a.About1->ImageIndex(), -2);  // never given one
    EXPECT_FALSE(a.Exit1->icon().isNull());
    // Tags and groups of the menu as designed.
    EXPECT_EQ(a.Low1->GroupIndex, 2);
    EXPECT_EQ(a.None1->GroupIndex, 1);
    EXPECT_TRUE(a.Exit1->shortcut().isEmpty());
    EXPECT_FALSE(a.Low1->isCheckable());
}

TEST_F(Commands, ImageListHasTwentyFiveSilverBackedImages)
{
    Create();
    for (int i = 0; i < TImageList::kCount; ++i) {
        const QImage image = ImageList1().Image(i);
        ASSERT_EQ(image.size(), QSize(16, 16)) << i;
        EXPECT_EQ(image.pixelColor(0, 0), QColor(192, 192, 192)) << i;
    }
    // The used ones carry a picture, the others are plain.
    const auto plain = [](const QImage& im) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (im.pixelColor(x, y) != QColor(192, 192, 192))
                    return false;
        return true;
    };
    for (int i : {5, 9, 10, 11, 12, 22, 23})
        EXPECT_FALSE(plain(ImageList1().Image(i))) << i;
    EXPECT_TRUE(plain(ImageList1().Image(0)));
    EXPECT_TRUE(ImageList1().Image(25).isNull());
}

TEST_F(Commands, NoneHidesLevelDisplayWithTempoAndEqualizerOffHidesRightPanel)
{
    TVxSoundApp& a = Create();
    a.show();
    a.Realtime1->trigger();
    a.SetUseFFT();
    EXPECT_TRUE(a.Panel1->isVisible());
    EXPECT_TRUE(a.Label1->isVisible());
    EXPECT_TRUE(a.FFTPanel->isVisible());
    a.None1->trigger();
    EXPECT_FALSE(a.Panel1->isVisible());
    EXPECT_FALSE(a.Label1->isVisible());
    EXPECT_FALSE(a.PaintBox1->isVisible());
    a.Timeline1->trigger();
    EXPECT_TRUE(a.Label1->isVisible());

    a.UseFFT1->trigger();
    EXPECT_EQ(a.UseFFT1->Tag, 0);
    EXPECT_FALSE(a.FFTPanel->isVisible());
    QApplication::processEvents();
    EXPECT_EQ(a.Panel1->width(), a.Splitter1->width());
}

TEST_F(Commands, FadersStayAboveChooserAboveStatusBarInAnyOrder)
{
    TVxSoundApp& a = Create();
    a.show();
    const auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        QApplication::processEvents();
        const int bar = a.StatusBar1->geometry().top();
        const int cardTop = a.SoundCardPanel->mapTo(&a, QPoint(0, 0)).y();
        const int faderTop = a.FaderPanel->mapTo(&a, QPoint(0, 0)).y();
        if (a.SoundCardPanel->isVisible()) {
            EXPECT_EQ(cardTop + a.SoundCardPanel->height(), bar);
        }
        if (a.FaderPanel->isVisible()) {
            EXPECT_EQ(faderTop + a.FaderPanel->height(), a.SoundCardPanel->isVisible() ? cardTop : bar);
        }
    };
    check("start");
    a.Triggerfaders1->trigger();
    EXPECT_FALSE(a.FaderPanel->isVisible());
    a.SoundCard1->trigger();
    EXPECT_FALSE(a.SoundCardPanel->isVisible());
    a.Triggerfaders1->trigger();
    check("faders back first");
    a.SoundCard1->trigger();
    check("chooser back second");
    a.SoundCard1->trigger();
    a.Triggerfaders1->trigger();
    a.SoundCard1->trigger();
    a.Triggerfaders1->trigger();
    check("other order");
    EXPECT_TRUE(a.FaderPanel->isVisible() && a.SoundCardPanel->isVisible());
}

TEST_F(Commands, SplittersKeepSpectrumAndEqualizerAboveTheirLimits)
{
    TVxSoundApp& a = Create();
    a.SetUseFFT();
    a.show();
    QApplication::processEvents();
    // Each handle dragged in one move past its limit and released there:
    // the can-resize handler refuses, and the panel keeps its size. While
    // dragged, a line as thin as the handle shows where it would go.
    const auto drag = [](QSplitterHandle* handle, QPoint by) {
        const QPoint from = handle->rect().center();
        const QPoint to = from + by;
        QTest::mousePress(handle, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), handle->mapToGlobal(QPointF(to)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        const auto* splitter = static_cast<TSplitter*>(handle->splitter());
        EXPECT_TRUE(splitter->DragLine()->isVisible());
        const QSize line = splitter->DragLine()->size();
        EXPECT_EQ(splitter->orientation() == Qt::Horizontal ? line.width() : line.height(), splitter->handleWidth());
        QTest::mouseRelease(handle, Qt::LeftButton, {}, to);
        EXPECT_FALSE(splitter->DragLine()->isVisible());
    };
    const int fft = a.FFTPanel->width();
    drag(a.Splitter1->handle(1), QPoint(fft - 15, 0));
    EXPECT_EQ(a.FFTPanel->width(), fft);
    drag(a.Splitter1->handle(1), QPoint(fft - 16, 0));
    EXPECT_EQ(a.FFTPanel->width(), 16);
    const int editor = a.Panel2->height();
    drag(a.Splitter2->handle(1), QPoint(0, editor - 9));
    EXPECT_EQ(a.Panel2->height(), editor);
    drag(a.Splitter2->handle(1), QPoint(0, editor - 10));
    EXPECT_EQ(a.Panel2->height(), 10);
}

TEST_F(Commands, SetDefaultWritesRecordAndTheNextTickMovesTheControls)
{
    TVxSoundApp& a = Create();
    a.ScrollBar1->setValue(-50);
    EXPECT_EQ(Rec().Gain(), 50);
    Rec().SetEqualizerBand(3, 64);
    a.SharedMapTimerTimer();
    EXPECT_NEAR(EqGain[3].load(), 3.1623f, 1e-4f);

    a.Volume1->trigger();
    a.Equalizer1->trigger();
    EXPECT_EQ(Rec().Gain(), 0);
    EXPECT_EQ(Rec().EqualizerBand(3), 0);
    EXPECT_EQ(a.ScrollBar1->value(), -50);  // not at the click
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.ScrollBar1->value(), 0);
    EXPECT_FLOAT_EQ(EqGain[3].load(), 1.0f);
    EXPECT_EQ(a.StatusPanel2->text(), "Gain: " + GainReadout(1.0f) + "dB");
}

TEST_F(Commands, HintsReachStatusPanelFromControlsAndMenuItems)
{
    TVxSoundApp& a = Create();
    EXPECT_EQ(a.PaintBox1->toolTip(), "Level in");
    EXPECT_EQ(a.PaintBox1->statusTip(), "Use this window to verify sound level");
    EXPECT_EQ(a.ComboBox1->toolTip(), "Current soundcard");
    EXPECT_EQ(a.ComboBox1->statusTip(), "Input: Test input");
    QStatusTipEvent tip(a.PaintBox2->statusTip());
    QApplication::sendEvent(a.PaintBox2, &tip);
    EXPECT_EQ(a.StatusPanel2->text(), "Spectrum analyzer");
    a.Exit1->showStatusText(a.Analyzer1);
    EXPECT_EQ(a.StatusPanel2->text(), "Close Audio Analyzer");
    a.PassKeypressestoVantorix->showStatusText(a.Analyzer1);
    EXPECT_EQ(a.StatusPanel2->text(), "Pass Keypresses to Vantorix");
}

TEST_F(Commands, MinimizeStopsOnlyTheDisplayTimer)
{
    TVxSoundApp& a = Create();
    a.show();
    ASSERT_TRUE(a.VisualTimer->isActive());
    EXPECT_EQ(a.VisualTimer->interval(), 100);
    EXPECT_EQ(a.SharedMapTimer->interval(), 100);
    a.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(a.VisualTimer->isActive());
    EXPECT_TRUE(a.SharedMapTimer->isActive());
    a.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(a.VisualTimer->isActive());
}

TEST_F(Commands, StayOnTopFollowsTheRecordLiveOnTheShownWindow)
{
    TVxSoundApp& a = Create();
    a.show();
    QApplication::processEvents();
    ASSERT_NE(a.windowHandle(), nullptr);
    EXPECT_TRUE(a.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QWindow* native = a.windowHandle();
    a.StayOnTop1->trigger();
    EXPECT_EQ(Rec().StayOnTop(), 0);
    EXPECT_FALSE(a.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(a.windowHandle(), native);  // the same window, not a new one
    EXPECT_TRUE(a.isVisible());
    // The style follows the record when a menu opens; the image waits.
    Rec().SetStayOnTop(1);
    a.View1Click();
    EXPECT_TRUE(a.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(a.StayOnTop1->ImageIndex(), -1);
}

TEST_F(Commands, WithoutASegmentNothingCrashes)
{
    qputenv("VX_SEGMENT_NAME", "no/such/segment");
    TVxSoundApp& a = Create();
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_EQ(errors.front(), " Createfilemapping error.");
    EXPECT_EQ(a.Record(), nullptr);
    EXPECT_FALSE(WaveInOpen());
    a.AutoSaveChanges1->trigger();
    a.AutoSaveChanges1->trigger();
    for (TMenuItem* it : {a.UseFFT1, a.Volume1, a.Equalizer1, a.Low1, a.High1, a.None1,
                          a.Realtime1, a.Runminimized1, a.StayOnTop1, a.Triggerfaders1, a.SoundCard1})
        it->trigger();
    a.TrackBar1->setValue(3);
    a.TrackBar2->setValue(3);
    a.TrackBar3->setValue(3);
    a.ScrollBar1->setValue(3);
    a.SharedMapTimerTimer();
    a.VisualTimerTimer();
    EXPECT_TRUE(UserClose(true));
    // Start-up stopped before the settings were loaded: nothing is written.
    EXPECT_FALSE(std::filesystem::exists(IniPath()));
}
