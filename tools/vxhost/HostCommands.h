// The vxhost command line: global options, then one subcommand. Each
// subcommand is an entry of the command table, so new ones (closing the
// analyzer, receiving forwarded keys) only add an entry.
#pragma once

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ToolOptions.h"

namespace vxhost {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // segment errors and other run-time failures
inline constexpr int kExitUsage = 2;    // bad command line, nothing done

struct GlobalOptions {
    std::string segment;  // without the leading slash
};

using CommandFunction = int (*)(const GlobalOptions&, std::span<const std::string> args, std::ostream& out,
                                std::ostream& err);

struct Command {
    std::string_view name;
    std::string_view summary;
    CommandFunction run;
    vxtools::TToolOptions (*options)();  // its options and help text
};

std::span<const Command> Commands();

// The system's part (linux/ and windows/HostSystem.cpp). How the system
// names and makes the segment, for messages and help:
struct SegmentWording {
    std::string_view prefix;      // before the name in messages
    std::string_view record;      // the record, in the general help
    std::string_view optionHelp;  // --segment
};
const SegmentWording& SystemSegmentWording();
// Lets the terminal act on the watch's escape codes (Windows' console
// needs to be told).
void EnableEscapeCodes();

// Parses a command's own arguments. Nullopt: go on and run it; otherwise
// the exit status to end with (help shown, or a usage error reported).
std::optional<int> ParseCommand(vxtools::TToolOptions& options, std::span<const std::string> args,
                                std::ostream& out, std::ostream& err);

// The whole tool: `args` excludes the program name.
int RunVxHost(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace vxhost
