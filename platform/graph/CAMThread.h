#pragma once
#include "platform/com/ComTypes.h"
#include "platform/system/CritSec.h"
#include "platform/system/Event.h"
#include "platform/system/Thread.h"
#include <atomic>

// A worker thread that takes one request at a time: CallWorker posts a request and
// blocks until the worker answers it with Reply. The worker may peek at a pending
// request (CheckRequest) without taking it, which is how a busy loop notices a command.
class CAMThread {
public:
    explicit CAMThread(HRESULT* phr = nullptr);
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts ThreadProc on a new thread; FALSE when one already runs or it cannot start.
    BOOL Create();
    // Waits for the worker to end.
    void Close();
    BOOL ThreadExists() const;

    // Caller side: posts a request and returns the worker's Reply value; E_FAIL without
    // a worker. Serialised, so concurrent callers queue up.
    DWORD CallWorker(DWORD param);

    // Worker side.
    DWORD GetRequest();
    BOOL CheckRequest(DWORD* param);
    void Reply(DWORD returnValue);

    // Name for the threads this object creates (the kernel keeps 15 characters).
    void SetThreadName(const char* name) { m_threadName = name; }

    virtual DWORD ThreadProc() = 0;

protected:
    // Serialises the worker's start and end against each other.
    CCritSec m_WorkerLock;
    // Serialises callers of CallWorker.
    CCritSec m_AccessLock;

private:
    Event m_EventSend{true, false};      // a request is pending; reset by Reply
    Event m_EventComplete{false, false};  // the pending request was answered
    std::atomic<DWORD> m_dwParam{0};
    std::atomic<DWORD> m_dwReturnVal{0};
    Thread m_thread;
    std::atomic<bool> m_exists{false};
    const char* m_threadName = nullptr;
};
