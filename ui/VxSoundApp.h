// The analyzer's main window: its state and every handler, free of any
// toolkit. A toolkit's edge (IWindowEdge) shows the state and calls the
// handlers for what the user did; the window decides everything.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CaptureUi.h"
#include "DisplayHost.h"
#include "DisplayRefresh.h"
#include "Displays.h"
#include "HostSync.h"
#include "SharedMemoryPlatform.h"
#include "WindowEdge.h"

// The application's title: the window caption and every message box's.
inline constexpr const char* kApplicationTitle = "Corvane Audio Analyzer";
// The close question.
inline constexpr const char* kConfirmCloseText =
    "This will disable the VantorixDMX sound trigger\r\nfunction in the Vantorix...\r\n\r\nAre you sure?";
// The help file's topic.
inline constexpr int kHelpContext = 7700;

class TSharedMap;
class ISegmentWatch;
class TProfileFile;
class TVxSoundApp;

// A menu item's state: the designer's integer tag (1 = on, 0 = off), its
// radio group (0 = none) and its image (-1 = none).
struct TMenuItem {
    const char* Name;  // the designer's name
    int Tag = 0;
    int GroupIndex = 0;
    int ImageIndex = -1;
};

// The main menu as the edges build it, line by line in menu order.
struct TMenuLine {
    int Depth;             // 0 a menu of the bar, 1 its lines, 2 a submenu's lines
    const char* Name;      // the designer's name
    const char* Caption;   // with & before the access key; null for a separator
    const char* HintText;  // "short|long", or null
    int Item;              // a TMenuId, or -1 for a menu or a separator
    void (TVxSoundApp::*Click)();  // run on a click, or when a menu of the bar opens
};
const std::vector<TMenuLine>& MenuLayout();

// Items show on/off and the chosen option only through their images; an
// edge still tells screen readers which items are switches or options and
// whether they are on (the item's Tag is 1).
enum class TMenuCheck { None, Switch, Option };
TMenuCheck MenuCheckKind(TMenuId item);

// A fader or scroll bar with the toolkit's rule: setting the position or
// the maximum clamps the position into the range, and the change handler
// runs only when the stored position actually changes.
class TPositionControl {
public:
    TPositionControl(TPositionId id, int min, int max, int position) : id_(id), min_(min), max_(max), pos_(position) {}
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return pos_; }
    TPositionId Id() const { return id_; }
    void SetPosition(int position);
    void SetMax(int max);
    std::function<void()> OnChange;
    std::function<void()> OnShow;

private:
    void Store(int position);
    TPositionId id_;
    int min_, max_, pos_;
};

// Fader read-outs, in user units.
// Decay of a fader position: (position + 1) x 23.22 ms, halves to even.
int DecayMs(int position);
// Noise cut-off of a fader position as "-26.2": integer tenths, always a point.
std::string NoiseReadout(int position);
// 20 log10(gain) with one decimal and the given decimal separator.
std::string GainReadout(float gain, char decimalPoint);
// The short part of a hint (before the first "|"), or the whole hint.
std::string HintShortPart(const std::string& hint);
// The toolkit's rule for an exception's message shown at start-up: a full
// stop unless the text ends in one (or in a character below it).
std::string WithFullStop(const std::string& text);

class TVxSoundApp final : public ICaptureUi, public IHostSyncWindow, public IDisplayHost {
    // The menu items' state; first, as the named items below refer to it.
    std::array<TMenuItem, kMenuItems> menu_;

public:
    // The segment is made through memory: the operating system's named
    // shared memory unless another layer is given.
    explicit TVxSoundApp(IWindowEdge& edge, ISharedMemoryPlatform& memory = PlatformSharedMemory());
    ~TVxSoundApp() override;
    TVxSoundApp(const TVxSoundApp&) = delete;
    TVxSoundApp& operator=(const TVxSoundApp&) = delete;

    // --- controls ---------------------------------------------------------
    TPositionControl TrackBar1{TPositionId::TrackBar1, 1, 25, 13};
    TPositionControl TrackBar2{TPositionId::TrackBar2, 0, 300, 150};
    TPositionControl TrackBar3{TPositionId::TrackBar3, 1, 455, 25};
    TPositionControl ScrollBar1{TPositionId::ScrollBar1, -127, 127, 0};
    const TPositionControl& Control(TPositionId id) const;
    TPositionControl& Control(TPositionId id)
    {
        return const_cast<TPositionControl&>(std::as_const(*this).Control(id));
    }
    // ComboBox1: entry 0 the default input, then the devices.
    std::vector<std::string> ComboBox1Items;
    int ComboBox1Index = -1;
    // The panels' visibility as the window set it.
    bool PanelVisible(TPanelId panel) const { return panels_[static_cast<int>(panel)]; }
    std::string Hint(THintId control) const { return hints_[static_cast<int>(control)]; }
    std::string Label1Caption = "0.00 BPM";
    TColor Label1Color = clRed;

