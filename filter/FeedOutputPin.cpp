#include "filter/FeedOutputPin.h"

#include "filter/FeedFilter.h"
#include "filter/TsMediaTypes.h"
#include "platform/system/Tick.h"

CFeedOutputPin::CFeedOutputPin(CFeedFilter* filter, HRESULT* phr)
    : CSourceStream("TS Out", phr, filter, u"TS Out"), filter_(filter) {}

HRESULT CFeedOutputPin::GetMediaType(int position, CMediaType* mediaType) {
    return GetTsMediaType(position, mediaType);
}

HRESULT CFeedOutputPin::GetMediaType(CMediaType* /*mediaType*/) { return E_UNEXPECTED; }

HRESULT CFeedOutputPin::CheckMediaType(const CMediaType* mediaType) {
    CAutoLock lock(filter_->pStateLock());
    return CheckTsMediaType(mediaType);
}

HRESULT CFeedOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    request->cBuffers = kBufferCount;
    request->cbBuffer = kBufferSize;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < kBufferSize) return E_FAIL;
    return S_OK;
}

HRESULT CFeedOutputPin::QueryInternalConnections(IPin** /*pins*/, ULONG* /*count*/) { return E_NOTIMPL; }

HRESULT CFeedOutputPin::FillBuffer(IMediaSample* sample) {
    BYTE* buffer = nullptr;
    HRESULT hr = sample->GetPointer(&buffer);
    if (FAILED(hr)) return hr;
    uint32_t mode = filter_->Mode();
    if (mode > kModeHostSupplied) return S_FALSE;

    CSampleQueue* queue = filter_->Queue();
    REFERENCE_TIME start = 0, stop = 0;
    auto pop = [&]() -> uint32_t {
        if (queue) return queue->Pop(buffer, kPopWaitMs, &start, &stop);
        Sleep(kPopWaitMs);
        return 0;
    };
    uint32_t length = pop();
    while (length == 0) {
        length = pop();
        Command command;
        // Data taken in this last wait still goes out; the worker sees the command next.
        if (length == 0 && CheckRequest(&command)) {
            sample->SetActualDataLength(0);
            return S_OK;
        }
    }
    sample->SetTime(&start, &stop);
    sample->SetActualDataLength(static_cast<long>(length));
    sample->SetDiscontinuity(filter_->TakeDiscontinuity() ? TRUE : FALSE);
    filter_->CallHostDataCallback(buffer, static_cast<int32_t>(length));
    return S_OK;
}
