#include "Platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The program folder holds the running test binary and ends in a separator,
// so that callers can append file names.
TEST(Platform, ProgramFolderAndNameAreTheRunningBinarys)
{
    const std::string folder = VxPlatform::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.back() == '/' || folder.back() == '\\') << folder;
    EXPECT_EQ(VxPlatform::ProgramName(), "platform_tests");
    EXPECT_TRUE(fs::exists(fs::path(folder) / "platform_tests") || fs::exists(fs::path(folder) / "platform_tests.exe"))
        << folder;
    EXPECT_EQ(VxPlatform::EnvironmentValue("VX_SURELY_NOT_SET_ANYWHERE"), "");
}

#ifndef _WIN32
// Where settings go on Linux: an absolute XDG_CONFIG_HOME, else the home's
// .config; a relative XDG_CONFIG_HOME is invalid and ignored.
TEST(Platform, ConfigHomeFollowsTheBaseDirectoryRules)
{
    const std::string home = VxPlatform::EnvironmentValue("HOME"), xdg = VxPlatform::EnvironmentValue("XDG_CONFIG_HOME");
    const struct {
        const char* xdg;
        const char* home;
        const char* expected;
    } cases[] = {
        {"/cfg", "/home/u", "/cfg"},
        {"cfg", "/home/u", "/home/u/.config"},
        {"", "/home/u", "/home/u/.config"},
    };
    for (const auto& c : cases) {
        ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
        ::setenv("HOME", c.home, 1);
        EXPECT_EQ(VxPlatform::ConfigHome(), c.expected) << c.xdg << " " << c.home;
    }
    ::setenv("HOME", home.c_str(), 1);
    if (xdg.empty())
        ::unsetenv("XDG_CONFIG_HOME");
    else
        ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
}
#endif

}  // namespace
