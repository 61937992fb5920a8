#include "BdaTestSupport.h"
#include "platform/bda/CBdaFilter.h"
#include "platform/graph/CFilterGraph.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/WaitUntil.h"
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// What the export filter handed back.
struct Received {
    std::mutex m;
    std::vector<uint8_t> bytes;
    size_t samples = 0;
    Clock::time_point first{};

    static HRESULT Take(void* context, IMediaSample* sample) {
        auto* self = static_cast<Received*>(context);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::lock_guard lock(self->m);
        if (self->samples++ == 0) self->first = Clock::now();
        self->bytes.insert(self->bytes.end(), data, data + sample->GetActualDataLength());
        return S_OK;
    }
    size_t Size() {
        std::lock_guard lock(m);
        return bytes.size();
    }
    size_t Samples() {
        std::lock_guard lock(m);
        return samples;
    }
};

IPin* PinOf(IBaseFilter* f, int n) { return static_cast<CBaseFilter*>(f)->GetPin(n); }

// The private tuner graph: provider -> tuner [-> receiver] -> tee -> demux, tee -> export.
struct TunerGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IBaseFilter> provider, tuner, receiver, tee, demux, exporter;
    ComPtr<ITuner> tuning;
    ComPtr<IDSExport> dsExport;
    Clock::time_point tunedAt;

    // Builds around the first declared tuner; false when a step fails.
    bool Build(Received* sink, bool useReceiver = false) {
        graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        control = Query<IMediaControl>(graph, IID_IMediaControl);
        auto tuners = Devices(KSCATEGORY_BDA_NETWORK_TUNER);
        if (!graph || !control || tuners.empty()) return false;
        const BdaNetwork network = BdaSimulation::Current().tuners[0].network;
        provider = Create<IBaseFilter>(NetworkProviderClass(network), IID_IBaseFilter);
        tuning = Query<ITuner>(provider, IID_ITuner);
        auto spaces = Create<ITuningSpaceContainer>(CLSID_SystemTuningSpaces, IID_ITuningSpaceContainer);
        ComPtr<ITuningSpace> space;
        VARIANT id;
        VariantInit(&id);
        id.vt = VT_I4;
        id.lVal = 1;
        if (!tuning || FAILED(spaces->get_Item(id, space.ReleaseAndGetAddressOf()))) return false;
        tuning->put_TuningSpace(space.Get());
        ComPtr<ITuneRequest> request;
        space->CreateTuneRequest(request.ReleaseAndGetAddressOf());
        const GUID locatorClass = network == BdaNetwork::DVBS ? CLSID_DVBSLocator
                                  : network == BdaNetwork::DVBC ? CLSID_DVBCLocator
                                  : network == BdaNetwork::DVBT ? CLSID_DVBTLocator
                                                                : CLSID_ATSCLocator;
        auto locator = Create<ILocator>(locatorClass, IID_ILocator);
        locator->put_CarrierFrequency(538000);
        request->put_Locator(locator.Get());
        if (tuning->put_TuneRequest(request.Get()) != S_OK) return false;

        tuners[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(tuner.ReleaseAndGetAddressOf()));
        tee = Create<IBaseFilter>(CLSID_InfTee, IID_IBaseFilter);
        demux = Create<IBaseFilter>(CLSID_MPEG2Demultiplexer, IID_IBaseFilter);
        exporter = Create<IBaseFilter>(CLSID_TSExportFilter, IID_IBaseFilter);
        dsExport = Query<IDSExport>(exporter, IID_IDSExport);
        if (!tuner || !tee || !demux || !dsExport) return false;
        for (auto* f : {provider.Get(), tuner.Get(), tee.Get(), demux.Get(), exporter.Get()})
            if (FAILED(graph->AddFilter(f, nullptr))) return false;
        tunedAt = Clock::now();
        if (graph->ConnectDirect(PinOf(provider.Get(), 0), PinOf(tuner.Get(), 0), nullptr) != S_OK) return false;
        IBaseFilter* capture = tuner.Get();
        if (useReceiver) {
            auto receivers = Devices(KSCATEGORY_BDA_RECEIVER_COMPONENT);
            if (receivers.empty()) return false;
            receivers[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                       reinterpret_cast<void**>(receiver.ReleaseAndGetAddressOf()));
            graph->AddFilter(receiver.Get(), nullptr);
            if (graph->ConnectDirect(PinOf(tuner.Get(), 1), PinOf(receiver.Get(), 0), nullptr) != S_OK) return false;
            capture = receiver.Get();
        }
        if (graph->ConnectDirect(PinOf(capture, 1), PinOf(tee.Get(), 0), nullptr) != S_OK) return false;
        if (graph->ConnectDirect(PinOf(tee.Get(), 1), PinOf(demux.Get(), 0), nullptr) != S_OK) return false;
        if (graph->ConnectDirect(PinOf(tee.Get(), 2), PinOf(exporter.Get(), 0), nullptr) != S_OK) return false;
        return dsExport->SetSampleCallback(sink, &Received::Take) == S_OK;
    }
    LONG Signal() {
        LONG s = -1;
        tuning->get_SignalStrength(&s);
        return s;
    }
};

