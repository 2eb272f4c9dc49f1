// Main window: the menu, the commands, the view state, hints and boxes.
#include "VxSoundApp.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "BlockAnalysis.h"
#include "InstallLayout.h"
#include "Platform.h"
#include "ProfileFile.h"
#include "SegmentWatch.h"
#include "SettingsKeys.h"
#include "SharedMap.h"
#include "SoundMapOwner.h"
#include "WaveInRing.h"

namespace {

constexpr int kChosenImage = 22;
constexpr int kUnchosenImage = 23;
constexpr int kCheckImage = 10;

int Toggled(int tag)
{
    return (tag + 1) % 2;
}

}  // namespace

TMenuCheck MenuCheckKind(TMenuId item)
{
    switch (item) {
    case TMenuId::Low1:
    case TMenuId::Medium1:
    case TMenuId::High1:
    case TMenuId::None1:
    case TMenuId::Realtime1:
    case TMenuId::Timeline1:
        return TMenuCheck::Option;
    case TMenuId::AutoSaveChanges1:
    case TMenuId::PassKeypressestoVantorix:
    case TMenuId::UseFFT1:
    case TMenuId::Runminimized1:
    case TMenuId::StayOnTop1:
    case TMenuId::Triggerfaders1:
    case TMenuId::SoundCard1:
        return TMenuCheck::Switch;
    default:
        return TMenuCheck::None;
    }
}

const std::vector<TMenuLine>& MenuLayout()
{
    using A = TVxSoundApp;
    const auto item = [](TMenuId id) { return static_cast<int>(id); };
    static const std::vector<TMenuLine> layout = {
        {0, "Analyzer1", "&Analyzer", nullptr, -1, &A::Analyzer1Click},
        {1, "AutoSaveChanges1", "&Auto Save Changes", "|Save Equalizer and volume settings on exit",
         item(TMenuId::AutoSaveChanges1), &A::AutoSaveChanges1Click},
        {1, "PassKeypressestoVantorix", "Pass Keypresses to Vantorix", "Pass Keypresses to Vantorix",
         item(TMenuId::PassKeypressestoVantorix), &A::PassKeypressestoVantorixClick},
        {1, "N1", nullptr, nullptr, -1, nullptr},
        {1, "Exit1", "E&xit", "|Close Audio Analyzer", item(TMenuId::Exit1), &A::Exit1Click},
        {0, "Trigger1", "&Trigger", nullptr, -1, &A::Trigger1Click},
        {1, "UseFFT1", "Use &Equalizer", "Trig on custom frequencies|Enables equalizer and spectrum analyzer",
         item(TMenuId::UseFFT1), &A::UseFFT1Click},
        {1, "SetDefault1", "Set &Default", "|Reset to the default value", -1, nullptr},
        {2, "Volume1", "&Gain", "|Set the gain fader to the middle (default) position", item(TMenuId::Volume1),
         &A::Volume1Click},
        {2, "Equalizer1", "&Equalizer", "|Reset all equalizer faders to the middle (default) value",
         item(TMenuId::Equalizer1), &A::Equalizer1Click},
        {1, "Noiselevel1", "&Noise level", nullptr, -1, nullptr},
        {2, "Low1", "&Low", nullptr, item(TMenuId::Low1), &A::Low1Click},
        {2, "Medium1", "&Medium", nullptr, item(TMenuId::Medium1), &A::Medium1Click},
        {2, "High1", "&High", nullptr, item(TMenuId::High1), &A::High1Click},
        {0, "View1", "&View", nullptr, -1, &A::View1Click},
        {1, "Runminimized1", "&Run Minimized", "|Don't show Audio Analyzer on startup", item(TMenuId::Runminimized1),
         &A::Runminimized1Click},
        {1, "StayOnTop1", "Stay On &Top", "|Alway put Audio Analyzer in front", item(TMenuId::StayOnTop1),
         &A::StayOnTop1Click},
        {1, "Showinput1", "Show &input", nullptr, -1, nullptr},
        {2, "None1", "&None", nullptr, item(TMenuId::None1), &A::None1Click},
        {2, "Realtime1", "&Real time", nullptr, item(TMenuId::Realtime1), &A::Realtime1Click},
        {2, "Timeline1", "&Time-line", nullptr, item(TMenuId::Timeline1), &A::Timeline1Click},
        {1, "Triggerfaders1", "Trigger &Faders", nullptr, item(TMenuId::Triggerfaders1), &A::Triggerfaders1Click},
        {1, "SoundCard1", "&Sound Card", nullptr, item(TMenuId::SoundCard1), &A::SoundCard1Click},
        {0, "Help1", "&Help", "Help topics", -1, &A::Help1Click},
        {1, "Contents1", "&Help", nullptr, item(TMenuId::Contents1), &A::Contents1Click},
        {1, "N2", nullptr, nullptr, -1, nullptr},
        {1, "About1", "&About", nullptr, item(TMenuId::About1), &A::About1Click},
    };
    return layout;
}

