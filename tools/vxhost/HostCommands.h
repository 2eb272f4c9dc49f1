// The vxhost command line: global options, then one subcommand. Each
// subcommand is an entry of the command table, so new ones (closing the
// analyzer, receiving forwarded keys) only add an entry.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

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
    std::string (*help)();
};

std::span<const Command> Commands();

// The whole tool: `args` excludes the program name.
int RunVxHost(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace vxhost
