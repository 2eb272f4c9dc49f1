// Main window: construction, layout, menus, commands and view state.
#include "VxSoundApp.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QStatusTipEvent>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

#include "BlockAnalysis.h"
#include "BusWindowMessages.h"
#include "InstallLayout.h"
#include "ProfileFile.h"
#include "QtKeyMessages.h"
#include "SettingsKeys.h"
#include "SegmentWatch.h"
#include "SharedMap.h"
#include "SoundMapOwner.h"
#include "WaveInRing.h"

TVxSoundApp* VxSoundApp = nullptr;

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

QSlider* MakeFader(QWidget* parent, const char* name, int min, int max, int pos, int tick)
{
    auto* fader = new QSlider(Qt::Horizontal, parent);
    fader->setObjectName(name);
    fader->setRange(min, max);
    fader->setValue(pos);
    fader->setTickPosition(QSlider::TicksBelow);
    fader->setTickInterval(tick);
    return fader;
}

}  // namespace

// ---- menu items ----------------------------------------------------------

TMenuItem::TMenuItem(const QString& caption, int tag, int group, QObject* parent)
    : QAction(caption, parent), Tag(tag), GroupIndex(group)
{
    setIconVisibleInMenu(true);
}

void TMenuItem::SetImageIndex(int index)
{
    if (index == imageIndex_)
        return;
    imageIndex_ = index;
    setIcon(index < 0 ? QIcon() : ImageList1().Icon(index));
}

// ---- construction ----------------------------------------------------------

TVxSoundApp::TVxSoundApp(QWidget* parent) : QMainWindow(parent)
{
    VxSoundApp = this;
    setObjectName("VxSoundApp");
    setWindowTitle(QString::fromLatin1(kTitle));
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    ImageList1().Load();
    PicturePath = QString::fromStdString(VxLayout::CurrentLayout(ProgramFolder().toStdString()).PictureFile);
    setWindowIcon(ImageList1().Icon(12));
    BuildControls();
    BuildMenu();
    ConnectDisplays();
    setGeometry(450, 185, 305, 333);
    // Designed stay-on-top and minimized; start-up decides what is shown.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    minimizedBeforeShow_ = true;

    VisualTimer = new QTimer(this);
    VisualTimer->setInterval(100);
    connect(VisualTimer, &QTimer::timeout, this, &TVxSoundApp::VisualTimerTimer);
    SharedMapTimer = new QTimer(this);
    SharedMapTimer->setInterval(100);
    connect(SharedMapTimer, &QTimer::timeout, this, [this] { SharedMapTimerTimer(); });
    VisualTimer->start();
    SharedMapTimer->start();

    PublishOnBus();
}

TVxSoundApp::~TVxSoundApp()
{
    if (keyFilter_ != nullptr)
        qApp->removeEventFilter(keyFilter_);
    qApp->removeEventFilter(this);
    if (CaptureUi() == this)
        SetCaptureUi(nullptr);
    if (SoundMapOwner() == SharedMap.get())
        SetSoundMapOwner(nullptr);
    if (VxSoundApp == this)
        VxSoundApp = nullptr;
}

