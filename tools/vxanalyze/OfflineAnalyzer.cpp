#include "OfflineAnalyzer.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <utility>

#include "BlockAnalysis.h"
#include "CaptureState.h"
#include "SoundMapOwner.h"
#include "TrigDetector.h"

namespace {

constexpr const char* kMapName = "VXANALYZE_OFFLINE";

// Millisecond clock at the end of block k: exact integer arithmetic, so
// the clock never drifts from the sample count.
std::uint32_t TickAtEndOfBlock(long k)
{
    const std::uint64_t samples = static_cast<std::uint64_t>(k + 1) * kOfflineBlock;
    return static_cast<std::uint32_t>(samples * 1000 / kOfflineRate);
}

}  // namespace

float GainFactor(int gain)
{
    // The gain bar's position is -gain.
    return GainOfPosition(-gain);
}

TOfflineAnalyzer::TOfflineAnalyzer(const TOfflineSettings& settings, TRowSink sink) : sink_(std::move(sink))
{
    map_ = std::make_unique<TSharedMap>(platform_, kMapName);
    SoundMapRecord& rec = *map_->Data;
    rec.SetMapVersion(1);
    rec.SetAnalyzerActive(1);
    rec.SetUseFFT(settings.useFFT ? 1 : 0);
    rec.SetGain(static_cast<std::int8_t>(settings.gain));
    rec.SetTrigDecay(settings.decay);
    rec.SetTrigAggr(settings.aggr);
    rec.SetNoiseLevelValue(settings.noise);

    VxPlatform::SetTickClock(&clock_);
    RestartAnalysis();
    GlobalGain.store(GainFactor(settings.gain), std::memory_order_relaxed);
    for (int b = 0; b < kOfflineBands; ++b) {
        rec.SetEqualizerBand(b, static_cast<std::int8_t>(settings.eq[static_cast<std::size_t>(b)]));
        EqGain[b].store(EqualizerFactor(settings.eq[static_cast<std::size_t>(b)]), std::memory_order_relaxed);
    }

    SetSoundMapOwner(map_.get());
    DeviceHandlePresent.store(true, std::memory_order_relaxed);
    Recording.store(1, std::memory_order_relaxed);
}

TOfflineAnalyzer::~TOfflineAnalyzer()
{
    Recording.store(0, std::memory_order_relaxed);
    DeviceHandlePresent.store(false, std::memory_order_relaxed);
    SetSoundMapOwner(nullptr);
    VxPlatform::SetTickClock(nullptr);
}

void TOfflineAnalyzer::Process(const std::int16_t* block)
{
    for (int i = 0; i < kOfflineBlock; ++i)
        SampleBlock[i].store(block[i], std::memory_order_relaxed);
    const long k = result_.blocks;
    clock_.now = TickAtEndOfBlock(k);
    AnalyseBlock();

    SoundMapRecord& rec = *map_->Data;
    TBlockRow row;
    row.block = k;
    row.time = static_cast<double>(k) * kOfflineBlock / kOfflineRate;
    row.level = rec.Level();
    // Taken as a host takes it: read, then cleared.
    row.trig = rec.Trig() != 0;
    rec.SetTrig(0);
    row.bpm = Bpm.load(std::memory_order_relaxed);
    row.bpmInstant = BpmInstant.load(std::memory_order_relaxed);
    row.locked = BpmLocked.load(std::memory_order_relaxed);
    for (int b = 0; b < kOfflineBands; ++b)
        row.bands[static_cast<std::size_t>(b)] = rec.BandLevel(b);
    if (row.trig)
        result_.trigTimes.push_back(row.time);
    ++result_.blocks;
    if (sink_)
        sink_(row);
}

TOfflineResult TOfflineAnalyzer::Finish()
{
    result_.bpm = Bpm.load(std::memory_order_relaxed);
    result_.locked = BpmLocked.load(std::memory_order_relaxed);
    return std::move(result_);
}

TOfflineResult AnalyseSamples(const std::vector<std::int16_t>& samples, const TOfflineSettings& settings)
{
    std::vector<TBlockRow> rows;
    rows.reserve(samples.size() / kOfflineBlock + 1);
    TOfflineAnalyzer analyzer(settings, [&](const TBlockRow& row) { rows.push_back(row); });
    std::int16_t block[kOfflineBlock];
    for (std::size_t pos = 0; pos < samples.size(); pos += kOfflineBlock) {
        const std::size_t n = std::min<std::size_t>(kOfflineBlock, samples.size() - pos);
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(pos), n, block);
        std::fill(block + n, block + kOfflineBlock, std::int16_t{0});
        analyzer.Process(block);
    }
    TOfflineResult result = analyzer.Finish();
    result.rows = std::move(rows);
    return result;
}

