#include "HostCommands.h"

#include <cstdlib>

#include <array>
#include <ostream>

#include "HostClose.h"
#include "HostFields.h"
#include "HostKeys.h"
#include "HostWatch.h"
#include "SegmentWatch.h"
#include "SharedMap.h"

namespace vxhost {

namespace {

std::string Program(std::string_view command)
{
    return std::string("vxhost ").append(command);
}

// Maps the segment as a host does (create-or-open, 2431 bytes) and
// runs `body` on the record. Every segment failure is reported with its
// own text and gives exit status 1.
template <typename Body>
int WithRecord(const GlobalOptions& options, std::ostream& err, Body&& body)
{
    try {
        TSharedMap map(PlatformSharedMemory(), options.segment);
        if (map.Data == nullptr) {
            err << "vxhost: segment " << options.segment << " is not mapped\n";
            return kExitFailure;
        }
        const int status = body(*map.Data);
        map.Destroy();
        return status;
    } catch (const ESharedMemoryError& e) {
        err << "vxhost: " << e.what() << " (segment " << SystemSegmentWording().prefix << options.segment;
        if (const std::string why = SegmentProblem(); !why.empty())
            err << " " << why;
        else if (std::string_view(e.what()) == kMapViewError)
            err << ": cannot be mapped, or is smaller than " << VXSM_SIZE << " bytes";
        err << ")\n";
        return kExitFailure;
    }
}

// ----- dump ------------------------------------------------------------

vxtools::TToolOptions DumpOptions()
{
    vxtools::TToolOptions options(
        Program("dump"), "[--json]",
        "Prints every field of the record: one 'Name = value' line each, arrays\n"
        "as [..] with their 16 used entries (EqualizerColor: 15). Floats are\n"
        "printed so that they read back exactly; GainText is quoted with C escapes.");
    options
        .Add({"json", 0, "",
              "one JSON object instead; arrays as JSON\narrays, non-finite floats as null,\n"
              "GainText bytes read as Latin-1"})
        .Positionals(0, 0)
        .WithoutVersion()
        .Epilogue("The segment is created (all zero) if it does not exist, as a host does.\n");
    return options;
}

int RunDump(const GlobalOptions& global, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    vxtools::TToolOptions options = DumpOptions();
    if (const auto status = ParseCommand(options, args, out, err))
        return *status;
    const bool json = options.Has("json");
    return WithRecord(global, err, [&](const SoundMapRecord& record) {
        out << (json ? DumpJson(record) : DumpText(record)) << std::flush;
        return out ? kExitOk : kExitFailure;
    });
}

// ----- set -------------------------------------------------------------

vxtools::TToolOptions SetOptions()
{
    std::string fields = "Writable fields:\n";
    for (const FieldInfo& f : Fields()) {
        if (!f.hostWritable)
            continue;
        std::string name(f.name);
        if (f.entries > 0)
            name += "[0.." + std::to_string(f.entries - 1) + "]";
        fields += "  " + name + std::string(name.size() < 22 ? 22 - name.size() : 1, ' ') +
                  std::to_string(f.minValue) + ".." + std::to_string(f.maxValue) + "\n";
    }
    fields += "\nMeasurements (read-only for a host):";
    for (const FieldInfo& f : Fields())
        if (!f.hostWritable)
            fields.append(" ").append(f.name);
    vxtools::TToolOptions options(
        Program("set"), "NAME=VALUE ...",
        "Writes settings fields as a host does, e.g.\n"
        "  vxhost set UseFFT=1 EqualizerBand[3]=64 EqualizerColor[0]=2 NoiseLevelValue=500\n"
        "\n"
        "Names match without regard to case. Values are decimal with an optional\n"
        "sign, or 0x hex; hex is a number, not a bit pattern (write -1, not 0xFF).\n"
        "Every assignment is checked first: if any is wrong, nothing is written.\n"
        "Out-of-range settings inside a field's type (ShowInput=7, UseFFT=7) are\n"
        "written as given: the analyzer's synchronisation decides what they do.");
    options.WithoutVersion().Epilogue(fields + "\n");
    return options;
}

int RunSet(const GlobalOptions& global, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    vxtools::TToolOptions options = SetOptions();
    if (const auto status = ParseCommand(options, args, out, err))
        return *status;
    const std::vector<std::string>& assignments = options.PositionalArgs();
    if (assignments.empty())
        return options.UsageError(err, "nothing to set");
    // Validated before the segment is even opened: a bad command line
    // neither writes nor creates anything.
    const ParseResult parsed = ParseAssignments(assignments);
    if (!parsed.Ok()) {
        for (const std::string& e : parsed.errors)
            err << "vxhost set: " << e << "\n";
        err << "vxhost set: nothing written\n";
        return kExitUsage;
    }
    return WithRecord(global, err, [&](SoundMapRecord& record) {
        for (const Assignment& a : parsed.assignments)
            Apply(record, a);
        return kExitOk;
    });
}

// ----- watch -----------------------------------------------------------

vxtools::TToolOptions WatchOptions()
{
    vxtools::TToolOptions options(
        Program("watch"), "[--plain] [--count N]",
        "Live view of the measurements, redrawn 10 times a second: Level, the 16\n"
        "band levels as bars, Clipping, AnalyzerActive and the number of trigs\n"
        "taken. Trig is polled every 10 ms; a trig (Trig = 1) is counted and\n"
        "cleared (Trig = 0), as a host takes it. Bars use a log scale,\n"
        "log10(1 + v) / log10(1 + full), full at 1000 for the bands and 32767 for\n"
        "the level; larger values fill the bar. Ctrl+C ends it (exit status 0).");
    options.Add({"plain", 0, "", "no escape codes: one line per refresh"})
        .Add({"count", 0, "N", "stop after N refreshes (N >= 1)"})
        .Positionals(0, 0)
        .WithoutVersion();
    return options;
}

int RunWatch(const GlobalOptions& global, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    vxtools::TToolOptions options = WatchOptions();
    if (const auto status = ParseCommand(options, args, out, err))
        return *status;
    const bool plain = options.Has("plain");
    if (!plain)
        EnableEscapeCodes();
    long long count = 0;  // 0 = until stopped
    try {
        if (options.Has("count"))
            count = vxtools::TToolOptions::ParseInteger(options.Value("count"), "--count", 1, 1000000000);
    } catch (const vxtools::EToolUsage& e) {
        return options.UsageError(err, e.what());
    }

    // Made as a host makes it when nothing bears the name yet; from then
    // on the watch only follows the name, as every host should.
    if (!SharedSegmentExists(global.segment)) {
        if (const int status = WithRecord(global, err, [](SoundMapRecord&) { return kExitOk; }); status != kExitOk)
            return status;
    }
    return WatchRecord(global.segment, plain, count, out, err);
}

// ----- help ------------------------------------------------------------

vxtools::TToolOptions GeneralOptions();

vxtools::TToolOptions HelpOptions()
{
    vxtools::TToolOptions options(Program("help"), "[COMMAND]", "Help for vxhost or one of its commands.");
    options.Positionals(0, 1).WithoutVersion();
    return options;
}

int RunHelp(const GlobalOptions&, std::span<const std::string> args, std::ostream& out, std::ostream& err);

const std::array kCommands{
    Command{"dump", "print every field of the record", RunDump, DumpOptions},
    Command{"set", "write settings fields (NAME=VALUE ...)", RunSet, SetOptions},
    Command{"watch", "live view of the measurements; takes trigs", RunWatch, WatchOptions},
    Command{"close", "ask the analyzer to close, as the host does", RunClose, CloseOptions},
    Command{"keys", "be the host window; print the keys forwarded to it", RunKeys, KeysOptions},
    Command{"help", "help for vxhost or one command", RunHelp, HelpOptions},
};

const Command* FindCommand(std::string_view name)
{
    for (const Command& c : kCommands)
        if (c.name == name)
            return &c;
    return nullptr;
}

vxtools::TToolOptions GeneralOptions()
{
    std::string about =
        "Stands in for the lighting host: maps the shared sound map record\n" +
        std::string(SystemSegmentWording().record) +
        " and reads or writes it exactly as a host does.\n"
        "\n"
        "Commands:\n";
    for (const Command& c : kCommands)
        about += "  " + std::string(c.name) + std::string(8 - c.name.size(), ' ') + std::string(c.summary) + "\n";
    about.pop_back();
    vxtools::TToolOptions options("vxhost", "[--segment NAME] COMMAND [ARGS...]", about);
    options
        .Add({"segment", 0, "NAME", std::string(SystemSegmentWording().optionHelp)})
        .StopAtFirstPositional()
        .Epilogue("'vxhost COMMAND --help' shows the options of one command; they go after\n"
                  "the command, the options above before it.\n"
                  "\n"
                  "Exit status: 0 success, 1 segment or run-time failure, 2 bad command line.\n");
    return options;
}

int RunHelp(const GlobalOptions&, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    vxtools::TToolOptions options = HelpOptions();
    if (const auto status = ParseCommand(options, args, out, err))
        return *status;
    if (options.PositionalArgs().empty()) {
        out << GeneralOptions().HelpText();
        return kExitOk;
    }
    const std::string& name = options.PositionalArgs().front();
    if (const Command* c = FindCommand(name); c != nullptr) {
        out << c->options().HelpText();
        return kExitOk;
    }
    return options.UsageError(err, "no command '" + name + "'");
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

std::optional<int> ParseCommand(vxtools::TToolOptions& options, std::span<const std::string> args,
                                std::ostream& out, std::ostream& err)
{
    switch (options.Parse(std::vector<std::string>(args.begin(), args.end()), out, err)) {
    case vxtools::EParseOutcome::Run:
        return std::nullopt;
    case vxtools::EParseOutcome::Done:
        return kExitOk;
    case vxtools::EParseOutcome::UsageError:
        break;
    }
    return kExitUsage;
}

int RunVxHost(std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    vxtools::TToolOptions options = GeneralOptions();
    if (const auto status = ParseCommand(options, args, out, err))
        return *status;
    const std::vector<std::string>& rest = options.PositionalArgs();
    if (rest.empty()) {
        err << options.HelpText();
        return kExitUsage;
    }
    const Command* command = FindCommand(rest.front());
    if (command == nullptr)
        return options.UsageError(err, "unknown command '" + rest.front() + "'");

    // As the analyzer: the environment names the segment, --segment wins.
    GlobalOptions global{VXSM_NAME};
    std::string from = "--segment";
    if (options.Has("segment")) {
        global.segment = options.Value("segment");
    } else if (const char* env = std::getenv("VX_SEGMENT_NAME"); env != nullptr && *env != '\0') {
        global.segment = env;
        from = "VX_SEGMENT_NAME";
    }
    if (!ValidSegmentName(global.segment))
        return options.UsageError(err, "bad segment name '" + global.segment + "' in " + from + " (one name, no '/')");
    return command->run(global, std::span(rest).subspan(1), out, err);
}

}  // namespace vxhost
