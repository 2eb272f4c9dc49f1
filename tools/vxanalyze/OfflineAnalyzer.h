// The offline analyzer: runs the capture-time AnalyseBlock over a sound
// file with a deterministic clock, so that a track's trigs can be checked
// in seconds and tests can run whole tracks.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "MemorySharedMemory.h"
#include "SharedMap.h"
#include "TickClock.h"

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

struct TOfflineResult {
    std::vector<TBlockRow> rows;
    std::vector<double> trigTimes;
    float bpm = 0.0f;
    bool locked = false;
};

// Linear factors exactly as the gain bar and the host synchronisation make them.
// (EqualizerFactor comes with the analysis.)
float GainFactor(int gain);

// Owns the analysis for its lifetime: a private record registered as the
// sound map, the capture state set to recording, and a clock that advances
// by exactly one block per block. Only one may exist at a time.
class TOfflineAnalyzer {
public:
    explicit TOfflineAnalyzer(const TOfflineSettings& settings);
    ~TOfflineAnalyzer();
    TOfflineAnalyzer(const TOfflineAnalyzer&) = delete;
    TOfflineAnalyzer& operator=(const TOfflineAnalyzer&) = delete;

    // Analyses one block of 1024 samples and records its row.
    void Process(const std::int16_t* block);
    TOfflineResult Finish();

private:
    class TBlockClock final : public ITickClock {
    public:
        std::uint32_t Now() override { return now; }
        std::uint32_t now = 0;
    };

    TMemorySharedMemory platform_;
    std::unique_ptr<TSharedMap> map_;
    TBlockClock clock_;
    TOfflineResult result_;
    long blocks_ = 0;
};

// Mono 16-bit samples at 44100 Hz; a last partial block is padded with silence.
TOfflineResult AnalyseSamples(const std::vector<std::int16_t>& samples, const TOfflineSettings& settings);
// Any file libsndfile reads: mixed down to mono, resampled to 44100 Hz.
// Raises EOfflineError with a message naming the file.
TOfflineResult AnalyseFile(const std::string& path, const TOfflineSettings& settings);

enum class EOutputFormat { Text, Csv, Json };
void WriteResult(std::ostream& out, const TOfflineResult& result, EOutputFormat format, bool bands);

// The whole command line; returns the exit status.
int RunVxAnalyze(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