void TVxSoundApp::BuildControls()
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
    ScrollBar1->setRange(-127, 127);
    ScrollBar1->setValue(0);
    ScrollBar1->setPageStep(10);
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setFixedWidth(16);
    SetHint(ScrollBar1, "Gain: 0,0dB|Global volume setting for the sound input: 0,0dB");
    row->addWidget(ScrollBar1);

    Splitter1 = new TSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setHandleWidth(1);
    Splitter1->HandleColor = QColor::fromRgb(clBtnFace);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->OnCanResize = [this](int fftWidth) { return Splitter1CanResize(fftWidth); };
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
    SetHint(PaintBox1, "Level in|Use this window to verify sound level");
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
    FFTPanel->setMinimumWidth(kLeastFftWidth);
    auto* fft = new QVBoxLayout(FFTPanel);
    fft->setContentsMargins(0, 0, 0, 0);
    fft->setSpacing(0);
    Splitter2 = new TSplitter(Qt::Vertical, FFTPanel);
    Splitter2->setObjectName("Splitter2");
    Splitter2->setHandleWidth(2);
    Splitter2->HandleColor = QColor(128, 128, 128);
    Splitter2->setChildrenCollapsible(false);
    Splitter2->OnCanResize = [this](int panel2Height) { return Splitter2CanResize(panel2Height); };
    fft->addWidget(Splitter2);
    PaintBox2 = new TPaintBox(Splitter2);
    PaintBox2->setObjectName("PaintBox2");
    SetHint(PaintBox2, "Spectrum analyzer|Spectrum analyzer");
    Panel2 = MakePanel(Splitter2, false, "Panel2");
    Black(Panel2);
    Panel2->setMinimumHeight(kLeastPanel2Height);
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
    TrackBar1 = MakeFader(FaderPanel, "TrackBar1", 1, 25, 13, 2);
    TrackBar1->setFixedWidth(81);
    SetHint(TrackBar1, "Decay|Minimum time between trigs");
    TrackBar3 = MakeFader(FaderPanel, "TrackBar3", 1, 455, 25, 10);
    TrackBar3->setFixedWidth(57);
    SetHint(TrackBar3, "Noise cut-off level|Minimum sound trig level:");
    TrackBar2 = MakeFader(FaderPanel, "TrackBar2", 0, 300, 150, 10);
    SetHint(TrackBar2, "Aggresivness|Trigger sensitivity");
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

    connect(TrackBar1, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });
    connect(TrackBar2, &QSlider::valueChanged, this, [this] { TrackBar2Change(); });
    connect(TrackBar3, &QSlider::valueChanged, this, [this] { TrackBar3Change(); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });
    // Only the user's choice switches devices; start-up selects silently.
    connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
}

