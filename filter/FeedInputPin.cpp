#include "filter/FeedInputPin.h"

#include "filter/FeedFilter.h"
#include "filter/TsMediaTypes.h"

CFeedInputPin::CFeedInputPin(CFeedFilter* filter, HRESULT* phr)
    : CBaseInputPin("Antenna", filter, &lock_, phr, u"Antenna"), filter_(filter) {}

HRESULT CFeedInputPin::GetMediaType(int position, CMediaType* mediaType) {
    CAutoLock lock(&lock_);
    return GetTsMediaType(position, mediaType);
}

HRESULT CFeedInputPin::CheckMediaType(const CMediaType* mediaType) {
    CAutoLock lock(&lock_);
    return CheckTsMediaType(mediaType);
}

HRESULT CFeedInputPin::SetMediaType(const CMediaType* mediaType) {
    CAutoLock lock(&lock_);
    return CBaseInputPin::SetMediaType(mediaType);
}

HRESULT CFeedInputPin::QueryInternalConnections(IPin** /*pins*/, ULONG* /*count*/) { return E_NOTIMPL; }

HRESULT CFeedInputPin::Receive(IMediaSample* sample) {
    if (filter_->Mode() != kModePassThrough || !sample) return S_OK;
    sample->AddRef();
    CFeedFilter::OnFeedData(filter_, sample);
    return S_OK;
}
