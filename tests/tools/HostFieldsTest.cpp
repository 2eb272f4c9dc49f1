#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "HostFields.h"
#include "HostWatch.h"

using namespace vxhost;

namespace {

// A zeroed record of our own; these tests never need a segment.
struct Record {
    SoundMapRecord record{};
    SoundMapRecord& rec() { return record; }
    unsigned char* bytes() { return reinterpret_cast<unsigned char*>(&record); }
};

std::string ErrorOf(const std::string& text)
{
    Assignment a;
    const auto e = ParseAssignment(text, a);
    return e ? *e : std::string();
}

Assignment Parsed(const std::string& text)
{
    Assignment a;
    const auto e = ParseAssignment(text, a);
    EXPECT_FALSE(e) << text << ": " << e.value_or("");
    return a;
}

}  // namespace

TEST(HostFieldTable, CoversTheRecordInOrderWithoutOverlap)
{
    const std::vector<std::string> expected{"MapVersion", "AnalyzerActive", "BandLevel", "EqualizerBand",
                                            "Gain", "GainText", "Trig", "EqualizerColor", "ShowInput", "UseFFT",
                                            "TriggerFaders", "SoundCard", "NoiseLevelSwitch", "NoiseLevelValue",
                                            "AutoSaveChanges", "RunMinimized", "StayOnTop", "TrigDecay",
                                            "TrigAggr", "Clipping", "FFTBandLevel", "Level"};
    ASSERT_EQ(Fields().size(), expected.size());
    std::size_t end = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const FieldInfo& f = Fields()[i];
        EXPECT_EQ(f.name, expected[i]);
        EXPECT_GE(f.offset, end) << f.name;
        // Arrays occupy 256 entries in the layout, except the 15 colours.
        const int slots = f.entries == 0 ? 1 : (f.entries == 15 ? 15 : 256);
        end = f.offset + FieldWidth(f.type) * slots;
        EXPECT_LE(end, VXSM_SIZE) << f.name;
    }
    EXPECT_EQ(end, std::size_t{VXSM_OFF_RESERVED3});
}

TEST(HostParseInteger, DecimalSignAndHex)
{
    EXPECT_EQ(ParseInteger("500"), 500);
    EXPECT_EQ(ParseInteger("+7"), 7);
    EXPECT_EQ(ParseInteger("-128"), -128);
    EXPECT_EQ(ParseInteger("0x1F"), 31);
    EXPECT_EQ(ParseInteger("-0x10"), -16);
    EXPECT_EQ(ParseInteger("0"), 0);
    EXPECT_EQ(ParseInteger("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    for (const char* bad : {"", "+", "-", "0x", "1x", " 1", "1 ", "--1", "+-1", "0x-1", "1.5", "1e3",
                            "9223372036854775808", "0x10000000000000000"})
        EXPECT_FALSE(ParseInteger(bad)) << '"' << bad << '"';
}

TEST(HostParseAssignment, RangesFollowTheFieldTypes)
{
    // Bytes and flags take any byte, odd values included.
    EXPECT_EQ(Parsed("UseFFT=7").value, 7);
    EXPECT_EQ(Parsed("ShowInput=255").value, 255);
    EXPECT_EQ(Parsed("EqualizerColor[14]=0xff").value, 255);
    EXPECT_NE(ErrorOf("UseFFT=256"), "");
    EXPECT_NE(ErrorOf("StayOnTop=-1"), "");
    // Signed bytes.
    EXPECT_EQ(Parsed("Gain=-128").value, -128);
    EXPECT_EQ(Parsed("EqualizerBand[15]=127").value, 127);
    EXPECT_NE(ErrorOf("Gain=-129"), "");
    EXPECT_NE(ErrorOf("EqualizerBand[0]=128"), "");
    EXPECT_NE(ErrorOf("Gain=0xFF"), "") << "hex is a number, not a bit pattern";
    // 32-bit fields: the full range and not beyond.
    EXPECT_EQ(Parsed("NoiseLevelValue=2147483647").value, 2147483647);
    EXPECT_EQ(Parsed("TrigAggr=-2147483648").value, -2147483648LL);
    EXPECT_NE(ErrorOf("TrigDecay=2147483648"), "");
    EXPECT_NE(ErrorOf("NoiseLevelSwitch=-2147483649"), "");
    // A host only clears or raises Trig.
    EXPECT_EQ(Parsed("Trig=0").value, 0);
    EXPECT_EQ(Parsed("Trig=1").value, 1);
    EXPECT_NE(ErrorOf("Trig=2"), "");
}