TOfflineStream::TOfflineStream(const TOfflineSettings& settings, double rate, int channels, TRowSink sink)
    : analyzer_(settings, std::move(sink)), channels_(channels), ratio_(static_cast<double>(kOfflineRate) / rate)
{
    if (channels < 1 || !(rate > 0.0))
        throw EOfflineError("no sound to analyse");
    chunk_.reserve(kChunk);
    if (rate == kOfflineRate)
        return;
    int error = 0;
    resampler_.reset(src_new(SRC_SINC_MEDIUM_QUALITY, 1, &error));
    if (!resampler_)
        throw EOfflineError(std::string("cannot resample: ") + src_strerror(error));
    if (!src_is_valid_ratio(ratio_))
        throw EOfflineError("cannot resample from " + std::to_string(rate) + " Hz");
    resampled_.resize(static_cast<std::size_t>(static_cast<double>(kChunk) * ratio_) + 64);
}

TOfflineStream::~TOfflineStream() = default;

template <class Sample>
void TOfflineStream::Push(std::size_t count, Sample sample)
{
    for (std::size_t f = 0; f < count; ++f) {
        float sum = 0.0f;
        for (int c = 0; c < channels_; ++c)
            sum += sample(f, c);
        chunk_.push_back(sum / static_cast<float>(channels_));
        if (chunk_.size() == kChunk)
            Resample(false);
    }
}

void TOfflineStream::PushInterleaved(const float* frames, std::size_t count)
{
    const auto channels = static_cast<std::size_t>(channels_);
    Push(count, [&](std::size_t f, int c) { return frames[f * channels + static_cast<std::size_t>(c)]; });
}

void TOfflineStream::PushPlanar(const float* const* channels, std::size_t count)
{
    Push(count, [&](std::size_t f, int c) { return channels[c][f]; });
}

void TOfflineStream::Resample(bool end)
{
    if (!resampler_) {
        Feed(chunk_.data(), chunk_.size());
        chunk_.clear();
        return;
    }
    SRC_DATA data{};
    data.data_in = chunk_.data();
    data.input_frames = static_cast<long>(chunk_.size());
    data.src_ratio = ratio_;
    data.end_of_input = end ? 1 : 0;
    do {
        data.data_out = resampled_.data();
        data.output_frames = static_cast<long>(resampled_.size());
        const int error = src_process(resampler_.get(), &data);
        if (error != 0)
            throw EOfflineError(std::string("cannot resample: ") + src_strerror(error));
        Feed(resampled_.data(), static_cast<std::size_t>(data.output_frames_gen));
        if (data.input_frames_used == 0 && data.output_frames_gen == 0)
            break;
        data.data_in += data.input_frames_used;
        data.input_frames -= data.input_frames_used;
    } while (data.input_frames > 0 || (end && data.output_frames_gen > 0));
    chunk_.clear();
}

void TOfflineStream::Feed(const float* mono, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        // libsndfile's float scale for 16-bit data is 1/32768, so this
        // gives a 16-bit file's samples back unchanged. NaN (a broken float
        // file) is silence: no comparison holds it back from the cast.
        const float scaled = std::isnan(mono[i]) ? 0.0f : std::nearbyint(mono[i] * 32768.0f);
        block_[fill_++] = static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
        if (fill_ == kOfflineBlock) {
            analyzer_.Process(block_);
            fill_ = 0;
        }
    }
}

TOfflineResult TOfflineStream::Finish()
{
    Resample(true);
    if (fill_ > 0) {
        std::fill(block_ + fill_, block_ + kOfflineBlock, std::int16_t{0});
        analyzer_.Process(block_);
        fill_ = 0;
    }
    return analyzer_.Finish();
}

namespace {

struct TSndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

}  // namespace

