// Menu commands, faders, panels and hints of the main window, as its logic
// decides them and tells its edge.
#include "WindowFixture.h"

#include "BlockAnalysis.h"

namespace {

using Commands = WindowTest;

TEST_F(Commands, SwitchesAndChoicesWriteTheRecordAndMoveTheirImages)
{
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete) << ::testing::PrintToString(Errors());
    const struct {
        TMenuId item;
        std::uint8_t (SoundMapRecord::*field)() const;
    } switches[] = {
        {TMenuId::AutoSaveChanges1, &SoundMapRecord::AutoSaveChanges}, {TMenuId::Runminimized1, &SoundMapRecord::RunMinimized},
        {TMenuId::StayOnTop1, &SoundMapRecord::StayOnTop},             {TMenuId::Triggerfaders1, &SoundMapRecord::TriggerFaders},
        {TMenuId::SoundCard1, &SoundMapRecord::SoundCard},             {TMenuId::UseFFT1, &SoundMapRecord::UseFFT},
    };
    for (const auto& c : switches) {
        SCOPED_TRACE(a.Item(c.item).Name);
        const int before = a.Item(c.item).Tag;
        for (const int tag : {1 - before, before}) {
            a.Click(c.item);
            EXPECT_EQ(a.Item(c.item).Tag, tag);
            EXPECT_EQ((Rec().*c.field)(), tag);
            EXPECT_EQ(edge->Image(c.item), tag == 1 ? 10 : -1);
        }
    }
    // Key forwarding has no record byte: the record stays as it was.
    const std::vector<std::uint8_t> before = RecordBytes(Rec());
    a.Click(TMenuId::PassKeypressestoVantorix);
    EXPECT_EQ(edge->Image(TMenuId::PassKeypressestoVantorix), 10);
    EXPECT_EQ(RecordBytes(Rec()), before);

    // The chosen option gets image 22, the others 23; choosing it again
    // writes its value again.
    a.Click(TMenuId::Timeline1);
    Rec().SetShowInput(7);
    a.Click(TMenuId::Timeline1);
    EXPECT_EQ(Rec().ShowInput(), 2);
    EXPECT_EQ(a.Timeline1.Tag + a.Realtime1.Tag + a.None1.Tag, 1);
    EXPECT_EQ(edge->Image(TMenuId::Timeline1), 22);
    EXPECT_EQ(edge->Image(TMenuId::Realtime1), 23);
    EXPECT_EQ(edge->Image(TMenuId::None1), 23);

    // The range's maximum; lowering it below the fader moves the fader,
    // which runs the fader's handler; raising it moves nothing.
    a.Click(TMenuId::High1);
    a.TrackBar3.SetPosition(300);
    const struct {
        TMenuId item;
        int range, maximum, position;
        const char* readout;
    } ranges[] = {
        {TMenuId::Medium1, 1, 150, 150, "-10.7"},
        {TMenuId::High1, 2, 455, 150, "-10.7"},
        {TMenuId::Low1, 0, 50, 50, "-20.2"},
    };
    for (const auto& r : ranges) {
        SCOPED_TRACE(r.range);
        edge->StatusText = "before";
        a.Click(r.item);
        EXPECT_EQ(Rec().NoiseLevelSwitch(), r.range);
        EXPECT_EQ(a.TrackBar3.Max(), r.maximum);
        EXPECT_EQ(Rec().NoiseLevelValue(), r.position);
        const auto& shown = edge->Positions[static_cast<int>(TPositionId::TrackBar3)];
        EXPECT_EQ(shown.Max, r.maximum);
        EXPECT_EQ(shown.Position, r.position);
        EXPECT_EQ(edge->Image(r.item), 22);
        EXPECT_EQ(edge->StatusText, r.position == 150 && r.range == 2
                                        ? "before"
                                        : std::string("Minimum sound trig level: ") + r.readout + " dB");
    }

    // Fixed images.
    for (const auto& [item, image] : {std::pair{TMenuId::Exit1, 9}, std::pair{TMenuId::Volume1, 12},
                                      std::pair{TMenuId::Equalizer1, 11}, std::pair{TMenuId::Contents1, 5}})
        EXPECT_EQ(a.Item(item).ImageIndex, image);
}

TEST_F(Commands, PanelsTimersAndStayOnTopFollowTheWindowState)
{
    TVxSoundApp& a = Create();
    const auto panel = [&](TPanelId p) {
        EXPECT_EQ(a.PanelVisible(p), edge->Panels[static_cast<int>(p)]);
        return a.PanelVisible(p);
    };
    a.Realtime1Click();
    a.SetUseFFT();
    EXPECT_TRUE(panel(TPanelId::Panel1) && panel(TPanelId::FFTPanel));
    a.None1Click();
    EXPECT_FALSE(panel(TPanelId::Panel1));
    a.Timeline1Click();
    EXPECT_TRUE(panel(TPanelId::Panel1));
    a.UseFFT1Click();
    EXPECT_FALSE(panel(TPanelId::FFTPanel));
    a.Triggerfaders1Click();
    a.SoundCard1Click();
    EXPECT_FALSE(panel(TPanelId::FaderPanel) || panel(TPanelId::SoundCardPanel));
    a.SoundCard1Click();
    EXPECT_TRUE(panel(TPanelId::SoundCardPanel) && !panel(TPanelId::FaderPanel));

    // Minimized, only the display timer stops.
    edge->ShowMinimized(true);
    EXPECT_FALSE(edge->Timer(TTimerId::VisualTimer));
    EXPECT_TRUE(edge->Timer(TTimerId::SharedMapTimer));
    edge->ShowMinimized(false);
    EXPECT_TRUE(edge->Timer(TTimerId::VisualTimer));

    EXPECT_TRUE(edge->StayOnTop);
    a.StayOnTop1Click();
    EXPECT_EQ(Rec().StayOnTop(), 0);
    EXPECT_FALSE(edge->StayOnTop);
    // The style follows the record when a menu opens; the item waits.
    Rec().SetStayOnTop(1);
    a.View1Click();
    EXPECT_TRUE(edge->StayOnTop);
    EXPECT_EQ(edge->Image(TMenuId::StayOnTop1), -1);
}

