// The host's side of the synchronisation: a second mapping of the real
// segment writes the record, the window's own 100 ms timer adopts it, and
// the test looks at the record and the window as the user would see them.
#include "WindowFixture.h"

#include <QSignalSpy>
#include <QTest>

#include <vector>

#include "BlockAnalysis.h"
#include "HostSync.h"

namespace {

// The real window behind a counter of the commands the tick runs.
class TCountingWindow : public IHostSyncWindow {
public:
    explicit TCountingWindow(TVxSoundApp& w) : w_(w) {}
    int ItemTag(SyncItem item) const override { return w_.ItemTag(item); }
    void RunCommand(SyncItem item) override
    {
        ++Commands;
        w_.RunCommand(item);
    }
    int Position(SyncControl control) const override { return w_.Position(control); }
    void SetPosition(SyncControl control, int position) override
    {
        if (position != w_.Position(control))
            ++Moves;
        w_.SetPosition(control, position);
    }
    int Maximum(SyncControl control) const override { return w_.Maximum(control); }
    int Commands = 0;
    int Moves = 0;

private:
    TVxSoundApp& w_;
};

// EqualizerBand up to TrigAggr: every field the host may write.
constexpr std::size_t kSettingsFrom = VXSM_OFF_EQUALIZERBAND;
constexpr std::size_t kSettingsTo = VXSM_OFF_CLIPPING;

}  // namespace

class Sync : public WindowTest {
protected:
    TVxSoundApp& Start()
    {
        TVxSoundApp& a = Create();
        EXPECT_TRUE(a.StartupComplete) << errors.join("; ").toStdString();
        host_ = HostMap();
        return a;
    }
    SoundMapRecord& Host() { return *host_->Data; }

    // The window's own timer, not a direct call: the host cannot call it.
    // A tick is 100 ms; the margin only covers a slow sanitizer build.
    bool AdoptedWithinATick(const std::function<bool()>& done) { return QTest::qWaitFor(done, 1500); }

    std::unique_ptr<TSharedMap> host_;
};

TEST_F(Sync, HostChoicesRunTheMenuCommands)
{
    TVxSoundApp& a = Start();
    a.Realtime1Click();
    if (a.UseFFT1->Tag == 1)
        a.UseFFT1Click();
    ASSERT_EQ(a.UseFFT1->Tag, 0);
    ASSERT_FALSE(a.FFTPanel->isVisibleTo(&a));

    Host().SetShowInput(2);
    Host().SetUseFFT(1);
    Host().SetEqualizerBand(3, 64);
    ASSERT_TRUE(AdoptedWithinATick([&] { return a.Timeline1->Tag == 1 && a.UseFFT1->Tag == 1; }));
    EXPECT_EQ(a.Realtime1->Tag, 0);
    EXPECT_EQ(a.Timeline1->ImageIndex(), 22);
    EXPECT_EQ(a.Realtime1->ImageIndex(), 23);
    EXPECT_EQ(Host().ShowInput(), 2);
    EXPECT_TRUE(a.FFTPanel->isVisibleTo(&a));
    EXPECT_EQ(a.UseFFT1->ImageIndex(), 10);
    EXPECT_EQ(Host().UseFFT(), 1);
    EXPECT_NEAR(EqGain[3].load(), 3.1623f, 1e-4f);
    EXPECT_FLOAT_EQ(EqGain[3].load(), EqualizerFactor(64));

    // A value outside the choices selects nothing and stays for the host.
    Host().SetShowInput(9);
    Host().SetNoiseLevelSwitch(-3);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.Timeline1->Tag, 1);
    EXPECT_EQ(a.Timeline1->ImageIndex(), 22);
    EXPECT_EQ(Host().ShowInput(), 9);
    EXPECT_EQ(Host().NoiseLevelSwitch(), -3);
    // The user's choice overwrites it.
    a.None1->trigger();
    EXPECT_EQ(Host().ShowInput(), 0);
    EXPECT_FALSE(a.Panel1->isVisibleTo(&a));
}

TEST_F(Sync, DefaultGainReachesTheScrollBarAtTheNextTickWithTheLocaleSeparator)
{
    TVxSoundApp& a = Start();
    a.ScrollBar1->setValue(-60);
    ASSERT_EQ(Host().Gain(), 60);
    a.Volume1->trigger();
    EXPECT_EQ(Host().Gain(), 0);
    EXPECT_EQ(a.ScrollBar1->value(), -60);
    ASSERT_TRUE(AdoptedWithinATick([&] { return a.ScrollBar1->value() == 0; }));
    const QString zero = QLocale().toString(0.0, 'f', 1);
    EXPECT_EQ(a.StatusPanel2->text(), "Gain: " + zero + "dB");
    EXPECT_EQ(Host().GainText(), zero.toStdString());
    EXPECT_EQ(GlobalGain.load(), 1.0f);
}

