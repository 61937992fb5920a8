#pragma once
// Small filters and a fake graph for exercising the graph base classes with real
// objects on both ends of a connection.
#include "platform/graph/CBaseFilter.h"
#include "platform/graph/CBaseInputPin.h"
#include "platform/graph/CBaseOutputPin.h"
#include "platform/graph/CMediaSample.h"
#include "platform/graph/CMediaType.h"
#include "platform/graph/CMemAllocator.h"
#include "platform/graph/MediaEventSink.h"
#include "tests/support/WaitUntil.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace graphtest {

// {6B1C2D3E-0001-4000-8000-00AABBCCDD01} and neighbours: types no real pin uses.
constexpr GUID kMajorA = {0x6B1C2D3E, 0x0001, 0x4000, {0x80, 0x00, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01}};
constexpr GUID kSubA = {0x6B1C2D3E, 0x0002, 0x4000, {0x80, 0x00, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02}};
constexpr GUID kSubB = {0x6B1C2D3E, 0x0003, 0x4000, {0x80, 0x00, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x03}};
constexpr GUID kSubC = {0x6B1C2D3E, 0x0004, 0x4000, {0x80, 0x00, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x04}};
constexpr CLSID kSinkClsid = {0x6B1C2D3E, 0x0005, 0x4000, {0x80, 0x00, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x05}};
constexpr CLSID kSourceClsid = {0x6B1C2D3E, 0x0006, 0x4000, {0x80, 0x00, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x06}};

inline CMediaType MakeType(const GUID& major, const GUID& sub, const GUID& format = FORMAT_None) {
    CMediaType mt(&major);
    mt.SetSubtype(&sub);
    mt.SetFormatType(&format);
    return mt;
}

inline BYTE* Ptr(IMediaSample* s) {
    BYTE* p = nullptr;
    s->GetPointer(&p);
    return p;
}

// A fresh memory allocator with shorthand for sizing it and taking buffers.
class AllocatorTest : public ::testing::Test {
protected:
    void SetUp() override { alloc.Attach(CMemAllocator::Create()); }
    HRESULT Setup(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
        ALLOCATOR_PROPERTIES want{count, size, align, prefix};
        return alloc->SetProperties(&want, &actual);
    }
    IMediaSample* Get(DWORD flags = 0) {
        IMediaSample* s = nullptr;
        last = alloc->GetBuffer(&s, nullptr, nullptr, flags);
        return s;
    }
    ComPtr<CMemAllocator> alloc;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT last = S_OK;
};

// A graph that only offers an event sink and records what filters report.
class FakeGraph final : public IFilterGraph, public IMediaEventSink {
public:
    struct Event {
        long code;
        LONG_PTR p1, p2;
    };
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IFilterGraph)
            return GetInterface(static_cast<IFilterGraph*>(this), ppv);
        if (riid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override { return static_cast<ULONG>(--refs); }  // lives on the test's stack
    HRESULT Notify(long code, LONG_PTR p1, LONG_PTR p2) override {
        std::lock_guard lock(m);
        events.push_back({code, p1, p2});
        return S_OK;
    }
    std::vector<Event> Events() {
        std::lock_guard lock(m);
        return events;
    }
    HRESULT AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    HRESULT EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    HRESULT FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    HRESULT ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT Reconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT Disconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT SetDefaultSyncSource() override { return E_NOTIMPL; }
    std::atomic<long> refs{0};

private:
    std::mutex m;
    std::vector<Event> events;
};

// What a sink's input pin saw, shared with the streaming thread.
struct Received {
    std::mutex m;
    std::vector<std::vector<BYTE>> payloads;
    int endOfStream = 0;
    std::vector<ComPtr<IMediaSample>> kept;  // when the sink holds on to samples

    size_t Count() {
        std::lock_guard lock(m);
        return payloads.size();
    }
    int Eos() {
        std::lock_guard lock(m);
        return endOfStream;
    }
};

// The subtypes of kMajorA a test pin accepts, and the types it offers in order.
struct PinTypes {
    bool Accepts(const CMediaType* pmt) const {
        return *pmt->Type() == kMajorA && std::find(accepted.begin(), accepted.end(), *pmt->Subtype()) != accepted.end();
    }
    HRESULT Offer(int iPosition, CMediaType* pmt) const {
        if (iPosition < 0) return E_INVALIDARG;
        if (iPosition >= static_cast<int>(offered.size())) return VFW_S_NO_MORE_ITEMS;
        *pmt = offered[iPosition];
        return S_OK;
    }
    std::vector<GUID> accepted{kSubA, kSubB};
    std::vector<CMediaType> offered;
};

// An input pin that records every sample it receives.
class SinkPin final : public CBaseInputPin, public PinTypes {
public:
    SinkPin(CBaseFilter* filter, CCritSec* lock, Received* r)
        : CBaseInputPin("sink pin", filter, lock, nullptr, u"In"), received(r) {}

    HRESULT CheckMediaType(const CMediaType* pmt) override { return Accepts(pmt) ? S_OK : S_FALSE; }
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override { return Offer(iPosition, pmt); }
    HRESULT Receive(IMediaSample* sample) override {
        HRESULT hr = CBaseInputPin::Receive(sample);
        if (hr != S_OK) return hr;
        std::lock_guard lock(received->m);
        received->payloads.emplace_back(Ptr(sample), Ptr(sample) + sample->GetActualDataLength());
        if (keepSamples) received->kept.emplace_back(sample);
        return receiveResult;
    }
    HRESULT EndOfStream() override {
        std::lock_guard lock(received->m);
        ++received->endOfStream;
        return S_OK;
    }
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override {
        if (!requirements) return E_NOTIMPL;
        *props = *requirements;
        return S_OK;
    }
    HRESULT Active() override {
        ++actives;
        return CBaseInputPin::Active();
    }
    HRESULT Inactive() override {
        ++inactives;
        return CBaseInputPin::Inactive();
    }
    HRESULT Run(REFERENCE_TIME t) override {
        runStart = t;
        ++runs;
        return S_OK;
    }
    IMemAllocator* Allocator() const { return m_pAllocator; }

    std::unique_ptr<ALLOCATOR_PROPERTIES> requirements;
    Received* received;
    bool keepSamples = false;
    HRESULT receiveResult = S_OK;
    int actives = 0, inactives = 0, runs = 0;
    REFERENCE_TIME runStart = -1;
};

// A filter with one input pin; created with new, owned through its references.
class SinkFilter final : public CBaseFilter {
public:
    SinkFilter() : CBaseFilter("sink", nullptr, &lock_, kSinkClsid), pin_(this, &lock_, &received_) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
    SinkPin* Pin() { return &pin_; }
    Received& Got() { return received_; }
    long Refs() const { return ref_.load(); }

private:
    CCritSec lock_;
    Received received_;
    SinkPin pin_;
};

}  // namespace graphtest