void TVxSoundApp::BuildMenu()
{
    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* menu, const char* caption, int tag, int group, const char* name,
                       void (TVxSoundApp::*command)(), const char* hint) {
        auto* it = new TMenuItem(QString::fromLatin1(caption), tag, group, menu);
        it->setObjectName(name);
        if (hint != nullptr) {
            it->setToolTip(ShortHint(hint));
            it->setStatusTip(LongHint(hint));
        }
        connect(it, &QAction::triggered, this, [this, command] { (this->*command)(); });
        menu->addAction(it);
        return it;
    };

    Analyzer1 = bar->addMenu("&Analyzer");
    Analyzer1->setObjectName("Analyzer1");
    AutoSaveChanges1 = item(Analyzer1, "&Auto Save Changes", 1, 0, "AutoSaveChanges1",
                            &TVxSoundApp::AutoSaveChanges1Click, "|Save Equalizer and volume settings on exit");
    PassKeypressestoVantorix = item(Analyzer1, "Pass Keypresses to Vantorix", 0, 0, "PassKeypressestoVantorix",
                                    &TVxSoundApp::PassKeypressestoVantorixClick, "Pass Keypresses to Vantorix");
    N1 = Analyzer1->addSeparator();
    Exit1 = item(Analyzer1, "E&xit", 0, 0, "Exit1", &TVxSoundApp::Exit1Click, "|Close Audio Analyzer");
    Exit1->SetImageIndex(9);

    Trigger1 = bar->addMenu("&Trigger");
    Trigger1->setObjectName("Trigger1");
    UseFFT1 = item(Trigger1, "Use &Equalizer", 0, 0, "UseFFT1", &TVxSoundApp::UseFFT1Click,
                   "Trig on custom frequencies|Enables equalizer and spectrum analyzer");
    SetDefault1 = Trigger1->addMenu("Set &Default");
    SetDefault1->setObjectName("SetDefault1");
    SetDefault1->setStatusTip(LongHint("|Reset to the default value"));
    SetDefault1->menuAction()->setStatusTip(LongHint("|Reset to the default value"));
    Volume1 = item(SetDefault1, "&Gain", 0, 0, "Volume1", &TVxSoundApp::Volume1Click,
                   "|Set the gain fader to the middle (default) position");
    Volume1->SetImageIndex(12);
    Equalizer1 = item(SetDefault1, "&Equalizer", 0, 0, "Equalizer1", &TVxSoundApp::Equalizer1Click,
                      "|Reset all equalizer faders to the middle (default) value");
    Equalizer1->SetImageIndex(11);
    Noiselevel1 = Trigger1->addMenu("&Noise level");
    Noiselevel1->setObjectName("Noiselevel1");
    Low1 = item(Noiselevel1, "&Low", 1, 2, "Low1", &TVxSoundApp::Low1Click, nullptr);
    Medium1 = item(Noiselevel1, "&Medium", 0, 2, "Medium1", &TVxSoundApp::Medium1Click, nullptr);
    High1 = item(Noiselevel1, "&High", 0, 2, "High1", &TVxSoundApp::High1Click, nullptr);

    View1 = bar->addMenu("&View");
    View1->setObjectName("View1");
    Runminimized1 = item(View1, "&Run Minimized", 1, 0, "Runminimized1", &TVxSoundApp::Runminimized1Click,
                         "|Don't show Audio Analyzer on startup");
    StayOnTop1 = item(View1, "Stay On &Top", 1, 0, "StayOnTop1", &TVxSoundApp::StayOnTop1Click,
                      "|Alway put Audio Analyzer in front");
    Showinput1 = View1->addMenu("Show &input");
    Showinput1->setObjectName("Showinput1");
    None1 = item(Showinput1, "&None", 0, 1, "None1", &TVxSoundApp::None1Click, nullptr);
    Realtime1 = item(Showinput1, "&Real time", 1, 1, "Realtime1", &TVxSoundApp::Realtime1Click, nullptr);
    Timeline1 = item(Showinput1, "&Time-line", 0, 1, "Timeline1", &TVxSoundApp::Timeline1Click, nullptr);
    Triggerfaders1 = item(View1, "Trigger &Faders", 1, 0, "Triggerfaders1", &TVxSoundApp::Triggerfaders1Click,
                          nullptr);
    SoundCard1 = item(View1, "&Sound Card", 1, 0, "SoundCard1", &TVxSoundApp::SoundCard1Click, nullptr);

    Help1 = bar->addMenu("&Help");
    Help1->setObjectName("Help1");
    Help1->menuAction()->setStatusTip("Help topics");
    Help1->menuAction()->setToolTip("Help topics");
    Contents1 = item(Help1, "&Help", 0, 0, "Contents1", &TVxSoundApp::Contents1Click, nullptr);
    Contents1->SetImageIndex(5);
    N2 = Help1->addSeparator();
    About1 = item(Help1, "&About", 0, 0, "About1", &TVxSoundApp::About1Click, nullptr);

    connect(Analyzer1, &QMenu::aboutToShow, this, [this] { Analyzer1Click(); });
    connect(Trigger1, &QMenu::aboutToShow, this, [this] { Trigger1Click(); });
    connect(View1, &QMenu::aboutToShow, this, [this] { View1Click(); });
    connect(Help1, &QMenu::aboutToShow, this, [this] { Help1Click(); });

    // A menu opened with the keyboard starts with its first item
    // highlighted but announces no hover for it: its hint is shown here, as
    // the mouse's highlight would show it.
    for (QMenu* menu : {Analyzer1, Trigger1, SetDefault1, Noiselevel1, View1, Showinput1, Help1}) {
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            QTimer::singleShot(0, menu, [this, menu] {
                if (menu->isVisible() && menu->activeAction() != nullptr)
                    ApplicationHint(menu->activeAction()->statusTip());
            });
        });
    }
}

// ---- paths and the record ---------------------------------------------------

QString TVxSoundApp::ProgramFolder()
{
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}

QString TVxSoundApp::SettingsFolder()
{
    return QString::fromStdString(VxLayout::CurrentLayout(ProgramFolder().toStdString()).SettingsFolder);
}

QString TVxSoundApp::SettingsPath()
{
    return QString::fromStdString(VxSettings::SettingsFilePath(SettingsFolder().toStdString()));
}

std::string TVxSoundApp::SegmentName()
{
    const QByteArray env = qgetenv("VX_SEGMENT_NAME");
    return env.isEmpty() ? std::string(kSoundMapName) : env.toStdString();
}

SoundMapRecord* TVxSoundApp::Record() const
{
    return SharedMap ? SharedMap->Data : nullptr;
}

// ---- hints ----------------------------------------------------------------

QString TVxSoundApp::ShortHint(const QString& hint)
{
    const int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.left(bar);
}

