#include "host/StreamSession.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

#include "platform/com/ComRuntime.h"
#include "platform/graph/PlatformClasses.h"

namespace {
constexpr int64_t kBurstNs = 5'000'000;

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

StreamSession::~StreamSession() {
    Stop();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool StreamSession::Create(const StreamOptions& options, std::string* error) {
    if (!module_.Load(options.modulePath)) {
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
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        *error = std::string("cannot create an event: ") + std::strerror(errno);
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
        long length = sample->GetActualDataLength();
        if (SUCCEEDED(sample->GetPointer(&data)) && length > 0) Take(data, static_cast<size_t>(length));
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

void StreamSession::Take(const uint8_t* data, size_t length) {
    const uint64_t room = limit_.load() - std::min(limit_.load(), taken_.load());
    if (room == 0) return;
    length = static_cast<size_t>(std::min<uint64_t>(length, room));
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    // The first burst (a block the filter split into entries, datagrams that waited)
    // starts the clock: its bytes are not counted against the time after it.
    if (burstStart_ == 0) burstStart_ = now;
    if (now - burstStart_ <= kBurstNs && taken_.load() == firstBytes_.load()) {
        firstBytes_.fetch_add(length);
        firstAt_.store(now);
    }
    lastAt_.store(now);
    taken_.fetch_add(length);
    if (packetSize_ == 0) {
        Emit(data, length);
    } else {
        if (!partial_.empty()) {
            size_t take = std::min(length, packetSize_ - partial_.size());
            partial_.insert(partial_.end(), data, data + take);
            data += take;
            length -= take;
            if (partial_.size() == packetSize_) {
                Emit(partial_.data(), partial_.size());
                partial_.clear();
            }
        }
        size_t whole = length - length % packetSize_;
        Emit(data, whole);
        partial_.assign(data + whole, data + length);
    }
    Wake();
}

void StreamSession::Emit(const uint8_t* data, size_t length) {
    if (length == 0) return;
    output_.Write(data, length);
    if (udpOpen_ && !udpFailed_.load() && !udp_.Send(data, length)) udpFailed_.store(true);
}

double StreamSession::StreamBitrate() const {
    const int64_t span = lastAt_.load() - firstAt_.load();
    if (span <= 0) return 0;
    return static_cast<double>(taken_.load() - firstBytes_.load()) * 8e9 / static_cast<double>(span);
}

void StreamSession::Stop(bool complete) {
    if (running_) {
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
    if (complete) Emit(partial_.data(), partial_.size());
    partial_.clear();
    if (udpOpen_ && !udpFailed_.load() && !udp_.Flush()) udpFailed_.store(true);
    output_.Close();
}

void StreamSession::Wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void StreamSession::WaitUntil(double seconds, const std::function<bool()>& done, bool stopOnInterrupt) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (!done() && !OutputFailed() && !(stopOnInterrupt && Interrupted())) {
        int timeout = -1;
        if (seconds > 0) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return;
            timeout = static_cast<int>(std::min<long long>(left, 1'000'000));
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {stopOnInterrupt ? InterruptFd() : -1, POLLIN, 0}};
        if (::poll(fds, 2, timeout) > 0 && (fds[0].revents & POLLIN)) {
            uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
    }
}
