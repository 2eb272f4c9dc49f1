#include "HostCommands.h"

#include <csignal>

#include <array>
#include <atomic>
#include <chrono>
#include <charconv>
#include <ostream>
#include <thread>

#include "HostClose.h"
#include "HostFields.h"
#include "HostKeys.h"
#include "HostWatch.h"
#include "SharedMap.h"

namespace vxhost {

namespace {

constexpr std::string_view kGlobalOptionsHelp =
    "Global options (before the command):\n"
    "  --segment NAME   map the segment NAME (POSIX shared memory /NAME) instead\n"
    "                   of " VXSM_NAME "; lets tests run beside a live analyzer\n"
    "  -h, --help       help; 'vxhost COMMAND --help' for one command\n";

bool IsHelp(std::string_view arg)
{
    return arg == "--help" || arg == "-h";
}

// Maps the segment as a host does (create-or-open, 2431 bytes, 0600) and
// runs `body` on the record. Every segment failure is reported with its
// own text and gives exit status 1.
template <typename Body>
int WithRecord(const GlobalOptions& options, std::ostream& err, Body&& body)
{
    try {
        TSharedMap map(PosixSharedMemory(), options.segment);
        if (map.Data == nullptr) {
            err << "vxhost: segment " << options.segment << " is not mapped\n";
            return kExitFailure;
        }
        const int status = body(*map.Data);
        map.Destroy();
        return status;
    } catch (const ESharedMemoryError& e) {
        err << "vxhost: " << e.what() << " (segment /" << options.segment;
        if (std::string_view(e.what()) == kMapViewError)
            err << ": cannot be mapped, or is smaller than " << VXSM_SIZE << " bytes";
        err << ")\n";
        return kExitFailure;
    }
}

// ----- dump ------------------------------------------------------------

std::string DumpHelp()
{
    return "Usage: vxhost [--segment NAME] dump [--json]\n"
           "\n"
           "Prints every field of the record: one 'Name = value' line each, arrays\n"
           "as [..] with their 16 used entries (EqualizerColor: 15). Floats are\n"
           "printed so that they read back exactly; GainText is quoted with C escapes.\n"
           "\n"
           "  --json   one JSON object instead; arrays as JSON arrays, non-finite\n"
           "           floats as null, GainText bytes read as Latin-1\n"
           "\n"
           "The segment is created (all zero) if it does not exist, as a host does.\n";
}

int RunDump(const GlobalOptions& options, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    bool json = false;
    for (const std::string& arg : args) {
        if (IsHelp(arg)) {
            out << DumpHelp();
            return kExitOk;
        }
        if (arg == "--json") {
            json = true;
            continue;
        }
        err << "vxhost dump: unknown argument '" << arg << "' (try 'vxhost dump --help')\n";
        return kExitUsage;
    }
    return WithRecord(options, err, [&](const SoundMapRecord& record) {
        out << (json ? DumpJson(record) : DumpText(record)) << std::flush;
        return out ? kExitOk : kExitFailure;
    });
}

// ----- set -------------------------------------------------------------

std::string SetHelp()
{
    std::string text =
        "Usage: vxhost [--segment NAME] set NAME=VALUE ...\n"
        "\n"
        "Writes settings fields as a host does, e.g.\n"
        "  vxhost set UseFFT=1 EqualizerBand[3]=64 EqualizerColor[0]=2 NoiseLevelValue=500\n"
        "\n"
        "Names match without regard to case. Values are decimal with an optional\n"
        "sign, or 0x hex; hex is a number, not a bit pattern (write -1, not 0xFF).\n"
        "Every assignment is checked first: if any is wrong, nothing is written.\n"
        "Out-of-range settings inside a field's type (ShowInput=7, UseFFT=7) are\n"
        "written as given: the analyzer's synchronisation decides what they do.\n"
        "\n"
        "Writable fields:\n";
    for (const FieldInfo& f : Fields()) {
        if (!f.hostWritable)
            continue;
        std::string name(f.name);
        if (f.entries > 0)
            name += "[0.." + std::to_string(f.entries - 1) + "]";
        text += "  " + name + std::string(name.size() < 22 ? 22 - name.size() : 1, ' ') +
                std::to_string(f.minValue) + ".." + std::to_string(f.maxValue) + "\n";
    }
    text += "\nMeasurements (read-only for a host):";
    for (const FieldInfo& f : Fields())
        if (!f.hostWritable)
            text.append(" ").append(f.name); // not " " + std::string: -Wrestrict at -O3
    return text + "\n";
}

int RunSet(const GlobalOptions& options, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    for (const std::string& arg : args)
        if (IsHelp(arg)) {
            out << SetHelp();
            return kExitOk;
        }
    if (args.empty()) {
        err << "vxhost set: nothing to set (try 'vxhost set --help')\n";
        return kExitUsage;
    }
    // Validated before the segment is even opened: a bad command line
    // neither writes nor creates anything.
    const ParseResult parsed = ParseAssignments(args);
    if (!parsed.Ok()) {
        for (const std::string& e : parsed.errors)
            err << "vxhost set: " << e << "\n";
        err << "vxhost set: nothing written\n";
        return kExitUsage;
    }
    return WithRecord(options, err, [&](SoundMapRecord& record) {
        for (const Assignment& a : parsed.assignments)
            Apply(record, a);
        return kExitOk;
    });
}

// ----- watch -----------------------------------------------------------

std::atomic<bool> gStopWatch{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnStopSignal(int)
{
    gStopWatch.store(true, std::memory_order_relaxed);
}

// Restores the previous handlers however the view ends.
class StopSignals {
public:
    StopSignals()
    {
        struct sigaction sa {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &oldInt_);
        sigaction(SIGTERM, &sa, &oldTerm_);
    }
    ~StopSignals()
    {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

std::string WatchHelp()
{
    return "Usage: vxhost [--segment NAME] watch [--plain] [--count N]\n"
           "\n"
           "Live view of the measurements, redrawn 10 times a second: Level, the 16\n"
           "band levels as bars, Clipping, AnalyzerActive and the number of trigs\n"
           "taken. Trig is polled every 10 ms; a trig (Trig = 1) is counted and\n"
           "cleared (Trig = 0), as a host takes it. Bars use a log scale,\n"
           "log10(1 + v) / log10(1 + full), full at 1000 for the bands and 32767 for\n"
           "the level; larger values fill the bar. Ctrl+C ends it (exit status 0).\n"
           "\n"
           "  --plain     no escape codes: one line per refresh\n"
           "  --count N   stop after N refreshes (N >= 1)\n";
}

int RunWatch(const GlobalOptions& options, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    bool plain = false;
    long count = 0;  // 0 = until stopped
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsHelp(arg)) {
            out << WatchHelp();
            return kExitOk;
        }
        if (arg == "--plain") {
            plain = true;
        } else if (arg == "--count") {
            long n = 0;
            const std::string* value = i + 1 < args.size() ? &args[++i] : nullptr;
            const char* end = value ? value->data() + value->size() : nullptr;
            if (value == nullptr || value->empty() || std::from_chars(value->data(), end, n).ptr != end || n < 1) {
                err << "vxhost watch: --count needs a whole number of at least 1\n";
                return kExitUsage;
            }
            count = n;
        } else {
            err << "vxhost watch: unknown argument '" << arg << "' (try 'vxhost watch --help')\n";
            return kExitUsage;
        }
    }

    return WithRecord(options, err, [&](SoundMapRecord& record) {
        using namespace std::chrono;
        constexpr auto kPoll = milliseconds(10);
        constexpr int kPollsPerRefresh = 10;  // 100 ms

        gStopWatch.store(false, std::memory_order_relaxed);
        const StopSignals signals;
        long trigs = 0;
        long refreshes = 0;
        auto next = steady_clock::now();
        for (int poll = 0; !gStopWatch.load(std::memory_order_relaxed); ++poll) {
            if (TakeTrig(record))
                ++trigs;
            if (poll % kPollsPerRefresh == 0) {
                out << WatchFrame(record, trigs, plain, options.segment) << std::flush;
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
    });
}

// ----- help ------------------------------------------------------------

std::string GeneralHelp();

std::string HelpHelp()
{
    return "Usage: vxhost help [COMMAND]\n";
}

int RunHelp(const GlobalOptions&, std::span<const std::string> args, std::ostream& out, std::ostream& err);

const std::array kCommands{
    Command{"dump", "print every field of the record", RunDump, DumpHelp},
    Command{"set", "write settings fields (NAME=VALUE ...)", RunSet, SetHelp},
    Command{"watch", "live view of the measurements; takes trigs", RunWatch, WatchHelp},
    Command{"close", "ask the analyzer to close, as the host does", RunClose, CloseHelp},
    Command{"keys", "be the host window; print the keys forwarded to it", RunKeys, KeysHelp},
    Command{"help", "help for vxhost or one command", RunHelp, HelpHelp},
};

const Command* FindCommand(std::string_view name)
{
    for (const Command& c : kCommands)
        if (c.name == name)
            return &c;
    return nullptr;
}

std::string GeneralHelp()
{
    std::string text =
        "Usage: vxhost [--segment NAME] COMMAND [ARGS...]\n"
        "\n"
        "Stands in for the lighting host: maps the shared sound map record " VXSM_NAME "\n"
        "(creating it, 2431 bytes, mode 0600, if it does not exist yet) and reads\n"
        "or writes it exactly as a host does.\n"
        "\n"
        "Commands:\n";
    for (const Command& c : kCommands)
        text += "  " + std::string(c.name) + std::string(8 - c.name.size(), ' ') + std::string(c.summary) + "\n";
    text += "\n";
    text += kGlobalOptionsHelp;
    text += "\nExit status: 0 success, 1 segment or run-time failure, 2 bad command line.\n";
    return text;
}

int RunHelp(const GlobalOptions&, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    if (args.empty()) {
        out << GeneralHelp();
        return kExitOk;
    }
    if (const Command* c = FindCommand(args[0]); c != nullptr && args.size() == 1) {
        out << c->help();
        return kExitOk;
    }
    err << "vxhost help: no command '" << args[0] << "'\n";
    return kExitUsage;
}

// A shared-memory name is one path component.
bool ValidSegmentName(std::string_view name)
{
    return !name.empty() && name.size() <= 200 && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos && name != "." && name != "..";
}

}  // namespace

std::span<const Command> Commands()
{
    return kCommands;
}

int RunVxHost(std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    GlobalOptions options{VXSM_NAME};
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsHelp(arg)) {
            out << GeneralHelp();
            return kExitOk;
        }
        std::string_view segment;
        if (arg == "--segment") {
            if (i + 1 >= args.size()) {
                err << "vxhost: --segment needs a name\n";
                return kExitUsage;
            }
            segment = args[++i];
        } else if (arg.starts_with("--segment=")) {
            segment = std::string_view(arg).substr(10);
        } else if (arg.starts_with("-")) {
            err << "vxhost: unknown option '" << arg << "' (try 'vxhost --help')\n";
            return kExitUsage;
        } else {
            break;
        }
        if (!ValidSegmentName(segment)) {
            err << "vxhost: bad segment name '" << segment << "' (one name, no '/')\n";
            return kExitUsage;
        }
        options.segment = std::string(segment);
    }
    if (i >= args.size()) {
        err << GeneralHelp();
        return kExitUsage;
    }
    const Command* command = FindCommand(args[i]);
    if (command == nullptr) {
        err << "vxhost: unknown command '" << args[i] << "' (try 'vxhost --help')\n";
        return kExitUsage;
    }
    return command->run(options, args.subspan(i + 1), out, err);
}

}  // namespace vxhost
