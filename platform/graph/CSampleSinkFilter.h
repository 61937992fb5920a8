#pragma once
// A filter with one input pin that hands each received sample to a callback on the
// upstream streaming thread, counts samples and bytes, and records end of stream
// (an event here, EC_COMPLETE to the graph). Without a callback it is a null renderer.
#include "platform/graph/CBaseFilter.h"
#include "platform/graph/CMediaType.h"
#include "platform/system/Event.h"
#include <atomic>
#include <functional>
#include <vector>

class CSampleSinkInputPin;

// {EA72C30C-0F80-4EC0-ABA8-13CC63D0B8B9}
constexpr CLSID CLSID_KestrelSampleSink = {0xEA72C30C, 0x0F80, 0x4EC0, {0xAB, 0xA8, 0x13, 0xCC, 0x63, 0xD0, 0xB8, 0xB9}};

class CSampleSinkFilter : public CBaseFilter {
public:
    using SampleCallback = std::function<void(IMediaSample*)>;

    // accepted: the types the pin takes (GUID_NULL fields match anything); empty
    // accepts every type. The callback borrows the sample for the call; it adds a
    // reference to keep it.
    explicit CSampleSinkFilter(SampleCallback callback = {}, std::vector<CMediaType> accepted = {},
                               HRESULT* phr = nullptr, LPCWSTR pinName = u"In");
    ~CSampleSinkFilter() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    // A pause from stopped starts a new stream: end of stream is cleared.
    HRESULT Pause() override;

    ULONGLONG SampleCount() const { return samples_.load(); }
    ULONGLONG ByteCount() const { return bytes_.load(); }
    bool EndOfStreamReceived() const { return endOfStream_.IsSet(); }
    bool WaitForEndOfStream(DWORD timeoutMs) { return endOfStream_.Wait(timeoutMs); }
    CSampleSinkInputPin* InputPin() const { return pin_; }

private:
    friend class CSampleSinkInputPin;
    bool Accepts(const CMediaType* pmt) const;
    void OnSample(IMediaSample* sample);
    void OnEndOfStream();

    CCritSec lock_;
    SampleCallback callback_;
    std::vector<CMediaType> accepted_;
    CSampleSinkInputPin* pin_ = nullptr;
    std::atomic<ULONGLONG> samples_{0};
    std::atomic<ULONGLONG> bytes_{0};
    Event endOfStream_{true, false};
};
