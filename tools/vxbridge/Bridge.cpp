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

// Without SA_RESTART, so that the sleep ends at once.
void InstallSignals()
{
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
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
            Line(text);
    }
    void Error(const std::string& text) { Line(text); }

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

    void End()
    {
        if (statusShown_)
            std::fputc('\n', stderr);
        statusShown_ = false;
    }

private:
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
};

class TBridge {
public:
    TBridge(const TBridgeOptions& options, TReporter& reporter) : o_(options), rep_(reporter) {}

    // Sets up the outputs; false (after the message) when one cannot be.
    bool Open()
    {
        try {
            osc_ = std::make_unique<TOscOutput>(o_.Osc, o_.OscPrefix);
            if (o_.Os2l) {
                auto notify = [this](const std::string& text) { rep_.Notice(text); };
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
            const TBeat beat = beats_.Take(VxPlatform::TickCount(), record.Level());
            if (releaseAt_)
                osc_->Release();  // every press has its release, in order
            osc_->Beat(beat);
            releaseAt_ = now + o_.PulseMs * kMs;
            if (os2l_)
                os2l_->Send(Os2lBeatJson(beat), now);
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
        std::string outputs;
        for (const auto& t : o_.Osc)
            outputs += (outputs.empty() ? "osc " : ", ") + t.Text();
        if (os2l_)
            outputs += (outputs.empty() ? "" : "; ") + os2l_->StateText();
        s.Outputs = outputs;
        s.Beats = beats_.Count();
        // The tracker's own state: the lock may have timed out since the last beat.
        const float bpm = Bpm.load(std::memory_order_relaxed);
        s.Bpm = std::isfinite(bpm) ? bpm : 0.0f;
        s.Locked = BpmLocked.load(std::memory_order_relaxed);
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
