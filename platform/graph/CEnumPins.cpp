#include "platform/graph/CEnumPins.h"
#include "platform/graph/CBaseFilter.h"
#include "platform/graph/CBasePin.h"
#include <algorithm>
#include <new>

CEnumPins::CEnumPins(CBaseFilter* filter, const CEnumPins* copyFrom)
    : m_pFilter(filter), m_Version(filter->GetPinVersion()) {
    if (copyFrom) {
        m_Position = copyFrom->m_Position;
        m_Version = copyFrom->m_Version;
    }
    m_pFilter->AddRef();
}

CEnumPins::~CEnumPins() { m_pFilter->Release(); }

HRESULT CEnumPins::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumPins) {
        *ppv = static_cast<IEnumPins*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CEnumPins::AddRef() { return static_cast<ULONG>(++m_cRef); }

ULONG CEnumPins::Release() {
    const LONG left = --m_cRef;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

bool CEnumPins::AreWeOutOfSync() const { return m_Version != m_pFilter->GetPinVersion(); }

HRESULT CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
    if (!ppPins) return E_POINTER;
    if (!pcFetched && cPins != 1) return E_INVALIDARG;
    if (pcFetched) *pcFetched = 0;
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG fetched = 0;
    const int count = m_pFilter->GetPinCount();
    while (fetched < cPins && m_Position < count) {
        CBasePin* pin = m_pFilter->GetPin(m_Position++);
        if (!pin) break;
        ppPins[fetched] = pin;
        pin->AddRef();
        ++fetched;
    }
    if (pcFetched) *pcFetched = fetched;
    return fetched == cPins ? S_OK : S_FALSE;
}

HRESULT CEnumPins::Skip(ULONG cPins) {
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    const ULONG left = static_cast<ULONG>(std::max(0, m_pFilter->GetPinCount() - m_Position));
    if (cPins > left) return S_FALSE;
    m_Position += static_cast<int>(cPins);
    return S_OK;
}

HRESULT CEnumPins::Reset() {
    m_Version = m_pFilter->GetPinVersion();
    m_Position = 0;
    return S_OK;
}

HRESULT CEnumPins::Clone(IEnumPins** ppEnum) {
    if (!ppEnum) return E_POINTER;
    if (AreWeOutOfSync()) {
        *ppEnum = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *ppEnum = new (std::nothrow) CEnumPins(m_pFilter, this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}
