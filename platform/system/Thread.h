#pragma once
#include "platform/system/Event.h"
#include "platform/system/Wait.h"
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

enum class ThreadPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

// A named worker thread that can be joined with a timeout.
class Thread {
public:
    Thread() = default;
    ~Thread();  // joins; detaches only when destroyed by its own thread
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Fails while a previous body is still running. The name is cut to the 15 characters
    // the kernel keeps. The priority is applied as far as the process may; a refused
    // priority never fails the start.
    bool Start(std::function<void()> body, const char* name = nullptr,
               ThreadPriority priority = ThreadPriority::Normal);
    // True when the body has ended and the thread is joined (or none was started).
    // On timeout the thread stays joinable. A thread cannot join itself.
    bool Join(DWORD timeoutMs = INFINITE);
    bool Running() const { return state_->running.load(std::memory_order_acquire); }
    std::thread::id Id() const { return id_.load(); }

    static void SetCurrentName(const char* name);
    static std::string CurrentName();
    // Nice value that a priority level maps to, relative to a base nice value.
    static int NiceFor(ThreadPriority priority, int baseNice);

private:
    bool IsCurrent() const;

    // Shared with the running body, so that a body may end by destroying its Thread.
    struct State {
        Event done{true, true};
        std::atomic<bool> running{false};
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::thread thread_;
    std::atomic<std::thread::id> id_{};
};
