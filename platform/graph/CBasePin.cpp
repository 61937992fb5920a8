#include "platform/graph/CBasePin.h"
#include "platform/graph/CBaseFilter.h"
#include "platform/graph/CEnumMediaTypes.h"
#include "platform/com/WideString.h"
#include <new>

namespace {
// Failures that only say "not this type"; the negotiation goes on with the next one
// and reports VFW_E_NO_ACCEPTABLE_TYPES if nothing fits.
bool IsTypeRefusal(HRESULT hr) { return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED; }
}  // namespace

CBasePin::CBasePin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR pinName,
                   PIN_DIRECTION dir)
    : CUnknown(objectName, nullptr),
      m_name(pinName ? pinName : u""),
      m_pName(m_name.data()),
      m_dir(dir),
      m_pLock(lock),
      m_pFilter(filter) {
    (void)phr;
}

CBasePin::~CBasePin() {
    // A pin deleted while connected gives up its peer reference; the peer is not told.
    if (m_Connected) {
        m_Connected->Release();
        m_Connected = nullptr;
    }
}

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IPin) return GetInterface(static_cast<IPin*>(this), ppv);
    if (riid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), ppv);
    if (riid == IID_IUnknown) return GetInterface(static_cast<IPin*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

ULONG CBasePin::NonDelegatingAddRef() { return m_pFilter->AddRef(); }
ULONG CBasePin::NonDelegatingRelease() { return m_pFilter->Release(); }

BOOL CBasePin::IsStopped() const { return m_pFilter->IsStopped(); }

HRESULT CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    if (!pReceivePin) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    const HRESULT hr = AgreeMediaType(pReceivePin, static_cast<const CMediaType*>(pmt));
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    return S_OK;
}

HRESULT CBasePin::AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt) {
    // A fully specified type is the only candidate.
    if (pmt && !pmt->IsPartiallySpecified()) return AttemptConnection(pReceivePin, pmt);

    HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int i = 0; i < 2; ++i) {
        ComPtr<IEnumMediaTypes> types;
        const bool peerTypes = (i == 0) != m_bTryMyTypesFirst;
        HRESULT hr = peerTypes ? pReceivePin->EnumMediaTypes(types.ReleaseAndGetAddressOf())
                               : EnumMediaTypes(types.ReleaseAndGetAddressOf());
        if (FAILED(hr) || !types) continue;
        hr = TryMediaTypes(pReceivePin, pmt, types.Get());
        if (SUCCEEDED(hr)) return S_OK;
        if (!IsTypeRefusal(hr)) failure = hr;
    }
    return failure;
}

HRESULT CBasePin::TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum) {
    if (FAILED(pEnum->Reset())) return VFW_E_NO_ACCEPTABLE_TYPES;
    HRESULT failure = S_OK;
    for (;;) {
        AM_MEDIA_TYPE* candidate = nullptr;
        ULONG fetched = 0;
        if (pEnum->Next(1, &candidate, &fetched) != S_OK || !candidate) {
            DeleteMediaType(candidate);
            return failure == S_OK ? VFW_E_NO_ACCEPTABLE_TYPES : failure;
        }
        auto* type = static_cast<CMediaType*>(candidate);
        HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
        if (!pmt || type->MatchesPartial(pmt)) {
            hr = AttemptConnection(pReceivePin, type);
            // Keep the first failure that says more than "not this type".
            if (FAILED(hr) && SUCCEEDED(failure) && !IsTypeRefusal(hr)) failure = hr;
        }
        DeleteMediaType(candidate);
        if (hr == S_OK) return S_OK;
    }
}

HRESULT CBasePin::AttemptConnection(IPin* pReceivePin, const CMediaType* pmt) {
    CAutoLock lock(m_pLock);
    HRESULT hr = CheckConnect(pReceivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(pmt);
    if (hr == S_OK) {
        m_Connected = pReceivePin;
        m_Connected->AddRef();
        hr = SetMediaType(pmt);
        if (SUCCEEDED(hr)) {
            hr = pReceivePin->ReceiveConnection(static_cast<IPin*>(this), pmt);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(pReceivePin);
                if (SUCCEEDED(hr)) return hr;
                pReceivePin->Disconnect();
            }
        }
    } else if (SUCCEEDED(hr) || IsTypeRefusal(hr)) {
        hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (m_Connected) {
        m_Connected->Release();
        m_Connected = nullptr;
    }
    BreakConnect();
    return hr;
}

HRESULT CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
    if (!pConnector || !pmt) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(pConnector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    const auto* type = static_cast<const CMediaType*>(pmt);
    hr = CheckMediaType(type);
    if (hr != S_OK) {
        BreakConnect();
        return (SUCCEEDED(hr) || IsTypeRefusal(hr)) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_Connected = pConnector;
    m_Connected->AddRef();
    hr = SetMediaType(type);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(pConnector);
        if (SUCCEEDED(hr)) return S_OK;
    }
    m_Connected->Release();
    m_Connected = nullptr;
    BreakConnect();
    return hr;
}

HRESULT CBasePin::Disconnect() {
    CAutoLock lock(m_pLock);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
    if (!m_Connected) return S_FALSE;
    const HRESULT hr = BreakConnect();
    if (FAILED(hr)) return hr;
    m_Connected->Release();
    m_Connected = nullptr;
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pPin) {
    if (!pPin) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pPin = m_Connected;
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    m_Connected->AddRef();
    return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_Connected) {
        static_cast<CMediaType*>(pmt)->InitMediaType();
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->pFilter = m_pFilter;
    if (m_pFilter) m_pFilter->AddRef();
    WideCopy(pInfo->achName, MAX_PIN_NAME, m_pName);
    pInfo->dir = m_dir;
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* pPinDir) {
    if (!pPinDir) return E_POINTER;
    *pPinDir = m_dir;
    return S_OK;
}

HRESULT CBasePin::QueryId(LPWSTR* Id) { return AMGetWideString(m_pName, Id); }

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    const HRESULT hr = CheckMediaType(static_cast<const CMediaType*>(pmt));
    return hr == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) CEnumMediaTypes(this, nullptr);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBasePin::QueryInternalConnections(IPin** apPin, ULONG* nPin) {
    (void)apPin;
    (void)nPin;
    return E_NOTIMPL;
}

HRESULT CBasePin::EndOfStream() { return S_OK; }

HRESULT CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

HRESULT CBasePin::Notify(IBaseFilter* pSelf, Quality q) {
    (void)pSelf;
    (void)q;
    return E_NOTIMPL;
}

HRESULT CBasePin::SetSink(IQualityControl* piqc) {
    CAutoLock lock(m_pLock);
    m_pQSink = piqc;
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    (void)pMediaType;
    return iPosition < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    return m_mt.Set(*pmt);
}

HRESULT CBasePin::CheckConnect(IPin* pPin) {
    if (!pPin) return E_POINTER;
    PIN_DIRECTION dir;
    const HRESULT hr = pPin->QueryDirection(&dir);
    if (FAILED(hr)) return hr;
    return dir == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() { return S_OK; }
HRESULT CBasePin::CompleteConnect(IPin* pReceivePin) {
    (void)pReceivePin;
    return S_OK;
}
HRESULT CBasePin::Active() { return S_OK; }
HRESULT CBasePin::Inactive() { return S_OK; }
HRESULT CBasePin::Run(REFERENCE_TIME tStart) {
    (void)tStart;
    return S_OK;
}
