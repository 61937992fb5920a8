#include "platform/graph/CPushSourceStream.h"
#include "platform/graph/CPushSourceFilter.h"

CPushSourceStream::CPushSourceStream(CPushSourceFilter* filter, HRESULT* phr, std::vector<CMediaType> types,
                                     LONG bufferSize, LONG bufferCount, FillCallback fill, LPCWSTR pinName)
    : CSourceStream("Push source output", phr, filter, pinName),
      types_(std::move(types)),
      bufferSize_(bufferSize),
      bufferCount_(bufferCount),
      fill_(std::move(fill)) {
    SetThreadName("Push source");
    if (phr && SUCCEEDED(*phr) && (bufferSize <= 0 || bufferCount <= 0)) *phr = E_INVALIDARG;
}

HRESULT CPushSourceStream::FillBuffer(IMediaSample* pSample) {
    if (!fill_) return S_FALSE;
    HRESULT hr = fill_(pSample);
    if (hr == S_OK) filled_.fetch_add(1);
    return hr;
}

HRESULT CPushSourceStream::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) {
    if (!pAlloc || !pRequest) return E_POINTER;
    if (bufferSize_ <= 0 || bufferCount_ <= 0) return E_INVALIDARG;
    ALLOCATOR_PROPERTIES wanted = *pRequest;
    wanted.cBuffers = bufferCount_;
    wanted.cbBuffer = bufferSize_;
    if (wanted.cbAlign <= 0) wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = pAlloc->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < bufferSize_ ? E_FAIL : S_OK;
}

HRESULT CPushSourceStream::CheckMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    for (const CMediaType& mt : types_)
        if (*pmt == mt) return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CPushSourceStream::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (iPosition < 0) return E_INVALIDARG;
    if (!pMediaType) return E_POINTER;
    if (static_cast<size_t>(iPosition) >= types_.size()) return VFW_S_NO_MORE_ITEMS;
    *pMediaType = types_[static_cast<size_t>(iPosition)];
    return S_OK;
}