SimTunerDeclaration StreamingTuner(int lockDelayMs, uint32_t bitrate = 40'000'000) {
    SimTunerDeclaration t = Tuner("Sim DVB-T", BdaNetwork::DVBT, {{"Sim Capture", true}});
    t.lockDelayMs = lockDelayMs;
    t.signal = 80;
    t.stream.bitrate = bitrate;
    t.stream.seed = 42;
    return t;
}

void DeclareOne(SimTunerDeclaration tuner) {
    BdaDeclaration d;
    d.tuners = {std::move(tuner)};
    d.tuningSpaces = {{"Sim DVB-T space", BdaNetwork::DVBT}};
    BdaSimulation::Declare(d);
}

}  // namespace

TEST_F(BdaTest, ATunedRunningTunerDeliversExactlyItsStreamThroughTheExportFilter) {
    DeclareOne(StreamingTuner(0));
    Received got;
    TunerGraph g;
    ASSERT_TRUE(g.Build(&got, true));
    EXPECT_EQ(g.dsExport->QueryTime(), 0) << "no sample yet";
    ASSERT_EQ(g.control->Run(), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return got.Size() >= 300'000; }));
    EXPECT_EQ(g.control->Stop(), S_OK);

    const SimTunerDeclaration declared = BdaSimulation::Current().tuners[0];
    std::lock_guard lock(got.m);
    EXPECT_EQ(got.bytes, PacedStream::Reference(declared.stream, got.bytes.size())) << "every byte, in order";
    EXPECT_EQ(got.bytes.size() % 188, 0u) << "samples carry whole packets";
    EXPECT_NE(g.dsExport->QueryTime(), 0);
    EXPECT_EQ(g.Signal(), 26213 << 16);
}

TEST_F(BdaTest, NothingFlowsBeforeLockAndATunerThatNeverLocksStaysSilent) {
    DeclareOne(StreamingTuner(120));
    Received got;
    TunerGraph g;
    ASSERT_TRUE(g.Build(&got));
    ASSERT_EQ(g.control->Run(), S_OK);
    EXPECT_EQ(g.Signal(), 0) << "still locking";
    ASSERT_TRUE(WaitUntil([&] { return got.Samples() > 0; }));
    EXPECT_GE(got.first - g.tunedAt, std::chrono::milliseconds(120));
    EXPECT_EQ(g.Signal(), 26213 << 16);
    g.control->Stop();

    DeclareOne(StreamingTuner(-1));
    Received none;
    TunerGraph silent;
    ASSERT_TRUE(silent.Build(&none));
    ASSERT_EQ(silent.control->Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(none.Samples(), 0u);
    EXPECT_EQ(silent.Signal(), 0);
    silent.control->Stop();
}

TEST_F(BdaTest, ATunerThatVanishesWhileRunningStopsStreamingAndStopsPromptly) {
    DeclareOne(StreamingTuner(0));
    Received got;
    TunerGraph g;
    ASSERT_TRUE(g.Build(&got));
    ASSERT_EQ(g.control->Run(), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return got.Samples() >= 3; }));

    BdaSimulation::SetVanished("Sim DVB-T", true);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));  // a sample in flight may still land
    const size_t settled = got.Samples();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(got.Samples(), settled);
    EXPECT_EQ(g.Signal(), 0);

    const auto before = Clock::now();
    EXPECT_EQ(g.control->Stop(), S_OK);
    g = TunerGraph{};
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(500));
}

