// The Vamp plugin "analyzer": runs the offline analyzer's block loop (the
// same analysis and driven clock as vxanalyze) over whatever a Vamp host
// feeds it and returns trigs, level, bands and tempo as layers.
#include <vamp-sdk/Plugin.h>
#include <vamp-sdk/PluginAdapter.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

#include "BlockAnalysis.h"
#include "OfflineAnalyzer.h"

namespace {

constexpr float kBlockRate = static_cast<float>(kOfflineRate) / kOfflineBlock;
constexpr std::size_t kMaxChannels = 64;

enum EOutput { kTrigs, kLevel, kBands, kTempo };

struct TParameter {
    std::string id, name, description;
    int lo, hi, def;
};

// In this order: Settings() reads them by position.
std::vector<TParameter> MakeParameters()
{
    std::vector<TParameter> p = {
        {"usefft", "Equalizer (FFT)", "Spectrum analysis with the equalizer on; the level then comes from the bands",
         0, 1, 0},
        {"decay", "Decay", "Minimum time between trigs, in blocks of 23.2 ms", 1, 25, 15},
        {"noise", "Noise cut-off", "No trig unless the level lies above this", 1, 455, 1},
        {"aggressiveness", "Aggressiveness", "Higher asks for a bigger rise of the level; below 100 a steady level trigs too", 0, 300, 150},
        {"gain", "Gain", "Global gain as the settings store it: 0 = 0 dB, 127 = +20 dB, -127 = -20 dB", -127, 127, 0},
    };
    for (int b = 1; b < kOfflineBands; ++b) {
        p.push_back({"eq" + std::to_string(b), "Equalizer " + std::to_string(BandCentre(b)) + " Hz",
                     "Equalizer fader of band " + std::to_string(b) + "; acts only with the equalizer on", -127, 127,
                     0});
    }
    return p;
}

const std::vector<TParameter>& Parameters()
{
    static const std::vector<TParameter> p = MakeParameters();
    return p;
}

Vamp::RealTime BlockStart(long block)
{
    return Vamp::RealTime::frame2RealTime(block * kOfflineBlock, kOfflineRate);
}

// The analysis is one static state per process: the instance that
// runs owns it from initialise or reset to the end of its run.
std::atomic<const void*> gOwner{nullptr};

class TAnalyzerPlugin final : public Vamp::Plugin {
public:
    explicit TAnalyzerPlugin(float inputSampleRate) : Vamp::Plugin(inputSampleRate) {}
    ~TAnalyzerPlugin() override { Release(); }

    std::string getIdentifier() const override { return "analyzer"; }
    std::string getName() const override { return "Corvane Audio Analyzer"; }
    std::string getDescription() const override
    {
        return "The analyzer's level, 16-band spectrum, beat trigs and tempo, block by block as the lights see them";
    }
    std::string getMaker() const override { return "Corvane"; }
    std::string getCopyright() const override { return "Corvane"; }
    int getPluginVersion() const override { return 1; }
    InputDomain getInputDomain() const override { return TimeDomain; }
    std::size_t getPreferredBlockSize() const override { return kOfflineBlock; }
    std::size_t getPreferredStepSize() const override { return kOfflineBlock; }
    std::size_t getMaxChannelCount() const override { return kMaxChannels; }

    ParameterList getParameterDescriptors() const override
    {
        ParameterList list;
        for (const TParameter& p : Parameters()) {
            ParameterDescriptor d;
            d.identifier = p.id;
            d.name = p.name;
            d.description = p.description;
            d.minValue = static_cast<float>(p.lo);
            d.maxValue = static_cast<float>(p.hi);
            d.defaultValue = static_cast<float>(p.def);
            d.isQuantized = true;
            d.quantizeStep = 1.0f;
            if (p.id == "usefft")
                d.valueNames = {"Off", "On"};
            list.push_back(d);
        }
        return list;
    }

    float getParameter(std::string id) const override
    {
        const std::size_t i = IndexOf(id);
        return i < values_.size() ? static_cast<float>(values_[i]) : 0.0f;
    }

    // Takes effect at the next initialise or reset.
    void setParameter(std::string id, float value) override
    {
        const std::size_t i = IndexOf(id);
        if (i < values_.size() && std::isfinite(value)) {
            const TParameter& p = Parameters()[i];
            values_[i] = static_cast<int>(std::clamp(std::round(value), static_cast<float>(p.lo), static_cast<float>(p.hi)));
        }
    }

