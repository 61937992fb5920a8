#include "platform/graph/CBaseFilter.h"
#include "platform/graph/CBasePin.h"
#include "platform/graph/CEnumPins.h"
#include "platform/graph/MediaEventSink.h"
#include "platform/com/WideString.h"
#include <new>

CBaseFilter::CBaseFilter(const char* name, IUnknown* outer, CCritSec* lock, REFCLSID clsid, HRESULT* phr)
    : CUnknown(name, outer), m_clsid(clsid), m_pLock(lock) {
    (void)phr;
}

CBaseFilter::~CBaseFilter() {
    if (m_pClock) {
        m_pClock->Release();
        m_pClock = nullptr;
    }
}

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IBaseFilter) return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    if (riid == IID_IMediaFilter) return GetInterface(static_cast<IMediaFilter*>(this), ppv);
    if (riid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), ppv);
    if (riid == IID_IAMovieSetup) return GetInterface(static_cast<IAMovieSetup*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseFilter::GetClassID(CLSID* pClsID) {
    if (!pClsID) return E_POINTER;
    *pClsID = m_clsid;
    return S_OK;
}

HRESULT CBaseFilter::Stop() {
    CAutoLock lock(m_pLock);
    HRESULT hr = S_OK;
    if (m_State != State_Stopped) {
        const int pins = GetPinCount();
        for (int i = 0; i < pins; ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin) break;
            if (pin->IsConnected()) {
                // Every pin is stopped even when one fails; the first failure is reported.
                const HRESULT pinResult = pin->Inactive();
                if (FAILED(pinResult) && SUCCEEDED(hr)) hr = pinResult;
            }
        }
    }
    m_State = State_Stopped;
    return hr;
}

HRESULT CBaseFilter::Pause() {
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        const int pins = GetPinCount();
        for (int i = 0; i < pins; ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin) break;
            if (pin->IsConnected()) {
                const HRESULT hr = pin->Active();
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_State = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock lock(m_pLock);
    m_tStart = tStart;
    if (m_State == State_Stopped) {
        // Through the virtual Pause, so a subclass's own pause work happens too.
        const HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (m_State != State_Running) {
        const int pins = GetPinCount();
        for (int i = 0; i < pins; ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin) break;
            if (pin->IsConnected()) {
                const HRESULT hr = pin->Run(tStart);
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_State = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD dwMSecs, FILTER_STATE* State) {
    (void)dwMSecs;
    if (!State) return E_POINTER;
    *State = m_State;
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* pClock) {
    CAutoLock lock(m_pLock);
    if (pClock) pClock->AddRef();
    if (m_pClock) m_pClock->Release();
    m_pClock = pClock;
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** pClock) {
    if (!pClock) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pClock = m_pClock;
    if (m_pClock) m_pClock->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) CEnumPins(this, nullptr);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBaseFilter::FindPin(LPCWSTR Id, IPin** ppPin) {
    if (!Id || !ppPin) return E_POINTER;
    CAutoLock lock(m_pLock);
    const int pins = GetPinCount();
    for (int i = 0; i < pins; ++i) {
        CBasePin* pin = GetPin(i);
        if (!pin) break;
        if (WideEqual(pin->Name(), Id)) {
            *ppPin = pin;
            pin->AddRef();
            return S_OK;
        }
    }
    *ppPin = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
    if (!pInfo) return E_POINTER;
    CAutoLock lock(m_pLock);
    WideCopy(pInfo->achName, MAX_FILTER_NAME, m_name.c_str());
    pInfo->pGraph = m_pGraph;
    if (m_pGraph) m_pGraph->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) {
    CAutoLock lock(m_pLock);
    m_pGraph = pGraph;
    m_pSink = nullptr;
    if (pGraph) {
        IMediaEventSink* sink = nullptr;
        if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) && sink) {
            // Kept without a reference, like the graph pointer itself.
            m_pSink = sink;
            sink->Release();
        }
    }
    m_name = pName ? pName : u"";
    return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(LPWSTR* pVendorInfo) {
    (void)pVendorInfo;
    return E_NOTIMPL;
}

HRESULT CBaseFilter::Register() { return E_NOTIMPL; }
HRESULT CBaseFilter::Unregister() { return E_NOTIMPL; }

HRESULT CBaseFilter::NotifyEvent(long eventCode, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = m_pSink;
    if (!sink) return E_NOTIMPL;
    if (eventCode == EC_COMPLETE) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    return sink->Notify(eventCode, param1, param2);
}

BOOL CBaseFilter::IsActive() {
    CAutoLock lock(m_pLock);
    return m_State != State_Stopped;
}
