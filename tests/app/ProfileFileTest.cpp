#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vxprofileXXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "VxSound.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Put(const std::string& bytes) const
    {
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    std::string Get() const
    {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::string path_;
};

TEST(ProfileIntegerTest, ConvertsOnlyWholeNumbers)
{
    EXPECT_EQ(ParseProfileInteger("42"), 42);
    EXPECT_EQ(ParseProfileInteger("-17"), -17);
    EXPECT_EQ(ParseProfileInteger("+5"), 5);
    EXPECT_EQ(ParseProfileInteger("  12 "), 12);
    EXPECT_EQ(ParseProfileInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseProfileInteger("0x1F"), 31);
    EXPECT_EQ(ParseProfileInteger("0XfF"), 255);
    EXPECT_EQ(ParseProfileInteger("0xFFFFFFFF"), -1);
    EXPECT_EQ(ParseProfileInteger("0x000000010"), 16);  // by value, not by digit count
    EXPECT_EQ(ParseProfileInteger("0x0000000000FFFFFFFF"), -1);
    EXPECT_EQ(ParseProfileInteger("0"), 0);

    for (const char* bad : {"", " ", "abc", "12abc", "1 2", "-", "+", "0x", "0X", "0x1G", "0x123456789", "0x00100000000", "0x-1",
                            "2147483648", "99999999999999999999", "- 3", "--3", "1e3", "3.5"})
        EXPECT_FALSE(ParseProfileInteger(bad).has_value()) << '"' << bad << '"';
}

TEST_F(ProfileFileTest, MissingFileGivesDefaultsAndFirstWriteCreatesIt)
{
    TProfileFile ini(path_);
    EXPECT_EQ(ini.ReadInteger("VxSound", "FormTop", 100), 100);
    EXPECT_TRUE(ini.ReadBool("VxSound", "StayOnTop", true));
    EXPECT_EQ(ini.ReadString("VxSound", "HelpFile"), "");
    EXPECT_FALSE(fs::exists(path_));

    ini.WriteInteger("VxSound", "SoundCardNo", 3);
    EXPECT_EQ(Get(), "[VxSound]\nSoundCardNo=3\n");

    ini.WriteInteger("VxSound", "Gain", -128);
    ini.WriteBool("VxSound", "RunMinimized", false);
    ini.WriteString("VxSound", "Padded", "  two spaces ");
    ini.WriteString("VxSound", "Quoted", "\"q\"");
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", 0), -128);
    EXPECT_FALSE(ini.ReadBool("VxSound", "RunMinimized", true));
    EXPECT_EQ(ini.ReadString("VxSound", "Padded"), "  two spaces ");
    EXPECT_EQ(ini.ReadString("VxSound", "Quoted"), "\"q\"");

    // A second object on the same file sees every write at once.
    EXPECT_EQ(TProfileFile(path_).ReadInteger("vxsound", "GAIN", 0), -128);
    // No temporary files are left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(ProfileFileTest, ReadRules)
{
    Put("[VXSOUND]\n"
        " formwidth = 640 \n"
        "Hex=0x10\n"
        "Junk=12abc\n"
        "Flag=7\n"
        "Bad=yes\n"
        "Str = \"  spaced  \" \n"
        "Half=\"open\n"
        "; Commented=1\n");
    TProfileFile ini(path_);
    EXPECT_EQ(ini.ReadInteger("VxSound", "FormWidth", 200), 640);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Hex", 0), 16);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Junk", 99), 99);
    EXPECT_TRUE(ini.ReadBool("VxSound", "Flag", false));
    EXPECT_TRUE(ini.ReadBool("VxSound", "Bad", true));
    EXPECT_FALSE(ini.ReadBool("VxSound", "Bad", false));
    EXPECT_EQ(ini.ReadString("VxSound", "Str"), "  spaced  ");
    EXPECT_EQ(ini.ReadString("VxSound", "Half"), "\"open");
    EXPECT_EQ(ini.ReadInteger("VxSound", "; Commented", 4), 4);
    EXPECT_EQ(ini.ReadInteger("Other", "FormWidth", 1), 1);
}

