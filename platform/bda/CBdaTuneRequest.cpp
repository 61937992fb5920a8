#include "platform/bda/CBdaTuneRequest.h"
#include "platform/bda/CBdaLocator.h"

CBdaTuneRequest::CBdaTuneRequest(bool atsc, ITuningSpace* space)
    : CUnknown("CBdaTuneRequest", nullptr),
      atsc_(atsc),
      props_(atsc ? "ATSCChannelTuneRequest" : "DVBTuneRequest"),
      space_(space) {}

HRESULT CBdaTuneRequest::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_ITuneRequest || riid == IID_IDispatch) return GetInterface(AsTuneRequest(), ppv);
    if (riid == IID_IDVBTuneRequest && !atsc_) return GetInterface(static_cast<IDVBTuneRequest*>(this), ppv);
    if ((riid == IID_IATSCChannelTuneRequest || riid == IID_IChannelTuneRequest) && atsc_)
        return GetInterface(static_cast<IATSCChannelTuneRequest*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBdaTuneRequest::get_TuningSpace(ITuningSpace** TuningSpace) {
    if (!TuningSpace) return E_POINTER;
    *TuningSpace = space_.Get();
    if (*TuningSpace) (*TuningSpace)->AddRef();
    return S_OK;
}

HRESULT CBdaTuneRequest::get_Components(IComponents** Components) {
    if (Components) *Components = nullptr;
    return E_NOTIMPL;
}

HRESULT CBdaTuneRequest::Clone(ITuneRequest** NewTuneRequest) {
    if (NewTuneRequest) *NewTuneRequest = nullptr;
    return E_NOTIMPL;
}

HRESULT CBdaTuneRequest::get_Locator(ILocator** Locator) {
    if (!Locator) return E_POINTER;
    std::lock_guard lock(locatorMutex_);
    *Locator = locator_.Get();
    if (*Locator) (*Locator)->AddRef();
    return S_OK;
}

HRESULT CBdaTuneRequest::put_Locator(ILocator* Locator) {
    {
        std::lock_guard lock(locatorMutex_);
        locator_ = Locator;
    }
    props_.Note("put_Locator", CBdaLocator::KindName(Locator));
    return S_OK;
}

const char* CBdaTuneRequest::KindName(ITuneRequest* request) {
    if (!request) return "null";
    ComPtr<IDVBTuneRequest> dvb;
    if (SUCCEEDED(request->QueryInterface(IID_IDVBTuneRequest, reinterpret_cast<void**>(dvb.ReleaseAndGetAddressOf()))))
        return "DVBTuneRequest";
    ComPtr<IATSCChannelTuneRequest> atsc;
    if (SUCCEEDED(request->QueryInterface(IID_IATSCChannelTuneRequest,
                                          reinterpret_cast<void**>(atsc.ReleaseAndGetAddressOf()))))
        return "ATSCChannelTuneRequest";
    return "unknown";
}
