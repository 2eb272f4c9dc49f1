#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "PosixSharedMemory.h"
#include "SegmentWatch.h"
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

    // A segment the host made and filled before the analyzer started.
    void MakeHostSegment(off_t size)
    {
        const int fd = shm_open(("/" + name_).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        const std::string fill(static_cast<std::size_t>(size), '\x5A');
        EXPECT_EQ(write(fd, fill.data(), fill.size()), size);
        close(fd);
    }

    std::string name_;
};

// A new segment is the record's size, zeroed and private to the user. A
// host's is taken as it is: never resized, its bytes kept; one too short
// for the record is refused, not mapped and not grown. A second view by
// name (the host's) shares the bytes.
TEST_F(SegmentTest, NewSegmentIsZeroedAndPrivateHostSegmentIsTakenAsItIs)
{
    for (const off_t hostSize : {off_t{0}, off_t{4096}, off_t{2431}, off_t{2430}}) {
        SCOPED_TRACE(hostSize);
        shm_unlink(("/" + name_).c_str());
        if (hostSize > 0)
            MakeHostSegment(hostSize);
        try {
            TSharedMap map(PosixSharedMemory(), name_);
            EXPECT_NE(hostSize, 2430) << "a short segment must not be mapped as the record";
            for (std::size_t i = 0; i < SoundMapRecord::kSize; ++i)
                ASSERT_EQ(map.Data->RawByte(i), hostSize > 0 ? 0x5A : 0) << i;
            TSharedMap host(PosixSharedMemory(), name_);
            host.Data->SetTrig(1);
            EXPECT_EQ(map.Data->Trig(), 1);
        } catch (const ESharedMemoryError& e) {
            EXPECT_EQ(hostSize, 2430);
            EXPECT_STREQ(e.what(), "Tfilemapping map view error");
        }
        struct stat st {};
        ASSERT_EQ(stat(("/dev/shm/" + name_).c_str(), &st), 0);
        EXPECT_EQ(st.st_size, hostSize > 0 ? hostSize : 2431);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
}

// A full /dev/shm, in a private mount namespace with a one-page tmpfs that
// a file fills: creating the segment, or taking a host's segment that was
// sized but never written, fails with the creation text instead of killing
// the first store with SIGBUS.
TEST_F(SegmentTest, FullDevShmFailsTheCreationInsteadOfTheFirstStore)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/dev/shm", "tmpfs", 0, "size=4k") != 0)
        GTEST_SKIP() << "no private mount namespace: " << std::strerror(errno);
    std::ofstream("/dev/shm/fill") << std::string(4096, 'f');
    for (const bool hostSized : {false, true}) {
        SCOPED_TRACE(hostSized ? "sized by the host" : "new");
        shm_unlink(("/" + name_).c_str());
        if (hostSized) {
            const int fd = shm_open(("/" + name_).c_str(), O_RDWR | O_CREAT, 0600);
            ASSERT_EQ(ftruncate(fd, 2431), 0);
            close(fd);
        }
        try {
            TSharedMap map(PosixSharedMemory(), name_);
            map.Data->SetLevel(1.0f);  // dies of SIGBUS here without the reservation
            ADD_FAILURE() << "mapped although full";
        } catch (const ESharedMemoryError& e) {
            EXPECT_STREQ(e.what(), " Createfilemapping error");
        }
    }
    umount2("/dev/shm", MNT_DETACH);
}

// Whatever another user or a careless host put under the name: the
// analyzer's opening and a host's both refuse it at once (never blocking,
// never following a link) and say why; a host also refuses a short one.
TEST_F(SegmentTest, WhatIsNotTheUsersOwnSegmentIsRefusedWithTheReason)
{
    const std::string path = "/dev/shm/" + name_;
    const struct {
        const char* what;
        std::function<int()> make;  // 0 when made
        const char* says;
        bool analyzerTakesIt;
    } squatters[] = {
        {"FIFO", [&] { return mkfifo(path.c_str(), 0600); }, "is a FIFO, not a shared-memory segment", false},
        {"link", [&] { return symlink("/etc/hostname", path.c_str()); }, "is a symbolic link, not a", false},
        {"folder", [&] { return mkdir(path.c_str(), 0700); }, "is a directory, not a", false},
        {"other user's",
         [&] {
             MakeHostSegment(2431);
             return geteuid() == 0 ? chown(path.c_str(), 65534, 65534) : -1;
         },
         "belongs to user 65534, not to this user", false},
        {"empty", [&] { return close(creat(path.c_str(), 0600)); },
         "is 0 bytes, shorter than the record's 2431", true},
    };
    for (const auto& s : squatters) {
        SCOPED_TRACE(s.what);
        if (s.make() != 0) {
            std::printf("skipped the %s segment: %s\n", s.what, geteuid() != 0 ? "needs root" : std::strerror(errno));
            shm_unlink(("/" + name_).c_str());
            continue;
        }
        std::string said;
        auto host = ::MakeHostSegment(name_, [&](const std::string& text) { said += text + "\n"; });
        EXPECT_EQ(host->Follow(), nullptr);
        EXPECT_NE(said.find(s.says), std::string::npos) << said;
        try {
            TSharedMap map(PosixSharedMemory(), name_);
            EXPECT_TRUE(s.analyzerTakesIt);
        } catch (const ESharedMemoryError& e) {
            EXPECT_FALSE(s.analyzerTakesIt);
            EXPECT_STREQ(e.what(), " Createfilemapping error");
            EXPECT_NE(SegmentProblem().find(s.says), std::string::npos) << SegmentProblem();
        }
        rmdir(path.c_str());
        unlink(path.c_str());
    }
}

}  // namespace
