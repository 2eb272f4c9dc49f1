// Start-up and shut-down of the main window, the settings file's load and
// save, the device chooser and the host's close request.
#include "VxSoundApp.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

#include <cstdio>
#include <stdexcept>

#include "BlockAnalysis.h"
#include "BusWindowMessages.h"
#include "CaptureState.h"
#include "InstallLayout.h"
#include "ProfileFile.h"
#include "QtKeyMessages.h"
#include "SettingsKeys.h"
#include "SegmentWatch.h"
#include "SharedMap.h"
#include "SoundMapOwner.h"
#include "TrigDetector.h"
#include "WaveInRing.h"

using namespace VxSettings;

namespace {

constexpr const char* kConfirmText =
    "This will disable the VantorixDMX sound trigger\r\nfunction in the Vantorix...\r\n\r\nAre you sure?";

// The failure that ends FormCreate at a step.
class EStartupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace

void TVxSoundApp::PublishOnBus()
{
    bus_ = std::make_unique<BusWindow>(
        QString::fromLatin1(kAnalyzerWindowClass),
        [this](std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
            return HostMessage(message, wParam, lParam);
        });
    if (!bus_->Published())
        std::fprintf(stderr, "vxsound: No session bus (%s): close requests and key forwarding are off\n",
                     bus_->Error().toLocal8Bit().constData());
    // Only the key-target query waits for a reply: a host that does not
    // answer in time has no target, rather than holding every keystroke.
    messages_ = std::make_unique<BusWindowMessages>(QDBusConnection::sessionBus(), kKeyTargetQueryTimeoutMs);
}

std::int64_t TVxSoundApp::HostMessage(std::uint32_t message, std::uint64_t, std::int64_t)
{
    if (message != kHostCloseMessage)
        return 0;
    HostCloseRequested = true;
    // A close inside a running box would be refused (the close question
    // is part of a close already) or would pull the window from under the
    // box's caller: answer the box as No, and close once it has returned.
    if (boxOpen_) {
        hostClosePending_ = true;
        if (openBox_ != nullptr)
            openBox_->done(QMessageBox::No);
        return 0;
    }
    close();
    return 0;
}

void TVxSoundApp::InstallApplicationHandlers()
{
    if (applicationHandlers_)
        return;
    applicationHandlers_ = true;
    qApp->installEventFilter(this);
    keyFilter_ = new KeyForwardFilter([this] { return PassKeypressestoVantorix->Tag; }, *messages_, this, this);
    qApp->installEventFilter(keyFilter_);
}

void TVxSoundApp::FormCreate()
{
    try {
        // 1.
        Spectrum->EqualizerBitmap = TCanvas();
        Level->LevelBitmap = TCanvas();
        Spectrum->SpectrumBitmap = TCanvas();

        // 2. Entry 0 of the chooser: the default input.
        SetCaptureUi(this);
        if (WaveInDriver() == nullptr)
            throw EStartupError("Unspecified error");
        DeviceId = -1;
        DeviceName = GetDeviceName(-1);
        ComboBox1->clear();
        ComboBox1->addItem(QString::fromStdString(DeviceName));
        ComboBox1->setCurrentIndex(0);

        // 3.
        PeakHold.store(0, std::memory_order_relaxed);
        ResetTempo();
        HostCloseRequested = false;
        Level->LevelDragging = false;

        // 4.
        const std::uint32_t devices = WaveInDriver()->GetNumDevs();
        for (std::uint32_t d = 0; d < devices; ++d)
            ComboBox1->addItem(QString::fromStdString(GetDeviceName(static_cast<std::int32_t>(d))));

        // 5.
        Recording.store(0, std::memory_order_relaxed);
        CurrentBlock.store(0, std::memory_order_relaxed);
        for (auto& s : SampleBlock)
            s.store(0, std::memory_order_relaxed);
        Spectrum->EqualizerDragging = false;
        ResetGlobalGain();

        // 6.
        InstallApplicationHandlers();

        // 7.
        ResetHistory();

        // 8.
        SharedMap = std::make_unique<TSharedMap>(PlatformSharedMemory(), SegmentName());
        SharedMap->Attach();
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
            rec->SetGainText(GainReadout(GlobalGain.load(std::memory_order_relaxed)).toLatin1().toStdString());
        }

        // 9.
        if (!LoadPictureFile(PicturePath, Spectrum->AudioLevelPicture))
            throw EStartupError("Cannot open file " + QFileInfo(PicturePath).absoluteFilePath().toStdString());
        // The panels were laid out before the picture was there.
        Spectrum->FFTPanelResize();
        Level->Panel1Resize();

        // 10.
        PrepareAnalysis();

        // 11.-13.
        {
            TProfileFile ini(SettingsPath().toStdString());
            LoadSettings(ini);
            SettingsLoaded = true;
            ApplyViewState();
        }

        // 14.
        OpenWaveIn();
        StartWaveIn();

        // 15.
        SetHint(ComboBox1, QStringLiteral("Current soundcard|Input: ") + QString::fromStdString(DeviceName));
        StartupComplete = true;
    } catch (const std::exception& e) {
        // The toolkit's box for an exception: its message with the full stop.
        ErrorBox(WithFullStop(QString::fromStdString(e.what())));
    }
}

