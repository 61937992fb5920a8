// The filter's pins in a real graph: host data out through "TS Out", times,
// discontinuity, stop behaviour, pass-through on "Antenna" and refused types.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "filter/TsMediaTypes.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/CBasePin.h"
#include "platform/graph/CMemAllocator.h"
#include "platform/graph/CMemoryStream.h"
#include "platform/graph/CPushSourceFilter.h"
#include "platform/graph/CSampleSinkFilter.h"
#include "platform/graph/PlatformClasses.h"
#include "tests/filter/FilterTestSupport.h"
#include "tools/tsgen/TsGenerator.h"

namespace {

using namespace std::chrono_literals;

struct Received {
    std::vector<uint8_t> bytes;
    long length;
    REFERENCE_TIME start, stop;
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
            r.length = s->GetActualDataLength();
            r.bytes.assign(p, p + r.length);
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
            EXPECT_EQ(graph->ConnectDirect(Pin(f.filter.Get(), u"TS Out").Get(), SinkPin().Get(), nullptr), S_OK);
        }
    }
    ~Rig() {
        control->Stop();
        f.control->SetMode(kModeHostSupplied, nullptr);
    }

    static ComPtr<IPin> Pin(IBaseFilter* filter, const char16_t* name) {
        ComPtr<IPin> pin;
        filter->FindPin(name, pin.ReleaseAndGetAddressOf());
        return pin;
    }
    ComPtr<IPin> SinkPin() { return ComPtr<IPin>(static_cast<IPin*>(sink->GetPin(0))); }

    // Samples with data, in arrival order.
    std::vector<Received> WithData() {
        std::lock_guard<std::mutex> g(lock);
        std::vector<Received> out;
        for (auto& r : received)
            if (r.length > 0) out.push_back(r);
        return out;
    }
    bool WaitForData(size_t samples, std::chrono::milliseconds limit = 3s) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (WithData().size() < samples && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
        return WithData().size() >= samples;
    }
};

CMediaType StreamType(const GUID& subtype) {
    CMediaType mt;
    mt.InitMediaType();
    mt.SetType(&MEDIATYPE_Stream);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_None);
    return mt;
}

}  // namespace

class FilterGraphTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(CountingControl(), nullptr) << "the counting plug-in must be on the library path"; }
};

TEST_F(FilterGraphTest, HostBuffersLeaveWithZeroTimesAndHostSamplesWithTheirs) {
    Rig rig;
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    std::vector<uint8_t> a(188 * 3, 0x47), b(1000, 0x11);
    rig.f.input->DeliverBuffer(a.data(), static_cast<uint32_t>(a.size()));

    HRESULT hr = S_OK;
    ComPtr<CMemAllocator> allocator(new CMemAllocator("test", nullptr, &hr));
    ALLOCATOR_PROPERTIES request{1, 1000, 1, 0}, actual{};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    std::memcpy(p, b.data(), b.size());
    sample->SetActualDataLength(1000);
    REFERENCE_TIME s = 4000, e = 9000;
    sample->SetTime(&s, &e);
    rig.f.input->DeliverSample(sample);
    sample->Release();

    ASSERT_TRUE(rig.WaitForData(2));
    auto got = rig.WithData();
    EXPECT_EQ(got[0].bytes, a);
    EXPECT_EQ(got[0].timeResult, S_OK);  // times are always set
    EXPECT_EQ(got[0].start, 0);
    EXPECT_EQ(got[0].stop, 0);
    EXPECT_EQ(got[1].bytes, b);
    EXPECT_EQ(got[1].start, 4000);
    EXPECT_EQ(got[1].stop, 9000);
    std::lock_guard<std::mutex> g(rig.lock);
    ASSERT_EQ(rig.hostCallbacks.size(), 2u);
    EXPECT_EQ(rig.hostCallbacks[0], a);
    EXPECT_EQ(rig.hostCallbacks[1], b);
    allocator->Decommit();
}

