#include "BlockAnalysis.h"

#include <cmath>
#include <limits>

#include "CaptureState.h"
#include "Fourier.h"
#include "SoundMapRecord.h"
#include "TrigDetector.h"

std::atomic<std::int32_t> PeakHold{0};
std::atomic<float> BandValues[kAnalysisBands] = {};
std::atomic<float> LevelHistory[kHistoryLength] = {};
std::atomic<std::uint8_t> TrigHistory[kHistoryLength] = {};
std::atomic<std::int32_t> HistoryPos{0};
std::atomic<float> GlobalGain{1.0f};
std::atomic<float> EqGain[kAnalysisBands] = {};

std::atomic<float> BlockLevel{0.0f};
std::atomic<float> PrevLevel{0.0f};

namespace {

std::atomic<SoundMapRecord*> g_record{nullptr};

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kLastBandBin = 511;  // the bands never reach past half the block
constexpr float kMagnitudeScale = 1000.0f;

// Upper edge of band b is the lower edge of band b + 1.
constexpr float kBandEdges[kAnalysisBands + 1] = {
    10.0f,    83.33f,   152.77f,  222.22f,  305.55f,  444.44f,   611.11f,   888.89f,   1222.22f,
    1777.78f, 2444.45f, 3555.56f, 4888.89f, 7111.11f, 9777.78f, 14222.22f, 19555.55f,
};

float g_bandLow[kAnalysisBands];
float g_bandHigh[kAnalysisBands];
float g_bandWeight[kAnalysisBands];  // ln(b + 1): band 0 always gives 0

float g_window[kBlockSize];
float g_values[kBlockSize];     // samples, then windowed: the transform's real input
float g_zeroImag[kBlockSize];   // stays zero: the transform's imaginary input
float g_re[kBlockSize];
float g_im[kBlockSize];
float g_spectrum[kBlockSize];

// Frequency of spectrum bin j: an integer product, divided in floating point.
double BinFrequency(int j)
{
    return static_cast<double>(j * 44100) / 1023.0;
}

bool AnalysisRuns()
{
    return DeviceHandlePresent.load(kRelaxed) && Recording.load(kRelaxed) == 1;
}

void SpectrumPath(SoundMapRecord& record)
{
    for (int i = 0; i < kBlockSize; ++i)
        g_values[i] = g_values[i] * g_window[i];

    ForwardTransform(kBlockSize, g_values, g_zeroImag, g_re, g_im);

    for (int i = 0; i < kBlockSize; ++i) {
        const float re = g_re[i] / kMagnitudeScale;
        const float im = g_im[i] / kMagnitudeScale;
        g_spectrum[i] = std::sqrt(re * re + im * im);
    }

    int j = 0;
    while (j < kLastBandBin && BinFrequency(j) < g_bandLow[0])
        ++j;

    float bandSum[kAnalysisBands];
    for (int b = 0; b < kAnalysisBands; ++b) {
        float sum = 0.0f;
        int count = 0;
        // The first bin of a band is always taken, so count is never 0.
        do {
            sum += g_spectrum[j];
            ++j;
            ++count;
        } while (j <= kLastBandBin && BinFrequency(j) <= g_bandHigh[b]);
        bandSum[b] = static_cast<float>(g_bandWeight[b] * sum / count);
    }

    const float gain = GlobalGain.load(kRelaxed);
    float total = 0.0f;
    for (int b = 0; b < kAnalysisBands; ++b) {
        const float v = gain * bandSum[b] * EqGain[b].load(kRelaxed);
        BandValues[b].store(v, kRelaxed);
        record.SetFFTBandLevel(b, v);
        total += v;
    }
    BlockLevel.store(total / kAnalysisBands, kRelaxed);
}

void SumOfSquaresPath()
{
    float acc = 0.0f;
    for (int i = 0; i < kBlockSize; ++i)
        acc += g_values[i] * g_values[i];
    BlockLevel.store(std::sqrt(acc) * GlobalGain.load(kRelaxed) / kBlockSize, kRelaxed);
}

}  // namespace

void SetAnalysisRecord(SoundMapRecord* record)
{
    g_record.store(record, std::memory_order_release);
}

SoundMapRecord* AnalysisRecord()
{
    return g_record.load(std::memory_order_acquire);
}

