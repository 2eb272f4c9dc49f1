#include "TrigDetector.h"

#include <cmath>

#include "BlockAnalysis.h"
#include "SoundMapRecord.h"
#include "Platform.h"

std::atomic<std::uint8_t> TrigFlash{0};
std::atomic<float> Bpm{0.0f};
std::atomic<float> BpmInstant{0.0f};
std::atomic<bool> BpmLocked{false};

std::atomic<std::int32_t> DecayCount{kInitialDecayCount};
std::atomic<std::uint32_t> LastTrigTick{0};
std::atomic<float> BpmPrevInstant{0.0f};
std::atomic<std::int32_t> BpmLockAge{0};

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// The last trig made the lock (atomic like the rest of the tempo state).
std::atomic<bool> LockIsNew{false};

constexpr double kAggrDivisor = 100.0;
// Deliberately not e: the threshold factor at aggressiveness 100 is a hair
// above 1, so a steady level never trigs there.
constexpr double kThresholdDivisor = 2.718;
constexpr float kMsPerMinute = 60000.0f;
constexpr float kLockTolerance = 0.2f;
constexpr float kSmoothTolerance = 0.05f;
constexpr float kSmoothOld = 0.95f;
constexpr float kSmoothNew = 0.05f;

// A relative difference; false when the reference is 0, infinite or NaN,
// so the first trig and a zero interval agree with nothing.
bool Agrees(float value, float reference, float tolerance)
{
    if (!(reference != 0.0f) || !std::isfinite(reference) || !std::isfinite(value))
        return false;
    return std::fabs(value - reference) / reference < tolerance;
}

void OnTrig(SoundMapRecord& record, int slot)
{
    record.SetTrig(1);
    DecayCount.store(record.TrigDecay(), kRelaxed);
    TrigFlash.store(1, kRelaxed);
    TrigHistory[slot].store(1, kRelaxed);
    TrackTempo();
}

}  // namespace

void TrackTempo()
{
    // Unsigned difference: right across the wrap of the tick counter.
    const std::uint32_t ms = VxPlatform::TickCount() - LastTrigTick.load(kRelaxed);
    const float instant = ms == 0 ? INFINITY : kMsPerMinute / static_cast<float>(ms);
    BpmInstant.store(instant, kRelaxed);

    const float prevInstant = BpmPrevInstant.load(kRelaxed);
    float bpm = Bpm.load(kRelaxed);
    // Block timing splits a steady interval into two block counts (500 ms
    // is 21 or 22 blocks), and the 5 % test could pass the instants of only
    // one count, pulling the average to it. The mean of two agreeing
    // instants lies nearer the tempo, so that is what is smoothed.
    float sample = instant;
    if (Agrees(instant, prevInstant, kLockTolerance)) {
        BpmLockAge.store(0, kRelaxed);
        const float mean = (instant + prevInstant) / 2.0f;
        sample = mean;
        // A lock that fell on a wrong tempo (the first interval runs from
        // start-up, or stray sounds agreed) would be kept for ever by the
        // agreeing pairs while smoothing never reaches them: re-seat it on
        // the pair once it is out of smoothing's reach. The pair after the
        // one that made the lock re-seats it too, as a lock a few per cent
        // off (from start-up) takes smoothing dozens of beats to mend.
        const bool locked = BpmLocked.load(kRelaxed);
        if (!locked || LockIsNew.load(kRelaxed) || !Agrees(mean, bpm, kSmoothTolerance))
            bpm = mean;
        LockIsNew.store(!locked, kRelaxed);
        BpmLocked.store(true, kRelaxed);
    } else {
        LockIsNew.store(false, kRelaxed);
    }
    if (Agrees(sample, bpm, kSmoothTolerance)) {
        bpm = kSmoothOld * bpm + kSmoothNew * sample;
        BpmLockAge.store(0, kRelaxed);
    }
    Bpm.store(bpm, kRelaxed);

    LastTrigTick.store(VxPlatform::TickCount(), kRelaxed);
    BpmPrevInstant.store(instant, kRelaxed);
}

void AgeTempoLock()
{
    if (BpmLockAge.load(kRelaxed) > kBpmLockTimeout) {
        BpmLockAge.store(0, kRelaxed);
        BpmLocked.store(false, kRelaxed);
    }
    if (BpmLocked.load(kRelaxed))
        BpmLockAge.store(BpmLockAge.load(kRelaxed) + 1, kRelaxed);
}

void DetectTrig(SoundMapRecord& record)
{
    AgeTempoLock();

    const float level = BlockLevel.load(kRelaxed);
    const float threshold = static_cast<float>(std::exp(record.TrigAggr() / kAggrDivisor) *
                                               PrevLevel.load(kRelaxed) / kThresholdDivisor);
    const int slot = HistoryPos.load(kRelaxed) & (kHistoryLength - 1);

    const std::int32_t decay = DecayCount.load(kRelaxed);
    const bool trig = level > threshold && level > static_cast<float>(record.NoiseLevelValue()) && decay < 0;
    if (trig) {
        OnTrig(record, slot);
    } else {
        TrigHistory[slot].store(0, kRelaxed);
        if (decay > -1)
            DecayCount.store(decay - 1, kRelaxed);
    }
}

void ResetTempo()
{
    BpmLockAge.store(0, kRelaxed);
    LastTrigTick.store(VxPlatform::TickCount(), kRelaxed);
    Bpm.store(0.0f, kRelaxed);
    BpmInstant.store(0.0f, kRelaxed);
    BpmPrevInstant.store(0.0f, kRelaxed);
    BpmLocked.store(false, kRelaxed);
    LockIsNew.store(false, kRelaxed);
}

void ResetTrigState()
{
    DecayCount.store(kInitialDecayCount, kRelaxed);
    TrigFlash.store(0, kRelaxed);
}