TEST_F(FilterGraphTest, DiscontinuityMarksExactlyTheNextSample) {
    Rig rig;
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    uint8_t data[188] = {0x47};
    rig.f.input->DeliverBuffer(data, 188);
    ASSERT_TRUE(rig.WaitForData(1));
    rig.f.input->SetDiscontinuity();
    for (int i = 0; i < 3; ++i) rig.f.input->DeliverBuffer(data, 188);
    ASSERT_TRUE(rig.WaitForData(4));
    auto got = rig.WithData();
    EXPECT_FALSE(got[0].discontinuity);
    EXPECT_TRUE(got[1].discontinuity);
    EXPECT_FALSE(got[2].discontinuity);
    EXPECT_FALSE(got[3].discontinuity);
}

TEST_F(FilterGraphTest, DataLongerThanAQueueEntryArrivesWholeInOrder) {
    Rig rig;
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    std::vector<uint8_t> big(2'000'000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 13 + (i >> 16));
    rig.f.input->DeliverBuffer(big.data(), static_cast<uint32_t>(big.size()));
    ASSERT_TRUE(rig.WaitForData(3));
    auto got = rig.WithData();
    std::vector<uint8_t> joined;
    for (auto& r : got) joined.insert(joined.end(), r.bytes.begin(), r.bytes.end());
    EXPECT_EQ(joined, big);
    EXPECT_EQ(got[0].length, long(CSampleQueue::kEntrySize));
}

TEST_F(FilterGraphTest, StoppingWhileIdleTakesAboutASecondAtMost) {
    Rig rig;
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    std::this_thread::sleep_for(50ms);
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(rig.control->Stop(), S_OK);
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, 1500ms);
}

TEST_F(FilterGraphTest, StoppingTheFilterSendsTheHeldSampleWithLengthZero) {
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
    EXPECT_EQ(rig.received[0].length, 0);
    EXPECT_TRUE(rig.hostCallbacks.empty());  // nothing filled, nothing reported
}

TEST_F(FilterGraphTest, ModeAboveThreeEndsTheStreamOnTheNextFill) {
    Rig rig;
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    rig.f.control->SetMode(4, nullptr);
    uint8_t data[188] = {0x47};
    // A fill that was already waiting delivers this one, and the fill after it ends the
    // stream; a fill that starts after the mode change ends it at once.
    rig.f.input->DeliverBuffer(data, 188);
    EXPECT_TRUE(rig.sink->WaitForEndOfStream(3000));
    EXPECT_LE(rig.WithData().size(), 1u);
}

TEST_F(FilterGraphTest, FeedDataFlowsInLiveModeAndMutedDropsIt) {
    Rig rig;
    rig.f.WaitForList();
    ASSERT_EQ(rig.f.control->SetMode(kModeLiveFeed, "Counting Feed B"), S_OK);
    ASSERT_EQ(rig.control->Run(), S_OK);
    EXPECT_EQ(rig.f.Feed(1)->starts.load(), 1);  // not started again by the run
    ASSERT_TRUE(CountingControl()->deliver(1, 2, 188 * 4));
    ASSERT_TRUE(rig.WaitForData(2));
    rig.f.control->SetMuted(true);
    ASSERT_TRUE(CountingControl()->deliver(1, 2, 188 * 4));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rig.WithData().size(), 2u);
    ASSERT_EQ(rig.control->Stop(), S_OK);
    EXPECT_EQ(rig.f.Feed(1)->stops.load(), 1);
}

