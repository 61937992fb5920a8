#include "GraphTestSupport.h"

using namespace graphtest;

namespace {

// An output pin that refuses with E_FAIL (inputs refuse with S_FALSE) and can script
// the results of its buffer sizing.
class OutPin final : public CBaseOutputPin, public PinTypes {
public:
    OutPin(CBaseFilter* filter, CCritSec* lock) : CBaseOutputPin("out pin", filter, lock, nullptr, u"Out") {
        offered = {MakeType(kMajorA, kSubA)};
    }
    HRESULT CheckMediaType(const CMediaType* pmt) override { return Accepts(pmt) ? S_OK : E_FAIL; }
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override { return Offer(iPosition, pmt); }
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
    IMemAllocator* Allocator() const { return m_pAllocator; }

    std::vector<HRESULT> decideResults;  // scripted results, then real sizing
    std::vector<IMemAllocator*> decidedOn;
    ALLOCATOR_PROPERTIES lastRequest{};
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

class PinConnection : public ::testing::Test {
protected:
    void TearDown() override {
        // Connected pins hold each other's filters; a graph breaks that before releasing.
        out->Pin()->Disconnect();
        sink->Pin()->Disconnect();
    }
    HRESULT Connect(const AM_MEDIA_TYPE* mt = nullptr) { return out->Pin()->Connect(sink->Pin(), mt); }
    void Disconnect() {
        ASSERT_EQ(out->Pin()->Disconnect(), S_OK);
        ASSERT_EQ(sink->Pin()->Disconnect(), S_OK);
    }
    GUID Subtype() { return *sink->Pin()->CurrentMediaType().Subtype(); }
    void ExpectBothFree() {
        EXPECT_FALSE(out->Pin()->IsConnected());
        EXPECT_FALSE(sink->Pin()->IsConnected());
        EXPECT_EQ(out->Pin()->Allocator(), nullptr);
        EXPECT_EQ(sink->Refs(), 1) << "nothing kept hold of the peer filter";
    }

