#pragma once
// One command-line convention for the project's tools: "--name value" and
// "--name=value", short "-x value", "--" ends the options, -h/--help and
// --version built in. Errors go to the error stream with a pointer to
// --help and exit status 2, as the tools document.

#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vxtools {

// The project's version, set by the build.
const char* ProjectVersion();

struct TOptionSpec {
    std::string name;          // long name without "--"
    char shortName = 0;        // 0: none
    std::string valueName;     // empty: a switch that takes no value
    std::string help;          // one line, or several separated by '\n'
    bool repeatable = false;
    // The value may be left out ("--os2l" or "--os2l HOST:PORT"): the next
    // argument is taken only when it does not begin with '-'; left out,
    // the value is empty.
    bool optionalValue = false;
};

enum class EParseOutcome {
    Run,        // parsed: go on
    Done,       // --help or --version printed: exit 0
    UsageError  // message printed: exit 2
};

class EToolUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TToolOptions {
public:
    // usage: the synopsis after the program name; about: the text under it.
    TToolOptions(std::string program, std::string usage, std::string about);

    TToolOptions& Add(TOptionSpec def);
    // Positionals are collected in order; at most maxPositionals (-1: any).
    TToolOptions& Positionals(int minCount, int maxCount);
    // Options after the first positional are left to the caller (a tool
    // with subcommands parses its own global options only).
    TToolOptions& StopAtFirstPositional();
    // A subcommand leaves --version to its tool.
    TToolOptions& WithoutVersion();
    // Text after the option list (exit status, examples).
    TToolOptions& Epilogue(std::string text);

    EParseOutcome Parse(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

    bool Has(const std::string& name) const;
    // The last value given, or fallback.
    std::string Value(const std::string& name, const std::string& fallback = {}) const;
    const std::vector<std::string>& Values(const std::string& name) const;
    const std::vector<std::string>& PositionalArgs() const { return positionals_; }

    std::string HelpText() const;
    // Writes "program: message" and the pointer to --help; returns 2.
    int UsageError(std::ostream& err, const std::string& message) const;

    // An integer option within [lo, hi]; throws EToolUsage naming the option.
    static long long ParseInteger(const std::string& text, const std::string& what, long long lo, long long hi);

private:
    const TOptionSpec* FindLong(const std::string& name) const;
    const TOptionSpec* FindShort(char c) const;

    std::string program_;
    std::string usage_;
    std::string about_;
    std::string epilogue_;
    std::vector<TOptionSpec> defs_;
    int minPositionals_ = 0;
    int maxPositionals_ = -1;
    bool stopAtPositional_ = false;
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> positionals_;
};

}  // namespace vxtools
