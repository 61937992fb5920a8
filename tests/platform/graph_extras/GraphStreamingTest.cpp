#include "GraphTestFilters.h"
#include "platform/system/Event.h"
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

HRESULT NoData(IMediaSample*) { return S_FALSE; }

// Fills each sample with its sequence number, then ends the stream.
class Counter {
public:
    explicit Counter(uint32_t total) : total_(total) {}
    HRESULT operator()(IMediaSample* s) {
        if (next_ == total_) return S_FALSE;
        BYTE* p = nullptr;
        if (FAILED(s->GetPointer(&p)) || s->GetSize() < 4) return E_UNEXPECTED;
        std::memcpy(p, &next_, 4);
        REFERENCE_TIME start = next_, stop = next_ + 1;
        s->SetTime(&start, &stop);
        ++next_;
        return s->SetActualDataLength(4);
    }

private:
    uint32_t total_;
    uint32_t next_ = 0;
};

struct Received {
    std::mutex m;
    std::vector<uint32_t> values;
    std::vector<REFERENCE_TIME> starts;
    void Add(IMediaSample* s) {
        BYTE* p = nullptr;
        s->GetPointer(&p);
        uint32_t v = 0;
        std::memcpy(&v, p, 4);
        REFERENCE_TIME start = -1, stop = -1;
        s->GetTime(&start, &stop);
        std::lock_guard lock(m);
        values.push_back(v);
        starts.push_back(start);
    }
};

// A source whose callback waits until the filter is asked to stop.
class WaitingSource {
public:
    WaitingSource()
        : filter_(new CPushSourceFilter({TsType()}, 188, 2, [this](IMediaSample*) {
              ++calls;
              entered.Set();
              filter_->WaitForStop(INFINITE);
              return S_FALSE;
          })) {
        filter_->NonDelegatingAddRef();
    }
    ~WaitingSource() { filter_->NonDelegatingRelease(); }
    CPushSourceFilter* get() const { return filter_; }
    IBaseFilter* filter() const { return filter_; }

    Event entered{false, false};
    std::atomic<int> calls{0};

private:
    CPushSourceFilter* filter_;
};

TEST(GraphStreaming, PushSourceToSinkMovesEverySampleInOrder) {
    constexpr uint32_t kSamples = 300;
    Received got;
    auto g = NewGraph();
    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 3, Counter(kSamples)));
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter([&got](IMediaSample* s) { got.Add(s); }));
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.filter(), u"Sink"), S_OK);
    ASSERT_EQ(g->ConnectDirect(PinOf(src.get()), PinOf(sink.get()), nullptr), S_OK);

    ASSERT_EQ(g->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(g->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_TRUE(sink->EndOfStreamReceived());
    ASSERT_EQ(g->Stop(), S_OK);

    std::lock_guard lock(got.m);
    ASSERT_EQ(got.values.size(), kSamples);
    for (uint32_t i = 0; i < kSamples; ++i) {
        ASSERT_EQ(got.values[i], i);
        ASSERT_EQ(got.starts[i], static_cast<REFERENCE_TIME>(i));
    }
    EXPECT_EQ(sink->SampleCount(), kSamples);
    EXPECT_EQ(sink->ByteCount(), 4u * kSamples);
    EXPECT_EQ(src->Stream()->SamplesFilled(), kSamples);
}

TEST(GraphStreaming, StopReleasesASourceThatWaitsForDataAndTheGraphRunsAgain) {
    auto g = NewGraph();
    WaitingSource src;
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.filter(), u"Sink"), S_OK);
    ASSERT_EQ(g->ConnectDirect(PinOf(src.get()), PinOf(sink.get()), nullptr), S_OK);

    for (int round = 1; round <= 2; ++round) {
        ASSERT_EQ(g->Run(), S_OK);
        ASSERT_TRUE(src.entered.Wait(5000)) << "round " << round;
        EXPECT_FALSE(src.get()->StopRequested());

        HRESULT waited = S_OK;
        long code = -1;
        std::thread waiter([&] { waited = g->WaitForCompletion(INFINITE, &code); });
        auto t0 = Clock::now();
        ASSERT_EQ(g->Stop(), S_OK);
        EXPECT_LT(MsSince(t0), 3000);
        waiter.join();
        EXPECT_EQ(waited, VFW_E_WRONG_STATE) << "stopping ends the wait";
        EXPECT_EQ(code, 0);
        EXPECT_EQ(src.calls.load(), round);
        EXPECT_EQ(sink->SampleCount(), 0u);
    }
    long code = 0;
    EXPECT_EQ(g->WaitForCompletion(0, &code), VFW_E_WRONG_STATE);
}

