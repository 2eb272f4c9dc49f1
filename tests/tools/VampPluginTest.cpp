// The Vamp plugin in hosts written by others: vamp-simple-host, and the
// SDK's host-side loader for what that host cannot do (parameters, two
// instances, reset). Its results must be vxanalyze's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <vamp-hostsdk/PluginLoader.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <tuple>

#include "OfflineAnalyzer.h"
#include "SoundFiles.h"
#include "ToolRun.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::FloatNear;
using ::testing::Pointwise;
using ::testing::HasSubstr;
using Vamp::Plugin;
using Vamp::HostExt::PluginLoader;

enum { kTrigs, kLevel, kBands, kTempo };

std::string RunSimpleHost(const std::string& args)
{
    return RunTool("vamp-simple-host", args,
                   {"VAMP_PATH=" VX_VAMP_DIR, "LD_PRELOAD=" VX_HOST_PRELOAD, "ASAN_OPTIONS=detect_leaks=0"})
        .out;
}

std::unique_ptr<Plugin> Load(float rate, const std::map<std::string, float>& parameters = {})
{
    std::unique_ptr<Plugin> plugin(PluginLoader::getInstance()->loadPlugin("corvane:analyzer", rate, 0));
    for (const auto& [id, value] : parameters) {
        if (plugin)
            plugin->setParameter(id, value);
    }
    return plugin;
}

// Runs a plugin over a file as vamp-simple-host does: blocks of 1024
// frames, channels apart, the last block padded with silence. Without a
// plugin, loads and initialises one with `parameters`.
std::map<int, Plugin::FeatureList> Feed(const std::filesystem::path& path, Plugin* plugin = nullptr,
                                        const std::map<std::string, float>& parameters = {})
{
    std::map<int, Plugin::FeatureList> features;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    const auto channels = static_cast<std::size_t>(info.channels);
    std::unique_ptr<Plugin> own = plugin ? nullptr : Load(static_cast<float>(info.samplerate), parameters);
    if (own && own->initialise(channels, kOfflineBlock, kOfflineBlock))
        plugin = own.get();
    if (f == nullptr || plugin == nullptr) {
        ADD_FAILURE() << "cannot run the plugin on " << path;
        return features;
    }
    std::vector<float> frames(kOfflineBlock * channels);
    std::vector<std::vector<float>> planar(channels, std::vector<float>(kOfflineBlock));
    std::vector<const float*> buffers;
    for (const auto& c : planar)
        buffers.push_back(c.data());
    auto keep = [&](const Plugin::FeatureSet& set) {
        for (const auto& [output, list] : set)
            features[output].insert(features[output].end(), list.begin(), list.end());
    };
    long pos = 0;
    for (sf_count_t got; (got = sf_readf_float(f, frames.data(), kOfflineBlock)) > 0; pos += kOfflineBlock) {
        std::fill(frames.begin() + got * info.channels, frames.end(), 0.0f);
        for (std::size_t i = 0; i < frames.size(); ++i)
            planar[i % channels][i / channels] = frames[i];
        keep(plugin->process(buffers.data(), Vamp::RealTime::frame2RealTime(pos, info.samplerate)));
    }
    keep(plugin->getRemainingFeatures());
    sf_close(f);
    return features;
}

std::vector<long> FeatureBlocks(const Plugin::FeatureList& list)
{
    std::vector<double> times;
    for (const auto& f : list)
        times.push_back(f.timestamp.sec + f.timestamp.nsec / 1e9);
    return Blocks(times);
}

class VampPluginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // 120 BPM: a 10 ms click every 0.5 s, 10 s. A drum loop at 48 kHz in
        // stereo, then a second of silence so that the block a host pads at
        // the end holds nothing.
        setenv("VAMP_PATH", VX_VAMP_DIR, 1);  // for the loader
        std::filesystem::create_directory(Path(""));
        const std::string dir = Path("").string();
        const std::string sox = "sox -q -R -n -r 48000 -c 1 " + dir;
        const int rc = std::system(
            ("sox -q -R -n -r 44100 -c 1 -b 16 " + dir + "clicks.wav synth 0.01 sine 1000 pad 0 0.49 repeat 19 && " +
             sox + "kick.wav synth 0.12 sine 120:45 fade q 0.002 0.12 0.1 pad 0 0.38 repeat 11 && " + sox +
             "snare.wav synth 0.08 noise fade q 0.001 0.08 0.07 vol 0.5 pad 0.25 0.17 repeat 11 && " + sox +
             "hats.wav synth 0.02 noise highpass 6000 vol 0.2 pad 0.125 0.105 repeat 23 && sox -q -R -m " + dir +
             "kick.wav " + dir + "snare.wav " + dir + "hats.wav -c 2 -b 16 " + dir + "loop.wav remix 1 1 pad 0 1")
                .c_str());
        ASSERT_EQ(rc, 0) << "sox failed";
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(Path("")); }
    static std::filesystem::path Path(const std::string& name) { return TestFilePath("vamp") / name; }
};

