#pragma once
#include "platform/graph/CAMThread.h"
#include "platform/graph/CBaseOutputPin.h"

class CSource;

// An output pin with a worker thread that fills samples (FillBuffer) and delivers
// them while the filter is paused or running. The pin registers with its CSource in
// the constructor and unregisters in the destructor.
//
// The worker runs commands one at a time: CMD_INIT once, then CMD_PAUSE/CMD_RUN start
// the fill loop, which checks for a new command between samples and leaves on
// CMD_STOP; CMD_EXIT ends the thread. FillBuffer may itself poll CheckRequest while it
// waits for data, and return early when a command is pending.
class CSourceStream : public CAMThread, public CBaseOutputPin {
public:
    CSourceStream(const char* objectName, HRESULT* phr, CSource* ps, LPCWSTR pinName);
    ~CSourceStream() override;

    // S_OK: deliver the sample; S_FALSE: end of stream; a failure ends the stream and
    // reports EC_ERRORABORT.
    virtual HRESULT FillBuffer(IMediaSample* pSample) = 0;

    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }

    // Starts the worker and sets it filling (after committing the allocator).
    HRESULT Active() override;
    // Decommits first, so a worker blocked on a buffer wakes, then stops and joins it.
    HRESULT Inactive() override;

    // Accepts exactly the single type of GetMediaType(CMediaType*).
    HRESULT CheckMediaType(const CMediaType* pMediaType) override;
    // Position 0 is the single type.
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    // One-type pins override this; the default offers nothing (E_UNEXPECTED).
    virtual HRESULT GetMediaType(CMediaType* pMediaType);


    enum Command : DWORD { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };
    HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
    HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
    HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
    HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
    HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }
    using CBaseOutputPin::Run;

    Command GetRequest() { return static_cast<Command>(CAMThread::GetRequest()); }
    BOOL CheckRequest(Command* pCom);

protected:
    DWORD ThreadProc() override;
    // The fill-and-deliver loop; returns when a CMD_STOP is pending (S_FALSE), after
    // end of stream or a delivery failure (S_OK), or after a fill failure.
    virtual HRESULT DoBufferProcessingLoop();

    CSource* m_pFilter;
};