TEST(GraphStreaming, WaitForCompletionTimesOutWhileDataIsPending) {
    auto g = NewGraph();
    WaitingSource src;
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.filter(), u"Sink"), S_OK);
    ASSERT_EQ(g->ConnectDirect(PinOf(src.get()), PinOf(sink.get()), nullptr), S_OK);
    long code = -1;
    EXPECT_EQ(g->WaitForCompletion(0, &code), VFW_E_WRONG_STATE) << "nothing streams yet";

    ASSERT_EQ(g->Run(), S_OK);
    auto t0 = Clock::now();
    EXPECT_EQ(g->WaitForCompletion(60, &code), E_ABORT);
    long elapsed = MsSince(t0);
    EXPECT_GE(elapsed, 50);
    EXPECT_LT(elapsed, 2000);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(g->Stop(), S_OK);
}

TEST(GraphStreaming, StateChangesReachDownstreamFiltersFirst) {
    StateLog log;
    auto g = NewGraph();
    Owned<LoggingSource> src1(new LoggingSource(log, "src1", &NoData));
    Owned<LoggingSink> sink1(new LoggingSink(log, "sink1"));
    Owned<LoggingSink> sink2(new LoggingSink(log, "sink2"));
    Owned<LoggingSource> src2(new LoggingSource(log, "src2", &NoData));
    // Added sources first for one chain and sink first for the other, so that the
    // order of adding cannot be what decides.
    for (IBaseFilter* f : {src1.filter(), sink1.filter(), sink2.filter(), src2.filter()})
        ASSERT_TRUE(SUCCEEDED(g->AddFilter(f, nullptr)));
    ASSERT_EQ(g->ConnectDirect(PinOf(src1.get()), PinOf(sink1.get()), nullptr), S_OK);
    ASSERT_EQ(g->ConnectDirect(PinOf(src2.get()), PinOf(sink2.get()), nullptr), S_OK);

    ASSERT_EQ(g->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(g->WaitForCompletion(5000, &code), S_OK) << "both sinks report the end of their stream";
    EXPECT_EQ(code, EC_COMPLETE);
    ASSERT_EQ(g->Stop(), S_OK);

    std::vector<std::string> entries = log.Take();
    ASSERT_EQ(entries.size(), 12u);
    auto at = [&](const std::string& e) {
        auto it = std::find(entries.begin(), entries.end(), e);
        EXPECT_NE(it, entries.end()) << e;
        return it - entries.begin();
    };
    for (const char* step : {".Pause", ".Run", ".Stop"}) {
        EXPECT_LT(at(std::string("sink1") + step), at(std::string("src1") + step)) << step;
        EXPECT_LT(at(std::string("sink2") + step), at(std::string("src2") + step)) << step;
    }
    // Run from stopped pauses the whole graph before anything runs.
    EXPECT_LT(std::max({at("sink1.Pause"), at("sink2.Pause"), at("src1.Pause"), at("src2.Pause")}),
              std::min({at("sink1.Run"), at("sink2.Run"), at("src1.Run"), at("src2.Run")}));
}

TEST(GraphStreaming, FillFailureAbortsTheStream) {
    auto g = NewGraph();
    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 2, [](IMediaSample*) { return E_FAIL; }));
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.filter(), u"Sink"), S_OK);
    ASSERT_EQ(g->ConnectDirect(PinOf(src.get()), PinOf(sink.get()), nullptr), S_OK);
    ASSERT_EQ(g->Run(), S_OK);
    long code = 0;
    // The source ends the stream and reports the abort; whichever reaches the graph
    // first ends the wait.
    ASSERT_EQ(g->WaitForCompletion(5000, &code), S_OK);
    EXPECT_TRUE(code == EC_ERRORABORT || code == EC_COMPLETE) << code;
    EXPECT_EQ(sink->SampleCount(), 0u);
    EXPECT_EQ(g->Stop(), S_OK);
}

