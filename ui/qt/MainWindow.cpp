// The main window in Qt: construction and layout of the controls, their
// positions and panels, the window's placement and state, and the events
// that reach the window's handlers.
#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusTipEvent>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <utility>

#include "QtKeyMessages.h"

namespace {

constexpr const char* kTitle = kApplicationTitle;

QFrame* MakePanel(QWidget* parent, bool lowered, const char* name)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    if (lowered) {
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setLineWidth(1);
    } else {
        panel->setFrameShape(QFrame::NoFrame);
    }
    return panel;
}

void Fill(QWidget* w, QColor colour)
{
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
}

void Black(QWidget* w)
{
    Fill(w, Qt::black);
}

// The toolkit's default panel colour: the faders' tick marks and the
// chooser's frame stand on it, not on the window's black.
void ButtonFace(QWidget* w)
{
    Fill(w, QColor::fromRgb(clBtnFace));
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    w->setPalette(pal);
}

QSlider* MakeFader(QWidget* parent, const char* name, const TPositionControl& control, int tick)
{
    auto* fader = new QSlider(Qt::Horizontal, parent);
    fader->setObjectName(name);
    fader->setRange(control.Min(), control.Max());
    fader->setValue(control.Position());
    fader->setTickPosition(QSlider::TicksBelow);
    fader->setTickInterval(tick);
    return fader;
}

}  // namespace

// ---- construction ----------------------------------------------------------

TVxSoundWindow::TVxSoundWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("VxSoundApp");
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    ImageList1().Load();
    setWindowIcon(TImageList::WindowIcon());
    images_.fill(-2);
    BuildControls();
    BuildMenu();
    ConnectDisplays();
    setGeometry(450, 185, 305, 333);
    // Designed stay-on-top and minimized; start-up decides what is shown.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    VisualTimer = new QTimer(this);
    VisualTimer->setInterval(100);
    connect(VisualTimer, &QTimer::timeout, this, [this] { App.VisualTimerTimer(); });
    SharedMapTimer = new QTimer(this);
    SharedMapTimer->setInterval(100);
    connect(SharedMapTimer, &QTimer::timeout, this, [this] { App.SharedMapTimerTimer(); });
    VisualTimer->start();
    SharedMapTimer->start();
}

TVxSoundWindow::~TVxSoundWindow()
{
    if (keyFilter_ != nullptr)
        qApp->removeEventFilter(keyFilter_);
    qApp->removeEventFilter(this);
}