TEST_F(Sync, RangeAndCutOffFromTheHost)
{
    TVxSoundApp& a = Start();
    a.High1Click();
    a.TrackBar3->setValue(300);
    ASSERT_EQ(Host().NoiseLevelValue(), 300);

    // Low with 40 together: the range command clamps to 50 and writes it
    // over the host's 40 before the faders are compared.
    Host().SetNoiseLevelSwitch(0);
    Host().SetNoiseLevelValue(40);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.Low1->Tag, 1);
    EXPECT_EQ(a.TrackBar3->maximum(), 50);
    EXPECT_EQ(a.TrackBar3->value(), 50);
    EXPECT_EQ(Host().NoiseLevelValue(), 50);

    // Medium, then a value above its maximum: the maximum is written back.
    Host().SetNoiseLevelSwitch(1);
    a.SharedMapTimerTimer();
    Host().SetNoiseLevelValue(500);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.TrackBar3->maximum(), 150);
    EXPECT_EQ(a.TrackBar3->value(), 150);
    EXPECT_EQ(Host().NoiseLevelValue(), 150);
    EXPECT_EQ(a.StatusPanel2->text(), "Minimum sound trig level: -10.7 dB");
    // Already at the maximum: the fader does not move, the clamp still writes.
    QSignalSpy moved(a.TrackBar3, &QSlider::valueChanged);
    Host().SetNoiseLevelValue(1000);
    a.SharedMapTimerTimer();
    EXPECT_EQ(moved.count(), 0);
    EXPECT_EQ(Host().NoiseLevelValue(), 150);
}

TEST_F(Sync, OutOfRangeValuesAreWrittenBackOnlyWhenTheControlMoved)
{
    TVxSoundApp& a = Start();
    // Gain -128 asks for 128: the scroll bar goes to 127 and -127 is written.
    a.ScrollBar1->setValue(100);
    Host().SetGain(-128);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.ScrollBar1->value(), 127);
    EXPECT_EQ(Host().Gain(), -127);
    // Already at the bottom: nothing moves and the host's -128 stays.
    Host().SetGain(-128);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.ScrollBar1->value(), 127);
    EXPECT_EQ(Host().Gain(), -128);

    a.TrackBar1->setValue(13);
    Host().SetTrigDecay(0);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.TrackBar1->value(), 1);
    EXPECT_EQ(Host().TrigDecay(), 1);
    Host().SetTrigDecay(0);
    a.SharedMapTimerTimer();
    EXPECT_EQ(Host().TrigDecay(), 0);  // the analysis reads this one
    Host().SetTrigDecay(26);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.TrackBar1->value(), 25);
    EXPECT_EQ(Host().TrigDecay(), 25);
    Host().SetTrigDecay(26);
    a.SharedMapTimerTimer();
    EXPECT_EQ(Host().TrigDecay(), 26);

    // An on/off byte of 7 is neither state: the command runs once and
    // the next tick finds agreement.
    const int before = a.StayOnTop1->Tag;
    Host().SetStayOnTop(7);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.StayOnTop1->Tag, 1 - before);
    EXPECT_EQ(Host().StayOnTop(), a.StayOnTop1->Tag);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.StayOnTop1->Tag, 1 - before);
}

TEST_F(Sync, ValuesTheWindowAlreadyShowsRunNothing)
{
    TVxSoundApp& a = Start();
    a.SharedMapTimerTimer();  // the start-up gain reaches the scroll bar
    a.StatusPanel2->setText("untouched");
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (QAbstractSlider* c : std::initializer_list<QAbstractSlider*>{a.ScrollBar1, a.TrackBar1, a.TrackBar2, a.TrackBar3})
        spies.push_back(std::make_unique<QSignalSpy>(c, &QAbstractSlider::valueChanged));
    for (TMenuItem* it : {a.None1, a.Realtime1, a.Timeline1, a.Low1, a.Medium1, a.High1, a.UseFFT1, a.Triggerfaders1,
                          a.SoundCard1, a.Runminimized1, a.StayOnTop1, a.AutoSaveChanges1})
        spies.push_back(std::make_unique<QSignalSpy>(it, &QAction::changed));
    const std::vector<std::uint8_t> before = RecordBytes(Host());

    // The host writes back exactly the settings it read (the analysis'
    // own fields and Trig are not the host's to rewrite).
    for (std::size_t i = kSettingsFrom; i < kSettingsTo; ++i)
        if (i != VXSM_OFF_TRIG)
            Host().SetRawByte(i, before[i]);
    QSignalSpy ticks(a.SharedMapTimer, &QTimer::timeout);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 3; }, 5000)) << "three ticks of the window's timer";
    TCountingWindow counted(a);
    SharedMapTimerTimer(a.Record(), counted);
    EXPECT_EQ(counted.Commands, 0);
    EXPECT_EQ(counted.Moves, 0);

    for (const auto& spy : spies) {
        EXPECT_EQ(spy->count(), 0) << spy->signal().toStdString();
    }
    EXPECT_EQ(a.StatusPanel2->text(), "untouched");
    const std::vector<std::uint8_t> after = RecordBytes(Host());
    for (std::size_t i = kSettingsFrom; i < kSettingsTo; ++i) {
        if (i != VXSM_OFF_TRIG) {
            EXPECT_EQ(after[i], before[i]) << "offset " << i;
        }
    }
}
