#pragma once
// A source filter with one output pin whose buffers a callback fills on the pin's
// worker thread. The callback may block waiting for data; it should then watch
// StopRequested/WaitForStop so that stopping the graph does not wait for data that
// will never come.
#include "platform/graph/CPushSourceStream.h"
#include "platform/graph/CSource.h"
#include "platform/system/Event.h"

// {6DFB8B19-E00F-4999-AD6F-45885F132792}
constexpr CLSID CLSID_KestrelPushSource = {0x6DFB8B19, 0xE00F, 0x4999, {0xAD, 0x6F, 0x45, 0x88, 0x5F, 0x13, 0x27, 0x92}};

class CPushSourceFilter : public CSource {
public:
    using FillCallback = CPushSourceStream::FillCallback;

    // types: offered in this order, and the only ones accepted. bufferSize and
    // bufferCount: the samples the pin asks its allocator for; the count bounds the
    // samples in flight.
    CPushSourceFilter(std::vector<CMediaType> types, LONG bufferSize, LONG bufferCount, FillCallback fill,
                      HRESULT* phr = nullptr, LPCWSTR pinName = u"Out");

    // A pause from stopped clears the stop request.
    HRESULT Pause() override;
    // Raises the stop request before the worker is stopped, so a waiting callback
    // can return.
    HRESULT Stop() override;

    bool StopRequested() const { return stopping_.IsSet(); }
    // True as soon as a stop is requested, false after the timeout.
    bool WaitForStop(DWORD timeoutMs) { return stopping_.Wait(timeoutMs); }
    CPushSourceStream* Stream() const { return stream_; }

private:
    CPushSourceStream* stream_ = nullptr;  // owned through the pin list of CSource
    Event stopping_{true, false};
};
