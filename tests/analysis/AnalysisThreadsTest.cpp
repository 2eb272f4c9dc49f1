// The analysis on a capture-like thread while the window and the host
// read and write what they share with it: no lock, and nothing torn.
#include <thread>

#include "AnalysisFixture.h"

namespace {

TEST_F(AnalysisTest, RunsBesideTheWindowAndTheHost)
{
    FillSine(1000.0, 31000.0);
    rec->SetUseFFT(1);
    rec->SetTrigAggr(50);
    rec->SetTrigDecay(1);
    std::atomic<bool> done{false};
    std::thread capture([&] {
        for (int i = 0; i < 3000; ++i) {
            SampleBlock[i % kSamplesPerBlock].store(static_cast<std::int16_t>((i % 2) ? 32000 : -32000));
            AnalyseBlock();
        }
        done.store(true);
    });

    int flashes = 0;
    float sink = 0.0f;  // the clock stands still here, so BpmInstant is infinite
    while (!done.load()) {
        LowerPeakHold(1000);  // display refresh
        for (int b = 0; b < kAnalysisBands; ++b)
            sink += BandValues[b].load() + LevelHistory[(HistoryPos.load() + 255) % 256].load();
        sink += Bpm.load() + BpmInstant.load() + (BpmLocked.load() ? 1.0f : 0.0f);
        if (TrigFlash.exchange(0) != 0)
            ++flashes;
        GlobalGain.store(flashes % 2 ? 1.0f : 2.0f);  // gain bar
        EqGain[7].store(flashes % 2 ? 0.5f : 1.0f);   // host synchronisation
        rec->SetUseFFT(static_cast<std::uint8_t>(flashes % 3 != 0));  // the host toggles
        rec->SetTrig(0);                                             // and takes trigs
        std::this_thread::yield();
    }
    capture.join();
    EXPECT_GE(HistoryPos.load(), 0);
    EXPECT_LT(HistoryPos.load(), 256);
    EXPECT_EQ(HistoryPos.load(), 3000 % 256);
    volatile float keep = sink;  // the reads must happen
    (void)keep;
}

}  // namespace
