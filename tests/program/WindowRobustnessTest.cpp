// The window against a hostile host: another process writes random values
// into every host-writable field 1000 times a second while the capture,
// the analysis, the synchronisation tick and the displays run for real.
// The window must keep running, and once the writes stop a single tick
// must bring each setting back to the window or leave it where the clamp
// rules say it stays.
#include "QtWindowFixture.h"

#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "BlockAnalysis.h"
#include "ChildProcess.h"
#include "SoundMapRecord.h"

namespace {

constexpr int kScribbleMs = 10000;

// The host-writable fields whose bytes differ, by name.
std::vector<std::string> ChangedFields(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after)
{
    const struct {
        const char* name;
        std::size_t offset, size;
    } fields[] = {
        {"Gain", VXSM_OFF_GAIN, 1}, {"GainText", VXSM_OFF_GAINTEXT, VXSM_SIZE_GAINTEXT},
        {"EqualizerColor", VXSM_OFF_EQUALIZERCOLOR, VXSM_SIZE_EQUALIZERCOLOR}, {"ShowInput", VXSM_OFF_SHOWINPUT, 1},
        {"UseFFT", VXSM_OFF_USEFFT, 1}, {"TriggerFaders", VXSM_OFF_TRIGGERFADERS, 1}, {"SoundCard", VXSM_OFF_SOUNDCARD, 1},
        {"NoiseLevelSwitch", VXSM_OFF_NOISELEVELSWITCH, 4}, {"NoiseLevelValue", VXSM_OFF_NOISELEVELVALUE, 4},
        {"AutoSaveChanges", VXSM_OFF_AUTOSAVECHANGES, 1}, {"RunMinimized", VXSM_OFF_RUNMINIMIZED, 1},
        {"StayOnTop", VXSM_OFF_STAYONTOP, 1}, {"TrigDecay", VXSM_OFF_TRIGDECAY, 4}, {"TrigAggr", VXSM_OFF_TRIGAGGR, 4},
        {"EqualizerBand", VXSM_OFF_EQUALIZERBAND, SoundMapRecord::kUsedBands},
    };
    std::vector<std::string> changed;
    for (const auto& f : fields)
        if (std::memcmp(before.data() + f.offset, after.data() + f.offset, f.size) != 0)
            changed.push_back(f.name);
    return changed;
}

// A fader or the gain bar agrees with a record value when it shows it, or
// when it stands at the end the value lies beyond (it did not move, so its
// handler never wrote the end back).
bool ControlAgrees(const TPositionControl& c, std::int64_t value)
{
    return value == c.Position() || (c.Position() == c.Min() && value < c.Min()) ||
           (c.Position() == c.Max() && value > c.Max());
}

// Every rule a tick leaves behind, as "field: what is wrong" lines.
std::string Disagreements(const TVxSoundApp& a, const SoundMapRecord& r)
{
    std::string bad;
    // What the record (or the rule) asks for against what the window shows.
    const auto check = [&](bool ok, const std::string& field, double wants, double shows) {
        if (!ok)
            bad += "\n  " + field + ": wants " + std::to_string(wants) + ", the window shows " + std::to_string(shows);
    };
    const struct {
        const char* name;
        const TMenuItem* item;
        std::uint8_t value;
    } switches[] = {
        {"UseFFT", &a.UseFFT1, r.UseFFT()},
        {"TriggerFaders", &a.Triggerfaders1, r.TriggerFaders()},
        {"SoundCard", &a.SoundCard1, r.SoundCard()},
        {"RunMinimized", &a.Runminimized1, r.RunMinimized()},
        {"StayOnTop", &a.StayOnTop1, r.StayOnTop()},
        {"AutoSaveChanges", &a.AutoSaveChanges1, r.AutoSaveChanges()},
    };
    for (const auto& s : switches)
        check((s.item->Tag == 0 || s.item->Tag == 1) && s.value == s.item->Tag, s.name, s.value, s.item->Tag);

    // Option groups: exactly one item on, and a value in 0..2 selects it.
    const auto group = [&](const std::string& name, std::int64_t value, const TMenuItem* const (&items)[3]) {
        const int on = (items[0]->Tag == 1) + (items[1]->Tag == 1) + (items[2]->Tag == 1);
        check(on == 1, name + " items on", value, on);
        if (value >= 0 && value <= 2)
            check(items[value]->Tag == 1, name + " item", value, items[value]->Tag);
    };
    group("ShowInput", r.ShowInput(), {&a.None1, &a.Realtime1, &a.Timeline1});
    group("NoiseLevelSwitch", r.NoiseLevelSwitch(), {&a.Low1, &a.Medium1, &a.High1});
    const int maximum = a.Low1.Tag == 1 ? 50 : a.Medium1.Tag == 1 ? 150 : 455;
    check(a.TrackBar3.Max() == maximum, "noise fader maximum", maximum, a.TrackBar3.Max());

    // The gain bar runs -127 (top) .. 127; the record holds minus its position.
    const int bar = a.ScrollBar1.Position();
    check(r.Gain() == -bar || (r.Gain() == -128 && bar == 127), "Gain (scroll bar)", r.Gain(), bar);
    check(GlobalGain.load() == GainOfPosition(bar), "GlobalGain of the scroll bar", GainOfPosition(bar), GlobalGain.load());
    check(ControlAgrees(a.TrackBar1, r.TrigDecay()), "TrigDecay", r.TrigDecay(), a.TrackBar1.Position());
    check(ControlAgrees(a.TrackBar2, r.TrigAggr()), "TrigAggr", r.TrigAggr(), a.TrackBar2.Position());
    check(ControlAgrees(a.TrackBar3, r.NoiseLevelValue()) && r.NoiseLevelValue() <= a.TrackBar3.Max(),
          "NoiseLevelValue", r.NoiseLevelValue(), a.TrackBar3.Position());
    // Garbage must never reach the controls' own ranges.
    check(a.TrackBar1.Min() == 1 && a.TrackBar1.Max() == 25, "decay fader range", 1, a.TrackBar1.Min());
    check(a.TrackBar2.Min() == 0 && a.TrackBar2.Max() == 300, "aggressiveness fader range", 0, a.TrackBar2.Min());
    check(a.TrackBar3.Min() == 1, "noise fader minimum", 1, a.TrackBar3.Min());
    check(a.ScrollBar1.Min() == -127 && a.ScrollBar1.Max() == 127, "gain bar range", -127, a.ScrollBar1.Min());
    for (int i = 0; i < kAnalysisBands; ++i)
        check(EqGain[i].load() == EqualizerFactor(r.EqualizerBand(i)), "EqGain of band " + std::to_string(i),
              r.EqualizerBand(i), EqGain[i].load());
    return bad;
}

// The offscreen platform warns at every stay-on-top switch of a shown
// window; a thousand switches would bury a real message.
QtMessageHandler gPreviousHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains(QLatin1String("propagateSizeHints")))
        return;
    if (gPreviousHandler != nullptr)
        gPreviousHandler(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

class WindowRobustness : public QtWindowTest {};

}  // namespace

