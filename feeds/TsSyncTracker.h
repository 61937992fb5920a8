#pragma once
// Tells whether received bytes form whole transport packets, across buffer borders.
// The network feeds derive their lock status from it.
#include <atomic>
#include <cstddef>
#include <cstdint>

class TsSyncTracker {
public:
    TsSyncTracker() = default;
    TsSyncTracker(const TsSyncTracker&) = delete;
    TsSyncTracker& operator=(const TsSyncTracker&) = delete;

    // Back to "nothing seen": not in sync. Not concurrently with Update.
    void Reset();
    // Walks one buffer and returns the new in-sync flag; an empty buffer leaves it as
    // it was. One thread updates; any thread may read InSync.
    bool Update(const uint8_t* data, size_t count, unsigned packetSize);
    bool InSync() const { return inSync_.load(std::memory_order_relaxed); }

private:
    static constexpr uint8_t kSyncByte = 0x47;
    // Any value but the sync byte: no packet is being passed over.
    static constexpr uint8_t kNoPendingPacket = 0xB8;

    uint64_t counter_ = 0;
    uint8_t saved_ = kNoPendingPacket;
    std::atomic<bool> inSync_{false};
};
