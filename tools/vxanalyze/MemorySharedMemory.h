// A process-private stand-in for the shared segment: the offline analyzer
// and the tests publish into a record nobody else maps.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SharedMemoryPlatform.h"

class TMemorySharedMemory final : public ISharedMemoryPlatform {
public:
    MapHandle CreateFileMapping(const std::string& name, std::uint32_t size) override;
    void* MapViewOfFile(MapHandle handle, std::uint32_t requiredSize) override;
    bool UnmapViewOfFile(void* view) override;
    bool CloseHandle(MapHandle handle) override;

private:
    struct Segment {
        std::string name;
        std::vector<unsigned char> bytes;
    };
    std::map<MapHandle, std::unique_ptr<Segment>> segments_;
    MapHandle next_ = 1;
};