void AnalyseBlock()
{
    // The record is taken afresh each block; without one there is nowhere
    // to read the settings from or to publish to, so the block is skipped.
    SoundMapRecord* record = AnalysisRecord();

    if (record != nullptr && AnalysisRuns()) {
        std::int32_t peak = PeakHold.load(kRelaxed);
        for (int i = 0; i < kBlockSize; ++i) {
            const std::int32_t sample = SampleBlock[i].load(kRelaxed);
            g_values[i] = static_cast<float>(sample);
            const std::int32_t magnitude = sample < 0 ? -sample : sample;
            if (magnitude > peak)
                peak = magnitude;
        }
        // Store only a raise, so that a decrement from the display that
        // falls between our load and store is lost at most when we raise.
        if (peak > PeakHold.load(kRelaxed))
            PeakHold.store(peak, kRelaxed);

        record->SetClipping(PeakHold.load(kRelaxed) > kClipLevel ? 1 : 0);

        if (record->UseFFT() != 0)
            SpectrumPath(*record);
        else
            SumOfSquaresPath();

        const float level = BlockLevel.load(kRelaxed);
        record->SetLevel(level);

        DetectTrig(*record);

        const int pos = HistoryPos.load(kRelaxed) & (kHistoryLength - 1);
        LevelHistory[pos].store(2.0f * level, kRelaxed);
        HistoryPos.store((pos + 1) % kHistoryLength, kRelaxed);

        PrevLevel.store(level, kRelaxed);
    }

    // Also when the work was skipped: the host keeps seeing the last values.
    if (record != nullptr) {
        for (int b = 0; b < kAnalysisBands; ++b)
            record->SetBandLevel(b, BandValues[b].load(kRelaxed));
    }
}

void PrepareAnalysis()
{
    for (int i = 0; i < kBlockSize; ++i) {
        const long double x = 2.0L * 3.14159265358979323846264338327950288L * i / 1023.0L;
        g_window[i] = static_cast<float>((1.0L - std::cos(x)) * 0.5L);
        g_zeroImag[i] = 0.0f;
    }
    for (int b = 0; b < kAnalysisBands; ++b) {
        g_bandLow[b] = kBandEdges[b];
        g_bandHigh[b] = kBandEdges[b + 1];
        g_bandWeight[b] = static_cast<float>(std::log(static_cast<double>(b) + 1.0));
        EqGain[b].store(1.0f, kRelaxed);
    }
    BlockLevel.store(0.0f, kRelaxed);
    PrevLevel.store(0.0f, kRelaxed);
    ResetTrigState();
}

void ResetPeakHold()
{
    PeakHold.store(0, kRelaxed);
}

void ResetGlobalGain()
{
    GlobalGain.store(1.0f, kRelaxed);
}

void ResetHistory()
{
    for (int i = 0; i < kHistoryLength; ++i) {
        LevelHistory[i].store(0.0f, kRelaxed);
        TrigHistory[i].store(0, kRelaxed);
    }
    HistoryPos.store(0, kRelaxed);
}

void RestartAnalysis()
{
    ResetPeakHold();
    ResetTempo();
    ResetGlobalGain();
    ResetHistory();
    PrepareAnalysis();
    for (auto& v : BandValues)
        v.store(0.0f, kRelaxed);
}

void LowerPeakHold(std::int32_t amount)
{
    const std::int64_t lowered = std::int64_t{PeakHold.load(kRelaxed)} - amount;
    const std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    const std::int64_t highest = std::numeric_limits<std::int32_t>::max();
    PeakHold.store(static_cast<std::int32_t>(lowered < lowest ? lowest : (lowered > highest ? highest : lowered)),
                   kRelaxed);
}

float GainOfPosition(int position)
{
    const long double p = position;
    return static_cast<float>(std::pow(10.0L, (127.0L - p) / 127.0L) / 10.0L);
}

float EqualizerFactor(int band)
{
    return static_cast<float>(std::pow(10.0L, static_cast<long double>(band) / 128.0L));
}

std::int32_t BandCentre(int band)
{
    if (band < 0 || band >= kAnalysisBands)
        return 0;
    const double mean = (static_cast<double>(kBandEdges[band + 1]) + kBandEdges[band]) / 2.0;
    return static_cast<std::int32_t>(std::nearbyint(mean));
}

float BandLowFreq(int band)
{
    return band >= 0 && band < kAnalysisBands ? kBandEdges[band] : 0.0f;
}

float BandHighFreq(int band)
{
    return band >= 0 && band < kAnalysisBands ? kBandEdges[band + 1] : 0.0f;
}

const float* WindowTable()
{
    return g_window;
}

const float* Spectrum()
{
    return g_spectrum;
}
