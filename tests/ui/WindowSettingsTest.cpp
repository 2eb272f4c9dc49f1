// The settings file as the window reads and writes it.
#include "WindowFixture.h"

#include "BlockAnalysis.h"
#include "ProfileFile.h"

#include <tuple>

namespace {

using Settings = WindowTest;

TEST_F(Settings, NoFileGivesTheDefaultsAndACloseSavesTheRecordsValues)
{
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete) << ::testing::PrintToString(Errors());
    EXPECT_EQ(DeviceId, -1);
    EXPECT_EQ(edge->Device, 0);
    // The menu switches: UseFFT, Low, Timeline, Realtime, Triggerfaders,
    // SoundCard, StayOnTop, Runminimized, AutoSaveChanges, PassKeys.
    EXPECT_EQ((std::vector<int>{a.UseFFT1.Tag, a.Low1.Tag, a.Timeline1.Tag, a.Realtime1.Tag, a.Triggerfaders1.Tag,
                                a.SoundCard1.Tag, a.StayOnTop1.Tag, a.Runminimized1.Tag, a.AutoSaveChanges1.Tag,
                                a.PassKeypressestoVantorix.Tag}),
              (std::vector<int>{0, 1, 1, 0, 1, 1, 1, 0, 1, 0}));
    EXPECT_FALSE(edge->Minimized);
    EXPECT_TRUE(edge->Timer(TTimerId::VisualTimer));
    EXPECT_EQ((std::vector<int>{edge->Placed.Left, edge->Placed.Top, edge->Placed.Width, edge->Placed.Height}),
              (std::vector<int>{200, 100, 200, 200}));
    EXPECT_EQ(a.TrackBar1.Position(), 15);
    EXPECT_EQ(a.TrackBar2.Position(), 150);
    EXPECT_EQ(a.TrackBar3.Max(), 50);
    EXPECT_EQ(a.TrackBar3.Position(), 1);
    EXPECT_EQ(GlobalGain.load(), 1.0f);
    // The record: UseFFT, ShowInput, StayOnTop, Gain, TrigDecay, TrigAggr,
    // MapVersion, AnalyzerActive, and the equalizer.
    EXPECT_EQ((std::vector<int>{Rec().UseFFT(), Rec().ShowInput(), Rec().StayOnTop(), Rec().Gain(), Rec().TrigDecay(),
                                Rec().TrigAggr(), Rec().MapVersion(), Rec().AnalyzerActive()}),
              (std::vector<int>{0, 1, 1, 0, 15, 150, 1, 1}));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(Rec().EqualizerBand(i), 0);
    // The first tick acts on the record's show-input value.
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.Realtime1.Tag, 1);

    // The user resizes the window and drags the splitters; the sizes stay
    // kept while the spectrum panel is hidden.
    a.SetUseFFT();
    edge->Placed.Width = 260;
    edge->Placed.Height = 240;
    edge->FftWidth = 100;
    edge->Panel2Height = 50;
    a.KeepSplits();
    a.ClearUseFFT();
    edge->FftWidth = 5;
    a.KeepSplits();
    // With auto save on, a close writes every key with the record's values.
    // (The file's other lines: ProfileFileTest.WritesKeepEveryOtherByte.)
    Rec().SetEqualizerBand(15, -100);
    Rec().SetGain(-128);
    a.Medium1Click();
    a.None1Click();
    a.PassKeypressestoVantorixClick();
    EXPECT_TRUE(UserClose(true));
    const std::string ini = Ini();
    for (const char* line : {"EqualizerBand15=-100\n", "Gain=-128\n", "NoiseLevelSwitch=1\n", "ShowInput=0\n",
                             "PassKeys=1\n", "UseFFT=0\n", "RunMinimized=0\n", "StayOnTop=1\n", "TriggerFaders=1\n",
                             "SoundCard=1\n", "TrigAggr=150\n", "NoiseLevelValue=1\n", "FormWidth=260\n",
                             "FormHeight=240\n", "FormLeft=200\n", "HSplitPos=160\n", "VSplitPos=190\n",
                             "SoundCardNo=0\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << ini;
}

// Odd values in the file: hex, garbage (the default), the low byte where
// the record holds a byte, a noise range the menu does not know, a size
// beyond the screen, splits beyond any size, run minimized.
TEST_F(Settings, OddFileValuesAndRunMinimized)
{
    WriteIni("TrigAggr=0x64\nTrigDecay=12abc\nEqualizerBand0=300\nEqualizerBand1=-200\nGain=0x80\n"
             "ShowInput=258\nUseFFT=0x1\nStayOnTop=junk\nFormWidth=\nFormHeight=100000\nFormLeft=5000\nNoiseLevelSwitch=5\n"
             "NoiseLevelValue=300\nHSplitPos=2147483647\nVSplitPos=-2147483648\nRunMinimized=1\n");
    TVxSoundApp& a = Create();
    // TrigAggr, TrigDecay, the size and the place (held on the 1024 x 768
    // screen), the splits, the noise range and value.
    EXPECT_EQ((std::vector<int>{a.TrackBar2.Position(), a.TrackBar1.Position(), edge->Placed.Width, edge->Placed.Height,
                                edge->Placed.Left, edge->Placed.Top, edge->FftWidth, edge->Panel2Height,
                                a.TrackBar3.Max(), a.TrackBar3.Position()}),
              (std::vector<int>{100, 15, 200, 768, 824, 0, 16, 768, 455, 300}));
    // Bands 0 and 1, Gain, ShowInput (low bytes), RunMinimized.
    EXPECT_EQ((std::vector<int>{Rec().EqualizerBand(0), Rec().EqualizerBand(1), Rec().Gain(), Rec().ShowInput(),
                                Rec().RunMinimized()}),
              (std::vector<int>{44, 56, -128, 2, 1}));
    // Realtime keeps its design state; UseFFT, StayOnTop, Runminimized.
    EXPECT_EQ((std::vector<int>{a.Realtime1.Tag, a.UseFFT1.Tag, a.StayOnTop1.Tag, a.Runminimized1.Tag}),
              (std::vector<int>{1, 1, 1, 1}));
    // Minimized: the displays' timer rests, the sync tick runs.
    EXPECT_TRUE(edge->Minimized);
    EXPECT_FALSE(edge->Timer(TTimerId::VisualTimer));
    EXPECT_TRUE(edge->Timer(TTimerId::SharedMapTimer));
    // The tick leaves an unknown noise range alone.
    a.SharedMapTimerTimer();
    EXPECT_EQ(Rec().NoiseLevelSwitch(), 5);
    EXPECT_EQ(a.Low1.Tag, 1);
}

// The keys in the order start-up reads them and a close writes them, with
// auto save on and off.
TEST_F(Settings, ReadAndSaveOrderFollowTheKeyTable)
{
    // Records the keys a load or a save touches, in order.
    struct Recorder final : TProfileFile {
        using TProfileFile::TProfileFile;
        mutable std::string keys;
        std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const override
        {
            keys += (keys.empty() ? "" : " ") + std::string(key);
            return TProfileFile::ReadInteger(section, key, def);
        }
        void WriteString(std::string_view section, std::string_view key, std::string_view value) override
        {
            keys += (keys.empty() ? "" : " ") + std::string(key);
            TProfileFile::WriteString(section, key, value);
        }
    };
    std::string bands;
    for (int i = 0; i < 16; ++i)
        bands += " EqualizerBand" + std::to_string(i);
    const std::string always = "SoundCardNo FormWidth FormHeight FormLeft FormTop HSplitPos VSplitPos AutoSaveChanges";
    // Load or save, auto save, the keys.
    const std::tuple<bool, bool, std::string> cases[] = {
        {true, true,
         "SoundCardNo UseFFT NoiseLevelSwitch ShowInput ShowInput FormWidth FormHeight FormLeft FormTop HSplitPos "
         "VSplitPos TriggerFaders SoundCard StayOnTop RunMinimized AutoSaveChanges PassKeys" +
             bands + " Gain NoiseLevelValue TrigDecay TrigAggr"},
        {false, true,
         always + " UseFFT RunMinimized StayOnTop TriggerFaders SoundCard PassKeys NoiseLevelSwitch ShowInput "
                  "TrigDecay TrigAggr NoiseLevelValue" + bands + " Gain"},
        {false, false, always},
    };
    TVxSoundApp& a = Create();
    for (const auto& [load, autoSave, keys] : cases) {
        a.AutoSaveChanges1.Tag = autoSave ? 1 : 0;
        Recorder ini(IniPath());
        if (load)
            a.LoadSettings(ini);
        else
            a.SaveSettings(ini);
        EXPECT_EQ(ini.keys, keys) << load << autoSave;
    }
}

// SoundCardNo picks the chooser's entry: the last device (the test driver
// has one), beyond it or below zero the default input; the user's choice
// opens its device; a close saves the entry.
TEST_F(Settings, SoundCardNoSelectsLastDeviceAndIgnoresBeyond)
{
    // The file, the user's choice (-1 none), the entry chosen, what a close saves.
    const std::tuple<const char*, int, int, const char*> cases[] = {
        {"SoundCardNo=1\n", -1, 1, "SoundCardNo=1\n"},
        {"SoundCardNo=2\n", -1, 0, "SoundCardNo=0\n"},
        {"SoundCardNo=-3\n", -1, 0, "SoundCardNo=0\n"},
        {"", 1, 1, "SoundCardNo=1\n"},
    };
    for (const auto& [file, choice, entry, saved] : cases) {
        SCOPED_TRACE(file);
        WriteIni(file);
        TVxSoundApp& a = Create();
        EXPECT_EQ(edge->Devices, (std::vector<std::string>{"Test input", "Test input"}));
        if (choice >= 0)
            a.ComboBox1Select(choice);
        EXPECT_EQ(a.ComboBox1Index, entry);
        EXPECT_EQ(DeviceId, entry - 1);
        EXPECT_TRUE(WaveInOpen());
        EXPECT_TRUE(UserClose(true));
        EXPECT_NE(Ini().find(saved), std::string::npos) << Ini();
    }
}

}  // namespace
