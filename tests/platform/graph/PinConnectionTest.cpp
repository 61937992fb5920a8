#include "GraphTestSupport.h"
#include "platform/com/TaskMemory.h"
#include "platform/graph/CMemAllocator.h"
#include "platform/graph/WideString.h"
#include <gtest/gtest.h>

using namespace graphtest;

namespace {

class OutFilter;

class OutPin final : public CBaseOutputPin {
public:
    OutPin(OutFilter* filter, CCritSec* lock);

    HRESULT CheckMediaType(const CMediaType* pmt) override {
        for (const GUID& sub : accepted)
            if (*pmt->Type() == kMajorA && *pmt->Subtype() == sub) return S_OK;
        return E_FAIL;
    }
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override {
        if (iPosition < 0) return E_INVALIDARG;
        if (iPosition >= static_cast<int>(offered.size())) return VFW_S_NO_MORE_ITEMS;
        *pmt = offered[iPosition];
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* request) override {
        decidedOn.push_back(alloc);
        lastRequest = *request;
        if (decideResults.empty()) {
            ALLOCATOR_PROPERTIES want{4, 1000, request->cbAlign, request->cbPrefix}, got{};
            return alloc->SetProperties(&want, &got);
        }
        HRESULT hr = decideResults.front();
        decideResults.erase(decideResults.begin());
        return hr;
    }
    HRESULT Active() override {
        ++actives;
        return CBaseOutputPin::Active();
    }
    HRESULT Inactive() override {
        ++inactives;
        return CBaseOutputPin::Inactive();
    }
    IMemAllocator* Allocator() const { return m_pAllocator; }

    std::vector<GUID> accepted{kSubA, kSubB};
    std::vector<CMediaType> offered{MakeType(kMajorA, kSubA)};
    std::vector<HRESULT> decideResults;  // scripted results, then real sizing
    std::vector<IMemAllocator*> decidedOn;
    ALLOCATOR_PROPERTIES lastRequest{};
    int actives = 0;
    int inactives = 0;
};

class OutFilter final : public CBaseFilter {
public:
    OutFilter() : CBaseFilter("out", nullptr, &lock_, kSourceClsid), pin_(this, &lock_) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
    OutPin* Pin() { return &pin_; }

private:
    CCritSec lock_;
    OutPin pin_;
};

OutPin::OutPin(OutFilter* filter, CCritSec* lock) : CBaseOutputPin("out pin", filter, lock, nullptr, u"Out") {}

class PinConnection : public ::testing::Test {
protected:
    void SetUp() override {
        out = new OutFilter;
        sink = new SinkFilter;
        outRef = static_cast<IBaseFilter*>(out);
        sinkRef = static_cast<IBaseFilter*>(sink);
    }
    void TearDown() override {
        // Connected pins hold each other's filters; a graph breaks that before releasing.
        out->Pin()->Disconnect();
        sink->Pin()->Disconnect();
    }
    HRESULT Connect(const AM_MEDIA_TYPE* mt = nullptr) { return out->Pin()->Connect(sink->Pin(), mt); }