    OutputList getOutputDescriptors() const override
    {
        OutputList list;
        auto add = [&](const char* id, const char* name, const char* description, std::size_t bins,
                       OutputDescriptor::SampleType type) -> OutputDescriptor& {
            OutputDescriptor d;
            d.identifier = id;
            d.name = name;
            d.description = description;
            d.hasFixedBinCount = true;
            d.binCount = bins;
            d.sampleType = type;
            d.sampleRate = kBlockRate;
            list.push_back(d);
            return list.back();
        };
        add("trigs", "Trigs", "One instant at the start of every block that trigs", 0,
            OutputDescriptor::VariableSampleRate);
        add("level", "Level", "Level of every block of 1024 samples at 44100 Hz", 1,
            OutputDescriptor::FixedSampleRate);
        OutputDescriptor& bands = add("bands", "Bands",
                                      "The 16 band levels of every block after equalizer and gain; they hold their "
                                      "last values while the equalizer is off",
                                      kOfflineBands, OutputDescriptor::FixedSampleRate);
        for (int b = 0; b < kOfflineBands; ++b)
            bands.binNames.push_back("Band " + std::to_string(b) + " (" + std::to_string(BandCentre(b)) + " Hz)");
        add("tempo", "Tempo", "Tempo at every trig, labelled \"locked\" or \"unlocked\"", 1,
            OutputDescriptor::VariableSampleRate)
            .unit = "bpm";
        return list;
    }

    bool initialise(std::size_t channels, std::size_t stepSize, std::size_t blockSize) override
    {
        if (channels < getMinChannelCount() || channels > getMaxChannelCount() || stepSize == 0 ||
            stepSize > blockSize)
            return false;
        channels_ = static_cast<int>(channels);
        step_ = stepSize;
        initialised_ = true;
        return Start();
    }

    void reset() override
    {
        if (initialised_)
            Start();
    }

    FeatureSet process(const float* const* inputBuffers, Vamp::RealTime) override
    {
        if (!stream_)
            return {};
        // Overlapping blocks: only the first step of each is new sound.
        return Guarded([&] {
            stream_->PushPlanar(inputBuffers, step_);
            return std::exchange(pending_, {});
        });
    }

    FeatureSet getRemainingFeatures() override
    {
        if (!stream_)
            return {};
        FeatureSet set = Guarded([&] {
            stream_->Finish();
            return std::exchange(pending_, {});
        });
        Release();  // the run is over: another instance may analyse now
        return set;
    }

private:
    static std::size_t IndexOf(const std::string& id)
    {
        const auto& all = Parameters();
        return static_cast<std::size_t>(
            std::find_if(all.begin(), all.end(), [&](const TParameter& p) { return p.id == id; }) - all.begin());
    }

    TOfflineSettings Settings() const
    {
        TOfflineSettings s;
        s.useFFT = values_[0] != 0;
        s.decay = values_[1];
        s.noise = values_[2];
        s.aggr = values_[3];
        s.gain = values_[4];
        for (int b = 1; b < kOfflineBands; ++b)
            s.eq[static_cast<std::size_t>(b)] = values_[static_cast<std::size_t>(4 + b)];
        return s;
    }

    bool Start()
    {
        stream_.reset();  // only one analyzer may exist at a time
        pending_.clear();
        const void* owner = nullptr;
        if (!gOwner.compare_exchange_strong(owner, this) && owner != this) {
            std::cerr << "Corvane Audio Analyzer: another instance of the plugin is analysing in this program; "
                         "the analysis exists once per program, so this instance cannot start\n";
            return false;
        }
        try {
            stream_ = std::make_unique<TOfflineStream>(Settings(), getInputSampleRate(), channels_,
                                                       [this](const TBlockRow& row) { AddFeatures(row); });
            return true;
        } catch (const std::exception& e) {
            std::cerr << "Corvane Audio Analyzer: " << e.what() << '\n';
            Release();
            return false;
        }
    }

    void Release()
    {
        stream_.reset();
        const void* self = this;
        gOwner.compare_exchange_strong(self, nullptr);
    }

    // No exception may cross into the host.
    template <class F>
    FeatureSet Guarded(F work)
    {
        try {
            return work();
        } catch (const std::exception& e) {
            std::cerr << "Corvane Audio Analyzer: " << e.what() << '\n';
            Release();
            return {};
        }
    }

    // A block's features, held until the host takes them: the plugin
    // keeps no rows of its own.
    void AddFeatures(const TBlockRow& r)
    {
        Feature f;
        f.hasTimestamp = true;
        f.timestamp = BlockStart(r.block);
        if (r.trig) {
            pending_[kTrigs].push_back(f);
            Feature t = f;
            t.values = {r.bpm};
            t.label = r.locked ? "locked" : "unlocked";
            pending_[kTempo].push_back(t);
        }
        f.values = {r.level};
        pending_[kLevel].push_back(f);
        f.values.assign(r.bands.begin(), r.bands.end());
        pending_[kBands].push_back(f);
    }

    std::vector<int> values_ = [] {
        std::vector<int> v;
        for (const TParameter& p : Parameters())
            v.push_back(p.def);
        return v;
    }();
    std::unique_ptr<TOfflineStream> stream_;
    int channels_ = 1;
    std::size_t step_ = kOfflineBlock;
    FeatureSet pending_;
    bool initialised_ = false;
};

Vamp::PluginAdapter<TAnalyzerPlugin> gAdapter;

}  // namespace

const VampPluginDescriptor* vampGetPluginDescriptor(unsigned int version, unsigned int index)
{
    if (version < 1 || index != 0)
        return nullptr;
    return gAdapter.getDescriptor();
}
