// vx_bridge_latency: how fast vxbridge passes a beat on, and what it costs
// while it waits.
//
// Latency: the benchmark makes a record of its own, marks the analyzer
// active and, as the analysis does on a trig, writes Trig = 1; it times
// until the bridge's OSC press (/vx/beat 1.0) arrives at a UDP socket.
// Beats follow each other after 3 to 8 ms (random), so that they fall at
// every phase of the bridge's 1 ms poll. The bridge runs with
// --pulse-ms 1 --rate 0: the release has gone out before the next beat and
// no level messages share the socket.
//
// CPU (with --cpu-segment NAME): a bridge on the segment of a running
// analyzer, sending to a socket here at the default level rate, for
// --cpu-seconds (30); utime + stime from /proc/PID/stat as a share of one
// core. Beside it, over the same time, a process that only sleeps to the
// next millisecond: what a 1 ms poll costs on this machine by itself.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <poll.h>
#include <spawn.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "SharedMap.h"

extern char** environ;

namespace {

constexpr double kTargetMedianMs = 1.5;
constexpr double kTargetWorstMs = 3.0;
constexpr double kTargetCpuPct = 0.5;
constexpr int kBeatTimeoutMs = 200;

struct TOptions {
    std::string Bridge;
    int Beats = 1000;
    std::string CpuSegment;
    int CpuSeconds = 30;
};

void Usage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: vx_bridge_latency [--beats N] [--cpu-segment NAME [--cpu-seconds S]] [--bridge PATH]\n"
                 "\n"
                 "Times vxbridge from Trig = 1 written into a record of its own to the OSC press\n"
                 "arriving at a UDP socket (median and worst of N beats, default 1000); with\n"
                 "--cpu-segment, also the CPU share of a bridge idling on the segment of a running\n"
                 "analyzer for S seconds (default 30). --bridge: the program (default: vxbridge\n"
                 "beside this one).\n"
                 "\n"
                 "Exit status: 0 every target met, 1 failure, 2 bad command line, 3 a target missed.\n");
}

