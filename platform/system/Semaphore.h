#pragma once
#include "platform/system/Wait.h"
#include <condition_variable>
#include <mutex>

// Counting semaphore with a ceiling. An initial count outside 0..maximum is clamped
// into that range, and a maximum below 1 is taken as 1.
class Semaphore {
public:
    Semaphore(long initial, long maximum);
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // Adds count (> 0). Fails and changes nothing when the count would pass the maximum.
    bool Release(long count = 1, long* previous = nullptr);
    // True when a unit was taken within the timeout.
    bool Wait(DWORD timeoutMs = INFINITE);
    long Count() const;
    long Maximum() const { return maximum_; }

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    long count_;
    const long maximum_;
};
