// The filter's pins in a real graph: host data out through "TS Out", times,
// discontinuity, stop behaviour, refused types and the file mode end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "filter/TsMediaTypes.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/CBaseOutputPin.h"
#include "platform/graph/CBasePin.h"
#include "platform/graph/CMemoryStream.h"
#include "platform/graph/CSampleSinkFilter.h"
#include "platform/graph/PlatformClasses.h"
#include "tests/filter/FilterTestSupport.h"
#include "tests/support/WaitUntil.h"
#include "tools/tsgen/TsGenerator.h"

namespace {

using namespace std::chrono_literals;

struct Received {
    std::vector<uint8_t> bytes;
    REFERENCE_TIME start = -1, stop = -1;
    HRESULT timeResult;
    bool discontinuity;
};

// A graph of the filter and a sink that records everything it receives.
struct Rig {
    TestFilter f;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<CSampleSinkFilter> sink;
    std::mutex lock;
    std::vector<Received> received;
    std::vector<std::vector<uint8_t>> hostCallbacks;

    explicit Rig(bool connect = true) {
        EXPECT_EQ(RegisterPlatformClasses(), S_OK);
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf())),
                  S_OK);
        EXPECT_EQ(graph.As(IID_IMediaControl, &control), S_OK);
        sink = new CSampleSinkFilter([this](IMediaSample* s) {
            Received r{};
            BYTE* p = nullptr;
            s->GetPointer(&p);
            r.bytes.assign(p, p + s->GetActualDataLength());
            r.timeResult = s->GetTime(&r.start, &r.stop);
            r.discontinuity = s->IsDiscontinuity() == S_OK;
            std::lock_guard<std::mutex> g(lock);
            received.push_back(std::move(r));
        });
        EXPECT_EQ(graph->AddFilter(f.filter.Get(), u"filter"), S_OK);
        EXPECT_EQ(graph->AddFilter(sink.Get(), u"sink"), S_OK);
        f.control->SetDataCallback(this, [](void* ctx, const uint8_t* data, int32_t length) {
            auto* rig = static_cast<Rig*>(ctx);
            std::lock_guard<std::mutex> g(rig->lock);
            rig->hostCallbacks.emplace_back(data, data + length);
        });
        if (connect) {
            EXPECT_EQ(graph->ConnectDirect(Pin(u"TS Out").Get(), SinkPin().Get(), nullptr), S_OK);
        }
    }
    ~Rig() {
        control->Stop();
        f.control->SetMode(kModeHostSupplied, nullptr);
    }

    ComPtr<IPin> Pin(const char16_t* name) {
        ComPtr<IPin> pin;
        f.filter->FindPin(name, pin.ReleaseAndGetAddressOf());
        return pin;
    }
    ComPtr<IPin> SinkPin() { return ComPtr<IPin>(static_cast<IPin*>(sink->GetPin(0))); }

    // Samples with data, in arrival order.
    std::vector<Received> WithData() {
        std::lock_guard<std::mutex> g(lock);
        std::vector<Received> out;
        std::copy_if(received.begin(), received.end(), std::back_inserter(out),
                     [](const Received& r) { return !r.bytes.empty(); });
        return out;
    }
    bool WaitForData(size_t samples) { return WaitUntil([&] { return WithData().size() >= samples; }); }
};

CMediaType StreamType(const GUID& subtype) {
    CMediaType mt;
    mt.InitMediaType();
    mt.SetType(&MEDIATYPE_Stream);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_None);
    return mt;
}

using FilterGraphTest = CountingPluginTest;

}  // namespace

