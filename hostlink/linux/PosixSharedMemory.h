// POSIX shared memory: "/NAME" under /dev/shm, mode 0600. The segment's
// pages are reserved when it is created or first sized, so that a full
// /dev/shm fails the creation instead of a later store.
//
// /dev/shm is writable by every local user: whatever bears the name is
// opened without following a link or blocking (a FIFO would hang open()),
// and only a regular file of the effective user is taken.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "SharedMemoryPlatform.h"

ISharedMemoryPlatform& PosixSharedMemory();

// Length of a view that PosixSharedMemory() mapped; 0 for any other.
std::size_t PosixMappedLength(const void* view);

// Reserves the first `size` bytes of a shared-memory object (never shrinks
// it). False when there is no room.
bool ReserveSegmentPages(int fd, std::uint32_t size);

// The outcome of opening the object that bears a name now.
struct TSegmentFile {
    int fd = -1;           // open read-write, close-on-exec; -1 when refused
    bool missing = false;  // nothing bears the name
    std::string problem;   // why it was refused, e.g. "is a FIFO, not a shared-memory segment"
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
};

// Opens "/NAME" as above; `create` makes it (mode 0600, empty) when the
// name is free. A size below `minSize` is refused, the file closed.
TSegmentFile OpenSegmentFile(const std::string& name, bool create, std::uint32_t minSize);

// Why the last CreateMapping() of this thread failed, in words; empty
// when it did not or the reason is not known.
const std::string& LastSegmentProblem();
