// The bridge's decisions without a network: beat count, the analysis'
// tempo tracker over the bridge's clock, OS2L's change rule and object,
// the 0..1 scales, level changes, the command line.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "BridgeCore.h"
#include "BridgeOptions.h"
#include "TickClock.h"

namespace {

using namespace vxbridge;

class TManualClock final : public ITickClock {
public:
    std::uint32_t Now() override { return now; }
    std::uint32_t now = 0;
};

TEST(BridgeBeats, CountTempoLockTimeOutAndChangeFollowTheTrigs)
{
    struct Step {
        std::uint32_t atMs;
        bool change;
        float bpm;  // 0: none yet
        bool locked;
    };
    const Step steps[] = {
        {1000, true, 0.0f, false},     // the first beat; its interval is from the start
        {1500, false, 0.0f, false},    // one interval only: nothing agrees yet
        {2000, false, 120.0f, true},   // two agreeing intervals lock
        {2500, false, 120.0f, true},
        {4700, true, 120.0f, true},    // gap of 2.2 s (> 2 beats): change; 95 blocks keep the lock
        {5200, false, 120.0f, true},
        {8500, true, 120.0f, false},   // 3.3 s = 142 blocks: the lock timed out
        {8800, false, 120.0f, false},  // 200 BPM begins, nothing agrees yet
        {9100, true, 200.0f, true},    // locks on 200: a tempo jump of more than 20 %
        {9400, false, 200.0f, true},
    };
    TManualClock clock;
    SetTickClock(&clock);
    TBeatCounter counter;
    counter.ResetTempo(0);
    std::uint32_t expectedCount = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.atMs);
        clock.now = s.atMs;
        const TBeat beat = counter.Take(s.atMs, 0.0f);
        EXPECT_EQ(beat.Count, ++expectedCount);
        EXPECT_EQ(beat.Change, s.change);
        EXPECT_NEAR(beat.Bpm, s.bpm, 0.01f);
        EXPECT_EQ(beat.Locked, s.locked);
    }
    // A new analyzer run: the tempo starts afresh and the next beat is a change.
    clock.now = 10000;
    counter.ResetTempo(10000);
    clock.now = 10300;
    const TBeat beat = counter.Take(10300, 0.0f);
    EXPECT_EQ(beat.Count, expectedCount + 1);
    EXPECT_TRUE(beat.Change);
    EXPECT_EQ(beat.Bpm, 0.0f);
    SetTickClock(nullptr);
}

TEST(BridgeBeats, Os2lObjectAndScales)
{
    EXPECT_EQ(Os2lBeatJson({1, 0.0f, false, true, 0.0f}),
              R"({"evt":"beat","change":true,"pos":1,"bpm":0.00,"strength":0.000})");
    EXPECT_EQ(Os2lBeatJson({42, 120.456f, true, false, 0.5f}),
              R"({"evt":"beat","change":false,"pos":42,"bpm":120.46,"strength":0.500})");
    // For faders of 0..1: the level / 1024, bands on vxhost watch's log
    // scale, full at 1000.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float (*scale)(float);
        float in, out;
    } scales[] = {
        {NormLevel, 0.0f, 0.0f}, {NormLevel, -3.0f, 0.0f}, {NormLevel, nan, 0.0f}, {NormLevel, 512.0f, 0.5f},
        {NormLevel, 5000.0f, 1.0f}, {NormBand, 0.0f, 0.0f}, {NormBand, -1.0f, 0.0f}, {NormBand, nan, 0.0f},
        {NormBand, 9.0f, 0.3333f}, {NormBand, 1000.0f, 1.0f}, {NormBand, 1e9f, 1.0f},
    };
    for (const auto& s : scales)
        EXPECT_NEAR(s.scale(s.in), s.out, 1e-4f) << s.in;
}

