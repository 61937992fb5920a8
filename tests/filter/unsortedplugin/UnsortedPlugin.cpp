// A plug-in library whose feeds are listed out of alphabetical order, each with its
// own delivery system, so that a test can tell which one the filter selected.
#include <new>

#include "feeds/sdk/Feed.h"

namespace {

struct Device {
    const char* name;
    FeedType type;
};
constexpr Device kDevices[] = {{"Zeta Tuner", kFeedDvbS}, {"alpha Tuner", kFeedDvbC}, {"Mu Tuner", kFeedDvbT}};

class NamedFeed : public CFeed {
public:
    explicit NamedFeed(const Device& device) {
        type_ = device.type;
        SetText(name_, device.name);
        SetText(details_, "unsorted test device");
    }
    bool Start(int32_t) override { return true; }
    void Stop() override {}
    bool SupportsDeliveryDescriptor(const uint8_t*) override { return false; }
    bool Tune(const TuningParameters*) override { return true; }
    uint8_t GetStatus() override { return kStatusLocked; }
    uint16_t GetSignalLevel() override { return 0; }
    uint32_t GetReceptionValue() override { return 0; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) CFeed* GetPlinthFeedObject(uint32_t index) {
    if (index >= sizeof kDevices / sizeof kDevices[0]) return nullptr;
    return new (std::nothrow) NamedFeed(kDevices[index]);
}
