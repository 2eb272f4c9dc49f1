#include "InstallLayout.h"

#include <filesystem>
#include <system_error>

#include "Platform.h"

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
    if (dir.empty() || (dir.back() != '/' && dir.back() != static_cast<char>(fs::path::preferred_separator)))
        dir += static_cast<char>(fs::path::preferred_separator);
    return dir;
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
    } else if (env.ConfigHome.empty()) {
        // No home at all (a bare service account): nowhere else to go.
        layout.SettingsFolder = AsFolder(Normal(program));
    } else {
        layout.SettingsFolder = AsFolder(Normal(fs::path(env.ConfigHome) / kFolderName));
        layout.CreateSettingsFolder = true;
    }
    return layout;
}

TLayout CurrentLayout(const std::string& programFolder)
{
    const TEnvironment env{VxPlatform::EnvironmentValue("VX_SETTINGS_DIR"), VxPlatform::ConfigHome()};
    return ResolveLayout(programFolder, VX_DATA_FROM_PROGRAM, env, [](const std::string& path) {
        std::error_code ec;
        return fs::exists(path, ec);
    });
}

void PrepareSettingsFolder(const TLayout& layout)
{
    if (!layout.CreateSettingsFolder)
        return;
    // Each missing level is made private, as the user's configuration
    // folders are; existing ones are left as they are.
    fs::path made;
    for (const fs::path& part : fs::path(layout.SettingsFolder)) {
        made /= part;
        if (part.empty() || made == made.root_path())
            continue;
        if (!VxPlatform::MakePrivateFolder(made.string()))
            return;
    }
}

} // namespace VxLayout
