#pragma once
// What a network feed knows of the samples it hands on: whether their bytes are in
// sync and whether anything came lately. The feeds' status is read from it.
#include <atomic>
#include <cstdint>

#include "feeds/TsSyncTracker.h"
#include "feeds/sdk/Feed.h"

class NetworkHandOver {
public:
    static constexpr uint32_t kNoDataTimeoutMs = 5000;

    // Back to "nothing seen"; not concurrently with Deliver.
    void ResetSync() { sync_.Reset(); }
    // Hands the sample to the callback (or releases it without one) and notes the time.
    void Deliver(IMediaSample* sample, unsigned packetSize, DataCallback callback, void* context);
    // Raises the no-data flag once nothing was handed on for kNoDataTimeoutMs.
    void CheckForSilence();
    void MarkNoData() { noData_.store(true, std::memory_order_relaxed); }

    bool NoData() const { return noData_.load(std::memory_order_relaxed); }
    bool InSync() const { return sync_.InSync(); }

private:
    TsSyncTracker sync_;
    std::atomic<uint32_t> lastHandOver_{0};
    std::atomic<bool> noData_{true};
};
