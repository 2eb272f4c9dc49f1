// Menu commands, faders, panels and hints of the main window.
#include "WindowFixture.h"

#include <QLocale>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QTest>
#include <QWindow>

#include "BlockAnalysis.h"

using Commands = WindowTest;

TEST_F(Commands, SwitchesAndChoicesWriteTheRecordAndMoveTheirImages)
{
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete) << errors.join("; ").toStdString();
    const struct {
        TMenuItem* item;
        std::uint8_t (SoundMapRecord::*field)() const;
    } switches[] = {
        {a.AutoSaveChanges1, &SoundMapRecord::AutoSaveChanges}, {a.Runminimized1, &SoundMapRecord::RunMinimized},
        {a.StayOnTop1, &SoundMapRecord::StayOnTop},           {a.Triggerfaders1, &SoundMapRecord::TriggerFaders},
        {a.SoundCard1, &SoundMapRecord::SoundCard},           {a.UseFFT1, &SoundMapRecord::UseFFT},
    };
    for (const auto& c : switches) {
        SCOPED_TRACE(c.item->objectName().toStdString());
        const int before = c.item->Tag;
        for (const int tag : {1 - before, before}) {
            c.item->trigger();
            EXPECT_EQ(c.item->Tag, tag);
            EXPECT_EQ((Rec().*c.field)(), tag);
            EXPECT_EQ(c.item->ImageIndex(), tag == 1 ? 10 : -1);
        }
    }
    // Key forwarding has no record byte: the record stays as it was.
    const std::vector<std::uint8_t> before = RecordBytes(Rec());
    a.PassKeypressestoVantorix->trigger();
    EXPECT_EQ(a.PassKeypressestoVantorix->ImageIndex(), 10);
    for (std::size_t off : {VXSM_OFF_SHOWINPUT, VXSM_OFF_USEFFT, VXSM_OFF_AUTOSAVECHANGES, VXSM_OFF_STAYONTOP})
        EXPECT_EQ(Rec().RawByte(off), before[off]);

    // The chosen option gets image 22, the others 23; choosing it again
    // writes its value again.
    a.Timeline1->trigger();
    Rec().SetShowInput(7);
    a.Timeline1->trigger();
    EXPECT_EQ(Rec().ShowInput(), 2);
    EXPECT_EQ(a.Timeline1->Tag, 1);
    EXPECT_EQ(a.Timeline1->ImageIndex(), 22);
    EXPECT_EQ(a.Realtime1->ImageIndex(), 23);
    EXPECT_EQ(a.None1->ImageIndex(), 23);
    a.Medium1->trigger();
    EXPECT_EQ(Rec().NoiseLevelSwitch(), 1);
    EXPECT_EQ(a.TrackBar3->maximum(), 150);
    EXPECT_EQ(a.Medium1->ImageIndex(), 22);
    EXPECT_EQ(a.Low1->ImageIndex(), 23);
    a.High1->trigger();
    EXPECT_EQ(Rec().NoiseLevelSwitch(), 2);
    EXPECT_EQ(a.TrackBar3->maximum(), 455);

    // Fixed images; every image the menu uses carries a picture on the
    // list's silver, the unused ones are plain.
    const std::pair<TMenuItem*, int> images[] = {{a.Exit1, 9}, {a.Volume1, 12}, {a.Equalizer1, 11}, {a.Contents1, 5}};
    for (const auto& [item, index] : images) {
        EXPECT_EQ(item->ImageIndex(), index);
        EXPECT_FALSE(item->icon().isNull());
    }
    QImage plain(16, 16, QImage::Format_RGB32);
    plain.fill(QColor(192, 192, 192));
    for (int i : {0, 5, 9, 10, 11, 12, 22, 23})
        EXPECT_EQ(ImageList1().Image(i).convertToFormat(QImage::Format_RGB32) == plain, i == 0) << i;
    EXPECT_TRUE(ImageList1().Image(TImageList::kCount).isNull());
}

