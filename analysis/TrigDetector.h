// Trigger ("trig") detection and tempo estimate, run once per analysed
// block right after the block level is known.
#pragma once

#include <atomic>
#include <cstdint>

struct SoundMapRecord;

// Hold counter start value: the decay fader's position as the window is
// designed, before the saved settings are applied.
inline constexpr std::int32_t kInitialDecayCount = 13;
// Blocks without an agreeing trig after which the tempo lock is dropped.
inline constexpr std::int32_t kBpmLockTimeout = 132;

// The detector step: reads BlockLevel and PrevLevel and the record's
// trigger settings, writes Trig and TrigHistory[HistoryPos]. Called by
// AnalyseBlock; the record must not be null.
void DetectTrig(SoundMapRecord& record);

// The detector's tempo steps, callable on their own so that a host which
// takes trigs runs the same tracker over its own clock. AgeTempoLock is
// the per-block lock time-out (run before a block's trig test);
// TrackTempo is the tempo update of a trig, timed by VxPlatform::TickCount().
void AgeTempoLock();
void TrackTempo();

// Start-up reset of the tempo state: BpmLockAge := 0, LastTrigTick := now,
// the three tempo values := 0, BpmLocked := false.
void ResetTempo();
// Start-up set-up of the hold counter (13) and the flash latch (0).
void ResetTrigState();

// --- shared with the window ---------------------------------------------
extern std::atomic<std::uint8_t> TrigFlash;  // set on every trig, cleared by the trig light
extern std::atomic<float> Bpm;               // locked and smoothed tempo
extern std::atomic<float> BpmInstant;        // from the last interval
extern std::atomic<bool> BpmLocked;

// --- detector state, visible for tests ------------------------------------
extern std::atomic<std::int32_t> DecayCount;
extern std::atomic<std::uint32_t> LastTrigTick;
extern std::atomic<float> BpmPrevInstant;
extern std::atomic<std::int32_t> BpmLockAge;