void TVxSoundWindow::BuildControls()
{
    auto* central = new QWidget(this);
    Black(central);
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    column->addLayout(row, 1);

    ScrollBar1 = new QScrollBar(Qt::Vertical, central);
    ScrollBar1->setObjectName("ScrollBar1");
    ScrollBar1->setRange(App.ScrollBar1.Min(), App.ScrollBar1.Max());
    ScrollBar1->setValue(App.ScrollBar1.Position());
    ScrollBar1->setPageStep(10);
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setFixedWidth(16);
    // Reachable with Tab for keyboard users; a click leaves the focus where it is.
    ScrollBar1->setFocusPolicy(Qt::TabFocus);
    row->addWidget(ScrollBar1);

    Splitter1 = new TSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setHandleWidth(1);
    Splitter1->HandleColor = QColor::fromRgb(clBtnFace);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->OnCanResize = [this](int fftWidth) { return App.Splitter1CanResize(fftWidth); };
    row->addWidget(Splitter1, 1);

    LevelArea = new QWidget(Splitter1);
    LevelArea->setObjectName("LevelArea");
    Black(LevelArea);
    auto* area = new QVBoxLayout(LevelArea);
    area->setContentsMargins(0, 0, 0, 0);
    Panel1 = MakePanel(LevelArea, true, "Panel1");
    area->addWidget(Panel1);
    Black(Panel1);
    auto* p1 = new QVBoxLayout(Panel1);
    // The boxes sit inside the 1-pixel bevel, nothing more.
    p1->setContentsMargins(0, 0, 0, 0);
    p1->setSpacing(0);
    PaintBox1 = new TPaintBox(Panel1);
    PaintBox1->setObjectName("PaintBox1");
    p1->addWidget(PaintBox1, 1);
    Label1 = new QLabel("0.00 BPM", Panel1);
    Label1->setObjectName("Label1");
    Label1->setFixedHeight(13);
    Label1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Label1->setStyleSheet("QLabel { color: red; background: black; }");
    p1->addWidget(Label1);
    Panel1->installEventFilter(this);

    FFTPanel = MakePanel(Splitter1, true, "FFTPanel");
    Black(FFTPanel);
    FFTPanel->setMinimumWidth(TVxSoundApp::kLeastFftWidth);
    auto* fft = new QVBoxLayout(FFTPanel);
    fft->setContentsMargins(0, 0, 0, 0);
    fft->setSpacing(0);
    Splitter2 = new TSplitter(Qt::Vertical, FFTPanel);
    Splitter2->setObjectName("Splitter2");
    Splitter2->setHandleWidth(2);
    Splitter2->HandleColor = QColor(128, 128, 128);
    Splitter2->setChildrenCollapsible(false);
    Splitter2->OnCanResize = [this](int panel2Height) { return App.Splitter2CanResize(panel2Height); };
    fft->addWidget(Splitter2);
    PaintBox2 = new TPaintBox(Splitter2);
    PaintBox2->setObjectName("PaintBox2");
    Panel2 = MakePanel(Splitter2, false, "Panel2");
    Black(Panel2);
    Panel2->setMinimumHeight(TVxSoundApp::kLeastPanel2Height);
    auto* p2 = new QVBoxLayout(Panel2);
    p2->setContentsMargins(0, 0, 0, 0);
    PaintBox3 = new TPaintBox(Panel2);
    PaintBox3->setObjectName("PaintBox3");
    p2->addWidget(PaintBox3);
    Splitter2->addWidget(PaintBox2);
    Splitter2->addWidget(Panel2);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({174, 38});
    FFTPanel->installEventFilter(this);
    Panel2->installEventFilter(this);
    Splitter1->addWidget(LevelArea);
    Splitter1->addWidget(FFTPanel);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({129, 151});

    // Stacked from the bottom: status bar, sound-card panel, faders.
    FaderPanel = MakePanel(central, false, "FaderPanel");
    ButtonFace(FaderPanel);
    FaderPanel->setFixedHeight(28);
    auto* faders = new QHBoxLayout(FaderPanel);
    faders->setContentsMargins(0, 0, 0, 0);
    faders->setSpacing(0);
    TrackBar1 = MakeFader(FaderPanel, "TrackBar1", App.TrackBar1, 2);
    TrackBar1->setFixedWidth(81);
    TrackBar3 = MakeFader(FaderPanel, "TrackBar3", App.TrackBar3, 10);
    TrackBar3->setFixedWidth(57);
    TrackBar2 = MakeFader(FaderPanel, "TrackBar2", App.TrackBar2, 10);
    TrackBar2->setMinimumWidth(8);
    faders->addWidget(TrackBar1);
    faders->addWidget(TrackBar3);
    faders->addWidget(TrackBar2, 1);
    column->addWidget(FaderPanel);

    SoundCardPanel = MakePanel(central, false, "SoundCardPanel");
    ButtonFace(SoundCardPanel);
    SoundCardPanel->setFixedHeight(22);
    auto* card = new QHBoxLayout(SoundCardPanel);
    card->setContentsMargins(0, 0, 0, 1);
    ComboBox1 = new QComboBox(SoundCardPanel);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setEditable(false);
    // Long device names must not widen the window.
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboBox1->setMinimumContentsLength(4);
    ComboBox1->setStyleSheet("QComboBox { color: lime; background: black; }"
                             "QComboBox QAbstractItemView { color: lime; background: black; }");
    card->addWidget(ComboBox1);
    column->addWidget(SoundCardPanel);

    StatusBar1 = new TStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setFixedHeight(21);
    // The bar keeps the button face, so an unlit clipping light shows it.
    {
        StatusBar1->setAutoFillBackground(true);
        QPalette pal = StatusBar1->palette();
        pal.setColor(QPalette::Window, QColor::fromRgb(clBtnFace));
        pal.setColor(QPalette::WindowText, Qt::black);
        StatusBar1->setPalette(pal);
    }
    StatusLights = new TPaintBox(StatusBar1);
    StatusLights->setObjectName("StatusLights");
    StatusLights->SetBackground(clBtnFace);
    StatusPanel2 = new TStatusText(StatusBar1);
    StatusPanel2->setObjectName("StatusPanel2");
    StatusBar1->SetPanels(StatusLights, StatusPanel2, 2 * kLightPanelWidth);
    setStatusBar(StatusBar1);
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { KeepSplits(); });
    connect(Splitter2, &QSplitter::splitterMoved, this, [this] { KeepSplits(); });

    // What the user moves goes to the window's control, which runs the
    // change handler; what the window shows is set with signals blocked.
    for (TPositionId id : {TPositionId::TrackBar1, TPositionId::TrackBar2, TPositionId::TrackBar3,
                           TPositionId::ScrollBar1}) {
        QAbstractSlider* slider = Slider(id);
        connect(slider, &QAbstractSlider::valueChanged, this,
                [this, id](int value) { App.Control(id).SetPosition(value); });
    }
    // Only the user's choice switches devices; start-up selects silently.
    connect(ComboBox1, &QComboBox::activated, this, [this](int index) { App.ComboBox1Select(index); });
    // The gain bar comes last in the Tab order, so the first fader keeps
    // the focus a shown window starts with.
    setTabOrder(ComboBox1, ScrollBar1);
    // Screen readers name the controls after the short parts of their
    // hints; those of the gain bar and cut-off fader carry values.
    const std::pair<QWidget*, const char*> names[] = {
        {TrackBar1, "Decay"},          {TrackBar3, "Noise cut-off level"},
        {TrackBar2, "Aggresivness"},   {ScrollBar1, "Gain"},
        {ComboBox1, "Current soundcard"}, {PaintBox1, "Level in"},
        {PaintBox2, "Spectrum analyzer"}, {PaintBox3, "Equalizer"},
    };
    for (const auto& [w, name] : names)
        w->setAccessibleName(QString::fromLatin1(name));
    for (int i = 0; i < kHintControls; ++i)
        ShowHint(static_cast<THintId>(i), App.Hint(static_cast<THintId>(i)));
}


