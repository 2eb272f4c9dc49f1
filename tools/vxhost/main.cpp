#include <iostream>
#include <string>
#include <vector>

#include "HostCommands.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    return vxhost::RunVxHost(args, std::cout, std::cerr);
}
