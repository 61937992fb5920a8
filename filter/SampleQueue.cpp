#include "filter/SampleQueue.h"

#include <cstring>
#include <new>

std::unique_ptr<CSampleQueue> CSampleQueue::Create() {
    // Left uninitialised on purpose: pages are only touched as entries fill.
    std::unique_ptr<uint8_t[]> buffers(new (std::nothrow) uint8_t[size_t(kEntries) * kEntrySize]);
    if (!buffers) return nullptr;
    return std::unique_ptr<CSampleQueue>(new (std::nothrow) CSampleQueue(std::move(buffers)));
}

CSampleQueue::CSampleQueue(std::unique_ptr<uint8_t[]> buffers) : buffers_(std::move(buffers)) {}

CSampleQueue::~CSampleQueue() = default;

void CSampleQueue::Push(const uint8_t* data, uint32_t length, const REFERENCE_TIME* start,
                        const REFERENCE_TIME* stop) {
    if (length <= kEntrySize) {
        PushEntry(data, length, start, stop);
        return;
    }
    while (length > 0) {
        uint32_t piece = length < kPieceSize ? length : kPieceSize;
        if (!PushEntry(data, piece, start, stop)) return;
        start = stop = nullptr;
        data += piece;
        length -= piece;
    }
}

bool CSampleQueue::PushEntry(const uint8_t* data, uint32_t length, const REFERENCE_TIME* start,
                             const REFERENCE_TIME* stop) {
    bool stored = count_.load(std::memory_order_acquire) < kEntries;
    if (stored) {
        int w = writeIndex_;
        lengths_[w] = length;
        if (length) std::memcpy(buffers_.get() + size_t(w) * kEntrySize, data, length);
        if (start && stop) {
            startTimes_[w] = *start;
            stopTimes_[w] = *stop;
            hasTimes_[w] = 1;
        } else {
            hasTimes_[w] = 0;
        }
        writeIndex_ = (w + 1) % kEntries;
        count_.fetch_add(1, std::memory_order_release);
    }
    // When full the semaphore is at its maximum already and this release changes nothing.
    entries_.Release(1);
    return stored;
}

void CSampleQueue::Push(IMediaSample* sample) {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) return;
    long length = sample->GetActualDataLength();
    if (length < 0) return;
    REFERENCE_TIME start = 0, stop = 0;
    if (sample->GetTime(&start, &stop) == S_OK)
        Push(data, static_cast<uint32_t>(length), &start, &stop);
    else
        Push(data, static_cast<uint32_t>(length), nullptr, nullptr);
}

uint32_t CSampleQueue::Pop(uint8_t* dest, DWORD timeoutMs, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    if (!entries_.Wait(timeoutMs)) return 0;
    consumerMutex_.Lock();
    if (count_.load(std::memory_order_acquire) == 0) {
        consumerMutex_.Unlock();
        return 0;
    }
    int r = readIndex_;
    if (start) *start = hasTimes_[r] ? startTimes_[r] : 0;
    if (stop) *stop = hasTimes_[r] ? stopTimes_[r] : 0;
    uint32_t n = lengths_[r];
    if (n) std::memcpy(dest, buffers_.get() + size_t(r) * kEntrySize, n);
    readIndex_ = (r + 1) % kEntries;
    count_.fetch_sub(1, std::memory_order_release);
    consumerMutex_.Unlock();
    return n;
}