QAbstractSlider* TVxSoundWindow::Slider(TPositionId control) const
{
    switch (control) {
    case TPositionId::TrackBar1: return TrackBar1;
    case TPositionId::TrackBar2: return TrackBar2;
    case TPositionId::TrackBar3: return TrackBar3;
    case TPositionId::ScrollBar1: break;
    }
    return ScrollBar1;
}

QWidget* TVxSoundWindow::Control(THintId control) const
{
    switch (control) {
    case THintId::ScrollBar1: return ScrollBar1;
    case THintId::TrackBar1: return TrackBar1;
    case THintId::TrackBar2: return TrackBar2;
    case THintId::TrackBar3: return TrackBar3;
    case THintId::ComboBox1: return ComboBox1;
    case THintId::PaintBox1: return PaintBox1;
    case THintId::PaintBox2: return PaintBox2;
    case THintId::PaintBox3: return PaintBox3;
    case THintId::StatusBar1: break;
    }
    return StatusBar1;
}

QWidget* TVxSoundWindow::PanelWidget(TPanelId panel) const
{
    switch (panel) {
    case TPanelId::Panel1: return Panel1;
    case TPanelId::FFTPanel: return FFTPanel;
    case TPanelId::FaderPanel: return FaderPanel;
    case TPanelId::SoundCardPanel: break;
    }
    return SoundCardPanel;
}

// ---- controls and panels -----------------------------------------------------

