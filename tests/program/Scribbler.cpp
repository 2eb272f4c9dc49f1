// A hostile host: maps an analyzer's segment and, 1000 times a second,
// writes random values into every field a host may write, with a bias
// toward the values where the controls clamp or the ranges change.
//
//   vx_scribbler SEGMENT DURATION_MS SEED
//
// After the duration it prints how many rounds it wrote, then waits for
// its standard input to close before it writes one more round, so that a
// caller can stop its own readers first and know that the record holds
// fresh garbage. Exits 0; 2 on a bad command line, 3 when the
// segment does not exist (it never creates one: a misspelt name must not
// pass unnoticed).
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "SharedMap.h"

namespace {

// Where the faders and the gain bar clamp, where the ranges end, and the
// extremes of the field types.
constexpr std::int32_t kBoundaries[] = {
    -128, -127, -1, 0, 1, 2, 3, 7, 24, 25, 26, 50, 51, 127, 128, 149, 150, 151,
    255, 256, 299, 300, 301, 454, 455, 456, 500, INT_MIN, INT_MIN + 1, INT_MAX,
};

// Half the values are boundaries, half anything at all.
struct TGarbage {
    std::mt19937 Random;
    std::int32_t Int32()
    {
        if ((Random() & 1u) != 0)
            return kBoundaries[Random() % std::size(kBoundaries)];
        return static_cast<std::int32_t>(Random());
    }
    // The low byte of a boundary hits 0, 1, 2, -128, 127 and -1 for bytes.
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Int32() & 0xFF); }
    std::int8_t SignedByte() { return static_cast<std::int8_t>(Byte()); }
};

void WriteRound(SoundMapRecord& rec, TGarbage& g)
{
    rec.SetGain(g.SignedByte());
    for (int i = 0; i < SoundMapRecord::kUsedBands; ++i)
        rec.SetEqualizerBand(i, g.SignedByte());
    rec.SetShowInput(g.Byte());
    rec.SetUseFFT(g.Byte());
    rec.SetTriggerFaders(g.Byte());
    rec.SetSoundCard(g.Byte());
    rec.SetNoiseLevelSwitch(g.Int32());
    rec.SetNoiseLevelValue(g.Int32());
    rec.SetAutoSaveChanges(g.Byte());
    rec.SetRunMinimized(g.Byte());
    rec.SetStayOnTop(g.Byte());
    rec.SetTrigDecay(g.Int32());
    rec.SetTrigAggr(g.Int32());
    // The read-out string as raw bytes: the length byte may exceed the
    // capacity and the characters need not be text.
    for (int i = 0; i <= SoundMapRecord::kGainTextCapacity; ++i)
        rec.SetRawByte(VXSM_OFF_GAINTEXT + static_cast<std::size_t>(i), g.Byte());
    for (int i = 0; i < SoundMapRecord::kEqualizerColors; ++i)
        rec.SetEqualizerColor(i, g.Byte());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SEGMENT DURATION_MS SEED\n", argv[0]);
        return 2;
    }
    const std::string segment = argv[1];
    const long durationMs = std::strtol(argv[2], nullptr, 10);
    const auto seed = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));

    if (!SharedSegmentExists(segment)) {
        std::fprintf(stderr, "vx_scribbler: no segment /%s\n", segment.c_str());
        return 3;
    }
    TSharedMap map(PlatformSharedMemory(), segment);
    SoundMapRecord& rec = *map.Data;

    TGarbage garbage{std::mt19937(seed)};
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(durationMs);
    auto next = start;
    long rounds = 0;
    while (Clock::now() < end) {
        WriteRound(rec, garbage);
        ++rounds;
        next += std::chrono::milliseconds(1);
        // After a stall, go on at the normal pace instead of a burst.
        const auto now = Clock::now();
        if (now > next + std::chrono::milliseconds(10))
            next = now;
        std::this_thread::sleep_until(next);
    }
    std::printf("rounds %ld\n", rounds);
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    WriteRound(rec, garbage);
    return 0;
}
