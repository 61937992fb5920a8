#include "feeds/FeedPump.h"

#include <chrono>

#include "platform/graph/CMemAllocator.h"

namespace {
constexpr LONG kBufferAlignment = 32;
}  // namespace

CFeedPump::CFeedPump(const Layout& layout, Hooks hooks)
    : layout_(layout),
      hooks_(std::move(hooks)),
      slots_(layout.bufferCount + 1),
      ring_(new std::atomic<IMediaSample*>[layout.bufferCount + 1]) {
    for (uint32_t i = 0; i < slots_; ++i) ring_[i].store(nullptr, std::memory_order_relaxed);
}

CFeedPump::~CFeedPump() {
    RequestStop();
    Join();
}

CFeedPump::StartResult CFeedPump::Start(std::function<void()> fill, uint32_t bufferSize) {
    std::lock_guard join(joinLock_);
    fillThread_.Join();
    deliveryThread_.Join();

    CMemAllocator* allocator = CMemAllocator::Create(layout_.allocatorName);
    const LONG size = static_cast<LONG>(bufferSize ? bufferSize : layout_.bufferSize);
    ALLOCATOR_PROPERTIES wanted{static_cast<LONG>(layout_.bufferCount), size, kBufferAlignment, 0};
    ALLOCATOR_PROPERTIES actual{};
    if (!allocator || FAILED(allocator->SetProperties(&wanted, &actual)) || FAILED(allocator->Commit())) {
        if (allocator) allocator->Release();
        return StartResult::NoBuffers;
    }

    writeIndex_.store(0, std::memory_order_relaxed);
    readIndex_.store(0, std::memory_order_relaxed);
    fillEnded_.store(false, std::memory_order_relaxed);
    {
        std::lock_guard lock(state_);
        allocator_ = allocator;
        deliveryEnded_ = false;
        stop_.store(false, std::memory_order_release);
    }
    running_.store(true, std::memory_order_release);
    const bool delivering = deliveryThread_.Start([this] { DeliveryThread(); }, layout_.deliveryThreadName);
    const auto fillBody = [this, fill = std::move(fill)] { FillThread(fill); };
    if (delivering && fillThread_.Start(fillBody, layout_.fillThreadName, layout_.fillPriority)) {
        return StartResult::Started;
    }
    RequestStop();
    deliveryThread_.Join();
    ReleaseRing();
    ReleaseAllocator();
    running_.store(false, std::memory_order_release);
    return StartResult::NoThread;
}

void CFeedPump::RequestStop() {
    CMemAllocator* allocator = nullptr;
    {
        std::lock_guard lock(state_);
        stop_.store(true, std::memory_order_seq_cst);
        allocator = allocator_;
        // Decommitting wakes a fill thread blocked for a buffer; the allocator stays
        // alive until the fill thread lets it go, which needs this lock.
        if (allocator) allocator->Decommit();
    }
    dataArrived_.notify_all();
    stopOrEnd_.notify_all();
}

bool CFeedPump::Join(DWORD timeoutMs) {
    std::lock_guard join(joinLock_);
    if (!fillThread_.Join(timeoutMs)) return false;
    // The fill thread ends only after the delivery thread has.
    return deliveryThread_.Join(timeoutMs);
}

IMediaSample* CFeedPump::GetBuffer() {
    CMemAllocator* allocator;
    {
        std::lock_guard lock(state_);
        allocator = allocator_;
    }
    IMediaSample* sample = nullptr;
    if (StopRequested() || !allocator || allocator->GetBuffer(&sample, nullptr, nullptr, 0) != S_OK) return nullptr;
    return sample;
}

