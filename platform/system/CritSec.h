#pragma once
#include <atomic>
#include <mutex>
#include <thread>

// Recursive lock. Also BasicLockable/Lockable, so std::unique_lock and std::scoped_lock work.
class CCritSec {
public:
    CCritSec() = default;
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Lock();
    void Unlock();
    bool TryLock();
    // For assertions: whether the calling thread holds the lock.
    bool OwnedByCurrentThread() const;

    void lock() { Lock(); }
    void unlock() { Unlock(); }
    bool try_lock() { return TryLock(); }

private:
    std::recursive_mutex m_;
    std::atomic<std::thread::id> owner_{};
    unsigned long depth_ = 0;  // touched only by the owner
};

// Holds a critical section for the lifetime of the scope.
class CAutoLock {
public:
    explicit CAutoLock(CCritSec* lock) : lock_(lock) { lock_->Lock(); }
    ~CAutoLock() { lock_->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CCritSec* lock_;
};
