#include <unistd.h>

#include <iostream>

#include "OfflineAnalyzer.h"

int main(int argc, char** argv)
{
    // Progress only where someone watches it: not in a log or a pipe.
    return RunVxAnalyze(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
