#include <iostream>

#include "OfflineAnalyzer.h"

int main(int argc, char** argv)
{
    return RunVxAnalyze(argc, argv, std::cout, std::cerr);
}
