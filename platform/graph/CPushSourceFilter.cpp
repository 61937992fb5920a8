#include "platform/graph/CPushSourceFilter.h"
#include <new>

CPushSourceFilter::CPushSourceFilter(std::vector<CMediaType> types, LONG bufferSize, LONG bufferCount,
                                     FillCallback fill, HRESULT* phr, LPCWSTR pinName)
    : CSource("Push source", nullptr, CLSID_KestrelPushSource, phr) {
    HRESULT hr = S_OK;
    // The pin enters the pin list itself; CSource deletes it.
    stream_ = new (std::nothrow)
        CPushSourceStream(this, &hr, std::move(types), bufferSize, bufferCount, std::move(fill), pinName);
    if (phr && (!stream_ || FAILED(hr))) *phr = stream_ ? hr : E_OUTOFMEMORY;
}

HRESULT CPushSourceFilter::Pause() {
    {
        CAutoLock lock(&m_cStateLock);
        if (m_State == State_Stopped) stopping_.Reset();
    }
    return CSource::Pause();
}

HRESULT CPushSourceFilter::Stop() {
    stopping_.Set();
    return CSource::Stop();
}
