// The offline analyzer: runs the capture-time AnalyseBlock over a sound
// file with a deterministic clock, so that a track's trigs can be checked
// in seconds and tests can run whole tracks.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <samplerate.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "MemorySharedMemory.h"
#include "SharedMap.h"
#include "Platform.h"

inline constexpr int kOfflineRate = 44100;
inline constexpr int kOfflineBlock = 1024;
inline constexpr int kOfflineBands = 16;

class EOfflineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Settings in the units and ranges of the faders and the record. The
// defaults are those of a first start without a settings file.
struct TOfflineSettings {
    bool useFFT = false;                // spectrum path (the equalizer switch)
    int gain = 0;                       // record Gain, -127..127; 0 = 0 dB, +127 = +20 dB
    std::array<int, kOfflineBands> eq{};  // EqualizerBand, -127..127 per band
    int decay = 15;                     // TrigDecay, 1..25 blocks
    int aggr = 150;                     // TrigAggr, 0..300
    int noise = 1;                      // NoiseLevelValue, 1..455
};

struct TBlockRow {
    long block = 0;
    double time = 0.0;  // start of the block in seconds
    float level = 0.0f;
    bool trig = false;
    float bpm = 0.0f;
    float bpmInstant = 0.0f;
    bool locked = false;
    std::array<float, kOfflineBands> bands{};
};

// What the summary needs; the rows go out one by one as they come (a
// TRowSink), so that memory stays flat over hours of sound.
struct TOfflineResult {
    long blocks = 0;
    std::vector<double> trigTimes;
    float bpm = 0.0f;
    bool locked = false;
    // Every block's row: only from AnalyseSamples, whose sound is in memory anyway.
    std::vector<TBlockRow> rows;
};

// Takes each block's row as soon as the block is analysed, in order.
using TRowSink = std::function<void(const TBlockRow&)>;

// Linear factors exactly as the gain bar and the host synchronisation make them.
// (EqualizerFactor comes with the analysis.)
float GainFactor(int gain);

// Owns the analysis for its lifetime: a private record registered as the
// sound map, the capture state set to recording, and a clock that advances
// by exactly one block per block. Only one may exist at a time.
class TOfflineAnalyzer {
public:
    TOfflineAnalyzer(const TOfflineSettings& settings, TRowSink sink);
    ~TOfflineAnalyzer();
    TOfflineAnalyzer(const TOfflineAnalyzer&) = delete;
    TOfflineAnalyzer& operator=(const TOfflineAnalyzer&) = delete;

    // Analyses one block of 1024 samples and passes its row on.
    void Process(const std::int16_t* block);
    TOfflineResult Finish();

private:
    class TBlockClock final : public VxPlatform::ITickClock {
    public:
        std::uint32_t Now() override { return now; }
        std::uint32_t now = 0;
    };

    TMemorySharedMemory platform_;
    std::unique_ptr<TSharedMap> map_;
    TBlockClock clock_;
    TRowSink sink_;
    TOfflineResult result_;
};

// The way from sound of any rate and channel count into the analyzer:
// mixes the channels down to mono, resamples to 44100 Hz with libsamplerate
// and cuts 16-bit blocks. The resampler always gets chunks of the same size,
// so the result does not depend on how the caller splits the sound (a file
// read in large pieces, a plugin host's small blocks). Owns the analyzer.
class TOfflineStream {
public:
    // Raises EOfflineError if the rate cannot be resampled.
    TOfflineStream(const TOfflineSettings& settings, double rate, int channels, TRowSink sink);
    ~TOfflineStream();
    TOfflineStream(const TOfflineStream&) = delete;
    TOfflineStream& operator=(const TOfflineStream&) = delete;

    // `count` frames of `channels` samples each, libsndfile's float scale
    // (NaN counts as silence). The sink gets the rows of blocks that fill.
    void PushInterleaved(const float* frames, std::size_t count);
    void PushPlanar(const float* const* channels, std::size_t count);
    // Drains the resampler and pads the last partial block with silence.
    TOfflineResult Finish();

    static constexpr std::size_t kChunk = 4096;

private:
    struct TResamplerDeleter {
        void operator()(SRC_STATE* s) const { src_delete(s); }
    };
    template <class Sample>
    void Push(std::size_t count, Sample sample);
    void Resample(bool end);
    void Feed(const float* mono, std::size_t count);

    TOfflineAnalyzer analyzer_;
    int channels_;
    double ratio_;
    std::unique_ptr<SRC_STATE, TResamplerDeleter> resampler_;
    std::vector<float> chunk_;  // mono, waiting for the resampler
    std::vector<float> resampled_;
    std::int16_t block_[kOfflineBlock] = {};
    int fill_ = 0;
};

// Mono 16-bit samples at 44100 Hz; a last partial block is padded with
// silence. The result holds every row.
TOfflineResult AnalyseSamples(const std::vector<std::int16_t>& samples, const TOfflineSettings& settings);
// Follows AnalyseFile as it reads, so a long file's output and progress
// need not wait for its end. Either may be empty.
struct TAnalyseObserver {
    // Each block's row as soon as the block is analysed, in order; the
    // result keeps none.
    TRowSink row;
    // Seconds of the file read so far and its length (0 when unknown).
    std::function<void(double seconds, double length)> progress;
};

// Any file libsndfile reads: mixed down to mono, resampled to 44100 Hz.
// Raises EOfflineError with a message naming the file.
TOfflineResult AnalyseFile(const std::string& path, const TOfflineSettings& settings,
                           const TAnalyseObserver& observer = {});

// The output, written as it comes: the header, each row, the summary
// (none in CSV). JSON is one object whose rows come first, so that they
// need not wait for the summary.
enum class EOutputFormat { Text, Csv, Json };
void WriteHeader(std::ostream& out, EOutputFormat format, bool bands);
void WriteRow(std::ostream& out, const TBlockRow& row, EOutputFormat format, bool bands);
void WriteSummary(std::ostream& out, const TOfflineResult& result, EOutputFormat format);

// The whole command line; returns the exit status. `progress`: show how
// far a file is on `err` (the tool does when its error stream is a terminal).
int RunVxAnalyze(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress = false);
