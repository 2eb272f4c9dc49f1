#include "Platform.h"
#include <cstdlib>
#include <filesystem>
namespace VxPlatform {
std::string ProgramFolder()
{
    std::error_code ec;
    std::string dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}
std::string EnvironmentValue(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}
}  // namespace VxPlatform