void TVxSoundWindow::ShowPosition(TPositionId control, int min, int max, int position)
{
    QAbstractSlider* slider = Slider(control);
    const QSignalBlocker quiet(slider);
    slider->setRange(min, max);
    slider->setValue(position);
}

void TVxSoundWindow::ShowPanel(TPanelId panel, bool visible)
{
    // Layouts run now, so that what they do to the splitters is not kept.
    ++pendingRestores_;
    if (QLayout* l = centralWidget()->layout())
        l->activate();
    PanelWidget(panel)->setVisible(visible);
    if (QLayout* l = centralWidget()->layout())
        l->activate();
    --pendingRestores_;
}

void TVxSoundWindow::ShowDevices(const std::vector<std::string>& entries, int selected)
{
    const QSignalBlocker quiet(ComboBox1);
    QStringList texts;
    for (const std::string& entry : entries)
        texts << QString::fromStdString(entry);
    QStringList shown;
    for (int i = 0; i < ComboBox1->count(); ++i)
        shown << ComboBox1->itemText(i);
    if (shown != texts) {
        ComboBox1->clear();
        ComboBox1->addItems(texts);
    }
    ComboBox1->setCurrentIndex(selected);
}

void TVxSoundWindow::EnableTimer(TTimerId timer, bool enabled)
{
    QTimer* t = timer == TTimerId::VisualTimer ? VisualTimer : SharedMapTimer;
    if (enabled)
        t->start();
    else
        t->stop();
}

// ---- splitters -------------------------------------------------------------------

bool TVxSoundWindow::CurrentSplits(int& fftWidth, int& panel2Height) const
{
    if (!FFTPanel->isVisible())
        return false;
    fftWidth = FFTPanel->width();
    panel2Height = Panel2->height();
    return true;
}

void TVxSoundWindow::ShowSplits(int, int)
{
    RestoreSplitsNowAndLater();
}

void TVxSoundWindow::KeepSplits()
{
    if (restoringSplits_ || pendingRestores_ > 0)
        return;
    App.KeepSplits();
}

void TVxSoundWindow::RestoreSplits()
{
    if (FFTPanel->isHidden())
        return;
    restoringSplits_ = true;
    if (QLayout* l = centralWidget()->layout())
        l->activate();
    const int total = Splitter1->width() - Splitter1->handleWidth();
    Splitter1->setSizes({std::max(0, total - App.KeptFftWidth), App.KeptFftWidth});
    if (QLayout* l = FFTPanel->layout())
        l->activate();
    const int inner = Splitter2->height() - Splitter2->handleWidth();
    Splitter2->setSizes({std::max(0, inner - App.KeptPanel2Height), App.KeptPanel2Height});
    restoringSplits_ = false;
}

// A splitter lays out a child that has just been shown once more when it
// gets the event loop; the kept sizes are given again after that, and what
// it does meanwhile is not kept.
void TVxSoundWindow::RestoreSplitsNowAndLater()
{
    RestoreSplits();
    ++pendingRestores_;
    QTimer::singleShot(0, this, [this] {
        --pendingRestores_;
        RestoreSplits();
    });
}

// ---- the window's state and placement ---------------------------------------------

void TVxSoundWindow::ShowStayOnTop(bool onTop)
{
    QWindow* native = windowHandle();
    if (native != nullptr) {
        // The native window's hint is switched in place: setWindowFlag
        // would hide a shown window and make a new native window.
        if (native->flags().testFlag(Qt::WindowStaysOnTopHint) != onTop) {
            overrideWindowFlags(windowFlags().setFlag(Qt::WindowStaysOnTopHint, onTop));
            native->setFlag(Qt::WindowStaysOnTopHint, onTop);
        }
    } else if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop) {
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    }
}

bool TVxSoundWindow::IsShown() const
{
    return isVisible();
}

void TVxSoundWindow::ShowMinimized(bool minimized)
{
    setWindowState(minimized ? windowState() | Qt::WindowMinimized : windowState() & ~Qt::WindowMinimized);
}

