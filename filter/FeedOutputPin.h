#pragma once
#include "platform/graph/CSourceStream.h"

class CFeedFilter;

// "TS Out": its worker drains the filter's queue and delivers downstream.
class CFeedOutputPin : public CSourceStream {
public:
    static constexpr long kBufferCount = 200;
    // Twice the largest queue entry.
    static constexpr long kBufferSize = 0x178000;

    CFeedOutputPin(CFeedFilter* filter, HRESULT* phr);

    HRESULT GetMediaType(int position, CMediaType* mediaType) override;
    HRESULT GetMediaType(CMediaType* mediaType) override;
    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT FillBuffer(IMediaSample* sample) override;

private:
    static constexpr DWORD kPopWaitMs = 500;
    CFeedFilter* filter_;
};