TEST_F(FilterGraphTest, HostDataKeepsItsTimesOneSampleIsDiscontinuousAndModeFourEndsTheStream) {
    Rig rig;
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    std::vector<uint8_t> a(188 * 3, 0x47), b(1000, 0x11);
    rig.f.input->DeliverBuffer(a.data(), static_cast<uint32_t>(a.size()));
    TestSample sample(1000, 0x11, 4000, 9000);
    rig.f.input->DeliverSample(sample.sample);
    ASSERT_TRUE(rig.WaitForData(2));
    auto got = rig.WithData();
    EXPECT_EQ(got[0].bytes, a);
    EXPECT_EQ(got[0].timeResult, S_OK) << "times are always set";
    EXPECT_EQ(got[0].start, 0);
    EXPECT_EQ(got[0].stop, 0);
    EXPECT_EQ(got[1].bytes, b);
    EXPECT_EQ(got[1].start, 4000);
    EXPECT_EQ(got[1].stop, 9000);
    {
        std::lock_guard<std::mutex> g(rig.lock);
        EXPECT_EQ(rig.hostCallbacks, (std::vector<std::vector<uint8_t>>{a, b}));
    }

    rig.f.input->SetDiscontinuity();
    for (int i = 0; i < 3; ++i) rig.f.input->DeliverBuffer(a.data(), 188);
    ASSERT_TRUE(rig.WaitForData(5));
    got = rig.WithData();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(got[i].discontinuity, i == 2) << i;

    // A fill that was already waiting delivers this one, and the fill after it ends the
    // stream; a fill that starts after the mode change ends it at once.
    rig.f.control->SetMode(4, nullptr);
    rig.f.input->DeliverBuffer(a.data(), 188);
    EXPECT_TRUE(rig.sink->WaitForEndOfStream(3000));
    EXPECT_LE(rig.WithData().size(), 6u);
}

// A callback that unregisters itself: later samples still flow, none reaches it.
TEST_F(FilterGraphTest, HostCallbackMayUnregisterItself) {
    Rig rig;
    static std::atomic<int> calls{0};
    calls = 0;
    rig.f.control->SetDataCallback(rig.f.control.Get(), [](void* ctx, const uint8_t*, int32_t) {
        ++calls;
        static_cast<ITSFeedControl*>(ctx)->SetDataCallback(nullptr, nullptr);
    });
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    std::vector<uint8_t> packet(188, 0x47);
    for (int i = 0; i < 3; ++i) rig.f.input->DeliverBuffer(packet.data(), 188);
    ASSERT_TRUE(rig.WaitForData(3));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(rig.control->Stop(), S_OK);
}

// The host holds its own lock around SetDataCallback and inside its callback.
TEST_F(FilterGraphTest, HostLockAroundSetDataCallbackAndInsideItNeverStallsTheWorker) {
    Rig rig;
    struct Host {
        std::mutex lock;
        std::atomic<int> calls{0};
        static void Callback(void* ctx, const uint8_t*, int32_t) {
            auto* host = static_cast<Host*>(ctx);
            std::lock_guard<std::mutex> g(host->lock);
            ++host->calls;
        }
    } host;
    rig.f.control->SetDataCallback(&host, &Host::Callback);
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    std::atomic<bool> done{false};
    std::thread registering([&] {
        while (!done) {
            std::lock_guard<std::mutex> g(host.lock);
            // Long enough for the worker to come to the callback meanwhile.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            rig.f.control->SetDataCallback(&host, &Host::Callback);
        }
    });
    std::vector<uint8_t> packet(188, 0x47);
    for (int i = 0; i < 200; ++i) {
        rig.f.input->DeliverBuffer(packet.data(), 188);
        if (i % 20 == 19) {
            ASSERT_TRUE(rig.WaitForData(size_t(i + 1))) << i;
        }
    }
    done = true;
    registering.join();
    EXPECT_EQ(host.calls.load(), 200);
    EXPECT_EQ(rig.control->Stop(), S_OK);
}

