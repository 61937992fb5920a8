#pragma once
// The output pin of CPushSourceFilter: offers the filter's types and fills each
// buffer through the user's callback on the pin's worker thread.
#include "platform/graph/CSourceStream.h"
#include <atomic>
#include <functional>
#include <vector>

class CPushSourceFilter;

class CPushSourceStream final : public CSourceStream {
public:
    using FillCallback = std::function<HRESULT(IMediaSample*)>;

    CPushSourceStream(CPushSourceFilter* filter, HRESULT* phr, std::vector<CMediaType> types, LONG bufferSize,
                      LONG bufferCount, FillCallback fill, LPCWSTR pinName);

    // S_OK: deliver; S_FALSE: end of stream; a failure ends the stream with an error.
    // Without a callback the stream ends at once.
    HRESULT FillBuffer(IMediaSample* pSample) override;
    // Asks for the buffer count and size given at construction; fails when the
    // allocator grants smaller buffers.
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    using CSourceStream::GetMediaType;

    ULONGLONG SamplesFilled() const { return filled_.load(); }

private:
    std::vector<CMediaType> types_;
    LONG bufferSize_;
    LONG bufferCount_;
    FillCallback fill_;
    std::atomic<ULONGLONG> filled_{0};
};
