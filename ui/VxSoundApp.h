// The analyzer's main window: layout, menus and commands, faders and gain,
// start-up and shut-down, the capture's user interface and the host's
// synchronisation window. Controls and handlers carry their designer names
// and are public so that the displays and the tests can reach them.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CaptureUi.h"
#include "DisplayRefresh.h"
#include "Displays.h"
#include "HostSync.h"
#include "PaintBox.h"
#include "WindowWidgets.h"

// The application's title: the window caption and every message box's.
inline constexpr const char* kApplicationTitle = "Corvane Audio Analyzer";

class TSharedMap;
class ISegmentWatch;
class TProfileFile;
class BusWindow;
class BusWindowMessages;
class KeyForwardFilter;
class QMessageBox;

// A menu item with the designer's integer tag (1 = on, 0 = off), its group
// and the index of the image it shows (-1 = none).
class TMenuItem : public QAction {
public:
    TMenuItem(const QString& caption, int tag, int group, QObject* parent);
    int Tag = 0;
    int GroupIndex = 0;
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);

private:
    int imageIndex_ = -2;
};

// ImageList1: 25 images of 16 by 16 on silver, built into the program;
// those the program does not use are plain silver.
class TImageList {
public:
    static constexpr int kCount = 25;
    static constexpr int kSize = 16;
    void Load();
    QIcon Icon(int index) const;
    QImage Image(int index) const;

private:
    std::vector<QImage> images_;
};
TImageList& ImageList1();

// Fader read-outs, in user units.
// Decay of a fader position: (position + 1) x 23.22 ms, halves to even.
int DecayMs(int position);
// Noise cut-off of a fader position as "-26.2": integer tenths, always a point.
std::string NoiseReadout(int position);
// 20 log10(gain) with one decimal and the given decimal separator.
QString GainReadout(float gain, QChar decimalPoint);
// The same with the user's locale.
QString GainReadout(float gain);

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QPushButton* BitBtn1 = nullptr;
    void BitBtn1Click();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
};
extern TAboutForm* AboutForm;

class TVxSoundApp : public QMainWindow, public ICaptureUi, public IHostSyncWindow {
    Q_OBJECT
public:
    explicit TVxSoundApp(QWidget* parent = nullptr);
    ~TVxSoundApp() override;

    // --- controls -----------------------------------------------------
    QScrollBar* ScrollBar1 = nullptr;
    TSplitter* Splitter1 = nullptr;
    // Left of Splitter1, black: holds Panel1, and stays when Panel1 is
    // hidden so that FFTPanel keeps its own width at the right.
    QWidget* LevelArea = nullptr;
    QFrame* Panel1 = nullptr;
    TPaintBox* PaintBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* FFTPanel = nullptr;
    TSplitter* Splitter2 = nullptr;
    TPaintBox* PaintBox2 = nullptr;
    QFrame* Panel2 = nullptr;
    TPaintBox* PaintBox3 = nullptr;
    QFrame* FaderPanel = nullptr;
    QSlider* TrackBar1 = nullptr;
    QSlider* TrackBar3 = nullptr;
    QSlider* TrackBar2 = nullptr;
    QFrame* SoundCardPanel = nullptr;
    QComboBox* ComboBox1 = nullptr;
    TStatusBar* StatusBar1 = nullptr;
    // The status bar's panels: 0 clipping light and 1 trig light, owner-drawn
    // side by side in one 60-pixel box at the bar's left edge, and 2 the
    // hint text.
    TPaintBox* StatusLights = nullptr;
    TStatusText* StatusPanel2 = nullptr;
    QTimer* VisualTimer = nullptr;
    QTimer* SharedMapTimer = nullptr;

