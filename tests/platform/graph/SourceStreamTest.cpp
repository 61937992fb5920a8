#include "GraphTestSupport.h"
#include "platform/graph/CSource.h"
#include "platform/graph/CSourceStream.h"
#include "platform/system/Thread.h"
#include <future>

using namespace graphtest;
using namespace std::chrono_literals;

namespace {

// A source pin that numbers its samples (the first four bytes), and can instead
// fail, or wait for data that does not come, polling for commands as a live source does.
class CountingStream final : public CSourceStream {
public:
    enum class Mode { Count, WaitForData, Fail };

    explicit CountingStream(CSource* source, LPCWSTR name = u"Output")
        : CSourceStream("counting stream", nullptr, source, name) {
        SetThreadName("counting worker");
    }
    HRESULT GetMediaType(CMediaType* pmt) override {
        *pmt = MakeType(kMajorA, kSubA);
        return S_OK;
    }
    using CSourceStream::GetMediaType;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* request) override {
        ALLOCATOR_PROPERTIES want{4, 1880, request->cbAlign, request->cbPrefix}, got{};
        return alloc->SetProperties(&want, &got);
    }
    HRESULT FillBuffer(IMediaSample* sample) override {
        ++fillCalls;
        if (mode == Mode::Fail) return E_FAIL;
        if (mode == Mode::WaitForData) {
            waiting = true;
            for (Command pending; !dataArrived.Wait(20);)
                if (CheckRequest(&pending)) {
                    commandSeenInFill = pending;
                    sample->SetActualDataLength(0);
                    return S_OK;
                }
        }
        const int n = numbered.load();
        if (limit >= 0 && n >= limit) return S_FALSE;
        std::this_thread::sleep_for(1ms);
        std::memcpy(Ptr(sample), &n, sizeof n);
        sample->SetActualDataLength(sizeof n);
        numbered = n + 1;
        return S_OK;
    }
    HRESULT OnThreadCreate() override {
        ++creates;
        workerName = Thread::CurrentName();
        return createResult;
    }
    HRESULT OnThreadDestroy() override {
        ++destroys;
        return S_OK;
    }
    HRESULT OnThreadStartPlay() override {
        ++startPlays;
        return S_OK;
    }

    std::atomic<Mode> mode{Mode::Count};
    std::atomic<int> limit{-1};  // S_FALSE once this many samples are numbered
    HRESULT createResult = S_OK;
    ::Event dataArrived{false, false};
    std::atomic<bool> waiting{false};
    std::atomic<int> commandSeenInFill{-1}, numbered{0}, fillCalls{0}, creates{0}, destroys{0}, startPlays{0};
    std::string workerName;
};

CSource* NewSource() { return new CSource("counting source", nullptr, kSourceClsid, nullptr); }

std::vector<int> Numbers(Received& got) {
    std::lock_guard lock(got.m);
    std::vector<int> numbers;
    for (const auto& p : got.payloads) {
        int n = -1;
        if (p.size() == sizeof n) std::memcpy(&n, p.data(), sizeof n);
        numbers.push_back(n);
    }
    return numbers;
}

class SourceStream : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(stream->Connect(sink->Pin(), nullptr), S_OK); }
    void TearDown() override {
        sinkRef->Stop();
        sourceRef->Stop();
        {
            std::lock_guard lock(Got().m);
            Got().kept.clear();
        }
        stream->Disconnect();
        sink->Pin()->Disconnect();
        sourceRef->JoinFilterGraph(nullptr, nullptr);
    }
    // Downstream first, as a graph does.
    void Pause() {
        ASSERT_EQ(sinkRef->Pause(), S_OK);
        ASSERT_EQ(sourceRef->Pause(), S_OK);
    }
    // Stopping is never held up for long, whatever the worker was doing.
    void StopQuickly() {
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(sourceRef->Stop(), S_OK);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    }
    CountingStream* Stream() { return stream; }
    Received& Got() { return sink->Got(); }

    CSource* source = NewSource();
    CountingStream* stream = new CountingStream(source);
    SinkFilter* sink = new SinkFilter;
    ComPtr<IBaseFilter> sourceRef{static_cast<IBaseFilter*>(source)};
    ComPtr<IBaseFilter> sinkRef{static_cast<IBaseFilter*>(sink)};
};

