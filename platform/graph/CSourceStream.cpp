#include "platform/graph/CSourceStream.h"
#include "platform/graph/CSource.h"
#include "platform/graph/MediaEventSink.h"
#include <chrono>
#include <thread>

namespace {
// Pause between attempts while no buffer can be had (the allocator is being
// decommitted); the command that ends the loop is on its way.
constexpr auto kBufferRetryPause = std::chrono::milliseconds(1);
}  // namespace

CSourceStream::CSourceStream(const char* objectName, HRESULT* phr, CSource* ps, LPCWSTR pinName)
    : CAMThread(phr), CBaseOutputPin(objectName, ps, ps->pStateLock(), phr, pinName), m_pFilter(ps) {
    const HRESULT hr = m_pFilter->AddPin(this);
    if (phr && FAILED(hr)) *phr = hr;
}

CSourceStream::~CSourceStream() {
    // Normally the worker ended on Stop; a pin deleted while active still must not leave
    // it running. (FillBuffer belongs to the subclass, already gone here, so a worker
    // that is inside it cannot be stopped safely: stop the filter first.)
    if (ThreadExists()) {
        Stop();
        Exit();
        Close();
    }
    m_pFilter->RemovePin(this);
}

HRESULT CSourceStream::Active() {
    CAutoLock lock(m_pFilter->pStateLock());
    if (m_pFilter->IsActive()) return S_FALSE;  // already running its worker
    if (!IsConnected()) return S_OK;
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    if (!Create()) {
        CBaseOutputPin::Inactive();
        return E_FAIL;
    }
    hr = Init();
    if (FAILED(hr)) {
        // The worker gave up in OnThreadCreate and has ended; leave nothing behind,
        // since the filter stays stopped and will not call Inactive.
        Close();
        CBaseOutputPin::Inactive();
        return hr;
    }
    return Pause();
}

HRESULT CSourceStream::Inactive() {
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected()) return S_OK;
    // Decommit first: a worker waiting for a buffer wakes up and sees the command.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (FAILED(hr)) return hr;
    if (ThreadExists()) {
        hr = Stop();
        if (FAILED(hr)) return hr;
        hr = Exit();
        if (FAILED(hr)) return hr;
        Close();
    }
    return S_OK;
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* pMediaType) {
    if (!pMediaType) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    CMediaType mine;
    if (GetMediaType(&mine) != S_OK) return E_FAIL;
    return mine == *pMediaType ? S_OK : E_FAIL;
}

HRESULT CSourceStream::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (!pMediaType) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    return GetMediaType(pMediaType);
}

HRESULT CSourceStream::GetMediaType(CMediaType* pMediaType) {
    (void)pMediaType;
    return E_UNEXPECTED;
}

BOOL CSourceStream::CheckRequest(Command* pCom) {
    DWORD param = 0;
    if (!CAMThread::CheckRequest(&param)) return FALSE;
    if (pCom) *pCom = static_cast<Command>(param);
    return TRUE;
}

DWORD CSourceStream::ThreadProc() {
    Command command;
    do {
        command = GetRequest();
        if (command != CMD_INIT) Reply(static_cast<DWORD>(E_UNEXPECTED));
    } while (command != CMD_INIT);

    HRESULT hr = OnThreadCreate();
    if (FAILED(hr)) {
        OnThreadDestroy();
        Reply(static_cast<DWORD>(hr));
        return 1;
    }
    Reply(S_OK);

    do {
        command = GetRequest();
        switch (command) {
            case CMD_EXIT:
            case CMD_STOP:
                Reply(S_OK);
                break;
            case CMD_RUN:   // run without a pause first: treated as pause
            case CMD_PAUSE:
                Reply(S_OK);
                DoBufferProcessingLoop();
                break;
            default:
                Reply(static_cast<DWORD>(E_NOTIMPL));
                break;
        }
    } while (command != CMD_EXIT);

    hr = OnThreadDestroy();
    return FAILED(hr) ? 1 : 0;
}

HRESULT CSourceStream::DoBufferProcessingLoop() {
    Command command;
    OnThreadStartPlay();
    do {
        while (!CheckRequest(&command)) {
            IMediaSample* sample = nullptr;
            HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
            if (FAILED(hr)) {
                std::this_thread::sleep_for(kBufferRetryPause);
                continue;
            }
            hr = FillBuffer(sample);
            if (hr == S_OK) {
                hr = Deliver(sample);
                sample->Release();
                // Downstream refused or stopped: wait for the next command.
                if (hr != S_OK) return S_OK;
            } else if (hr == S_FALSE) {
                sample->Release();
                DeliverEndOfStream();
                return S_OK;
            } else {
                sample->Release();
                DeliverEndOfStream();
                m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
                return hr;
            }
        }
        // Pause and run keep the loop going; stop is answered by ThreadProc.
        if (command == CMD_RUN || command == CMD_PAUSE) {
            Reply(S_OK);
        } else if (command != CMD_STOP) {
            Reply(static_cast<DWORD>(E_UNEXPECTED));
        }
    } while (command != CMD_STOP);
    return S_FALSE;
}
