#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "PosixSharedMemory.h"

namespace {

std::string& Problem()
{
    thread_local std::string problem;
    return problem;
}

std::string SegmentPath(const std::string& name)
{
    // Where glibc's shm_open() puts "/NAME" on Linux.
    return "/dev/shm/" + name;
}

std::string Kind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not a regular file";
}

// Empty when `st` is a segment this process may take.
std::string Judge(const struct stat& st, std::uint32_t minSize)
{
    if (!S_ISREG(st.st_mode))
        return "is " + Kind(st.st_mode) + ", not a shared-memory segment";
    if (st.st_uid != geteuid())
        return "belongs to user " + std::to_string(st.st_uid) + ", not to this user (" + std::to_string(geteuid()) + ")";
    if (st.st_size < static_cast<off_t>(minSize))
        return "is " + std::to_string(st.st_size) + " bytes, shorter than the record's " + std::to_string(minSize);
    return {};
}

class PosixLayer final : public ISharedMemoryPlatform {
public:
    MapHandle CreateMapping(const std::string& name, std::uint32_t size) override
    {
        std::string& problem = Problem();
        problem.clear();
        // Only the user's own processes may map the record.
        TSegmentFile file = OpenSegmentFile(name, true, 0);
        if (file.fd < 0) {
            problem = file.problem;
            return 0;
        }
        const int fd = file.fd;
        // Size 0 is a segment whose creator has not sized it yet (it holds
        // no data to lose); grow it like the creator will. Any other size
        // is left exactly as it is.
        if (file.size == 0 && ftruncate(fd, static_cast<off_t>(size)) != 0) {
            problem = std::string("cannot be sized: ") + std::strerror(errno);
            ::close(fd);
            return 0;
        }
        // A segment too short for the record is refused by the view and
        // not grown here; any other is reserved like a new one.
        if ((file.size == 0 || file.size >= static_cast<off_t>(size)) && !ReserveSegmentPages(fd, size)) {
            problem = "has no room in /dev/shm";
            ::close(fd);
            return 0;
        }
        // Handles are fd + 1 so that 0 keeps meaning "no handle".
        return static_cast<MapHandle>(fd) + 1;
    }

    void* MapView(MapHandle handle, std::uint32_t requiredSize) override
    {
        if (handle <= 0)
            return nullptr;
        const int fd = static_cast<int>(handle - 1);
        struct stat st {};
        if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(requiredSize) || st.st_size <= 0)
            return nullptr;
        void* view = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (view == MAP_FAILED)
            return nullptr;
        std::lock_guard lock(mutex_);
        lengths_[view] = static_cast<size_t>(st.st_size);
        return view;
    }

    bool UnmapView(void* view) override
    {
        size_t length = 0;
        {
            std::lock_guard lock(mutex_);
            auto it = lengths_.find(view);
            if (it == lengths_.end())
                return false;
            length = it->second;
            lengths_.erase(it);
        }
        return munmap(view, length) == 0;
    }

    std::size_t MappedLength(const void* view)
    {
        std::lock_guard lock(mutex_);
        const auto it = lengths_.find(const_cast<void*>(view));
        return it == lengths_.end() ? 0 : it->second;
    }

    bool CloseMapping(MapHandle handle) override
    {
        if (handle <= 0)
            return false;
        return ::close(static_cast<int>(handle - 1)) == 0;
    }

private:
    std::mutex mutex_;
    std::unordered_map<void*, size_t> lengths_;
};

}  // namespace

namespace {

PosixLayer& Layer()
{
    static PosixLayer layer;
    return layer;
}

}  // namespace

ISharedMemoryPlatform& PosixSharedMemory()
{
    return Layer();
}

ISharedMemoryPlatform& PlatformSharedMemory()
{
    return Layer();
}

std::size_t PosixMappedLength(const void* view)
{
    return Layer().MappedLength(view);
}

bool ReserveSegmentPages(int fd, std::uint32_t size)
{
    // The object is sparse until written: on a full /dev/shm the first
    // store into the view would kill the process with SIGBUS instead.
    return posix_fallocate(fd, 0, static_cast<off_t>(size)) == 0;
}

bool SharedSegmentExists(const std::string& name)
{
    // Looked at, not opened: opening a FIFO squatting the name would block.
    struct stat st {};
    return lstat(SegmentPath(name).c_str(), &st) == 0;
}

const std::string& LastSegmentProblem()
{
    return Problem();
}

TSegmentFile OpenSegmentFile(const std::string& name, bool create, std::uint32_t minSize)
{
    TSegmentFile result;
    const std::string path = SegmentPath(name);
    constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = -1;
    if (create) {
        fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno != EEXIST) {
            result.problem = std::string("cannot be created: ") + std::strerror(errno);
            return result;
        }
    }
    struct stat st {};
    if (fd < 0) {
        // Judged before it is opened: opening a device may do something.
        if (lstat(path.c_str(), &st) != 0) {
            result.missing = errno == ENOENT;
            result.problem = result.missing ? "does not exist" : std::string("cannot be looked at: ") + std::strerror(errno);
            return result;
        }
        result.problem = Judge(st, minSize);
        if (!result.problem.empty())
            return result;
        fd = ::open(path.c_str(), kFlags);
        if (fd < 0) {
            result.missing = errno == ENOENT;
            result.problem = result.missing ? "does not exist" : std::string("cannot be opened: ") + std::strerror(errno);
            return result;
        }
    }
    // Judged again on what was opened: the name may have changed hands.
    if (fstat(fd, &st) != 0) {
        result.problem = std::string("cannot be looked at: ") + std::strerror(errno);
        ::close(fd);
        return result;
    }
    result.problem = Judge(st, minSize);
    if (!result.problem.empty()) {
        ::close(fd);
        return result;
    }
    result.fd = fd;
    result.device = st.st_dev;
    result.inode = st.st_ino;
    result.size = st.st_size;
    return result;
}
