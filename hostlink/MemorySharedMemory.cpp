#include "MemorySharedMemory.h"

MapHandle TMemorySharedMemory::CreateMapping(const std::string& name, std::uint32_t size)
{
    auto segment = std::make_unique<Segment>();
    segment->name = name;
    segment->bytes.assign(size, 0);
    const MapHandle handle = next_++;
    segments_[handle] = std::move(segment);
    return handle;
}

void* TMemorySharedMemory::MapView(MapHandle handle, std::uint32_t requiredSize)
{
    auto it = segments_.find(handle);
    if (it == segments_.end() || it->second->bytes.size() < requiredSize)
        return nullptr;
    return it->second->bytes.data();
}

bool TMemorySharedMemory::UnmapView(void* view)
{
    return view != nullptr;
}

bool TMemorySharedMemory::CloseMapping(MapHandle handle)
{
    return segments_.erase(handle) == 1;
}
