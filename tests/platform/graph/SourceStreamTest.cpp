#include "GraphTestSupport.h"
#include "platform/graph/CSource.h"
#include "platform/graph/CSourceStream.h"
#include "platform/system/Thread.h"
#include <gtest/gtest.h>
#include <future>
#include <thread>

using namespace graphtest;
using namespace std::chrono_literals;

namespace {

// A source pin that numbers its samples (the first four bytes), and can instead
// fail, or wait for data that does not come, polling for commands as a live source does.
class CountingStream final : public CSourceStream {
public:
    enum class Mode { Count, WaitForData, Fail };

    CountingStream(HRESULT* phr, CSource* source, LPCWSTR name = u"Output")
        : CSourceStream("counting stream", phr, source, name) {
        SetThreadName("counting worker");
    }

    HRESULT GetMediaType(CMediaType* pmt) override {
        *pmt = MakeType(kMajorA, kSubA);
        return S_OK;
    }
    using CSourceStream::GetMediaType;

    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* request) override {
        ALLOCATOR_PROPERTIES want{buffers, 1880, request->cbAlign, request->cbPrefix}, got{};
        return alloc->SetProperties(&want, &got);
    }

    HRESULT FillBuffer(IMediaSample* sample) override {
        ++fillCalls;
        switch (mode.load()) {
            case Mode::Fail:
                return E_FAIL;
            case Mode::WaitForData:
                waiting = true;
                for (;;) {
                    if (dataArrived.Wait(20)) break;
                    Command pending;
                    if (CheckRequest(&pending)) {
                        commandSeenInFill = pending;
                        sample->SetActualDataLength(0);
                        return S_OK;
                    }
                }
                break;
            case Mode::Count:
                break;
        }
        const int n = numbered.load();
        if (limit >= 0 && n >= limit) return S_FALSE;
        if (pace.count() > 0) std::this_thread::sleep_for(pace);
        BYTE* p = nullptr;
        sample->GetPointer(&p);
        std::memcpy(p, &n, sizeof n);
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
    std::chrono::milliseconds pace{1};
    LONG buffers = 4;
    HRESULT createResult = S_OK;
    ::Event dataArrived{false, false};
    std::atomic<bool> waiting{false};
    std::atomic<int> commandSeenInFill{-1};
    std::atomic<int> numbered{0};
    std::atomic<int> fillCalls{0};
    std::atomic<int> creates{0}, destroys{0}, startPlays{0};
    std::string workerName;
};

class CountingSource final : public CSource {
public:
    CountingSource() : CSource("counting source", nullptr, kSourceClsid, nullptr) {
        HRESULT hr = S_OK;
        stream = new CountingStream(&hr, this);
    }
    CountingStream* stream;
};

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

template <class F>
std::chrono::milliseconds Timed(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
}

class SourceStream : public ::testing::Test {
protected:
    void SetUp() override {
        source = new CountingSource;
        sink = new SinkFilter;
        sourceRef = static_cast<IBaseFilter*>(source);
        sinkRef = static_cast<IBaseFilter*>(sink);
        ASSERT_EQ(source->stream->Connect(sink->Pin(), nullptr), S_OK);
    }
    void TearDown() override {
        sinkRef->Stop();
        sourceRef->Stop();
        {
            std::lock_guard lock(sink->Got().m);
            sink->Got().kept.clear();
        }
        source->stream->Disconnect();
        sink->Pin()->Disconnect();
        sourceRef->JoinFilterGraph(nullptr, nullptr);
    }
    CountingStream* Stream() { return source->stream; }
    Received& Got() { return sink->Got(); }

