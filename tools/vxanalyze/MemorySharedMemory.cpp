#include "MemorySharedMemory.h"

MapHandle TMemorySharedMemory::CreateFileMapping(const std::string& name, std::uint32_t size)
{
    auto segment = std::make_unique<Segment>();
    segment->name = name;
    segment->bytes.assign(size, 0);
    const MapHandle handle = next_++;
    segments_[handle] = std::move(segment);
    return handle;
}

void* TMemorySharedMemory::MapViewOfFile(MapHandle handle, std::uint32_t requiredSize)
{
    auto it = segments_.find(handle);
    if (it == segments_.end() || it->second->bytes.size() < requiredSize)
        return nullptr;
    return it->second->bytes.data();
}

bool TMemorySharedMemory::UnmapViewOfFile(void* view)
{
    return view != nullptr;
}

bool TMemorySharedMemory::CloseHandle(MapHandle handle)
{
    return segments_.erase(handle) == 1;
}