TEST_F(SourceStream, SamplesFlowInOrderAndRestartWithAFreshWorker) {
    Pause();
    EXPECT_TRUE(Stream()->ThreadExists());
    ASSERT_TRUE(WaitUntil([&] { return Got().Count() >= 10; }));
    ASSERT_EQ(sinkRef->Run(0), S_OK);
    ASSERT_EQ(sourceRef->Run(0), S_OK);
    // Commands while filling: run keeps the loop going, an unknown one is refused.
    EXPECT_EQ(Stream()->Run(), S_OK);
    EXPECT_EQ(static_cast<HRESULT>(Stream()->CallWorker(42)), E_UNEXPECTED);
    const size_t atRun = Got().Count();
    ASSERT_TRUE(WaitUntil([&] { return Got().Count() >= atRun + 10; }));
    ASSERT_EQ(sinkRef->Stop(), S_OK);
    ASSERT_EQ(sourceRef->Stop(), S_OK);
    EXPECT_FALSE(Stream()->ThreadExists());
    std::vector<int> numbers = Numbers(Got());
    for (size_t i = 0; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], static_cast<int>(i));
    EXPECT_EQ(Got().Eos(), 0);
    EXPECT_EQ(Stream()->startPlays.load(), 1);
    EXPECT_EQ(Stream()->workerName, "counting worker");

    for (int round = 2; round <= 3; ++round) {
        const size_t before = Got().Count();
        ASSERT_EQ(sinkRef->Run(0), S_OK);
        ASSERT_EQ(sourceRef->Run(0), S_OK);  // from stopped: pauses first
        ASSERT_TRUE(WaitUntil([&] { return Got().Count() >= before + 3; }));
        ASSERT_EQ(sourceRef->Stop(), S_OK);
        ASSERT_EQ(sinkRef->Stop(), S_OK);
        EXPECT_FALSE(Stream()->ThreadExists());
        EXPECT_EQ(Stream()->creates.load(), round);
        EXPECT_EQ(Stream()->destroys.load(), round);
    }
    // The numbering goes on across restarts; only samples filled after the sink stopped are missing.
    numbers = Numbers(Got());
    for (size_t i = 1; i < numbers.size(); ++i) EXPECT_GT(numbers[i], numbers[i - 1]);
}

TEST_F(SourceStream, EndOfStreamLeavesAnIdleWorkerThatPauseRestarts) {
    Stream()->limit = 3;
    Pause();
    ASSERT_TRUE(WaitUntil([&] { return Got().Eos() == 1; }));
    EXPECT_EQ(Numbers(Got()), (std::vector<int>{0, 1, 2}));
    const int calls = Stream()->fillCalls.load();
    EXPECT_EQ(static_cast<HRESULT>(Stream()->CallWorker(CountingStream::CMD_INIT)), E_NOTIMPL) << "answered from the idle loop";
    EXPECT_EQ(Stream()->fillCalls.load(), calls) << "the idle worker only waits for commands";
    Stream()->limit = 5;
    EXPECT_EQ(Stream()->Pause(), S_OK) << "an idle worker takes pause as: fill again";
    ASSERT_TRUE(WaitUntil([&] { return Got().Eos() == 2; }));
    EXPECT_EQ(Numbers(Got()), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(Stream()->startPlays.load(), 2);
    StopQuickly();
}

TEST_F(SourceStream, FillFailureEndsTheStreamAndTellsTheGraph) {
    FakeGraph graph;
    ASSERT_EQ(sourceRef->JoinFilterGraph(&graph, u"source"), S_OK);
    Stream()->mode = CountingStream::Mode::Fail;
    Pause();
    ASSERT_TRUE(WaitUntil([&] { return Got().Eos() == 1 && !graph.Events().empty(); }));
    const auto events = graph.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, EC_ERRORABORT);
    EXPECT_EQ(events[0].p1, E_FAIL);
    EXPECT_EQ(Got().Count(), 0u);
    EXPECT_EQ(Stream()->fillCalls.load(), 1);
}

TEST_F(SourceStream, DataIsDeliveredAsItArrivesAndStopEndsTheWait) {
    Stream()->mode = CountingStream::Mode::WaitForData;
    Pause();
    for (size_t i = 1; i <= 2; ++i) {
        ASSERT_TRUE(WaitUntil([&] { return Stream()->waiting.exchange(false); }));
        Stream()->dataArrived.Set();
        ASSERT_TRUE(WaitUntil([&] { return Got().Count() == i; }));
    }
    ASSERT_TRUE(WaitUntil([&] { return Stream()->waiting.load(); }));
    // The sink still runs, so the sample the worker held goes out, empty.
    StopQuickly();
    EXPECT_EQ(Stream()->commandSeenInFill.load(), CountingStream::CMD_STOP);
    EXPECT_EQ(Numbers(Got()), (std::vector<int>{0, 1, -1}));
}

TEST_F(SourceStream, StopsWhileBlockedOnAllBuffers) {
    sink->Pin()->keepSamples = true;
    Pause();
    ASSERT_TRUE(WaitUntil([&] { return Got().Count() == 4; })) << "every buffer is held downstream";
    auto stop = std::async(std::launch::async, [&] { return sourceRef->Stop(); });
    const bool stopped = stop.wait_for(1s) == std::future_status::ready;
    EXPECT_TRUE(stopped) << "Stop blocked while the worker waited for a buffer";
    if (!stopped) {
        std::lock_guard lock(Got().m);
        Got().kept.clear();  // lets the worker go, so the test ends either way
    }
    EXPECT_EQ(stop.get(), S_OK);
    EXPECT_FALSE(Stream()->ThreadExists());
}

