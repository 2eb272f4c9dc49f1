// The sound map record: the packed 2431-byte block shared with the host.
//
// The struct fixes the layout; code never touches its members directly
// (many are misaligned). Every access goes through the accessors below,
// which copy the whole value at the field's offset. The record is also
// written by another process, so these copies are the synchronisation
// contract: one store of the field's own width, no locks, readers may see
// a mix of old and new entries across fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "vxsoundmap.h"

// The record is shared with another process and written without locks by
// design; ThreadSanitizer cannot see the other side, and within this
// process each field is copied whole. Keep the race detector out of the
// copies themselves.
#if defined(__clang__) || defined(__GNUC__)
#define VX_RECORD_ACCESS __attribute__((no_sanitize("thread")))
#else
#define VX_RECORD_ACCESS
#endif

#pragma pack(push, 1)
struct SoundMapRecord {
    static constexpr std::size_t kSize = VXSM_SIZE;
    static constexpr int kArrayEntries = VXSM_ARRAY_ENTRIES;
    static constexpr int kUsedBands = VXSM_USED_BANDS;
    static constexpr int kEqualizerColors = VXSM_EQ_COLORS;
    static constexpr int kGainTextCapacity = VXSM_GAINTEXT_CAPACITY;

    // Layout only; use the accessors.
    std::uint16_t mapVersion_;
    std::uint8_t analyzerActive_;
    std::uint8_t reserved1_[4];
    float bandLevel_[256];
    std::int8_t equalizerBand_[256];
    std::int8_t gain_;
    std::uint8_t gainText_[11];
    std::uint8_t trig_;
    std::uint8_t equalizerColor_[15];
    std::uint8_t showInput_;
    std::uint8_t useFFT_;
    std::uint8_t triggerFaders_;
    std::uint8_t soundCard_;
    std::int32_t noiseLevelSwitch_;
    std::int32_t noiseLevelValue_;
    std::uint8_t reserved2_[4];
    std::uint8_t autoSaveChanges_;
    std::uint8_t runMinimized_;
    std::uint8_t stayOnTop_;
    std::int32_t trigDecay_;
    std::int32_t trigAggr_;
    std::uint8_t clipping_;
    float fftBandLevel_[256];
    float level_;
    std::uint8_t reserved3_[60];

    // --- whole-value accessors -------------------------------------------
    VX_RECORD_ACCESS std::uint16_t MapVersion() const { return Get<std::uint16_t>(VXSM_OFF_MAPVERSION); }
    VX_RECORD_ACCESS void SetMapVersion(std::uint16_t v) { Put(VXSM_OFF_MAPVERSION, v); }
    VX_RECORD_ACCESS std::uint8_t AnalyzerActive() const { return Get<std::uint8_t>(VXSM_OFF_ANALYZERACTIVE); }
    VX_RECORD_ACCESS void SetAnalyzerActive(std::uint8_t v) { Put(VXSM_OFF_ANALYZERACTIVE, v); }

    VX_RECORD_ACCESS float BandLevel(int i) const { return Get<float>(VXSM_OFF_BANDLEVEL + 4 * Index(i)); }
    VX_RECORD_ACCESS void SetBandLevel(int i, float v) { Put(VXSM_OFF_BANDLEVEL + 4 * Index(i), v); }
    VX_RECORD_ACCESS std::int8_t EqualizerBand(int i) const { return Get<std::int8_t>(VXSM_OFF_EQUALIZERBAND + Index(i)); }
    VX_RECORD_ACCESS void SetEqualizerBand(int i, std::int8_t v) { Put(VXSM_OFF_EQUALIZERBAND + Index(i), v); }
    VX_RECORD_ACCESS std::int8_t Gain() const { return Get<std::int8_t>(VXSM_OFF_GAIN); }
    VX_RECORD_ACCESS void SetGain(std::int8_t v) { Put(VXSM_OFF_GAIN, v); }

    // The short string: a length byte and up to 10 characters. A longer
    // text is cut; bytes after the text keep what they held. A length byte
    // above 10 (host garbage) is read as 10.
    VX_RECORD_ACCESS std::string GainText() const;
    VX_RECORD_ACCESS void SetGainText(std::string_view text);

