#pragma once
#include "platform/com/Unknown.h"
#include "platform/graph/Interfaces.h"
#include <condition_variable>
#include <mutex>
#include <vector>

class CMediaSample;

// Sample bookkeeping of an allocator: properties, commit state, the free list and the
// callers waiting for a buffer. Subclasses supply the memory (Alloc/Free).
//
// Every sample handed out holds a reference on its allocator until it comes back, so
// samples in flight never outlive it; an allocator released while committed and idle
// simply goes away with its memory.
class CBaseAllocator : public CUnknown, public IMemAllocator {
public:
    CBaseAllocator(const char* name, IUnknown* outer, HRESULT* phr);
    ~CBaseAllocator() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
    HRESULT Commit() override;
    HRESULT Decommit() override;
    // Blocks until a buffer is free unless AM_GBF_NOWAIT (then VFW_E_TIMEOUT);
    // VFW_E_NOT_COMMITTED when not committed or decommitted while waiting.
    HRESULT GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                      DWORD dwFlags) override;
    HRESULT ReleaseBuffer(IMediaSample* pBuffer) override;

    // Free samples right now (for tests and diagnostics).
    LONG FreeCount();

protected:
    // Creates the samples for the current properties and puts them on the free list
    // (m_lAllocated of them). Called with the lock held.
    virtual HRESULT Alloc();
    // Called with the lock held once decommitted and every sample is back.
    virtual void Free() = 0;

    std::mutex m_lock;
    std::condition_variable m_freeSignal;
    // Last in, first out, so that the buffers in use stay few and hot.
    std::vector<CMediaSample*> m_lFree;
    LONG m_lAllocated = 0;
    LONG m_lCount = 0;
    LONG m_lSize = 0;
    LONG m_lAlignment = 0;
    LONG m_lPrefix = 0;
    bool m_bChanged = false;  // properties changed since the last Alloc
    bool m_bCommitted = false;
    bool m_bDecommitInProgress = false;
};
