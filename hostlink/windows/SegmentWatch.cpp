// A named mapping cannot be cut short or replaced while the analyzer holds
// it open: there is never anything to repair.
#include "SegmentWatch.h"

namespace {

class TSteadySegmentWatch final : public ISegmentWatch {
public:
    explicit TSteadySegmentWatch(TSharedMap& map)
    {
        if (map.Data != nullptr)
            lastGood_ = *map.Data;
    }
    EChange Check() override { return EChange::None; }
    const SoundMapRecord& LastGood() const override { return lastGood_; }

private:
    SoundMapRecord lastGood_{};
};

}  // namespace

std::unique_ptr<ISegmentWatch> MakeSegmentWatch(TSharedMap& map, std::string)
{
    return std::make_unique<TSteadySegmentWatch>(map);
}