    // --- menu ---------------------------------------------------------------
    TMenuItem& Item(TMenuId id) { return menu_[static_cast<int>(id)]; }
    const TMenuItem& Item(TMenuId id) const { return menu_[static_cast<int>(id)]; }
    TMenuItem& AutoSaveChanges1;
    TMenuItem& PassKeypressestoVantorix;
    TMenuItem& UseFFT1;
    TMenuItem& Low1;
    TMenuItem& Medium1;
    TMenuItem& High1;
    TMenuItem& Runminimized1;
    TMenuItem& StayOnTop1;
    TMenuItem& None1;
    TMenuItem& Realtime1;
    TMenuItem& Timeline1;
    TMenuItem& Triggerfaders1;
    TMenuItem& SoundCard1;
    // Runs the item's command, as a click on it does.
    void Click(TMenuId id);

    // --- state ----------------------------------------------------------------
    std::unique_ptr<TSharedMap> SharedMap;  // kept until the process ends
    // Puts the segment back under the view when another process cuts or
    // replaces it; released before SharedMap.
    std::unique_ptr<ISegmentWatch> SegmentWatch;
    bool HostCloseRequested = false;
    // The spectrum bar picture: Source-Images/Glyphs/AudioLevel.bmp in the
    // program's folder, or the installed data folder.
    std::string PicturePath;
    TLevelDisplay Level{*this};
    TSpectrumDisplay Spectrum{*this};
    TDisplayRefresh Refresh{*this, Level, Spectrum};
    // Set once FormCreate got through every step.
    bool StartupComplete = false;
    // Set once start-up loaded the settings file: a window that never did
    // holds its design state, which a close must not write over the file.
    bool SettingsLoaded = false;
    // Set once FormClose got through and the window closed.
    bool Closed = false;
    // Set when a close went on although the settings could not be written.
    bool SettingsUnsaved = false;
    // The splitters' limits: FFTPanel at least 16 wide, Panel2 at least 10
    // high; a drag beyond is refused.
    static constexpr int kLeastFftWidth = 16;
    static constexpr int kLeastPanel2Height = 10;
    // The sizes of FFTPanel and Panel2 as the user left them; kept while
    // the panels are hidden, saved from, and given back when shown.
    int KeptFftWidth = 151;
    int KeptPanel2Height = 38;

    // --- start-up and shut-down ----------------------------------------
    void FormCreate();
    void FormCloseQuery(bool& canClose);
    // False when shut-down stopped (a settings write failed).
    bool FormClose();
    // The toolkit's Close: asks FormCloseQuery, runs FormClose, ends the
    // window. Whoever closes (the user, Exit, the host) comes here.
    void Close();
    void LoadSettings(TProfileFile& ini);
    void SaveSettings(TProfileFile& ini);
    // A message to the window; 2524 is the host's close request. Reply 0.
    std::int64_t HostMessage(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);
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
    void TrackBar3Change() override;
    void ScrollBar1Change();
    // The user picked an entry of the device chooser.
    void ComboBox1Select(int index);
    void ComboBox1Change();

    // --- application handlers, layout and hints ------------------------------
    // The edge's report of a real minimize or restore.
    void WindowMinimized(bool minimized);
    // Minimizes or restores; before the window is shown, only the state
    // and the application's events, as a shown window's change raises them.
    void SetMinimized(bool minimized);
    bool MinimizedBeforeShow() const { return minimizedBeforeShow_; }
    void ApplicationMinimize();
    void ApplicationRestore();
    void ApplicationHint(const std::string& hint);
    bool Splitter1CanResize(int newFFTPanelWidth) const;
    bool Splitter2CanResize(int newPanel2Height) const;
    // The splitters moved or the panels were resized by the user or the
    // layout: the kept sizes follow while FFTPanel is on screen.
    void KeepSplits();
    void Panel1Resize();
    void FFTPanelResize();
    void VisualTimerTimer();
    // A control's hint, and a hint rewritten under the mouse (the control's
    // hint and the status text at once).
    void SetHint(THintId control, const std::string& hint);
    void ShowLiveHint(THintId control, const std::string& hint);
    // Mouse handlers of the paint boxes and the status bar, in the box's
    // own pixels.
    void PaintBox1MouseDown(int button, unsigned shift, int x, int y) { Level.PaintBox1MouseDown(button, shift, x, y); }
    void PaintBox1MouseMove(unsigned shift, int x, int y) { Level.PaintBox1MouseMove(shift, x, y); }
    void PaintBox1MouseUp(int button, unsigned shift, int x, int y) { Level.PaintBox1MouseUp(button, shift, x, y); }
    void PaintBox2MouseDown(int button, unsigned shift, int x, int y) { Spectrum.PaintBox2MouseDown(button, shift, x, y); }
    void PaintBox2MouseMove(unsigned shift, int x, int y) { Spectrum.PaintBox2MouseMove(shift, x, y); }
    void PaintBox3MouseMove(unsigned shift, int x, int y) { Spectrum.PaintBox3MouseMove(shift, x, y); }
    void PaintBox3MouseUp(int button, unsigned shift, int x, int y) { Spectrum.PaintBox3MouseUp(button, shift, x, y); }
    void StatusBar1MouseMove(unsigned shift, int x, int y) { Refresh.StatusBar1MouseMove(shift, x, y); }
    void PaintStatusLights(TCanvas& canvas) { Refresh.PaintStatusLights(canvas); }

