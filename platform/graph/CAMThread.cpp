#include "platform/graph/CAMThread.h"

namespace {
// How often a caller waiting for a reply checks that the worker still lives.
constexpr DWORD kWorkerAlivePollMs = 20;
}  // namespace

CAMThread::CAMThread(HRESULT* phr) { (void)phr; }

CAMThread::~CAMThread() { Close(); }

BOOL CAMThread::Create() {
    CAutoLock lock(&m_WorkerLock);
    if (m_exists.load()) return FALSE;
    m_EventSend.Reset();
    m_EventComplete.Reset();
    if (!m_thread.Start([this] { ThreadProc(); }, m_threadName)) return FALSE;
    m_exists.store(true);
    return TRUE;
}

void CAMThread::Close() {
    CAutoLock lock(&m_WorkerLock);
    if (!m_exists.load()) return;
    m_thread.Join(INFINITE);
    m_exists.store(false);
}

BOOL CAMThread::ThreadExists() const { return m_exists.load(); }

DWORD CAMThread::CallWorker(DWORD param) {
    CAutoLock lock(&m_AccessLock);
    if (!ThreadExists()) return static_cast<DWORD>(E_FAIL);
    m_dwParam.store(param);
    m_EventSend.Set();
    // A worker that has ended never answers; don't wait for it forever.
    while (!m_EventComplete.Wait(kWorkerAlivePollMs)) {
        if (!m_thread.Running()) {
            if (m_EventComplete.Wait(0)) break;
            m_EventSend.Reset();
            return static_cast<DWORD>(E_FAIL);
        }
    }
    return m_dwReturnVal.load();
}

DWORD CAMThread::GetRequest() {
    m_EventSend.Wait(INFINITE);
    return m_dwParam.load();
}

BOOL CAMThread::CheckRequest(DWORD* param) {
    if (!m_EventSend.IsSet()) return FALSE;
    if (param) *param = m_dwParam.load();
    return TRUE;
}

void CAMThread::Reply(DWORD returnValue) {
    m_dwReturnVal.store(returnValue);
    // Cleared before the caller is released, so the worker cannot see its own
    // answered request again.
    m_EventSend.Reset();
    m_EventComplete.Set();
}