    // --- menu ---------------------------------------------------------
    QMenu* Analyzer1 = nullptr;
    TMenuItem* AutoSaveChanges1 = nullptr;
    TMenuItem* PassKeypressestoVantorix = nullptr;
    QAction* N1 = nullptr;
    TMenuItem* Exit1 = nullptr;
    QMenu* Trigger1 = nullptr;
    TMenuItem* UseFFT1 = nullptr;
    QMenu* SetDefault1 = nullptr;
    TMenuItem* Volume1 = nullptr;
    TMenuItem* Equalizer1 = nullptr;
    QMenu* Noiselevel1 = nullptr;
    TMenuItem* Low1 = nullptr;
    TMenuItem* Medium1 = nullptr;
    TMenuItem* High1 = nullptr;
    QMenu* View1 = nullptr;
    TMenuItem* Runminimized1 = nullptr;
    TMenuItem* StayOnTop1 = nullptr;
    QMenu* Showinput1 = nullptr;
    TMenuItem* None1 = nullptr;
    TMenuItem* Realtime1 = nullptr;
    TMenuItem* Timeline1 = nullptr;
    TMenuItem* Triggerfaders1 = nullptr;
    TMenuItem* SoundCard1 = nullptr;
    QMenu* Help1 = nullptr;
    TMenuItem* Contents1 = nullptr;
    QAction* N2 = nullptr;
    TMenuItem* About1 = nullptr;

    // --- state --------------------------------------------------------
    std::unique_ptr<TSharedMap> SharedMap;  // kept until the process ends
    // Puts the segment back under the view when another process cuts or
    // replaces it; released before SharedMap.
    std::unique_ptr<ISegmentWatch> SegmentWatch;
    bool HostCloseRequested = false;
    // The spectrum bar picture: Source-Images/Glyphs/AudioLevel.bmp in the
    // program's folder (tests point it elsewhere before FormCreate).
    QString PicturePath;
    // The displays draw through DisplayHost, a view of this window's
    // controls; they own LevelBitmap, SpectrumBitmap, EqualizerBitmap,
    // AudioLevelPicture and the two dragging flags.
    std::unique_ptr<IDisplayHost> DisplayHost;
    std::unique_ptr<TLevelDisplay> Level;
    std::unique_ptr<TSpectrumDisplay> Spectrum;
    std::unique_ptr<TDisplayRefresh> Refresh;
    // Set once FormCreate got through every step.
    bool StartupComplete = false;
    // Set once start-up loaded the settings file: a window that never did
    // holds its design state, which a close must not write over the file.
    bool SettingsLoaded = false;
    // Set once FormClose got through and the window closed.
    bool Closed = false;
    // The text of the last error box, for tests.
    QString LastError;
    // Answers for the close question (tests): empty = ask the user.
    std::function<bool()> ConfirmClose;
    // Error boxes as they would be shown; null = a modal box.
    std::function<void(const QString&)> OnErrorBox;

    // --- start-up and shut-down ----------------------------------------
    void FormCreate();
    void FormCloseQuery(bool& canClose);
    // False when shut-down stopped (a settings write failed).
    bool FormClose();
    void LoadSettings(TProfileFile& ini);
    void SaveSettings(TProfileFile& ini);
    // The close request over the bus (message 2524).
    std::int64_t HostMessage(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);
    void PublishOnBus();
    // Start-up step 6: minimize, restore, hint and key handlers.
    void InstallApplicationHandlers();

    // --- commands -----------------------------------------------------
    void AutoSaveChanges1Click();
    void PassKeypressestoVantorixClick();
    void Exit1Click();
    void UseFFT1Click();
    void SetUseFFT();
    void ClearUseFFT();
    void Volume1Click();
    void Equalizer1Click();
    void Low1Click();
    void Medium1Click();
    void High1Click();
    void Runminimized1Click();
    void StayOnTop1Click();
    void None1Click();
    void Realtime1Click();
    void Timeline1Click();
    void Triggerfaders1Click();
    void SoundCard1Click();
    void Analyzer1Click();
    void Trigger1Click();
    void View1Click();
    void Help1Click();
    void Contents1Click();
    void About1Click();
    void ApplyViewState();

    // --- faders and gain -------------------------------------------------
    void TrackBar1Change();
    void TrackBar2Change();
    void TrackBar3Change();
    void ScrollBar1Change();
    void ComboBox1Change();

