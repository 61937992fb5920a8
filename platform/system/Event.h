#pragma once
#include "platform/system/Wait.h"
#include <condition_variable>
#include <mutex>

// A manual-reset event stays signalled until Reset; an auto-reset event lets exactly
// one waiter through per Set and clears itself as that waiter leaves.
class Event {
public:
    Event(bool manualReset, bool initiallySignalled);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when signalled within the timeout; consumes the signal of an auto-reset event.
    bool Wait(DWORD timeoutMs = INFINITE);
    bool IsSet() const;

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    const bool manual_;
    bool signalled_;
};
