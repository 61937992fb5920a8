#include "platform/system/CritSec.h"

void CCritSec::Lock() {
    m_.lock();
    if (depth_++ == 0) owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

bool CCritSec::TryLock() {
    if (!m_.try_lock()) return false;
    if (depth_++ == 0) owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
}

void CCritSec::Unlock() {
    if (--depth_ == 0) owner_.store(std::thread::id(), std::memory_order_relaxed);
    m_.unlock();
}

bool CCritSec::OwnedByCurrentThread() const {
    // Only the owner can have stored its own id, so a stale read never yields a false yes.
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}