// ---- construction -------------------------------------------------------------

TVxSoundApp::TVxSoundApp(IWindowEdge& edge, ISharedMemoryPlatform& memory)
    : menu_{{
          {"AutoSaveChanges1", 1, 0, -1},
          {"PassKeypressestoVantorix", 0, 0, -1},
          {"Exit1", 0, 0, 9},
          {"UseFFT1", 0, 0, -1},
          {"Volume1", 0, 0, 12},
          {"Equalizer1", 0, 0, 11},
          {"Low1", 1, 2, -1},
          {"Medium1", 0, 2, -1},
          {"High1", 0, 2, -1},
          {"Runminimized1", 1, 0, -1},
          {"StayOnTop1", 1, 0, -1},
          {"None1", 0, 1, -1},
          {"Realtime1", 1, 1, -1},
          {"Timeline1", 0, 1, -1},
          {"Triggerfaders1", 1, 0, -1},
          {"SoundCard1", 1, 0, -1},
          {"Contents1", 0, 0, 5},
          {"About1", 0, 0, -1},
      }},
      AutoSaveChanges1(menu_[static_cast<int>(TMenuId::AutoSaveChanges1)]),
      PassKeypressestoVantorix(menu_[static_cast<int>(TMenuId::PassKeypressestoVantorix)]),
      UseFFT1(menu_[static_cast<int>(TMenuId::UseFFT1)]),
      Low1(menu_[static_cast<int>(TMenuId::Low1)]),
      Medium1(menu_[static_cast<int>(TMenuId::Medium1)]),
      High1(menu_[static_cast<int>(TMenuId::High1)]),
      Runminimized1(menu_[static_cast<int>(TMenuId::Runminimized1)]),
      StayOnTop1(menu_[static_cast<int>(TMenuId::StayOnTop1)]),
      None1(menu_[static_cast<int>(TMenuId::None1)]),
      Realtime1(menu_[static_cast<int>(TMenuId::Realtime1)]),
      Timeline1(menu_[static_cast<int>(TMenuId::Timeline1)]),
      Triggerfaders1(menu_[static_cast<int>(TMenuId::Triggerfaders1)]),
      SoundCard1(menu_[static_cast<int>(TMenuId::SoundCard1)]),
      edge_(edge),
      memory_(memory)
{
    hints_[static_cast<int>(THintId::ScrollBar1)] = "Gain: 0,0dB|Global volume setting for the sound input: 0,0dB";
    hints_[static_cast<int>(THintId::TrackBar1)] = "Decay|Minimum time between trigs";
    hints_[static_cast<int>(THintId::TrackBar2)] = "Aggresivness|Trigger sensitivity";
    hints_[static_cast<int>(THintId::TrackBar3)] = "Noise cut-off level|Minimum sound trig level:";
    hints_[static_cast<int>(THintId::PaintBox1)] = std::string("Level in|") + kPaintBox1HintLong;
    hints_[static_cast<int>(THintId::PaintBox2)] = "Spectrum analyzer|Spectrum analyzer";
    PicturePath = VxLayout::CurrentLayout(ProgramFolder()).PictureFile;

    const auto show = [this](TPositionControl& c) {
        c.OnShow = [this, &c] { edge_.ShowPosition(c.Id(), c.Min(), c.Max(), c.Position()); };
    };
    for (TPositionControl* c : {&TrackBar1, &TrackBar2, &TrackBar3, &ScrollBar1})
        show(*c);
    TrackBar1.OnChange = [this] { TrackBar1Change(); };
    TrackBar2.OnChange = [this] { TrackBar2Change(); };
    TrackBar3.OnChange = [this] { TrackBar3Change(); };
    ScrollBar1.OnChange = [this] { ScrollBar1Change(); };
}