TEST_F(SourceStream, RefusedDeliveryOrFailedStart) {
    sink->Pin()->receiveResult = S_FALSE;
    Pause();
    ASSERT_TRUE(WaitUntil([&] { return Got().Count() == 1; }));
    EXPECT_EQ(static_cast<HRESULT>(Stream()->CallWorker(CountingStream::CMD_INIT)), E_NOTIMPL)
        << "the worker stops delivering and waits for commands";
    EXPECT_EQ(Stream()->fillCalls.load(), 1);
    EXPECT_EQ(Got().Eos(), 0) << "a refused delivery is no end of stream";
    StopQuickly();

    Stream()->createResult = E_OUTOFMEMORY;
    EXPECT_EQ(sourceRef->Pause(), E_OUTOFMEMORY);
    EXPECT_TRUE(WaitUntil([&] { return Stream()->destroys.load() == 2; })) << "the worker that failed to start ended";
    EXPECT_FALSE(Stream()->ThreadExists());
    ASSERT_EQ(sourceRef->Stop(), S_OK);
}

TEST(SourceFilter, PinsRegisterThemselvesAndOfferOneType) {
    CSource* source = NewSource();
    ComPtr<IBaseFilter> ref(static_cast<IBaseFilter*>(source));
    auto* pin = new CountingStream(source);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(ref->EnumPins(pins.ReleaseAndGetAddressOf()), S_OK);
    auto* second = new CountingStream(source, u"Second");
    EXPECT_EQ(source->FindPinNumber(second), 1);
    IPin* got = nullptr;
    EXPECT_EQ(pins->Next(1, &got, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    delete second;
    EXPECT_EQ(source->GetPinCount(), 1);
    EXPECT_EQ(source->GetPin(1), nullptr) << "a deleted pin leaves its filter";

    CMediaType a = MakeType(kMajorA, kSubA), b = MakeType(kMajorA, kSubB), mt;
    EXPECT_EQ(pin->QueryAccept(&a), S_OK);
    EXPECT_EQ(pin->QueryAccept(&b), S_FALSE);
    EXPECT_EQ(pin->GetMediaType(0, &mt), S_OK);
    EXPECT_TRUE(mt == a);
    EXPECT_EQ(pin->GetMediaType(1, &mt), VFW_S_NO_MORE_ITEMS);
    ASSERT_EQ(ref->Pause(), S_OK);
    EXPECT_FALSE(pin->ThreadExists()) << "an unconnected source starts no worker";
    ASSERT_EQ(ref->Stop(), S_OK);
}

// A worker that answers requests with twice their value; 0 ends it, 1000 ends it unanswered.
class Doubler final : public CAMThread {
public:
    DWORD ThreadProc() override {
        for (;;) {
            DWORD peeked = 0;
            const DWORD request = GetRequest();
            // The request stays visible to CheckRequest until it is answered.
            mismatches += !CheckRequest(&peeked) || peeked != request;
            if (request == 1000) return 1;
            Reply(request * 2);
            if (request == 0) return 0;
        }
    }
    std::atomic<int> mismatches{0};
};

TEST(AMThread, RequestsRepliesAndEndedWorkers) {
    Doubler worker;
    EXPECT_EQ(static_cast<HRESULT>(worker.CallWorker(5)), E_FAIL) << "no worker";
    for (int run = 0; run < 2; ++run) {  // the same object can run a new worker
        ASSERT_TRUE(worker.Create());
        EXPECT_FALSE(worker.Create());
        EXPECT_EQ(worker.CallWorker(21), 42u);
        EXPECT_EQ(worker.CallWorker(0), 0u);
        worker.Close();
        EXPECT_FALSE(worker.ThreadExists());
    }
    ASSERT_TRUE(worker.Create());
    for (DWORD request : {1000u, 3u}) {
        auto call = std::async(std::launch::async, [&] { return static_cast<HRESULT>(worker.CallWorker(request)); });
        const bool answered = call.wait_for(1s) == std::future_status::ready;
        EXPECT_TRUE(answered) << "request " << request << " to an ended worker";
        if (!answered) worker.Reply(static_cast<DWORD>(E_ABORT));  // stands in for the dead worker
        EXPECT_EQ(call.get(), E_FAIL);
    }
    worker.Close();
    EXPECT_EQ(worker.mismatches.load(), 0);
}

TEST(AMThread, ConcurrentCallersGetTheirOwnAnswers) {
    Doubler worker;
    ASSERT_TRUE(worker.Create());
    std::vector<std::future<int>> callers;
    for (DWORD t = 1; t <= 4; ++t)
        callers.push_back(std::async(std::launch::async, [&worker, t] {
            int wrong = 0;
            for (DWORD i = 1; i <= 100; ++i) wrong += worker.CallWorker(t * 1000000 + i) != (t * 1000000 + i) * 2;
            return wrong;
        }));
    for (auto& c : callers) EXPECT_EQ(c.get(), 0);
    EXPECT_EQ(worker.CallWorker(0), 0u);
    worker.Close();
    EXPECT_EQ(worker.mismatches.load(), 0);
}

}  // namespace
