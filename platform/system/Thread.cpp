#include "platform/system/Thread.h"
#include <algorithm>
#include <cstring>
#include <system_error>
#include <cerrno>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
constexpr size_t kMaxThreadName = 15;  // the kernel keeps 16 bytes with the terminator

void ApplyPriority(ThreadPriority priority, int baseNice) {
    if (priority == ThreadPriority::Normal) return;
    // On Linux a nice value set for a thread id applies to that thread alone. Raising
    // priority needs a privilege most processes lack; keep the inherited value then.
    const int nice = Thread::NiceFor(priority, baseNice);
    const int saved = errno;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
    errno = saved;
}
}  // namespace

int Thread::NiceFor(ThreadPriority priority, int baseNice) {
    int delta = 0;
    switch (priority) {
        case ThreadPriority::Idle: return 19;
        case ThreadPriority::Lowest: delta = 10; break;
        case ThreadPriority::BelowNormal: delta = 5; break;
        case ThreadPriority::Normal: delta = 0; break;
        case ThreadPriority::AboveNormal: delta = -5; break;
        case ThreadPriority::Highest: delta = -10; break;
        case ThreadPriority::TimeCritical: return -20;
    }
    return std::clamp(baseNice + delta, -20, 19);
}

void Thread::SetCurrentName(const char* name) {
    if (!name) return;
    std::string cut(name, std::min(std::strlen(name), kMaxThreadName));
    pthread_setname_np(pthread_self(), cut.c_str());
}

std::string Thread::CurrentName() {
    char name[kMaxThreadName + 1] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof name) != 0) return {};
    return name;
}

bool Thread::IsCurrent() const { return id_.load() == std::this_thread::get_id(); }

Thread::~Thread() {
    if (IsCurrent()) {
        if (thread_.joinable()) thread_.detach();
        return;
    }
    if (thread_.joinable()) thread_.join();
}

bool Thread::Start(std::function<void()> body, const char* name, ThreadPriority priority) {
    if (!body || IsCurrent()) return false;
    if (thread_.joinable()) {
        // A finished body can be replaced; a running one cannot.
        if (!state_->done.IsSet()) return false;
        thread_.join();
        id_.store(std::thread::id());  // ids of joined threads get reused
    }
    std::string threadName = name ? name : "";
    errno = 0;
    int baseNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    if (errno != 0) baseNice = 0;
    state_->done.Reset();
    state_->running.store(true, std::memory_order_release);
    try {
        thread_ = std::thread([this, state = state_, body = std::move(body), threadName, priority, baseNice] {
            // Stored here too, so that the body sees it before Start has returned.
            id_.store(std::this_thread::get_id());
            if (!threadName.empty()) SetCurrentName(threadName.c_str());
            ApplyPriority(priority, baseNice);
            body();
            // In this order, so that whoever sees Running() false can start anew at once.
            state->done.Set();
            state->running.store(false, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        state_->running.store(false, std::memory_order_release);
        state_->done.Set();
        return false;
    }
    id_.store(thread_.get_id());
    return true;
}

bool Thread::Join(DWORD timeoutMs) {
    // Checked first: the body may call this while Start is still storing the thread.
    if (IsCurrent()) return false;
    if (!thread_.joinable()) return true;
    if (!state_->done.Wait(timeoutMs)) return false;
    thread_.join();
    id_.store(std::thread::id());  // ids of joined threads get reused
    return true;
}