QString TVxSoundApp::LongHint(const QString& hint)
{
    const int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.mid(bar + 1);
}

void TVxSoundApp::SetHint(QWidget* control, const QString& hint)
{
    control->setProperty("hint", hint);
    control->setToolTip(ShortHint(hint));
    control->setStatusTip(LongHint(hint));
}

QString TVxSoundApp::Hint(QWidget* control) const
{
    return control->property("hint").toString();
}

void TVxSoundApp::ApplicationHint(const QString& hint)
{
    if (StatusPanel2 != nullptr)
        StatusPanel2->setText(LongHint(hint));
}

bool TVxSoundApp::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::StatusTip:
        // Tips travel up the parent chain; the status panel takes each
        // once and the toolkit's own status message never covers the
        // panels.
        ApplicationHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    case QEvent::MouseMove:
        // The text panel is part of the status bar for its hint.
        if (watched == StatusBar1 || watched == StatusPanel2) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint p = static_cast<QWidget*>(watched)->mapTo(StatusBar1, mouse->position().toPoint());
            Refresh->StatusBar1MouseMove(static_cast<unsigned>(mouse->modifiers().toInt()), p.x(), p.y());
        }
        break;
    case QEvent::Resize:
        // Application filters see a panel's resize before its layout has
        // moved the boxes, so the level bitmap follows PaintBox1 itself.
        if (watched == Panel1 || watched == PaintBox1)
            Panel1Resize();
        else if (watched == FFTPanel)
            FFTPanelResize();
        if (watched == FFTPanel || watched == Panel2)
            KeepSplits();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- view state -------------------------------------------------------------

void TVxSoundApp::ApplyViewState()
{
    if (QLayout* l = centralWidget()->layout())
        l->activate();
    // A panel coming back gets its kept sizes; the splitter's own layout of
    // it meanwhile is not kept.
    const bool fftReturns = UseFFT1->Tag == 1 && !FFTPanel->isVisibleTo(this);
    ++pendingRestores_;
    SoundCardPanel->setVisible(SoundCard1->Tag == 1);
    FaderPanel->setVisible(Triggerfaders1->Tag == 1);
    FFTPanel->setVisible(UseFFT1->Tag == 1);
    --pendingRestores_;
    if (fftReturns)
        RestoreSplitsNowAndLater();

    const SoundMapRecord* rec = Record();
    const bool onTop = rec != nullptr ? rec->StayOnTop() != 0 : StayOnTop1->Tag == 1;
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

    for (TMenuItem* it : {Low1, Medium1, High1, None1, Timeline1, Realtime1})
        it->SetImageIndex(it->Tag == 1 ? 22 : 23);
    for (TMenuItem* it : {AutoSaveChanges1, PassKeypressestoVantorix, Runminimized1, StayOnTop1, Triggerfaders1,
                          SoundCard1, UseFFT1})
        it->SetImageIndex(it->Tag == 1 ? 10 : -1);
    if (QLayout* l = centralWidget()->layout())
        l->activate();
}

// ---- commands -----------------------------------------------------------------

namespace {
int Toggled(int tag)
{
    return (tag + 1) % 2;
}
}  // namespace

void TVxSoundApp::AutoSaveChanges1Click()
{
    AutoSaveChanges1->Tag = Toggled(AutoSaveChanges1->Tag);
    if (SoundMapRecord* rec = Record())
        rec->SetAutoSaveChanges(AutoSaveChanges1->Tag == 1 ? 1 : 0);
    ApplyViewState();
}

void TVxSoundApp::PassKeypressestoVantorixClick()
{
    PassKeypressestoVantorix->Tag = Toggled(PassKeypressestoVantorix->Tag);
    ApplyViewState();
}

void TVxSoundApp::Exit1Click()
{
    close();
}

void TVxSoundApp::UseFFT1Click()
{
    if (UseFFT1->Tag == 1)
        ClearUseFFT();
    else
        SetUseFFT();
}

void TVxSoundApp::SetUseFFT()
{
    if (SoundMapRecord* rec = Record())
        rec->SetUseFFT(1);
    UseFFT1->Tag = 1;
    ApplyViewState();
}

