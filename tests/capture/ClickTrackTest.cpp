// Capture to record: a click track played through the file device at the
// pace of real time, captured by the ring on the driver's thread and
// analysed into a record, with the real millisecond clock.
#include "AnalysisFixture.h"
#include "FakeCapture.h"
#include "SignalWaveDriver.h"

namespace {

using namespace std::chrono_literals;

// 120 BPM: a 10 ms burst of 2 kHz every 22050 samples, silence between.
std::int16_t ClickTrack(std::uint64_t frame)
{
    const std::uint64_t inBeat = frame % 22050;
    if (inBeat >= 441)
        return 0;
    return static_cast<std::int16_t>(std::lrint(20000.0 * std::sin(2.0 * M_PI * 2000.0 * inBeat / 44100.0)));
}

using ClickTrackTest = AnalysisTest;

TEST_F(ClickTrackTest, ClicksAt120BpmThroughTheRingTrigAndLockTheTempo)
{
    VxPlatform::SetTickClock(nullptr);  // the real millisecond clock
    rec->SetUseFFT(1);
    TSignalWaveDriver driver(ClickTrack);
    TFakeUi ui;
    SetWaveInDriver(&driver);
    SetCaptureUi(&ui);
    DeviceId = -1;
    OpenWaveIn();
    StartWaveIn();

    // Take trigs as a host does, and wait for a locked tempo (the lock
    // needs two agreeing intervals, so three clicks). Meanwhile the window
    // and the host read and write what they share with the analysis, with
    // no lock: nothing may race.
    int trigs = 0;
    float sink = 0.0f;
    EXPECT_TRUE(WaitFor(
        [&] {
            if (rec->Trig() == 1) {
                ++trigs;
                rec->SetTrig(0);
            }
            LowerPeakHold(1000);
            TrigFlash.exchange(0);
            for (int b = 0; b < kAnalysisBands; ++b)
                sink += BandValues[b].load();
            sink += LevelHistory[(HistoryPos.load() + 255) % 256].load() + Bpm.load() + BpmInstant.load();
            GlobalGain.store(1.0f);
            EqGain[7].store(1.0f);
            rec->SetUseFFT(1);
            return BpmLocked.load() && trigs >= 4;
        },
        8s));
    volatile float keep = sink;  // the reads must happen
    (void)keep;
    CloseWaveIn();
    SetCaptureUi(nullptr);
    SetWaveInDriver(nullptr);

    // The ring opened, captured, drained and closed without a word.
    EXPECT_TRUE(ui.Errors.empty());
    EXPECT_TRUE(ui.Posted.empty()) << ui.Posted.front();
    EXPECT_FALSE(DeviceHandlePresent.load());
    EXPECT_NEAR(Bpm.load(), 120.0f, 6.0f);
    EXPECT_NEAR(BpmInstant.load(), 120.0f, 6.0f);
    EXPECT_GT(rec->FFTBandLevel(9), 0.0f);  // the spectrum path ran too
}

}  // namespace
