#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "SharedMap.h"

namespace {

// Each test uses a segment of its own so that a running analyzer or a
// parallel test run is never touched.
class SegmentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        name_ = "VXTEST_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        shm_unlink(("/" + name_).c_str());
    }
    void TearDown() override { shm_unlink(("/" + name_).c_str()); }

    void MakeHostSegment(off_t size, unsigned char fill)
    {
        int fd = shm_open(("/" + name_).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ASSERT_NE(p, MAP_FAILED);
        memset(p, fill, size);
        munmap(p, size);
        close(fd);
    }

    std::string name_;
};

TEST_F(SegmentTest, FreshSegmentIsZeroSizedToTheRecordAndPrivate)
{
    TSharedMap map(PosixSharedMemory(), name_);
    ASSERT_NE(map.Data, nullptr);
    EXPECT_EQ(map.Data, map.View);
    EXPECT_EQ(map.Size, 2431);
    EXPECT_NE(map.Handle, 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(map.Data);
    for (int i = 0; i < 2431; ++i)
        ASSERT_EQ(bytes[i], 0) << i;

    struct stat st {};
    ASSERT_EQ(stat(("/dev/shm/" + name_).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 2431);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SegmentTest, AnotherProcessSeesTheSameBytes)
{
    TSharedMap map(PosixSharedMemory(), name_);
    map.Data->SetLevel(11314.0f);
    map.Data->SetNoiseLevelValue(455);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other process maps the segment by name and writes back.
        try {
            TSharedMap other(PosixSharedMemory(), name_);
            const bool same = other.Data->Level() == 11314.0f && other.Data->NoiseLevelValue() == 455;
            other.Data->SetTrig(same ? 1 : 2);
        } catch (...) {
            _exit(3);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(map.Data->Trig(), 1);
}

TEST_F(SegmentTest, HostSegmentKeepsItsContentsAndSize)
{
    MakeHostSegment(4096, 0x5A);
    {
        TSharedMap map(PosixSharedMemory(), name_);
        EXPECT_EQ(map.Data->EqualizerColor(0), 0x5A);
        EXPECT_EQ(map.Data->RawByte(2430), 0x5A);
        map.Data->SetTrig(0);
    }
    struct stat st {};
    ASSERT_EQ(stat(("/dev/shm/" + name_).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4096) << "an existing segment is never resized";

    // Closing our view leaves the segment and its contents to the host.
    TSharedMap again(PosixSharedMemory(), name_);
    EXPECT_EQ(again.Data->Trig(), 0);
    EXPECT_EQ(again.Data->RawByte(3), 0x5A);
}

TEST_F(SegmentTest, TooSmallHostSegmentIsRefusedNotMapped)
{
    MakeHostSegment(2430, 0x11);
    try {
        TSharedMap map(PosixSharedMemory(), name_);
        FAIL() << "a short segment must not be mapped as the record";
    } catch (const ESharedMemoryError& e) {
        EXPECT_STREQ(e.what(), "Tfilemapping map view error");
    }
    struct stat st {};
    ASSERT_EQ(stat(("/dev/shm/" + name_).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 2430) << "and it is not grown behind the host's back";
}

// A full /dev/shm, in a private mount namespace with a one-page tmpfs that
// a file fills: creating the segment, or taking a host's segment that was
// sized but never written, fails with the creation text instead of killing
// the first store with SIGBUS.
TEST_F(SegmentTest, FullDevShmFailsTheCreationInsteadOfTheFirstStore)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", "/dev/shm", "tmpfs", 0, "size=4k") != 0)
            _exit(77);
        const int fill = open("/dev/shm/fill", O_WRONLY | O_CREAT, 0600);
        char page[4096] = {};
        if (fill < 0 || write(fill, page, sizeof page) != static_cast<ssize_t>(sizeof page))
            _exit(78);
        close(fill);
        const struct {
            bool hostSized;
        } rows[] = {{false}, {true}};
        for (const auto& row : rows) {
            shm_unlink(("/" + name_).c_str());
            if (row.hostSized) {
                const int fd = shm_open(("/" + name_).c_str(), O_RDWR | O_CREAT, 0600);
                if (fd < 0 || ftruncate(fd, 2431) != 0)
                    _exit(79);
                close(fd);
            }
            try {
                TSharedMap map(PosixSharedMemory(), name_);
                map.Data->SetLevel(1.0f);  // dies here without the reservation
                _exit(10 + static_cast<int>(row.hostSized));
            } catch (const ESharedMemoryError& e) {
                if (std::string(e.what()) != " Createfilemapping error")
                    _exit(20 + static_cast<int>(row.hostSized));
            }
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no private mount namespace (needs root)";
    ASSERT_FALSE(WIFSIGNALED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1x: mapped although full (x = host-sized), 2x: other text, 78/79: setup";
}

// A platform whose steps fail on demand, counting what was released.
class FakePlatform : public ISharedMemoryPlatform {
public:
    bool failCreate = false, failMap = false, failUnmap = false, failClose = false;
    int creates = 0, maps = 0, unmaps = 0, closes = 0;
    unsigned char memory[2431] = {};

    MapHandle CreateFileMapping(const std::string&, std::uint32_t) override
    {
        ++creates;
        return failCreate ? 0 : 42;
    }
    void* MapViewOfFile(MapHandle handle, std::uint32_t) override
    {
        ++maps;
        EXPECT_EQ(handle, 42);
        return failMap ? nullptr : memory;
    }
    bool UnmapViewOfFile(void* view) override
    {
        ++unmaps;
        EXPECT_EQ(view, memory);
        return !failUnmap;
    }
    bool CloseHandle(MapHandle handle) override
    {
        ++closes;
        EXPECT_EQ(handle, 42);
        return !failClose;
    }
};

std::string ErrorOf(FakePlatform& p)
{
    try {
        TSharedMap map(p);
        map.Destroy();
    } catch (const ESharedMemoryError& e) {
        return e.what();
    }
    return "";
}

TEST(SharedMapFailures, EachStepReportsItsExactTextAndReleasesWhatItHolds)
{
    const struct {
        bool FakePlatform::*fail;
        const char* text;
        int maps, unmaps, closes;
    } cases[] = {
        {&FakePlatform::failCreate, " Createfilemapping error", 0, 0, 0},
        {&FakePlatform::failMap, "Tfilemapping map view error", 1, 0, 1},  // the handle is released
        {&FakePlatform::failUnmap, "TFilemapping unmapviewoffile error", 1, 2, 0},  // the handle stays open; the end tries again
        {&FakePlatform::failClose, "TFileMapping close handle error", 1, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FakePlatform p;
        p.*c.fail = true;
        EXPECT_EQ(ErrorOf(p), c.text);
        EXPECT_EQ(p.maps, c.maps);
        EXPECT_EQ(p.unmaps, c.unmaps);
        EXPECT_EQ(p.closes, c.closes);
    }
}

TEST(SharedMapFailures, DestroyTwiceReleasesOnceAndKeepsData)
{
    FakePlatform p;
    {
        TSharedMap map(p);
        EXPECT_EQ(map.Data, reinterpret_cast<SoundMapRecord*>(p.memory));
        map.Attach();
        map.Destroy();
        EXPECT_EQ(map.View, nullptr);
        EXPECT_EQ(map.Data, reinterpret_cast<SoundMapRecord*>(p.memory)) << "Data is left as it was";
    }
    EXPECT_EQ(p.unmaps, 1);
    EXPECT_EQ(p.closes, 1);
}

}  // namespace
