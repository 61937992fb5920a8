#pragma once
// Fixed ring between whatever produces transport-stream data and the output pin's
// worker. Memory is reserved once; push and pop only copy.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/com/ComTypes.h"
#include "platform/graph/Interfaces.h"
#include "filter/TSFeedInterfaces.h"
#include "platform/system/Mutex.h"
#include "platform/system/Semaphore.h"

class CSampleQueue {
public:
    static constexpr int kEntries = 100;
    static constexpr uint32_t kEntrySize = kSampleEntryBytes;
    // Longer data is cut into pieces of this size: 5 x 153,408 bytes, whole packets of
    // 188, 192 and 204 bytes alike, so no piece ends inside a packet.
    static constexpr uint32_t kPieceSize = 767'040;

    // Null when the memory cannot be reserved.
    static std::unique_ptr<CSampleQueue> Create();
    ~CSampleQueue();

    // One producer at a time, no lock. Data longer than an entry goes into consecutive
    // entries of kPieceSize bytes, with the times on the first piece; once the queue is
    // full the rest of the data is dropped, so what is lost is whole trailing packets.
    void Push(const uint8_t* data, uint32_t length, const REFERENCE_TIME* start, const REFERENCE_TIME* stop);
    // The caller keeps its reference.
    void Push(IMediaSample* sample);

    // Copies the oldest entry into dest (room for kEntrySize bytes); 0 when nothing
    // came within the timeout. Times are 0 for an entry without times.
    uint32_t Pop(uint8_t* dest, DWORD timeoutMs, REFERENCE_TIME* start, REFERENCE_TIME* stop);

    int Count() const { return count_.load(std::memory_order_acquire); }

private:
    CSampleQueue(std::unique_ptr<uint8_t[]> buffers);
    // False when the queue was full and the data dropped.
    bool PushEntry(const uint8_t* data, uint32_t length, const REFERENCE_TIME* start, const REFERENCE_TIME* stop);

    Mutex consumerMutex_;
    int readIndex_ = 0;
    int writeIndex_ = 0;
    std::atomic<int> count_{0};
    std::unique_ptr<uint8_t[]> buffers_;
    static_assert(kPieceSize % 188 == 0 && kPieceSize % 192 == 0 && kPieceSize % 204 == 0);
    static_assert(kPieceSize <= kEntrySize);
    uint32_t lengths_[kEntries] = {};
    REFERENCE_TIME startTimes_[kEntries] = {};
    REFERENCE_TIME stopTimes_[kEntries] = {};
    uint32_t hasTimes_[kEntries] = {};
    Semaphore entries_{0, kEntries};
};
