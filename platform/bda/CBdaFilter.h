#pragma once
// Base of the framework's filters: a pin list that may grow, and pins that leave their
// decisions (types, peers, samples) to the filter.
#include "platform/graph/CBaseFilter.h"
#include "platform/graph/CBaseInputPin.h"
#include "platform/graph/CBaseOutputPin.h"
#include <memory>
#include <string>
#include <vector>

class CBdaFilter;

class CBdaInputPin final : public CBaseInputPin {
public:
    CBdaInputPin(CBdaFilter* filter, CCritSec* lock, LPCWSTR name);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT Receive(IMediaSample* pSample) override;

private:
    CBdaFilter* owner_;
};

class CBdaOutputPin final : public CBaseOutputPin {
public:
    CBdaOutputPin(CBdaFilter* filter, CCritSec* lock, LPCWSTR name);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

private:
    CBdaFilter* owner_;
};

class CBdaFilter : public CBaseFilter {
public:
    CBdaFilter(const char* name, REFCLSID clsid);
    ~CBdaFilter() override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    // What the pins ask. Inputs and outputs are told apart by the pin passed.
    virtual HRESULT CheckType(CBasePin* pin, const CMediaType* mt) = 0;
    // The types a pin proposes, by position; VFW_S_NO_MORE_ITEMS past the end.
    virtual HRESULT ProposeType(CBasePin* pin, int position, CMediaType* mt);
    virtual HRESULT CheckPeer(CBasePin* pin, IPin* peer);
    virtual void Connected(CBdaOutputPin* pin);
    // A sample at an input pin, after the base checks.
    virtual HRESULT OnSample(CBdaInputPin* pin, IMediaSample* sample);
    // Buffers of an output pin's own allocator.
    virtual void BufferSize(CBdaOutputPin* pin, LONG* count, LONG* size);

    CCritSec* FilterLock() { return &lock_; }

protected:
    CBdaInputPin* AddInput(const char16_t* name);
    CBdaOutputPin* AddOutput(const char16_t* name);
    // Every connected output pin, with a reference to the filter held by the caller.
    std::vector<CBdaOutputPin*> ConnectedOutputs();

    CCritSec lock_;

private:
    std::mutex pinsMutex_;  // the list only grows; pins are deleted with the filter
    std::vector<std::unique_ptr<CBasePin>> pins_;
};

// A transport-stream media type (major type "stream").
CMediaType TransportStreamType(const GUID& subtype);
bool IsTransportStream(const CMediaType* mt);
