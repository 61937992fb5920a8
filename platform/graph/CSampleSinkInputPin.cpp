#include "platform/graph/CSampleSinkInputPin.h"
#include "platform/graph/CSampleSinkFilter.h"

CSampleSinkInputPin::CSampleSinkInputPin(CSampleSinkFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR name)
    : CBaseInputPin("Sample sink input", filter, lock, phr, name), sink_(filter) {}

HRESULT CSampleSinkInputPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    return sink_->Accepts(pmt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSampleSinkInputPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (iPosition < 0) return E_INVALIDARG;
    if (!pMediaType) return E_POINTER;
    // A partly specified type is a filter on what we take, not a type to propose.
    int position = 0;
    for (const CMediaType& mt : sink_->accepted_) {
        if (mt.IsPartiallySpecified()) continue;
        if (position++ == iPosition) {
            *pMediaType = mt;
            return S_OK;
        }
    }
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT CSampleSinkInputPin::Receive(IMediaSample* pSample) {
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    sink_->OnSample(pSample);
    return S_OK;
}

HRESULT CSampleSinkInputPin::EndOfStream() {
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    sink_->OnEndOfStream();
    return S_OK;
}
