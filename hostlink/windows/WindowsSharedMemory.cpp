// Named file mappings backed by the paging file: the system's own form of
// the record's segment, found by hosts under the same name.
#include <windows.h>

#include "SharedMemoryPlatform.h"

namespace {

HANDLE AsHandle(MapHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

class WindowsLayer final : public ISharedMemoryPlatform {
public:
    MapHandle CreateMapping(const std::string& name, std::uint32_t size) override
    {
        // A new mapping is zero-filled; an existing one keeps its size.
        HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str());
        return mapping != nullptr ? reinterpret_cast<MapHandle>(mapping) : 0;
    }

    void* MapView(MapHandle handle, std::uint32_t requiredSize) override
    {
        if (handle == 0)
            return nullptr;
        void* view = ::MapViewOfFile(AsHandle(handle), FILE_MAP_ALL_ACCESS, 0, 0, 0);
        if (view == nullptr)
            return nullptr;
        // Views cover whole pages, and no other process can shorten a
        // mapping: what the region holds stays accessible for good.
        MEMORY_BASIC_INFORMATION info{};
        if (::VirtualQuery(view, &info, sizeof info) == 0 || info.RegionSize < requiredSize) {
            ::UnmapViewOfFile(view);
            return nullptr;
        }
        return view;
    }

    bool UnmapView(void* view) override { return view != nullptr && ::UnmapViewOfFile(view); }

    bool CloseMapping(MapHandle handle) override { return handle != 0 && ::CloseHandle(AsHandle(handle)); }
};

}  // namespace

ISharedMemoryPlatform& PlatformSharedMemory()
{
    static WindowsLayer layer;
    return layer;
}

bool SharedSegmentExists(const std::string& name)
{
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (mapping == nullptr)
        return false;
    ::CloseHandle(mapping);
    return true;
}