TEST_F(ProfileFileTest, WritesKeepEveryOtherByte)
{
    const std::string before = "; settings\r\n"
                               "[Other]\r\n"
                               "Gain=1\r\n"
                               "\r\n"
                               "[vxsound]\r\n"
                               "  GAIN = 5  ; note\r\n"
                               "TrigDecay=15\r\n"
                               "\r\n"
                               "[Last]\r\n"
                               "x=y";
    Put(before);
    TProfileFile ini(path_);

    ini.WriteInteger("VxSound", "Gain", -3);
    std::string expected = before;
    expected.replace(expected.find("  GAIN = 5  ; note"), 18, "Gain=-3");
    EXPECT_EQ(Get(), expected);

    // A new key goes at the end of its section, before the blank separator,
    // with the file's line ending.
    ini.WriteInteger("VxSound", "TrigAggr", 150);
    expected.insert(expected.find("TrigDecay=15\r\n") + 14, "TrigAggr=150\r\n");
    EXPECT_EQ(Get(), expected);

    // A new section is appended; the missing final newline is supplied.
    ini.WriteBool("New", "On", true);
    expected += "\r\n[New]\r\nOn=1\r\n";
    EXPECT_EQ(Get(), expected);

    // A key appended to a last section that lacks the final newline.
    Put("[VxSound]\nA=1");
    ini.WriteInteger("VxSound", "B", 2);
    EXPECT_EQ(Get(), "[VxSound]\nA=1\nB=2\n");
}

TEST_F(ProfileFileTest, DuplicatesAndStrayKeys)
{
    Put("Gain=77\n"
        "[VxSound]\n"
        "Gain=1\n"
        "gain=2\n"
        "[VxSound]\n"
        "Gain=3\n"
        "Extra=4\n");
    TProfileFile ini(path_);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", 0), 1);
    // Only the first section counts, for reads and writes alike.
    EXPECT_EQ(ini.ReadInteger("VxSound", "Extra", -1), -1);
    ini.WriteInteger("VxSound", "Gain", 9);
    ini.WriteInteger("VxSound", "Extra", 8);
    EXPECT_EQ(Get(), "Gain=77\n[VxSound]\nGain=9\ngain=2\nExtra=8\n[VxSound]\nGain=3\nExtra=4\n");
    EXPECT_EQ(ini.ReadInteger("VxSound", "Extra", -1), 8);
}

TEST_F(ProfileFileTest, HostileFilesReadSafely)
{
    TProfileFile ini(path_);

    std::mt19937 rng(1234);
    std::string garbage(1 << 16, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    Put(garbage);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", 11), 11);
    EXPECT_EQ(ini.ReadString("VxSound", "HelpFile", "d"), "d");
    // Writing into garbage keeps the garbage and adds a readable key.
    ini.WriteInteger("VxSound", "Gain", 6);
    EXPECT_EQ(Get().substr(0, garbage.size()), garbage);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", 0), 6);

    using namespace std::string_literals;
    Put("\xEF\xBB\xBF[VxSound]\r\nG\0ain=5\r\nGain=7\0junk\r\nHelpFile=a\0b\r\nNul\0=1\r\n"s);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", 0), 7);
    EXPECT_EQ(ini.ReadString("VxSound", "HelpFile"), "a");
    EXPECT_EQ(ini.ReadInteger("VxSound", "Nul", -1), -1);

    const std::string huge(5 << 20, '7');
    Put("[Other]\nk=" + huge + "\n[VxSound]\nHelpFile=" + huge + "\nGain=" + huge + "\nTop=100");
    EXPECT_EQ(ini.ReadString("VxSound", "HelpFile"), std::string(kProfileStringMax, '7'));
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", -5), -5);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Top", 0), 100);
    ini.WriteInteger("VxSound", "Top", 101);
    EXPECT_EQ(Get(), "[Other]\nk=" + huge + "\n[VxSound]\nHelpFile=" + huge + "\nGain=" + huge + "\nTop=101");

    // A header without its bracket still ends the section before it.
    Put("[VxSound]\nA=1\n[broken\nB=2\n");
    EXPECT_EQ(ini.ReadInteger("VxSound", "B", 0), 0);

    // Something other than a regular file in its place: defaults, no hang.
    fs::remove(path_);
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    EXPECT_EQ(ini.ReadInteger("VxSound", "Gain", 3), 3);
    EXPECT_THROW(ini.WriteInteger("VxSound", "Gain", 1), EProfileWriteError);
}

