// Per-block analysis of SampleBlock: held peak and clipping, the level
// (spectrum path or sum-of-squares path), the 16 band values, the level
// history, and the hand-over to the trigger detector.
//
// All state is static and single-instance. Values the window thread reads
// or writes are whole-value atomics used with relaxed loads and stores:
// readers may see a block half-processed, never a torn value.
#pragma once

#include <atomic>
#include <cstdint>

inline constexpr int kAnalysisBands = 16;
inline constexpr int kHistoryLength = 256;
inline constexpr int kBlockSize = 1024;
inline constexpr std::int32_t kClipLevel = 30000;

struct SoundMapRecord;

// The record the analysis reads its settings from and publishes into,
// taken afresh for every block; while there is none, blocks are skipped.
// The window registers its segment's record, the offline analyzer its own.
void SetAnalysisRecord(SoundMapRecord* record);
SoundMapRecord* AnalysisRecord();

// Analyses SampleBlock: called by the capture callback after each copy.
void AnalyseBlock();

// Start-up set-up of the analysis, before the device is opened: window
// table, cleared transform input, band table, EqGain := 1.0, BlockLevel and
// PrevLevel := 0, and the detector's hold counter and flash latch.
// BandValues are not touched (they start at 0).
void PrepareAnalysis();
// The earlier start-up resets: PeakHold := 0; GlobalGain := 1.0; the two
// history rings cleared and HistoryPos := 0.
void ResetPeakHold();
void ResetGlobalGain();
void ResetHistory();
// All of the above with the tempo and the band values, in the analyzer's
// start-up order: for a second analysis run in the same process.
void RestartAnalysis();

// Lowers the held peak, as the display refresh does every tick. Stops at
// the lowest int32 instead of wrapping when no blocks arrive for days.
void LowerPeakHold(std::int32_t amount);

// The linear factors the analysis multiplies by, computed wide and stored
// single, so that the window, the host synchronisation and the offline
// analyzer agree to the bit.
// GlobalGain of a gain bar position p (-127 top .. 127 bottom):
// 10^((127 - p) / 127) / 10, exactly 1 at 0.
float GainOfPosition(int position);
// EqGain of an equalizer byte b: 10^(b / 128).
float EqualizerFactor(int band);

// Centre of band b in Hz (the rounded mean of its edges); 0 outside 0..15.
std::int32_t BandCentre(int band);
// Band edges in Hz, as the analysis uses them; 0 outside 0..15.
float BandLowFreq(int band);
float BandHighFreq(int band);

// --- shared with the window ---------------------------------------------
extern std::atomic<std::int32_t> PeakHold;             // held peak, lowered by the display
extern std::atomic<float> BandValues[kAnalysisBands];  // weighted band values, spectrum path only
extern std::atomic<float> LevelHistory[kHistoryLength];   // 2 x BlockLevel per block
extern std::atomic<std::uint8_t> TrigHistory[kHistoryLength];  // 1 = the block trigged
extern std::atomic<std::int32_t> HistoryPos;           // next slot of both rings, 0..255
extern std::atomic<float> GlobalGain;                  // linear, 0.1..10, set by the gain bar
extern std::atomic<float> EqGain[kAnalysisBands];      // linear factor per band

// --- analysis-thread state, visible for the detector and tests ------------
extern std::atomic<float> BlockLevel;  // level of the latest block
extern std::atomic<float> PrevLevel;   // level of the block before

// Read-only views of the working storage, for tests and benchmarks.
const float* WindowTable();  // 1024 entries
const float* Spectrum();     // 1024 magnitudes of the latest spectrum block