    CountingSource* source;
    SinkFilter* sink;
    ComPtr<IBaseFilter> sourceRef;
    ComPtr<IBaseFilter> sinkRef;
};

TEST_F(SourceStream, SamplesFlowInOrderWhilePausedAndRunning) {
    ASSERT_EQ(sinkRef->Pause(), S_OK);  // downstream first, as a graph does
    ASSERT_EQ(sourceRef->Pause(), S_OK);
    EXPECT_TRUE(Stream()->ThreadExists());
    ASSERT_TRUE(WaitFor([&] { return Got().Count() >= 10; }));

    ASSERT_EQ(sinkRef->Run(0), S_OK);
    ASSERT_EQ(sourceRef->Run(0), S_OK);
    FILTER_STATE state;
    ASSERT_EQ(sourceRef->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    const size_t atRun = Got().Count();
    ASSERT_TRUE(WaitFor([&] { return Got().Count() >= atRun + 10; }));

    ASSERT_EQ(sinkRef->Stop(), S_OK);
    ASSERT_EQ(sourceRef->Stop(), S_OK);
    EXPECT_FALSE(Stream()->ThreadExists());
    ASSERT_EQ(sourceRef->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);

    const std::vector<int> numbers = Numbers(Got());
    ASSERT_GE(numbers.size(), 20u);
    for (size_t i = 0; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], static_cast<int>(i));
    EXPECT_EQ(Got().Eos(), 0);
    EXPECT_EQ(Stream()->creates.load(), 1);
    EXPECT_EQ(Stream()->destroys.load(), 1);
    EXPECT_EQ(Stream()->startPlays.load(), 1);
    EXPECT_EQ(Stream()->workerName, "counting worker");
}

TEST_F(SourceStream, RestartsWithAFreshWorker) {
    for (int round = 1; round <= 3; ++round) {
        const size_t before = Got().Count();
        ASSERT_EQ(sinkRef->Run(0), S_OK);
        ASSERT_EQ(sourceRef->Run(0), S_OK);  // from stopped: pauses first
        ASSERT_TRUE(WaitFor([&] { return Got().Count() >= before + 3; }));
        ASSERT_EQ(sourceRef->Stop(), S_OK);
        ASSERT_EQ(sinkRef->Stop(), S_OK);
        EXPECT_FALSE(Stream()->ThreadExists());
        EXPECT_EQ(Stream()->creates.load(), round);
        EXPECT_EQ(Stream()->destroys.load(), round);
    }
    // The numbering went on across the restarts, and nothing was lost or repeated
    // except the samples filled while the sink was already stopped.
    const std::vector<int> numbers = Numbers(Got());
    for (size_t i = 1; i < numbers.size(); ++i) EXPECT_GT(numbers[i], numbers[i - 1]);
}

TEST_F(SourceStream, FalseFromFillEndsTheStream) {
    Stream()->limit = 5;
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    ASSERT_EQ(sourceRef->Pause(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return Got().Eos() == 1; }));
    EXPECT_EQ(Numbers(Got()), (std::vector<int>{0, 1, 2, 3, 4}));
    // The worker now only waits for commands.
    const int calls = Stream()->fillCalls.load();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(Stream()->fillCalls.load(), calls);
    EXPECT_TRUE(Stream()->ThreadExists());
    // An unknown command while idle is refused; the worker stays usable.
    EXPECT_EQ(static_cast<HRESULT>(Stream()->CallWorker(CountingStream::CMD_INIT)), E_NOTIMPL);
    EXPECT_LT(Timed([&] { ASSERT_EQ(sourceRef->Stop(), S_OK); }), 1000ms);
    EXPECT_EQ(Got().Eos(), 1);
}

TEST_F(SourceStream, PauseAfterEndOfStreamFillsAgain) {
    Stream()->limit = 2;
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    ASSERT_EQ(sourceRef->Pause(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return Got().Eos() == 1; }));
    Stream()->limit = 4;
    // The idle worker takes a pause command as "start filling".
    EXPECT_EQ(Stream()->Pause(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return Got().Eos() == 2; }));
    EXPECT_EQ(Numbers(Got()), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Stream()->startPlays.load(), 2);
}

TEST_F(SourceStream, FillFailureEndsTheStreamAndTellsTheGraph) {
    FakeGraph graph;
    ASSERT_EQ(sourceRef->JoinFilterGraph(&graph, u"source"), S_OK);
    Stream()->mode = CountingStream::Mode::Fail;
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    ASSERT_EQ(sourceRef->Pause(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return Got().Eos() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return !graph.Events().empty(); }));
    const auto events = graph.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, EC_ERRORABORT);
    EXPECT_EQ(events[0].p1, E_FAIL);
    EXPECT_EQ(Got().Count(), 0u);
    EXPECT_EQ(Stream()->fillCalls.load(), 1);
    ASSERT_EQ(sourceRef->Stop(), S_OK);
}

