// vx_click_latency: how long a beat takes from the loudspeaker side of the
// sound server to Trig = 1 in the shared record, measured as a host sees it.
//
// It plays into a sink (the analyzer listens to that sink's monitor) a
// stream of silence into which it splices short loud clicks. For every
// click it takes the moment the click's first samples were handed to the
// server, then
//   - the sound server's own latency: when the click shows up on the
//     sink's monitor, read by a second stream with small fragments;
//   - click to trig: when Trig in the record turns 1, polled every 1 ms.
// The difference of the medians is what the analyzer adds itself: waiting
// for its 1024-sample block to fill, delivery of that block and the block
// analysis.
//
// Trig stays 1 until a host clears it, so, like a host, this tool writes 0
// into Trig before each click; it writes nothing else.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchClock.h"
#include "SharedMap.h"

namespace {

constexpr int kRate = 44100;
constexpr double kBlockMs = 1024.0 * 1000.0 / kRate;  // one capture block, 23.2 ms
constexpr double kTargetBeyondServerMs = 46.0;        // two blocks, rounded down
constexpr int kChunkSamples = 64;                     // 1.45 ms per write and per read
constexpr int kPlaybackBufferMs = 20;
constexpr int kMonitorThreshold = 32768 / 20;         // 5 % of full scale; the click peaks near 0.6
constexpr int kWaitLimitMs = 1000;

double Ms(std::int64_t ns)
{
    return static_cast<double>(ns) / 1e6;
}

// 20 ms of a drum-like hit: three partials, a 0.5 ms rise, then a fast
// decay; loud within a fraction of a millisecond.
std::vector<std::int16_t> MakeClick()
{
    const int n = kRate / 50;
    std::vector<std::int16_t> click(static_cast<std::size_t>(n));
    const double pi = std::acos(-1.0);
    const double rise = 0.0005 * kRate;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double env = (i < rise ? 0.5 - 0.5 * std::cos(pi * i / rise) : 1.0) * std::exp(-t / 0.008);
        const double tone =
            (std::sin(2 * pi * 300 * t) + std::sin(2 * pi * 1000 * t) + std::sin(2 * pi * 3000 * t)) / 3.0;
        click[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(0.9 * 32767 * env * tone));
    }
    return click;
}

struct TOptions {
    std::string Segment;
    std::string Sink;  // empty: the server's default sink
    int Clicks = 20;
    int GapMs = 700;
};

void Usage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: vx_click_latency [--segment NAME] [--sink NAME] [--clicks N] [--gap MS]\n"
                 "\n"
                 "Plays clicks into a sound server sink that a running analyzer listens to\n"
                 "(through the sink's monitor) and measures, for each click, the server's own\n"
                 "latency (the click seen on the monitor) and the time to Trig = 1 in the\n"
                 "analyzer's shared record, polled every 1 ms.\n"
                 "\n"
                 "  --segment NAME  the record's segment (default $VX_SEGMENT_NAME or VXSOUNDMAP)\n"
                 "  --sink NAME     sink to play into (default $VX_TEST_SINK or the default sink)\n"
                 "  --clicks N      number of clicks (default 20)\n"
                 "  --gap MS        silence before each click, longer than the trig hold (default 700)\n"
                 "\n"
                 "Exit status: 0 measured and within %.0f ms beyond the server, 1 failure,\n"
                 "2 bad command line, 3 target missed or a click never trigged.\n",
                 kTargetBeyondServerMs);
}

std::optional<int> ParseInt(const char* s, int lo, int hi)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi)
        return std::nullopt;
    return static_cast<int>(v);
}