TOfflineResult AnalyseFile(const std::string& path, const TOfflineSettings& settings,
                           const TAnalyseObserver& observer)
{
    SF_INFO info{};
    std::unique_ptr<SNDFILE, TSndFileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file)
        throw EOfflineError("cannot read '" + path + "': " + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1)
        throw EOfflineError("cannot read '" + path + "': no sound in it");
    if (!src_is_valid_ratio(static_cast<double>(kOfflineRate) / info.samplerate))
        throw EOfflineError("cannot resample '" + path + "' from " + std::to_string(info.samplerate) + " Hz");

    TOfflineStream stream(settings, info.samplerate, info.channels, observer.row);
    // A stream of unknown length reports a huge or negative frame count.
    const double length = info.frames > 0 && info.frames < (sf_count_t{1} << 50)
                              ? static_cast<double>(info.frames) / info.samplerate
                              : 0.0;
    constexpr sf_count_t kFrames = TOfflineStream::kChunk;
    std::vector<float> frames(static_cast<std::size_t>(kFrames) * static_cast<std::size_t>(info.channels));
    sf_count_t got = kFrames;
    sf_count_t read = 0;
    while (got == kFrames) {
        got = sf_readf_float(file.get(), frames.data(), kFrames);
        if (got < 0 || sf_error(file.get()) != SF_ERR_NO_ERROR)
            throw EOfflineError("cannot read '" + path + "': " + sf_strerror(file.get()));
        stream.PushInterleaved(frames.data(), static_cast<std::size_t>(got));
        read += got;
        if (observer.progress)
            observer.progress(static_cast<double>(read) / info.samplerate, length);
    }
    return stream.Finish();
}

namespace {

std::string Number(double v, int decimals)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// JSON has no infinity: a zero interval's tempo is written as null.
std::string JsonNumber(double v, int decimals)
{
    return std::isfinite(v) ? Number(v, decimals) : "null";
}

}  // namespace

void WriteHeader(std::ostream& out, EOutputFormat format, bool bands)
{
    if (format == EOutputFormat::Json) {
        out << "{\"rows\":[";
        return;
    }
    if (format == EOutputFormat::Csv) {
        out << "block,time,level,trig,bpm,bpm_instant,locked";
        for (int b = 0; bands && b < kOfflineBands; ++b)
            out << ",band" << b;
    } else {
        out << "block time level trig bpm bpm_instant locked" << (bands ? " bands0-15" : "");
    }
    out << '\n';
}

void WriteRow(std::ostream& out, const TBlockRow& r, EOutputFormat format, bool bands)
{
    if (format == EOutputFormat::Json) {
        out << (r.block > 0 ? "," : "") << "\n{\"block\":" << r.block << ",\"time\":" << Number(r.time, 6)
            << ",\"level\":" << JsonNumber(r.level, 4) << ",\"trig\":" << (r.trig ? 1 : 0)
            << ",\"bpm\":" << JsonNumber(r.bpm, 2) << ",\"bpm_instant\":" << JsonNumber(r.bpmInstant, 2)
            << ",\"locked\":" << (r.locked ? 1 : 0);
        if (bands) {
            out << ",\"bands\":[";
            for (int b = 0; b < kOfflineBands; ++b)
                out << (b ? "," : "") << JsonNumber(r.bands[static_cast<std::size_t>(b)], 4);
            out << ']';
        }
        out << '}';
        return;
    }
    const char sep = format == EOutputFormat::Csv ? ',' : ' ';
    out << r.block << sep << Number(r.time, 6) << sep << Number(r.level, 4) << sep << (r.trig ? 1 : 0) << sep
        << Number(r.bpm, 2) << sep << Number(r.bpmInstant, 2) << sep << (r.locked ? 1 : 0);
    if (bands) {
        for (float v : r.bands)
            out << sep << Number(v, 4);
    }
    out << '\n';
}

void WriteSummary(std::ostream& out, const TOfflineResult& result, EOutputFormat format)
{
    if (format == EOutputFormat::Json) {
        out << "],\"blocks\":" << result.blocks << ",\"trigs\":" << result.trigTimes.size() << ",\"trig_times\":[";
        for (std::size_t i = 0; i < result.trigTimes.size(); ++i)
            out << (i ? "," : "") << Number(result.trigTimes[i], 6);
        out << "],\"bpm\":" << JsonNumber(result.bpm, 2) << ",\"locked\":" << (result.locked ? "true" : "false")
            << "}\n";
        return;
    }
    if (format != EOutputFormat::Text)
        return;
    out << "blocks: " << result.blocks << '\n';
    out << "trigs: " << result.trigTimes.size() << '\n';
    out << "trig times:";
    for (double t : result.trigTimes)
        out << ' ' << Number(t, 3);
    out << '\n';
    out << "tempo: " << Number(result.bpm, 2) << " BPM, " << (result.locked ? "locked" : "not locked") << '\n';
}