TEST(BridgeLevels, OnlyChangedValuesAreSentAgain)
{
    TLevels l;
    l.Level = 10.0f;
    l.Bands.fill(1.0f);
    TLevelChanges changes;
    auto c = changes.Update(l);
    EXPECT_TRUE(c.Level && c.Clipping && c.Bands[1] && c.Bands[15]) << "the first comparison sends everything";
    EXPECT_FALSE(c.Bands[0]) << "band 0 is never sent";

    EXPECT_FALSE(changes.Update(l).Any());

    l.Bands[7] = 2.0f;
    l.Clipping = 1;
    c = changes.Update(l);
    EXPECT_FALSE(c.Level);
    EXPECT_TRUE(c.Clipping);
    for (int b = 1; b <= 15; ++b)
        EXPECT_EQ(c.Bands[static_cast<std::size_t>(b)], b == 7) << b;

    l.Level = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(changes.Update(l).Level);
    EXPECT_FALSE(changes.Update(l).Any()) << "a NaN that stays is not resent";

    changes.Forget();
    EXPECT_TRUE(changes.Update(l).Bands[3]) << "after a new mapping, everything again";
}

TEST(BridgeOptions, ParsesOutputsAndRejectsWhatCannotWork)
{
    struct Case {
        std::vector<std::string> args;
        std::string error;  // empty: parses
        std::size_t osc = 0;
        std::string os2l = "-";  // "-": no OS2L, "": browse
        int rate = kDefaultRate;
        std::string prefix = "/vx";
        std::string segment = "ENVSEG";
    };
    const Case cases[] = {
        {{"--osc", "127.0.0.1:9000", "--osc=[::1]:9001", "--os2l"}, "", 2, ""},
        {{"--os2l", "host:1234", "--rate", "0", "--osc-prefix", "/show/a", "--segment", "/S1"},
         "", 0, "host:1234", 0, "/show/a", "S1"},
        {{"--osc", "h:1", "--osc-prefix="}, "", 1, "-", kDefaultRate, ""},
        {{}, "nothing to send to"},
        {{"--quiet"}, "nothing to send to"},
        {{"--osc", "h:0"}, "bad port '0'"},
        {{"--osc", "h:99999"}, "--osc h:99999: bad port '99999' (1 to 65535)"},
        {{"--osc", "h"}, "--osc h: give HOST:PORT"},
        {{"--osc", ":9000"}, "the host is missing"},
        {{"--osc", "::1:9000"}, "in brackets"},
        {{"--os2l", "h:x"}, "--os2l h:x: bad port 'x'"},
        {{"--osc", "h:1", "--pulse-ms", "0"}, "--pulse-ms must be an integer from 1"},
        {{"--osc", "h:1", "--rate", "-1"}, "--rate must be an integer from 0 to 1000, not '-1'"},
        {{"--osc", "h:1", "--osc-prefix", "vx"}, "bad --osc-prefix 'vx'"},
        {{"--osc", "h:1", "--osc-prefix", "/a/"}, "bad --osc-prefix"},
        {{"--osc", "h:1", "--segment", "a/b"}, "bad segment name 'a/b'"},
        {{"--osc", "h:1", "stray"}, "unexpected argument 'stray'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        TBridgeOptions o;
        std::ostringstream out, err;
        const auto outcome = ParseBridgeOptions(c.args, "ENVSEG", o, out, err);
        if (!c.error.empty()) {
            EXPECT_EQ(outcome, vxtools::EParseOutcome::UsageError);
            EXPECT_EQ(err.str().rfind("vxbridge: ", 0), 0u) << err.str();
            EXPECT_NE(err.str().find(c.error), std::string::npos) << err.str();
            continue;
        }
        ASSERT_EQ(outcome, vxtools::EParseOutcome::Run) << err.str();
        EXPECT_EQ(o.Osc.size(), c.osc);
        EXPECT_EQ(o.Os2l ? (o.Os2lServer ? o.Os2lServer->Text() : "") : "-", c.os2l);
        EXPECT_EQ(o.Rate, c.rate);
        EXPECT_EQ(o.OscPrefix, c.prefix);
        EXPECT_EQ(o.Segment, c.segment);
    }
    TBridgeOptions o;
    std::ostringstream out, err;
    ASSERT_EQ(ParseBridgeOptions({"--osc=[::1]:9001"}, "S", o, out, err), vxtools::EParseOutcome::Run);
    EXPECT_EQ(o.Osc[0], (TEndpoint{"::1", 9001}));
    EXPECT_EQ(o.Osc[0].Text(), "[::1]:9001");
}

}  // namespace
