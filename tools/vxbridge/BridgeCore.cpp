#include "BridgeCore.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "TrigDetector.h"

namespace vxbridge {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// One capture block is 1024 samples at 44100 Hz: in units of ms x 44100,
// 1024 x 1000.
constexpr std::uint64_t kSampleRate = 44100;
constexpr std::uint64_t kBlockUnits = 1024 * 1000;
// A jump of the clock longer than this (a suspended machine) ages the lock
// just enough to drop it.
constexpr std::uint32_t kLongJumpMs = 10000;

constexpr double kMsPerMinute = 60000.0;
constexpr double kGapIntervals = 2.0;
constexpr double kTempoJump = 0.2;

constexpr double kLevelFullScale = 256.0;
constexpr double kBandFullScale = 1000.0;

std::string Fixed(float value, int decimals)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

bool SameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

void TBeatCounter::ResetTempo(std::uint32_t nowMs)
{
    ::ResetTempo();
    clockMs_ = nowMs;
    blockRemainder_ = 0;
    gridKnown_ = false;
    anchorTimed_ = true;
    lastBpm_ = 0.0f;
}

void TBeatCounter::Advance(std::uint32_t nowMs)
{
    const std::uint32_t elapsed = nowMs - clockMs_;
    clockMs_ = nowMs;
    if (elapsed > kLongJumpMs) {
        for (int i = 0; i <= kBpmLockTimeout + 1; ++i)
            AgeTempoLock();
        blockRemainder_ = 0;
        return;
    }
    blockRemainder_ += elapsed * kSampleRate;
    while (blockRemainder_ >= kBlockUnits) {
        AgeTempoLock();
        blockRemainder_ -= kBlockUnits;
    }
}

TBeat TBeatCounter::Take(std::uint32_t nowMs, float level, std::uint32_t unseenMs)
{
    Advance(nowMs);
    const bool timed = unseenMs <= kTimedWithinMs;
    if (timed && anchorTimed_) {
        TrackTempo();
    } else {
        // The next interval starts here, and pairs with nothing.
        LastTrigTick.store(nowMs, kRelaxed);
        BpmPrevInstant.store(0.0f, kRelaxed);
    }
    anchorTimed_ = timed;
    const float bpm = Bpm.load(kRelaxed);

    TBeat beat;
    beat.Count = ++count_;
    beat.Bpm = std::isfinite(bpm) && bpm > 0.0f ? bpm : 0.0f;
    beat.Locked = beat.Bpm > 0.0f && BpmLocked.load(kRelaxed);
    beat.Strength = NormLevel(level);

    beat.Change = !gridKnown_;
    if (gridKnown_) {
        const std::uint32_t gap = nowMs - lastBeatMs_;
        const double interval = lastBpm_ > 0.0f ? kMsPerMinute / lastBpm_ : static_cast<double>(lastIntervalMs_);
        if (interval > 0.0 && gap > kGapIntervals * interval)
            beat.Change = true;
        if (lastBpm_ > 0.0f && beat.Bpm > 0.0f && std::fabs(beat.Bpm - lastBpm_) / lastBpm_ > kTempoJump)
            beat.Change = true;
        lastIntervalMs_ = gap;
    }
    gridKnown_ = true;
    lastBeatMs_ = nowMs;
    lastBpm_ = beat.Bpm;
    return beat;
}

std::string Os2lBeatJson(const TBeat& beat)
{
    return std::string("{\"evt\":\"beat\",\"change\":") + (beat.Change ? "true" : "false") +
           ",\"pos\":" + std::to_string(beat.Count) + ",\"bpm\":" + Fixed(beat.Bpm, 2) +
           ",\"strength\":" + Fixed(beat.Strength, 3) + "}";
}

namespace {

float LogScale(float v, double fullScale)
{
    if (!(v > 0.0f))
        return 0.0f;
    if (v >= fullScale)
        return 1.0f;
    return static_cast<float>(std::log10(1.0 + v) / std::log10(1.0 + fullScale));
}

}  // namespace

float NormLevel(float level)
{
    return LogScale(level, kLevelFullScale);
}

float NormBand(float band)
{
    return LogScale(band, kBandFullScale);
}

TLevels ReadLevels(const SoundMapRecord& record)
{
    const auto finite = [](float v) { return std::isfinite(v) ? v : 0.0f; };
    TLevels l;
    l.Level = finite(record.Level());
    for (int b = kFirstBand; b <= kLastBand; ++b)
        l.Bands[static_cast<std::size_t>(b)] = finite(record.BandLevel(b));
    l.Clipping = record.Clipping();
    return l;
}

bool TLevelChanges::TChanged::Any() const
{
    if (Level || Clipping)
        return true;
    for (const bool b : Bands)
        if (b)
            return true;
    return false;
}

TLevelChanges::TChanged TLevelChanges::Update(const TLevels& now)
{
    TChanged c;
    c.Level = !sent_ || !SameBits(now.Level, last_.Level);
    for (int b = kFirstBand; b <= kLastBand; ++b) {
        const auto i = static_cast<std::size_t>(b);
        c.Bands[i] = !sent_ || !SameBits(now.Bands[i], last_.Bands[i]);
    }
    c.Clipping = !sent_ || now.Clipping != last_.Clipping;
    last_ = now;
    sent_ = true;
    return c;
}

bool TNoticeLimit::Allow(std::uint64_t nowMs)
{
    constexpr std::uint64_t kMinuteMs = 60000;
    if (!started_ || nowMs - minuteFrom_ >= kMinuteMs) {
        started_ = true;
        minuteFrom_ = nowMs;
        shown_ = 0;
    }
    if (shown_ < kNoticesPerMinute) {
        ++shown_;
        return true;
    }
    ++leftOut_;
    return false;
}

std::uint64_t TNoticeLimit::LeftOut(std::uint64_t nowMs)
{
    if (leftOut_ == 0 || nowMs - minuteFrom_ < 60000)
        return 0;
    const std::uint64_t n = leftOut_;
    leftOut_ = 0;
    return n;
}

std::string StatusLine(const TStatus& s)
{
    std::string line = "segment " + s.Segment;
    switch (s.State) {
    case TStatus::EState::Waiting:
        line += " (waiting)";
        break;
    case TStatus::EState::Inactive:
        line += " (analyzer inactive)";
        break;
    case TStatus::EState::Active:
        break;
    }
    line += " | " + s.Outputs + " | " + std::to_string(s.Beats) + (s.Beats == 1 ? " beat" : " beats");
    if (s.Bpm > 0.0f)
        line += " | " + Fixed(s.Bpm, 2) + " BPM" + (s.Locked ? " locked" : "");
    else
        line += " | no tempo yet";
    return line;
}

}  // namespace vxbridge
