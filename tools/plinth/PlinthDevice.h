#pragma once
// An example plug-in device: produces a generated transport stream at a fixed rate,
// built only against the plug-in SDK.
#include <kestrel/Feed.h>
#include <kestrel/FeedSamplePool.h>

#include <atomic>
#include <thread>

#include "TsGenerator.h"

class CPlinthDevice : public CFeed {
public:
    // Null for an index the library has no device for.
    static CPlinthDevice* Create(uint32_t index);

    bool Start(int32_t param) override;
    void Stop() override;
    bool SupportsDeliveryDescriptor(const uint8_t* descriptor) override;
    bool Tune(const TuningParameters* params) override;
    uint8_t GetStatus() override;
    uint16_t GetSignalLevel() override;
    uint32_t GetReceptionValue() override;
    ~CPlinthDevice() override;

private:
    CPlinthDevice(uint32_t index, int32_t type, uint32_t bitrate);
    void Run();

    const uint32_t bitrate_;
    TuningParameters tuning_{};
    std::atomic<bool> running_{false};
    // Written by Start and the destructor only, which the control thread calls.
    std::thread thread_;
    CFeedSamplePool pool_;
};