TEST_F(FilterGraphTest, AntennaPassesSamplesOnlyInPassThroughMode) {
    Rig rig;
    std::atomic<int> sent{0};
    CMediaType ts = StreamType(MEDIASUBTYPE_MPEG2_TRANSPORT);
    CPushSourceFilter* raw = nullptr;
    ComPtr<CPushSourceFilter> source(new CPushSourceFilter({ts}, 188 * 10, 4, [&](IMediaSample* s) -> HRESULT {
        if (sent.load() >= 6) {
            raw->WaitForStop(2000);
            return S_FALSE;
        }
        BYTE* p = nullptr;
        s->GetPointer(&p);
        std::memset(p, sent.load() + 1, 188 * 10);
        s->SetActualDataLength(188 * 10);
        ++sent;
        return S_OK;
    }));
    raw = source.Get();
    ASSERT_EQ(rig.graph->AddFilter(source.Get(), u"source"), S_OK);
    ASSERT_EQ(rig.graph->ConnectDirect(static_cast<IPin*>(source->GetPin(0)),
                                       Rig::Pin(rig.f.filter.Get(), u"Antenna").Get(), nullptr),
              S_OK);
    rig.f.control->SetMode(kModePassThrough, nullptr);
    ASSERT_EQ(rig.control->Run(), S_OK);
    ASSERT_TRUE(rig.WaitForData(6));
    auto got = rig.WithData();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(got[i].bytes[0], i + 1);
    ASSERT_EQ(rig.control->Stop(), S_OK);

    // The same source in host mode: accepted and thrown away.
    sent = 0;
    rig.f.control->SetMode(kModeHostSupplied, nullptr);
    size_t before = rig.WithData().size();
    ASSERT_EQ(rig.control->Run(), S_OK);
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (sent.load() < 6 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sent.load(), 6);
    EXPECT_EQ(rig.WithData().size(), before);
}

