#include "platform/graph/CSource.h"
#include "platform/graph/CSourceStream.h"
#include <new>

CSource::CSource(const char* name, IUnknown* outer, CLSID clsid, HRESULT* phr)
    : CBaseFilter(name, outer, &m_cStateLock, clsid, phr) {}

CSource::~CSource() {
    // Each pin takes itself out of the list as it is deleted.
    while (m_iPins != 0) delete m_paStreams[m_iPins - 1];
    delete[] m_paStreams;
}

int CSource::GetPinCount() {
    CAutoLock lock(&m_cStateLock);
    return m_iPins;
}

CBasePin* CSource::GetPin(int n) {
    CAutoLock lock(&m_cStateLock);
    if (n < 0 || n >= m_iPins) return nullptr;
    return m_paStreams[n];
}

HRESULT CSource::AddPin(CSourceStream* pStream) {
    if (!pStream) return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    auto** grown = new (std::nothrow) CSourceStream*[m_iPins + 1];
    if (!grown) return E_OUTOFMEMORY;
    for (int i = 0; i < m_iPins; ++i) grown[i] = m_paStreams[i];
    grown[m_iPins] = pStream;
    delete[] m_paStreams;
    m_paStreams = grown;
    ++m_iPins;
    IncrementPinVersion();
    return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* pStream) {
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (m_paStreams[i] != pStream) continue;
        for (int j = i; j + 1 < m_iPins; ++j) m_paStreams[j] = m_paStreams[j + 1];
        --m_iPins;
        if (m_iPins == 0) {
            delete[] m_paStreams;
            m_paStreams = nullptr;
        }
        IncrementPinVersion();
        return S_OK;
    }
    return S_FALSE;
}

int CSource::FindPinNumber(IPin* iPin) {
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (static_cast<IPin*>(m_paStreams[i]) == iPin) return i;
    }
    return -1;
}