TEST_F(Commands, FadersWriteTheRecordAndShowTheirReadOuts)
{
    // The gain read-out follows the user's separator; the noise read-out
    // keeps its point.
    edge->Separator = ',';
    TVxSoundApp& a = Create();
    EXPECT_EQ(Rec().GainText(), "0,0");
    EXPECT_EQ(a.Hint(THintId::ComboBox1), "Current soundcard|Input: Test input");
    a.High1Click();
    const struct {
        TPositionId fader;
        int position;
        int recorded;
        std::string hint;  // the status text shows its long part; empty: it keeps its text
    } cases[] = {
        {TPositionId::TrackBar1, 1, 1, "Decay|Minimum time between trigs: 46 ms"},
        {TPositionId::TrackBar1, 24, 24, "Decay|Minimum time between trigs: 580 ms"},  // 580.5 rounds to even
        {TPositionId::TrackBar1, 25, 25, "Decay|Minimum time between trigs: 604 ms"},
        {TPositionId::TrackBar1, 40, 25, ""},  // held at the maximum: no change, no handler
        {TPositionId::TrackBar3, 25, 25, "Noise cut-off level|Minimum sound trig level: -26.2 dB"},
        {TPositionId::TrackBar3, 150, 150, "Noise cut-off level|Minimum sound trig level: -10.7 dB"},
        {TPositionId::TrackBar3, 455, 455, "Noise cut-off level|Minimum sound trig level: -1.0 dB"},
        {TPositionId::TrackBar2, 299, 299, ""},
        {TPositionId::ScrollBar1, -127, 127, "Gain: 20,0dB|Gain: 20,0dB"},
        {TPositionId::ScrollBar1, 127, -127, "Gain: -20,0dB|Gain: -20,0dB"},
        {TPositionId::ScrollBar1, 1, -1, "Gain: -0,2dB|Gain: -0,2dB"},
        {TPositionId::ScrollBar1, -64, 64, "Gain: 10,1dB|Gain: 10,1dB"},
    };
    const THintId hints[] = {THintId::TrackBar1, THintId::TrackBar2, THintId::TrackBar3, THintId::ScrollBar1};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.fader)) + " at " + std::to_string(c.position));
        edge->StatusText = "before";
        a.Control(c.fader).SetPosition(c.position);
        const SoundMapRecord& r = Rec();
        EXPECT_EQ(c.fader == TPositionId::TrackBar1   ? r.TrigDecay()
                  : c.fader == TPositionId::TrackBar2 ? r.TrigAggr()
                  : c.fader == TPositionId::TrackBar3 ? r.NoiseLevelValue()
                                                      : r.Gain(),
                  c.recorded);
        EXPECT_EQ(edge->Positions[static_cast<int>(c.fader)].Position, a.Control(c.fader).Position());
        const THintId hint = hints[static_cast<int>(c.fader)];
        if (!c.hint.empty()) {
            EXPECT_EQ(a.Hint(hint), c.hint);
            EXPECT_EQ(edge->Hints[static_cast<int>(hint)], c.hint);
            EXPECT_EQ(edge->StatusText, c.hint.substr(c.hint.find('|') + 1));
        } else {
            EXPECT_EQ(edge->StatusText, "before");
        }
    }
    EXPECT_EQ(Rec().GainText(), "10,1");
    for (const auto& [position, factor] : {std::pair{-127, 10.0f}, std::pair{127, 0.1f}, std::pair{0, 1.0f}}) {
        a.ScrollBar1.SetPosition(position);
        EXPECT_FLOAT_EQ(GlobalGain.load(), factor);
    }
}

TEST_F(Commands, StartUpAndSetDefaultLeaveTheGainForTheNextTick)
{
    WriteIni("NoiseLevelSwitch=0\nNoiseLevelValue=400\nTrigDecay=99\nTrigAggr=-5\nGain=20\nEqualizerBand3=64\n");
    TVxSoundApp& a = Create();
    EXPECT_EQ(a.TrackBar3.Max(), 50);
    EXPECT_EQ(a.TrackBar3.Position(), 50);
    EXPECT_EQ(Rec().NoiseLevelValue(), 50);
    EXPECT_EQ(a.TrackBar1.Position(), 25);
    EXPECT_EQ(Rec().TrigDecay(), 25);
    EXPECT_EQ(a.TrackBar2.Position(), 0);
    EXPECT_EQ(Rec().TrigAggr(), 0);
    // The last handler run was the aggressiveness one, which shows nothing.
    EXPECT_EQ(edge->StatusText, "Minimum time between trigs: 604 ms");

    EXPECT_EQ(Rec().Gain(), 20);
    EXPECT_EQ(a.ScrollBar1.Position(), 0);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.ScrollBar1.Position(), -20);
    EXPECT_EQ(edge->Positions[static_cast<int>(TPositionId::ScrollBar1)].Position, -20);
    EXPECT_FLOAT_EQ(GlobalGain.load(), GainOfPosition(-20));

    a.Click(TMenuId::Volume1);
    a.Click(TMenuId::Equalizer1);
    EXPECT_EQ(Rec().Gain(), 0);
    EXPECT_EQ(Rec().EqualizerBand(3), 0);
    EXPECT_EQ(a.ScrollBar1.Position(), -20);  // not at the click
}

}  // namespace
