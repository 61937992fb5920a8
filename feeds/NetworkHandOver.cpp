#include "feeds/NetworkHandOver.h"

#include "platform/system/Tick.h"

void NetworkHandOver::Deliver(IMediaSample* sample, unsigned packetSize, DataCallback callback, void* context) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    sync_.Update(data, static_cast<size_t>(sample->GetActualDataLength()), packetSize);
    if (callback) {
        callback(context, sample);
    } else {
        sample->Release();
    }
    lastHandOver_.store(GetTickCount(), std::memory_order_relaxed);
    noData_.store(false, std::memory_order_relaxed);
}

void NetworkHandOver::CheckForSilence() {
    const uint32_t now = GetTickCount();
    const uint32_t last = lastHandOver_.load(std::memory_order_relaxed);
    // A tick count below the last hand-over means the counter wrapped.
    if (!noData_.load(std::memory_order_relaxed) && (now < last || now - last >= kNoDataTimeoutMs)) {
        noData_.store(true, std::memory_order_relaxed);
    }
}