void TVxSoundApp::LoadSettings(TProfileFile& ini)
{
    const auto readInt = [&](const char* key, int def) { return ini.ReadInteger(kSection, key, def); };
    const auto readBool = [&](const char* key, bool def) { return ini.ReadBool(kSection, key, def); };
    SoundMapRecord* rec = Record();

    // Device choice. Entries 1..N are the devices; a negative number would
    // ask for a device below the default input, so it means the default.
    const int devices = ComboBox1->count() - 1;
    const int card = readInt(kSoundCardNo, kDefSoundCardNo);
    if (card <= devices) {
        if (card <= 0) {
            DeviceId = -1;
            ComboBox1->setCurrentIndex(0);
            DeviceName = GetDeviceName(-1);
        } else {
            DeviceId = card - 1;
            ComboBox1->setCurrentIndex(card);
            DeviceName = GetDeviceName(card - 1);
        }
    }

    if (readBool(kUseFFT, kDefUseFFT))
        SetUseFFT();
    else
        ClearUseFFT();

    const int range = readInt(kNoiseLevelSwitch, kDefNoiseLevelSwitch);
    const struct {
        TMenuItem* item;
        int maximum;
    } ranges[] = {{Low1, 50}, {Medium1, 150}, {High1, 455}};
    if (range >= 0 && range <= 2) {
        for (int i = 0; i < 3; ++i)
            ranges[i].item->Tag = i == range ? 1 : 0;
        TrackBar3->setMaximum(ranges[range].maximum);
    }
    if (rec != nullptr)
        rec->SetNoiseLevelSwitch(range);

    const int show = readInt(kShowInput, kDefShowInputMenu);
    if (show >= 0 && show <= 2) {
        TMenuItem* items[] = {None1, Realtime1, Timeline1};
        for (int i = 0; i < 3; ++i)
            items[i]->Tag = i == show ? 1 : 0;
        // None hides the level display, whoever chose it.
        Panel1->setVisible(show != 0);
    }
    const int showRecord = readInt(kShowInput, kDefShowInputRecord);
    if (rec != nullptr)
        rec->SetShowInput(LowByteUnsigned(showRecord));

    // Geometry: restored and normal while sized, then minimized.
    SetMinimized(false);
    int width = readInt(kFormWidth, kDefFormWidth);
    int height = readInt(kFormHeight, kDefFormHeight);
    const int left = readInt(kFormLeft, kDefFormLeft);
    const int top = readInt(kFormTop, kDefFormTop);
    // A window is at most as large as the screen's free area, as the
    // platform holds it, so no display bitmap grows beyond the screen.
    QScreen* screen = QGuiApplication::screenAt(QPoint(left, top));
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (screen != nullptr) {
        width = std::min(width, screen->availableGeometry().width());
        height = std::min(height, screen->availableGeometry().height());
    }
    // Client-area position and size both ways, so that a close and a start
    // agree whatever frame a window manager adds; where it puts the frame's
    // corner at the position instead, the first placement is corrected.
    setGeometry(left, top, width, height);
    PlaceAt = QPoint(left, top);
    // Split positions count from the right and bottom edges. Any integer
    // may stand in the file, so the difference is formed wide and held to
    // the splitters' limits.
    const auto split = [](int size, int fromEdge, int least) {
        const long long wanted = static_cast<long long>(size) - fromEdge;
        return static_cast<int>(std::clamp<long long>(wanted, least, std::max(size, least)));
    };
    keptFftWidth_ = split(width, readInt(kHSplitPos, kDefHSplitPos), kLeastFftWidth);
    keptPanel2Height_ = split(height, readInt(kVSplitPos, kDefVSplitPos), kLeastPanel2Height);
    RestoreSplits();
    SetMinimized(true);

    TMenuItem* switches[] = {Triggerfaders1, SoundCard1, StayOnTop1};
    const char* switchKeys[] = {kTriggerFaders, kSoundCard, kStayOnTop};
    const bool switchDefaults[] = {kDefTriggerFaders, kDefSoundCard, kDefStayOnTop};
    for (int i = 0; i < 3; ++i) {
        const bool on = readBool(switchKeys[i], switchDefaults[i]);
        switches[i]->Tag = on ? 1 : 0;
        if (rec != nullptr) {
            if (i == 0)
                rec->SetTriggerFaders(on ? 1 : 0);
            else if (i == 1)
                rec->SetSoundCard(on ? 1 : 0);
            else
                rec->SetStayOnTop(on ? 1 : 0);
        }
    }

    const bool minimized = readBool(kRunMinimized, kDefRunMinimized);
    Runminimized1->Tag = minimized ? 1 : 0;
    if (!minimized)
        SetMinimized(false);
    if (rec != nullptr)
        rec->SetRunMinimized(minimized ? 1 : 0);

    const bool autoSave = readBool(kAutoSaveChanges, kDefAutoSaveChanges);
    AutoSaveChanges1->Tag = autoSave ? 1 : 0;
    if (rec != nullptr)
        rec->SetAutoSaveChanges(autoSave ? 1 : 0);

    PassKeypressestoVantorix->Tag = readBool(kPassKeys, kDefPassKeys) ? 1 : 0;

    if (rec != nullptr) {
        for (int i = 0; i < kEqualizerBandCount; ++i)
            rec->SetEqualizerBand(i, LowByteSigned(readInt(EqualizerBandKey(i).c_str(), kDefEqualizerBand)));
        rec->SetGain(LowByteSigned(readInt(kGain, kDefGain)));
    }

    // Each handler runs even when the position did not change.
    TrackBar3->setValue(readInt(kNoiseLevelValue, kDefNoiseLevelValue));
    TrackBar3Change();
    TrackBar1->setValue(readInt(kTrigDecay, kDefTrigDecay));
    TrackBar1Change();
    TrackBar2->setValue(readInt(kTrigAggr, kDefTrigAggr));
    TrackBar2Change();
}

