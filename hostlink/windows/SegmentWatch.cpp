// A named mapping cannot be cut short or replaced while the analyzer holds
// it open: there is never anything to repair.
#include "SegmentWatch.h"

#include <chrono>

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

namespace {

// Hosts open the mapping once it exists and keep it: the name can neither
// be taken from it nor the mapping be shortened while they hold it.
class TSteadyHostSegment final : public IHostSegment {
public:
    TSteadyHostSegment(std::string name, TSegmentNotice notice) : name_(std::move(name)), notice_(std::move(notice)) {}

    SoundMapRecord* Follow() override
    {
        if (map_)
            return map_->Data;
        const auto now = std::chrono::steady_clock::now();
        if (now < nextLook_)
            return nullptr;
        nextLook_ = now + std::chrono::seconds(1);
        if (!SharedSegmentExists(name_)) {
            SayOnce("waiting for the segment " + name_ + " (it appears when the analyzer starts)");
            return nullptr;
        }
        try {
            map_ = std::make_unique<TSharedMap>(PlatformSharedMemory(), name_);
        } catch (const ESharedMemoryError& e) {
            SayOnce("cannot map the segment " + name_ + ":" + e.what() + "; trying again every second");
            return nullptr;
        }
        Say("mapped the segment " + name_);
        return map_->Data;
    }

private:
    void Say(const std::string& text)
    {
        if (notice_)
            notice_(text);
    }
    void SayOnce(const std::string& text)
    {
        if (text != said_)
            Say(text);
        said_ = text;
    }

    std::string name_;
    TSegmentNotice notice_;
    std::unique_ptr<TSharedMap> map_;
    std::string said_;
    std::chrono::steady_clock::time_point nextLook_{};
};

}  // namespace

std::unique_ptr<IHostSegment> MakeHostSegment(std::string name, TSegmentNotice notice)
{
    return std::make_unique<TSteadyHostSegment>(std::move(name), std::move(notice));
}

std::string SegmentProblem()
{
    return {};
}
