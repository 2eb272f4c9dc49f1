// The four operating-system operations behind the sound map segment.
// The real layer uses POSIX shared memory; tests substitute their own to
// make each step fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using MapHandle = std::intptr_t;  // 0 = no handle

class ISharedMemoryPlatform {
public:
    virtual ~ISharedMemoryPlatform() = default;
    // Creates a zero-filled segment of `size` bytes, or opens the existing
    // one of that name as it is (never resized). 0 on failure.
    virtual MapHandle CreateFileMapping(const std::string& name, std::uint32_t size) = 0;
    // Maps the whole segment read-write, shared with every other process.
    // Null on failure, and null when the segment is smaller than
    // `requiredSize`: a view shorter than the record must never be handed
    // out, as the first access past its end would kill the process.
    virtual void* MapViewOfFile(MapHandle handle, std::uint32_t requiredSize) = 0;
    virtual bool UnmapViewOfFile(void* view) = 0;
    virtual bool CloseHandle(MapHandle handle) = 0;
};

// POSIX shared memory: "/NAME" under /dev/shm, mode 0600. The segment's
// pages are reserved when it is created or first sized, so that a full
// /dev/shm fails the creation instead of a later store.
ISharedMemoryPlatform& PosixSharedMemory();

// Length of a view that PosixSharedMemory() mapped; 0 for any other.
std::size_t PosixMappedLength(const void* view);

// Reserves the first `size` bytes of a shared-memory object (never shrinks
// it). False when there is no room.
bool ReserveSegmentPages(int fd, std::uint32_t size);

// Whether the segment NAME exists, for tools that attach to a running
// analyzer and must report a mistyped name instead of creating it.
bool SharedSegmentExists(const std::string& name);