    // --- paths and the record ----------------------------------------------
    // Folder of the program, with a trailing separator.
    static std::string ProgramFolder();
    // Folder of the settings file: VX_SETTINGS_DIR, else the program folder
    // (portable) or the user's configuration folder (installed).
    static std::string SettingsFolder();
    static std::string SettingsPath();
    static std::string SegmentName();

    // --- the host sync tick ---------------------------------------------------
    void SharedMapTimerTimer();
    // First step of every tick: a segment cut short or replaced is put
    // back and the analyzer's settings and start-up fields written again.
    void KeepSegment();
    void RepublishRecord(SoundMapRecord& rec, const SoundMapRecord& before);

    // The error box: application title, stop icon, OK, the text as given.
    void ErrorBox(const std::string& text);
    // Message boxes of the displays.
    void DisplayMessage(const std::string& text, TMessageKind kind);

    // --- IHostSyncWindow ---------------------------------------------------
    int ItemTag(SyncItem item) const override;
    void RunCommand(SyncItem item) override;
    int Position(SyncControl control) const override;
    void SetPosition(SyncControl control, int position) override;
    int Maximum(SyncControl control) const override;

    // --- ICaptureUi -----------------------------------------------------
    void ShowError(const std::string& text) override;
    void ShowInfo(const std::string& text) override;
    void PostInfo(const std::string& text) override;
    void ProcessMessages() override;
    [[noreturn]] void EndProgram() override;

    // --- IDisplayHost ------------------------------------------------------
    SoundMapRecord* Record() override;
    TCanvas& BoxCanvas(TDisplayBox box) override;
    void BoxDrawn(TDisplayBox box) override;
    bool PaintBox3Visible() override { return true; }
    bool Realtime1Selected() override { return Realtime1.Tag == 1; }
    bool Timeline1Selected() override { return Timeline1.Tag == 1; }
    int TrackBar3Position() override { return TrackBar3.Position(); }
    int TrackBar3Min() override { return TrackBar3.Min(); }
    int TrackBar3Max() override { return TrackBar3.Max(); }
    void SetTrackBar3Position(int position) override { TrackBar3.SetPosition(position); }
    std::string TrackBar3Hint() override { return Hint(THintId::TrackBar3); }
    void SetStatusText(const std::string& text) override;
    void SetPaintBox2Hint(const std::string& hint) override { ShowLiveHint(THintId::PaintBox2, hint); }
    void SetPaintBox3Hint(const std::string& hint) override { ShowLiveHint(THintId::PaintBox3, hint); }
    void SetComboBox1Hint(const std::string& hint) override;
    void SetStatusBar1Hint(const std::string& hint) override { ShowLiveHint(THintId::StatusBar1, hint); }
    void SetLabel1(const std::string& caption, TColor fontColor) override;
    void RepaintStatusBar() override;
    std::string DeviceName() override;
    char DecimalSeparator() override;
    void ShowMessage(const std::string& text, TMessageKind kind) override { DisplayMessage(text, kind); }

    IWindowEdge& Edge() { return edge_; }

private:
    void SetRangeItem(TMenuItem& on, int value, int maximum);
    void SetShowItem(TMenuItem& on, int value);
    void ShowPanel(TPanelId panel, bool visible);
    void ShowItem(TMenuItem& item, int imageIndex);
    void Toggle(TMenuItem& item, void (SoundMapRecord::*field)(std::uint8_t));
    // A modal box of this window; the host's close request dismisses it
    // and closes once it has returned.
    TBoxAnswer Box(TBoxKind kind, const std::string& text);
    void AfterBox();

    IWindowEdge& edge_;
    ISharedMemoryPlatform& memory_;
    std::array<std::string, kHintControls> hints_;
    std::array<bool, kPanels> panels_{true, true, true, true};
    bool closing_ = false;
    bool applicationHandlers_ = false;
    bool displayMessageOpen_ = false;
    bool boxOpen_ = false;
    bool hostClosePending_ = false;
    bool starting_ = false;  // inside FormCreate
    bool minimizedBeforeShow_ = true;
    void RunStartup();       // FormCreate's steps
};
