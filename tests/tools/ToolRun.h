// A tool run to its end: exit status and what it wrote.
#pragma once

#include <sstream>

#include "ChildProcess.h"

struct TRun {
    int status = -1;
    std::string out, err;
};

// `args` are split at blanks; `env` adds NAME=VALUE entries.
inline TRun RunTool(const std::string& program, const std::string& args, const std::vector<std::string>& env = {})
{
    std::vector<std::string> argv{program};
    std::istringstream words(args);
    for (std::string w; words >> w;)
        argv.push_back(w);
    TChild c;
    const int status = c.Start(argv, env) ? c.End(0, 60000) : -1;
    return {status, c.out, c.err};
}