void TVxSoundApp::ClearUseFFT()
{
    if (SoundMapRecord* rec = Record())
        rec->SetUseFFT(0);
    UseFFT1->Tag = 0;
    ApplyViewState();
}

void TVxSoundApp::Volume1Click()
{
    if (SoundMapRecord* rec = Record())
        rec->SetGain(0);
}

void TVxSoundApp::Equalizer1Click()
{
    if (SoundMapRecord* rec = Record())
        for (int i = 0; i < kAnalysisBands; ++i)
            rec->SetEqualizerBand(i, 0);
}

void TVxSoundApp::SetRangeItem(TMenuItem* on, int value, int maximum)
{
    if (SoundMapRecord* rec = Record())
        rec->SetNoiseLevelSwitch(value);
    for (TMenuItem* it : {Low1, Medium1, High1})
        it->Tag = it == on ? 1 : 0;
    // Lowering the maximum below the position moves the fader, which runs
    // TrackBar3Change.
    TrackBar3->setMaximum(maximum);
    ApplyViewState();
}

void TVxSoundApp::Low1Click()
{
    SetRangeItem(Low1, 0, 50);
}

void TVxSoundApp::Medium1Click()
{
    SetRangeItem(Medium1, 1, 150);
}

void TVxSoundApp::High1Click()
{
    SetRangeItem(High1, 2, 455);
}

void TVxSoundApp::Runminimized1Click()
{
    Runminimized1->Tag = Toggled(Runminimized1->Tag);
    if (SoundMapRecord* rec = Record())
        rec->SetRunMinimized(Runminimized1->Tag == 1 ? 1 : 0);
    ApplyViewState();
}

void TVxSoundApp::StayOnTop1Click()
{
    StayOnTop1->Tag = Toggled(StayOnTop1->Tag);
    if (SoundMapRecord* rec = Record())
        rec->SetStayOnTop(StayOnTop1->Tag == 1 ? 1 : 0);
    ApplyViewState();
}

void TVxSoundApp::SetShowItem(TMenuItem* on, int value)
{
    if (SoundMapRecord* rec = Record())
        rec->SetShowInput(static_cast<std::uint8_t>(value));
    for (TMenuItem* it : {None1, Realtime1, Timeline1})
        it->Tag = it == on ? 1 : 0;
    Panel1->setVisible(value != 0);
    ApplyViewState();
}

void TVxSoundApp::None1Click()
{
    SetShowItem(None1, 0);
}

void TVxSoundApp::Realtime1Click()
{
    SetShowItem(Realtime1, 1);
}

void TVxSoundApp::Timeline1Click()
{
    SetShowItem(Timeline1, 2);
}

// The column layout keeps the faders above the sound-card chooser and the
// chooser directly above the status bar in every order of switching.
void TVxSoundApp::Triggerfaders1Click()
{
    Triggerfaders1->Tag = Toggled(Triggerfaders1->Tag);
    if (SoundMapRecord* rec = Record())
        rec->SetTriggerFaders(Triggerfaders1->Tag == 1 ? 1 : 0);
    ApplyViewState();
}

void TVxSoundApp::SoundCard1Click()
{
    SoundCard1->Tag = Toggled(SoundCard1->Tag);
    if (SoundMapRecord* rec = Record())
        rec->SetSoundCard(SoundCard1->Tag == 1 ? 1 : 0);
    ApplyViewState();
}

void TVxSoundApp::Analyzer1Click()
{
    ApplyViewState();
}

void TVxSoundApp::Trigger1Click()
{
    ApplyViewState();
}

void TVxSoundApp::View1Click()
{
    ApplyViewState();
}

void TVxSoundApp::Help1Click()
{
    ApplyViewState();
}

void TVxSoundApp::Contents1Click()
{
    const TProfileFile ini(SettingsPath().toStdString());
    const QString file =
        QString::fromStdString(ini.ReadString(VxSettings::kSection, VxSettings::kHelpFile, ""));
    if (file.isEmpty())
        return;
    QString path = file;
    if (QFileInfo(path).isRelative())
        path = ProgramFolder() + path;
    QUrl url = QUrl::fromLocalFile(path);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "htm" || suffix == "html")
        url.setFragment("7700");
    QDesktopServices::openUrl(url);
}

