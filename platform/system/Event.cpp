#include "platform/system/Event.h"
#include <chrono>

Event::Event(bool manualReset, bool initiallySignalled) : manual_(manualReset), signalled_(initiallySignalled) {}

void Event::Set() {
    // Notified under the lock: a woken waiter may destroy the event at once.
    std::lock_guard lock(m_);
    signalled_ = true;
    if (manual_)
        cv_.notify_all();
    else
        cv_.notify_one();
}

void Event::Reset() {
    std::lock_guard lock(m_);
    signalled_ = false;
}

bool Event::Wait(DWORD timeoutMs) {
    std::unique_lock lock(m_);
    auto ready = [this] { return signalled_; };
    if (timeoutMs == INFINITE)
        cv_.wait(lock, ready);
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return false;
    if (!manual_) signalled_ = false;
    return true;
}

bool Event::IsSet() const {
    std::lock_guard lock(m_);
    return signalled_;
}
