#include "net/NetSemaphore.h"

#include <algorithm>
#include <chrono>

NetSemaphore::NetSemaphore(long initialCount) : count_(std::clamp(initialCount, 0L, kMaximumCount)) {}

uint32_t NetSemaphore::Wait(long timeoutMs) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return count_ > 0; };
    if (timeoutMs < 0) {
        available_.wait(lock, ready);
    } else if (!available_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        return kTimedOut;
    }
    --count_;
    return kSignaled;
}

bool NetSemaphore::Release() {
    // Notified under the lock: a waiter may destroy the semaphore as soon as it
    // returns, and must not find this call still using it.
    std::lock_guard lock(mutex_);
    if (count_ >= kMaximumCount) return false;
    ++count_;
    available_.notify_one();
    return true;
}

long NetSemaphore::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}
