// The four operating-system operations behind the sound map segment.
// Each system has its own layer; tests substitute their own to make each
// step fail.
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
    virtual MapHandle CreateMapping(const std::string& name, std::uint32_t size) = 0;
    // Maps the whole segment read-write, shared with every other process.
    // Null on failure, and null when the segment is smaller than
    // `requiredSize`: a view shorter than the record must never be handed
    // out, as the first access past its end would kill the process.
    virtual void* MapView(MapHandle handle, std::uint32_t requiredSize) = 0;
    virtual bool UnmapView(void* view) = 0;
    virtual bool CloseMapping(MapHandle handle) = 0;
};

// The operating system's own layer: POSIX shared memory on Linux, named
// file mappings on Windows.
ISharedMemoryPlatform& PlatformSharedMemory();

// Whether the segment NAME exists, for tools that attach to a running
// analyzer and must report a mistyped name instead of creating it.
bool SharedSegmentExists(const std::string& name);