    VX_RECORD_ACCESS std::uint8_t Trig() const { return Get<std::uint8_t>(VXSM_OFF_TRIG); }
    VX_RECORD_ACCESS void SetTrig(std::uint8_t v) { Put(VXSM_OFF_TRIG, v); }
    VX_RECORD_ACCESS std::uint8_t EqualizerColor(int i) const
    {
        return Get<std::uint8_t>(VXSM_OFF_EQUALIZERCOLOR + ColorIndex(i));
    }
    VX_RECORD_ACCESS void SetEqualizerColor(int i, std::uint8_t v) { Put(VXSM_OFF_EQUALIZERCOLOR + ColorIndex(i), v); }
    VX_RECORD_ACCESS std::uint8_t ShowInput() const { return Get<std::uint8_t>(VXSM_OFF_SHOWINPUT); }
    VX_RECORD_ACCESS void SetShowInput(std::uint8_t v) { Put(VXSM_OFF_SHOWINPUT, v); }
    VX_RECORD_ACCESS std::uint8_t UseFFT() const { return Get<std::uint8_t>(VXSM_OFF_USEFFT); }
    VX_RECORD_ACCESS void SetUseFFT(std::uint8_t v) { Put(VXSM_OFF_USEFFT, v); }
    VX_RECORD_ACCESS std::uint8_t TriggerFaders() const { return Get<std::uint8_t>(VXSM_OFF_TRIGGERFADERS); }
    VX_RECORD_ACCESS void SetTriggerFaders(std::uint8_t v) { Put(VXSM_OFF_TRIGGERFADERS, v); }
    VX_RECORD_ACCESS std::uint8_t SoundCard() const { return Get<std::uint8_t>(VXSM_OFF_SOUNDCARD); }
    VX_RECORD_ACCESS void SetSoundCard(std::uint8_t v) { Put(VXSM_OFF_SOUNDCARD, v); }
    VX_RECORD_ACCESS std::int32_t NoiseLevelSwitch() const { return Get<std::int32_t>(VXSM_OFF_NOISELEVELSWITCH); }
    VX_RECORD_ACCESS void SetNoiseLevelSwitch(std::int32_t v) { Put(VXSM_OFF_NOISELEVELSWITCH, v); }
    VX_RECORD_ACCESS std::int32_t NoiseLevelValue() const { return Get<std::int32_t>(VXSM_OFF_NOISELEVELVALUE); }
    VX_RECORD_ACCESS void SetNoiseLevelValue(std::int32_t v) { Put(VXSM_OFF_NOISELEVELVALUE, v); }
    VX_RECORD_ACCESS std::uint8_t AutoSaveChanges() const { return Get<std::uint8_t>(VXSM_OFF_AUTOSAVECHANGES); }
    VX_RECORD_ACCESS void SetAutoSaveChanges(std::uint8_t v) { Put(VXSM_OFF_AUTOSAVECHANGES, v); }
    VX_RECORD_ACCESS std::uint8_t RunMinimized() const { return Get<std::uint8_t>(VXSM_OFF_RUNMINIMIZED); }
    VX_RECORD_ACCESS void SetRunMinimized(std::uint8_t v) { Put(VXSM_OFF_RUNMINIMIZED, v); }
    VX_RECORD_ACCESS std::uint8_t StayOnTop() const { return Get<std::uint8_t>(VXSM_OFF_STAYONTOP); }
    VX_RECORD_ACCESS void SetStayOnTop(std::uint8_t v) { Put(VXSM_OFF_STAYONTOP, v); }
    VX_RECORD_ACCESS std::int32_t TrigDecay() const { return Get<std::int32_t>(VXSM_OFF_TRIGDECAY); }
    VX_RECORD_ACCESS void SetTrigDecay(std::int32_t v) { Put(VXSM_OFF_TRIGDECAY, v); }
    VX_RECORD_ACCESS std::int32_t TrigAggr() const { return Get<std::int32_t>(VXSM_OFF_TRIGAGGR); }
    VX_RECORD_ACCESS void SetTrigAggr(std::int32_t v) { Put(VXSM_OFF_TRIGAGGR, v); }
    VX_RECORD_ACCESS std::uint8_t Clipping() const { return Get<std::uint8_t>(VXSM_OFF_CLIPPING); }
    VX_RECORD_ACCESS void SetClipping(std::uint8_t v) { Put(VXSM_OFF_CLIPPING, v); }
    VX_RECORD_ACCESS float FFTBandLevel(int i) const { return Get<float>(VXSM_OFF_FFTBANDLEVEL + 4 * Index(i)); }
    VX_RECORD_ACCESS void SetFFTBandLevel(int i, float v) { Put(VXSM_OFF_FFTBANDLEVEL + 4 * Index(i), v); }
    VX_RECORD_ACCESS float Level() const { return Get<float>(VXSM_OFF_LEVEL); }
    VX_RECORD_ACCESS void SetLevel(float v) { Put(VXSM_OFF_LEVEL, v); }

    // Raw bytes, for tools that dump or compare the whole record.
    VX_RECORD_ACCESS std::uint8_t RawByte(std::size_t offset) const { return Get<std::uint8_t>(offset % kSize); }
    VX_RECORD_ACCESS void SetRawByte(std::size_t offset, std::uint8_t v) { Put(offset % kSize, v); }

private:
    // Array indices are masked into the 256 entries, so garbage indices
    // can never leave the record.
    static constexpr std::size_t Index(int i) { return static_cast<std::size_t>(i) & 0xFFu; }
    static constexpr std::size_t ColorIndex(int i)
    {
        return static_cast<std::size_t>(i) < VXSM_EQ_COLORS ? static_cast<std::size_t>(i) : 0u;
    }

