#include "net/NamedThread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <memory>
#include <string>

namespace {

struct StartRecord {
    NetThreadEntry entry;
    void* argument;
    ThreadPriority priority;
    int processNice;
    std::string name;
    std::promise<intptr_t> started;
};

void* ThreadStart(void* raw) {
    std::unique_ptr<StartRecord> record(static_cast<StartRecord*>(raw));
    const auto tid = static_cast<pid_t>(::syscall(SYS_gettid));

    // Priorities of the other platform are relative to the process, not to whichever
    // thread happened to start this one.
    const int saved = errno;
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), Thread::NiceFor(record->priority, record->processNice));
    errno = saved;
    if (!record->name.empty()) Thread::SetCurrentName(record->name.c_str());

    const NetThreadEntry entry = record->entry;
    void* const argument = record->argument;
    record->started.set_value(tid);
    record.reset();
    entry(argument);
    return nullptr;
}

}  // namespace

ThreadPriority PriorityForLevel(ThreadPriorityLevel level) {
    switch (level) {
        case 10: return ThreadPriority::Idle;
        case 20: return ThreadPriority::Lowest;
        case 30:
        case 40: return ThreadPriority::BelowNormal;
        case 60: return ThreadPriority::AboveNormal;
        case 100: return ThreadPriority::Highest;
        case 230: return ThreadPriority::TimeCritical;
        default: return ThreadPriority::Normal;
    }
}

intptr_t CreateNamedThread(NetThreadEntry entry, ThreadPriorityLevel level, void* argument, const char* name) {
    if (!entry) return kNoThread;
    auto record = std::unique_ptr<StartRecord>(new (std::nothrow) StartRecord{});
    if (!record) return kNoThread;
    record->entry = entry;
    record->argument = argument;
    record->priority = PriorityForLevel(level);
    if (name) record->name = name;
    errno = 0;
    const int processNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getpid()));
    record->processNice = errno == 0 ? processNice : 0;
    std::future<intptr_t> started = record->started.get_future();

    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) return kNoThread;
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int result = ::pthread_create(&thread, &attributes, ThreadStart, record.get());
    ::pthread_attr_destroy(&attributes);
    if (result != 0) {
        errno = result;
        return kNoThread;
    }
    record.release();  // the thread owns it now
    return started.get();
}
