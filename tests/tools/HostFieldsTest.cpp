// vxhost's view of the record without a segment: assignments as a host
// types them, and the watch view's pieces.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "HostFields.h"
#include "HostWatch.h"

namespace {

using namespace vxhost;

TEST(HostAssignment, ValuesFollowTheFieldTypesAndEveryBadOneSaysWhy)
{
    // Flags and bytes take any byte, signed bytes and Int32 their full
    // range; decimal with a sign, or 0x hex; names match without case.
    const std::pair<const char*, std::int64_t> accepted[] = {
        {"UseFFT=7", 7}, {"ShowInput=255", 255}, {"EqualizerColor[14]=0xff", 255},
        {"Gain=-128", -128}, {"EqualizerBand[15]=127", 127}, {"NoiseLevelValue=2147483647", 2147483647},
        {"TrigAggr=-2147483648", -2147483648LL}, {"TrigAggr=+7", 7}, {"TrigAggr=-0x10", -16},
        {"trigaggr=0x1F", 31}, {"Trig=0", 0}, {"Trig=1", 1},
    };
    for (const auto& [text, value] : accepted) {
        Assignment a;
        const auto error = ParseAssignment(text, a);
        EXPECT_FALSE(error) << text << ": " << error.value_or("");
        EXPECT_EQ(a.value, value) << text;
    }
    const struct {
        std::vector<const char*> texts;
        const char* error;
    } rejected[] = {
        // Hex is a number, not a bit pattern; a host only clears or raises Trig.
        {{"UseFFT=256", "StayOnTop=-1", "Gain=-129", "EqualizerBand[0]=128", "Gain=0xFF", "TrigDecay=2147483648",
          "NoiseLevelSwitch=-2147483649", "NoiseLevelSwitch=-9223372036854775808", "Trig=2"},
         "does not fit"},
        {{"TrigAggr=9223372036854775808", "TrigAggr=0x10000000000000000", "TrigAggr=", "TrigAggr=+", "TrigAggr=-",
          "TrigAggr=0x", "TrigAggr=1x", "TrigAggr= 1", "TrigAggr=1 ", "TrigAggr=--1", "TrigAggr=+-1",
          "TrigAggr=0x-1", "TrigAggr=1.5", "TrigAggr=1e3", "UseFFT==1"},
         "is not an integer"},
        {{"Volume=1"}, "unknown field 'Volume'"},
        {{"Foo[1]=1"}, "unknown field 'Foo'"},
        {{"MapVersion=1", "mapversion=1", "AnalyzerActive=0", "BandLevel[0]=1", "FFTBandLevel[2]=1", "Level=3",
          "Clipping=0", "GainText=1"},
         "not writable by a host"},
        {{"EqualizerBand=1"}, "give an index"},
        {{"UseFFT[0]=1"}, "takes no index"},
        {{"EqualizerBand[16]=1", "EqualizerBand[-1]=1", "EqualizerColor[15]=1", "EqualizerBand[+1]=1",
          "EqualizerBand[0x1]=1"},
         "out of range"},
        {{"EqualizerBand[]=1", "EqualizerBand[1=1", "EqualizerBand[1]x=1"}, "bad index"},
        {{"UseFFT", "=1"}, "expected NAME=VALUE"},
    };
    for (const auto& r : rejected) {
        for (const char* text : r.texts) {
            Assignment a;
            EXPECT_NE(ParseAssignment(text, a).value_or("").find(r.error), std::string::npos) << text;
        }
    }
}

TEST(HostWatch, BarsUseALogScaleAndOnlyARealTrigIsTaken)
{
    const struct {
        double value, full;
        int length;
    } bars[] = {
        {0, 1000, 0}, {-5, 1000, 0}, {std::nan(""), 1000, 0}, {1000, 1000, 40}, {1e30, 1000, 40},
        {INFINITY, 32767, 40}, {std::sqrt(1001.0) - 1, 1000, 20},  // half way on the log scale
    };
    for (const auto& b : bars)
        EXPECT_EQ(BarLength(b.value, b.full, 40), b.length) << b.value;

    SoundMapRecord record{};
    record.SetTrig(7);  // not the analyzer's value: left for whoever wrote it
    EXPECT_FALSE(TakeTrig(record));
    EXPECT_EQ(record.Trig(), 7);
    // The full view redraws the screen; --plain is vxhost watch's own test.
    EXPECT_EQ(WatchFrame(record, 3, false, "X").rfind("\x1b[H\x1b[2J", 0), 0u);
}

}  // namespace