    OutFilter* out = new OutFilter;
    SinkFilter* sink = new SinkFilter;
    ComPtr<IBaseFilter> outRef{static_cast<IBaseFilter*>(out)};
    ComPtr<IBaseFilter> sinkRef{static_cast<IBaseFilter*>(sink)};
};

TEST_F(PinConnection, TypeNegotiationOrderAndRefusal) {
    // The peer's types come first, and both ends agree on the result.
    sink->Pin()->offered = {MakeType(kMajorA, kSubB)};
    ASSERT_EQ(Connect(), S_OK);
    CMediaType mt;
    ASSERT_EQ(out->Pin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(*mt.Subtype(), kSubB);
    EXPECT_EQ(Subtype(), kSubB);
    Disconnect();

    // A partial type narrows the candidates; a full one is the only candidate.
    sink->Pin()->offered = {MakeType(kMajorA, kSubA), MakeType(kMajorA, kSubB)};
    CMediaType partial(&kMajorA);
    partial.SetSubtype(&kSubB);
    ASSERT_EQ(Connect(&partial), S_OK);
    EXPECT_EQ(Subtype(), kSubB);
    Disconnect();

    // A peer type that the peer itself refuses is passed over for the output's own.
    sink->Pin()->offered = {MakeType(kMajorA, kSubC)};
    out->Pin()->accepted = {kSubA, kSubC};
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(Subtype(), kSubA);
    Disconnect();
    CMediaType c = MakeType(kMajorA, kSubC);
    out->Pin()->accepted = {kSubA};
    EXPECT_EQ(Connect(&c), VFW_E_TYPE_NOT_ACCEPTED) << "the output refuses with E_FAIL";
    out->Pin()->accepted = {kSubC};
    EXPECT_EQ(Connect(&c), VFW_E_TYPE_NOT_ACCEPTED) << "the input refuses with S_FALSE";
    EXPECT_EQ(Connect(), VFW_E_NO_ACCEPTABLE_TYPES);
    ExpectBothFree();
    IPin* none = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(out->Pin()->ConnectedTo(&none), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(none, nullptr);
    mt = MakeType(kMajorA, kSubA);
    EXPECT_EQ(sink->Pin()->ConnectionMediaType(&mt), VFW_E_NOT_CONNECTED);
    EXPECT_FALSE(mt.IsValid());
    EXPECT_EQ(sink->Pin()->QueryAccept(&c), S_FALSE);
    EXPECT_EQ(out->Pin()->QueryAccept(&partial), S_FALSE) << "E_FAIL from the check becomes S_FALSE";
}

TEST_F(PinConnection, ConnectionAndStateRules) {
    ASSERT_EQ(sink->Run(1234), S_OK);
    EXPECT_EQ(sink->Pin()->actives + sink->Pin()->runs, 0) << "an unconnected pin is left alone";
    ASSERT_EQ(sink->Stop(), S_OK);
    EXPECT_EQ(sink->Pin()->inactives, 0);
    ASSERT_EQ(out->Pause(), S_OK);
    EXPECT_EQ(Connect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(out->Stop(), S_OK);
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(Connect(), VFW_E_ALREADY_CONNECTED);
    // A second output reaching for the taken input gets the input's refusal.
    auto* other = new OutFilter;
    ComPtr<IBaseFilter> otherRef(static_cast<IBaseFilter*>(other));
    EXPECT_EQ(other->Pin()->Connect(sink->Pin(), nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_FALSE(other->Pin()->IsConnected());
    auto* other2 = new OutFilter;
    ComPtr<IBaseFilter> other2Ref(static_cast<IBaseFilter*>(other2));
    EXPECT_EQ(other2->Pin()->Connect(other->Pin(), nullptr), VFW_E_INVALID_DIRECTION);

    ASSERT_EQ(sink->Run(5000), S_OK);  // stopped -> paused -> running
    EXPECT_EQ(sink->Pin()->actives, 1);
    EXPECT_EQ(sink->Pin()->runStart, 5000);
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(sink->Run(6000), S_OK);
    EXPECT_EQ(sink->Pin()->actives, 1) << "running -> paused -> running activates once";
    EXPECT_EQ(sink->Pin()->runs, 2);
    EXPECT_EQ(sink->Pin()->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(sink->Stop(), S_OK);
    ASSERT_EQ(sink->Stop(), S_OK);
    EXPECT_EQ(sink->Pin()->inactives, 1);

    EXPECT_EQ(out->Pin()->Disconnect(), S_OK);
    EXPECT_EQ(out->Pin()->Disconnect(), S_FALSE);
    EXPECT_EQ(out->Pin()->Allocator(), nullptr);
    EXPECT_TRUE(sink->Pin()->IsConnected()) << "each side is disconnected on its own";
    EXPECT_EQ(sink->Pin()->Disconnect(), S_OK);
    EXPECT_EQ(sink->Pin()->Allocator(), nullptr);
    EXPECT_EQ(Connect(), S_OK);
}

TEST_F(PinConnection, AllocatorNegotiation) {
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(out->Pin()->decidedOn.size(), 1u) << "the input's allocator, accepted at once";
    EXPECT_EQ(out->Pin()->Allocator(), out->Pin()->decidedOn[0]);
    EXPECT_EQ(sink->Pin()->Allocator(), out->Pin()->Allocator());
    EXPECT_EQ(out->Pin()->lastRequest.cbAlign, 1) << "no stated requirements: alignment 1";
    Disconnect();

    sink->Pin()->requirements = std::make_unique<ALLOCATOR_PROPERTIES>(ALLOCATOR_PROPERTIES{3, 500, 16, 8});
    out->Pin()->decidedOn.clear();
    out->Pin()->decideResults = {E_OUTOFMEMORY};
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(out->Pin()->lastRequest.cBuffers, 3);
    EXPECT_EQ(out->Pin()->lastRequest.cbAlign, 16);
    EXPECT_EQ(out->Pin()->lastRequest.cbPrefix, 8);
    ASSERT_EQ(out->Pin()->decidedOn.size(), 2u) << "the input's refused, then the output's own";
    EXPECT_NE(out->Pin()->decidedOn[0], out->Pin()->decidedOn[1]);
    EXPECT_EQ(sink->Pin()->Allocator(), out->Pin()->decidedOn[1]);
    Disconnect();

    // A sizing failure says more than "wrong type", so it is what Connect reports.
    out->Pin()->decideResults = {E_OUTOFMEMORY, E_OUTOFMEMORY};
    EXPECT_EQ(Connect(), E_OUTOFMEMORY);
    ExpectBothFree();
}

TEST_F(PinConnection, PinInfoAndReferencesBelongToTheFilter) {
    PIN_INFO info{};
    ASSERT_EQ(sink->Pin()->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(sink));
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    EXPECT_EQ(std::u16string(info.achName), u"In");
    IMemInputPin* input = nullptr;
    ASSERT_EQ(sink->Pin()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)), S_OK);
    EXPECT_EQ(sink->Refs(), 3) << "the pin's references are the filter's";
    input->Release();
    info.pFilter->Release();
    EXPECT_EQ(sink->Refs(), 1);
    EXPECT_EQ(out->Pin()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)), E_NOINTERFACE);
}

TEST_F(PinConnection, MediaTypeEnumeration) {
    out->Pin()->offered = {MakeType(kMajorA, kSubA), MakeType(kMajorA, kSubB), MakeType(kMajorA, kSubC)};
    ComPtr<IEnumMediaTypes> types, clone;
    ASSERT_EQ(out->Pin()->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);
    AM_MEDIA_TYPE* got[4] = {};
    ULONG fetched = 0;
    ASSERT_EQ(types->Next(2, got, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(got[1]->subtype, kSubB);
    DeleteMediaType(got[0]);
    DeleteMediaType(got[1]);
    ASSERT_EQ(types->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(types->Next(4, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    DeleteMediaType(got[0]);
    EXPECT_EQ(types->Next(2, got, nullptr), E_INVALIDARG) << "a count needs a fetched count";
    ASSERT_EQ(clone->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0]->subtype, kSubC) << "the clone kept its own position";
    DeleteMediaType(got[0]);
    ASSERT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(3), S_OK);
    EXPECT_EQ(types->Skip(1), S_FALSE);
    out->Pin()->IncrementTypeVersion();
    EXPECT_EQ(types->Next(1, got, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(types->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(1), S_OK) << "a reset takes the new list";
}

TEST(BaseFilter, PinsInfoAndEvents) {
    auto* sink = new SinkFilter;
    ComPtr<IBaseFilter> ref(static_cast<IBaseFilter*>(sink));
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
    got[0]->Release();
    sink->IncrementPinVersion();
    EXPECT_EQ(pins->Next(1, got, nullptr), VFW_E_ENUM_OUT_OF_SYNC);

    EXPECT_EQ(sink->NotifyEvent(EC_COMPLETE, S_OK, 0), E_NOTIMPL) << "no graph yet";
    FakeGraph graph;
    ASSERT_EQ(ref->JoinFilterGraph(&graph, u"Probe sink"), S_OK);
    EXPECT_EQ(graph.refs.load(), 0) << "the filter does not hold its graph";
    FILTER_INFO info{};
    ASSERT_EQ(ref->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::u16string(info.achName), u"Probe sink");
    EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(&graph));
    info.pGraph->Release();
    EXPECT_EQ(sink->NotifyEvent(EC_COMPLETE, S_OK, 0), S_OK);
    EXPECT_EQ(sink->NotifyEvent(EC_ERRORABORT, E_FAIL, 7), S_OK);
    auto events = graph.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].p2, reinterpret_cast<LONG_PTR>(ref.Get())) << "completion names the filter";
    EXPECT_EQ(events[1].code, EC_ERRORABORT);
    EXPECT_EQ(events[1].p1, E_FAIL);
    EXPECT_EQ(events[1].p2, 7);
    ASSERT_EQ(ref->JoinFilterGraph(nullptr, nullptr), S_OK);
}

TEST_F(PinConnection, ReceiveChecksStateFlushAndTypeChanges) {
    EXPECT_EQ(out->Pin()->Deliver(nullptr), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out->Pin()->DeliverEndOfStream(), VFW_E_NOT_CONNECTED);
    ASSERT_EQ(Connect(), S_OK);
    FakeGraph graph;
    sinkRef->JoinFilterGraph(&graph, u"sink");
    ASSERT_EQ(out->Pause(), S_OK);  // commits the shared allocator
    IMediaSample* sample = nullptr;
    ASSERT_EQ(out->Pin()->GetDeliveryBuffer(&sample, nullptr, nullptr, 0), S_OK);
    sample->SetActualDataLength(3);

    EXPECT_EQ(out->Pin()->Deliver(sample), VFW_E_WRONG_STATE) << "the sink is stopped";
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    EXPECT_EQ(out->Pin()->Deliver(sample), S_OK);
    ASSERT_EQ(out->Pin()->DeliverBeginFlush(), S_OK);
    EXPECT_EQ(out->Pin()->Deliver(sample), S_FALSE);
    ASSERT_EQ(out->Pin()->DeliverEndFlush(), S_OK);
    IMediaSample* batch[2] = {sample, sample};
    LONG processed = -1;
    EXPECT_EQ(sink->Pin()->ReceiveMultiple(batch, 2, &processed), S_OK);
    EXPECT_EQ(processed, 2);
    EXPECT_EQ(sink->Got().Count(), 3u);

    // A type the sink refuses ends the stream and reports an error to the graph, and
    // later samples are refused until a flush.
    CMediaType c = MakeType(kMajorA, kSubC), b = MakeType(kMajorA, kSubB);
    sample->SetMediaType(&c);
    EXPECT_EQ(out->Pin()->Deliver(sample), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(sink->Got().Eos(), 1);
    auto events = graph.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, EC_ERRORABORT);
    EXPECT_EQ(events[0].p1, VFW_E_TYPE_NOT_ACCEPTED);
    sample->SetMediaType(nullptr);
    EXPECT_EQ(out->Pin()->Deliver(sample), VFW_E_RUNTIME_ERROR);
    sink->Pin()->BeginFlush();
    sink->Pin()->EndFlush();
    sample->SetMediaType(&b);  // an accepted change passes
    EXPECT_EQ(out->Pin()->Deliver(sample), S_OK);

    EXPECT_EQ(out->Pin()->DeliverNewSegment(10, 20, 2.0), S_OK);
    EXPECT_EQ(sink->Pin()->CurrentStartTime(), 10);
    EXPECT_EQ(sink->Pin()->CurrentStopTime(), 20);
    EXPECT_EQ(sink->Pin()->CurrentRate(), 2.0);
    sample->Release();
    sinkRef->Stop();
    out->Stop();
    sinkRef->JoinFilterGraph(nullptr, nullptr);
}

}  // namespace