TEST_F(ProfileFileTest, FailedWriteRaisesWithFullPath)
{
    // Running as root defeats permission bits, so use paths that cannot be
    // created at all.
    Put("x");
    const std::string underFile = path_ + "/VxSound.ini";
    const std::string underMissing = (dir_ / "no" / "such" / "VxSound.ini").string();
    for (const std::string& bad : {underFile, underMissing}) {
        TProfileFile ini(bad);
        try {
            ini.WriteInteger("VxSound", "FormTop", 1);
            ADD_FAILURE() << "write to " << bad << " succeeded";
        } catch (const EProfileWriteError& e) {
            EXPECT_STREQ(e.what(), ("Unable to write to " + bad).c_str());
        }
        EXPECT_EQ(ini.ReadInteger("VxSound", "FormTop", 42), 42);
    }

    // A relative name is reported with its full path.
    EXPECT_EQ(TProfileFile("x.ini").FileName(), (fs::current_path() / "x.ini").string());

    // A directory in the file's place is left alone.
    fs::remove(path_);
    fs::create_directory(path_);
    EXPECT_THROW(TProfileFile(path_).WriteInteger("VxSound", "A", 1), EProfileWriteError);
    EXPECT_TRUE(fs::is_directory(path_));
}

// Runs `body` in a child process and returns what it reports: "ok" or the
// text of the error it raised.
std::string InChild(const std::function<void()>& body)
{
    int out[2];
    if (::pipe(out) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        std::string result = "ok";
        try {
            body();
        } catch (const std::exception& e) {
            result = e.what();
        }
        (void)!::write(out[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) result.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    ::waitpid(pid, nullptr, 0);
    return result;
}

// The same as an unprivileged user (root passes every permission check).
std::string AsUnprivileged(uid_t uid, gid_t gid, const std::function<void()>& write)
{
    return InChild([&] {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
                                 ::setresuid(uid, uid, uid) != 0))
            throw std::runtime_error("cannot drop privileges");
        write();
    });
}

// On a disk with no room for a second copy the file is rewritten in place.
TEST_F(ProfileFileTest, FullDiskRewritesInPlace)
{
    const std::string before = "[VxSound]\nA=1\n; " + std::string(3000, 'x') + "\n";
    const std::string result = InChild([&] {
        // A small file system of its own, seen only by this process.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=16k") != 0)
            throw std::runtime_error("skip");
        std::ofstream(path_, std::ios::binary) << before;
        std::ofstream filler(dir_ / "filler", std::ios::binary);
        const std::string page(4096, 'f');
        while (filler.write(page.data(), static_cast<std::streamsize>(page.size())) && filler.flush()) {
        }
        TProfileFile ini(path_);
        ini.WriteInteger("VxSound", "A", 2);
        ini.WriteInteger("VxSound", "B", 3);
        if (Get() != "[VxSound]\nA=2\n; " + std::string(3000, 'x') + "\nB=3\n")
            throw std::runtime_error("wrong content: " + Get().substr(0, 20));
    });
    if (result == "skip")
        GTEST_SKIP() << "cannot mount a small file system here";
    EXPECT_EQ(result, "ok");
}

