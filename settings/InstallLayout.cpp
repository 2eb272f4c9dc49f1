#include "InstallLayout.h"

#include <algorithm>
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

// Whether folder lies inside (or is) root. Windows' file names do not
// tell capitals apart; the comparison does the same there.
bool Inside(const fs::path& folder, const std::string& root)
{
    if (root.empty())
        return false;
    const auto key = [](const fs::path& p) {
        std::string s = p.lexically_normal().generic_string();
        while (s.size() > 1 && s.back() == '/')
            s.pop_back();
#ifdef _WIN32
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
#endif
        return s;
    };
    const std::string f = key(folder);
    const std::string r = key(fs::path(root));
    return f == r || (f.size() > r.size() && f.compare(0, r.size(), r) == 0 && (r.back() == '/' || f[r.size()] == '/'));
}

} // namespace

TLayout ResolveLayout(const std::string& programFolder, const std::string& dataFromProgram,
                      const TEnvironment& env, const std::function<bool(const std::string&)>& exists)
{
    const fs::path program(programFolder);
    const fs::path data = program / dataFromProgram;
    const std::string beside = Normal(program / kPictureFile);

    TLayout layout;
    const bool shared = !exists(beside) && exists(Normal(data));
    const bool systemPrograms = std::any_of(env.ProgramFolders.begin(), env.ProgramFolders.end(),
                                            [&](const std::string& root) { return Inside(program, root); });
    layout.Installed = shared || systemPrograms;
    // Neither: the portable path, so that the start-up error names the
    // place a portable copy needs its picture.
    layout.PictureFile = shared ? Normal(data / kPictureFile) : beside;

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
    const TEnvironment env{VxPlatform::EnvironmentValue("VX_SETTINGS_DIR"), VxPlatform::ConfigHome(),
                           VxPlatform::SystemProgramFolders()};
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
