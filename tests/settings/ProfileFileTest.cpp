#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <iostream>
#include <iterator>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        do
            dir_ = fs::temp_directory_path() / ("vxprofile" + std::to_string(random()));
        while (!fs::create_directory(dir_));
        path_ = (dir_ / "VxSound.ini").string();
    }
    void TearDown() override
    {
#ifndef _WIN32
        ::umount2(dir_.c_str(), MNT_DETACH);  // FullDiskRewritesInPlace's file system
#endif
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    void Put(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string Get(const std::string& path = {}) const
    {
        std::ifstream in(path.empty() ? path_ : path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path dir_;
    std::string path_;
};

TEST(ProfileIntegerTest, ConvertsOnlyWholeNumbers)
{
    const std::pair<const char*, std::int32_t> good[] = {
        {"42", 42}, {"-17", -17}, {"+5", 5}, {"  12 ", 12}, {"-2147483648", INT32_MIN}, {"0", 0}, {"0x1F", 31},
        {"0XfF", 255}, {"0xFFFFFFFF", -1}, {"0x000000010", 16}, {"0x0000000000FFFFFFFF", -1},  // hex by value
    };
    for (const auto& [text, value] : good)
        EXPECT_EQ(ParseProfileInteger(text), value) << '"' << text << '"';
    for (const char* bad : {"", " ", "abc", "12abc", "1 2", "-", "+", "0x", "0X", "0x1G", "0x123456789", "0x00100000000", "0x-1",
                            "2147483648", "99999999999999999999", "- 3", "--3", "1e3", "3.5"})
        EXPECT_FALSE(ParseProfileInteger(bad).has_value()) << '"' << bad << '"';
}

// Names match without regard to case, the first of duplicate sections and
// keys counts; values are trimmed, one pair of quotes goes, text ends at a
// NUL; what does not convert gives the default.
TEST_F(ProfileFileTest, ReadRules)
{
    // (A missing file's defaults: Settings.NoFileGivesTheDefaults*.)
    TProfileFile ini(path_);
    EXPECT_EQ(ini.ReadString("VxSound", "HelpFile", "x"), "x");
    EXPECT_FALSE(fs::exists(path_)) << "a read creates nothing";

    Put("\xEF\xBB\xBF[VXSOUND]\r\n"
        " formwidth = 640 \r\n"
        "Hex=0x10\r\nJunk=12abc\r\nFlag=7\r\nBad=yes\r\n"
        "Str = \"  spaced  \" \r\nHalf=\"open\r\n"
        "; Commented=1\r\n"
        "G\0ain=5\r\nGain=7\0junk\r\ngain=8\r\nHelpFile=a\0b\r\nNul\0=1\r\n"
        "[broken\r\nB=2\r\n"
        "[VxSound]\r\nExtra=4\r\n"s);
    // Each key with its default and what a read gives.
    const std::tuple<const char*, std::int32_t, std::int32_t> integers[] = {
        {"FormWidth", 200, 640}, {"Hex", 0, 16}, {"Junk", 99, 99}, {"; Commented", 4, 4},
        {"Gain", 0, 7},  // the first of duplicates
        {"Nul", -1, -1}, {"B", 0, 0}, {"Extra", -1, -1},  // after a broken header; only the first section counts
    };
    for (const auto& [key, def, value] : integers)
        EXPECT_EQ(ini.ReadInteger("VxSound", key, def), value) << key;
    EXPECT_TRUE(ini.ReadBool("VxSound", "Flag", false));
    EXPECT_TRUE(ini.ReadBool("VxSound", "Bad", true));
    EXPECT_FALSE(ini.ReadBool("VxSound", "Bad", false));
    EXPECT_EQ(ini.ReadString("VxSound", "Str"), "  spaced  ");
    EXPECT_EQ(ini.ReadString("VxSound", "Half"), "\"open");
    EXPECT_EQ(ini.ReadString("VxSound", "HelpFile"), "a");
    EXPECT_EQ(ini.ReadInteger("Other", "FormWidth", 1), 1);
}

// The first write creates the file; every write reaches it at once and
// leaves every other byte as it was.
TEST_F(ProfileFileTest, WritesKeepEveryOtherByte)
{
    TProfileFile ini(path_);
    ini.WriteInteger("VxSound", "SoundCardNo", 3);
    EXPECT_EQ(Get(), "[VxSound]\nSoundCardNo=3\n");
    ini.WriteInteger("VxSound", "Gain", -128);
    ini.WriteBool("VxSound", "RunMinimized", false);
    EXPECT_EQ(TProfileFile(path_).ReadInteger("vxsound", "GAIN", 0), -128);
    EXPECT_FALSE(ini.ReadBool("VxSound", "RunMinimized", true));

    // Writes go to the first of duplicate sections and keys.
    const std::string before = "Gain=77\r\n; settings\r\n[Other]\r\nGain=1\r\n\r\n[vxsound]\r\n  GAIN = 5  ; note\r\n"
                               "gain=6\r\nTrigDecay=15\r\n\r\n[VxSound]\r\nTrigAggr=1\r\n\r\n[Last]\r\nx=y";
    Put(before);
    ini.WriteInteger("VxSound", "Gain", -3);
    std::string expected = before;
    expected.replace(expected.find("  GAIN = 5  ; note"), 18, "Gain=-3");
    EXPECT_EQ(Get(), expected);
    // A new key goes at the end of its section, before the blank separator,
    // with the file's line ending.
    ini.WriteInteger("VxSound", "TrigAggr", 150);
    expected.insert(expected.find("TrigDecay=15\r\n") + 14, "TrigAggr=150\r\n");
    EXPECT_EQ(Get(), expected);
    EXPECT_EQ(ini.ReadInteger("VxSound", "TrigAggr", 0), 150);
    // A new section is appended; the missing final newline is supplied.
    ini.WriteBool("New", "On", true);
    EXPECT_EQ(Get(), expected + "\r\n[New]\r\nOn=1\r\n");
    Put("[VxSound]\nA=1");
    ini.WriteInteger("VxSound", "B", 2);
    EXPECT_EQ(Get(), "[VxSound]\nA=1\nB=2\n");
    // Held writes reach the file together at the flush; reads see them.
    ini.Hold();
    ini.WriteInteger("VxSound", "A", 3);
    ini.WriteInteger("VxSound", "C", ini.ReadInteger("VxSound", "A", 0) + 1);
    EXPECT_EQ(Get(), "[VxSound]\nA=1\nB=2\n");
    ini.Flush();
    EXPECT_EQ(Get(), "[VxSound]\nA=3\nB=2\nC=4\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << "no temporary file left";
}

TEST_F(ProfileFileTest, HostileFilesReadSafely)
{
    TProfileFile ini(path_);
    std::mt19937 rng(1234);
    std::string garbage(1 << 16, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng());
    Put(garbage);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", 11), 11);
    // Writing into garbage keeps the garbage and adds a readable key.
    ini.WriteInteger("VxSound", "Gain", 6);
    EXPECT_EQ(Get().substr(0, garbage.size()), garbage);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", 0), 6);

    const std::string huge(5 << 20, '7');
    Put("[Other]\nk=" + huge + "\n[VxSound]\nHelpFile=" + huge + "\nGain=" + huge + "\nTop=100");
    EXPECT_EQ(ini.ReadString("VxSound", "HelpFile"), std::string(kProfileStringMax, '7'));
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", -5), -5);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Top", 0), 100);
}

// A path that cannot be written (running as root defeats permission bits,
// so these cannot be created at all), or something other than a regular
// file in the file's place: reads give the defaults without a hang, a
// write raises with the full path and leaves what is there alone.
TEST_F(ProfileFileTest, FailedWriteRaisesWithFullPath)
{
    Put("x");
    fs::create_directory(dir_ / "folder.ini");
    std::vector<fs::path> unwritable = {fs::path(path_) / "VxSound.ini", dir_ / "no/such/VxSound.ini", dir_ / "folder.ini",
                                        dir_ / std::string(300, 'a') / "VxSound.ini"};
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir_ / "fifo.ini").c_str(), 0600), 0);
    fs::create_symlink("loop.ini", dir_ / "loop.ini");
    fs::create_symlink("/dev/null", dir_ / "null.ini");
    for (const char* name : {"fifo.ini", "loop.ini", "null.ini", "/proc/self/VxSound.ini"})
        unwritable.push_back(dir_ / name);
