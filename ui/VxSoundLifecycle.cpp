// Start-up and shut-down of the main window, the settings file's load and
// save, the device chooser and the host's close request.
#include "VxSoundApp.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "BlockAnalysis.h"
#include "CaptureState.h"
#include "InstallLayout.h"
#include "Platform.h"
#include "ProfileFile.h"
#include "SegmentWatch.h"
#include "SettingsKeys.h"
#include "SharedMap.h"
#include "SoundMapOwner.h"
#include "TrigDetector.h"
#include "WaveInRing.h"
#include "WindowMessages.h"

using namespace VxSettings;

namespace {

// The failure that ends FormCreate at a step.
class EStartupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace

std::int64_t TVxSoundApp::HostMessage(std::uint32_t message, std::uint64_t, std::int64_t)
{
    if (message != kHostCloseMessage)
        return 0;
    HostCloseRequested = true;
    // A close inside a running box would be refused (the close question
    // is part of a close already) or would pull the window from under the
    // box's caller: answer the box as No, and close once it has returned.
    // Start-up may let messages through too (the system's device open
    // does): its half-opened device is closed once start-up is over.
    if (boxOpen_ || starting_) {
        hostClosePending_ = true;
        if (boxOpen_)
            edge_.DismissBox();
        return 0;
    }
    Close();
    return 0;
}

void TVxSoundApp::FormCreate()
{
    starting_ = true;
    RunStartup();
    starting_ = false;
    if (hostClosePending_ && !closing_ && !Closed) {
        hostClosePending_ = false;
        HostMessage(kHostCloseMessage, 0, 0);
    }
}

void TVxSoundApp::RunStartup()
{
    try {
        // 1.
        Spectrum.EqualizerBitmap = TCanvas();
        Level.LevelBitmap = TCanvas();
        Spectrum.SpectrumBitmap = TCanvas();

        // 2. Entry 0 of the chooser: the default input.
        SetCaptureUi(this);
        if (WaveInDriver() == nullptr)
            throw EStartupError("Unspecified error");
        DeviceId = -1;
        ::DeviceName = GetDeviceName(-1);
        ComboBox1Items = {::DeviceName};
        ComboBox1Index = 0;
        edge_.ShowDevices(ComboBox1Items, ComboBox1Index);

        // 3.
        PeakHold.store(0, std::memory_order_relaxed);
        ResetTempo();
        HostCloseRequested = false;
        Level.LevelDragging = false;

        // 4.
        const std::uint32_t devices = WaveInDriver()->GetNumDevs();
        for (std::uint32_t d = 0; d < devices; ++d)
            ComboBox1Items.push_back(GetDeviceName(static_cast<std::int32_t>(d)));
        edge_.ShowDevices(ComboBox1Items, ComboBox1Index);

        // 5.
        Recording.store(0, std::memory_order_relaxed);
        CurrentBlock.store(0, std::memory_order_relaxed);
        for (auto& s : SampleBlock)
            s.store(0, std::memory_order_relaxed);
        Spectrum.EqualizerDragging = false;
        ResetGlobalGain();

        // 6.
        InstallApplicationHandlers();

        // 7.
        ResetHistory();

        // 8.
        SharedMap = std::make_unique<TSharedMap>(memory_, SegmentName());
        SharedMap->Attach();
        // Only the system's own segments can be cut or replaced by others.
        if (&memory_ == &PlatformSharedMemory())
            SegmentWatch = MakeSegmentWatch(*SharedMap, SegmentName());
        SetSoundMapOwner(SharedMap.get());
        if (SoundMapRecord* rec = Record()) {
            for (int i = 0; i < kAnalysisBands; ++i) {
                rec->SetBandLevel(i, 0.0f);
                rec->SetEqualizerBand(i, 0);
            }
            rec->SetTrig(0);
            rec->SetMapVersion(1);
            rec->SetAnalyzerActive(1);
            rec->SetGainText(GainReadout(GlobalGain.load(std::memory_order_relaxed), DecimalSeparator()));
        }

        // 9.
        if (!edge_.ReadPicture(PicturePath, Spectrum.AudioLevelPicture)) {
            std::error_code ec;
            const std::filesystem::path full = std::filesystem::absolute(PicturePath, ec);
            throw EStartupError("Cannot open file " + (ec ? PicturePath : full.string()));
        }
        // The panels were laid out before the picture was there.
        Spectrum.FFTPanelResize();
        Level.Panel1Resize();

        // 10.
        PrepareAnalysis();

        // 11.-13.
        {
            TProfileFile ini(SettingsPath());
            ini.Hold();  // one read of the file for all keys
            LoadSettings(ini);
            SettingsLoaded = true;
            ApplyViewState();
            ini.Flush();  // writes nothing: nothing was written
        }

        // 14.
        OpenWaveIn();
        StartWaveIn();

        // 15.
        SetHint(THintId::ComboBox1, "Current soundcard|Input: " + ::DeviceName);
        StartupComplete = true;
    } catch (const ESharedMemoryError& e) {
        // The box keeps its fixed text; stderr says what bears the name.
        if (const std::string why = SegmentProblem(); !why.empty()) {
            std::fprintf(stderr, "%s: the segment %s %s\n", VxPlatform::ProgramName().c_str(), SegmentName().c_str(),
                         why.c_str());
            std::fflush(stderr);
        }
        ErrorBox(WithFullStop(e.what()));
    } catch (const std::exception& e) {
        // The toolkit's box for an exception: its message with the full stop.
        ErrorBox(WithFullStop(e.what()));
    }
}

void TVxSoundApp::LoadSettings(TProfileFile& ini)
{
    const auto readInt = [&](const char* key, int def) { return ini.ReadInteger(kSection, key, def); };
    const auto readBool = [&](const char* key, bool def) { return ini.ReadBool(kSection, key, def); };
    SoundMapRecord* rec = Record();

    // Device choice. Entries 1..N are the devices; a negative number would
    // ask for a device below the default input, so it means the default.
    const int devices = static_cast<int>(ComboBox1Items.size()) - 1;
    const int card = readInt(kSoundCardNo, kDefSoundCardNo);
    if (card <= devices) {
        DeviceId = card <= 0 ? -1 : card - 1;
        ComboBox1Index = card <= 0 ? 0 : card;
        ::DeviceName = GetDeviceName(DeviceId);
        edge_.ShowDevices(ComboBox1Items, ComboBox1Index);
    }

    if (readBool(kUseFFT, kDefUseFFT))
        SetUseFFT();
    else
        ClearUseFFT();

    const int range = readInt(kNoiseLevelSwitch, kDefNoiseLevelSwitch);
    const struct {
        TMenuItem* item;
        int maximum;
    } ranges[] = {{&Low1, 50}, {&Medium1, 150}, {&High1, 455}};
    if (range >= 0 && range <= 2) {
        for (int i = 0; i < 3; ++i)
            ranges[i].item->Tag = i == range ? 1 : 0;
        TrackBar3.SetMax(ranges[range].maximum);
    }
    if (rec != nullptr)
        rec->SetNoiseLevelSwitch(range);

    const int show = readInt(kShowInput, kDefShowInputMenu);
    if (show >= 0 && show <= 2) {
        TMenuItem* items[] = {&None1, &Realtime1, &Timeline1};
        for (int i = 0; i < 3; ++i)
            items[i]->Tag = i == show ? 1 : 0;
        // None hides the level display, whoever chose it.
        ShowPanel(TPanelId::Panel1, show != 0);
    }
    const int showRecord = readInt(kShowInput, kDefShowInputRecord);
    if (rec != nullptr)
        rec->SetShowInput(LowByteUnsigned(showRecord));

    // Geometry: restored and normal while sized, then minimized.
    SetMinimized(false);
    int width = std::max(readInt(kFormWidth, kDefFormWidth), 0);
    int height = std::max(readInt(kFormHeight, kDefFormHeight), 0);
    int left = readInt(kFormLeft, kDefFormLeft);
    int top = readInt(kFormTop, kDefFormTop);
    // A window is at most as large as the screen's free area, so no display
    // bitmap grows beyond the screen; and it stands wholly on that area, so
    // that a change of screens or scaling since the close leaves no part of
    // it out of reach.
    const TPlacement area = edge_.WorkArea(left, top);
    if (area.Width > 0 && area.Height > 0) {
        width = std::min(width, area.Width);
        height = std::min(height, area.Height);
        left = std::clamp(left, area.Left, area.Left + area.Width - width);
        top = std::clamp(top, area.Top, area.Top + area.Height - height);
    }
    edge_.Place({left, top, width, height});
    // Split positions count from the right and bottom edges. Any integer
    // may stand in the file, so the difference is formed wide and held to
    // the splitters' limits.
    const auto split = [](int size, int fromEdge, int least) {
        const long long wanted = static_cast<long long>(size) - fromEdge;
        return static_cast<int>(std::clamp<long long>(wanted, least, std::max(size, least)));
    };
    KeptFftWidth = split(width, readInt(kHSplitPos, kDefHSplitPos), kLeastFftWidth);
    KeptPanel2Height = split(height, readInt(kVSplitPos, kDefVSplitPos), kLeastPanel2Height);
    edge_.ShowSplits(KeptFftWidth, KeptPanel2Height);
    SetMinimized(true);

    const struct {
        TMenuItem* item;
        const char* key;
        bool def;
        void (SoundMapRecord::*field)(std::uint8_t);
    } switches[] = {
        {&Triggerfaders1, kTriggerFaders, kDefTriggerFaders, &SoundMapRecord::SetTriggerFaders},
        {&SoundCard1, kSoundCard, kDefSoundCard, &SoundMapRecord::SetSoundCard},
        {&StayOnTop1, kStayOnTop, kDefStayOnTop, &SoundMapRecord::SetStayOnTop},
    };
    for (const auto& s : switches) {
        const bool on = readBool(s.key, s.def);
        s.item->Tag = on ? 1 : 0;
        if (rec != nullptr)
            (rec->*s.field)(on ? 1 : 0);
    }

    const bool minimized = readBool(kRunMinimized, kDefRunMinimized);
    Runminimized1.Tag = minimized ? 1 : 0;
    if (!minimized)
        SetMinimized(false);
    if (rec != nullptr)
        rec->SetRunMinimized(minimized ? 1 : 0);

    const bool autoSave = readBool(kAutoSaveChanges, kDefAutoSaveChanges);
    AutoSaveChanges1.Tag = autoSave ? 1 : 0;
    if (rec != nullptr)
        rec->SetAutoSaveChanges(autoSave ? 1 : 0);

    PassKeypressestoVantorix.Tag = readBool(kPassKeys, kDefPassKeys) ? 1 : 0;

    if (rec != nullptr) {
        for (int i = 0; i < kEqualizerBandCount; ++i)
            rec->SetEqualizerBand(i, LowByteSigned(readInt(EqualizerBandKey(i).c_str(), kDefEqualizerBand)));
        rec->SetGain(LowByteSigned(readInt(kGain, kDefGain)));
    }

    // Each handler runs even when the position did not change.
    TrackBar3.SetPosition(readInt(kNoiseLevelValue, kDefNoiseLevelValue));
    TrackBar3Change();
    TrackBar1.SetPosition(readInt(kTrigDecay, kDefTrigDecay));
    TrackBar1Change();
    TrackBar2.SetPosition(readInt(kTrigAggr, kDefTrigAggr));
    TrackBar2Change();
}

void TVxSoundApp::SaveSettings(TProfileFile& ini)
{
    const auto writeInt = [&](const char* key, int value) { ini.WriteInteger(kSection, key, value); };
    const auto writeBool = [&](const char* key, bool value) { ini.WriteBool(kSection, key, value); };

    const TPlacement at = edge_.Placement();
    writeInt(kSoundCardNo, ComboBox1Index);
    writeInt(kFormWidth, at.Width);
    writeInt(kFormHeight, at.Height);
    writeInt(kFormLeft, at.Left);
    writeInt(kFormTop, at.Top);
    // From the kept sizes: a hidden panel keeps the size it had.
    KeepSplits();
    writeInt(kHSplitPos, at.Width - KeptFftWidth);
    writeInt(kVSplitPos, at.Height - KeptPanel2Height);
    writeBool(kAutoSaveChanges, AutoSaveChanges1.Tag == 1);
    if (AutoSaveChanges1.Tag != 1)
        return;

    writeBool(kUseFFT, UseFFT1.Tag == 1);
    writeBool(kRunMinimized, Runminimized1.Tag == 1);
    writeBool(kStayOnTop, StayOnTop1.Tag == 1);
    writeBool(kTriggerFaders, Triggerfaders1.Tag == 1);
    writeBool(kSoundCard, SoundCard1.Tag == 1);
    writeBool(kPassKeys, PassKeypressestoVantorix.Tag == 1);
    if (Low1.Tag == 1)
        writeInt(kNoiseLevelSwitch, 0);
    if (Medium1.Tag == 1)
        writeInt(kNoiseLevelSwitch, 1);
    if (High1.Tag == 1)
        writeInt(kNoiseLevelSwitch, 2);
    if (None1.Tag == 1)
        writeInt(kShowInput, 0);
    if (Realtime1.Tag == 1)
        writeInt(kShowInput, 1);
    if (Timeline1.Tag == 1)
        writeInt(kShowInput, 2);
    writeInt(kTrigDecay, TrackBar1.Position());
    writeInt(kTrigAggr, TrackBar2.Position());
    writeInt(kNoiseLevelValue, TrackBar3.Position());
    if (const SoundMapRecord* rec = Record()) {
        for (int i = 0; i < kEqualizerBandCount; ++i)
            writeInt(EqualizerBandKey(i).c_str(), rec->EqualizerBand(i));
        writeInt(kGain, rec->Gain());
    }
}

void TVxSoundApp::FormCloseQuery(bool& canClose)
{
    canClose = true;
    if (HostCloseRequested)
        return;
    canClose = Box(TBoxKind::Question, kConfirmCloseText) == TBoxAnswer::Yes;
    // The host asked to close while the question was open: its close
    // asks nothing, so this one goes on on the host's path.
    if (hostClosePending_) {
        hostClosePending_ = false;
        canClose = true;
    }
}

bool TVxSoundApp::FormClose()
{
    // 1.
    edge_.EnableTimer(TTimerId::SharedMapTimer, false);
    edge_.EnableTimer(TTimerId::VisualTimer, false);

    // 2. A failed write stops the user's close here: the window stays, the
    // timers stay off. A close asked by the host or a signal has nobody at
    // the screen to answer a box: the failure goes to stderr and the close
    // goes on, so that the record says inactive and the process ends. So
    // does a user's close whose error box the host's request ended.
    // A window whose start-up stopped before the settings were loaded holds
    // its design state: writing it would replace the user's settings.
    if (!SettingsLoaded) {
        std::fprintf(stderr, "vxsound: start-up stopped before the settings were loaded; %s is left as it is\n",
                     SettingsPath().c_str());
    } else {
        try {
            VxLayout::PrepareSettingsFolder(VxLayout::CurrentLayout(ProgramFolder()));
            TProfileFile ini(SettingsPath());
            // One write of the file for all keys.
            ini.Hold();
            SaveSettings(ini);
            ini.Flush();
        } catch (const std::exception& e) {
            if (!HostCloseRequested)
                ErrorBox(e.what());
            // Asked again: the host may have asked while the box was open.
            if (!HostCloseRequested)
                return false;
            hostClosePending_ = false;
            SettingsUnsaved = true;
            std::fprintf(stderr, "vxsound: %s; the settings are not saved\n", e.what());
        }
    }

    // 3.
    if (WaveInDriver() != nullptr)
        CloseWaveIn();

    // 4.
    if (SoundMapRecord* rec = Record()) {
        for (int i = 0; i < kAnalysisBands; ++i)
            rec->SetBandLevel(i, 0.0f);
        rec->SetAnalyzerActive(0);
    }

    // 5.
    Spectrum.AudioLevelPicture = TCanvas();
    Spectrum.EqualizerBitmap = TCanvas();
    Level.LevelBitmap = TCanvas();
    Spectrum.SpectrumBitmap = TCanvas();

    // 6.
    edge_.EndWindow();
    return true;
}

void TVxSoundApp::Close()
{
    // The drain inside FormClose pumps messages; a second close request
    // meanwhile must not start another shut-down.
    if (closing_ || Closed)
        return;
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose)
        return;
    closing_ = true;
    const bool closed = FormClose();
    closing_ = false;
    if (!closed) {
        // The next close asks again, whoever asked for this one.
        HostCloseRequested = false;
        hostClosePending_ = false;
        return;
    }
    Closed = true;
}

void TVxSoundApp::ComboBox1Select(int index)
{
    ComboBox1Index = index;
    ComboBox1Change();
}

void TVxSoundApp::ComboBox1Change()
{
    if (WaveInDriver() == nullptr)
        return;
    ProcessMessages();
    CloseWaveIn();
    DeviceId = ComboBox1Index <= 0 ? -1 : ComboBox1Index - 1;
    OpenWaveIn();
    StartWaveIn();
}
