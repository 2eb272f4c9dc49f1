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
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

constexpr std::uint32_t kRecordSize = SoundMapRecord::kSize;

// The guarded views, for the signal handler: whole values, lock-free. A
// slot is claimed through `used`; `length` is set last and cleared first,
// so that the handler never sees a half-set slot.
struct TGuardSlot {
    std::atomic<bool> used{false};
    std::atomic<std::uintptr_t> base{0};
    std::atomic<std::uintptr_t> length{0};
    std::atomic<bool> faulted{false};
};
constexpr int kGuardSlots = 8;
TGuardSlot g_slots[kGuardSlots];
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
    for (TGuardSlot& slot : g_slots) {
        const std::uintptr_t length = slot.length.load(std::memory_order_acquire);
        const std::uintptr_t base = slot.base.load(std::memory_order_relaxed);
        if (length != 0 && address - base < length && MapAnonymousAt(base, length) != -1) {
            slot.faulted.store(true, std::memory_order_relaxed);
            errno = savedErrno;
            return;  // the access runs again, on the anonymous page
        }
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
    // process as it would have without the guard.
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

TViewGuard::~TViewGuard()
{
    Release();
}

bool TViewGuard::Guard(void* base, std::size_t length)
{
    Release();
    InstallHandler();
    for (int i = 0; i < kGuardSlots; ++i) {
        bool expected = false;
        if (!g_slots[i].used.compare_exchange_strong(expected, true))
            continue;
        g_slots[i].faulted.store(false, std::memory_order_relaxed);
        g_slots[i].base.store(reinterpret_cast<std::uintptr_t>(base), std::memory_order_relaxed);
        g_slots[i].length.store(length, std::memory_order_release);
        slot_ = i;
        return true;
    }
    return false;
}

void TViewGuard::Release()
{
    if (slot_ < 0)
        return;
    TGuardSlot& slot = g_slots[slot_];
    slot.length.store(0, std::memory_order_release);
    slot.base.store(0, std::memory_order_relaxed);
    slot.faulted.store(false, std::memory_order_relaxed);
    slot.used.store(false, std::memory_order_release);
    slot_ = -1;
}

bool TViewGuard::TakeFault()
{
    return slot_ >= 0 && g_slots[slot_].faulted.exchange(false, std::memory_order_relaxed);
}

bool TViewGuard::Faulted() const
{
    return slot_ >= 0 && g_slots[slot_].faulted.load(std::memory_order_relaxed);
}

TPosixSegmentWatch::TPosixSegmentWatch(TSharedMap& map, std::string name) : map_(map), name_(std::move(name))
{
    view_ = static_cast<unsigned char*>(map_.View);
    length_ = view_ != nullptr && map_.Handle > 0 ? PageRounded(PosixMappedLength(view_)) : 0;
    if (length_ == 0)
        return;  // not a view of the POSIX layer: nothing to watch
    for (std::size_t i = 0; i < kRecordSize; ++i)
        lastGood_.SetRawByte(i, map_.Data->RawByte(i));
    guard_.Guard(view_, length_);
}

ISegmentWatch::EChange TPosixSegmentWatch::Check()
{
    if (length_ == 0)
        return EChange::None;
    // Taken before looking, so that a fault after the repair below is seen
    // by the next call.
    const bool faulted = guard_.TakeFault() || repairPending_;
    const int fd = static_cast<int>(map_.Handle - 1);
    struct stat mine {};
    if (fstat(fd, &mine) != 0) {
        ReportProblem(std::string("cannot look at it: ") + std::strerror(errno));
        repairPending_ = faulted;
        return EChange::None;
    }

    const TSegmentFile named = OpenSegmentFile(name_, false, 0);
    bool replaced = false;
    if (named.fd >= 0) {
        replaced = named.device != mine.st_dev || named.inode != mine.st_ino;
        ::close(named.fd);
    } else if (named.missing) {
        replaced = true;
    } else {
        ReportProblem("the name " + named.problem);
        repairPending_ = faulted;
        return EChange::None;
    }

    if (replaced) {
        // Created with its pages reserved when the name is gone; a host's
        // new segment is taken as start-up takes an existing one.
        const MapHandle handle = PosixSharedMemory().CreateMapping(name_, kRecordSize);
        if (handle == 0) {
            ReportProblem("cannot create or open it again: it " + LastSegmentProblem());
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
        Report(named.fd >= 0 ? "was replaced by another process; the analyzer now writes to the new one"
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
    if (!guard_.Faulted() && fstat(fd, &after) == 0 &&
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

namespace {

using TClock = std::chrono::steady_clock;

// Each text at most once a minute; repeats meanwhile are counted and the
// count said when the minute is over.
class TNotices {
public:
    explicit TNotices(TSegmentNotice notice) : notice_(std::move(notice)) {}

    void Say(const std::string& text, TClock::time_point now)
    {
        auto [it, fresh] = seen_.try_emplace(text);
        if (!fresh && now - it->second.said < kMinute) {
            ++it->second.repeats;
            ++pending_;
            return;
        }
        it->second = {now, 0};
        Emit(text);
        if (seen_.size() > 64)
            Forget(now);
    }

    void Tick(TClock::time_point now)
    {
        if (pending_ == 0)
            return;
        for (auto& [text, entry] : seen_) {
            if (entry.repeats == 0 || now - entry.said < kMinute)
                continue;
            Emit(text + " (" + std::to_string(entry.repeats) + (entry.repeats == 1 ? " more time" : " more times") +
                 " in the last minute)");
            pending_ -= entry.repeats;
            entry = {now, 0};
        }
    }

private:
    static constexpr auto kMinute = std::chrono::minutes(1);
    struct TEntry {
        TClock::time_point said;
        long repeats = 0;
    };

    void Emit(const std::string& text)
    {
        if (notice_)
            notice_(text);
    }

    void Forget(TClock::time_point now)
    {
        for (auto it = seen_.begin(); it != seen_.end();)
            it = it->second.repeats == 0 && now - it->second.said >= kMinute ? seen_.erase(it) : std::next(it);
    }

    TSegmentNotice notice_;
    std::map<std::string, TEntry> seen_;
    long pending_ = 0;
};

// The view stays at one address for the object's life: the record pointer
// never changes, and the guard covers it from the start.
class TPosixHostSegment final : public IHostSegment {
public:
    TPosixHostSegment(std::string name, TSegmentNotice notice)
        : name_(std::move(name)), path_("/dev/shm/" + name_), notices_(std::move(notice)),
          length_(PageRounded(kRecordSize))
    {
        void* view = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (view != MAP_FAILED) {
            view_ = static_cast<unsigned char*>(view);
            guard_.Guard(view_, length_);
        }
    }

    ~TPosixHostSegment() override
    {
        guard_.Release();
        if (view_ != nullptr)
            munmap(view_, length_);
    }

    TPosixHostSegment(const TPosixHostSegment&) = delete;
    TPosixHostSegment& operator=(const TPosixHostSegment&) = delete;

    SoundMapRecord* Follow() override
    {
        const TClock::time_point now = TClock::now();
        notices_.Tick(now);
        const bool faulted = guard_.TakeFault();
        if (view_ == nullptr) {
            Lose("cannot be mapped: no address space", false, now);
            return nullptr;
        }
        if (joined_ && !faulted && (now < nextLook_ || StillThere()))
            return Record(now);
        nextLook_ = now + kLookEvery;

        const TSegmentFile file = OpenSegmentFile(name_, false, kRecordSize);
        if (file.fd < 0) {
            Lose(file.problem, file.missing, now);
            return nullptr;
        }
        // MAP_FIXED swaps the pages in one step. A cut between the check
        // of the size and here faults on the next read: the guard then
        // keeps the process alive and the next call looks again.
        const bool mapped =
            mmap(view_, length_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, file.fd, 0) != MAP_FAILED;
        const int error = errno;
        ::close(file.fd);
        if (!mapped) {
            MapAnonymousAt(reinterpret_cast<std::uintptr_t>(view_), length_);
            Lose(std::string("cannot be mapped: ") + std::strerror(error), false, now);
            return nullptr;
        }
        // Said with its cause, so that a rejoin after another loss is not
        // taken for a repeat.
        std::string said = "mapped the segment /" + name_;
        if (everJoined_) {
            const std::string cause = !lostBecause_.empty() ? lostBecause_
                                      : faulted            ? "was cut short"
                                                           : "was replaced";
            said = "rejoined the segment /" + name_ + " after it " + cause;
        }
        device_ = file.device;
        inode_ = file.inode;
        everJoined_ = joined_ = true;
        lastProblem_.clear();
        lostBecause_.clear();
        notices_.Say(said, now);
        return Record(now);
    }

private:
    static constexpr auto kLookEvery = std::chrono::milliseconds(10);

    SoundMapRecord* Record(TClock::time_point now)
    {
        if (now >= nextLook_)
            nextLook_ = now + kLookEvery;
        return reinterpret_cast<SoundMapRecord*>(view_);
    }

    // Whether the name still bears the mapped object, whole; looked at
    // without opening anything.
    bool StillThere() const
    {
        struct stat st {};
        return lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == device_ &&
               st.st_ino == inode_ && st.st_uid == geteuid() && st.st_size >= static_cast<off_t>(kRecordSize);
    }

    void Lose(const std::string& problem, bool missing, TClock::time_point now)
    {
        if (joined_) {
            joined_ = false;
            lostBecause_ = missing ? "was removed" : "was refused: it " + problem;
            // Lets go of the object that lost the name or its pages.
            MapAnonymousAt(reinterpret_cast<std::uintptr_t>(view_), length_);
            notices_.Say("the segment /" + name_ + (missing ? " was removed" : " " + problem) +
                             ": the analyzer is gone for now; waiting for it again",
                         now);
        } else if (problem != lastProblem_) {
            notices_.Say(missing ? "waiting for the segment /" + name_ + " (it appears when the analyzer starts)"
                                 : "cannot use the segment /" + name_ + ": it " + problem + "; waiting until it can be",
                         now);
        }
        lastProblem_ = problem;
    }

    std::string name_;
    std::string path_;
    TNotices notices_;
    std::size_t length_;
    unsigned char* view_ = nullptr;
    TViewGuard guard_;
    TClock::time_point nextLook_{};
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool joined_ = false;
    bool everJoined_ = false;
    std::string lastProblem_;
    std::string lostBecause_;  // why the last segment was let go, for the rejoin
};

}  // namespace

std::unique_ptr<IHostSegment> MakeHostSegment(std::string name, TSegmentNotice notice)
{
    return std::make_unique<TPosixHostSegment>(std::move(name), std::move(notice));
}

std::string SegmentProblem()
{
    return LastSegmentProblem();
}

std::unique_ptr<ISegmentWatch> MakeSegmentWatch(TSharedMap& map, std::string name)
{
    return std::make_unique<TPosixSegmentWatch>(map, std::move(name));
}