// 0 parsed, 1 help shown, 2 bad command line.
int ParseOptions(int argc, char** argv, TOptions& o)
{
    if (const char* env = std::getenv("VX_SEGMENT_NAME"); env != nullptr && *env != '\0')
        o.Segment = env;
    else
        o.Segment = VXSM_NAME;
    if (const char* env = std::getenv("VX_TEST_SINK"); env != nullptr)
        o.Sink = env;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 1;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vx_click_latency: %s needs a value (see --help)\n", a.c_str());
            return 2;
        }
        const char* v = argv[++i];
        if (a == "--segment") {
            o.Segment = v;
        } else if (a == "--sink") {
            o.Sink = v;
        } else if (a == "--clicks" || a == "--gap") {
            const auto n = a == "--clicks" ? ParseInt(v, 1, 1000) : ParseInt(v, 50, 10000);
            if (!n) {
                std::fprintf(stderr, "vx_click_latency: bad value for %s: %s\n", a.c_str(), v);
                return 2;
            }
            (a == "--clicks" ? o.Clicks : o.GapMs) = *n;
        } else {
            std::fprintf(stderr, "vx_click_latency: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    if (!o.Segment.empty() && o.Segment.front() == '/')
        o.Segment.erase(0, 1);
    if (o.Segment.empty() || o.Segment.find('/') != std::string::npos) {
        std::fprintf(stderr, "vx_click_latency: bad segment name\n");
        return 2;
    }
    return 0;
}

// The analyzer's record, mapped as a host maps it; only an existing
// segment, so that a mistyped name is reported instead of created.
std::unique_ptr<TSharedMap> OpenRecord(const std::string& name)
{
    const std::string path = "/" + name;
    if (!SharedSegmentExists(name)) {
        std::fprintf(stderr, "vx_click_latency: no segment %s; is the analyzer running?\n", path.c_str());
        return nullptr;
    }
    try {
        return std::make_unique<TSharedMap>(PlatformSharedMemory(), name);
    } catch (const ESharedMemoryError& e) {
        std::fprintf(stderr, "vx_click_latency: cannot map %s:%s\n", path.c_str(), e.what());
        return nullptr;
    }
}

pa_simple* OpenStream(pa_stream_direction_t dir, const char* device, const pa_buffer_attr& attr, const char* what)
{
    const pa_sample_spec format{PA_SAMPLE_S16LE, kRate, 1};
    int error = 0;
    pa_simple* s = pa_simple_new(nullptr, "vx_click_latency", dir, device, what, &format, nullptr, &attr, &error);
    if (s == nullptr)
        std::fprintf(stderr, "vx_click_latency: cannot open the %s stream on %s: %s\n", what,
                     device != nullptr ? device : "the default device", pa_strerror(error));
    return s;
}

// Silence with a click spliced in on request. Writes are small, so the
// moment a write returns is the moment its samples were handed over.
class TPlayer {
public:
    TPlayer(pa_simple* stream, std::vector<std::int16_t> click) : stream_(stream), click_(std::move(click)) {}

    void Run()
    {
        std::vector<std::int16_t> chunk(kChunkSamples);
        std::size_t pos = click_.size();
        while (!stop_.load()) {
            bool first = false;
            if (pos >= click_.size() && request_.exchange(false)) {
                pos = 0;
                first = true;
            }
            for (int i = 0; i < kChunkSamples; ++i)
                chunk[static_cast<std::size_t>(i)] = pos < click_.size() ? click_[pos++] : 0;
            int error = 0;
            if (pa_simple_write(stream_, chunk.data(), chunk.size() * sizeof(std::int16_t), &error) < 0) {
                std::fprintf(stderr, "vx_click_latency: playback failed: %s\n", pa_strerror(error));
                failed_.store(true);
                return;
            }
            if (first)
                writtenNs_.store(NowNs());
        }
    }

    // Asks for the next click; WrittenNs() is 0 until its first samples went out.
    void Click()
    {
        writtenNs_.store(0);
        request_.store(true);
    }
    std::int64_t WrittenNs() const { return writtenNs_.load(); }
    bool Failed() const { return failed_.load(); }
    void Stop() { stop_.store(true); }

private:
    pa_simple* stream_;
    std::vector<std::int16_t> click_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> request_{false};
    std::atomic<bool> failed_{false};
    std::atomic<std::int64_t> writtenNs_{0};
};

// Reads the monitor in small fragments; once armed, notes when the first
// loud sample arrives.
class TMonitor {
public:
    explicit TMonitor(pa_simple* stream) : stream_(stream) {}

    void Run()
    {
        std::vector<std::int16_t> chunk(kChunkSamples);
        while (!stop_.load()) {
            int error = 0;
            if (pa_simple_read(stream_, chunk.data(), chunk.size() * sizeof(std::int16_t), &error) < 0) {
                std::fprintf(stderr, "vx_click_latency: monitor recording failed: %s\n", pa_strerror(error));
                failed_.store(true);
                return;
            }
            const std::int64_t now = NowNs();
            if (!armed_.load())
                continue;
            for (const std::int16_t s : chunk) {
                if (std::abs(static_cast<int>(s)) > kMonitorThreshold) {
                    heardNs_.store(now);
                    armed_.store(false);
                    break;
                }
            }
        }
    }

    void Arm()
    {
        heardNs_.store(0);
        armed_.store(true);
    }
    std::int64_t HeardNs() const { return heardNs_.load(); }
    bool Failed() const { return failed_.load(); }
    void Stop() { stop_.store(true); }

private:
    pa_simple* stream_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> armed_{false};
    std::atomic<bool> failed_{false};
    std::atomic<std::int64_t> heardNs_{0};
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

double Worst(const std::vector<double>& v)
{
    return *std::max_element(v.begin(), v.end());
}

// A step through 0..n-1 that visits every slot once and jumps far.
int PhaseStride(int n)
{
    int stride = std::max(1, n * 3 / 8);
    while (std::gcd(stride, n) != 1)
        ++stride;
    return stride;
}

struct TResults {
    std::vector<double> Server;
    std::vector<double> Trig;
    int Missed = 0;
    bool Failed = false;
};

TResults Measure(const TOptions& o, SoundMapRecord& record, TPlayer& player, TMonitor& monitor)
{
    TResults r;
    // Each click follows a trig, and trigs come at the analyzer's block
    // boundaries: a fixed gap would put every click at the same place in
    // its block. Extra silence of 0 to 1 block, spread evenly over the
    // clicks in a scrambled order, places them all over the block instead.
    const int stride = PhaseStride(o.Clicks);
    for (int i = 0; i < o.Clicks; ++i) {
        const int slot = static_cast<int>((static_cast<long long>(i) * stride) % o.Clicks);
        SleepMs(o.GapMs + kBlockMs * (slot + 0.5) / o.Clicks);
        if (player.Failed() || monitor.Failed() || record.AnalyzerActive() != 1) {
            if (record.AnalyzerActive() != 1)
                std::fprintf(stderr, "vx_click_latency: the analyzer is no longer active\n");
            r.Failed = true;
            return r;
        }
        record.SetTrig(0);  // taken, as a host takes each trig
        monitor.Arm();
        player.Click();

        const std::int64_t asked = NowNs();
        std::int64_t t0 = 0;
        while ((t0 = player.WrittenNs()) == 0) {
            if (player.Failed() || NowNs() - asked > kWaitLimitMs * 1000000LL) {
                std::fprintf(stderr, "vx_click_latency: the playback stream does not take samples\n");
                r.Failed = true;
                return r;
            }
            SleepMs(0.1);
        }

        std::optional<double> trigMs;
        for (int k = 1; k <= kWaitLimitMs; ++k) {
            SleepUntilNs(t0 + k * 1000000LL);
            if (record.Trig() == 1) {
                trigMs = Ms(NowNs() - t0);
                break;
            }
        }
        while (monitor.HeardNs() == 0 && NowNs() - t0 < kWaitLimitMs * 1000000LL)
            SleepMs(1);
        const std::int64_t heard = monitor.HeardNs();
        if (heard == 0) {
            std::fprintf(stderr, "vx_click_latency: click %d never reached the sink's monitor\n", i + 1);
            r.Failed = true;
            return r;
        }
        r.Server.push_back(Ms(heard - t0));
        if (trigMs)
            r.Trig.push_back(*trigMs);
        else
            ++r.Missed;
        std::printf("click %2d: server %6.1f ms, trig %s\n", i + 1, r.Server.back(),
                    trigMs ? (std::to_string(std::lround(*trigMs)) + " ms").c_str() : "none within 1 s");
        std::fflush(stdout);
    }
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    TOptions o;
    if (const int rc = ParseOptions(argc, argv, o); rc != 0)
        return rc == 1 ? 0 : 2;

    const std::unique_ptr<TSharedMap> map = OpenRecord(o.Segment);
    if (!map)
        return 1;
    SoundMapRecord& record = *map->Data;
    if (record.AnalyzerActive() != 1) {
        std::fprintf(stderr, "vx_click_latency: AnalyzerActive is 0 in /%s; start the analyzer first\n",
                     o.Segment.c_str());
        return 1;
    }

    const std::string sink = o.Sink.empty() ? "@DEFAULT_SINK@" : o.Sink;
    const std::string source = o.Sink.empty() ? "@DEFAULT_MONITOR@" : o.Sink + ".monitor";
    const std::uint32_t any = static_cast<std::uint32_t>(-1);
    const std::uint32_t chunkBytes = kChunkSamples * sizeof(std::int16_t);
    // A short playback buffer: the server's latency is part of what is
    // measured, so it is kept near what a live sound source would give.
    const pa_buffer_attr playAttr{any, static_cast<std::uint32_t>(kRate * kPlaybackBufferMs / 1000 * 2), any,
                                  chunkBytes, any};
    const pa_buffer_attr recordAttr{any, any, any, any, chunkBytes};
    pa_simple* play = OpenStream(PA_STREAM_PLAYBACK, sink.c_str(), playAttr, "click playback");
    if (play == nullptr)
        return 1;
    pa_simple* rec = OpenStream(PA_STREAM_RECORD, source.c_str(), recordAttr, "monitor");
    if (rec == nullptr) {
        pa_simple_free(play);
        return 1;
    }

    TPlayer player(play, MakeClick());
    TMonitor monitor(rec);
    std::thread playThread([&] { player.Run(); });
    std::thread monitorThread([&] { monitor.Run(); });

    std::printf("vx_click_latency: %d clicks into %s, record /%s, %d ms of silence before each\n", o.Clicks,
                sink.c_str(), o.Segment.c_str(), o.GapMs);
    std::fflush(stdout);
    const TResults r = Measure(o, record, player, monitor);

    // The monitor first: the player's silence keeps its reads returning.
    monitor.Stop();
    monitorThread.join();
    player.Stop();
    playThread.join();
    pa_simple_free(play);
    pa_simple_free(rec);

    if (r.Failed)
        return 1;
    if (r.Trig.empty()) {
        std::fprintf(stderr, "vx_click_latency: no click gave a trig (is the noise cut-off or the gain set oddly?)\n");
        std::printf("missed=%d\n", r.Missed);
        return 3;
    }
    const double server = Median(r.Server);
    const double median = Median(r.Trig);
    const double worst = Worst(r.Trig);
    const double beyond = median - server;
    const bool pass = r.Missed == 0 && beyond < kTargetBeyondServerMs;
    std::printf("\nsound server latency (write to monitor): median %.1f ms, worst %.1f ms\n", server,
                Worst(r.Server));
    std::printf("click to Trig = 1: median %.1f ms, worst %.1f ms over %zu clicks (%d without a trig)\n", median,
                worst, r.Trig.size(), r.Missed);
    std::printf("beyond the server: %.1f ms = %.2f blocks (target below %.0f ms): %s\n", beyond, beyond / kBlockMs,
                kTargetBeyondServerMs, pass ? "PASS" : "FAIL");
    // For scripts.
    std::printf("server_latency_ms=%.1f\nclick_to_trig_median_ms=%.1f\nclick_to_trig_worst_ms=%.1f\n"
                "beyond_server_ms=%.1f\nmissed=%d\n",
                server, median, worst, beyond, r.Missed);
    return pass ? 0 : 3;
}
