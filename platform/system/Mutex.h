#pragma once
#include "platform/system/Wait.h"
#include <condition_variable>
#include <mutex>
#include <thread>

// A mutex owned by the thread that locked it, recursive, with a timed lock.
class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // True when the calling thread owns the mutex (once more) within the timeout.
    bool Lock(DWORD timeoutMs = INFINITE);
    // Fails (returns false, changes nothing) for a thread that does not own it.
    bool Unlock();
    bool OwnedByCurrentThread() const;

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::thread::id owner_;
    unsigned long depth_ = 0;
};
