#include "platform/graph/CMediaSample.h"
#include "platform/graph/CBaseAllocator.h"
#include "platform/graph/CMediaType.h"

CMediaSample::CMediaSample(const char* name, CBaseAllocator* allocator, HRESULT* phr, BYTE* buffer, LONG length)
    : m_pName(name), m_pBuffer(buffer), m_lActual(length), m_cbBuffer(length), m_pAllocator(allocator) {
    if (!allocator && phr) *phr = E_POINTER;
}

CMediaSample::~CMediaSample() {
    if (m_pMediaType) DeleteMediaType(m_pMediaType);
}

HRESULT CMediaSample::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMediaSample) {
        *ppv = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() { return static_cast<ULONG>(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1); }

ULONG CMediaSample::Release() {
    const LONG left = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        ResetProperties();
        if (m_pAllocator) m_pAllocator->ReleaseBuffer(this);
    }
    return static_cast<ULONG>(left);
}

void CMediaSample::ResetProperties() {
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
    m_dwFlags = 0;
    m_Start = m_End = 0;
    m_MediaStart = m_MediaEnd = 0;
    m_lActual = m_cbBuffer;
}

HRESULT CMediaSample::SetPointer(BYTE* buffer, LONG length) {
    if (length < 0) return VFW_E_BUFFER_OVERFLOW;
    m_pBuffer = buffer;
    m_cbBuffer = length;
    m_lActual = length;
    return S_OK;
}

HRESULT CMediaSample::GetPointer(BYTE** ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = m_pBuffer;
    return S_OK;
}

LONG CMediaSample::GetSize() { return m_cbBuffer; }

HRESULT CMediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!(m_dwFlags & Sample_TimeValid)) return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = m_Start;
    if (!(m_dwFlags & Sample_StopValid)) {
        *pTimeEnd = m_Start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *pTimeEnd = m_End;
    return S_OK;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    if (!pTimeStart) {
        m_dwFlags &= ~(Sample_TimeValid | Sample_StopValid);
    } else if (!pTimeEnd) {
        m_Start = *pTimeStart;
        m_dwFlags |= Sample_TimeValid;
        m_dwFlags &= ~Sample_StopValid;
    } else {
        m_Start = *pTimeStart;
        m_End = *pTimeEnd;
        m_dwFlags |= Sample_TimeValid | Sample_StopValid;
    }
    return S_OK;
}

HRESULT CMediaSample::IsSyncPoint() { return (m_dwFlags & Sample_SyncPoint) ? S_OK : S_FALSE; }

HRESULT CMediaSample::SetSyncPoint(BOOL bIsSyncPoint) {
    if (bIsSyncPoint)
        m_dwFlags |= Sample_SyncPoint;
    else
        m_dwFlags &= ~Sample_SyncPoint;
    return S_OK;
}

HRESULT CMediaSample::IsPreroll() { return (m_dwFlags & Sample_Preroll) ? S_OK : S_FALSE; }

HRESULT CMediaSample::SetPreroll(BOOL bIsPreroll) {
    if (bIsPreroll)
        m_dwFlags |= Sample_Preroll;
    else
        m_dwFlags &= ~Sample_Preroll;
    return S_OK;
}

LONG CMediaSample::GetActualDataLength() { return m_lActual; }

HRESULT CMediaSample::SetActualDataLength(LONG length) {
    if (length < 0 || length > m_cbBuffer) return VFW_E_BUFFER_OVERFLOW;
    m_lActual = length;
    return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
    if (!ppMediaType) return E_POINTER;
    if (!(m_dwFlags & Sample_TypeChanged) || !m_pMediaType) {
        *ppMediaType = nullptr;
        return S_FALSE;
    }
    *ppMediaType = CreateMediaType(m_pMediaType);
    return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
    if (!pMediaType) {
        m_dwFlags &= ~Sample_TypeChanged;
        return S_OK;
    }
    m_pMediaType = CreateMediaType(pMediaType);
    if (!m_pMediaType) {
        m_dwFlags &= ~Sample_TypeChanged;
        return E_OUTOFMEMORY;
    }
    m_dwFlags |= Sample_TypeChanged;
    return S_OK;
}

HRESULT CMediaSample::IsDiscontinuity() { return (m_dwFlags & Sample_Discontinuity) ? S_OK : S_FALSE; }

HRESULT CMediaSample::SetDiscontinuity(BOOL bDiscontinuity) {
    if (bDiscontinuity)
        m_dwFlags |= Sample_Discontinuity;
    else
        m_dwFlags &= ~Sample_Discontinuity;
    return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!(m_dwFlags & Sample_MediaTimeValid)) return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = m_MediaStart;
    *pTimeEnd = m_MediaEnd;
    return S_OK;
}

HRESULT CMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (!pTimeStart) {
        m_dwFlags &= ~Sample_MediaTimeValid;
        return S_OK;
    }
    if (!pTimeEnd) return E_POINTER;
    m_MediaStart = *pTimeStart;
    m_MediaEnd = *pTimeEnd;
    m_dwFlags |= Sample_MediaTimeValid;
    return S_OK;
}
