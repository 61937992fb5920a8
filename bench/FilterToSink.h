#pragma once
// The filter in a graph with a sink on "TS Out" that counts what arrives.
#include <atomic>
#include <cstdint>

#include "filter/FeedFilter.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/CBasePin.h"
#include "platform/graph/CSampleSinkFilter.h"
#include "platform/graph/PlatformClasses.h"

struct FilterToSink {
    ComPtr<IBaseFilter> filter;
    ComPtr<ITSFeedControl> control;
    ComPtr<ITSFeedSampleInput> input;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> media;
    ComPtr<CSampleSinkFilter> sink;
    std::atomic<uint64_t> bytes{0};

    FilterToSink() {
        HRESULT hr = S_OK;
        CFeedFilter::CreateInstance(nullptr, &hr)->NonDelegatingQueryInterface(
            IID_IBaseFilter, reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()));
        filter.As(IID_ITSFeedControl, &control);
        filter.As(IID_ITSFeedSampleInput, &input);
        RegisterPlatformClasses();
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf()));
        graph.As(IID_IMediaControl, &media);
        sink = new CSampleSinkFilter([this](IMediaSample* s) { bytes += uint64_t(s->GetActualDataLength()); });
        graph->AddFilter(filter.Get(), u"filter");
        graph->AddFilter(sink.Get(), u"sink");
        ComPtr<IPin> out;
        filter->FindPin(u"TS Out", out.ReleaseAndGetAddressOf());
        graph->ConnectDirect(out.Get(), static_cast<IPin*>(sink->GetPin(0)), nullptr);
    }
    ~FilterToSink() {
        media->Stop();
        control->SetMode(kModeHostSupplied, nullptr);
    }
};