int ParseOptions(int argc, char** argv, TOptions& o)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string path(self, static_cast<std::size_t>(n));
        o.Bridge = path.substr(0, path.rfind('/') + 1) + "vxbridge";
    }
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 1;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vx_bridge_latency: %s needs a value (see --help)\n", a.c_str());
            return 2;
        }
        const std::string v = argv[++i];
        if (a == "--bridge")
            o.Bridge = v;
        else if (a == "--cpu-segment")
            o.CpuSegment = v;
        else if (a == "--beats" || a == "--cpu-seconds") {
            char* end = nullptr;
            const long x = std::strtol(v.c_str(), &end, 10);
            if (end == v.c_str() || *end != '\0' || x < 1 || x > 100000) {
                std::fprintf(stderr, "vx_bridge_latency: bad value for %s: %s\n", a.c_str(), v.c_str());
                return 2;
            }
            (a == "--beats" ? o.Beats : o.CpuSeconds) = static_cast<int>(x);
        } else {
            std::fprintf(stderr, "vx_bridge_latency: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    return 0;
}

// A UDP socket on 127.0.0.1 with a port of its own.
class TReceiver {
public:
    TReceiver()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~TReceiver() { ::close(fd_); }
    int Port() const { return port_; }

    // The next packet's OSC address and first float (NaN if none); false
    // after timeoutMs.
    bool Next(int timeoutMs, std::string& address, float& value)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buf[1500];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        const std::size_t size = static_cast<std::size_t>(n);
        address.assign(buf, strnlen(buf, size));
        value = NAN;
        const std::size_t tags = (address.size() + 4) & ~std::size_t{3};
        if (tags + 8 <= size && std::memcmp(buf + tags, ",f\0\0", 4) == 0) {
            std::uint32_t bits = 0;
            std::memcpy(&bits, buf + tags + 4, 4);
            bits = ntohl(bits);
            std::memcpy(&value, &bits, 4);
        }
        return true;
    }

    void Drain()
    {
        char buf[1500];
        while (::recv(fd_, buf, sizeof buf, MSG_DONTWAIT) > 0) {
        }
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// utime + stime of a process in clock ticks, -1 if unreadable.
long long CpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::vector<std::string> f;
    for (std::string w; fields >> w;)
        f.push_back(w);
    return f.size() > 12 ? std::stoll(f[11]) + std::stoll(f[12]) : -1;
}

// For comparison: a process that does nothing but sleep to the next
// millisecond, the least any 1 ms poll costs on this machine.
class TBareLoop {
public:
    TBareLoop()
    {
        pid_ = fork();
        if (pid_ == 0) {
            std::int64_t next = NowNs();
            for (;;) {
                next += 1'000'000;
                timespec ts{};
                ts.tv_sec = static_cast<time_t>(next / 1000000000);
                ts.tv_nsec = static_cast<long>(next % 1000000000);
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
            }
        }
    }
    ~TBareLoop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

class TBridgeProcess {
public:
    TBridgeProcess(const std::string& path, const std::vector<std::string>& args)
    {
        std::vector<std::string> all{path};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
    }
    ~TBridgeProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Waits for the bridge's first /vx/active: it is mapped and polling.
bool WaitReady(TReceiver& receiver)
{
    std::string address;
    float value = 0;
    const std::int64_t until = NowNs() + 10'000'000'000;
    while (NowNs() < until)
        if (receiver.Next(100, address, value) && address == "/vx/active")
            return true;
    return false;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

const char* Verdict(double value, double target)
{
    return value <= target ? "PASS" : "FAIL";
}

}  // namespace

int main(int argc, char** argv)
{
    TOptions o;
    if (const int r = ParseOptions(argc, argv, o); r != 0)
        return r == 1 ? 0 : r;
    if (access(o.Bridge.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "vx_bridge_latency: no program %s (build vxbridge, or give --bridge)\n", o.Bridge.c_str());
        return 1;
    }
    bool met = true;

    // --- latency -----------------------------------------------------------------
    const std::string segment = "VXBENCH_BRIDGE_" + std::to_string(getpid());
    shm_unlink(("/" + segment).c_str());
    std::vector<double> latencies;
    int missed = 0;
    {
        TSharedMap map(PlatformSharedMemory(), segment);
        SoundMapRecord& record = *map.Data;
        record.SetTrig(0);
        record.SetAnalyzerActive(1);
        TReceiver receiver;
        TBridgeProcess bridge(o.Bridge, {"--segment", segment, "--osc", "127.0.0.1:" + std::to_string(receiver.Port()),
                                         "--pulse-ms", "1", "--rate", "0", "--quiet"});
        if (bridge.Pid() <= 0 || !WaitReady(receiver)) {
            std::fprintf(stderr, "vx_bridge_latency: the bridge did not start\n");
            shm_unlink(("/" + segment).c_str());
            return 1;
        }
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> gapUs(3000, 8000);
        for (int i = 0; i < o.Beats; ++i) {
            SleepUntilNs(NowNs() + gapUs(random) * 1000LL);
            receiver.Drain();
            const std::int64_t t0 = NowNs();
            record.SetTrig(1);
            std::string address;
            float value = 0;
            bool got = false;
            while (!got && NowNs() - t0 < kBeatTimeoutMs * 1'000'000LL)
                got = receiver.Next(kBeatTimeoutMs, address, value) && address == "/vx/beat" && value == 1.0f;
            if (!got) {
                ++missed;
                record.SetTrig(0);
                continue;
            }
            latencies.push_back(static_cast<double>(NowNs() - t0) / 1e6);
        }
    }
    shm_unlink(("/" + segment).c_str());
    if (latencies.empty()) {
        std::fprintf(stderr, "vx_bridge_latency: no beat arrived\n");
        return 1;
    }
    const double median = Median(latencies);
    const double worst = *std::max_element(latencies.begin(), latencies.end());
    std::sort(latencies.begin(), latencies.end());
    const double p99 = latencies[latencies.size() * 99 / 100];
    met = met && median <= kTargetMedianMs && worst <= kTargetWorstMs && missed == 0;

    std::printf("%-44s %10s  %-10s %s\n", "figure", "measured", "target", "result");
    std::printf("%-44s %10.3f  %-10s %s\n", ("Trig = 1 to OSC press, median of " + std::to_string(o.Beats) + ", ms").c_str(),
                median, "<= 1.5", Verdict(median, kTargetMedianMs));
    std::printf("%-44s %10.3f  %-10s %s\n", "Trig = 1 to OSC press, worst, ms", worst, "<= 3", Verdict(worst, kTargetWorstMs));
    std::printf("%-44s %10.3f\n", "Trig = 1 to OSC press, 99th percentile, ms", p99);
    std::printf("%-44s %10d  %-10s %s\n", "beats that never arrived", missed, "0", missed == 0 ? "PASS" : "FAIL");

    // --- CPU while idling on a running analyzer ----------------------------------------
    if (!o.CpuSegment.empty()) {
        if (!SharedSegmentExists(o.CpuSegment)) {
            std::fprintf(stderr, "vx_bridge_latency: no segment %s; is the analyzer running?\n", o.CpuSegment.c_str());
            return 1;
        }
        TReceiver receiver;
        TBridgeProcess bridge(o.Bridge, {"--segment", o.CpuSegment, "--osc",
                                         "127.0.0.1:" + std::to_string(receiver.Port()), "--quiet"});
        if (bridge.Pid() <= 0 || !WaitReady(receiver)) {
            std::fprintf(stderr, "vx_bridge_latency: the bridge did not start on %s\n", o.CpuSegment.c_str());
            return 1;
        }
        TBareLoop bare;
        const long long t0 = CpuTicks(bridge.Pid());
        const long long b0 = CpuTicks(bare.Pid());
        const std::int64_t w0 = NowNs();
        int packets = 0;
        std::string address;
        float value = 0;
        while (NowNs() - w0 < o.CpuSeconds * 1'000'000'000LL)
            packets += receiver.Next(100, address, value) ? 1 : 0;
        const long long t1 = CpuTicks(bridge.Pid());
        const long long b1 = CpuTicks(bare.Pid());
        const double seconds = static_cast<double>(NowNs() - w0) / 1e9;
        const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
        const double pct = 100.0 * static_cast<double>(t1 - t0) / hz / seconds;
        const double barePct = 100.0 * static_cast<double>(b1 - b0) / hz / seconds;
        if (t0 < 0 || t1 < 0 || b0 < 0 || b1 < 0) {
            std::fprintf(stderr, "vx_bridge_latency: cannot read the bridge's CPU time\n");
            return 1;
        }
        met = met && pct <= kTargetCpuPct;
        std::printf("%-44s %10.2f  %-10s %s\n", ("CPU idling on the analyzer, " + std::to_string(o.CpuSeconds) + " s, %").c_str(),
                    pct, "<= 0.5", Verdict(pct, kTargetCpuPct));
        std::printf("%-44s %10.2f  %-10s\n", "CPU of a bare 1 ms sleep loop, same time, %", barePct, "(floor)");
        std::printf("%-44s %10d\n", "OSC packets received meanwhile", packets);
    }
    return met ? 0 : 3;
}
