#pragma once
// Counting semaphore of the network layer, with the other platform's maximum count
// and wait results.
#include <condition_variable>
#include <cstdint>
#include <mutex>

class NetSemaphore {
public:
    static constexpr long kMaximumCount = 65535;
    static constexpr uint32_t kSignaled = 0;    // WAIT_OBJECT_0
    static constexpr uint32_t kTimedOut = 258;  // WAIT_TIMEOUT
    static constexpr long kInfinite = -1;

    // The initial count is clamped to 0..kMaximumCount.
    explicit NetSemaphore(long initialCount);
    NetSemaphore(const NetSemaphore&) = delete;
    NetSemaphore& operator=(const NetSemaphore&) = delete;

    // Takes one count, waiting at most timeoutMs milliseconds (kInfinite: no limit).
    uint32_t Wait(long timeoutMs);
    bool TryWait() { return Wait(0) == kSignaled; }
    // Gives one count back; false (count unchanged) when it is at the maximum.
    bool Release();
    long Count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable available_;
    long count_;
};