TEST_F(SourceStream, StopWhileFillWaitsForData) {
    Stream()->mode = CountingStream::Mode::WaitForData;
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    ASSERT_EQ(sourceRef->Pause(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return Stream()->waiting.load(); }));
    // The sink still runs, so the sample the worker held goes out, empty.
    EXPECT_LT(Timed([&] { ASSERT_EQ(sourceRef->Stop(), S_OK); }), 1000ms);
    EXPECT_EQ(Stream()->commandSeenInFill.load(), CountingStream::CMD_STOP);
    std::lock_guard lock(Got().m);
    ASSERT_EQ(Got().payloads.size(), 1u);
    EXPECT_TRUE(Got().payloads[0].empty());
}

TEST_F(SourceStream, DataArrivingWhileWaitingIsDelivered) {
    Stream()->mode = CountingStream::Mode::WaitForData;
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    ASSERT_EQ(sourceRef->Pause(), S_OK);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(WaitFor([&] { return Stream()->waiting.exchange(false); }));
        Stream()->dataArrived.Set();
        ASSERT_TRUE(WaitFor([&] { return Got().Count() == static_cast<size_t>(i); }));
    }
    EXPECT_EQ(Numbers(Got()), (std::vector<int>{0, 1, 2}));
}

TEST_F(SourceStream, RunCommandKeepsTheLoopGoing) {
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    ASSERT_EQ(sourceRef->Pause(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return Got().Count() >= 3; }));
    EXPECT_EQ(Stream()->Run(), S_OK);
    // An unknown command inside the loop is refused and the loop carries on.
    EXPECT_EQ(static_cast<HRESULT>(Stream()->CallWorker(42)), E_UNEXPECTED);
    const size_t now = Got().Count();
    ASSERT_TRUE(WaitFor([&] { return Got().Count() >= now + 3; }));
    EXPECT_EQ(Stream()->startPlays.load(), 1);
}