#endif
    for (const fs::path& bad : unwritable) {
        SCOPED_TRACE(bad);
        TProfileFile ini(bad.string());
        EXPECT_EQ(ini.ReadInteger("VxSound", "FormTop", 42), 42);
        try {
            ini.WriteInteger("VxSound", "FormTop", 1);
            ADD_FAILURE() << "the write succeeded";
        } catch (const EProfileWriteError& e) {
            EXPECT_EQ(e.what(), "Unable to write to " + bad.string());
        }
    }
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.ini"));
    EXPECT_EQ(TProfileFile("x.ini").FileName(), (fs::current_path() / "x.ini").string());
}

#ifdef _WIN32
// The read-only attribute keeps a file as it is, whatever the folder allows.
TEST_F(ProfileFileTest, ReadOnlyFileIsRefused)
{
    Put("[VxSound]\r\nGain=5\r\n");
    fs::permissions(path_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_THROW(TProfileFile(path_).WriteInteger("VxSound", "Gain", -3), EProfileWriteError);
    EXPECT_EQ(Get(), "[VxSound]\r\nGain=5\r\n");
    fs::permissions(path_, fs::perms::owner_write, fs::perm_options::add);
}
#else
// On a disk with no room for a second copy the file is rewritten in place.
TEST_F(ProfileFileTest, FullDiskRewritesInPlace)
{
    // A small file system of its own, seen only by this test's process.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    const std::string comment = "; " + std::string(3000, 'x') + "\n";
    Put("[VxSound]\nA=1\n" + comment);
    std::ofstream filler(dir_ / "filler", std::ios::binary);
    const std::string page(4096, 'f');
    while (filler.write(page.data(), static_cast<std::streamsize>(page.size())) && filler.flush()) {
    }
    TProfileFile ini(path_);
    ini.WriteInteger("VxSound", "A", 2);
    ini.WriteInteger("VxSound", "B", 3);
    EXPECT_EQ(Get(), "[VxSound]\nA=2\n" + comment + "B=3\n");
}

// Acts as another user until it ends: root passes every permission check.
struct AsUser {
    AsUser(uid_t uid, gid_t gid) : was(::geteuid()), wasGroup(::getegid())
    {
        EXPECT_EQ(::setegid(gid), 0);
        EXPECT_EQ(::seteuid(uid), 0);
    }
    ~AsUser()
    {
        ::seteuid(was);
        ::setegid(wasGroup);
    }
    const uid_t was;
    const gid_t wasGroup;
};

// What the user may do decides how a write reaches the file: a file he may
// not write is an error even where the folder would let it be replaced
// (root included: the mode says read-only); a file he may write in a folder
// he may not is rewritten in place; a file in his own folder is replaced
// whole. A link stays a link and its target is written, also when that
// does not exist yet; a link in a folder others may write is not followed.
// The file keeps its mode, the other lines stay byte for byte.
TEST_F(ProfileFileTest, PermissionsDecideHowAWriteReachesTheFile)
{
    const bool root = ::geteuid() == 0;
    const std::string before = "; mine\r\n[VxSound]\r\nGain=5\r\nOdd key=x\r\n\r\n[Other]\r\nk=v";
    const std::string after = "; mine\r\n[VxSound]\r\nGain=-3\r\nOdd key=x\r\n\r\n[Other]\r\nk=v";
    enum EVia { File, Link, Dangling, SharedLink };
    // The file's mode, whether the folder is the user's, how the file is
    // named, whether root writes, whether the write succeeds, in place.
    const std::tuple<mode_t, bool, EVia, bool, bool, bool> cases[] = {
        {0444, true, File, false, false, true},    {0644, false, File, false, true, true},
        {0644, true, File, false, true, false},    {0640, true, Link, false, true, false},
        {0640, true, Dangling, false, true, false}, {0640, true, SharedLink, false, false, true},
        {0444, true, File, true, false, true},
    };
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    const fs::path folder = dir_ / "f", shared = dir_ / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    for (const auto& [fileMode, folderMine, via, asRoot, written, sameInode] : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << fileMode << " " << folderMine << " " << via << " " << asRoot);
        if (asRoot && !root) {
            std::cout << "skipped: the read-only file for root needs root\n";
            continue;
        }
        // The user: nobody under root (but in the root rows); else himself.
        const uid_t user = root && !asRoot ? 65534 : ::geteuid();
        const gid_t group = root && !asRoot ? 65534 : ::getegid();
        fs::remove_all(folder);
        fs::create_directory(folder);
        const std::string path = (folder / "VxSound.ini").string();
        const fs::path link = (via == SharedLink ? shared : folder) / "link.ini";
        if (via != Dangling) {
            std::ofstream(path, std::ios::binary) << before;
            ASSERT_EQ(::chown(path.c_str(), user, group), 0);
            ASSERT_EQ(::chmod(path.c_str(), fileMode), 0);
        }
        fs::remove(link);
        fs::create_symlink(path, link);
        struct stat st {};
        ::stat(path.c_str(), &st);
        if (folderMine) {
            ASSERT_EQ(::chown(folder.c_str(), user, group), 0);
        }
        ASSERT_EQ(::chmod(folder.c_str(), folderMine ? 0755 : 0555), 0);
        if (!folderMine && !root && ::access(folder.c_str(), W_OK) == 0)
            GTEST_SKIP() << "permissions are not enforced here";

        const std::string target = via == File ? path : link.string();
        std::string result = "ok";
        try {
            AsUser as(user, group);
            TProfileFile(target).WriteInteger("VxSound", "Gain", -3);
        } catch (const EProfileWriteError& e) {
            result = e.what();
        }
        EXPECT_EQ(result, written ? "ok" : "Unable to write to " + target);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(Get(path), via == Dangling ? "[VxSound]\nGain=-3\n" : written ? after : before);
        struct stat now {};
        ASSERT_EQ(::stat(path.c_str(), &now), 0);
        EXPECT_EQ(now.st_ino == st.st_ino, sameInode);
        EXPECT_TRUE(via == Dangling || (now.st_mode & 0777) == fileMode);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), via == SharedLink ? 1 : 2)
            << "no temporary file left";
        ::chmod(folder.c_str(), 0755);
    }
}
#endif

}  // namespace
