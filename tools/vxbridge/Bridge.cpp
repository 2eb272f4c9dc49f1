#include "Bridge.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>

#include "BridgeCore.h"
#include "Os2lOutput.h"
#include "OscOutput.h"
#include "SegmentWatch.h"
#include "Platform.h"
#include "TrigDetector.h"

namespace vxbridge {

namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1'000'000'000;
// The record is polled every millisecond while the analyzer is active. No
// beat is sent while there is no segment or the analyzer is inactive, so
// then a slower poll saves the wake-ups (about 20 us of CPU each on a busy
// virtual machine).
constexpr std::int64_t kPollNs = kMs;
constexpr std::int64_t kIdlePollNs = 10 * kMs;
constexpr std::int64_t kServiceNs = 10 * kMs;   // OS2L connection and browsing
constexpr std::size_t kMaxStatusWidth = 200;

std::atomic<int> g_stopSignal{0};

extern "C" void OnStopSignal(int signal)
{
    g_stopSignal.store(signal, std::memory_order_relaxed);
}

// Every signal whose default would end the program without the release
// (a closed terminal's SIGHUP, a stray SIGUSR1) ends the loop instead, so
// that no button is left pressed. Without SA_RESTART, so that the sleep
// ends at once. Faults (SIGSEGV and the like) keep their default.
void InstallSignals()
{
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGIO,
                        SIGPWR, SIGSTKFLT, SIGXCPU})
        sigaction(s, &sa, nullptr);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        sigaction(s, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);  // a full log file fails the write instead
}

std::int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * kSecond + ts.tv_nsec;
}

void SleepUntil(std::int64_t deadline)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadline / kSecond);
    ts.tv_nsec = static_cast<long>(deadline % kSecond);
    // A signal ends the sleep early; the loop then sees the stop request.
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

// Notices as lines; the status line, on a terminal only, rewritten in place.
class TReporter {
public:
    explicit TReporter(bool quiet) : quiet_(quiet), tty_(isatty(STDERR_FILENO) == 1) {}

    void Notice(const std::string& text)
    {
        if (!quiet_)
            Limited(text);
    }
    void Error(const std::string& text) { Limited(text); }

    void Status(const std::string& text)
    {
        if (quiet_ || !tty_)
            return;
        std::size_t width = kMaxStatusWidth;
        winsize ws{};
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1)
            width = std::min<std::size_t>(width, ws.ws_col - 1u);
        std::fprintf(stderr, "\r%s\033[K", text.substr(0, width).c_str());
        std::fflush(stderr);
        statusShown_ = true;
    }

    // Says how many notices were left out, once their minute has passed.
    void Tick()
    {
        const auto nowMs = static_cast<std::uint64_t>(NowNs() / kMs);
        if (const std::uint64_t left = limit_.LeftOut(nowMs))
            LeftOutLine(left);
    }

    void End()
    {
        if (statusShown_)
            std::fputc('\n', stderr);
        statusShown_ = false;
    }

private:
    // A server that fails in a loop must not fill the journal.
    void Limited(const std::string& text)
    {
        const auto nowMs = static_cast<std::uint64_t>(NowNs() / kMs);
        if (const std::uint64_t left = limit_.LeftOut(nowMs))
            LeftOutLine(left);
        if (limit_.Allow(nowMs))
            Line(text);
    }

    void LeftOutLine(std::uint64_t left)
    {
        Line(std::to_string(left) + (left == 1 ? " notice" : " notices") + " left out in the last minute (at most " +
             std::to_string(kNoticesPerMinute) + " a minute)");
    }

    void Line(const std::string& text)
    {
        if (statusShown_)
            std::fputs("\r\033[K", stderr);
        statusShown_ = false;
        std::fprintf(stderr, "vxbridge: %s\n", text.c_str());
        std::fflush(stderr);
    }

    bool quiet_;
    bool tty_;
    bool statusShown_ = false;
    TNoticeLimit limit_;
};

class TBridge {
public:
    TBridge(const TBridgeOptions& options, TReporter& reporter) : o_(options), rep_(reporter) {}

    // Sets up the outputs; false (after the message) when one cannot be.
    bool Open()
    {
        try {
            auto notify = [this](const std::string& text) { rep_.Notice(text); };
            osc_ = std::make_unique<TOscOutput>(o_.Osc, o_.OscPrefix, notify);
            if (o_.Os2l) {
                os2l_ = std::make_unique<TOs2lClient>(notify);
                if (o_.Os2lServer)
                    os2l_->SetServer(ResolveOs2lServer(*o_.Os2lServer));
                else
                    browser_ = std::make_unique<TOs2lBrowser>(notify);
            }
        } catch (const EBridgeSetup& e) {
            rep_.Error(e.what());
            return false;
        }
        return true;
    }