void TVxSoundApp::SaveSettings(TProfileFile& ini)
{
    const auto writeInt = [&](const char* key, int value) { ini.WriteInteger(kSection, key, value); };
    const auto writeBool = [&](const char* key, bool value) { ini.WriteBool(kSection, key, value); };

    writeInt(kSoundCardNo, ComboBox1->currentIndex());
    writeInt(kFormWidth, width());
    writeInt(kFormHeight, height());
    writeInt(kFormLeft, SavedPosition().x());
    writeInt(kFormTop, SavedPosition().y());
    // From the kept sizes: a hidden panel keeps the size it had.
    KeepSplits();
    writeInt(kHSplitPos, width() - keptFftWidth_);
    writeInt(kVSplitPos, height() - keptPanel2Height_);
    writeBool(kAutoSaveChanges, AutoSaveChanges1->Tag == 1);
    if (AutoSaveChanges1->Tag != 1)
        return;

    writeBool(kUseFFT, UseFFT1->Tag == 1);
    writeBool(kRunMinimized, Runminimized1->Tag == 1);
    writeBool(kStayOnTop, StayOnTop1->Tag == 1);
    writeBool(kTriggerFaders, Triggerfaders1->Tag == 1);
    writeBool(kSoundCard, SoundCard1->Tag == 1);
    writeBool(kPassKeys, PassKeypressestoVantorix->Tag == 1);
    if (Low1->Tag == 1)
        writeInt(kNoiseLevelSwitch, 0);
    if (Medium1->Tag == 1)
        writeInt(kNoiseLevelSwitch, 1);
    if (High1->Tag == 1)
        writeInt(kNoiseLevelSwitch, 2);
    if (None1->Tag == 1)
        writeInt(kShowInput, 0);
    if (Realtime1->Tag == 1)
        writeInt(kShowInput, 1);
    if (Timeline1->Tag == 1)
        writeInt(kShowInput, 2);
    writeInt(kTrigDecay, TrackBar1->value());
    writeInt(kTrigAggr, TrackBar2->value());
    writeInt(kNoiseLevelValue, TrackBar3->value());
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
    if (ConfirmClose) {
        boxOpen_ = true;
        canClose = ConfirmClose();
        boxOpen_ = false;
    } else {
        QMessageBox box(QMessageBox::Question, windowTitle(), QString::fromLatin1(kConfirmText),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        canClose = RunBox(box) == QMessageBox::Yes;
    }
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
    SharedMapTimer->stop();
    VisualTimer->stop();

    // 2. A failed write stops here: the window stays, the timers stay off.
    // A window whose start-up stopped before the settings were loaded holds
    // its design state: writing it would replace the user's settings.
    if (!SettingsLoaded) {
        std::fprintf(stderr, "vxsound: start-up stopped before the settings were loaded; %s is left as it is\n",
                     SettingsPath().toLocal8Bit().constData());
    } else {
        try {
            VxLayout::PrepareSettingsFolder(VxLayout::CurrentLayout(ProgramFolder().toStdString()));
            TProfileFile ini(SettingsPath().toStdString());
            SaveSettings(ini);
        } catch (const std::exception& e) {
            ErrorBox(QString::fromStdString(e.what()));
            return false;
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
    Spectrum->AudioLevelPicture = TCanvas();
    Spectrum->EqualizerBitmap = TCanvas();
    Level->LevelBitmap = TCanvas();
    Spectrum->SpectrumBitmap = TCanvas();

    // 6.
    QCoreApplication::quit();
    return true;
}

void TVxSoundApp::closeEvent(QCloseEvent* event)
{
    // The drain inside FormClose pumps messages; a second close request
    // meanwhile must not start another shut-down.
    if (closing_) {
        event->ignore();
        return;
    }
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    closing_ = true;
    const bool closed = FormClose();
    closing_ = false;
    if (!closed) {
        // The next close asks again, whoever asked for this one.
        HostCloseRequested = false;
        hostClosePending_ = false;
        event->ignore();
        return;
    }
    Closed = true;
    event->accept();
}

void TVxSoundApp::ComboBox1Change()
{
    if (WaveInDriver() == nullptr)
        return;
    QCoreApplication::processEvents();
    CloseWaveIn();
    const int entry = ComboBox1->currentIndex();
    DeviceId = entry <= 0 ? -1 : entry - 1;
    OpenWaveIn();
    StartWaveIn();
}