void TVxSoundApp::About1Click()
{
    if (AboutForm != nullptr) {
        AboutForm->show();
        AboutForm->raise();
    }
}

// ---- layout handlers -----------------------------------------------------------

bool TVxSoundApp::Splitter1CanResize(int newFFTPanelWidth) const
{
    return newFFTPanelWidth >= kLeastFftWidth;
}

bool TVxSoundApp::Splitter2CanResize(int newPanel2Height) const
{
    return newPanel2Height >= kLeastPanel2Height;
}

void TVxSoundApp::Panel1Resize()
{
    Level->Panel1Resize();
}

void TVxSoundApp::FFTPanelResize()
{
    Spectrum->FFTPanelResize();
}

// The kept sizes follow FFTPanel and Panel2 only while they are on screen:
// a hidden panel keeps its size, as the design's toolkit does.
void TVxSoundApp::KeepSplits()
{
    if (restoringSplits_ || pendingRestores_ > 0 || !FFTPanel->isVisible())
        return;
    keptFftWidth_ = FFTPanel->width();
    keptPanel2Height_ = Panel2->height();
}

void TVxSoundApp::RestoreSplits()
{
    if (FFTPanel->isHidden())
        return;
    restoringSplits_ = true;
    if (QLayout* l = centralWidget()->layout())
        l->activate();
    const int total = Splitter1->width() - Splitter1->handleWidth();
    Splitter1->setSizes({std::max(0, total - keptFftWidth_), keptFftWidth_});
    if (QLayout* l = FFTPanel->layout())
        l->activate();
    const int inner = Splitter2->height() - Splitter2->handleWidth();
    Splitter2->setSizes({std::max(0, inner - keptPanel2Height_), keptPanel2Height_});
    restoringSplits_ = false;
}

// A splitter lays out a child that has just been shown once more when it
// gets the event loop; the kept sizes are given again after that, and what
// it does meanwhile is not kept.
void TVxSoundApp::RestoreSplitsNowAndLater()
{
    RestoreSplits();
    ++pendingRestores_;
    QTimer::singleShot(0, this, [this] {
        --pendingRestores_;
        RestoreSplits();
    });
}

void TVxSoundApp::setVisible(bool visible)
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

void TVxSoundApp::CorrectPlacement()
{
    if (!placing_)
        return;
    // An iconic window is not moved (that would show it): the offset its
    // placement took is left out of the position saved instead.
    placeOffset_ = geometry().topLeft() - PlaceAt;
    if (placeOffset_.isNull() || Minimized())
        return;
    placeOffset_ = QPoint();
    setGeometry(QRect(PlaceAt, size()));
}

QPoint TVxSoundApp::SavedPosition() const
{
    return geometry().topLeft() - placeOffset_;
}

void TVxSoundApp::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    CorrectPlacement();
}

// ---- application minimize and restore ------------------------------------------

void TVxSoundApp::SetMinimized(bool on)
{
    if (isVisible()) {
        setWindowState(on ? windowState() | Qt::WindowMinimized : windowState() & ~Qt::WindowMinimized);
        return;
    }
    // The application's minimize and restore events, as a shown window's
    // state change would raise them.
    const bool was = minimizedBeforeShow_;
    minimizedBeforeShow_ = on;
    if (applicationHandlers_ && was != on) {
        if (on)
            ApplicationMinimize();
        else
            ApplicationRestore();
    }
}

bool TVxSoundApp::Minimized() const
{
    return isVisible() ? windowState().testFlag(Qt::WindowMinimized) : minimizedBeforeShow_;
}

void TVxSoundApp::ApplicationMinimize()
{
    VisualTimer->stop();
    Refresh->ApplicationMinimize();
}

void TVxSoundApp::ApplicationRestore()
{
    VisualTimer->start();
    Refresh->ApplicationRestore();
}

void TVxSoundApp::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool was = change->oldState().testFlag(Qt::WindowMinimized);
        const bool now = windowState().testFlag(Qt::WindowMinimized);
        // The application's handlers are installed by start-up.
        if (!applicationHandlers_) {
        } else if (now && !was)
            ApplicationMinimize();
        else if (was && !now)
            ApplicationRestore();
    }
    QMainWindow::changeEvent(event);
}