TEST_F(FilterGraphTest, OnlyTheTwoTransportStreamTypesConnect) {
    Rig rig(false);
    ComPtr<IPin> out = Rig::Pin(rig.f.filter.Get(), u"TS Out");
    ComPtr<IPin> antenna = Rig::Pin(rig.f.filter.Get(), u"Antenna");
    const GUID other = {0xE06D8022, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};
    CMediaType wrong = StreamType(other);
    CMediaType bda = StreamType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
    CMediaType ts = StreamType(MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_NE(out->QueryAccept(&wrong), S_OK);
    EXPECT_NE(antenna->QueryAccept(&wrong), S_OK);
    EXPECT_EQ(out->QueryAccept(&bda), S_OK);
    EXPECT_EQ(antenna->QueryAccept(&ts), S_OK);
    EXPECT_TRUE(FAILED(rig.graph->ConnectDirect(out.Get(), rig.SinkPin().Get(), &wrong)));
    EXPECT_EQ(rig.graph->ConnectDirect(out.Get(), rig.SinkPin().Get(), &bda), S_OK);

    // Type positions, the same on both pins.
    CMediaType mt;
    EXPECT_EQ(GetTsMediaType(-1, &mt), E_INVALIDARG);
    EXPECT_EQ(GetTsMediaType(2, &mt), VFW_S_NO_MORE_ITEMS);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(antenna->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);
    AM_MEDIA_TYPE* list[3] = {};
    ULONG fetched = 0;
    types->Next(3, list, &fetched);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(list[0]->subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_EQ(list[1]->subtype, KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
    EXPECT_EQ(list[1]->formattype, FORMAT_None);
    for (ULONG i = 0; i < fetched; ++i) DeleteMediaType(list[i]);
}

namespace {
// Grants less than asked, as a constrained downstream allocator would.
class StingyAllocator : public CMemAllocator {
public:
    StingyAllocator(HRESULT* phr) : CMemAllocator("stingy", nullptr, phr) {}
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
        ALLOCATOR_PROPERTIES smaller = *request;
        smaller.cbBuffer = request->cbBuffer / 2;
        return CMemAllocator::SetProperties(&smaller, actual);
    }
};
}  // namespace

TEST_F(FilterGraphTest, BufferSizeDecisionAsksFor200BuffersAndRefusesSmallerOnes) {
    TestFilter f;
    auto* out = static_cast<CBaseOutputPin*>(f.object->GetPin(0));
    HRESULT hr = S_OK;
    ComPtr<CMemAllocator> good(new CMemAllocator("good", nullptr, &hr));
    ALLOCATOR_PROPERTIES request{1, 1, 1, 0};
    EXPECT_EQ(out->DecideBufferSize(good.Get(), &request), S_OK);
    ALLOCATOR_PROPERTIES props{};
    good->GetProperties(&props);
    EXPECT_EQ(props.cBuffers, 200);
    EXPECT_EQ(props.cbBuffer, 1540096);
    ComPtr<StingyAllocator> stingy(new StingyAllocator(&hr));
    ALLOCATOR_PROPERTIES request2{1, 1, 1, 0};
    EXPECT_EQ(out->DecideBufferSize(stingy.Get(), &request2), E_FAIL);
}

namespace {
// A file of whole packets with PCRs, long enough for its bitrate to be measured.
std::string WriteStreamFile(const std::string& name, uint32_t bitrate, uint64_t milliseconds) {
    std::string path = (std::filesystem::temp_directory_path() / (name + std::to_string(getpid()) + ".ts")).string();
    TsGeneratorOptions options;
    options.bitrate = bitrate;
    options.packetLimit = TsGenerator::PacketsForDuration(bitrate, milliseconds, 188);
    TsGenerator generator(options);
    std::vector<uint8_t> data(options.packetLimit * 188);
    generator.Generate(data.data(), options.packetLimit);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
    return path;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

TEST_F(FilterGraphTest, FileModeThroughSetModePlaysTheFileFromItsFirstByte) {
    std::string path = WriteStreamFile("kestrel-filemode-", 100'000'000, 600);
    std::vector<uint8_t> file = ReadAll(path);
    Rig rig;
    rig.f.WaitForList();
    ASSERT_EQ(rig.f.control->SetMode(kModeFile, (path + ":LOOP:").c_str()), S_OK);
    EXPECT_EQ(rig.f.control->GetFeedType(), kFeedFile);
    ASSERT_EQ(rig.control->Run(), S_OK);
    std::vector<uint8_t> joined;
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (joined.size() < file.size() + 188 * 1000 && std::chrono::steady_clock::now() < deadline) {
        joined.clear();
        for (auto& r : rig.WithData()) joined.insert(joined.end(), r.bytes.begin(), r.bytes.end());
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_GE(joined.size(), file.size() + 188 * 1000);
    // One pass byte for byte, then the loop starts again at the beginning.
    EXPECT_TRUE(std::equal(file.begin(), file.end(), joined.begin()));
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 188 * 1000, joined.begin() + long(file.size())));
    ASSERT_EQ(rig.control->Stop(), S_OK);
    std::filesystem::remove(path);
}

TEST_F(FilterGraphTest, FileModeRestoredFromPersistenceStartsOnPause) {
    std::string path = WriteStreamFile("kestrel-persisted-", 50'000'000, 200);
    Rig rig;
    rig.f.WaitForList();
    // The host restores mode 1 and the file name; nothing starts until the graph pauses.
    std::vector<BYTE> saved(24 + 264, 0);
    const char header[] = "00000000000 ";
    for (int i = 0; i < 12; ++i) saved[2 * i] = BYTE(header[i]);
    saved[24] = kModeFile;
    std::memcpy(&saved[28], path.c_str(), path.size());
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateMemoryStream(saved.data(), saved.size(), stream.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IPersistStream> persist;
    ASSERT_EQ(rig.f.filter.As(IID_IPersistStream, &persist), S_OK);
    ASSERT_EQ(persist->Load(stream.Get()), S_OK);
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(rig.WithData().empty());
    ASSERT_EQ(rig.control->Run(), S_OK);
    EXPECT_TRUE(rig.WaitForData(1, 5s));
    ASSERT_EQ(rig.control->Stop(), S_OK);
    std::filesystem::remove(path);
}