    int Run()
    {
        std::int64_t deadline = NowNs();
        std::int64_t nextSecond = deadline;
        std::int64_t nextService = deadline;
        std::int64_t nextLevels = deadline;
        const std::int64_t levelPeriod = o_.Rate > 0 ? kSecond / o_.Rate : 0;
        while (g_stopSignal.load(std::memory_order_relaxed) == 0) {
            const std::int64_t now = NowNs();
            FollowSegment();
            if (map_)
                PollRecord(now);
            if (releaseAt_ && now >= *releaseAt_) {
                osc_->Release();
                releaseAt_.reset();
            }
            if (map_ && levelPeriod > 0 && !osc_->Empty() && now >= nextLevels) {
                nextLevels = std::max(nextLevels + levelPeriod, now);
                const TLevels levels = ReadLevels(*map_);
                const auto changed = levelChanges_.Update(levels);
                if (changed.Any())
                    osc_->Levels(levels, changed);
            }
            if (now >= nextService) {
                nextService = now + kServiceNs;
                ServiceOs2l(now);
            }
            if (now >= nextSecond) {
                nextSecond = now + kSecond;
                EverySecond();
            }
            const std::int64_t step = map_ && lastActive_ == 1 ? kPollNs : kIdlePollNs;
            deadline += step;
            if (deadline <= now)
                deadline = now + step;
            SleepUntil(deadline);
        }
        if (releaseAt_)
            osc_->Release();  // no button left pressed
        Unmap();
        rep_.End();
        return kExitOk;
    }

private:
    void PollRecord(std::int64_t now)
    {
        // A trig seen now was set at most this long ago.
        const std::int64_t unseenNs = lastPollNs_ ? now - *lastPollNs_ : std::numeric_limits<std::int64_t>::max();
        lastPollNs_ = now;
        SoundMapRecord& record = *map_;
        beats_.Advance(VxPlatform::TickCount());
        const int active = record.AnalyzerActive() != 0 ? 1 : 0;
        if (active != lastActive_) {
            osc_->Active(active);
            if (active == 1) {
                // A new analyzer run: its tempo starts afresh, as in the analyzer.
                beats_.ResetTempo(VxPlatform::TickCount());
                rep_.Notice("the analyzer is active");
            } else {
                rep_.Notice("the analyzer is inactive: no beats until it runs again");
            }
            lastActive_ = active;
        }
        if (active == 1 && record.Trig() == 1) {
            record.SetTrig(0);
            const auto unseenMs = static_cast<std::uint32_t>(std::min<std::int64_t>(unseenNs / kMs, UINT32_MAX));
            const TBeat beat = beats_.Take(VxPlatform::TickCount(), record.Level(), unseenMs);
            if (releaseAt_)
                osc_->Release();  // every press has its release, in order
            osc_->Beat(beat);
            releaseAt_ = now + o_.PulseMs * kMs;
            if (os2l_)
                os2l_->Send(Os2lBeatJson(beat), now,
                            beat.Bpm > 0.0f ? static_cast<std::int64_t>(60.0 * kSecond / beat.Bpm) : kSecond);
        }
    }

    void ServiceOs2l(std::int64_t now)
    {
        if (browser_) {
            browser_->Service(now);
            os2l_->SetServer(browser_->First());
        }
        if (os2l_)
            os2l_->Service(now);
    }

    void EverySecond()
    {
        osc_->Active(map_ && lastActive_ == 1 ? 1 : 0);
        TStatus s;
        s.Segment = o_.Segment;
        s.State = !map_ ? TStatus::EState::Waiting
                        : lastActive_ == 1 ? TStatus::EState::Active : TStatus::EState::Inactive;
        std::string outputs = osc_->StateText();
        if (os2l_)
            outputs += (outputs.empty() ? "" : "; ") + os2l_->StateText();
        s.Outputs = outputs;
        s.Beats = beats_.Count();
        // The tracker's own state: the lock may have timed out since the last beat.
        const float bpm = Bpm.load(std::memory_order_relaxed);
        s.Bpm = std::isfinite(bpm) ? bpm : 0.0f;
        s.Locked = BpmLocked.load(std::memory_order_relaxed);
        rep_.Tick();
        rep_.Status(StatusLine(s));
    }

    // Follows the name to the segment that bears it now; without a whole
    // segment the analyzer is gone for the bridge.
    void FollowSegment()
    {
        if (!segment_)
            segment_ = MakeHostSegment(o_.Segment, [this](const std::string& text) { rep_.Notice(text); });
        SoundMapRecord* record = segment_->Follow();
        if (record == map_)
            return;
        if (record == nullptr && lastActive_ == 1)
            osc_->Active(0);
        map_ = record;
        lastActive_ = -1;
        lastPollNs_.reset();
        levelChanges_.Forget();
    }

    void Unmap()
    {
        map_ = nullptr;
        segment_.reset();
    }

    const TBridgeOptions& o_;
    TReporter& rep_;
    std::unique_ptr<TOscOutput> osc_;
    std::unique_ptr<TOs2lClient> os2l_;
    std::unique_ptr<TOs2lBrowser> browser_;
    std::unique_ptr<IHostSegment> segment_;
    SoundMapRecord* map_ = nullptr;  // the record while a whole segment is mapped
    TBeatCounter beats_;
    TLevelChanges levelChanges_;
    std::optional<std::int64_t> releaseAt_;
    std::optional<std::int64_t> lastPollNs_;  // none since mapping
    int lastActive_ = -1;  // -1: not read since mapping
};

}  // namespace

int RunBridge(const TBridgeOptions& options)
{
    InstallSignals();
    TReporter reporter(options.Quiet);
    TBridge bridge(options, reporter);
    if (!bridge.Open())
        return kExitUsage;
    return bridge.Run();
}

int VxBridgeMain(const std::vector<std::string>& args)
{
    const char* env = std::getenv("VX_SEGMENT_NAME");
    const std::string segment = env != nullptr && *env != '\0' ? env : kSoundMapName;
    TBridgeOptions options;
    switch (ParseBridgeOptions(args, segment, options, std::cout, std::cerr)) {
    case vxtools::EParseOutcome::Done:
        return kExitOk;
    case vxtools::EParseOutcome::UsageError:
        return kExitUsage;
    case vxtools::EParseOutcome::Run:
        break;
    }
    return RunBridge(options);
}

}  // namespace vxbridge