void CFeedPump::Push(IMediaSample* sample) {
    const uint32_t w = writeIndex_.load(std::memory_order_relaxed);
    ring_[w].store(sample, std::memory_order_relaxed);
    const uint32_t next = (w + 1) % slots_;
    writeIndex_.store(next, std::memory_order_seq_cst);
    // Paired with the reader's state and its second look at the index: either the
    // reader sees this sample, or this side sees it asleep and wakes it. The lock
    // taken here makes the wake land after the reader has gone to sleep. A reader
    // that looks again by itself soon is woken only when the ring is half full.
    const int reader = readerState_.load(std::memory_order_seq_cst);
    const uint32_t queued = (next + slots_ - readIndex_.load(std::memory_order_relaxed)) % slots_;
    if (reader == kReaderSleeping || (reader == kReaderCoalescing && queued * 2 >= slots_)) {
        { std::lock_guard lock(state_); }
        dataArrived_.notify_one();
    }
}

bool CFeedPump::WaitForStop(uint32_t ms) {
    std::unique_lock lock(state_);
    return stopOrEnd_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return StopRequested(); });
}

void CFeedPump::FillThread(std::function<void()> fill) {
    fill();
    {
        std::lock_guard lock(state_);
        fillEnded_.store(true, std::memory_order_seq_cst);
    }
    dataArrived_.notify_all();
    {
        std::unique_lock lock(state_);
        stopOrEnd_.wait(lock, [&] { return deliveryEnded_; });
    }
    ReleaseRing();
    ReleaseAllocator();
    running_.store(false, std::memory_order_release);
}

void CFeedPump::DeliveryThread() {
    bool flowing = false;  // the last look found samples
    while (!StopRequested()) {
        const uint32_t r = readIndex_.load(std::memory_order_relaxed);
        if (r == writeIndex_.load(std::memory_order_acquire)) {
            // The fill thread queues its last sample before it marks its end, so an
            // empty ring seen after the mark stays empty.
            if (fillEnded_.load(std::memory_order_acquire)) {
                if (r == writeIndex_.load(std::memory_order_acquire)) break;
                continue;
            }
            const bool coalescing = flowing && layout_.coalesceMs;
            const uint32_t limitMs = coalescing ? layout_.coalesceMs : layout_.idleWakeMs;
            bool timedOut = false;
            {
                std::unique_lock lock(state_);
                readerState_.store(coalescing ? kReaderCoalescing : kReaderSleeping, std::memory_order_seq_cst);
                const auto ready = [&] {
                    return StopRequested() || fillEnded_.load(std::memory_order_seq_cst) ||
                           r != writeIndex_.load(std::memory_order_seq_cst);
                };
                if (limitMs) {
                    timedOut = !dataArrived_.wait_for(lock, std::chrono::milliseconds(limitMs), ready);
                } else {
                    dataArrived_.wait(lock, ready);
                }
                readerState_.store(kReaderBusy, std::memory_order_relaxed);
            }
            if (coalescing) {
                flowing = !timedOut;
            } else if (timedOut && hooks_.idle) {
                hooks_.idle();
            }
            continue;
        }
        flowing = true;
        IMediaSample* sample = ring_[r].exchange(nullptr, std::memory_order_relaxed);
        // The slot is free before the sample can go back to the allocator; otherwise a
        // quick fill thread could fill the ring round to this slot and make it look empty.
        readIndex_.store((r + 1) % slots_, std::memory_order_release);
        hooks_.deliver(sample);
    }
    if (hooks_.deliveryEnded) hooks_.deliveryEnded();
    {
        std::lock_guard lock(state_);
        deliveryEnded_ = true;
    }
    stopOrEnd_.notify_all();
}

void CFeedPump::ReleaseRing() {
    uint32_t r = readIndex_.load(std::memory_order_relaxed);
    const uint32_t w = writeIndex_.load(std::memory_order_acquire);
    for (; r != w; r = (r + 1) % slots_) {
        if (IMediaSample* sample = ring_[r].exchange(nullptr, std::memory_order_relaxed)) sample->Release();
    }
    readIndex_.store(r, std::memory_order_relaxed);
}

void CFeedPump::ReleaseAllocator() {
    CMemAllocator* allocator;
    {
        std::lock_guard lock(state_);
        allocator = allocator_;
        allocator_ = nullptr;
    }
    if (!allocator) return;
    allocator->Decommit();
    allocator->Release();
}
