#include "platform/system/Semaphore.h"
#include <algorithm>
#include <chrono>

Semaphore::Semaphore(long initial, long maximum)
    : count_(std::clamp(initial, 0L, std::max(maximum, 1L))), maximum_(std::max(maximum, 1L)) {}

bool Semaphore::Release(long count, long* previous) {
    if (count <= 0) return false;
    // Notified under the lock: a woken waiter may destroy the semaphore at once.
    std::lock_guard lock(m_);
    if (count > maximum_ - count_) return false;
    if (previous) *previous = count_;
    count_ += count;
    if (count == 1)
        cv_.notify_one();
    else
        cv_.notify_all();
    return true;
}

bool Semaphore::Wait(DWORD timeoutMs) {
    std::unique_lock lock(m_);
    auto available = [this] { return count_ > 0; };
    if (timeoutMs == INFINITE)
        cv_.wait(lock, available);
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), available))
        return false;
    --count_;
    return true;
}

long Semaphore::Count() const {
    std::lock_guard lock(m_);
    return count_;
}
