#include "InstallLayout.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

using namespace VxLayout;
namespace fs = std::filesystem;

namespace {

constexpr const char* kData = "../share/corvane-audio-analyzer";
const std::string kBeside = "/opt/vx/bin/Source-Images/Glyphs/AudioLevel.bmp";
const std::string kDataFolder = "/opt/vx/share/corvane-audio-analyzer";
const std::string kShared = kDataFolder + "/Source-Images/Glyphs/AudioLevel.bmp";

} // namespace

TEST(InstallLayout, PictureDecidesTheLayoutAndTheSettingsFolder)
{
    struct Case {
        const char* what;
        std::set<std::string> paths; // files and folders that exist
        TEnvironment env;
        bool installed;
        std::string picture;
        std::string settings;
        bool create;
    };
    const Case cases[] = {
        {"build folder", {kBeside}, {"", "/cfg", "/home/u"}, false, kBeside, "/opt/vx/bin/", false},
        {"beside wins over the data folder", {kBeside, kDataFolder, kShared}, {"", "", "/home/u"}, false, kBeside,
         "/opt/vx/bin/", false},
        {"installed, default config", {kDataFolder, kShared}, {"", "", "/home/u"}, true, kShared,
         "/home/u/.config/corvane-audio-analyzer/", true},
        {"installed, XDG_CONFIG_HOME", {kDataFolder, kShared}, {"", "/cfg/", "/home/u"}, true, kShared,
         "/cfg/corvane-audio-analyzer/", true},
        {"relative XDG_CONFIG_HOME is ignored", {kDataFolder, kShared}, {"", "cfg", "/home/u"}, true, kShared,
         "/home/u/.config/corvane-audio-analyzer/", true},
        {"override in the installed layout", {kDataFolder, kShared}, {"/tmp/s", "/cfg", "/home/u"}, true, kShared,
         "/tmp/s/", false},
        {"override in the portable layout", {kBeside}, {"/tmp/s/", "", ""}, false, kBeside, "/tmp/s/", false},
        {"no picture anywhere: portable, error names the program folder", {}, {"", "", "/home/u"}, false,
         kBeside, "/opt/vx/bin/", false},
        {"data folder without its picture: installed, error names the data path", {kDataFolder},
         {"", "", "/home/u"}, true, kShared, "/home/u/.config/corvane-audio-analyzer/", true},
        {"installed without any home", {kDataFolder, kShared}, {"", "", ""}, true, kShared, "/opt/vx/bin/", false},
    };
    for (const Case& c : cases) {
        const TLayout l = ResolveLayout("/opt/vx/bin/", kData, c.env,
                                        [&](const std::string& p) { return c.paths.count(p) > 0; });
        EXPECT_EQ(l.Installed, c.installed) << c.what;
        EXPECT_EQ(l.PictureFile, c.picture) << c.what;
        EXPECT_EQ(l.SettingsFolder, c.settings) << c.what;
        EXPECT_EQ(l.CreateSettingsFolder, c.create) << c.what;
    }
}

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
    for (const fs::path& dir : {root / "config", root / "config/corvane-audio-analyzer"}) {
        struct stat st {};
        ASSERT_EQ(::stat(dir.c_str(), &st), 0) << dir;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
    }
    struct stat st {};
    ASSERT_EQ(::stat(root.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u) << "an existing parent was changed";
    fs::remove_all(root);
}
