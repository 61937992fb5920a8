#include "host/FilterGraph.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/com/ComRuntime.h"
#include "platform/graph/PlatformClasses.h"

namespace {

// Pins are found by name, as a person would connect them.
ComPtr<IPin> FindPin(IBaseFilter* filter, const char16_t* name) {
    ComPtr<IPin> pin;
    filter->FindPin(name, pin.ReleaseAndGetAddressOf());
    return pin;
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.ReleaseAndGetAddressOf()))) return {};
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (pins->Next(1, &pin, &fetched) == S_OK) {
        ComPtr<IPin> held;
        held.Attach(pin);
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) return held;
    }
    return {};
}

}  // namespace

bool FilterGraph::Create(const std::string& modulePath, Receiver receiver, std::string* error) {
    if (!module_.Load(modulePath)) {
        *error = module_.Error();
        return false;
    }
    HRESULT hr = module_.CreateFilter(&filter_);
    if (FAILED(hr)) {
        *error = "cannot create the filter: " + HResultText(hr);
        return false;
    }
    if (FAILED(filter_.As(IID_ITSFeedControl, &control_)) || FAILED(filter_.As(IID_ITSFeedSampleInput, &input_))) {
        *error = "the filter does not offer its host interfaces";
        return false;
    }
    hr = RegisterPlatformClasses();
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf()));
    if (SUCCEEDED(hr)) hr = graph_.As(IID_IMediaControl, &mediaControl_);
    if (FAILED(hr)) {
        *error = "cannot create the filter graph: " + HResultText(hr);
        return false;
    }
    sink_ = new CSampleSinkFilter([receiver = std::move(receiver)](IMediaSample* sample) {
        BYTE* data = nullptr;
        long length = sample->GetActualDataLength();
        if (SUCCEEDED(sample->GetPointer(&data)) && length > 0) receiver(data, static_cast<size_t>(length));
    });
    hr = graph_->AddFilter(filter_.Get(), kFeedFilterName);
    if (SUCCEEDED(hr)) hr = graph_->AddFilter(sink_.Get(), u"Output");
    if (FAILED(hr)) {
        *error = "cannot add the filters to the graph: " + HResultText(hr);
        return false;
    }
    ComPtr<IPin> out = FindPin(filter_.Get(), u"TS Out");
    ComPtr<IPin> in = FirstPin(sink_.Get(), PINDIR_INPUT);
    hr = out && in ? graph_->ConnectDirect(out.Get(), in.Get(), nullptr) : E_UNEXPECTED;
    if (FAILED(hr)) {
        *error = "cannot connect \"TS Out\" to the output: " + HResultText(hr);
        return false;
    }
    return true;
}

bool FilterGraph::ConnectUpstream(IBaseFilter* source, std::string* error) {
    HRESULT hr = graph_->AddFilter(source, u"Source");
    ComPtr<IPin> out = FirstPin(source, PINDIR_OUTPUT);
    ComPtr<IPin> in = FindPin(filter_.Get(), u"Antenna");
    if (SUCCEEDED(hr)) hr = out && in ? graph_->ConnectDirect(out.Get(), in.Get(), nullptr) : E_UNEXPECTED;
    if (FAILED(hr)) {
        *error = "cannot connect the source to \"Antenna\": " + HResultText(hr);
        return false;
    }
    return true;
}

bool FilterGraph::Run(std::string* error) {
    HRESULT hr = mediaControl_->Run();
    if (FAILED(hr)) {
        *error = "cannot start the graph: " + HResultText(hr);
        mediaControl_->Stop();
        return false;
    }
    running_ = true;
    return true;
}

void FilterGraph::Stop() {
    if (!running_) return;
    running_ = false;
    control_->SetDataCallback(nullptr, nullptr);
    // The output worker sees a stop request only after an empty wait of up to 500 ms;
    // empty entries end such waits at once and carry no data.
    std::mutex mutex;
    std::condition_variable changed;
    bool stopped = false;
    std::thread nudger([&] {
        std::unique_lock<std::mutex> lock(mutex);
        while (!changed.wait_for(lock, std::chrono::milliseconds(5), [&] { return stopped; }))
            input_->DeliverBuffer(nullptr, 0);
    });
    mediaControl_->Stop();
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
    }
    changed.notify_one();
    nudger.join();
    // Host-supplied mode runs no feed: leaving any other mode stops the feed.
    uint32_t mode = kModeHostSupplied;
    char text[kSourceTextSize] = {};
    if (SUCCEEDED(control_->GetMode(&mode, text)) && mode != kModeHostSupplied)
        control_->SetMode(kModeHostSupplied, nullptr);
}