TEST_F(SourceStream, StopsWhileBlockedOnAllBuffers) {
    Stream()->buffers = 2;
    // Reconnect so that the pin sizes its allocator for two buffers.
    ASSERT_EQ(Stream()->Disconnect(), S_OK);
    ASSERT_EQ(sink->Pin()->Disconnect(), S_OK);
    ASSERT_EQ(Stream()->Connect(sink->Pin(), nullptr), S_OK);
    sink->Pin()->keepSamples = true;
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    ASSERT_EQ(sourceRef->Pause(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return Got().Count() == 2; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(Got().Count(), 2u);  // no third buffer to fill
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

TEST_F(SourceStream, DeliveryRefusedLeavesTheWorkerWaiting) {
    sink->Pin()->receiveResult = S_FALSE;
    ASSERT_EQ(sinkRef->Pause(), S_OK);
    ASSERT_EQ(sourceRef->Pause(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return Got().Count() == 1; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(Got().Count(), 1u);
    EXPECT_EQ(Got().Eos(), 0);  // a refused delivery is no end of stream
    EXPECT_LT(Timed([&] { ASSERT_EQ(sourceRef->Stop(), S_OK); }), 1000ms);
}

TEST_F(SourceStream, FailedThreadStartLeavesNoWorker) {
    Stream()->createResult = E_OUTOFMEMORY;
    EXPECT_EQ(sourceRef->Pause(), E_OUTOFMEMORY);
    EXPECT_TRUE(WaitFor([&] { return Stream()->destroys.load() == 1; }));
    ASSERT_EQ(sourceRef->Stop(), S_OK);
    EXPECT_FALSE(Stream()->ThreadExists());
}

TEST(SourceFilter, PinsRegisterThemselves) {
    auto* source = new CountingSource;
    ComPtr<IBaseFilter> ref(static_cast<IBaseFilter*>(source));
    EXPECT_EQ(source->GetPinCount(), 1);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(ref->EnumPins(pins.ReleaseAndGetAddressOf()), S_OK);

    HRESULT hr = S_OK;
    auto* second = new CountingStream(&hr, source, u"Second");
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(source->GetPinCount(), 2);
    EXPECT_EQ(source->GetPin(1), second);
    EXPECT_EQ(source->FindPinNumber(second), 1);
    EXPECT_EQ(source->FindPinNumber(nullptr), -1);
    IPin* got = nullptr;
    EXPECT_EQ(pins->Next(1, &got, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    ComPtr<IPin> found;
    ASSERT_EQ(ref->FindPin(u"Second", found.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(found.Get(), static_cast<IPin*>(second));
    found.Reset();

    delete second;
    EXPECT_EQ(source->GetPinCount(), 1);
    EXPECT_EQ(source->GetPin(1), nullptr);
    EXPECT_EQ(source->GetPin(-1), nullptr);
    EXPECT_EQ(source->RemovePin(nullptr), S_FALSE);
    EXPECT_EQ(source->FindPinNumber(source->stream), 0);
}

TEST(SourceFilter, SingleTypeNegotiation) {
    auto* source = new CountingSource;
    ComPtr<IBaseFilter> ref(static_cast<IBaseFilter*>(source));
    CountingStream* pin = source->stream;
    CMediaType a = MakeType(kMajorA, kSubA), b = MakeType(kMajorA, kSubB), mt;
    EXPECT_EQ(pin->QueryAccept(&a), S_OK);
    EXPECT_EQ(pin->QueryAccept(&b), S_FALSE);
    EXPECT_EQ(pin->GetMediaType(0, &mt), S_OK);
    EXPECT_TRUE(mt == a);
    EXPECT_EQ(pin->GetMediaType(1, &mt), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(pin->GetMediaType(-1, &mt), E_INVALIDARG);

    // Pausing an unconnected source starts no worker.
    ASSERT_EQ(ref->Pause(), S_OK);
    EXPECT_FALSE(pin->ThreadExists());
    ASSERT_EQ(ref->Stop(), S_OK);
}

// A worker that answers requests with twice their value and ends on 0.
class Doubler final : public CAMThread {
public:
    DWORD ThreadProc() override {
        name = Thread::CurrentName();
        for (;;) {
            DWORD peeked = 0;
            // The request is visible to CheckRequest until it is answered.
            const DWORD request = GetRequest();
            if (!CheckRequest(&peeked) || peeked != request) mismatches++;
            if (request == 0) {
                Reply(0);
                return 0;
            }
            if (request == 1000) return 1;  // ends without answering
            Reply(request * 2);
        }
    }
    std::atomic<int> mismatches{0};
    std::string name;
};

TEST(AMThread, RequestsAndReplies) {
    Doubler worker;
    EXPECT_FALSE(worker.ThreadExists());
    EXPECT_EQ(static_cast<HRESULT>(worker.CallWorker(5)), E_FAIL);
    worker.SetThreadName("doubler");
    ASSERT_TRUE(worker.Create());
    EXPECT_FALSE(worker.Create());
    EXPECT_TRUE(worker.ThreadExists());
    EXPECT_EQ(worker.CallWorker(21), 42u);
    EXPECT_EQ(worker.CallWorker(0), 0u);
    worker.Close();
    EXPECT_FALSE(worker.ThreadExists());
    EXPECT_EQ(worker.mismatches.load(), 0);
    EXPECT_EQ(worker.name, "doubler");

    // The same object can run a new worker.
    ASSERT_TRUE(worker.Create());
    EXPECT_EQ(worker.CallWorker(4), 8u);
    EXPECT_EQ(worker.CallWorker(0), 0u);
    worker.Close();
}

TEST(AMThread, ConcurrentCallersGetTheirOwnAnswers) {
    Doubler worker;
    ASSERT_TRUE(worker.Create());
    std::vector<std::future<int>> callers;
    for (DWORD t = 1; t <= 4; ++t) {
        callers.push_back(std::async(std::launch::async, [&worker, t] {
            int wrong = 0;
            for (DWORD i = 1; i <= 100; ++i) {
                const DWORD value = t * 1000000 + i;
                if (worker.CallWorker(value) != value * 2) ++wrong;
            }
            return wrong;
        }));
    }
    for (auto& c : callers) EXPECT_EQ(c.get(), 0);
    EXPECT_EQ(worker.CallWorker(0), 0u);
    worker.Close();
    EXPECT_EQ(worker.mismatches.load(), 0);
}

TEST(AMThread, EndedWorkerDoesNotHangItsCaller) {
    Doubler worker;
    ASSERT_TRUE(worker.Create());
    for (DWORD request : {1000u, 3u}) {
        auto call = std::async(std::launch::async, [&] { return static_cast<HRESULT>(worker.CallWorker(request)); });
        const bool answered = call.wait_for(1s) == std::future_status::ready;
        EXPECT_TRUE(answered) << "request " << request;
        if (!answered) worker.Reply(static_cast<DWORD>(E_ABORT));  // stands in for the dead worker
        EXPECT_EQ(call.get(), E_FAIL);
    }
    worker.Close();
}

}  // namespace