TVxSoundApp::~TVxSoundApp()
{
    if (CaptureUi() == this)
        SetCaptureUi(nullptr);
    if (SharedMap && SoundMapOwner() == SharedMap.get())
        SetSoundMapOwner(nullptr);
}

const TPositionControl& TVxSoundApp::Control(TPositionId id) const
{
    switch (id) {
    case TPositionId::TrackBar1: return TrackBar1;
    case TPositionId::TrackBar2: return TrackBar2;
    case TPositionId::TrackBar3: return TrackBar3;
    case TPositionId::ScrollBar1: break;
    }
    return ScrollBar1;
}

void TVxSoundApp::Click(TMenuId id)
{
    for (const TMenuLine& line : MenuLayout())
        if (line.Item == static_cast<int>(id) && line.Click != nullptr)
            (this->*line.Click)();
}

// ---- paths and the record -----------------------------------------------------

std::string TVxSoundApp::ProgramFolder()
{
    return VxPlatform::ProgramFolder();
}

std::string TVxSoundApp::SettingsFolder()
{
    return VxLayout::CurrentLayout(ProgramFolder()).SettingsFolder;
}

std::string TVxSoundApp::SettingsPath()
{
    return VxSettings::SettingsFilePath(SettingsFolder());
}

std::string TVxSoundApp::SegmentName()
{
    const std::string env = VxPlatform::EnvironmentValue("VX_SEGMENT_NAME");
    return env.empty() ? std::string(kSoundMapName) : env;
}

SoundMapRecord* TVxSoundApp::Record()
{
    return SharedMap ? SharedMap->Data : nullptr;
}

// ---- view state -----------------------------------------------------------------

void TVxSoundApp::ShowPanel(TPanelId panel, bool visible)
{
    panels_[static_cast<int>(panel)] = visible;
    edge_.ShowPanel(panel, visible);
}

void TVxSoundApp::ShowItem(TMenuItem& item, int imageIndex)
{
    item.ImageIndex = imageIndex;
    edge_.ShowMenuItem(static_cast<TMenuId>(&item - menu_.data()), item.Tag, imageIndex);
}

void TVxSoundApp::ApplyViewState()
{
    // A panel coming back gets its kept sizes.
    const bool fftReturns = UseFFT1.Tag == 1 && !PanelVisible(TPanelId::FFTPanel);
    ShowPanel(TPanelId::SoundCardPanel, SoundCard1.Tag == 1);
    ShowPanel(TPanelId::FaderPanel, Triggerfaders1.Tag == 1);
    ShowPanel(TPanelId::FFTPanel, UseFFT1.Tag == 1);
    if (fftReturns)
        edge_.ShowSplits(KeptFftWidth, KeptPanel2Height);

    const SoundMapRecord* rec = Record();
    edge_.ShowStayOnTop(rec != nullptr ? rec->StayOnTop() != 0 : StayOnTop1.Tag == 1);

    for (TMenuItem* it : {&Low1, &Medium1, &High1, &None1, &Timeline1, &Realtime1})
        ShowItem(*it, it->Tag == 1 ? kChosenImage : kUnchosenImage);
    for (TMenuItem* it : {&AutoSaveChanges1, &PassKeypressestoVantorix, &Runminimized1, &StayOnTop1, &Triggerfaders1,
                          &SoundCard1, &UseFFT1})
        ShowItem(*it, it->Tag == 1 ? kCheckImage : -1);
}

// ---- commands -----------------------------------------------------------------

void TVxSoundApp::Toggle(TMenuItem& item, void (SoundMapRecord::*field)(std::uint8_t))
{
    item.Tag = Toggled(item.Tag);
    if (SoundMapRecord* rec = Record(); rec != nullptr && field != nullptr)
        (rec->*field)(item.Tag == 1 ? 1 : 0);
    ApplyViewState();
}

void TVxSoundApp::AutoSaveChanges1Click()
{
    Toggle(AutoSaveChanges1, &SoundMapRecord::SetAutoSaveChanges);
}

// Key forwarding has no byte in the record.
void TVxSoundApp::PassKeypressestoVantorixClick()
{
    Toggle(PassKeypressestoVantorix, nullptr);
}

void TVxSoundApp::Exit1Click()
{
    Close();
}

void TVxSoundApp::UseFFT1Click()
{
    if (UseFFT1.Tag == 1)
        ClearUseFFT();
    else
        SetUseFFT();
}

void TVxSoundApp::SetUseFFT()
{
    if (SoundMapRecord* rec = Record())
        rec->SetUseFFT(1);
    UseFFT1.Tag = 1;
    ApplyViewState();
}

