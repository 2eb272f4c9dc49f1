// The settings file as the window reads and writes it.
#include "WindowFixture.h"

#include "BlockAnalysis.h"
#include "ProfileFile.h"

using Settings = WindowTest;

TEST_F(Settings, NoFileGivesTheDefaults)
{
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete) << errors.join("; ").toStdString();
    EXPECT_EQ(DeviceId, -1);
    EXPECT_EQ(a.ComboBox1->currentIndex(), 0);
    EXPECT_EQ(a.UseFFT1->Tag, 0);
    EXPECT_EQ(Rec().UseFFT(), 0);
    EXPECT_EQ(a.Low1->Tag, 1);
    EXPECT_EQ(a.TrackBar3->maximum(), 50);
    EXPECT_EQ(a.TrackBar3->value(), 1);
    EXPECT_EQ(a.Timeline1->Tag, 1);
    EXPECT_EQ(a.Realtime1->Tag, 0);
    EXPECT_EQ(Rec().ShowInput(), 1);
    EXPECT_EQ(a.width(), 200);
    EXPECT_EQ(a.height(), 200);
    EXPECT_EQ(a.Triggerfaders1->Tag, 1);
    EXPECT_EQ(a.SoundCard1->Tag, 1);
    EXPECT_EQ(a.StayOnTop1->Tag, 1);
    EXPECT_EQ(Rec().StayOnTop(), 1);
    EXPECT_EQ(a.Runminimized1->Tag, 0);
    EXPECT_FALSE(a.Minimized());
    EXPECT_EQ(a.AutoSaveChanges1->Tag, 1);
    EXPECT_EQ(a.PassKeypressestoVantorix->Tag, 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(Rec().EqualizerBand(i), 0);
    EXPECT_EQ(Rec().Gain(), 0);
    EXPECT_EQ(GlobalGain.load(), 1.0f);
    EXPECT_EQ(a.TrackBar1->value(), 15);
    EXPECT_EQ(Rec().TrigDecay(), 15);
    EXPECT_EQ(a.TrackBar2->value(), 150);
    EXPECT_EQ(Rec().TrigAggr(), 150);
    EXPECT_EQ(Rec().MapVersion(), 1);
    EXPECT_EQ(Rec().AnalyzerActive(), 1);
    // The first tick acts on the record's show-input value.
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.Realtime1->Tag, 1);

    a.SetUseFFT();
    a.show();
    QApplication::processEvents();
    EXPECT_EQ(a.geometry().topLeft(), QPoint(200, 100));
    const int hsplit = a.width() - a.FFTPanel->width();
    EXPECT_TRUE(UserClose(true));
    const std::string ini = Ini();
    EXPECT_NE(ini.find("HSplitPos=" + std::to_string(hsplit) + "\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("SoundCardNo=0\n"), std::string::npos);
}

TEST_F(Settings, AutoSaveOffWritesOnlyTheAlwaysKeys)
{
    WriteIni("EqualizerBand3=12\nTrigDecay=7\n; comment kept\n[Other]\nx=1\n");
    TVxSoundApp& a = Create();
    EXPECT_EQ(Rec().EqualizerBand(3), 12);
    a.AutoSaveChanges1Click();
    Rec().SetEqualizerBand(3, 40);
    a.TrackBar1->setValue(20);
    a.resize(260, 240);
    EXPECT_TRUE(UserClose(true));
    const std::string ini = Ini();
    for (const char* line : {"EqualizerBand3=12\n", "TrigDecay=7\n", "; comment kept\n", "[Other]\nx=1\n",
                             "AutoSaveChanges=0\n", "FormWidth=260\n", "FormHeight=240\n", "SoundCardNo=0\n",
                             "HSplitPos=", "VSplitPos="})
        EXPECT_NE(ini.find(line), std::string::npos) << line << ini;
    EXPECT_EQ(ini.find("UseFFT="), std::string::npos);
    EXPECT_EQ(ini.find("Gain="), std::string::npos);
}

TEST_F(Settings, AutoSaveOnWritesEverythingWithTheRecordsValues)
{
    TVxSoundApp& a = Create();
    Rec().SetEqualizerBand(15, -100);
    Rec().SetGain(-128);
    a.Medium1Click();
    a.None1Click();
    a.PassKeypressestoVantorixClick();
    EXPECT_TRUE(UserClose(true));
    const std::string ini = Ini();
    for (const char* line : {"EqualizerBand15=-100\n", "Gain=-128\n", "NoiseLevelSwitch=1\n", "ShowInput=0\n",
                             "PassKeys=1\n", "UseFFT=0\n", "RunMinimized=0\n", "StayOnTop=1\n",
                             "TriggerFaders=1\n", "SoundCard=1\n", "TrigAggr=150\n", "NoiseLevelValue=1\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << ini;
}

// The keys in the order start-up reads them and a close writes them, with
// auto save on and off.
TEST_F(Settings, ReadAndSaveOrderFollowTheKeyTable)
{
    // Records the keys a load or a save touches, in order.
    struct Recorder final : TProfileFile {
        using TProfileFile::TProfileFile;
        mutable std::vector<std::string> keys;
        std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const override
        {
            keys.emplace_back(key);
            return TProfileFile::ReadInteger(section, key, def);
        }
        void WriteString(std::string_view section, std::string_view key, std::string_view value) override
        {
            keys.emplace_back(key);
            TProfileFile::WriteString(section, key, value);
        }
    };
    std::vector<std::string> bands;
    for (int i = 0; i < 16; ++i)
        bands.push_back("EqualizerBand" + std::to_string(i));
    auto join = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::string> always = {"SoundCardNo", "FormWidth", "FormHeight", "FormLeft",
                                             "FormTop", "HSplitPos", "VSplitPos", "AutoSaveChanges"};
    const struct {
        const char* name;
        bool load;
        bool autoSave;
        std::vector<std::string> keys;
    } cases[] = {
        {"load", true, true,
         join(join({"SoundCardNo", "UseFFT", "NoiseLevelSwitch", "ShowInput", "ShowInput", "FormWidth", "FormHeight",
                    "FormLeft", "FormTop", "HSplitPos", "VSplitPos", "TriggerFaders", "SoundCard", "StayOnTop",
                    "RunMinimized", "AutoSaveChanges", "PassKeys"},
                   bands),
              {"Gain", "NoiseLevelValue", "TrigDecay", "TrigAggr"})},
        {"save, auto save on", false, true,
         join(join(join(always, {"UseFFT", "RunMinimized", "StayOnTop", "TriggerFaders", "SoundCard", "PassKeys",
                                 "NoiseLevelSwitch", "ShowInput", "TrigDecay", "TrigAggr", "NoiseLevelValue"}),
                   bands),
              {"Gain"})},
        {"save, auto save off", false, false, always},
    };
    TVxSoundApp& a = Create();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        a.AutoSaveChanges1->Tag = c.autoSave ? 1 : 0;
        Recorder ini(IniPath());
        if (c.load)
            a.LoadSettings(ini);
        else
            a.SaveSettings(ini);
        EXPECT_EQ(ini.keys, c.keys);
    }
}

TEST_F(Settings, NoiseLevelSwitchFiveKeepsTheDesignedMenu)
{
    WriteIni("NoiseLevelSwitch=5\nNoiseLevelValue=300\n");
    TVxSoundApp& a = Create();
    EXPECT_EQ(a.Low1->Tag, 1);
    EXPECT_EQ(a.TrackBar3->maximum(), 455);
    EXPECT_EQ(a.TrackBar3->value(), 300);
    EXPECT_EQ(Rec().NoiseLevelSwitch(), 5);
    // The tick leaves an unknown range alone.
    a.SharedMapTimerTimer();
    EXPECT_EQ(Rec().NoiseLevelSwitch(), 5);
    EXPECT_EQ(a.Low1->Tag, 1);
}

TEST_F(Settings, SoundCardNoSelectsLastDeviceAndIgnoresBeyond)
{
    // The test driver has one device: N = 1.
    WriteIni("SoundCardNo=1\n");
    TVxSoundApp& a = Create();
    EXPECT_EQ(a.ComboBox1->count(), 2);
    EXPECT_EQ(a.ComboBox1->currentIndex(), 1);
    EXPECT_EQ(DeviceId, 0);
    EXPECT_TRUE(UserClose(true));
    EXPECT_NE(Ini().find("SoundCardNo=1\n"), std::string::npos);

    WriteIni("SoundCardNo=2\n");
    TVxSoundApp& b = Create();
    EXPECT_EQ(b.ComboBox1->currentIndex(), 0);
    EXPECT_EQ(DeviceId, -1);
    EXPECT_TRUE(UserClose(true));
    EXPECT_NE(Ini().find("SoundCardNo=0\n"), std::string::npos);

    // A negative number means the default input (no device lies below it).
    WriteIni("SoundCardNo=-3\n");
    TVxSoundApp& c = Create();
    EXPECT_TRUE(c.StartupComplete) << errors.join("; ").toStdString();
    EXPECT_EQ(DeviceId, -1);
    EXPECT_EQ(c.ComboBox1->currentIndex(), 0);
}

TEST_F(Settings, HexGarbageAndLowBytes)
{
    WriteIni("TrigAggr=0x64\nTrigDecay=12abc\nEqualizerBand0=300\nEqualizerBand1=-200\nGain=0x80\n"
             "ShowInput=258\nUseFFT=0x1\nStayOnTop=junk\nFormWidth=\n");
    TVxSoundApp& a = Create();
    EXPECT_EQ(a.TrackBar2->value(), 100);
    EXPECT_EQ(a.TrackBar1->value(), 15);  // does not convert: the default
    EXPECT_EQ(Rec().EqualizerBand(0), 44);
    EXPECT_EQ(Rec().EqualizerBand(1), 56);
    EXPECT_EQ(Rec().Gain(), -128);
    EXPECT_EQ(Rec().ShowInput(), 2);  // 258's low byte; the menu keeps its design state
    EXPECT_EQ(a.Realtime1->Tag, 1);
    EXPECT_EQ(a.UseFFT1->Tag, 1);
    EXPECT_EQ(a.StayOnTop1->Tag, 1);
    EXPECT_EQ(a.width(), 200);
}

TEST_F(Settings, UnwritableFileStopsShutDownWithTheWindowOpen)
{
    TVxSoundApp& a = Create();
    a.show();
    // A regular file where the folder should be: no one can write there.
    const std::string blocker = (dir_ / "not-a-folder").string();
    std::ofstream(blocker) << "x";
    SetSettingsDir(blocker);
    EXPECT_FALSE(UserClose(true));
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_EQ(errors.back().toStdString(), "Unable to write to " + blocker + "/VxSound.ini");
    EXPECT_TRUE(a.isVisible());
    EXPECT_FALSE(a.SharedMapTimer->isActive());
    EXPECT_FALSE(a.VisualTimer->isActive());
    EXPECT_TRUE(WaveInOpen());
    EXPECT_EQ(Rec().AnalyzerActive(), 1);
    SetSettingsDir(dir_.string());
}
