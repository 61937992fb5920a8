#pragma once
#include "platform/graph/CBaseInputPin.h"
#include "platform/system/CritSec.h"

class CFeedFilter;

// "Antenna": in pass-through mode every received sample goes into the filter's queue.
class CFeedInputPin : public CBaseInputPin {
public:
    CFeedInputPin(CFeedFilter* filter, HRESULT* phr);

    HRESULT GetMediaType(int position, CMediaType* mediaType) override;
    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT SetMediaType(const CMediaType* mediaType) override;
    HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT Receive(IMediaSample* sample) override;

private:
    // Serialises this pin's connection and type operations, apart from the filter's state lock.
    CCritSec lock_;
    CFeedFilter* filter_;
};
