#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "SoundMapRecord.h"

extern "C" float vxsm_test_read_level(const unsigned char* rec);

namespace {

struct Bytes {
    alignas(16) std::array<unsigned char, SoundMapRecord::kSize + 1> raw{};
    // Start at an odd address so every field is misaligned for real.
    SoundMapRecord* Rec() { return reinterpret_cast<SoundMapRecord*>(raw.data() + 1); }
    unsigned char* At(std::size_t offset) { return raw.data() + 1 + offset; }
};

template <typename T>
T ReadAt(Bytes& b, std::size_t offset)
{
    T v;
    std::memcpy(&v, b.At(offset), sizeof v);
    return v;
}

// Each accessor must land on the offset of the host's table, in little
// endian, touching nothing around it.
TEST(SoundMapRecord, FieldsSitAtTheirOffsetsAndTouchNothingElse)
{
    struct Case {
        const char* name;
        std::size_t offset, width;
        void (*write)(SoundMapRecord*);
    };
    const Case cases[] = {
        {"MapVersion", 0, 2, [](SoundMapRecord* r) { r->SetMapVersion(0xA1B2); }},
        {"AnalyzerActive", 2, 1, [](SoundMapRecord* r) { r->SetAnalyzerActive(0xA1); }},
        {"BandLevel[0]", 7, 4, [](SoundMapRecord* r) { r->SetBandLevel(0, 1.5f); }},
        {"BandLevel[15]", 67, 4, [](SoundMapRecord* r) { r->SetBandLevel(15, -2.25f); }},
        {"EqualizerBand[0]", 1031, 1, [](SoundMapRecord* r) { r->SetEqualizerBand(0, -127); }},
        {"EqualizerBand[15]", 1046, 1, [](SoundMapRecord* r) { r->SetEqualizerBand(15, 127); }},
        {"Gain", 1287, 1, [](SoundMapRecord* r) { r->SetGain(-5); }},
        {"Trig", 1299, 1, [](SoundMapRecord* r) { r->SetTrig(1); }},
        {"EqualizerColor[0]", 1300, 1, [](SoundMapRecord* r) { r->SetEqualizerColor(0, 2); }},
        {"EqualizerColor[14]", 1314, 1, [](SoundMapRecord* r) { r->SetEqualizerColor(14, 3); }},
        {"ShowInput", 1315, 1, [](SoundMapRecord* r) { r->SetShowInput(2); }},
        {"UseFFT", 1316, 1, [](SoundMapRecord* r) { r->SetUseFFT(1); }},
        {"TriggerFaders", 1317, 1, [](SoundMapRecord* r) { r->SetTriggerFaders(1); }},
        {"SoundCard", 1318, 1, [](SoundMapRecord* r) { r->SetSoundCard(1); }},
        {"NoiseLevelSwitch", 1319, 4, [](SoundMapRecord* r) { r->SetNoiseLevelSwitch(0x01020304); }},
        {"NoiseLevelValue", 1323, 4, [](SoundMapRecord* r) { r->SetNoiseLevelValue(-455); }},
        {"AutoSaveChanges", 1331, 1, [](SoundMapRecord* r) { r->SetAutoSaveChanges(1); }},
        {"RunMinimized", 1332, 1, [](SoundMapRecord* r) { r->SetRunMinimized(1); }},
        {"StayOnTop", 1333, 1, [](SoundMapRecord* r) { r->SetStayOnTop(1); }},
        {"TrigDecay", 1334, 4, [](SoundMapRecord* r) { r->SetTrigDecay(25); }},
        {"TrigAggr", 1338, 4, [](SoundMapRecord* r) { r->SetTrigAggr(300); }},
        {"Clipping", 1342, 1, [](SoundMapRecord* r) { r->SetClipping(1); }},
        {"FFTBandLevel[0]", 1343, 4, [](SoundMapRecord* r) { r->SetFFTBandLevel(0, 3.0f); }},
        {"FFTBandLevel[15]", 1403, 4, [](SoundMapRecord* r) { r->SetFFTBandLevel(15, 3.0f); }},
        {"Level", 2367, 4, [](SoundMapRecord* r) { r->SetLevel(724.0f); }},
    };
    for (const Case& c : cases) {
        Bytes b;
        std::memset(b.raw.data(), 0, b.raw.size());
        c.write(b.Rec());
        for (std::size_t i = 0; i < SoundMapRecord::kSize; ++i) {
            const bool inside = i >= c.offset && i < c.offset + c.width;
            if (!inside) {
                ASSERT_EQ(*b.At(i), 0) << c.name << " wrote byte " << i;
            }
        }
        bool any = false;
        for (std::size_t i = c.offset; i < c.offset + c.width; ++i)
            any = any || *b.At(i) != 0;
        EXPECT_TRUE(any) << c.name;
    }
}

TEST(SoundMapRecord, ValuesRoundTripLittleEndianAtOddOffsets)
{
    Bytes b;
    SoundMapRecord* r = b.Rec();
    r->SetMapVersion(1);
    r->SetNoiseLevelValue(0x11223344);
    r->SetTrigDecay(-1);
    r->SetLevel(-0.0f);
    r->SetBandLevel(3, 123.456f);
    r->SetEqualizerBand(7, -100);

    EXPECT_EQ(*b.At(0), 1);
    EXPECT_EQ(*b.At(1), 0);
    EXPECT_EQ(*b.At(1323), 0x44);
    EXPECT_EQ(*b.At(1326), 0x11);
    EXPECT_EQ(r->NoiseLevelValue(), 0x11223344);
    EXPECT_EQ(r->TrigDecay(), -1);
    EXPECT_TRUE(std::signbit(r->Level()));
    EXPECT_EQ(r->BandLevel(3), 123.456f);
    EXPECT_EQ(ReadAt<float>(b, 7 + 12), 123.456f);
    EXPECT_EQ(r->EqualizerBand(7), -100);
    EXPECT_EQ(static_cast<signed char>(*b.At(1038)), -100);

    // The C header's helpers read the same bytes.
    r->SetLevel(11314.0f);
    EXPECT_EQ(vxsm_test_read_level(b.At(0)), 11314.0f);
}

TEST(SoundMapRecord, GainTextIsCutToTenAndLeavesTheTail)
{
    Bytes b;
    SoundMapRecord* r = b.Rec();
    r->SetGainText("-12345.6789 dB");
    EXPECT_EQ(*b.At(1288), 10);
    EXPECT_EQ(r->GainText(), "-12345.678");
    EXPECT_EQ(*b.At(1299), 0) << "must not spill into Trig";

    r->SetGainText("0.0 dB");
    EXPECT_EQ(r->GainText(), "0.0 dB");
    EXPECT_EQ(*b.At(1288), 6);
    // "-12345.678" overwritten by "0.0 dB": the last four stay.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.At(1289)), 10), "0.0 dB.678");

    r->SetGainText("");
    EXPECT_EQ(r->GainText(), "");
    EXPECT_EQ(*b.At(1289), '0');

    // A host writing a length above the capacity cannot make us read on.
    *b.At(1288) = 200;
    EXPECT_EQ(r->GainText().size(), 10u);
}

TEST(SoundMapRecord, GarbageIndicesStayInsideTheRecord)
{
    Bytes b;
    b.raw.fill(0);
    SoundMapRecord* r = b.Rec();
    r->SetBandLevel(256 + 1, 1.0f);  // masked to entry 1
    EXPECT_EQ(r->BandLevel(1), 1.0f);
    r->SetEqualizerColor(99, 5);
    EXPECT_EQ(b.raw[0], 0);
    EXPECT_EQ(b.raw[b.raw.size() - 1], 0);
}

}  // namespace
