#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "SoundMapRecord.h"

extern "C" float vxsm_test_read_level(const unsigned char* rec);

namespace {

struct Bytes {
    alignas(16) std::array<unsigned char, SoundMapRecord::kSize + 2> raw{};
    // Start at an odd address so every field is misaligned for real.
    SoundMapRecord* Rec() { return reinterpret_cast<SoundMapRecord*>(raw.data() + 1); }
    unsigned char* At(std::size_t offset) { return raw.data() + 1 + offset; }
};

// Each kind of accessor pair writes the bytes the host reads at the field's
// offset, little endian, touches nothing around it and reads its value back.
// (The layout itself is checked where the record is declared.)
#define FIELD(Name, offset, value, ...) \
    { #Name, offset, {__VA_ARGS__}, [](SoundMapRecord* r) { r->Set##Name(value); return r->Name() == (value); } }
#define ENTRY(Name, i, offset, value, ...) \
    { #Name, offset, {__VA_ARGS__}, [](SoundMapRecord* r) { r->Set##Name(i, value); return r->Name(i) == (value); } }

TEST(SoundMapRecord, AccessorsWriteTheHostsBytesAndNothingElse)
{
    const struct {
        const char* name;
        std::size_t offset;
        std::vector<unsigned char> bytes;
        bool (*write)(SoundMapRecord*);
    } cases[] = {
        FIELD(MapVersion, VXSM_OFF_MAPVERSION, 0xA1B2, 0xB2, 0xA1),
        ENTRY(BandLevel, 15, VXSM_OFF_BANDLEVEL + 60, -2.25f, 0, 0, 0x10, 0xC0),
        ENTRY(EqualizerBand, 15, VXSM_OFF_EQUALIZERBAND + 15, -127, 0x81),
        FIELD(Gain, VXSM_OFF_GAIN, -5, 0xFB),
        ENTRY(EqualizerColor, 14, VXSM_OFF_EQUALIZERCOLOR + 14, 3, 3),
        FIELD(NoiseLevelSwitch, VXSM_OFF_NOISELEVELSWITCH, 0x01020304, 4, 3, 2, 1),
        FIELD(NoiseLevelValue, VXSM_OFF_NOISELEVELVALUE, -455, 0x39, 0xFE, 0xFF, 0xFF),
        FIELD(StayOnTop, VXSM_OFF_STAYONTOP, 1, 1),
        FIELD(TrigDecay, VXSM_OFF_TRIGDECAY, 25, 25, 0, 0, 0),
        FIELD(TrigAggr, VXSM_OFF_TRIGAGGR, 300, 0x2C, 1, 0, 0),
        ENTRY(FFTBandLevel, 15, VXSM_OFF_FFTBANDLEVEL + 60, 3.0f, 0, 0, 0x40, 0x40),
        FIELD(Level, VXSM_OFF_LEVEL, 11284.0f, 0, 0x50, 0x30, 0x46),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b;
        EXPECT_TRUE(c.write(b.Rec()));
        for (std::size_t i = 0; i < b.raw.size(); ++i) {
            const std::size_t at = i - 1;
            const bool inside = i >= 1 && at >= c.offset && at < c.offset + c.bytes.size();
            ASSERT_EQ(b.raw[i], inside ? c.bytes[at - c.offset] : 0) << "byte " << at;
        }
    }
    // The C header's helpers read the same bytes.
    Bytes b;
    b.Rec()->SetLevel(724.0f);
    EXPECT_EQ(vxsm_test_read_level(b.At(0)), 724.0f);
}

// The short string and the host's garbage: indices and lengths a host may
// write never lead outside the record.
TEST(SoundMapRecord, GainTextAndGarbageStayInsideTheirBytes)
{
    Bytes b;
    SoundMapRecord* r = b.Rec();
    r->SetGainText("-12345.6789 dB");
    EXPECT_EQ(*b.At(VXSM_OFF_GAINTEXT), 10);
    EXPECT_EQ(r->GainText(), "-12345.678");
    EXPECT_EQ(*b.At(VXSM_OFF_TRIG), 0) << "must not spill into Trig";
    // A shorter text leaves the tail of the longer one, as the host's short
    // string does.
    r->SetGainText("0.0 dB");
    EXPECT_EQ(r->GainText(), "0.0 dB");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.At(VXSM_OFF_GAINTEXT + 1)), 10), "0.0 dB.678");
    *b.At(VXSM_OFF_GAINTEXT) = 200;
    EXPECT_EQ(r->GainText(), "0.0 dB.678");

    r->SetBandLevel(256 + 1, 1.0f);  // masked to entry 1
    EXPECT_EQ(r->BandLevel(1), 1.0f);
    r->SetEqualizerColor(99, 5);
    EXPECT_EQ(r->EqualizerColor(0), 5);
    EXPECT_EQ(b.raw.front(), 0);
    EXPECT_EQ(b.raw.back(), 0);
}

}  // namespace
