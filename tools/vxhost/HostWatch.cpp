#include "HostWatch.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <thread>

#include "HostCommands.h"
#include "SegmentWatch.h"
#include "StopRequest.h"

namespace vxhost {

namespace {

std::string Number(float v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(v));
    return buf;
}

std::string Bar(double value, double fullScale)
{
    const int n = BarLength(value, fullScale, kBarWidth);
    // Built in place: GCC 12 at -O3 sees a false overlap (-Wrestrict) in
    // "literal" + std::string.
    std::string bar;
    bar.reserve(static_cast<std::size_t>(kBarWidth) + 2);
    bar += '|';
    bar.append(static_cast<std::size_t>(n), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - n), ' ');
    bar += '|';
    return bar;
}

std::string Padded(std::string s, std::size_t width)
{
    if (s.size() < width)
        s.insert(0, width - s.size(), ' ');
    return s;
}

}  // namespace

int BarLength(double value, double fullScale, int width)
{
    if (!(value > 0.0) || !(fullScale > 0.0) || width <= 0)
        return 0;
    if (value >= fullScale)
        return width;
    const double fraction = std::log10(1.0 + value) / std::log10(1.0 + fullScale);
    const int n = static_cast<int>(std::lround(fraction * width));
    return n < 0 ? 0 : (n > width ? width : n);
}

bool TakeTrig(SoundMapRecord& record)
{
    if (record.Trig() != 1)
        return false;
    record.SetTrig(0);
    return true;
}

std::string WatchFrame(const SoundMapRecord& record, long trigsTaken, bool plain, std::string_view segment)
{
    const float level = record.Level();
    std::string out;
    if (plain) {
        out = "level=" + Number(level) + " clipping=" + std::to_string(record.Clipping()) +
              " active=" + std::to_string(record.AnalyzerActive()) + " trigs=" + std::to_string(trigsTaken) +
              " bands=";
        for (int i = 0; i < SoundMapRecord::kUsedBands; ++i) {
            if (i > 0)
                out += ',';
            out += Number(record.BandLevel(i));
        }
        return out + "\n";
    }
    out = "\x1b[H\x1b[2J";
    out += "vxhost watch - segment " + std::string(segment) + " - Ctrl+C ends\n\n";
    out += "AnalyzerActive " + std::to_string(record.AnalyzerActive()) + "   Clipping " +
           std::to_string(record.Clipping()) + (record.Clipping() ? " CLIP" : "") + "   Trigs taken " +
           std::to_string(trigsTaken) + "\n\n";
    out += "Level    " + Padded(Number(level), 9) + " " + Bar(level, kLevelFullScale) + "\n\n";
    for (int i = 0; i < SoundMapRecord::kUsedBands; ++i) {
        const float v = record.BandLevel(i);
        out += "Band " + Padded(std::to_string(i), 2) + "  " + Padded(Number(v), 9) + " " + Bar(v, kBandFullScale) + "\n";
    }
    out += "\nBars: log scale, full at " + std::to_string(static_cast<int>(kBandFullScale)) + " (bands) and " +
           std::to_string(static_cast<int>(kLevelFullScale)) + " (level)\n";
    return out;
}

int WatchRecord(const std::string& name, bool plain, long long count, std::ostream& out, std::ostream& err)
{
    using namespace std::chrono;
    constexpr auto kPoll = milliseconds(10);
    constexpr int kPollsPerRefresh = 10;  // 100 ms

    const TStopRequest stop;
    const auto segment = MakeHostSegment(name, [&err](const std::string& text) {
        err << "vxhost watch: " << text << "\n" << std::flush;
    });
    const SoundMapRecord gone{};
    long trigs = 0;
    long long refreshes = 0;
    auto next = steady_clock::now();
    for (int poll = 0; !TStopRequest::Requested(); ++poll) {
        SoundMapRecord* record = segment->Follow();
        if (record != nullptr && TakeTrig(*record))
            ++trigs;
        if (poll % kPollsPerRefresh == 0) {
            out << WatchFrame(record != nullptr ? *record : gone, trigs, plain, name) << std::flush;
            if (!out)
                return kExitFailure;
            if (count > 0 && ++refreshes >= count)
                break;
        }
        next += kPoll;
        std::this_thread::sleep_until(next);
    }
    if (!plain)
        out << "\n" << std::flush;
    return kExitOk;
}

}  // namespace vxhost