TEST_F(BdaTest, ReceiversTakeOnlyTheirOwnTunerAndOnlyWhenDeclaredToAccept) {
    BdaDeclaration d;
    d.tuners = {Tuner("A", BdaNetwork::DVBT, {{"A good", true}, {"A broken", false}}),
                Tuner("B", BdaNetwork::DVBT, {{"B good", true}})};
    d.tuningSpaces = {{"T", BdaNetwork::DVBT}};
    BdaSimulation::Declare(d);
    auto graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ComPtr<IBaseFilter> tuner;
    Devices(KSCATEGORY_BDA_NETWORK_TUNER)[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                          reinterpret_cast<void**>(tuner.ReleaseAndGetAddressOf()));
    graph->AddFilter(tuner.Get(), u"A");
    const bool expected[] = {true, false, false};
    auto receivers = Devices(KSCATEGORY_BDA_RECEIVER_COMPONENT);
    ASSERT_EQ(receivers.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        ComPtr<IBaseFilter> r;
        receivers[i]->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(r.ReleaseAndGetAddressOf()));
        graph->AddFilter(r.Get(), nullptr);
        const HRESULT hr = graph->ConnectDirect(PinOf(tuner.Get(), 1), PinOf(r.Get(), 0), nullptr);
        EXPECT_EQ(hr == S_OK, expected[i]) << FriendlyNameOf(receivers[i].Get());
        graph->RemoveFilter(r.Get());
    }

    // A provider of another network does not fit the tuner's antenna input.
    auto satellite = Create<IBaseFilter>(CLSID_DVBSNetworkProvider, IID_IBaseFilter);
    graph->AddFilter(satellite.Get(), nullptr);
    EXPECT_FALSE(SUCCEEDED(graph->ConnectDirect(PinOf(satellite.Get(), 0), PinOf(tuner.Get(), 0), nullptr)));
}

TEST_F(BdaTest, RunningAndStoppingAThousandTimesLeavesThreadsAndDescriptorsFlat) {
    DeclareOne(StreamingTuner(0, 8'000'000));
    auto cycle = [](TunerGraph& g, Received& got) {
        ASSERT_EQ(g.control->Run(), S_OK);
        ASSERT_EQ(g.control->Stop(), S_OK);
        (void)got;
    };
    {
        Received got;
        TunerGraph warm;
        ASSERT_TRUE(warm.Build(&got));
        cycle(warm, got);
    }
    const size_t threads = ThreadCount();
    const size_t fds = OpenDescriptors();
    const long objects = CBaseObject::ObjectsActive();
    {
        Received got;
        TunerGraph g;
        ASSERT_TRUE(g.Build(&got));
        for (int i = 0; i < 1000; ++i) cycle(g, got);
        ASSERT_EQ(g.control->Run(), S_OK);
        EXPECT_TRUE(WaitUntil([&] { return got.Samples() > 0; })) << "still streams after all that";
        g.control->Stop();
    }
    for (int i = 0; i < 50; ++i) {
        Received got;
        TunerGraph g;
        ASSERT_TRUE(g.Build(&got));
        cycle(g, got);
    }
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(OpenDescriptors(), fds);
    EXPECT_EQ(CBaseObject::ObjectsActive(), objects) << "every graph object went away";
}
