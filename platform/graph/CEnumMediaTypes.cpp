#include "platform/graph/CEnumMediaTypes.h"
#include "platform/com/TaskMemory.h"
#include "platform/graph/CBasePin.h"
#include "platform/graph/CMediaType.h"
#include <new>

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* copyFrom)
    : m_pPin(pin), m_Version(pin->GetMediaTypeVersion()) {
    if (copyFrom) {
        m_Position = copyFrom->m_Position;
        m_Version = copyFrom->m_Version;
    }
    m_pPin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes() { m_pPin->Release(); }

HRESULT CEnumMediaTypes::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
        *ppv = static_cast<IEnumMediaTypes*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CEnumMediaTypes::AddRef() { return static_cast<ULONG>(++m_cRef); }

ULONG CEnumMediaTypes::Release() {
    const LONG left = --m_cRef;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

bool CEnumMediaTypes::AreWeOutOfSync() const { return m_Version != m_pPin->GetMediaTypeVersion(); }

HRESULT CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) {
    if (!ppMediaTypes) return E_POINTER;
    if (!pcFetched && cMediaTypes != 1) return E_INVALIDARG;
    if (pcFetched) *pcFetched = 0;
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG fetched = 0;
    while (fetched < cMediaTypes) {
        CMediaType type;
        if (m_pPin->GetMediaType(m_Position, &type) != S_OK) break;
        AM_MEDIA_TYPE* copy = CreateMediaType(&type);
        if (!copy) break;
        ppMediaTypes[fetched++] = copy;
        ++m_Position;
    }
    if (pcFetched) *pcFetched = fetched;
    return fetched == cMediaTypes ? S_OK : S_FALSE;
}

HRESULT CEnumMediaTypes::Skip(ULONG cMediaTypes) {
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    // Positions are only known by asking the pin, one at a time.
    for (ULONG i = 0; i < cMediaTypes; ++i) {
        CMediaType type;
        if (m_pPin->GetMediaType(m_Position, &type) != S_OK) return S_FALSE;
        ++m_Position;
    }
    return S_OK;
}

HRESULT CEnumMediaTypes::Reset() {
    m_Version = m_pPin->GetMediaTypeVersion();
    m_Position = 0;
    return S_OK;
}

HRESULT CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum) {
    if (!ppEnum) return E_POINTER;
    if (AreWeOutOfSync()) {
        *ppEnum = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *ppEnum = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}