    template <typename T>
    VX_RECORD_ACCESS T Get(std::size_t offset) const
    {
        T v;
        std::memcpy(&v, reinterpret_cast<const unsigned char*>(this) + offset, sizeof v);
        return v;
    }
    template <typename T>
    VX_RECORD_ACCESS void Put(std::size_t offset, T v)
    {
        std::memcpy(reinterpret_cast<unsigned char*>(this) + offset, &v, sizeof v);
    }
};
#pragma pack(pop)

// Every field at the offset the host relies on, and the total size.
static_assert(sizeof(SoundMapRecord) == VXSM_SIZE);
static_assert(VXSM_SIZE == 2431);
static_assert(offsetof(SoundMapRecord, mapVersion_) == VXSM_OFF_MAPVERSION && VXSM_OFF_MAPVERSION == 0);
static_assert(offsetof(SoundMapRecord, analyzerActive_) == VXSM_OFF_ANALYZERACTIVE && VXSM_OFF_ANALYZERACTIVE == 2);
static_assert(offsetof(SoundMapRecord, reserved1_) == VXSM_OFF_RESERVED1 && VXSM_OFF_RESERVED1 == 3);
static_assert(offsetof(SoundMapRecord, bandLevel_) == VXSM_OFF_BANDLEVEL && VXSM_OFF_BANDLEVEL == 7);
static_assert(offsetof(SoundMapRecord, equalizerBand_) == VXSM_OFF_EQUALIZERBAND && VXSM_OFF_EQUALIZERBAND == 1031);
static_assert(offsetof(SoundMapRecord, gain_) == VXSM_OFF_GAIN && VXSM_OFF_GAIN == 1287);
static_assert(offsetof(SoundMapRecord, gainText_) == VXSM_OFF_GAINTEXT && VXSM_OFF_GAINTEXT == 1288);
static_assert(offsetof(SoundMapRecord, trig_) == VXSM_OFF_TRIG && VXSM_OFF_TRIG == 1299);
static_assert(offsetof(SoundMapRecord, equalizerColor_) == VXSM_OFF_EQUALIZERCOLOR && VXSM_OFF_EQUALIZERCOLOR == 1300);
static_assert(offsetof(SoundMapRecord, showInput_) == VXSM_OFF_SHOWINPUT && VXSM_OFF_SHOWINPUT == 1315);
static_assert(offsetof(SoundMapRecord, useFFT_) == VXSM_OFF_USEFFT && VXSM_OFF_USEFFT == 1316);
static_assert(offsetof(SoundMapRecord, triggerFaders_) == VXSM_OFF_TRIGGERFADERS && VXSM_OFF_TRIGGERFADERS == 1317);
static_assert(offsetof(SoundMapRecord, soundCard_) == VXSM_OFF_SOUNDCARD && VXSM_OFF_SOUNDCARD == 1318);
static_assert(offsetof(SoundMapRecord, noiseLevelSwitch_) == VXSM_OFF_NOISELEVELSWITCH && VXSM_OFF_NOISELEVELSWITCH == 1319);
static_assert(offsetof(SoundMapRecord, noiseLevelValue_) == VXSM_OFF_NOISELEVELVALUE && VXSM_OFF_NOISELEVELVALUE == 1323);
static_assert(offsetof(SoundMapRecord, reserved2_) == VXSM_OFF_RESERVED2 && VXSM_OFF_RESERVED2 == 1327);
static_assert(offsetof(SoundMapRecord, autoSaveChanges_) == VXSM_OFF_AUTOSAVECHANGES && VXSM_OFF_AUTOSAVECHANGES == 1331);
static_assert(offsetof(SoundMapRecord, runMinimized_) == VXSM_OFF_RUNMINIMIZED && VXSM_OFF_RUNMINIMIZED == 1332);
static_assert(offsetof(SoundMapRecord, stayOnTop_) == VXSM_OFF_STAYONTOP && VXSM_OFF_STAYONTOP == 1333);
static_assert(offsetof(SoundMapRecord, trigDecay_) == VXSM_OFF_TRIGDECAY && VXSM_OFF_TRIGDECAY == 1334);
static_assert(offsetof(SoundMapRecord, trigAggr_) == VXSM_OFF_TRIGAGGR && VXSM_OFF_TRIGAGGR == 1338);
static_assert(offsetof(SoundMapRecord, clipping_) == VXSM_OFF_CLIPPING && VXSM_OFF_CLIPPING == 1342);
static_assert(offsetof(SoundMapRecord, fftBandLevel_) == VXSM_OFF_FFTBANDLEVEL && VXSM_OFF_FFTBANDLEVEL == 1343);
static_assert(offsetof(SoundMapRecord, level_) == VXSM_OFF_LEVEL && VXSM_OFF_LEVEL == 2367);
static_assert(offsetof(SoundMapRecord, reserved3_) == VXSM_OFF_RESERVED3 && VXSM_OFF_RESERVED3 == 2371);
static_assert(VXSM_OFF_RESERVED3 + VXSM_SIZE_RESERVED3 == VXSM_SIZE);
