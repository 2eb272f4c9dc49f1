// The segment as a named file mapping backed by the paging file. A name
// lives as long as one process holds a handle to it, so neither the host
// nor anyone else can cut or replace the segment under the analyzer.
#include "SharedMemoryPlatform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

class TFileMappingMemory final : public ISharedMemoryPlatform {
public:
    MapHandle CreateMapping(const std::string& name, std::uint32_t size) override
    {
        // An existing mapping of that name is opened as it is.
        HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str());
        return reinterpret_cast<MapHandle>(h);
    }

    void* MapView(MapHandle handle, std::uint32_t requiredSize) override
    {
        // A mapping shorter than the record cannot be viewed at the
        // record's length: the call fails instead of a later access.
        return MapViewOfFile(reinterpret_cast<HANDLE>(handle), FILE_MAP_ALL_ACCESS, 0, 0, requiredSize);
    }

    bool UnmapView(void* view) override { return UnmapViewOfFile(view) != 0; }

    bool CloseMapping(MapHandle handle) override { return CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0; }
};

}  // namespace

ISharedMemoryPlatform& PlatformSharedMemory()
{
    static TFileMappingMemory memory;
    return memory;
}

bool SharedSegmentExists(const std::string& name)
{
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (h == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(h);
    return true;
}