void TVxSoundApp::ClearUseFFT()
{
    if (SoundMapRecord* rec = Record())
        rec->SetUseFFT(0);
    UseFFT1.Tag = 0;
    ApplyViewState();
}

// The Set Default commands only write the record; the next sync tick
// carries the values into the controls and the equalizer factors.
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

void TVxSoundApp::SetRangeItem(TMenuItem& on, int value, int maximum)
{
    if (SoundMapRecord* rec = Record())
        rec->SetNoiseLevelSwitch(value);
    for (TMenuItem* it : {&Low1, &Medium1, &High1})
        it->Tag = it == &on ? 1 : 0;
    // Lowering the maximum below the position moves the fader, which runs
    // TrackBar3Change.
    TrackBar3.SetMax(maximum);
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
    Toggle(Runminimized1, &SoundMapRecord::SetRunMinimized);
}

void TVxSoundApp::StayOnTop1Click()
{
    Toggle(StayOnTop1, &SoundMapRecord::SetStayOnTop);
}

void TVxSoundApp::SetShowItem(TMenuItem& on, int value)
{
    if (SoundMapRecord* rec = Record())
        rec->SetShowInput(static_cast<std::uint8_t>(value));
    for (TMenuItem* it : {&None1, &Realtime1, &Timeline1})
        it->Tag = it == &on ? 1 : 0;
    ShowPanel(TPanelId::Panel1, value != 0);
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

void TVxSoundApp::Triggerfaders1Click()
{
    Toggle(Triggerfaders1, &SoundMapRecord::SetTriggerFaders);
}

void TVxSoundApp::SoundCard1Click()
{
    Toggle(SoundCard1, &SoundMapRecord::SetSoundCard);
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
    const TProfileFile ini(SettingsPath());
    const std::string file = ini.ReadString(VxSettings::kSection, VxSettings::kHelpFile, "");
    if (!file.empty()) {
        const bool relative = std::filesystem::path(file).is_relative();
        edge_.OpenHelp(relative ? ProgramFolder() + file : file, kHelpContext);
        return;
    }
    // No help file of its own: the manual page, beside the build's programs
    // or where the package installs it, in the desktop's viewer.
    for (const char* page : {"../man/vxsound.1", "../share/man/man1/vxsound.1.gz"}) {
        std::error_code ec;
        const std::filesystem::path path = std::filesystem::path(ProgramFolder() + page).lexically_normal();
        if (std::filesystem::is_regular_file(path, ec)) {
            edge_.OpenHelp(path.string(), kHelpContext);
            return;
        }
    }
    ApplicationHint("No help: no HelpFile is set and the manual page vxsound.1 is not installed.");
}

void TVxSoundApp::About1Click()
{
    edge_.ShowAbout();
}

// ---- layout --------------------------------------------------------------------

bool TVxSoundApp::Splitter1CanResize(int newFFTPanelWidth) const
{
    return newFFTPanelWidth >= kLeastFftWidth;
}

bool TVxSoundApp::Splitter2CanResize(int newPanel2Height) const
{
    return newPanel2Height >= kLeastPanel2Height;
}

// The kept sizes follow FFTPanel and Panel2 only while they are on screen:
// a hidden panel keeps its size.
void TVxSoundApp::KeepSplits()
{
    int fft = 0;
    int panel2 = 0;
    if (!edge_.CurrentSplits(fft, panel2))
        return;
    KeptFftWidth = fft;
    KeptPanel2Height = panel2;
}

void TVxSoundApp::Panel1Resize()
{
    Level.Panel1Resize();
}

void TVxSoundApp::FFTPanelResize()
{
    Spectrum.FFTPanelResize();
}

// ---- application handlers and hints ------------------------------------------------

void TVxSoundApp::InstallApplicationHandlers()
{
    if (applicationHandlers_)
        return;
    applicationHandlers_ = true;
    edge_.InstallApplicationHandlers();
}

void TVxSoundApp::SetMinimized(bool minimized)
{
    if (edge_.IsShown()) {
        edge_.ShowMinimized(minimized);
        return;
    }
    if (minimized == minimizedBeforeShow_)
        return;
    minimizedBeforeShow_ = minimized;
    WindowMinimized(minimized);
}

void TVxSoundApp::WindowMinimized(bool minimized)
{
    // The application's handlers are installed by start-up.
    if (!applicationHandlers_)
        return;
    if (minimized)
        ApplicationMinimize();
    else
        ApplicationRestore();
}

void TVxSoundApp::ApplicationMinimize()
{
    edge_.EnableTimer(TTimerId::VisualTimer, false);
    Refresh.ApplicationMinimize();
}

void TVxSoundApp::ApplicationRestore()
{
    edge_.EnableTimer(TTimerId::VisualTimer, true);
    Refresh.ApplicationRestore();
}

void TVxSoundApp::ApplicationHint(const std::string& hint)
{
    edge_.ShowStatusText(HintLongPart(hint));
}

void TVxSoundApp::SetHint(THintId control, const std::string& hint)
{
    hints_[static_cast<int>(control)] = hint;
    edge_.ShowHint(control, hint);
}

void TVxSoundApp::ShowLiveHint(THintId control, const std::string& hint)
{
    SetHint(control, hint);
    ApplicationHint(hint);
}

std::string HintShortPart(const std::string& hint)
{
    return hint.substr(0, hint.find('|'));
}

// ---- host synchronisation window -------------------------------------------------

namespace {
TMenuId MenuIdOf(SyncItem item)
{
    switch (item) {
    case SyncItem::None1: return TMenuId::None1;
    case SyncItem::Realtime1: return TMenuId::Realtime1;
    case SyncItem::Timeline1: return TMenuId::Timeline1;
    case SyncItem::Low1: return TMenuId::Low1;
    case SyncItem::Medium1: return TMenuId::Medium1;
    case SyncItem::High1: return TMenuId::High1;
    case SyncItem::UseFFT1: return TMenuId::UseFFT1;
    case SyncItem::Triggerfaders1: return TMenuId::Triggerfaders1;
    case SyncItem::SoundCard1: return TMenuId::SoundCard1;
    case SyncItem::Runminimized1: return TMenuId::Runminimized1;
    case SyncItem::StayOnTop1: return TMenuId::StayOnTop1;
    case SyncItem::AutoSaveChanges1: break;
    }
    return TMenuId::AutoSaveChanges1;
}
}  // namespace

int TVxSoundApp::ItemTag(SyncItem item) const
{
    return Item(MenuIdOf(item)).Tag;
}

void TVxSoundApp::RunCommand(SyncItem item)
{
    Click(MenuIdOf(item));
}

namespace {
TPositionId PositionOf(SyncControl control)
{
    switch (control) {
    case SyncControl::ScrollBar1: return TPositionId::ScrollBar1;
    case SyncControl::TrackBar1: return TPositionId::TrackBar1;
    case SyncControl::TrackBar2: return TPositionId::TrackBar2;
    case SyncControl::TrackBar3: break;
    }
    return TPositionId::TrackBar3;
}
}  // namespace

int TVxSoundApp::Position(SyncControl control) const
{
    return Control(PositionOf(control)).Position();
}

void TVxSoundApp::SetPosition(SyncControl control, int position)
{
    Control(PositionOf(control)).SetPosition(position);
}

int TVxSoundApp::Maximum(SyncControl control) const
{
    return Control(PositionOf(control)).Max();
}

// ---- boxes and the capture's user interface ---------------------------------------

std::string WithFullStop(const std::string& text)
{
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        return text + '.';
    return text;
}

TBoxAnswer TVxSoundApp::Box(TBoxKind kind, const std::string& text)
{
    boxOpen_ = true;
    const TBoxAnswer answer = edge_.RunBox(kind, text);
    boxOpen_ = false;
    return answer;
}

void TVxSoundApp::AfterBox()
{
    // The host asked to close while the box was open: close now, on the
    // host's path (a close already running goes on by itself).
    if (!hostClosePending_ || closing_)
        return;
    hostClosePending_ = false;
    Close();
}

void TVxSoundApp::ErrorBox(const std::string& text)
{
    Box(TBoxKind::Error, text);
    AfterBox();
}

void TVxSoundApp::ShowError(const std::string& text)
{
    ErrorBox(text);
}

void TVxSoundApp::ShowInfo(const std::string& text)
{
    Box(TBoxKind::Information, text);
    AfterBox();
}

void TVxSoundApp::PostInfo(const std::string& text)
{
    edge_.PostToWindow([this, text] { ShowInfo(text); });
}

void TVxSoundApp::ProcessMessages()
{
    edge_.ProcessMessages();
}

void TVxSoundApp::EndProgram()
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(1);
}