// Trigs, tempo, level and bands through the SDK's loader, which can set
// the parameters vamp-simple-host cannot; trigs through that host too.
// Short, silent and low-rate files give no trigs.
TEST_F(VampPluginTest, BothHostsGetVxanalyzesResultsWithAndWithoutParameters)
{
    EXPECT_THAT(RunSimpleHost("-l"), HasSubstr("Corvane Audio Analyzer, \"analyzer\" [Corvane]"));
    EXPECT_EQ(RunSimpleHost("--list-outputs"),
              "vamp:corvane:analyzer:trigs\nvamp:corvane:analyzer:level\n"
              "vamp:corvane:analyzer:bands\nvamp:corvane:analyzer:tempo\n");
    std::vector<std::int16_t> tone(16000);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(std::lrint(8000 * std::sin(2 * M_PI * 440.0 * i / 8000)));
    WriteSoundFile(Path("short.wav"), std::vector<std::int16_t>(500, 12000), 1, 44100);
    WriteSoundFile(Path("silence.wav"), std::vector<std::int16_t>(3 * 44100, 0), 1, 44100);
    WriteSoundFile(Path("tone8k.wav"), tone, 1, 8000);
    // A broken float file: bursts with NaN in every 7th sample, infinity once.
    std::vector<float> broken;
    for (std::int16_t v : BurstTrack(600, 20))
        broken.push_back(broken.size() % 7 == 3 ? NAN : broken.size() == 5000 ? INFINITY : v / 32768.0f);
    WriteSoundFile(Path("nan.wav"), broken, 1, 44100);
    // A host pads the last block at its own rate, which may add silent
    // blocks after the resampler; vxanalyze's own last block holds its
    // padding.
    const std::tuple<const char*, bool, std::size_t> files[] = {  // name, trigs, blocks
        {"clicks.wav", true, 431}, {"loop.wav", true, 303}, {"short.wav", false, 1}, {"silence.wav", false, 130},
        {"tone8k.wav", false, 89},  // 16384 frames after the host's padding
        {"nan.wav", true, 600},     // NaN is silence (and no undefined cast)
    };
    TOfflineSettings tuned;
    tuned.decay = 5;
    tuned.aggr = 120;
    tuned.useFFT = true;
    const std::map<std::string, float> tunedParameters = {{"decay", 5}, {"aggressiveness", 120}, {"usefft", 1}};
    for (const auto& [name, trigs, blocks] : files) {
        for (const bool tune : {false, true}) {
            SCOPED_TRACE(std::string(name) + (tune ? " tuned" : " defaults"));
            std::vector<TBlockRow> rows;
            const TOfflineResult expected = AnalyseFile(Path(name), tune ? tuned : TOfflineSettings{},
                                                        {[&](const TBlockRow& r) { rows.push_back(r); }, {}});
            EXPECT_TRUE(trigs ? expected.trigTimes.size() > 10 : expected.trigTimes.empty());
            auto out = Feed(Path(name), nullptr, tune ? tunedParameters : decltype(tunedParameters){});
            EXPECT_THAT(FeatureBlocks(out[kTrigs]), ElementsAreArray(Blocks(expected.trigTimes)));
            if (!tune) {
                std::vector<double> times;
                std::istringstream lines(RunSimpleHost("corvane:analyzer:trigs " + Path(name).string()));
                for (std::string line; std::getline(lines, line);) {
                    if (line.size() > 2 && line[0] == ' ' && line.back() == ' ')
                        times.push_back(std::stod(line));
                }
                EXPECT_THAT(Blocks(times), ElementsAreArray(Blocks(expected.trigTimes))) << "vamp-simple-host";
            }
            std::vector<std::pair<float, std::string>> tempo, expectedTempo;
            for (const auto& f : out[kTempo])
                tempo.emplace_back(f.values.at(0), f.label);
            for (const TBlockRow& r : rows) {
                if (r.trig)
                    expectedTempo.emplace_back(r.bpm, r.locked ? "locked" : "unlocked");
            }
            EXPECT_EQ(tempo, expectedTempo);
            EXPECT_EQ(tempo.empty() ? 0.0f : tempo.back().first, expected.bpm);
            ASSERT_EQ(out[kLevel].size(), blocks);
            ASSERT_LE(rows.size(), blocks);
            for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
                ASSERT_THAT(out[kLevel][i].values, ElementsAre(FloatNear(rows[i].level, 1e-4f))) << i;
                ASSERT_THAT(out[kBands][i].values, Pointwise(FloatNear(1e-4f), rows[i].bands)) << i;
            }
        }
    }
}

TEST_F(VampPluginTest, SecondInstanceRefusesWhileOneRunsAndResetStartsAfresh)
{
    auto first = Load(44100);
    auto second = Load(44100);
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->initialise(1, kOfflineBlock, kOfflineBlock));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(second->initialise(1, kOfflineBlock, kOfflineBlock));
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), HasSubstr("another instance"));

    const auto a = Feed(Path("clicks.wav"), first.get());
    first->reset();
    const auto b = Feed(Path("clicks.wav"), first.get());
    ASSERT_EQ(a.at(kTrigs).size(), 20u - 1u);  // the first click falls in the start-up hold
    EXPECT_EQ(FeatureBlocks(b.at(kTrigs)), FeatureBlocks(a.at(kTrigs)));
    EXPECT_EQ(b.at(kTempo).back().values, a.at(kTempo).back().values);

    // Free again once a run is over, and when an instance goes mid-run.
    EXPECT_TRUE(second->initialise(1, kOfflineBlock, kOfflineBlock));
    second.reset();
    EXPECT_FALSE(Feed(Path("clicks.wav")).empty());
}

}  // namespace
