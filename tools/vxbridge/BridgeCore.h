// What vxbridge sends, decided without any network: the beat count and
// tempo of the trigs it takes, the OS2L beat object, which levels changed,
// and the scales for receivers whose faders take 0..1.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "SoundMapRecord.h"

namespace vxbridge {

// One trig, as sent.
struct TBeat {
    std::uint32_t Count = 0;  // 1, 2, ... since the bridge started
    float Bpm = 0.0f;         // 0 until a tempo exists
    bool Locked = false;
    bool Change = false;      // OS2L: the beat does not follow the grid of the ones before
    float Strength = 0.0f;    // the block's level, 0..1
};

// A trig is timed by the poll that takes it, so only to within the time
// since the poll before. A busy machine delays polls by up to hundreds of
// milliseconds; two such late takes in a row give two stretched intervals
// that agree with each other, and the tracker would re-seat its tempo on
// them (a steady 120 BPM read as 80 for a second).
inline constexpr std::uint32_t kTimedWithinMs = 10;

// Counts the trigs taken and runs the analysis' own tempo tracker over
// them. The tracker reads VxPlatform::TickCount() (the bridge's millisecond clock);
// `nowMs` given here must come from the same clock.
class TBeatCounter {
public:
    // Starts the tracker afresh, as the analyzer does at its start-up.
    void ResetTempo(std::uint32_t nowMs);
    // Lets the tracker's lock time-out, counted in capture blocks, follow
    // the clock: one block per 1024 samples at 44100 Hz of elapsed time.
    void Advance(std::uint32_t nowMs);
    // A trig taken at nowMs; `level` is the record's Level at that moment,
    // `unseenMs` the time since the poll before this one. An interval that
    // ends or begins at a trig timed worse than kTimedWithinMs is not given
    // to the tracker: the tempo and its lock stay as they were.
    TBeat Take(std::uint32_t nowMs, float level, std::uint32_t unseenMs = 0);
    std::uint32_t Count() const { return count_; }

private:
    std::uint32_t count_ = 0;
    bool gridKnown_ = false;  // a beat since the last reset
    bool anchorTimed_ = true;  // the tracker's last trig time is exact
    std::uint32_t lastBeatMs_ = 0;
    std::uint32_t lastIntervalMs_ = 0;
    float lastBpm_ = 0.0f;
    std::uint32_t clockMs_ = 0;
    std::uint64_t blockRemainder_ = 0;  // elapsed ms x 44100, below one block
};

// The OS2L beat: {"evt":"beat","change":C,"pos":N,"bpm":B,"strength":S}.
std::string Os2lBeatJson(const TBeat& beat);

// The level on a log scale, log10(1 + v) / log10(1 + 256), clamped to
// 0..1; 0 for zero, negative or NaN. Music plays at levels of about 1 to
// 300 (a full-scale square wave is 1024), mostly below 50: a linear scale
// leaves a dimmer dark.
float NormLevel(float level);
// A band on the log scale of vxhost watch's bars, log10(1 + v) /
// log10(1 + 1000), clamped to 0..1; 0 for zero, negative or NaN.
float NormBand(float band);

inline constexpr int kFirstBand = 1;  // band 0 is always 0
inline constexpr int kLastBand = SoundMapRecord::kUsedBands - 1;

// The values sent at the level rate, read from the record; a value that is
// not finite (the record is shared memory anyone may write) reads 0.
struct TLevels {
    float Level = 0.0f;
    std::array<float, SoundMapRecord::kUsedBands> Bands{};  // entry 0 unused
    std::uint8_t Clipping = 0;
};
TLevels ReadLevels(const SoundMapRecord& record);

// Which values differ from those last sent; the first comparison reports
// every value. Values are compared bit for bit, so a NaN is not resent.
class TLevelChanges {
public:
    struct TChanged {
        bool Level = false;
        std::array<bool, SoundMapRecord::kUsedBands> Bands{};
        bool Clipping = false;
        bool Any() const;
    };
    TChanged Update(const TLevels& now);
    void Forget() { sent_ = false; }

private:
    bool sent_ = false;
    TLevels last_;
};

// At most kNoticesPerMinute notices in a minute from the first; the rest
// are counted, and the count is due once that minute has passed.
inline constexpr std::uint64_t kNoticesPerMinute = 10;
class TNoticeLimit {
public:
    bool Allow(std::uint64_t nowMs);
    // The notices left out in a minute that has passed (then forgotten); 0
    // while the minute runs or when none were left out.
    std::uint64_t LeftOut(std::uint64_t nowMs);

private:
    bool started_ = false;
    std::uint64_t minuteFrom_ = 0;
    std::uint64_t shown_ = 0;
    std::uint64_t leftOut_ = 0;
};

// The status line: segment state, outputs, beats sent, tempo.
struct TStatus {
    std::string Segment;
    enum class EState { Waiting, Inactive, Active } State = EState::Waiting;
    std::string Outputs;
    std::uint32_t Beats = 0;
    float Bpm = 0.0f;
    bool Locked = false;
};
std::string StatusLine(const TStatus& status);

}  // namespace vxbridge
