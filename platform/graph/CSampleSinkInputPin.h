#pragma once
// The input pin of CSampleSinkFilter: accepts the filter's types, hands every sample
// to the filter and reports end of stream.
#include "platform/graph/CBaseInputPin.h"

class CSampleSinkFilter;

class CSampleSinkInputPin final : public CBaseInputPin {
public:
    CSampleSinkInputPin(CSampleSinkFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR name);

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    // Offers the fully specified accepted types.
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;

private:
    CSampleSinkFilter* sink_;
};
