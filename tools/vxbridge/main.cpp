#include <string>
#include <vector>

#include "Bridge.h"

int main(int argc, char** argv)
{
    return vxbridge::VxBridgeMain(std::vector<std::string>(argv + 1, argv + argc));
}