TEST_F(WindowRobustness, HostWritingGarbageEverywhereLeavesTheWindowRunningAndOneTickAgrees)
{
    gPreviousHandler = qInstallMessageHandler(QuietHandler);
    TVxSoundApp& a = CreateWindow();
    TVxSoundWindow& q = *win;
    ASSERT_TRUE(a.StartupComplete) << ::testing::PrintToString(boxes);
    // The displays draw only when shown.
    q.setWindowState(Qt::WindowNoState);
    q.show();
    QApplication::processEvents();

    QSignalSpy syncTicks(q.SharedMapTimer, &QTimer::timeout);
    QSignalSpy visualTicks(q.VisualTimer, &QTimer::timeout);
    const std::uint32_t blocksBefore = BlocksReceived.load();

    // The scribbler in its own process: its report comes on its standard
    // output, and closing its standard input releases its last round.
    TChild host;
    host.PipeInput = true;
    ASSERT_TRUE(host.Start({VX_SCRIBBLER_PATH, segment_, std::to_string(kScribbleMs), "20240"}));
    // The window's own event loop runs the 100 ms ticks meanwhile, until the
    // host reports the end of its run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kScribbleMs + 20000);
    while (host.out.find('\n') == std::string::npos && host.Running() && std::chrono::steady_clock::now() < deadline) {
        host.Pump(0);
        QTest::qWait(10);
    }
    // No tick may come between the host's last round and the one below.
    q.SharedMapTimer->stop();
    host.CloseInput();
    const std::string report = host.out;
    ASSERT_EQ(host.End(0, 10000), 0) << "the scribbler did not finish: " << report << host.err;
    long rounds = 0;
    ASSERT_EQ(std::sscanf(report.c_str(), "rounds %ld", &rounds), 1) << report;
    // Even a slowed-down host wrote several thousand rounds of garbage.
    EXPECT_GE(rounds, kScribbleMs / 4);

    // Everything kept running against it.
    EXPECT_FALSE(a.Closed);
    EXPECT_GE(syncTicks.count(), 30);
    EXPECT_GT(visualTicks.count(), 0);
    EXPECT_GE(BlocksReceived.load() - blocksBefore, 100u) << "the analysis stopped";
    EXPECT_TRUE(boxes.empty()) << ::testing::PrintToString(boxes);
    // The host's last round is still in the record: the checks see it.
    EXPECT_FALSE(Disagreements(a, Rec()).empty());

    a.SharedMapTimerTimer();
    EXPECT_EQ(Disagreements(a, Rec()), "") << "after one tick";

    // One tick sufficed: a second one finds nothing to do.
    const std::vector<std::uint8_t> once = RecordBytes(Rec());
    a.SharedMapTimerTimer();
    EXPECT_EQ(ChangedFields(once, RecordBytes(Rec())), std::vector<std::string>{});
    // Fields no host writes survived.
    EXPECT_EQ(Rec().AnalyzerActive(), 1);
    EXPECT_EQ(Rec().MapVersion(), 1);

    // The window still answers the user and the host.
    q.SharedMapTimer->start();
    q.MenuAction(TMenuId::Timeline1)->trigger();
    EXPECT_EQ(Rec().ShowInput(), 2);
    // A command restyles the window from the record's byte.
    ASSERT_NE(q.windowHandle(), nullptr);
    EXPECT_EQ(q.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), Rec().StayOnTop() != 0);
    const int decay = a.TrackBar1.Position() == 5 ? 6 : 5;
    q.TrackBar1->setValue(decay);
    EXPECT_EQ(Rec().TrigDecay(), decay);
    const int fft = a.UseFFT1.Tag;
    Rec().SetUseFFT(static_cast<std::uint8_t>(1 - fft));
    a.SharedMapTimerTimer();
    EXPECT_EQ(a.UseFFT1.Tag, 1 - fft);

    // Shut-down saves whatever the garbage left, and the next start-up
    // takes it back.
    if (a.AutoSaveChanges1.Tag != 1)
        a.AutoSaveChanges1Click();
    // Faders, gain, menu items and bands, in that order.
    const auto state = [&](const TVxSoundApp& x) {
        std::vector<int> v = {x.TrackBar1.Position(), x.TrackBar2.Position(), x.TrackBar3.Position(), Rec().Gain()};
        for (const TMenuItem* it : {&x.UseFFT1, &x.Triggerfaders1, &x.SoundCard1, &x.StayOnTop1, &x.Runminimized1,
                                    &x.None1, &x.Realtime1, &x.Timeline1, &x.Low1, &x.Medium1, &x.High1})
            v.push_back(it->Tag);
        for (int i = 0; i < SoundMapRecord::kUsedBands; ++i)
            v.push_back(Rec().EqualizerBand(i));
        return v;
    };
    const std::vector<int> saved = state(a);
    a.HostCloseRequested = true;
    q.close();
    ASSERT_TRUE(a.Closed) << ::testing::PrintToString(boxes);
    EXPECT_EQ(Rec().AnalyzerActive(), 0);

    TVxSoundApp& b = CreateWindow();
    ASSERT_TRUE(b.StartupComplete) << ::testing::PrintToString(boxes);
    EXPECT_EQ(state(b), saved);
    b.SharedMapTimerTimer();
    EXPECT_EQ(Disagreements(b, Rec()), "") << "after restart";
}
