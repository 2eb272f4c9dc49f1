// The host's side of the segment: a second mapping of the real segment
// writes the record and the window's tick adopts it; a host that cuts the
// segment short, removes or replaces it, while the capture and the ticks
// run.
#include "WindowFixture.h"

#include "BlockAnalysis.h"

namespace {

using namespace std::chrono_literals;

// Each test maps the segment a second time, as the host does.
using Sync = WindowTest;

TEST_F(Sync, TheTickAdoptsTheHostsChoicesAndGain)
{
    TVxSoundApp& a = Create();
    const auto map = HostMap();
    SoundMapRecord& host = *map->Data;
    a.Realtime1Click();
    a.ClearUseFFT();

    host.SetShowInput(2);
    host.SetUseFFT(1);
    host.SetGain(60);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.Timeline1.Tag, 1);
    EXPECT_EQ(a.UseFFT1.Tag, 1);
    EXPECT_EQ(a.ScrollBar1.Position(), -60);
    EXPECT_TRUE(edge->Panels[static_cast<int>(TPanelId::FFTPanel)]);
    EXPECT_EQ(host.UseFFT(), 1);
    const std::string gain = GainReadout(GainOfPosition(-60), '.');
    EXPECT_EQ(edge->StatusText, "Gain: " + gain + "dB");
    EXPECT_EQ(host.GainText(), gain);

    // A value outside the choices selects nothing and stays for the host.
    host.SetShowInput(9);
    host.SetNoiseLevelSwitch(-3);
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.Timeline1.Tag, 1);
    EXPECT_EQ(edge->Image(TMenuId::Timeline1), 22);
    EXPECT_EQ(host.ShowInput(), 9);
    EXPECT_EQ(host.NoiseLevelSwitch(), -3);
}

TEST_F(Sync, RangeAndCutOffFromTheHost)
{
    TVxSoundApp& a = Create();
    const auto map = HostMap();
    SoundMapRecord& host = *map->Data;
    a.High1Click();
    a.TrackBar3.SetPosition(300);
    ASSERT_EQ(host.NoiseLevelValue(), 300);

    const struct {
        int range, value, maximum, position;
        const char* status;
    } rows[] = {
        // Low with 40 together: the range command clamps to 50 and writes it
        // over the host's 40 before the faders are compared.
        {0, 40, 50, 50, "Minimum sound trig level: -20.2 dB"},
        // A higher range moves nothing and runs no handler.
        {1, 50, 150, 50, "untouched"},
        // A value above the maximum: the maximum is written back, also when
        // the fader stands there already and does not move.
        {1, 500, 150, 150, "Minimum sound trig level: -10.7 dB"},
        {1, 1000, 150, 150, "untouched"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.value);
        edge->StatusText = "untouched";
        host.SetNoiseLevelSwitch(r.range);
        host.SetNoiseLevelValue(r.value);
        a.SharedMapTimerTimer();
        EXPECT_EQ(a.Item(r.range == 0 ? TMenuId::Low1 : TMenuId::Medium1).Tag, 1);
        EXPECT_EQ(a.TrackBar3.Max(), r.maximum);
        EXPECT_EQ(a.TrackBar3.Position(), r.position);
        EXPECT_EQ(host.NoiseLevelValue(), r.position);
        EXPECT_EQ(edge->StatusText, r.status);
    }
}

TEST_F(Sync, OutOfRangeValuesAreWrittenBackOnlyWhenTheControlMoved)
{
    TVxSoundApp& a = Create();
    const auto map = HostMap();
    SoundMapRecord& host = *map->Data;
    a.ScrollBar1.SetPosition(100);
    a.TrackBar1.SetPosition(13);
    const struct {
        const char* what;
        bool gain;  // else the decay
        int written;
        int recorded;  // after the tick
    } cases[] = {
        // Gain -128 asks for 128: the scroll bar goes to 127 and -127 is written.
        {"gain moves", true, -128, -127},
        {"gain at the bottom", true, -128, -128},
        {"decay moves", false, 0, 1},
        {"decay at the bottom", false, 0, 0},
        {"decay moves up", false, 26, 25},
        {"decay at the top", false, 26, 26},
    };
    for (const auto& c : cases) {
        if (c.gain)
            host.SetGain(static_cast<std::int8_t>(c.written));
        else
            host.SetTrigDecay(c.written);
        a.SharedMapTimerTimer();
        EXPECT_EQ(c.gain ? host.Gain() : host.TrigDecay(), c.recorded) << c.what;
    }
}

#ifndef _WIN32
// Only the system's named segments can be cut short or replaced by another
// process under the analyzer.
using WindowSegment = WindowTest;

TEST_F(WindowSegment, CutShortRemovedOrReplacedSegmentIsPutBackWithItsSettings)
{
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete) << ::testing::PrintToString(Errors());
    // Two settings that only the record and a fader hold.
    Rec().SetEqualizerBand(3, 64);
    a.TrackBar1.SetPosition(7);
    // The watch keeps the record's last whole state at each tick.
    a.SharedMapTimerTimer();
    const std::string path = VxTestOs::SegmentFile(segment_);
    const auto size = [&] {
        std::error_code ec;
        const auto bytes = std::filesystem::file_size(path, ec);
        return ec ? -1 : static_cast<long long>(bytes);
    };
    const struct {
        const char* command;  // %s = the segment's path
        std::chrono::milliseconds within;
        const char* said;
    } rows[] = {
        {"truncate -s 0 %s", 2s, "was cut short by another process"},
        {"truncate -s 1 %s", 2s, "was cut short by another process"},
        {"truncate -s 2430 %s", 2s, "was cut short by another process"},
        {"rm %s", 1s, "was removed by another process"},
        // Created again by a host, zero-filled: never by the analyzer.
        {"rm %s && umask 077 && truncate -s 2431 %s", 1s, "was replaced by another process"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        ::testing::internal::CaptureStderr();
        const std::uint32_t blocks = BlocksReceived.load();
        char command[512];
        std::snprintf(command, sizeof command, row.command, path.c_str(), path.c_str());
        ASSERT_EQ(VxTestOs::Shell(command), 0);
        // Before any tick: cut to 0, this very read faults, here on the UI
        // thread (the capture thread's stores fault likewise).
        EXPECT_LE(Rec().AnalyzerActive(), 1);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(TickUntil([&] { return size() == 2431; }, row.within));
        // What a host mapping it now sees: the analyzer active, its settings
        // back, and fresh levels (the analysis never writes a negative one).
        auto host = HostMap();
        host->Data->SetLevel(-1.0f);
        const auto left = row.within - std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start);
        EXPECT_TRUE(TickUntil([&] { return host->Data->AnalyzerActive() == 1 && host->Data->Level() >= 0.0f; }, left))
            << "active " << int(host->Data->AnalyzerActive()) << ", level " << host->Data->Level();
        EXPECT_EQ(host->Data->MapVersion(), 1);
        EXPECT_EQ(host->Data->EqualizerBand(3), 64);
        EXPECT_EQ(host->Data->TrigDecay(), 7);
        EXPECT_EQ(host->Data->AutoSaveChanges(), a.AutoSaveChanges1.Tag);
        EXPECT_GT(BlocksReceived.load(), blocks) << "the capture stopped";
        // Said once.
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(row.said), std::string::npos) << err;
        EXPECT_EQ(err.find(row.said), err.rfind(row.said)) << err;
    }
    EXPECT_FALSE(a.Closed);
    EXPECT_TRUE(Errors().empty()) << ::testing::PrintToString(Errors());
}
#endif

}  // namespace
