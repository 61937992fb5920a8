#include "platform/bda/CBdaFilter.h"

CBdaInputPin::CBdaInputPin(CBdaFilter* filter, CCritSec* lock, LPCWSTR name)
    : CBaseInputPin("CBdaInputPin", filter, lock, nullptr, name), owner_(filter) {}

HRESULT CBdaInputPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    return owner_->CheckType(this, pmt);
}

HRESULT CBdaInputPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (iPosition < 0) return E_INVALIDARG;
    if (!pMediaType) return E_POINTER;
    return owner_->ProposeType(this, iPosition, pMediaType);
}

HRESULT CBdaInputPin::CheckConnect(IPin* pPin) {
    HRESULT hr = CBaseInputPin::CheckConnect(pPin);
    return FAILED(hr) ? hr : owner_->CheckPeer(this, pPin);
}

HRESULT CBdaInputPin::Receive(IMediaSample* pSample) {
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    return owner_->OnSample(this, pSample);
}

CBdaOutputPin::CBdaOutputPin(CBdaFilter* filter, CCritSec* lock, LPCWSTR name)
    : CBaseOutputPin("CBdaOutputPin", filter, lock, nullptr, name), owner_(filter) {}

HRESULT CBdaOutputPin::CheckMediaType(const CMediaType* pmt) {
    if (!pmt) return E_POINTER;
    return owner_->CheckType(this, pmt);
}

HRESULT CBdaOutputPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (iPosition < 0) return E_INVALIDARG;
    if (!pMediaType) return E_POINTER;
    return owner_->ProposeType(this, iPosition, pMediaType);
}

HRESULT CBdaOutputPin::CompleteConnect(IPin* pReceivePin) {
    HRESULT hr = CBaseOutputPin::CompleteConnect(pReceivePin);
    if (SUCCEEDED(hr)) owner_->Connected(this);
    return hr;
}

HRESULT CBdaOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) {
    if (!pAlloc || !pRequest) return E_POINTER;
    LONG count = 1, size = 188;
    owner_->BufferSize(this, &count, &size);
    ALLOCATOR_PROPERTIES wanted = *pRequest;
    wanted.cBuffers = std::max(wanted.cBuffers, count);
    wanted.cbBuffer = std::max(wanted.cbBuffer, size);
    if (wanted.cbAlign <= 0) wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = pAlloc->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < size ? E_FAIL : S_OK;
}

CBdaFilter::CBdaFilter(const char* name, REFCLSID clsid) : CBaseFilter(name, nullptr, &lock_, clsid) {}

CBdaFilter::~CBdaFilter() = default;

int CBdaFilter::GetPinCount() {
    std::lock_guard lock(pinsMutex_);
    return static_cast<int>(pins_.size());
}

CBasePin* CBdaFilter::GetPin(int n) {
    std::lock_guard lock(pinsMutex_);
    return n >= 0 && n < static_cast<int>(pins_.size()) ? pins_[static_cast<size_t>(n)].get() : nullptr;
}

HRESULT CBdaFilter::ProposeType(CBasePin*, int, CMediaType*) { return VFW_S_NO_MORE_ITEMS; }
HRESULT CBdaFilter::CheckPeer(CBasePin*, IPin*) { return S_OK; }
void CBdaFilter::Connected(CBdaOutputPin*) {}
HRESULT CBdaFilter::OnSample(CBdaInputPin*, IMediaSample*) { return S_OK; }
void CBdaFilter::BufferSize(CBdaOutputPin*, LONG*, LONG*) {}

CBdaInputPin* CBdaFilter::AddInput(const char16_t* name) {
    auto pin = std::make_unique<CBdaInputPin>(this, &lock_, name);
    CBdaInputPin* raw = pin.get();
    std::lock_guard lock(pinsMutex_);
    pins_.push_back(std::move(pin));
    IncrementPinVersion();
    return raw;
}

CBdaOutputPin* CBdaFilter::AddOutput(const char16_t* name) {
    auto pin = std::make_unique<CBdaOutputPin>(this, &lock_, name);
    CBdaOutputPin* raw = pin.get();
    std::lock_guard lock(pinsMutex_);
    pins_.push_back(std::move(pin));
    IncrementPinVersion();
    return raw;
}

std::vector<CBdaOutputPin*> CBdaFilter::ConnectedOutputs() {
    std::vector<CBdaOutputPin*> out;
    std::lock_guard lock(pinsMutex_);
    for (auto& pin : pins_)
        if (pin->Direction() == PINDIR_OUTPUT && pin->IsConnected()) out.push_back(static_cast<CBdaOutputPin*>(pin.get()));
    return out;
}

CMediaType TransportStreamType(const GUID& subtype) {
    CMediaType mt;
    mt.InitMediaType();
    mt.SetType(&MEDIATYPE_Stream);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_None);
    return mt;
}

bool IsTransportStream(const CMediaType* mt) {
    return mt && *mt->Type() == MEDIATYPE_Stream &&
           (*mt->Subtype() == MEDIASUBTYPE_MPEG2_TRANSPORT || *mt->Subtype() == KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
}
