#include "InstallLayout.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef VX_DATA_FROM_PROGRAM
#define VX_DATA_FROM_PROGRAM "../share/corvane-audio-analyzer"
#endif

namespace fs = std::filesystem;

namespace VxLayout {
namespace {

std::string Normal(const fs::path& p)
{
    return p.lexically_normal().string();
}

std::string AsFolder(std::string dir)
{
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

} // namespace

TLayout ResolveLayout(const std::string& programFolder, const std::string& dataFromProgram,
                      const TEnvironment& env, const std::function<bool(const std::string&)>& exists)
{
    const fs::path program(programFolder);
    const fs::path data = program / dataFromProgram;
    const std::string beside = Normal(program / kPictureFile);

    TLayout layout;
    layout.Installed = !exists(beside) && exists(Normal(data));
    // Neither: the portable path, so that the start-up error names the
    // place a portable copy needs its picture.
    layout.PictureFile = layout.Installed ? Normal(data / kPictureFile) : beside;

    if (!env.SettingsDir.empty()) {
        layout.SettingsFolder = AsFolder(env.SettingsDir);
    } else if (!layout.Installed) {
        layout.SettingsFolder = AsFolder(Normal(program));
    } else {
        // A relative XDG_CONFIG_HOME is invalid and ignored.
        fs::path config;
        if (!env.ConfigHome.empty() && env.ConfigHome.front() == '/')
            config = env.ConfigHome;
        else if (!env.Home.empty())
            config = fs::path(env.Home) / ".config";
        if (config.empty()) {
            // No home at all (a bare service account): nowhere else to go.
            layout.SettingsFolder = AsFolder(Normal(program));
        } else {
            layout.SettingsFolder = AsFolder(Normal(config / kFolderName));
            layout.CreateSettingsFolder = true;
        }
    }
    return layout;
}

TLayout CurrentLayout(const std::string& programFolder)
{
    TEnvironment env{Env("VX_SETTINGS_DIR"), Env("XDG_CONFIG_HOME"), Env("HOME")};
    if (env.Home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
            env.Home = pw->pw_dir;
    }
    return ResolveLayout(programFolder, VX_DATA_FROM_PROGRAM, env, [](const std::string& path) {
        std::error_code ec;
        return fs::exists(path, ec);
    });
}

void PrepareSettingsFolder(const TLayout& layout)
{
    if (!layout.CreateSettingsFolder)
        return;
    // Each missing level is made 0700, as the user's configuration folders
    // are; existing ones are left as they are.
    fs::path made;
    for (const fs::path& part : fs::path(layout.SettingsFolder)) {
        made /= part;
        if (part.empty() || part == "/")
            continue;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
            return;
    }
}

} // namespace VxLayout