bool TVxSoundWindow::IsMinimized() const
{
    return isVisible() ? windowState().testFlag(Qt::WindowMinimized) : App.MinimizedBeforeShow();
}

void TVxSoundWindow::Place(const TPlacement& p)
{
    // Client-area position and size both ways, so that a close and a start
    // agree whatever frame a window manager adds; where it puts the frame's
    // corner at the position instead, the first placement is corrected.
    setGeometry(p.Left, p.Top, p.Width, p.Height);
    placeAt_ = QPoint(p.Left, p.Top);
}

TPlacement TVxSoundWindow::Placement() const
{
    const QPoint at = geometry().topLeft() - placeOffset_;
    return {at.x(), at.y(), width(), height()};
}

TPlacement TVxSoundWindow::WorkArea(int left, int top) const
{
    QScreen* screen = QGuiApplication::screenAt(QPoint(left, top));
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return {};
    const QRect free = screen->availableGeometry();
    return {free.x(), free.y(), free.width(), free.height()};
}

void TVxSoundWindow::setVisible(bool visible)
{
    // The first layout on screen must not overwrite the kept sizes.
    const bool showing = visible && !isVisible();
    restoringSplits_ = restoringSplits_ || showing;
    QMainWindow::setVisible(visible);
    if (showing) {
        restoringSplits_ = false;
        RestoreSplitsNowAndLater();
        // The window manager places the window once it is mapped; its
        // moves until then are corrected, a user's later ones are kept.
        placing_ = true;
        QTimer::singleShot(kPlacingMs, this, [this] { placing_ = false; });
        CorrectPlacement();
    }
}

void TVxSoundWindow::CorrectPlacement()
{
    if (!placing_)
        return;
    // An iconic window is not moved (that would show it): the offset its
    // placement took is left out of the position saved instead.
    placeOffset_ = geometry().topLeft() - placeAt_;
    if (placeOffset_.isNull() || IsMinimized())
        return;
    placeOffset_ = QPoint();
    setGeometry(QRect(placeAt_, size()));
}

void TVxSoundWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    CorrectPlacement();
}

void TVxSoundWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool was = change->oldState().testFlag(Qt::WindowMinimized);
        const bool now = windowState().testFlag(Qt::WindowMinimized);
        if (was != now)
            App.WindowMinimized(now);
    }
    QMainWindow::changeEvent(event);
}

void TVxSoundWindow::closeEvent(QCloseEvent* event)
{
    App.Close();
    event->setAccepted(App.Closed);
}

void TVxSoundWindow::EndWindow()
{
    hide();
    QCoreApplication::quit();
}

// ---- application handlers -----------------------------------------------------------

void TVxSoundWindow::InstallApplicationHandlers()
{
    qApp->installEventFilter(this);
    if (keyMessages_ == nullptr)
        return;
    keyFilter_ = new KeyForwardFilter([this] { return App.PassKeypressestoVantorix.Tag; }, *keyMessages_, this, this);
    qApp->installEventFilter(keyFilter_);
}

bool TVxSoundWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::StatusTip:
        // Tips travel up the parent chain; the status panel takes each
        // once and the toolkit's own status message never covers the
        // panels.
        App.ApplicationHint(static_cast<QStatusTipEvent*>(event)->tip().toStdString());
        return true;
    case QEvent::MouseMove:
        // The text panel is part of the status bar for its hint.
        if (watched == StatusBar1 || watched == StatusPanel2) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint p = static_cast<QWidget*>(watched)->mapTo(StatusBar1, mouse->position().toPoint());
            App.StatusBar1MouseMove(static_cast<unsigned>(mouse->modifiers().toInt()), p.x(), p.y());
        }
        break;
    case QEvent::Resize:
        // Application filters see a panel's resize before its layout has
        // moved the boxes, so the level bitmap follows PaintBox1 itself.
        if (watched == Panel1 || watched == PaintBox1)
            App.Panel1Resize();
        else if (watched == FFTPanel)
            App.FFTPanelResize();
        if (watched == FFTPanel || watched == Panel2)
            KeepSplits();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}
