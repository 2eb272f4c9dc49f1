// Trigger faders, gain scroll bar and their read-outs.
#include "WindowFixture.h"

#include <QLocale>
#include <QSignalSpy>

#include "BlockAnalysis.h"

TEST(FaderReadouts, DecayNoiseAndGain)
{
    EXPECT_EQ(DecayMs(1), 46);
    EXPECT_EQ(DecayMs(13), 325);
    EXPECT_EQ(DecayMs(24), 580);  // 580.5 rounds to even
    EXPECT_EQ(DecayMs(25), 604);

    EXPECT_EQ(NoiseReadout(1), "-54.2");
    EXPECT_EQ(NoiseReadout(25), "-26.2");
    EXPECT_EQ(NoiseReadout(50), "-20.2");
    EXPECT_EQ(NoiseReadout(150), "-10.7");
    EXPECT_EQ(NoiseReadout(455), "-1.0");
    EXPECT_EQ(NoiseReadout(512), "0.0");

    EXPECT_EQ(GainOfPosition(0), 1.0f);
    EXPECT_FLOAT_EQ(GainOfPosition(-127), 10.0f);
    EXPECT_FLOAT_EQ(GainOfPosition(127), 0.1f);
    EXPECT_EQ(GainReadout(GainOfPosition(-127), '.'), "20.0");
    EXPECT_EQ(GainReadout(GainOfPosition(127), '.'), "-20.0");
    EXPECT_EQ(GainReadout(GainOfPosition(1), '.'), "-0.2");
    EXPECT_EQ(GainReadout(GainOfPosition(0), ','), "0,0");
    EXPECT_EQ(GainReadout(GainOfPosition(-64), ','), "10,1");
}

using Faders = WindowTest;

TEST_F(Faders, DecayAndNoiseHandlersWriteRecordHintAndStatus)
{
    TVxSoundApp& a = Create();
    a.TrackBar1->setValue(24);
    EXPECT_EQ(Rec().TrigDecay(), 24);
    EXPECT_EQ(a.Hint(a.TrackBar1), "Decay|Minimum time between trigs: 580 ms");
    EXPECT_EQ(a.StatusPanel2->text(), "Minimum time between trigs: 580 ms");

    a.High1Click();
    a.TrackBar3->setValue(455);
    EXPECT_EQ(Rec().NoiseLevelValue(), 455);
    EXPECT_EQ(a.StatusPanel2->text(), "Minimum sound trig level: -1.0 dB");
    EXPECT_EQ(a.TrackBar3->toolTip(), "Noise cut-off level");
}

TEST_F(Faders, LowMovesTheNoiseFaderAndHighThenRunsNoHandler)
{
    TVxSoundApp& a = Create();
    a.High1Click();
    a.TrackBar3->setValue(100);
    QSignalSpy moved(a.TrackBar3, &QSlider::valueChanged);
    a.Low1Click();
    EXPECT_EQ(a.TrackBar3->value(), 50);
    EXPECT_EQ(Rec().NoiseLevelValue(), 50);
    EXPECT_EQ(a.StatusPanel2->text(), "Minimum sound trig level: -20.2 dB");
    EXPECT_EQ(moved.count(), 1);
    a.StatusPanel2->setText("untouched");
    a.High1Click();
    EXPECT_EQ(a.TrackBar3->value(), 50);
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(a.StatusPanel2->text(), "untouched");
}

TEST_F(Faders, AggressivenessLeavesTheStatusText)
{
    TVxSoundApp& a = Create();
    a.StatusPanel2->setText("before");
    a.TrackBar2->setValue(299);
    EXPECT_EQ(Rec().TrigAggr(), 299);
    EXPECT_EQ(a.StatusPanel2->text(), "before");
    EXPECT_EQ(a.Hint(a.TrackBar2), "Aggresivness|Trigger sensitivity");
}

TEST_F(Faders, GainAtTopBottomAndJustBelowTheMiddle)
{
    TVxSoundApp& a = Create();
    a.ScrollBar1->setValue(-127);
    EXPECT_FLOAT_EQ(GlobalGain.load(), 10.0f);
    EXPECT_EQ(Rec().Gain(), 127);
    EXPECT_EQ(Rec().GainText(), GainReadout(10.0f).toStdString());
    a.ScrollBar1->setValue(127);
    EXPECT_FLOAT_EQ(GlobalGain.load(), 0.1f);
    EXPECT_EQ(Rec().Gain(), -127);
    a.ScrollBar1->setValue(1);
    const QString s = GainReadout(GlobalGain.load());
    EXPECT_EQ(a.Hint(a.ScrollBar1), "Gain: " + s + "dB|Gain: " + s + "dB");
    EXPECT_EQ(a.StatusPanel2->text(), "Gain: " + s + "dB");
    a.ScrollBar1->setValue(0);
    EXPECT_EQ(GlobalGain.load(), 1.0f);
}

TEST_F(Faders, GainTextUsesTheLocaleDecimalComma)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TVxSoundApp& a = Create();
    EXPECT_EQ(Rec().GainText(), "0,0");
    a.ScrollBar1->setValue(1);
    EXPECT_EQ(Rec().GainText(), "-0,2");
    EXPECT_EQ(a.StatusPanel2->text(), "Gain: -0,2dB");
    // The noise read-out keeps its point.
    a.TrackBar3->setValue(50);
    EXPECT_EQ(a.StatusPanel2->text(), "Minimum sound trig level: -20.2 dB");
    QLocale::setDefault(saved);
}

TEST_F(Faders, StartUpSetsFadersInOrderAndLeavesGainForTheFirstTick)
{
    WriteIni("NoiseLevelSwitch=0\nNoiseLevelValue=400\nTrigDecay=99\nTrigAggr=-5\nGain=20\n");
    TVxSoundApp& a = Create();
    EXPECT_EQ(a.TrackBar3->maximum(), 50);
    EXPECT_EQ(a.TrackBar3->value(), 50);
    EXPECT_EQ(Rec().NoiseLevelValue(), 50);
    EXPECT_EQ(a.TrackBar1->value(), 25);
    EXPECT_EQ(Rec().TrigDecay(), 25);
    EXPECT_EQ(a.TrackBar2->value(), 0);
    EXPECT_EQ(Rec().TrigAggr(), 0);
    // The last handler run was the aggressiveness one, which shows nothing.
    EXPECT_EQ(a.StatusPanel2->text(), "Minimum time between trigs: 604 ms");

    EXPECT_EQ(Rec().Gain(), 20);
    EXPECT_EQ(a.ScrollBar1->value(), 0);
    EXPECT_EQ(GlobalGain.load(), 1.0f);
    EXPECT_EQ(a.Hint(a.ScrollBar1), "Gain: 0,0dB|Global volume setting for the sound input: 0,0dB");
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.ScrollBar1->value(), -20);
    EXPECT_FLOAT_EQ(GlobalGain.load(), GainOfPosition(-20));
    EXPECT_EQ(Rec().Gain(), 20);
}
