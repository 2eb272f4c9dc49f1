#include "InstallLayout.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <set>
#include <string>
#include <tuple>

using namespace VxLayout;
namespace fs = std::filesystem;

namespace {

constexpr const char* kData = "../share/corvane-audio-analyzer";
const std::string kBeside = "/opt/vx/bin/Source-Images/Glyphs/AudioLevel.bmp";
const std::string kDataFolder = "/opt/vx/share/corvane-audio-analyzer";
const std::string kShared = kDataFolder + "/Source-Images/Glyphs/AudioLevel.bmp";
const std::string kConfig = "/home/u/.config";

} // namespace

TEST(InstallLayout, PictureDecidesTheLayoutAndTheSettingsFolder)
{
    const std::string bin = "/opt/vx/bin/", home = kConfig + "/" + kFolderName + "/";
    const struct {
        const char* what;
        std::set<std::string> paths;  // files and folders that exist
        TEnvironment env;
        bool installed;
        std::string picture, settings;
        bool create;
    } cases[] = {
        {"build folder", {kBeside}, {"", "/cfg"}, false, kBeside, bin, false},
        {"beside wins over the data folder", {kBeside, kDataFolder, kShared}, {"", kConfig}, false, kBeside, bin, false},
        {"installed, the user's configuration home", {kDataFolder, kShared}, {"", kConfig}, true, kShared, home, true},
        {"installed, configuration home with a separator", {kDataFolder, kShared}, {"", "/cfg/"}, true, kShared,
         "/cfg/" + std::string(kFolderName) + "/", true},
        {"override in the installed layout", {kDataFolder, kShared}, {"/tmp/s", "/cfg"}, true, kShared,
         "/tmp/s/", false},
        {"override in the portable layout", {kBeside}, {"/tmp/s/", ""}, false, kBeside, "/tmp/s/", false},
        {"no picture anywhere: portable, error names the program folder", {}, {"", kConfig}, false, kBeside,
         bin, false},
        {"data folder without its picture: installed, error names the data path", {kDataFolder}, {"", kConfig},
         true, kShared, home, true},
        {"installed without any home", {kDataFolder, kShared}, {"", ""}, true, kShared, bin, false},
        // Windows: the picture beside a program in Program Files.
        {"inside a system program folder: installed, picture beside", {kBeside}, {"", kConfig, {"/usr", "/opt/"}},
         true, kBeside, home, true},
        {"a folder named like the program folder's start is not inside it", {kBeside}, {"", kConfig, {"/opt/v"}},
         false, kBeside, bin, false},
    };
    // Paths come back with the system's separators; compared in '/' form.
    const auto generic = [](const std::string& p) { return fs::path(p).generic_string(); };
    for (const auto& c : cases) {
        const TLayout l =
            ResolveLayout(bin, kData, c.env, [&](const std::string& p) { return c.paths.count(generic(p)) > 0; });
        EXPECT_EQ(std::make_tuple(l.Installed, generic(l.PictureFile), generic(l.SettingsFolder), l.CreateSettingsFolder),
                  std::tie(c.installed, c.picture, c.settings, c.create))
            << c.what;
    }
}

#ifndef _WIN32
TEST(InstallLayout, FirstWriteCreatesThePrivateFolderChain)
{
    const fs::path root = fs::temp_directory_path() / ("vx-layout-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    ::chmod(root.c_str(), 0755);

    TLayout layout;
    layout.SettingsFolder = (root / "config/corvane-audio-analyzer/").string();
    layout.CreateSettingsFolder = false;
    PrepareSettingsFolder(layout);
    EXPECT_FALSE(fs::exists(root / "config")) << "created although not asked";

    layout.CreateSettingsFolder = true;
    PrepareSettingsFolder(layout);
    PrepareSettingsFolder(layout); // existing folders are fine
    const auto mode = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
    EXPECT_EQ(mode(root / "config"), fs::perms::owner_all);
    EXPECT_EQ(mode(root / "config/corvane-audio-analyzer"), fs::perms::owner_all);
    EXPECT_EQ(mode(root), static_cast<fs::perms>(0755)) << "an existing parent was changed";
    fs::remove_all(root);
}
#endif
