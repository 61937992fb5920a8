#pragma once
// The graph's event sink: filters report events such as end of stream to the graph
// that holds them. Filters find it by asking their graph for IID_IMediaEventSink.
#include "platform/graph/Interfaces.h"

// {56A868A2-0AD4-11CE-B03A-0020AF0BA770}
constexpr IID IID_IMediaEventSink = {0x56A868A2, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

// Event codes the graph understands.
constexpr long EC_COMPLETE = 0x01;       // param 1: result, param 2: the renderer's IBaseFilter*
constexpr long EC_USERABORT = 0x02;
constexpr long EC_ERRORABORT = 0x03;     // param 1: the failure result
constexpr long EC_STREAM_ERROR_STOPPED = 0x06;

struct IMediaEventSink : IUnknown {
    virtual HRESULT Notify(long eventCode, LONG_PTR param1, LONG_PTR param2) = 0;

protected:
    ~IMediaEventSink() = default;
};