// What the user may do decides how a write reaches the file: a file he may
// not write is an error even where the folder would let it be replaced; a
// file he may write in a folder he may not is rewritten in place; a file in
// his own folder is replaced whole. The other lines stay byte for byte.
TEST_F(ProfileFileTest, PermissionsDecideHowAWriteReachesTheFile)
{
    // The user: nobody under root; under another user, that user himself.
    const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();
    const gid_t group = ::geteuid() == 0 ? 65534 : ::getegid();
    const std::string before = "; mine\r\n[VxSound]\r\nGain=5\r\nOdd key=x\r\n\r\n[Other]\r\nk=v";
    const std::string after = "; mine\r\n[VxSound]\r\nGain=-3\r\nOdd key=x\r\n\r\n[Other]\r\nk=v";
    const struct {
        const char* name;
        bool fileExists;
        mode_t fileMode;
        bool folderWritable;
        bool written;
        bool sameInode;  // rewritten in place
    } cases[] = {
        {"read-only file, writable folder", true, 0444, true, false, true},
        {"writable file, read-only folder", true, 0644, false, true, true},
        {"writable file, writable folder", true, 0644, true, true, false},
        {"no file, read-only folder", false, 0, false, false, false},
    };
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = dir_ / "f";
        fs::remove_all(folder);
        fs::create_directory(folder);
        const std::string path = (folder / "VxSound.ini").string();
        struct stat st {};
        if (c.fileExists) {
            std::ofstream(path, std::ios::binary) << before;
            ASSERT_EQ(::chown(path.c_str(), user, group), 0);
            ASSERT_EQ(::chmod(path.c_str(), c.fileMode), 0);
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
        }
        if (c.folderWritable) {
            ASSERT_EQ(::chown(folder.c_str(), user, group), 0);
        }
        ASSERT_EQ(::chmod(folder.c_str(), c.folderWritable ? 0755 : 0555), 0);
        if (!c.folderWritable && ::geteuid() != 0 && ::access(folder.c_str(), W_OK) == 0)
            GTEST_SKIP() << "permissions are not enforced here";

        const std::string result =
            AsUnprivileged(user, group, [&] { TProfileFile(path).WriteInteger("VxSound", "Gain", -3); });
        EXPECT_EQ(result, c.written ? "ok" : "Unable to write to " + path);
        if (c.fileExists) {
            std::ifstream in(path, std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            EXPECT_EQ(text.str(), c.written ? after : before);
            struct stat now {};
            ASSERT_EQ(::stat(path.c_str(), &now), 0);
            EXPECT_EQ(now.st_ino == st.st_ino, c.sameInode);
            EXPECT_EQ(now.st_mode & 0777, c.fileMode);
        } else {
            EXPECT_FALSE(fs::exists(path));
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), c.fileExists ? 1 : 0);
        ::chmod(folder.c_str(), 0755);
    }
}

TEST_F(ProfileFileTest, WriteKeepsModeAndLinks)
{
    Put("[VxSound]\nA=1\n");
    ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
    const std::string link = (dir_ / "link.ini").string();
    fs::create_symlink(path_, link);

    TProfileFile(link).WriteInteger("VxSound", "A", 2);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Get(), "[VxSound]\nA=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ProfileFileTest, RejectsNamesAndValuesThatBreakLines)
{
    Put("[VxSound]\nA=1\n");
    TProfileFile ini(path_);
    EXPECT_THROW(ini.WriteString("VxSound", "A", "1\nB=2"), std::invalid_argument);
    EXPECT_THROW(ini.WriteInteger("VxSound", "A=B", 1), std::invalid_argument);
    EXPECT_THROW(ini.WriteInteger("Vx]Sound", "A", 1), std::invalid_argument);
    EXPECT_THROW(ini.WriteInteger("VxSound", "", 1), std::invalid_argument);
    EXPECT_THROW(ini.WriteInteger("VxSound", "[A", 1), std::invalid_argument);
    EXPECT_EQ(Get(), "[VxSound]\nA=1\n");
}

} // namespace