// The allocator "TS Out" asks for, and a connection refused when less is granted.
TEST_F(FilterGraphTest, OutputPinAsksFor200BuffersAndRefusesSmallerOnes) {
    struct Granting : CMemAllocator {
        long shortBy = 0;
        HRESULT failure = S_OK;
        ALLOCATOR_PROPERTIES asked{};
        using CMemAllocator::CMemAllocator;
        HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
            asked = *request;
            if (failure != S_OK) return failure;
            HRESULT hr = CMemAllocator::SetProperties(request, actual);
            if (shortBy) actual->cbBuffer = request->cbBuffer - shortBy;
            return hr;
        }
    };
    Rig rig(false);
    auto* pin = static_cast<CBaseOutputPin*>(rig.f.object->GetPin(0));
    struct Case {
        long shortBy;
        HRESULT failure, expected;
    } cases[] = {{0, S_OK, S_OK}, {1, S_OK, E_FAIL}, {0, E_OUTOFMEMORY, E_OUTOFMEMORY}};
    for (const Case& c : cases) {
        HRESULT hr = S_OK;
        ComPtr<Granting> allocator(new Granting("test", nullptr, &hr));
        allocator->shortBy = c.shortBy;
        allocator->failure = c.failure;
        ALLOCATOR_PROPERTIES request{1, 188, 16, 4};
        EXPECT_EQ(pin->DecideBufferSize(allocator.Get(), &request), c.expected) << c.shortBy;
        EXPECT_EQ(allocator->asked.cBuffers, 200);
        EXPECT_EQ(allocator->asked.cbBuffer, 1'540'096);
        EXPECT_EQ(allocator->asked.cbAlign, 16) << "alignment and prefix as the caller passed them";
        EXPECT_EQ(allocator->asked.cbPrefix, 4);
    }
}

TEST_F(FilterGraphTest, StoppingWhileIdleIsPromptAndSendsTheHeldSampleEmpty) {
    Rig rig;
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    // Time for the worker to be waiting inside its fill.
    std::this_thread::sleep_for(300ms);
    // Only the filter stops, so the sink still takes what the worker sends on its way out.
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(rig.f.filter->Stop(), S_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1500ms);
    std::lock_guard<std::mutex> g(rig.lock);
    ASSERT_EQ(rig.received.size(), 1u);
    EXPECT_TRUE(rig.received[0].bytes.empty());
    EXPECT_TRUE(rig.hostCallbacks.empty()) << "nothing filled, nothing reported";
}

TEST_F(FilterGraphTest, OnlyTheTwoTransportStreamTypesConnect) {
    Rig rig(false);
    ComPtr<IPin> out = rig.Pin(u"TS Out");
    ComPtr<IPin> antenna = rig.Pin(u"Antenna");
    CMediaType wrong = StreamType({0xE06D8022, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}});
    CMediaType bda = StreamType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
    CMediaType ts = StreamType(MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_NE(out->QueryAccept(&wrong), S_OK);
    EXPECT_NE(antenna->QueryAccept(&wrong), S_OK);
    EXPECT_EQ(out->QueryAccept(&bda), S_OK);
    EXPECT_EQ(antenna->QueryAccept(&ts), S_OK);
    EXPECT_TRUE(FAILED(rig.graph->ConnectDirect(out.Get(), rig.SinkPin().Get(), &wrong)));
    EXPECT_EQ(rig.graph->ConnectDirect(out.Get(), rig.SinkPin().Get(), &bda), S_OK);
}

// Restored by the host in file mode, with a file too short to measure: the graph's run
// sets up the file feed, which plays at the fallback rate.
TEST_F(FilterGraphTest, RestoredFileModePlaysOnRunAtTheFallbackRate) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("kestrel-persisted-" + std::to_string(getpid()) + ".ts")).string();
    TsGeneratorOptions options;
    options.bitrate = 8'000'000;
    options.packetLimit = TsGenerator::PacketsForDuration(options.bitrate, 200, 188);
    std::vector<uint8_t> data(options.packetLimit * 188);
    TsGenerator(options).Generate(data.data(), options.packetLimit);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));

    Rig rig;
    std::vector<BYTE> saved = SavedState(kModeFile, path);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateMemoryStream(saved.data(), saved.size(), stream.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IPersistStream> persist;
    ASSERT_EQ(rig.f.filter.As(IID_IPersistStream, &persist), S_OK);
    ASSERT_EQ(persist->Load(stream.Get()), S_OK);
    EXPECT_EQ(rig.f.control->GetFeedType(), kFeedFile);
    ASSERT_EQ(rig.control->Run(), S_OK);
    ASSERT_TRUE(rig.WaitForData(1));
    EXPECT_EQ(rig.WithData()[0].bytes.size(), 4014705u / 80) << "one block per 100 ms tick";
    ASSERT_EQ(rig.control->Stop(), S_OK);
    std::filesystem::remove(path);
}
