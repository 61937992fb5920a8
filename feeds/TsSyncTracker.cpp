#include "feeds/TsSyncTracker.h"

void TsSyncTracker::Reset() {
    counter_ = 0;
    saved_ = kNoPendingPacket;
    inSync_.store(false, std::memory_order_relaxed);
}

bool TsSyncTracker::Update(const uint8_t* data, size_t count, unsigned packetSize) {
    bool inSync = inSync_.load(std::memory_order_relaxed);
    if (!data || count == 0 || packetSize == 0) return inSync;
    size_t position = 0;
    while (position < count) {
        const uint8_t byte = data[position];
        if (counter_ == 0 && byte == kSyncByte && count - position >= packetSize) {
            inSync = true;
            position += packetSize;
        } else if (saved_ == kSyncByte) {
            // The rest of a packet that began in an earlier buffer.
            if (++counter_ == packetSize) {
                saved_ = kNoPendingPacket;
                counter_ = 0;
            }
            ++position;
        } else {
            if (counter_ != 0) inSync = false;
            saved_ = byte;
            counter_ = 1;
            ++position;
        }
    }
    inSync_.store(inSync, std::memory_order_relaxed);
    return inSync;
}
