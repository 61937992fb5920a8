#pragma once
// Re-aligns a byte stream that starts and ends anywhere to whole transport packets. A
// packet cut by the end of one run is completed by the next. Bytes before a sync byte
// are dropped; a packet found while hunting is taken on its first 0x47 alone.
#include <cstddef>
#include <cstdint>
#include <mutex>

class CPacketSplitter {
public:
    static constexpr size_t kPacketSize = 188;
    // `count` packets of 188 bytes, the first at `first`, each `stride` bytes after the
    // previous one (the run's packet size).
    using PacketHandler = void (*)(void* context, const uint8_t* first, size_t count, size_t stride);

    void SetHandler(void* context, PacketHandler handler);
    // packetSize 188, or 192/204 whose trailing bytes are skipped.
    void Run(const uint8_t* data, size_t length, size_t packetSize = kPacketSize);
    // Drops a partial packet; the next run hunts for a sync byte.
    void Reset();

private:
    std::mutex lock_;
    void* context_ = nullptr;
    PacketHandler handler_ = nullptr;
    uint8_t partial_[kPacketSize] = {};
    size_t fill_ = 0;
};
