#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "PosixSharedMemory.h"

namespace {

class PosixLayer final : public ISharedMemoryPlatform {
public:
    MapHandle CreateMapping(const std::string& name, std::uint32_t size) override
    {
        const std::string shmName = "/" + name;
        // Only the user's own processes may map the record.
        int fd = shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            if (ftruncate(fd, static_cast<off_t>(size)) != 0 || !ReserveSegmentPages(fd, size)) {
                ::close(fd);
                return 0;
            }
        } else {
            if (errno != EEXIST)
                return 0;
            fd = shm_open(shmName.c_str(), O_RDWR, 0600);
            if (fd < 0)
                return 0;
            struct stat st {};
            if (fstat(fd, &st) != 0) {
                ::close(fd);
                return 0;
            }
            // Size 0 is a segment whose creator has not sized it yet (it
            // holds no data to lose); grow it like the creator will. Any
            // other size is left exactly as it is.
            if (st.st_size == 0 && ftruncate(fd, static_cast<off_t>(size)) != 0) {
                ::close(fd);
                return 0;
            }
            // A segment too short for the record is refused by the view
            // and not grown here; any other is reserved like a new one.
            if ((st.st_size == 0 || st.st_size >= static_cast<off_t>(size)) && !ReserveSegmentPages(fd, size)) {
                ::close(fd);
                return 0;
            }
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
    const int fd = shm_open(("/" + name).c_str(), O_RDONLY, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}
