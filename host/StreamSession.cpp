#include "host/StreamSession.h"

#include <algorithm>
#include <chrono>
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

StreamSession::~StreamSession() { Stop(); }

bool StreamSession::Create(const StreamOptions& options, std::string* error) {
    if (!module_.Load(options.modulePath.empty() ? KestrelModule::DefaultPath() : options.modulePath)) {
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
    if (!output_.Open(options.out)) {
        *error = output_.Error();
        return false;
    }
    if (options.udp) {
        if (!udp_.Open(options.udpOptions, error)) return false;
        udpOpen_ = true;
    }
    sink_ = new CSampleSinkFilter([this](IMediaSample* sample) {
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data))) return;
        long length = sample->GetActualDataLength();
        uint64_t room = limit_.load() - std::min(limit_.load(), output_.BytesWritten());
        if (length <= 0 || room == 0) return;
        if (static_cast<uint64_t>(length) > room) length = static_cast<long>(room);
        output_.Write(data, static_cast<size_t>(length));
        if (udpOpen_ && !udpFailed_.load() && !udp_.Send(data, static_cast<size_t>(length))) udpFailed_.store(true);
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

bool StreamSession::ConnectUpstream(IBaseFilter* source, std::string* error) {
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

bool StreamSession::Run(std::string* error) {
    HRESULT hr = mediaControl_->Run();
    if (FAILED(hr)) {
        *error = "cannot start the graph: " + HResultText(hr);
        mediaControl_->Stop();
        return false;
    }
    running_ = true;
    return true;
}

void StreamSession::Stop() {
    if (running_) {
        running_ = false;
        mediaControl_->Stop();
    }
    if (udpOpen_ && !udpFailed_.load() && !udp_.Flush()) udpFailed_.store(true);
    output_.Close();
}

void WaitWhile(const StreamSession& session, double seconds, const std::function<bool()>& done) {
    const auto start = std::chrono::steady_clock::now();
    while (!done() && !Interrupted() && !session.OutputFailed()) {
        if (seconds > 0 && std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= seconds)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
