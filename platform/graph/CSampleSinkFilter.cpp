#include "platform/graph/CSampleSinkFilter.h"
#include "platform/graph/CSampleSinkInputPin.h"
#include "platform/graph/MediaEventSink.h"
#include <new>

CSampleSinkFilter::CSampleSinkFilter(SampleCallback callback, std::vector<CMediaType> accepted, HRESULT* phr,
                                     LPCWSTR pinName)
    : CBaseFilter("Sample sink", nullptr, &lock_, CLSID_KestrelSampleSink, phr),
      callback_(std::move(callback)),
      accepted_(std::move(accepted)) {
    HRESULT hr = S_OK;
    pin_ = new (std::nothrow) CSampleSinkInputPin(this, &lock_, &hr, pinName);
    if (phr && (!pin_ || FAILED(hr))) *phr = pin_ ? hr : E_OUTOFMEMORY;
}

CSampleSinkFilter::~CSampleSinkFilter() { delete pin_; }

CBasePin* CSampleSinkFilter::GetPin(int n) { return n == 0 ? pin_ : nullptr; }

HRESULT CSampleSinkFilter::Pause() {
    {
        CAutoLock lock(&lock_);
        if (m_State == State_Stopped) endOfStream_.Reset();
    }
    return CBaseFilter::Pause();
}

bool CSampleSinkFilter::Accepts(const CMediaType* pmt) const {
    if (accepted_.empty()) return true;
    for (const CMediaType& mt : accepted_)
        if (pmt->MatchesPartial(&mt)) return true;
    return false;
}

void CSampleSinkFilter::OnSample(IMediaSample* sample) {
    samples_.fetch_add(1);
    const LONG length = sample->GetActualDataLength();
    if (length > 0) bytes_.fetch_add(static_cast<ULONGLONG>(length));
    if (callback_) callback_(sample);
}

void CSampleSinkFilter::OnEndOfStream() {
    endOfStream_.Set();
    NotifyEvent(EC_COMPLETE, S_OK, 0);
}