    OutFilter* out;
    SinkFilter* sink;
    ComPtr<IBaseFilter> outRef;
    ComPtr<IBaseFilter> sinkRef;
};

TEST_F(PinConnection, PeerTypesAreTriedBeforeOwn) {
    sink->Pin()->offered = {MakeType(kMajorA, kSubB)};
    out->Pin()->offered = {MakeType(kMajorA, kSubA)};
    ASSERT_EQ(Connect(), S_OK);
    CMediaType mt;
    ASSERT_EQ(out->Pin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(*mt.Subtype(), kSubB);
    ASSERT_EQ(sink->Pin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(*mt.Subtype(), kSubB);

    ComPtr<IPin> peer;
    ASSERT_EQ(out->Pin()->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(peer.Get(), static_cast<IPin*>(sink->Pin()));
    ASSERT_EQ(sink->Pin()->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(peer.Get(), static_cast<IPin*>(out->Pin()));
}

TEST_F(PinConnection, OwnTypesWhenPeerOffersNoneOrRefusesItsOwn) {
    // The sink offers C, which it does not accept itself; the output's A is next.
    sink->Pin()->offered = {MakeType(kMajorA, kSubC)};
    out->Pin()->accepted = {kSubA, kSubC};
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(*sink->Pin()->CurrentMediaType().Subtype(), kSubA);
}

TEST_F(PinConnection, NoCommonTypeIsRefusedAndLeavesBothFree) {
    sink->Pin()->accepted = {kSubC};
    EXPECT_EQ(Connect(), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_FALSE(out->Pin()->IsConnected());
    EXPECT_FALSE(sink->Pin()->IsConnected());
    IPin* peer = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(out->Pin()->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);
    CMediaType mt = MakeType(kMajorA, kSubA);
    EXPECT_EQ(sink->Pin()->ConnectionMediaType(&mt), VFW_E_NOT_CONNECTED);
    EXPECT_FALSE(mt.IsValid());
    // Nothing kept hold of the peer filters.
    EXPECT_EQ(sink->Refs(), 1);
}

TEST_F(PinConnection, FullySpecifiedTypeIsTheOnlyCandidate) {
    CMediaType b = MakeType(kMajorA, kSubB);
    ASSERT_EQ(Connect(&b), S_OK);
    EXPECT_EQ(*out->Pin()->CurrentMediaType().Subtype(), kSubB);
    ASSERT_EQ(out->Pin()->Disconnect(), S_OK);
    ASSERT_EQ(sink->Pin()->Disconnect(), S_OK);

    CMediaType c = MakeType(kMajorA, kSubC);
    EXPECT_EQ(Connect(&c), VFW_E_TYPE_NOT_ACCEPTED);  // the output refuses with E_FAIL
    out->Pin()->accepted = {kSubC};
    EXPECT_EQ(Connect(&c), VFW_E_TYPE_NOT_ACCEPTED);  // now the input refuses with S_FALSE
    EXPECT_FALSE(out->Pin()->IsConnected());
    EXPECT_FALSE(sink->Pin()->IsConnected());
}

TEST_F(PinConnection, PartialTypeNarrowsTheCandidates) {
    sink->Pin()->offered = {MakeType(kMajorA, kSubA), MakeType(kMajorA, kSubB)};
    CMediaType partial(&kMajorA);
    partial.SetSubtype(&kSubB);  // no format type: partially specified
    ASSERT_EQ(Connect(&partial), S_OK);
    EXPECT_EQ(*out->Pin()->CurrentMediaType().Subtype(), kSubB);
}

TEST_F(PinConnection, AlreadyConnectedAndSameDirection) {
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(Connect(), VFW_E_ALREADY_CONNECTED);

    // A second output reaching for the taken input gets the input's refusal.
    ComPtr<IBaseFilter> otherRef;
    auto* other = new OutFilter;
    otherRef = static_cast<IBaseFilter*>(other);
    EXPECT_EQ(other->Pin()->Connect(sink->Pin(), nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_FALSE(other->Pin()->IsConnected());

    auto* other2 = new OutFilter;
    ComPtr<IBaseFilter> other2Ref(static_cast<IBaseFilter*>(other2));
    EXPECT_EQ(other2->Pin()->Connect(other->Pin(), nullptr), VFW_E_INVALID_DIRECTION);
}

TEST_F(PinConnection, DisconnectTwiceAndReconnect) {
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(out->Pin()->Disconnect(), S_OK);
    EXPECT_EQ(out->Pin()->Disconnect(), S_FALSE);
    EXPECT_EQ(out->Pin()->Allocator(), nullptr);
    EXPECT_TRUE(sink->Pin()->IsConnected());  // each side is disconnected on its own
    EXPECT_EQ(sink->Pin()->Disconnect(), S_OK);
    EXPECT_EQ(sink->Pin()->Allocator(), nullptr);
    EXPECT_EQ(Connect(), S_OK);
}

TEST_F(PinConnection, ConnectAndDisconnectNeedAStoppedFilter) {
    ASSERT_EQ(out->Pause(), S_OK);
    EXPECT_EQ(Connect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(out->Stop(), S_OK);
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(sink->Run(0), S_OK);
    EXPECT_EQ(sink->Pin()->Disconnect(), VFW_E_NOT_STOPPED);
    EXPECT_TRUE(sink->Pin()->IsConnected());
    ASSERT_EQ(sink->Stop(), S_OK);
}

TEST_F(PinConnection, InputAllocatorIsUsedAndNotified) {
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(out->Pin()->decidedOn.size(), 1u);
    EXPECT_EQ(out->Pin()->Allocator(), out->Pin()->decidedOn[0]);
    EXPECT_EQ(sink->Pin()->notified, out->Pin()->Allocator());
    EXPECT_EQ(sink->Pin()->Allocator(), out->Pin()->Allocator());
    // No stated requirements: alignment 1.
    EXPECT_EQ(out->Pin()->lastRequest.cbAlign, 1);
    EXPECT_EQ(out->Pin()->lastRequest.cBuffers, 0);
}

TEST_F(PinConnection, RequirementsReachTheSizingDecision) {
    sink->Pin()->requirements = std::make_unique<ALLOCATOR_PROPERTIES>(ALLOCATOR_PROPERTIES{3, 500, 16, 8});
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(out->Pin()->lastRequest.cBuffers, 3);
    EXPECT_EQ(out->Pin()->lastRequest.cbAlign, 16);
    EXPECT_EQ(out->Pin()->lastRequest.cbPrefix, 8);
}

TEST_F(PinConnection, OwnAllocatorWhenTheInputsIsRefused) {
    out->Pin()->decideResults = {E_OUTOFMEMORY};
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(out->Pin()->decidedOn.size(), 2u);
    EXPECT_NE(out->Pin()->decidedOn[0], out->Pin()->decidedOn[1]);
    EXPECT_EQ(out->Pin()->Allocator(), out->Pin()->decidedOn[1]);
    EXPECT_EQ(sink->Pin()->Allocator(), out->Pin()->decidedOn[1]);
}

TEST_F(PinConnection, SizingFailureFailsTheConnectionOnBothSides) {
    // A sizing failure says more than "wrong type", so it is what Connect reports.
    out->Pin()->decideResults = {E_OUTOFMEMORY, E_OUTOFMEMORY};
    EXPECT_EQ(Connect(), E_OUTOFMEMORY);
    EXPECT_FALSE(out->Pin()->IsConnected());
    EXPECT_FALSE(sink->Pin()->IsConnected());
    EXPECT_EQ(out->Pin()->Allocator(), nullptr);
    EXPECT_EQ(sink->Refs(), 1);
}

TEST_F(PinConnection, PinInfoIdAndAccept) {
    PIN_INFO info{};
    ASSERT_EQ(sink->Pin()->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(sink));
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    EXPECT_EQ(std::u16string(info.achName), u"In");
    info.pFilter->Release();

    WCHAR* id = nullptr;
    ASSERT_EQ(out->Pin()->QueryId(&id), S_OK);
    EXPECT_EQ(std::u16string(id), u"Out");
    CoTaskMemFree(id);

    PIN_DIRECTION dir;
    ASSERT_EQ(out->Pin()->QueryDirection(&dir), S_OK);
    EXPECT_EQ(dir, PINDIR_OUTPUT);

    CMediaType a = MakeType(kMajorA, kSubA), c = MakeType(kMajorA, kSubC);
    EXPECT_EQ(sink->Pin()->QueryAccept(&a), S_OK);
    EXPECT_EQ(sink->Pin()->QueryAccept(&c), S_FALSE);
    EXPECT_EQ(out->Pin()->QueryAccept(&c), S_FALSE);  // E_FAIL from the check becomes S_FALSE
    EXPECT_EQ(out->Pin()->QueryInternalConnections(nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(out->Pin()->EndOfStream(), E_UNEXPECTED);
    EXPECT_EQ(out->Pin()->BeginFlush(), E_UNEXPECTED);
}

TEST_F(PinConnection, PinReferencesBelongToTheFilter) {
    const long before = sink->Refs();
    IPin* pin = sink->Pin();
    pin->AddRef();
    EXPECT_EQ(sink->Refs(), before + 1);
    IMemInputPin* input = nullptr;
    ASSERT_EQ(pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)), S_OK);
    EXPECT_EQ(sink->Refs(), before + 2);
    input->Release();
    pin->Release();
    EXPECT_EQ(sink->Refs(), before);
    IMemInputPin* none = nullptr;
    EXPECT_EQ(out->Pin()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
}

TEST_F(PinConnection, MediaTypeEnumeration) {
    out->Pin()->offered = {MakeType(kMajorA, kSubA), MakeType(kMajorA, kSubB), MakeType(kMajorA, kSubC)};
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(out->Pin()->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);

    AM_MEDIA_TYPE* got[4] = {};
    ULONG fetched = 0;
    ASSERT_EQ(types->Next(2, got, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(got[0]->subtype, kSubA);
    EXPECT_EQ(got[1]->subtype, kSubB);
    DeleteMediaType(got[0]);
    DeleteMediaType(got[1]);

    ComPtr<IEnumMediaTypes> clone;
    ASSERT_EQ(types->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(types->Next(4, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(got[0]->subtype, kSubC);
    DeleteMediaType(got[0]);
    EXPECT_EQ(types->Next(1, got, nullptr), S_FALSE);
    EXPECT_EQ(types->Next(2, got, nullptr), E_INVALIDARG);  // a count needs a fetched count

    // The clone kept its own position.
    ASSERT_EQ(clone->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0]->subtype, kSubC);
    DeleteMediaType(got[0]);

    ASSERT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(3), S_OK);
    EXPECT_EQ(types->Skip(1), S_FALSE);

    out->Pin()->IncrementTypeVersion();
    EXPECT_EQ(types->Next(1, got, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(types->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    ASSERT_EQ(types->Reset(), S_OK);
    ASSERT_EQ(types->Next(1, got, &fetched), S_OK);
    DeleteMediaType(got[0]);
}

TEST(BaseFilter, PinsNamesAndInfo) {
    auto* sink = new SinkFilter;
    ComPtr<IBaseFilter> ref(static_cast<IBaseFilter*>(sink));

    CLSID clsid{};
    ASSERT_EQ(ref->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, kSinkClsid);

    ComPtr<IPin> pin;
    ASSERT_EQ(ref->FindPin(u"In", pin.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(pin.Get(), static_cast<IPin*>(sink->Pin()));
    EXPECT_EQ(ref->FindPin(u"in", pin.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin.Get(), nullptr);

    ComPtr<IEnumPins> pins;
    ASSERT_EQ(ref->EnumPins(pins.ReleaseAndGetAddressOf()), S_OK);
    IPin* got[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(2, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(got[0], static_cast<IPin*>(sink->Pin()));
    got[0]->Release();
    sink->IncrementPinVersion();
    EXPECT_EQ(pins->Next(1, got, nullptr), VFW_E_ENUM_OUT_OF_SYNC);

    FakeGraph graph;
    ASSERT_EQ(ref->JoinFilterGraph(&graph, u"Probe sink"), S_OK);
    EXPECT_EQ(graph.refs.load(), 0);  // the filter does not hold its graph
    FILTER_INFO info{};
    ASSERT_EQ(ref->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::u16string(info.achName), u"Probe sink");
    EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(&graph));
    info.pGraph->Release();

    ASSERT_EQ(ref->JoinFilterGraph(nullptr, nullptr), S_OK);
    ASSERT_EQ(ref->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.achName[0], 0);
    EXPECT_EQ(info.pGraph, nullptr);

    LPWSTR vendor = nullptr;
    EXPECT_EQ(ref->QueryVendorInfo(&vendor), E_NOTIMPL);
    for (const IID& iid : {IID_IUnknown, IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, IID_IAMovieSetup}) {
        ComPtr<IUnknown> unk;
        EXPECT_EQ(ref->QueryInterface(iid, reinterpret_cast<void**>(unk.ReleaseAndGetAddressOf())), S_OK);
    }
}

TEST(BaseFilter, EventsGoToTheGraphSink) {
    auto* sink = new SinkFilter;
    ComPtr<IBaseFilter> ref(static_cast<IBaseFilter*>(sink));
    EXPECT_EQ(sink->NotifyEvent(EC_COMPLETE, S_OK, 0), E_NOTIMPL);

    FakeGraph graph;
    ASSERT_EQ(ref->JoinFilterGraph(&graph, u"s"), S_OK);
    EXPECT_EQ(sink->NotifyEvent(EC_COMPLETE, S_OK, 0), S_OK);
    EXPECT_EQ(sink->NotifyEvent(EC_ERRORABORT, E_FAIL, 7), S_OK);
    auto events = graph.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, EC_COMPLETE);
    EXPECT_EQ(events[0].p2, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(sink)));
    EXPECT_EQ(events[1].code, EC_ERRORABORT);
    EXPECT_EQ(events[1].p1, E_FAIL);
    EXPECT_EQ(events[1].p2, 7);
    ref->JoinFilterGraph(nullptr, nullptr);
}

TEST_F(PinConnection, StateChangesReachConnectedPinsOnly) {
    FILTER_STATE state;
    ASSERT_EQ(out->Run(1234), S_OK);  // unconnected: nothing to activate
    EXPECT_EQ(out->Pin()->actives, 0);
    ASSERT_EQ(out->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    ASSERT_EQ(out->Stop(), S_OK);
    EXPECT_EQ(out->Pin()->inactives, 0);

    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(sink->Run(5000), S_OK);  // stopped -> paused -> running
    EXPECT_EQ(sink->Pin()->actives, 1);
    EXPECT_EQ(sink->Pin()->runs, 1);
    EXPECT_EQ(sink->Pin()->runStart, 5000);
    ASSERT_EQ(sink->Pause(), S_OK);  // running -> paused: no second activation
    ASSERT_EQ(sink->Run(6000), S_OK);
    EXPECT_EQ(sink->Pin()->actives, 1);
    EXPECT_EQ(sink->Pin()->runs, 2);
    ASSERT_EQ(sink->Stop(), S_OK);
    ASSERT_EQ(sink->Stop(), S_OK);
    EXPECT_EQ(sink->Pin()->inactives, 1);
    EXPECT_EQ(sink->GetState(0, nullptr), E_POINTER);

    // The output commits its allocator while active and decommits on stop.
    ASSERT_EQ(out->Pause(), S_OK);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(out->Pin()->GetDeliveryBuffer(&sample, nullptr, nullptr, 0), S_OK);
    sample->Release();
    ASSERT_EQ(out->Stop(), S_OK);
    EXPECT_EQ(out->Pin()->GetDeliveryBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
}

TEST_F(PinConnection, ReceiveChecksStateFlushAndTypeChanges) {
    ASSERT_EQ(Connect(), S_OK);
    FakeGraph graph;
    sinkRef->JoinFilterGraph(&graph, u"sink");
    IMemAllocator* alloc = out->Pin()->Allocator();
    ASSERT_EQ(out->Pause(), S_OK);  // commits the shared allocator
    IMediaSample* sample = nullptr;
    ASSERT_EQ(alloc->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    sample->SetActualDataLength(3);

    EXPECT_EQ(out->Pin()->Deliver(sample), VFW_E_WRONG_STATE);  // the sink is stopped
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    EXPECT_EQ(out->Pin()->Deliver(sample), S_OK);
    EXPECT_EQ(sink->Got().Count(), 1u);

    ASSERT_EQ(out->Pin()->DeliverBeginFlush(), S_OK);
    EXPECT_EQ(out->Pin()->Deliver(sample), S_FALSE);
    ASSERT_EQ(out->Pin()->DeliverEndFlush(), S_OK);
    EXPECT_EQ(out->Pin()->Deliver(sample), S_OK);

    IMediaSample* batch[2] = {sample, sample};
    LONG processed = -1;
    EXPECT_EQ(sink->Pin()->ReceiveMultiple(batch, 2, &processed), S_OK);
    EXPECT_EQ(processed, 2);

    // A type the sink refuses ends the stream and reports an error to the graph.
    CMediaType c = MakeType(kMajorA, kSubC);
    sample->SetMediaType(&c);
    EXPECT_EQ(out->Pin()->Deliver(sample), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(sink->Got().Eos(), 1);
    auto events = graph.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, EC_ERRORABORT);
    EXPECT_EQ(events[0].p1, VFW_E_TYPE_NOT_ACCEPTED);
    sample->SetMediaType(nullptr);
    EXPECT_EQ(out->Pin()->Deliver(sample), VFW_E_RUNTIME_ERROR);
    EXPECT_EQ(batch[0]->IsDiscontinuity(), S_FALSE);
    // A flush clears the error.
    sink->Pin()->BeginFlush();
    sink->Pin()->EndFlush();
    CMediaType b = MakeType(kMajorA, kSubB);
    sample->SetMediaType(&b);  // an accepted change passes
    EXPECT_EQ(out->Pin()->Deliver(sample), S_OK);

    EXPECT_EQ(out->Pin()->DeliverNewSegment(10, 20, 2.0), S_OK);
    EXPECT_EQ(sink->Pin()->CurrentStartTime(), 10);
    EXPECT_EQ(sink->Pin()->CurrentStopTime(), 20);
    EXPECT_EQ(sink->Pin()->CurrentRate(), 2.0);
    EXPECT_EQ(sink->Pin()->ReceiveCanBlock(), S_OK);  // no outputs: a sink may block

    sample->Release();
    sinkRef->Stop();
    out->Stop();
    sinkRef->JoinFilterGraph(nullptr, nullptr);
}

TEST(BaseOutputPin, DeliveryNeedsAConnection) {
    auto* out = new OutFilter;
    ComPtr<IBaseFilter> ref(static_cast<IBaseFilter*>(out));
    IMediaSample* sample = nullptr;
    EXPECT_EQ(out->Pin()->GetDeliveryBuffer(&sample, nullptr, nullptr, 0), E_NOINTERFACE);
    EXPECT_EQ(out->Pin()->Deliver(nullptr), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out->Pin()->DeliverEndOfStream(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out->Pin()->DeliverBeginFlush(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out->Pin()->DeliverNewSegment(0, 1, 1.0), VFW_E_NOT_CONNECTED);
}

}  // namespace