TEST(GraphStreaming, AnAbortEndsTheWaitBeforeAnyRendererCompletes) {
    auto g = NewGraph();
    WaitingSource src;
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.filter(), u"Sink"), S_OK);
    ASSERT_EQ(g->ConnectDirect(PinOf(src.get()), PinOf(sink.get()), nullptr), S_OK);
    ASSERT_EQ(g->Run(), S_OK);

    HRESULT waited = E_FAIL;
    long code = 0;
    std::thread waiter([&] { waited = g->WaitForCompletion(5000, &code); });
    ASSERT_TRUE(src.entered.Wait(5000));
    // Completion from a filter that is not a renderer of this graph counts for nothing.
    EXPECT_EQ(g->Notify(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(src.filter())), S_OK);
    EXPECT_EQ(g->Notify(EC_ERRORABORT, E_FAIL, 0), S_OK);
    waiter.join();
    EXPECT_EQ(waited, S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    // A later completion does not change how the stream ended.
    sink->GetPin(0)->EndOfStream();
    EXPECT_EQ(g->WaitForCompletion(0, &code), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    EXPECT_EQ(g->Stop(), S_OK);
}

TEST(GraphStreaming, EveryRendererMustComplete) {
    auto g = NewGraph();
    WaitingSource src1, src2;
    Owned<CSampleSinkFilter> sink1(new CSampleSinkFilter), sink2(new CSampleSinkFilter);
    for (IBaseFilter* f : {src1.filter(), src2.filter(), sink1.filter(), sink2.filter()})
        ASSERT_TRUE(SUCCEEDED(g->AddFilter(f, nullptr)));
    ASSERT_EQ(g->ConnectDirect(PinOf(src1.get()), PinOf(sink1.get()), nullptr), S_OK);
    ASSERT_EQ(g->ConnectDirect(PinOf(src2.get()), PinOf(sink2.get()), nullptr), S_OK);
    ASSERT_EQ(g->Run(), S_OK);
    long code = 0;
    sink1->GetPin(0)->EndOfStream();
    sink1->GetPin(0)->EndOfStream();  // twice from the same renderer is still one
    EXPECT_EQ(g->WaitForCompletion(20, &code), E_ABORT);
    sink2->GetPin(0)->EndOfStream();
    EXPECT_EQ(g->WaitForCompletion(1000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_TRUE(sink1->EndOfStreamReceived());
    EXPECT_EQ(g->Stop(), S_OK);

    // A new run starts a new stream: the old completion is forgotten.
    EXPECT_TRUE(sink1->EndOfStreamReceived()) << "kept for the host to look at after the stop";
    ASSERT_EQ(g->Run(), S_OK);
    EXPECT_FALSE(sink1->EndOfStreamReceived());
    EXPECT_EQ(g->WaitForCompletion(20, &code), E_ABORT);
    EXPECT_EQ(g->Stop(), S_OK);
}

TEST(GraphStreaming, AGraphWithoutRenderersCompletesAtOnce) {
    auto g = NewGraph();
    Owned<CSampleSinkFilter> lonely(new CSampleSinkFilter);
    ASSERT_EQ(g->AddFilter(lonely.filter(), u"Lonely"), S_OK);
    ASSERT_EQ(g->Run(), S_OK);
    long code = 0;
    EXPECT_EQ(g->WaitForCompletion(0, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(g->Stop(), S_OK);
}

TEST(GraphStreaming, SinkRefusesTypesOutsideItsList) {
    auto g = NewGraph();
    Owned<CPushSourceFilter> src(new CPushSourceFilter(
        {TsType(), TsType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT)}, 188, 2, &NoData));
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter({}, {TsType(KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT)}));
    ASSERT_EQ(g->AddFilter(src.filter(), u"Source"), S_OK);
    ASSERT_EQ(g->AddFilter(sink.filter(), u"Sink"), S_OK);
    CMediaType plain = TsType();
    EXPECT_FALSE(SUCCEEDED(g->ConnectDirect(PinOf(src.get()), PinOf(sink.get()), &plain)));
    ASSERT_EQ(g->ConnectDirect(PinOf(src.get()), PinOf(sink.get()), nullptr), S_OK);
    AM_MEDIA_TYPE agreed{};
    ASSERT_EQ(PinOf(sink.get())->ConnectionMediaType(&agreed), S_OK);
    EXPECT_EQ(agreed.subtype, KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
    FreeMediaType(agreed);
}

}  // namespace
