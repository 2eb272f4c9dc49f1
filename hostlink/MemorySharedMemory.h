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
    MapHandle CreateMapping(const std::string& name, std::uint32_t size) override;
    void* MapView(MapHandle handle, std::uint32_t requiredSize) override;
    bool UnmapView(void* view) override;
    bool CloseMapping(MapHandle handle) override;

private:
    struct Segment {
        std::string name;
        std::vector<unsigned char> bytes;
    };
    std::map<MapHandle, std::unique_ptr<Segment>> segments_;
    MapHandle next_ = 1;
};
