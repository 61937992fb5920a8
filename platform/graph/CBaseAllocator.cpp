#include "platform/graph/CBaseAllocator.h"
#include "platform/graph/CMediaSample.h"

namespace {
// Alignments must divide the mapping granularity of the desktop runtime (64 KiB).
constexpr LONG kAllocationGranularity = 65536;
}  // namespace

CBaseAllocator::CBaseAllocator(const char* name, IUnknown* outer, HRESULT* phr) : CUnknown(name, outer) {
    (void)phr;
}

CBaseAllocator::~CBaseAllocator() = default;

HRESULT CBaseAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMemAllocator) return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) {
    if (!pRequest || !pActual) return E_POINTER;
    std::lock_guard lock(m_lock);
    *pActual = ALLOCATOR_PROPERTIES{};
    const LONG align = pRequest->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0 || kAllocationGranularity % align != 0) return VFW_E_BADALIGN;
    if (m_bCommitted) return VFW_E_ALREADY_COMMITTED;
    if (static_cast<LONG>(m_lFree.size()) < m_lAllocated) return VFW_E_BUFFERS_OUTSTANDING;
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0) return E_INVALIDARG;

    // The prefix counts towards alignment: prefix + buffer is a whole number of units.
    const int64_t total = int64_t(pRequest->cbBuffer) + pRequest->cbPrefix;
    const int64_t aligned = (total + align - 1) / align * align;
    if (aligned - pRequest->cbPrefix > 0x7FFFFFFF) return E_OUTOFMEMORY;

    m_lSize = static_cast<LONG>(aligned - pRequest->cbPrefix);
    m_lCount = pRequest->cBuffers;
    m_lAlignment = align;
    m_lPrefix = pRequest->cbPrefix;
    m_bChanged = true;
    pActual->cbBuffer = m_lSize;
    pActual->cBuffers = m_lCount;
    pActual->cbAlign = m_lAlignment;
    pActual->cbPrefix = m_lPrefix;
    return S_OK;
}

HRESULT CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
    if (!pProps) return E_POINTER;
    std::lock_guard lock(m_lock);
    pProps->cbBuffer = m_lSize;
    pProps->cBuffers = m_lCount;
    pProps->cbAlign = m_lAlignment;
    pProps->cbPrefix = m_lPrefix;
    return S_OK;
}

HRESULT CBaseAllocator::Alloc() {
    if (m_lCount <= 0 || m_lSize <= 0 || m_lAlignment <= 0) return VFW_E_SIZENOTSET;
    return m_bChanged ? S_OK : S_FALSE;
}

HRESULT CBaseAllocator::Commit() {
    std::lock_guard lock(m_lock);
    if (m_bCommitted) return S_OK;
    if (m_bDecommitInProgress) {
        // Samples are still out and the memory was never given up: carry on with it.
        m_bDecommitInProgress = false;
        m_bCommitted = true;
        return S_OK;
    }
    const HRESULT hr = Alloc();
    if (FAILED(hr)) return hr;
    m_bChanged = false;
    m_bCommitted = true;
    return S_OK;
}

HRESULT CBaseAllocator::Decommit() {
    std::lock_guard lock(m_lock);
    if (!m_bCommitted) return S_OK;
    m_bCommitted = false;
    if (static_cast<LONG>(m_lFree.size()) < m_lAllocated)
        m_bDecommitInProgress = true;
    else
        Free();
    // Callers blocked in GetBuffer find the allocator decommitted and give up.
    m_freeSignal.notify_all();
    return S_OK;
}

HRESULT CBaseAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                                  DWORD dwFlags) {
    (void)pStartTime;
    (void)pEndTime;
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = nullptr;
    CMediaSample* sample = nullptr;
    {
        std::unique_lock lock(m_lock);
        for (;;) {
            if (!m_bCommitted) return VFW_E_NOT_COMMITTED;
            if (!m_lFree.empty()) break;
            if (dwFlags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
            m_freeSignal.wait(lock);
        }
        sample = m_lFree.back();
        m_lFree.pop_back();
        sample->m_cRef.store(1, std::memory_order_relaxed);
    }
    // A sample in use keeps its allocator (and so its memory) alive.
    AddRef();
    *ppBuffer = sample;
    return S_OK;
}

HRESULT CBaseAllocator::ReleaseBuffer(IMediaSample* pBuffer) {
    auto* sample = dynamic_cast<CMediaSample*>(pBuffer);
    if (!sample) return E_POINTER;
    if (sample->m_pAllocator != this) return E_INVALIDARG;
    {
        std::lock_guard lock(m_lock);
        m_lFree.push_back(sample);
        if (m_bDecommitInProgress && static_cast<LONG>(m_lFree.size()) == m_lAllocated) {
            m_bDecommitInProgress = false;
            Free();
        }
        m_freeSignal.notify_one();
    }
    // The reference the sample held; this may be the last one.
    Release();
    return S_OK;
}

LONG CBaseAllocator::FreeCount() {
    std::lock_guard lock(m_lock);
    return static_cast<LONG>(m_lFree.size());
}
