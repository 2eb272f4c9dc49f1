// Temporary: replaced by the platform layer.
#pragma once
#include <string>
namespace VxPlatform {
std::string ProgramFolder();
std::string EnvironmentValue(const char* name);
}
