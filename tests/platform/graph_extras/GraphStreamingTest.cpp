#include "GraphTestFilters.h"
#include "platform/system/Event.h"
#include <algorithm>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// A source whose callback waits until the filter is asked to stop.
struct WaitingSource : Owned<CPushSourceFilter> {
    WaitingSource()
        : Owned(new CPushSourceFilter({TsType()}, 188, 2, [this](IMediaSample*) {
              ++calls;
              entered.Set();
              (*this)->WaitForStop(INFINITE);
              return S_FALSE;
          })) {}
    Event entered{false, false};
    std::atomic<int> calls{0};
};

// A graph with one source and one sink connected, ready to run.
template <class Source>
void Chain(CFilterGraph* g, const Source& src, const Owned<CSampleSinkFilter>& sink) {
    ASSERT_TRUE(SUCCEEDED(g->AddFilter(src.filter(), nullptr)));
    ASSERT_TRUE(SUCCEEDED(g->AddFilter(sink.filter(), nullptr)));
    ASSERT_EQ(g->ConnectDirect(src.pin(), sink.pin(), nullptr), S_OK);
}

TEST(GraphStreaming, PushSourceToSinkMovesEverySampleInOrder) {
    constexpr uint32_t kSamples = 300;
    uint32_t next = 0;
    // Each sample carries its sequence number as data and as time.
    auto fill = [&next](IMediaSample* s) -> HRESULT {
        if (next == kSamples) return S_FALSE;
        BYTE* p = nullptr;
        if (FAILED(s->GetPointer(&p)) || s->GetSize() < 4) return E_UNEXPECTED;
        std::memcpy(p, &next, 4);
        REFERENCE_TIME start = next, stop = next + 1;
        s->SetTime(&start, &stop);
        ++next;
        return s->SetActualDataLength(4);
    };
    std::mutex m;
    std::vector<std::pair<uint32_t, REFERENCE_TIME>> got;
    auto receive = [&](IMediaSample* s) {
        BYTE* p = nullptr;
        s->GetPointer(&p);
        uint32_t v = 0;
        std::memcpy(&v, p, 4);
        REFERENCE_TIME start = -1, stop = -1;
        s->GetTime(&start, &stop);
        std::lock_guard lock(m);
        got.emplace_back(v, start);
    };
    auto g = NewGraph();
    Owned<CPushSourceFilter> src(new CPushSourceFilter({TsType()}, 188, 3, fill));
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter(receive));
    Chain(g.Get(), src, sink);

    ASSERT_EQ(g->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(g->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_TRUE(sink->EndOfStreamReceived());
    ASSERT_EQ(g->Stop(), S_OK);

    std::lock_guard lock(m);
    ASSERT_EQ(got.size(), kSamples);
    for (uint32_t i = 0; i < kSamples; ++i) ASSERT_EQ(got[i], std::make_pair(i, REFERENCE_TIME{i})) << i;
    EXPECT_EQ(sink->ByteCount(), 4u * kSamples);
    EXPECT_EQ(src->Stream()->SamplesFilled(), kSamples);
}

TEST(GraphStreaming, StopReleasesASourceThatWaitsForDataAndTheGraphRunsAgain) {
    auto g = NewGraph();
    WaitingSource src;
    Owned<CSampleSinkFilter> sink(new CSampleSinkFilter);
    Chain(g.Get(), src, sink);
    long code = -1;
    EXPECT_EQ(g->WaitForCompletion(0, &code), VFW_E_WRONG_STATE) << "nothing streams yet";

    for (int round = 1; round <= 2; ++round) {
        ASSERT_EQ(g->Run(), S_OK);
        ASSERT_TRUE(src.entered.Wait(5000)) << "round " << round;
        EXPECT_FALSE(src->StopRequested());
        auto t0 = Clock::now();
        EXPECT_EQ(g->WaitForCompletion(60, &code), E_ABORT) << "data is still pending";
        EXPECT_GE(MsSince(t0), 50);
        EXPECT_EQ(code, 0);

        HRESULT waited = S_OK;
        std::thread waiter([&] { waited = g->WaitForCompletion(INFINITE, &code); });
        t0 = Clock::now();
        ASSERT_EQ(g->Stop(), S_OK);
        EXPECT_LT(MsSince(t0), 3000);
        waiter.join();
        EXPECT_EQ(waited, VFW_E_WRONG_STATE) << "stopping ends the wait";
        EXPECT_EQ(code, 0);
        EXPECT_EQ(src.calls.load(), round);
        EXPECT_EQ(sink->SampleCount(), 0u);
    }
    EXPECT_EQ(g->WaitForCompletion(0, &code), VFW_E_WRONG_STATE);
}

TEST(GraphStreaming, StateChangesReachDownstreamFiltersFirst) {
    std::vector<std::string> log;
    using Source = Logged<CPushSourceFilter>;
    using Sink = Logged<CSampleSinkFilter>;
    auto g = NewGraph();
    Owned<Source> src1(new Source(log, "src1", std::vector<CMediaType>{TsType()}, 188, 4, &NoData));
    Owned<Sink> sink1(new Sink(log, "sink1")), sink2(new Sink(log, "sink2"));
    Owned<Source> src2(new Source(log, "src2", std::vector<CMediaType>{TsType()}, 188, 4, &NoData));
    // Source first for one chain and sink first for the other: the order of adding cannot decide.
    for (IBaseFilter* f : {src1.filter(), sink1.filter(), sink2.filter(), src2.filter()})
        ASSERT_TRUE(SUCCEEDED(g->AddFilter(f, nullptr)));
    ASSERT_EQ(g->ConnectDirect(src1.pin(), sink1.pin(), nullptr), S_OK);
    ASSERT_EQ(g->ConnectDirect(src2.pin(), sink2.pin(), nullptr), S_OK);

    ASSERT_EQ(g->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(g->WaitForCompletion(5000, &code), S_OK) << "both sinks report the end of their stream";
    EXPECT_EQ(code, EC_COMPLETE);
    ASSERT_EQ(g->Stop(), S_OK);

    ASSERT_EQ(log.size(), 12u);
    auto at = [&](const std::string& e) {
        auto it = std::find(log.begin(), log.end(), e);
        EXPECT_NE(it, log.end()) << e;
        return it - log.begin();
    };
    for (std::string step : {".Pause", ".Run", ".Stop"}) {
        EXPECT_LT(at("sink1" + step), at("src1" + step)) << step;
        EXPECT_LT(at("sink2" + step), at("src2" + step)) << step;
    }
    EXPECT_LT(std::max({at("sink1.Pause"), at("sink2.Pause"), at("src1.Pause"), at("src2.Pause")}),
              std::min({at("sink1.Run"), at("sink2.Run"), at("src1.Run"), at("src2.Run")}))
        << "run from stopped pauses the whole graph first";
}

TEST(GraphStreaming, CompletionNeedsEveryRendererUnlessTheStreamIsAborted) {
    auto g = NewGraph();
    WaitingSource src1, src2;
    Owned<CSampleSinkFilter> sink1(new CSampleSinkFilter), sink2(new CSampleSinkFilter);
    long code = 0;
    ASSERT_EQ(g->AddFilter(sink1.filter(), nullptr), S_OK);
    ASSERT_EQ(g->Run(), S_OK);
    EXPECT_EQ(g->WaitForCompletion(0, &code), S_OK) << "nothing connected, no renderer to wait for";
    EXPECT_EQ(code, EC_COMPLETE);
    ASSERT_EQ(g->Stop(), S_OK);
    ASSERT_EQ(g->RemoveFilter(sink1.filter()), S_OK);

    Chain(g.Get(), src1, sink1);
    Chain(g.Get(), src2, sink2);
    ASSERT_EQ(g->Run(), S_OK);
    sink1.pin()->EndOfStream();
    sink1.pin()->EndOfStream();  // twice from the same renderer is still one
    EXPECT_EQ(g->Notify(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(src2.filter())), S_OK) << "not a renderer";
    EXPECT_EQ(g->WaitForCompletion(20, &code), E_ABORT);
    sink2.pin()->EndOfStream();
    EXPECT_EQ(g->WaitForCompletion(1000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(g->Stop(), S_OK);
    EXPECT_TRUE(sink1->EndOfStreamReceived()) << "kept for the host to look at after the stop";

    ASSERT_EQ(g->Run(), S_OK);
    EXPECT_FALSE(sink1->EndOfStreamReceived()) << "a new run starts a new stream";
    HRESULT waited = E_FAIL;
    std::thread waiter([&] { waited = g->WaitForCompletion(5000, &code); });
    ASSERT_TRUE(src1.entered.Wait(5000));
    EXPECT_EQ(g->Notify(EC_ERRORABORT, E_FAIL, 0), S_OK);
    waiter.join();
    EXPECT_EQ(waited, S_OK);
    EXPECT_EQ(code, EC_ERRORABORT) << "an abort ends the wait before any renderer completes";
    sink1.pin()->EndOfStream();
    sink2.pin()->EndOfStream();
    EXPECT_EQ(g->WaitForCompletion(0, &code), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT) << "a later completion does not change how the stream ended";
    EXPECT_EQ(g->Stop(), S_OK);
}

}  // namespace
