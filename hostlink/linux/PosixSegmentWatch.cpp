#include "PosixSegmentWatch.h"
#include "PosixSharedMemory.h"
#include "Platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint32_t kRecordSize = SoundMapRecord::kSize;

// The watched view, for the signal handler: whole values, lock-free.
std::atomic<std::uintptr_t> g_base{0};
std::atomic<std::uintptr_t> g_length{0};
std::atomic<bool> g_faulted{false};
std::atomic<bool> g_installed{false};
struct sigaction g_previous {};

static_assert(std::atomic<std::uintptr_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// Raw system call: nothing in between that a sanitizer or the C library
// could make unsafe inside a signal handler.
long MapAnonymousAt(std::uintptr_t base, std::uintptr_t length)
{
#ifdef SYS_mmap2
    return syscall(SYS_mmap2, base, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
#else
    return syscall(SYS_mmap, base, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
#endif
}

void OnBusError(int signal, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    const std::uintptr_t base = g_base.load(std::memory_order_relaxed);
    const std::uintptr_t length = g_length.load(std::memory_order_relaxed);
    if (length != 0 && address - base < length && MapAnonymousAt(base, length) != -1) {
        g_faulted.store(true, std::memory_order_relaxed);
        errno = savedErrno;
        return;  // the store runs again, into the anonymous page
    }
    errno = savedErrno;
    if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    // Not ours and nobody else's: the access faults again and ends the
    // process as it would have without the watch.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGBUS, &fallback, nullptr);
}

void InstallHandler()
{
    if (g_installed.exchange(true))
        return;
    struct sigaction action {};
    action.sa_sigaction = &OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previous);
}

std::size_t PageRounded(std::size_t length)
{
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (length + page - 1) / page * page;
}

}  // namespace

TPosixSegmentWatch::TPosixSegmentWatch(TSharedMap& map, std::string name) : map_(map), name_(std::move(name))
{
    view_ = static_cast<unsigned char*>(map_.View);
    length_ = view_ != nullptr && map_.Handle > 0 ? PageRounded(PosixMappedLength(view_)) : 0;
    if (length_ == 0)
        return;  // not a view of the POSIX layer: nothing to watch
    for (std::size_t i = 0; i < kRecordSize; ++i)
        lastGood_.SetRawByte(i, map_.Data->RawByte(i));
    InstallHandler();
    g_length.store(0, std::memory_order_relaxed);
    g_base.store(reinterpret_cast<std::uintptr_t>(view_), std::memory_order_relaxed);
    g_length.store(length_, std::memory_order_relaxed);
    g_faulted.store(false, std::memory_order_relaxed);
}

TPosixSegmentWatch::~TPosixSegmentWatch()
{
    if (length_ != 0 && g_base.load(std::memory_order_relaxed) == reinterpret_cast<std::uintptr_t>(view_)) {
        g_length.store(0, std::memory_order_relaxed);
        g_base.store(0, std::memory_order_relaxed);
    }
}

ISegmentWatch::EChange TPosixSegmentWatch::Check()
{
    if (length_ == 0)
        return EChange::None;
    // Taken before looking, so that a fault after the repair below is seen
    // by the next call.
    const bool faulted = g_faulted.exchange(false, std::memory_order_relaxed) || repairPending_;
    const int fd = static_cast<int>(map_.Handle - 1);
    struct stat mine {};
    if (fstat(fd, &mine) != 0) {
        ReportProblem(std::string("cannot look at it: ") + std::strerror(errno));
        repairPending_ = faulted;
        return EChange::None;
    }

    const int named = shm_open(("/" + name_).c_str(), O_RDWR, 0600);
    bool replaced = false;
    if (named >= 0) {
        struct stat theirs {};
        replaced = fstat(named, &theirs) == 0 && (theirs.st_dev != mine.st_dev || theirs.st_ino != mine.st_ino);
        ::close(named);
    } else if (errno == ENOENT) {
        replaced = true;
    } else {
        ReportProblem(std::string("cannot open the name: ") + std::strerror(errno));
        repairPending_ = faulted;
        return EChange::None;
    }

    if (replaced) {
        // Created with its pages reserved when the name is gone; a host's
        // new segment is taken as start-up takes an existing one.
        const MapHandle handle = PosixSharedMemory().CreateMapping(name_, kRecordSize);
        if (handle == 0) {
            ReportProblem("cannot create or open it again (no room or no permission)");
            repairPending_ = faulted;
            return EChange::None;
        }
        const int fresh = static_cast<int>(handle - 1);
        struct stat st {};
        if (fstat(fresh, &st) != 0 || st.st_size < static_cast<off_t>(kRecordSize)) {
            ::close(fresh);
            ReportProblem("the segment that now bears the name is shorter than the record (" +
                          std::to_string(st.st_size) + " bytes)");
            repairPending_ = faulted;
            return EChange::None;
        }
        // The handle keeps its number and now holds the new object.
        const bool moved = ::dup2(fresh, fd) == fd;
        ::close(fresh);
        if (!moved || !Remap(fd)) {
            ReportProblem(std::string("cannot map it again: ") + std::strerror(errno));
            repairPending_ = true;
            return EChange::None;
        }
        Report(named >= 0 ? "was replaced by another process; the analyzer now writes to the new one"
                          : "was removed by another process; the analyzer created it again");
        return EChange::Replaced;
    }

    const off_t found = mine.st_size;
    if (faulted || found < static_cast<off_t>(kRecordSize)) {
        if (found < static_cast<off_t>(kRecordSize) && ftruncate(fd, kRecordSize) != 0) {
            ReportProblem(std::string("cannot grow it back: ") + std::strerror(errno));
            repairPending_ = true;
            return EChange::None;
        }
        if (!ReserveSegmentPages(fd, kRecordSize)) {
            ReportProblem("no room to grow it back in /dev/shm");
            repairPending_ = true;
            return EChange::None;
        }
        if (!Remap(fd)) {
            ReportProblem(std::string("cannot map it again: ") + std::strerror(errno));
            repairPending_ = true;
            return EChange::None;
        }
        Report("was cut short by another process (" + std::to_string(found) + " bytes); grown back to " +
               std::to_string(kRecordSize) + " bytes and written again");
        return EChange::Regrown;
    }

    // Whole: remember what it holds, unless it was cut while being read.
    SoundMapRecord copy{};
    for (std::size_t i = 0; i < kRecordSize; ++i)
        copy.SetRawByte(i, map_.Data->RawByte(i));
    struct stat after {};
    if (!g_faulted.load(std::memory_order_relaxed) && fstat(fd, &after) == 0 &&
        after.st_size >= static_cast<off_t>(kRecordSize))
        lastGood_ = copy;
    return EChange::None;
}

bool TPosixSegmentWatch::Remap(int fd)
{
    // MAP_FIXED replaces the pages in one step: a thread storing into the
    // record meanwhile finds either the old or the new memory there.
    if (mmap(view_, length_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) != MAP_FAILED) {
        repairPending_ = false;
        lastProblem_.clear();
        return true;
    }
    const int error = errno;
    // A failed MAP_FIXED may have unmapped the range: keep memory there.
    mmap(view_, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    errno = error;
    return false;
}

void TPosixSegmentWatch::Report(const std::string& line)
{
    std::fprintf(stderr, "%s: the segment /%s %s\n", VxPlatform::ProgramName().c_str(), name_.c_str(), line.c_str());
    std::fflush(stderr);
}

void TPosixSegmentWatch::ReportProblem(const std::string& line)
{
    if (line == lastProblem_)
        return;
    lastProblem_ = line;
    std::fprintf(stderr, "%s: the segment /%s cannot be restored yet (%s); retrying\n", VxPlatform::ProgramName().c_str(),
                 name_.c_str(), line.c_str());
    std::fflush(stderr);
}

std::unique_ptr<ISegmentWatch> MakeSegmentWatch(TSharedMap& map, std::string name)
{
    return std::make_unique<TPosixSegmentWatch>(map, std::move(name));
}
