// What only the Qt edge's real widgets show: widgets that follow the
// window, the user's moves reaching its handlers once, the splitters, the
// boxes under the host's close, and hints under the mouse.
#include "QtWindowFixture.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolTip>

namespace {

using QtEdge = QtWindowTest;

TEST_F(QtEdge, WidgetsFollowTheWindowAndAUsersMoveRunsTheHandlerOnce)
{
    TVxSoundApp& a = CreateWindow();
    ASSERT_TRUE(a.StartupComplete) << ::testing::PrintToString(boxes);
    win->show();
    for (int i = 0; i < kPositionControls; ++i) {
        const auto id = static_cast<TPositionId>(i);
        QAbstractSlider* slider = win->Slider(id);
        TPositionControl& c = a.Control(id);
        SCOPED_TRACE(slider->objectName().toStdString());
        int runs = 0;
        const auto handler = c.OnChange;
        c.OnChange = [&] { ++runs, handler(); };
        const int before = c.Position();
        slider->triggerAction(before == c.Max() ? QAbstractSlider::SliderSingleStepSub
                                                : QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(runs, 1);
        EXPECT_NE(c.Position(), before);
        EXPECT_EQ(slider->value(), c.Position());
        // The window's own move shows, and runs the handler only its own time.
        c.SetPosition(before);
        EXPECT_EQ(runs, 2);
        EXPECT_EQ(slider->value(), before);
        c.OnChange = handler;
    }

    // The host's choices reach the widgets through the tick.
    const auto host = HostMap();
    host->Data->SetNoiseLevelSwitch(1);
    host->Data->SetNoiseLevelValue(500);
    host->Data->SetGain(60);
    host->Data->SetShowInput(0);
    a.SharedMapTimerTimer();
    EXPECT_EQ(win->TrackBar3->maximum(), 150);
    EXPECT_EQ(win->TrackBar3->value(), 150);
    EXPECT_EQ(win->ScrollBar1->value(), -60);
    EXPECT_FALSE(win->Panel1->isVisible() || win->Label1->isVisible());
    a.Triggerfaders1Click();
    a.ClearUseFFT();
    EXPECT_FALSE(win->FaderPanel->isVisible() || win->FFTPanel->isVisible());
    EXPECT_TRUE(win->SoundCardPanel->isVisible());
    // Every item shows the image the window gave it.
    for (int i = 0; i < kMenuItems; ++i) {
        const auto id = static_cast<TMenuId>(i);
        EXPECT_EQ(win->MenuImage(id), a.Item(id).ImageIndex) << a.Item(id).Name;
        EXPECT_EQ(win->MenuAction(id)->icon().isNull(), a.Item(id).ImageIndex < 0) << a.Item(id).Name;
    }
    // Minimized, the display timer rests; stay on top restyles the shown
    // window in place.
    win->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(win->VisualTimer->isActive());
    win->setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(win->VisualTimer->isActive());
    QWindow* native = win->windowHandle();
    a.StayOnTop1Click();
    EXPECT_FALSE(win->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(win->windowHandle(), native);

    // The gain bar is in the Tab order, after the chooser, not before the
    // first fader.
    EXPECT_TRUE(win->ScrollBar1->focusPolicy() & Qt::TabFocus);
    QWidget* next = win->ComboBox1->nextInFocusChain();
    while (next != win->ScrollBar1 && next != win->TrackBar1)
        next = next->nextInFocusChain();
    EXPECT_EQ(next, win->ScrollBar1);
    // The taskbar finds a sharp icon at its own sizes, not a scaled 16 x 16.
    const QList<QSize> sizes = win->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(256, 256)));
    // The About window's one line of notice is not cut at its right end.
    TAboutForm about;
    EXPECT_LE(about.Copyright->geometry().right(), about.Panel1->contentsRect().right());
    EXPECT_GE(about.Copyright->width(), about.Copyright->sizeHint().width());
}

// Screen readers hear which menu items are switches or options and whether
// they are on, before and after a click, though the menu shows it only
// through the images.
TEST_F(QtEdge, MenuItemsTellScreenReadersTheirState)
{
    TVxSoundApp& a = CreateWindow();
    const auto announced = [&](TMenuId id) {
        QAction* action = win->MenuAction(id);
        QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(action->parent());
        for (int i = 0; menu != nullptr && i < menu->childCount(); ++i)
            if (menu->child(i)->object() == action)
                return menu->child(i)->state();
        ADD_FAILURE() << action->objectName().toStdString() << " has no accessible item";
        return QAccessible::State();
    };
    for (bool clicked : {false, true}) {
        if (clicked)
            for (TMenuId id : {TMenuId::StayOnTop1, TMenuId::High1})
                win->MenuAction(id)->trigger();
        for (int i = 0; i < kMenuItems; ++i) {
            const auto id = static_cast<TMenuId>(i);
            SCOPED_TRACE(a.Item(id).Name);
            const QAccessible::State state = announced(id);
            EXPECT_EQ(state.checkable, MenuCheckKind(id) != TMenuCheck::None);
            EXPECT_EQ(state.checked, state.checkable && a.Item(id).Tag == 1);
        }
    }
    EXPECT_EQ(a.Item(TMenuId::High1).Tag, 1);
    EXPECT_EQ(a.Item(TMenuId::Low1).Tag, 0);
}

TEST_F(QtEdge, SplittersHoldTheirLimitsAndHiddenPanelsKeepTheirSizes)
{
    // Show input > None with the equalizer on hides the level display: the
    // next start shows the spectrum panel at its former size.
    WriteIni("FormWidth=500\nFormHeight=400\nHSplitPos=300\nVSplitPos=320\nUseFFT=1\nShowInput=0\n");
    CreateWindow();
    win->show();
    QApplication::processEvents();
    CloseWindow();
    EXPECT_NE(Ini().find("HSplitPos=300\n"), std::string::npos) << Ini();
    EXPECT_NE(Ini().find("VSplitPos=320\n"), std::string::npos) << Ini();
    TVxSoundApp& a = CreateWindow();
    win->show();
    a.Realtime1Click();
    QApplication::processEvents();
    EXPECT_EQ(win->FFTPanel->width(), 200);
    EXPECT_EQ(win->PaintBox3->height(), 80);
    // None leaves the spectrum panel its own width at the right.
    a.None1Click();
    QApplication::processEvents();
    EXPECT_EQ(win->FFTPanel->width(), 200);
    EXPECT_EQ(win->FFTPanel->mapTo(win.get(), QPoint(win->FFTPanel->width(), 0)).x(), win->width());

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
        const QSize line = splitter->DragLine()->size();
        EXPECT_TRUE(splitter->DragLine()->isVisible());
        EXPECT_EQ(splitter->orientation() == Qt::Horizontal ? line.width() : line.height(), splitter->handleWidth());
        QTest::mouseRelease(handle, Qt::LeftButton, {}, to);
    };
    drag(win->Splitter1->handle(1), QPoint(200 - 15, 0));
    EXPECT_EQ(win->FFTPanel->width(), 200);
    drag(win->Splitter1->handle(1), QPoint(200 - 16, 0));
    EXPECT_EQ(win->FFTPanel->width(), 16);
    drag(win->Splitter2->handle(1), QPoint(0, 80 - 9));
    EXPECT_EQ(win->Panel2->height(), 80);
    drag(win->Splitter2->handle(1), QPoint(0, 80 - 10));
    EXPECT_EQ(win->Panel2->height(), 10);
    EXPECT_EQ(std::pair(a.KeptFftWidth, a.KeptPanel2Height), std::pair(16, 10));
}