    // --- application handlers and layout ------------------------------
    // The window's minimized state. Until the window is first shown it is
    // only recorded: on X11 a native window minimized while hidden maps
    // iconic whatever state it is given afterwards.
    void SetMinimized(bool on);
    bool Minimized() const;
    void ApplicationMinimize();
    void ApplicationRestore();
    void ApplicationHint(const QString& hint);
    // The splitters' limits: FFTPanel at least 16 wide, Panel2 at least 10
    // high; a drag beyond is refused.
    static constexpr int kLeastFftWidth = 16;
    static constexpr int kLeastPanel2Height = 10;
    bool Splitter1CanResize(int newFFTPanelWidth) const;
    bool Splitter2CanResize(int newPanel2Height) const;
    void Panel1Resize();
    void FFTPanelResize();
    void VisualTimerTimer();
    // Message boxes of the displays: Error as the error box, Information as
    // an information box; both go to OnErrorBox when set.
    void DisplayMessage(const std::string& text, TMessageKind kind);
    // A hint rewritten under the mouse: the control's hint and the status
    // text at once.
    void ShowLiveHint(QWidget* control, const std::string& hint);
    // Last colour given to Label1, so a tick restyles it only on change.
    TColor Label1Color = clRed;
    // A control's hint: short part as tooltip, long part as status tip.
    static void SetHint(QWidget* control, const QString& hint);
    static QString LongHint(const QString& hint);
    static QString ShortHint(const QString& hint);
    QString Hint(QWidget* control) const;

    // Folder of the program, with a trailing separator.
    static QString ProgramFolder();
    // Folder of the settings file: VX_SETTINGS_DIR, else the program folder
    // (portable) or the user's configuration folder (installed).
    static QString SettingsFolder();
    static QString SettingsPath();
    static std::string SegmentName();
    SoundMapRecord* Record() const;

    // --- ICaptureUi -----------------------------------------------------
    void ShowError(const std::string& text) override;
    void ShowInfo(const std::string& text) override;
    void PostInfo(const std::string& text) override;
    void ProcessMessages() override;
    [[noreturn]] void EndProgram() override;

    // --- IHostSyncWindow ---------------------------------------------------
    int ItemTag(SyncItem item) const override;
    void RunCommand(SyncItem item) override;
    int Position(SyncControl control) const override;
    void SetPosition(SyncControl control, int position) override;
    int Maximum(SyncControl control) const override;
    void SharedMapTimerTimer();
    // First step of every tick: a segment cut short or replaced is put
    // back and the analyzer's settings and start-up fields written again.
    void KeepSegment();
    void RepublishRecord(SoundMapRecord& rec, const SoundMapRecord& before);

    // The error box: application title, stop icon, OK, the text as given.
    void ErrorBox(const QString& text);
    // The toolkit's rule for an exception's message during start-up.
    static QString WithFullStop(const QString& text);

    KeyForwardFilter* KeyFilter() const { return keyFilter_; }
    BusWindow* Bus() const { return bus_.get(); }

    void setVisible(bool visible) override;
    // Where the settings put the client area's corner, and where the save
    // puts it.
    QPoint PlaceAt{450, 185};
    QPoint SavedPosition() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void SetRangeItem(TMenuItem* on, int value, int maximum);
    void SetShowItem(TMenuItem* on, int value);
    // The sizes of FFTPanel and Panel2 as the user left them; kept while
    // the panels are hidden, saved from, and given back when shown.
    void KeepSplits();
    void RestoreSplits();
    void RestoreSplitsNowAndLater();
    int pendingRestores_ = 0;
    void CorrectPlacement();
    static constexpr int kPlacingMs = 3000;
    bool placing_ = false;
    QPoint placeOffset_;
    int keptFftWidth_ = 151;
    int keptPanel2Height_ = 38;
    bool restoringSplits_ = false;
    void ConnectDisplays();
    bool displayMessageOpen_ = false;
    bool minimizedBeforeShow_ = false;
    TMenuItem* ItemOf(SyncItem item) const;

    std::unique_ptr<BusWindow> bus_;
    std::unique_ptr<BusWindowMessages> messages_;
    KeyForwardFilter* keyFilter_ = nullptr;
    bool closing_ = false;
    bool applicationHandlers_ = false;
    // A modal box of this window runs (the close question or an error or
    // information box): the host's close request dismisses it and closes
    // once it has returned.
    int RunBox(QMessageBox& box);
    void AfterBox();
    QMessageBox* openBox_ = nullptr;
    bool boxOpen_ = false;
    bool hostClosePending_ = false;
};

extern TVxSoundApp* VxSoundApp;