// ---- host synchronisation window -------------------------------------------------

TMenuItem* TVxSoundApp::ItemOf(SyncItem item) const
{
    switch (item) {
    case SyncItem::None1: return None1;
    case SyncItem::Realtime1: return Realtime1;
    case SyncItem::Timeline1: return Timeline1;
    case SyncItem::Low1: return Low1;
    case SyncItem::Medium1: return Medium1;
    case SyncItem::High1: return High1;
    case SyncItem::UseFFT1: return UseFFT1;
    case SyncItem::Triggerfaders1: return Triggerfaders1;
    case SyncItem::SoundCard1: return SoundCard1;
    case SyncItem::Runminimized1: return Runminimized1;
    case SyncItem::StayOnTop1: return StayOnTop1;
    case SyncItem::AutoSaveChanges1: return AutoSaveChanges1;
    }
    return nullptr;
}

int TVxSoundApp::ItemTag(SyncItem item) const
{
    const TMenuItem* it = ItemOf(item);
    return it != nullptr ? it->Tag : 0;
}

void TVxSoundApp::RunCommand(SyncItem item)
{
    if (TMenuItem* it = ItemOf(item))
        it->trigger();
}

namespace {
QAbstractSlider* ControlOf(const TVxSoundApp& w, SyncControl control)
{
    switch (control) {
    case SyncControl::ScrollBar1: return w.ScrollBar1;
    case SyncControl::TrackBar1: return w.TrackBar1;
    case SyncControl::TrackBar2: return w.TrackBar2;
    case SyncControl::TrackBar3: return w.TrackBar3;
    }
    return nullptr;
}
}  // namespace

int TVxSoundApp::Position(SyncControl control) const
{
    return ControlOf(*this, control)->value();
}

void TVxSoundApp::SetPosition(SyncControl control, int position)
{
    // The toolkit clamps and signals only on a real change.
    ControlOf(*this, control)->setValue(position);
}

int TVxSoundApp::Maximum(SyncControl control) const
{
    return ControlOf(*this, control)->maximum();
}

void TVxSoundApp::SharedMapTimerTimer()
{
    KeepSegment();
    ::SharedMapTimerTimer(Record(), *this);
}

// ---- capture user interface ---------------------------------------------------------

QString TVxSoundApp::WithFullStop(const QString& text)
{
    if (!text.isEmpty() && text.back().unicode() > '.')
        return text + '.';
    return text;
}

int TVxSoundApp::RunBox(QMessageBox& box)
{
    boxOpen_ = true;
    openBox_ = &box;
    const int result = box.exec();
    openBox_ = nullptr;
    boxOpen_ = false;
    return result;
}

void TVxSoundApp::AfterBox()
{
    // The host asked to close while the box was open: close now, on the
    // host's path (a close already running goes on by itself).
    if (!hostClosePending_ || closing_)
        return;
    hostClosePending_ = false;
    close();
}

void TVxSoundApp::ErrorBox(const QString& text)
{
    LastError = text;
    if (OnErrorBox) {
        boxOpen_ = true;
        OnErrorBox(LastError);
        boxOpen_ = false;
    } else {
        QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kTitle), LastError, QMessageBox::Ok, this);
        RunBox(box);
    }
    AfterBox();
}

void TVxSoundApp::ShowError(const std::string& text)
{
    ErrorBox(QString::fromStdString(text));
}

void TVxSoundApp::ShowInfo(const std::string& text)
{
    if (OnErrorBox) {
        boxOpen_ = true;
        OnErrorBox(QString::fromStdString(text));
        boxOpen_ = false;
    } else {
        QMessageBox box(QMessageBox::Information, QString::fromLatin1(kTitle), QString::fromStdString(text),
                        QMessageBox::Ok, this);
        RunBox(box);
    }
    AfterBox();
}

void TVxSoundApp::PostInfo(const std::string& text)
{
    QMetaObject::invokeMethod(this, [this, text] { ShowInfo(text); }, Qt::QueuedConnection);
}

void TVxSoundApp::ProcessMessages()
{
    QCoreApplication::processEvents();
}

void TVxSoundApp::EndProgram()
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(1);
}
