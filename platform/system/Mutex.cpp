#include "platform/system/Mutex.h"
#include <chrono>

bool Mutex::Lock(DWORD timeoutMs) {
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(m_);
    if (depth_ > 0 && owner_ == self) {
        ++depth_;
        return true;
    }
    auto free = [this] { return depth_ == 0; };
    if (timeoutMs == INFINITE)
        cv_.wait(lock, free);
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), free))
        return false;
    owner_ = self;
    depth_ = 1;
    return true;
}

bool Mutex::Unlock() {
    // Notified under the lock: a woken waiter may destroy the mutex at once.
    std::lock_guard lock(m_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return false;
    if (--depth_ > 0) return true;
    owner_ = std::thread::id();
    cv_.notify_one();
    return true;
}

bool Mutex::OwnedByCurrentThread() const {
    std::lock_guard lock(m_);
    return depth_ > 0 && owner_ == std::this_thread::get_id();
}
