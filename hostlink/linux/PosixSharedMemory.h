// POSIX shared memory: "/NAME" under /dev/shm, mode 0600. The segment's
// pages are reserved when it is created or first sized, so that a full
// /dev/shm fails the creation instead of a later store.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SharedMemoryPlatform.h"

ISharedMemoryPlatform& PosixSharedMemory();

// Length of a view that PosixSharedMemory() mapped; 0 for any other.
std::size_t PosixMappedLength(const void* view);

// Reserves the first `size` bytes of a shared-memory object (never shrinks
// it). False when there is no room.
bool ReserveSegmentPages(int fd, std::uint32_t size);