TEST(HostParseAssignment, RejectsNamesIndicesAndMeasurements)
{
    EXPECT_NE(ErrorOf("Volume=1").find("unknown field 'Volume'"), std::string::npos);
    EXPECT_NE(ErrorOf("Foo[1]=1").find("unknown field 'Foo'"), std::string::npos);
    for (const char* m : {"MapVersion=1", "AnalyzerActive=0", "BandLevel[0]=1", "FFTBandLevel[2]=1", "Level=3",
                          "Clipping=0", "GainText=1", "mapversion=1"})
        EXPECT_NE(ErrorOf(m).find("not writable by a host"), std::string::npos) << m;

    EXPECT_NE(ErrorOf("EqualizerBand=1").find("give an index"), std::string::npos);
    EXPECT_NE(ErrorOf("UseFFT[0]=1").find("takes no index"), std::string::npos);
    for (const char* bad : {"EqualizerBand[16]=1", "EqualizerBand[-1]=1", "EqualizerColor[15]=1",
                            "EqualizerBand[+1]=1", "EqualizerBand[0x1]=1", "EqualizerBand[]=1",
                            "EqualizerBand[1=1", "EqualizerBand[1]x=1"})
        EXPECT_NE(ErrorOf(bad), "") << bad;
    EXPECT_EQ(Parsed("EqualizerColor[0]=2").index, 0);

    for (const char* bad : {"UseFFT", "=1", "UseFFT=", "UseFFT==1"})
        EXPECT_NE(ErrorOf(bad), "") << bad;
}

TEST(HostParseAssignment, OneBadArgumentFailsTheWholeSetAndAllErrorsAreReported)
{
    const std::vector<std::string> args{"UseFFT=1", "Level=2", "Gain=-5", "Nope=1"};
    const ParseResult r = ParseAssignments(args);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.errors.size(), 2u);
}

TEST(HostDump, TextShowsEveryFieldAndFloatsReadBackExactly)
{
    Record r;
    r.rec().SetBandLevel(15, 0.1f);
    r.rec().SetLevel(12345.678f);
    r.rec().SetEqualizerBand(3, -64);
    r.rec().SetGainText("-1,5 dB");
    const std::string text = DumpText(r.rec());

    for (const FieldInfo& f : Fields())
        EXPECT_NE(("\n" + text).find("\n" + std::string(f.name) + " = "), std::string::npos) << f.name;
    EXPECT_NE(text.find("EqualizerBand = [0, 0, 0, -64, 0,"), std::string::npos);
    EXPECT_NE(text.find("GainText = \"-1,5 dB\"\n"), std::string::npos);

    const char* level = text.c_str() + text.find("\nLevel = ") + 9;
    EXPECT_EQ(std::strtof(level, nullptr), 12345.678f);
    // BandLevel: 15 zeros, then entry 15.
    const char* p = text.c_str() + text.find("\nBandLevel = [") + 14;
    for (int i = 0; i < 16; ++i) {
        char* end = nullptr;
        EXPECT_EQ(std::strtof(p, &end), i == 15 ? 0.1f : 0.0f) << i;
        p = end + 2;  // ", "
    }
}

TEST(HostDump, JsonEscapesHostileBytes)
{
    Record r;
    // A host (or garbage) may leave any bytes in GainText, and floats need not be finite.
    const char odd[] = {'"', '\\', '\n', '\x01', '\xE9', '\x7F', 'x'};
    r.rec().SetGainText(std::string_view(odd, sizeof odd));
    r.rec().SetLevel(std::numeric_limits<float>::quiet_NaN());
    r.rec().SetBandLevel(1, std::numeric_limits<float>::infinity());
    r.rec().SetBandLevel(2, -0.5f);

    const std::string json = DumpJson(r.rec());
    EXPECT_EQ(json.find_first_of("\x01\x7f\xe9"), std::string::npos) << "raw bytes must be escaped";
    EXPECT_NE(json.find(R"("GainText": "\"\\\u000a\u0001\u00e9\u007fx")"), std::string::npos) << json;
    EXPECT_NE(json.find("\"Level\": null"), std::string::npos);
    EXPECT_NE(json.find("\"BandLevel\": [0, null, -0.5, 0,"), std::string::npos);

    EXPECT_NE(DumpText(r.rec()).find(R"(GainText = "\"\\\x0a\x01\xe9\x7fx")"), std::string::npos);
}

TEST(HostWatch, BarsUseALogScaleClampedToTheWidth)
{
    EXPECT_EQ(BarLength(0, 1000, 40), 0);
    EXPECT_EQ(BarLength(-5, 1000, 40), 0);
    EXPECT_EQ(BarLength(std::nan(""), 1000, 40), 0);
    EXPECT_EQ(BarLength(1000, 1000, 40), 40);
    EXPECT_EQ(BarLength(1e30, 1000, 40), 40);
    EXPECT_EQ(BarLength(INFINITY, 32767, 40), 40);
    EXPECT_EQ(BarLength(std::sqrt(1001.0) - 1, 1000, 40), 20);  // half way on the log scale
}

TEST(HostWatch, TakesOnlyARealTrig)
{
    Record r;
    EXPECT_FALSE(TakeTrig(r.rec()));
    r.rec().SetTrig(1);
    EXPECT_TRUE(TakeTrig(r.rec()));
    EXPECT_EQ(r.rec().Trig(), 0);
    r.rec().SetTrig(7);  // not the analyzer's value: left for whoever wrote it
    EXPECT_FALSE(TakeTrig(r.rec()));
    EXPECT_EQ(r.rec().Trig(), 7);

    r.rec().SetLevel(std::numeric_limits<float>::quiet_NaN());
    const std::string frame = WatchFrame(r.rec(), 3, true, "X");
    EXPECT_EQ(frame.find('\x1b'), std::string::npos);
    EXPECT_NE(frame.find("trigs=3"), std::string::npos);
    EXPECT_EQ(WatchFrame(r.rec(), 3, false, "X").rfind("\x1b[H\x1b[2J", 0), 0u);
}