TEST_F(Commands, PanelsHideAndStackTimersAndStayOnTopFollowTheWindowState)
{
    TVxSoundApp& a = Create();
    a.show();
    a.Realtime1->trigger();
    a.SetUseFFT();
    EXPECT_TRUE(a.Panel1->isVisible() && a.Label1->isVisible() && a.FFTPanel->isVisible());
    a.None1->trigger();
    EXPECT_FALSE(a.Panel1->isVisible() || a.Label1->isVisible() || a.PaintBox1->isVisible());
    a.Timeline1->trigger();
    EXPECT_TRUE(a.Label1->isVisible());
    a.UseFFT1->trigger();
    EXPECT_FALSE(a.FFTPanel->isVisible());
    QApplication::processEvents();
    EXPECT_EQ(a.Panel1->width(), a.Splitter1->width());

    // Faders above the device chooser above the status bar, whichever
    // came back first.
    const auto toggle = [&](std::initializer_list<TMenuItem*> items) {
        for (TMenuItem* it : items)
            it->trigger();
        QApplication::processEvents();
        const int bar = a.StatusBar1->geometry().top();
        const int cardTop = a.SoundCardPanel->mapTo(&a, QPoint(0, 0)).y();
        const int cardBottom = a.SoundCardPanel->isVisible() ? cardTop + a.SoundCardPanel->height() : bar;
        const int faderBottom = a.FaderPanel->mapTo(&a, QPoint(0, a.FaderPanel->height())).y();
        EXPECT_EQ(cardBottom, bar);
        EXPECT_TRUE(!a.FaderPanel->isVisible() || faderBottom == (a.SoundCardPanel->isVisible() ? cardTop : bar));
    };
    toggle({a.Triggerfaders1, a.SoundCard1});
    EXPECT_FALSE(a.FaderPanel->isVisible() || a.SoundCardPanel->isVisible());
    toggle({a.Triggerfaders1});
    toggle({a.SoundCard1});
    toggle({a.SoundCard1, a.Triggerfaders1});
    toggle({a.SoundCard1, a.Triggerfaders1});
    EXPECT_TRUE(a.FaderPanel->isVisible() && a.SoundCardPanel->isVisible());

    // Minimized, only the display timer stops; stay on top restyles the
    // shown window live.
    ASSERT_TRUE(a.VisualTimer->isActive());
    a.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(a.VisualTimer->isActive());
    EXPECT_TRUE(a.SharedMapTimer->isActive());
    a.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(a.VisualTimer->isActive());

    QWindow* native = a.windowHandle();
    ASSERT_NE(native, nullptr);
    EXPECT_TRUE(native->flags().testFlag(Qt::WindowStaysOnTopHint));
    a.StayOnTop1->trigger();
    EXPECT_EQ(Rec().StayOnTop(), 0);
    EXPECT_FALSE(a.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(a.windowHandle(), native);  // the same window, not a new one
    // The style follows the record when a menu opens; the image waits.
    Rec().SetStayOnTop(1);
    a.View1Click();
    EXPECT_TRUE(a.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(a.StayOnTop1->ImageIndex(), -1);
}

TEST_F(Commands, SplittersKeepSpectrumAndEqualizerAboveTheirLimits)
{
    TVxSoundApp& a = Create();
    a.SetUseFFT();
    a.show();
    QApplication::processEvents();
    // Each handle dragged in one move past its limit and released there:
    // the panel keeps its size. While dragged, a line as thin as the
    // handle shows where it would go.
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

TEST_F(Commands, FadersWriteTheRecordAndShowTheirReadOuts)
{
    // The gain read-out follows the locale; the noise read-out keeps its point.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TVxSoundApp& a = Create();
    EXPECT_EQ(Rec().GainText(), "0,0");
    EXPECT_EQ(a.Hint(a.ComboBox1), "Current soundcard|Input: Test input");
    a.High1Click();
    const struct {
        QAbstractSlider* fader;
        int position;
        int recorded;
        QString hint;  // the status panel shows its long part; empty: it keeps its text
    } cases[] = {
        {a.TrackBar1, 1, 1, "Decay|Minimum time between trigs: 46 ms"},
        {a.TrackBar1, 24, 24, "Decay|Minimum time between trigs: 580 ms"},  // 580.5 rounds to even
        {a.TrackBar1, 25, 25, "Decay|Minimum time between trigs: 604 ms"},
        {a.TrackBar3, 25, 25, "Noise cut-off level|Minimum sound trig level: -26.2 dB"},
        {a.TrackBar3, 150, 150, "Noise cut-off level|Minimum sound trig level: -10.7 dB"},
        {a.TrackBar3, 455, 455, "Noise cut-off level|Minimum sound trig level: -1.0 dB"},
        {a.TrackBar2, 299, 299, ""},
        {a.ScrollBar1, -127, 127, "Gain: 20,0dB|Gain: 20,0dB"},
        {a.ScrollBar1, 127, -127, "Gain: -20,0dB|Gain: -20,0dB"},
        {a.ScrollBar1, 1, -1, "Gain: -0,2dB|Gain: -0,2dB"},
        {a.ScrollBar1, -64, 64, "Gain: 10,1dB|Gain: 10,1dB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fader->objectName().toStdString() + " at " + std::to_string(c.position));
        a.StatusPanel2->setText("before");
        c.fader->setValue(c.position);
        const SoundMapRecord& r = Rec();
        EXPECT_EQ(c.fader == a.TrackBar1   ? r.TrigDecay()
                  : c.fader == a.TrackBar2 ? r.TrigAggr()
                  : c.fader == a.TrackBar3 ? r.NoiseLevelValue()
                                           : r.Gain(),
                  c.recorded);
        if (!c.hint.isEmpty()) {
            EXPECT_EQ(a.Hint(c.fader), c.hint);
            EXPECT_EQ(a.StatusPanel2->text(), c.hint.mid(c.hint.indexOf('|') + 1));
        } else {
            EXPECT_EQ(a.StatusPanel2->text(), "before");
        }
    }
    EXPECT_EQ(Rec().GainText(), "10,1");
    for (const auto& [position, factor] : {std::pair{-127, 10.0f}, std::pair{127, 0.1f}, std::pair{0, 1.0f}}) {
        a.ScrollBar1->setValue(position);
        EXPECT_FLOAT_EQ(GlobalGain.load(), factor);
    }
    QLocale::setDefault(saved);
}

TEST_F(Commands, StartUpAndSetDefaultLeaveTheGainForTheNextTick)
{
    WriteIni("NoiseLevelSwitch=0\nNoiseLevelValue=400\nTrigDecay=99\nTrigAggr=-5\nGain=20\nEqualizerBand3=64\n");
    TVxSoundApp& a = Create();
    EXPECT_EQ(a.TrackBar3->maximum(), 50);
    EXPECT_EQ(a.TrackBar3->value(), 50);
    EXPECT_EQ(Rec().NoiseLevelValue(), 50);
    EXPECT_EQ(a.TrackBar1->value(), 25);
    EXPECT_EQ(Rec().TrigDecay(), 25);
    EXPECT_EQ(a.TrackBar2->value(), 0);
    EXPECT_EQ(Rec().TrigAggr(), 0);
    // The last handler run was the aggressiveness one, which shows nothing.
    EXPECT_EQ(a.StatusPanel2->text(), "Minimum time between trigs: 604 ms");

    EXPECT_EQ(Rec().Gain(), 20);
    EXPECT_EQ(a.ScrollBar1->value(), 0);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.ScrollBar1->value(), -20);
    EXPECT_FLOAT_EQ(GlobalGain.load(), GainOfPosition(-20));

    a.Volume1->trigger();
    a.Equalizer1->trigger();
    EXPECT_EQ(Rec().Gain(), 0);
    EXPECT_EQ(Rec().EqualizerBand(3), 0);
    EXPECT_EQ(a.ScrollBar1->value(), -20);  // not at the click
}

TEST_F(Commands, WithoutASegmentTheHintsShowAndNothingCrashes)
{
    qputenv("VX_SEGMENT_NAME", "no/such/segment");
    TVxSoundApp& a = Create();
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_EQ(errors.front(), " Createfilemapping error.");
    EXPECT_EQ(a.Record(), nullptr);
    EXPECT_FALSE(WaveInOpen());
    // Start-up stopped before the settings, whose handlers rewrite the
    // faders' hints: every control shows the hint it was built with.
    const std::pair<QWidget*, const char*> controls[] = {
        {a.TrackBar1, "Decay|Minimum time between trigs"},
        {a.TrackBar2, "Aggresivness|Trigger sensitivity"},
        {a.TrackBar3, "Noise cut-off level|Minimum sound trig level:"},
        {a.ScrollBar1, "Gain: 0,0dB|Global volume setting for the sound input: 0,0dB"},
        {a.PaintBox1, "Level in|Use this window to verify sound level"},
        {a.PaintBox2, "Spectrum analyzer|Spectrum analyzer"},
    };
    for (const auto& [control, hint] : controls) {
        EXPECT_EQ((control->toolTip() + "|" + control->statusTip()).toStdString(), hint);
        QStatusTipEvent tip(control->statusTip());
        QApplication::sendEvent(control, &tip);
        EXPECT_EQ(a.StatusPanel2->text(), control->statusTip());
    }
    const std::pair<TMenuItem*, const char*> items[] = {
        {a.AutoSaveChanges1, "Save Equalizer and volume settings on exit"},
        {a.PassKeypressestoVantorix, "Pass Keypresses to Vantorix"},
        {a.Exit1, "Close Audio Analyzer"},
        {a.UseFFT1, "Enables equalizer and spectrum analyzer"},
        {a.Volume1, "Set the gain fader to the middle (default) position"},
        {a.Equalizer1, "Reset all equalizer faders to the middle (default) value"},
        {a.Runminimized1, "Don't show Audio Analyzer on startup"},
        {a.StayOnTop1, "Alway put Audio Analyzer in front"},
    };
    for (const auto& [item, hint] : items) {
        item->showStatusText(a.Analyzer1);
        EXPECT_EQ(a.StatusPanel2->text(), hint);
    }
    EXPECT_EQ(a.UseFFT1->toolTip(), "Trig on custom frequencies");
    for (TMenuItem* it : {a.AutoSaveChanges1, a.AutoSaveChanges1, a.UseFFT1, a.Volume1, a.Equalizer1, a.Low1, a.High1,
                          a.None1, a.Realtime1, a.Runminimized1, a.StayOnTop1, a.Triggerfaders1, a.SoundCard1})
        it->trigger();
    for (QAbstractSlider* fader : std::initializer_list<QAbstractSlider*>{a.TrackBar1, a.TrackBar2, a.TrackBar3, a.ScrollBar1})
        fader->setValue(3);
    a.SharedMapTimerTimer();
    a.VisualTimerTimer();
    EXPECT_TRUE(UserClose(true));
    // Start-up stopped before the settings were loaded: nothing is written.
    EXPECT_FALSE(std::filesystem::exists(IniPath()));
}
