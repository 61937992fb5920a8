#pragma once
// The delivery machinery every feed kind shares: a media-sample allocator of its own
// per run, a ring of one slot more than the allocator has buffers (so the writer can
// never overrun the reader and never tests for a full ring), a fill thread that runs
// the feed's own loop (read and pace, receive, tune) and a delivery thread that hands
// the ring's samples on in order.
//
// Threading contract
// - Caller threads (the filter, the host, a dialog): Start, Join, RequestStop.
//   Start and Join take the join lock and wait there for the threads of an earlier run;
//   nothing a data callback may call takes it.
// - The fill thread (the feed's fill function): GetBuffer, Push, WaitForStop. It is
//   the ring's only writer. GetBuffer blocks on the allocator until a buffer comes back
//   or a stop decommits the allocator.
// - The delivery thread: the ring's only reader; it runs the deliver function (the
//   feed's data callback) and, while the ring stays empty for idleWakeMs, the idle
//   function. It waits on a condition variable, never by sleeping; with coalesceMs
//   the wait is timed while samples flow, and a ring half full wakes it at once.
// - RequestStop may be called from any thread, the data callback included, and never
//   waits for a thread: it sets the stop flag, wakes both threads and decommits the
//   allocator. The delivery thread ends at its next test without delivering what is
//   queued; the fill thread ends when its fill function returns, waits for the
//   delivery thread, releases the samples still in the ring, and lets the allocator go.
// - A fill function that returns without a stop (end of data) lets the delivery thread
//   hand on everything queued before it ends.
// Locks, outermost first: the feed's own locks -> join lock -> state lock -> the
// allocator's own lock. The state lock is held only briefly and never around a call
// into the feed. A feed may call Start under a lock its fill function takes only
// when Running() is false: Start then waits only for threads past their last use of it.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/graph/Interfaces.h"
#include "platform/system/Thread.h"

class CMemAllocator;

class CFeedPump {
public:
    struct Layout {
        const char* allocatorName;
        uint32_t bufferCount;
        uint32_t bufferSize;
        const char* fillThreadName;
        const char* deliveryThreadName;
        // 0: the delivery thread sleeps until data or a stop comes.
        uint32_t idleWakeMs = 0;
        // While samples keep coming, the delivery thread looks again after this long
        // instead of being woken for each one (a fast stream of small samples then
        // costs one wake-up per period, not two per sample); 0 wakes it for each.
        // Once a look finds nothing, it sleeps until woken again.
        uint32_t coalesceMs = 0;
        // A feed that must drain its device quickly raises its fill thread.
        ThreadPriority fillPriority = ThreadPriority::Normal;
    };
    struct Hooks {
        // Delivery thread: hands one sample on; the reference goes with it.
        std::function<void(IMediaSample*)> deliver;
        // Delivery thread, when the ring has stayed empty for idleWakeMs.
        std::function<void()> idle;
        // Delivery thread, as its last act.
        std::function<void()> deliveryEnded;
    };
    enum class StartResult { Started, NoBuffers, NoThread };

    CFeedPump(const Layout& layout, Hooks hooks);
    ~CFeedPump();
    CFeedPump(const CFeedPump&) = delete;
    CFeedPump& operator=(const CFeedPump&) = delete;

    // Waits for the threads of an earlier run, then creates and commits the allocator
    // and launches both threads; `fill` runs on the fill thread. Buffers of `bufferSize`
    // bytes, or the layout's size for 0. Not from the pump's own threads.
    StartResult Start(std::function<void()> fill, uint32_t bufferSize = 0);
    void RequestStop();
    bool StopRequested() const { return stop_.load(std::memory_order_acquire); }
    // Waits for the threads of the last run to end; false when they still run after
    // the timeout. Not from the pump's own threads.
    bool Join(DWORD timeoutMs = INFINITE);
    // From a Start that launched the threads until the fill thread has wound down.
    bool Running() const { return running_.load(std::memory_order_acquire); }
    uint32_t RingSlots() const { return slots_; }

    // Fill thread only. A free buffer, or null once a stop has been requested.
    IMediaSample* GetBuffer();
    // Fill thread only. Queues a filled sample for delivery; the reference goes with it.
    void Push(IMediaSample* sample);
    // Fill thread only. Waits up to `ms` for a stop; true when one was requested.
    bool WaitForStop(uint32_t ms);

private:
    void FillThread(std::function<void()> fill);
    void DeliveryThread();
    void ReleaseRing();
    void ReleaseAllocator();

    const Layout layout_;
    const Hooks hooks_;
    const uint32_t slots_;

    std::mutex joinLock_;
    std::mutex state_;
    std::condition_variable dataArrived_;   // the delivery thread waits here
    std::condition_variable stopOrEnd_;     // the fill thread waits here
    CMemAllocator* allocator_ = nullptr;    // under state_
    bool deliveryEnded_ = false;            // under state_

    std::atomic<bool> stop_{false};
    std::atomic<bool> fillEnded_{false};
    enum ReaderState : int { kReaderBusy, kReaderCoalescing, kReaderSleeping };
    std::atomic<int> readerState_{kReaderBusy};
    std::atomic<bool> running_{false};

    // The indices order the hand-over; the slots are atomic only so that a slot reused
    // after the ring went round is free of formal races.
    std::unique_ptr<std::atomic<IMediaSample*>[]> ring_;
    std::atomic<uint32_t> writeIndex_{0};
    std::atomic<uint32_t> readIndex_{0};

    Thread fillThread_;
    Thread deliveryThread_;
};