// The host's close while a box is open ends the box and closes the window:
// the close question, and the error box of a start-up that failed.
TEST_F(QtEdge, TheHostsCloseEndsAnOpenBox)
{
    for (const bool question : {true, false}) {
        SCOPED_TRACE(question ? "close question" : "error box");
        whileBoxOpen = [this] { win->App.HostMessage(2524, 0, 0); };
        if (question) {
            CreateWindow();
            win->show();
            win->close();
        } else {
            CreateWindow((dir_ / "none.bmp").string());
        }
        EXPECT_FALSE(whileBoxOpen);
        EXPECT_TRUE(win->App.Closed);
        EXPECT_FALSE(win->isVisible());
        EXPECT_FALSE(WaveInOpen());
        EXPECT_TRUE(boxes.empty()) << ::testing::PrintToString(boxes);
    }
}

TEST_F(QtEdge, HintsFollowTheMouseAndShowInTheStatusBar)
{
    TVxSoundApp& a = CreateWindow();
    win->show();
    TStatusText* status = win->StatusPanel2;
    // Each control's hint: the short part as its tooltip, the long part in
    // the status bar when the mouse comes.
    for (int i = 0; i < kHintControls; ++i) {
        const auto id = static_cast<THintId>(i);
        QWidget* control = win->Control(id);
        EXPECT_EQ(control->toolTip().toStdString(), HintShortPart(a.Hint(id)));
        EXPECT_EQ(control->statusTip().toStdString(), HintLongPart(a.Hint(id)));
        // Screen readers get the hint's name and, with its values, its long part.
        if (id != THintId::StatusBar1) {
            EXPECT_FALSE(control->accessibleName().isEmpty());
            EXPECT_TRUE(control->toolTip().isEmpty() || control->toolTip().startsWith(control->accessibleName()))
                << control->toolTip().toStdString();
            EXPECT_EQ(control->accessibleDescription(), control->statusTip());
        }
        QStatusTipEvent tip(control->statusTip());
        QApplication::sendEvent(control, &tip);
        EXPECT_EQ(status->text(), control->statusTip());
    }
    const int left = win->StatusLights->x();
    QTest::mouseMove(win->StatusLights, QPoint(45 - left, 5));
    EXPECT_EQ(status->text(), "Flashes on trig");
    QTest::mouseMove(win->StatusLights, QPoint(10 - left, 5));
    EXPECT_EQ(status->text(), "Flashes if sound input is clipping");
    EXPECT_EQ(win->StatusBar1->toolTip(), "Clipping detector");
    QToolTip::showText(win->mapToGlobal(QPoint(10, 190)), "Clipping detector", win.get());
    ASSERT_TRUE(QToolTip::isVisible());
    QTest::mouseMove(win->StatusBar1, QPoint(150, 5));
    EXPECT_EQ(status->text(), "");
    // Gone at once, not at the tooltip's own expiry seconds later.
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 1500));

    // Band 8 of the equalizer dragged to the top row: the largest gain.
    CloseWaveIn();
    win->VisualTimer->stop();
    a.SetUseFFT();
    win->setGeometry(win->x(), win->y(), 400, 420);
    QApplication::processEvents();
    a.VisualTimerTimer();
    TPaintBox* editor = win->PaintBox3;
    const int x8 = editor->width() * 7 / 15 + editor->width() / 30;
    QTest::mousePress(editor, Qt::LeftButton, {}, QPoint(x8, editor->height() / 2));
    QTest::mouseMove(editor, QPoint(x8, 0));
    EXPECT_GT(Rec().EqualizerBand(8), 100);
    EXPECT_TRUE(status->text().startsWith("Gain at 1500 Hz: ")) << status->text().toStdString();
    QTest::mouseRelease(editor, Qt::LeftButton, {}, QPoint(x8, 0));
    // In the time line a click in the level box sets the cut-off fader.
    a.Timeline1Click();
    a.VisualTimerTimer();
    const int before = win->TrackBar3->value();
    QTest::mouseClick(win->PaintBox1, Qt::LeftButton, {}, QPoint(5, win->PaintBox1->height() / 4));
    EXPECT_NE(win->TrackBar3->value(), before);
    EXPECT_EQ(Rec().NoiseLevelValue(), win->TrackBar3->value());
    EXPECT_EQ(status->text().toStdString(), HintLongPart(a.Hint(THintId::TrackBar3)));
    EXPECT_EQ(a.Level.LevelBitmap.Width(), win->PaintBox1->width());

    // A menu opened with the keyboard shows its first item's hint.
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    QTest::keyClick(win.get(), Qt::Key_V, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return status->text() == "Don't show Audio Analyzer on startup"; }))
        << status->text().toStdString();
    win->Menu("View1")->close();
}

}  // namespace
