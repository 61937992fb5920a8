#include "gst/KestrelSource.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "feeds/file/StreamAnalysis.h"
#include "feeds/iptv/IPTVFeed.h"
#include "feeds/satip/SATIPFeed.h"
#include "feeds/satip/SatIpFeedKind.h"
#include "host/FeedTypes.h"
#include "host/SatIpStreamCheck.h"
#include "host/IptvTarget.h"
#include "host/StreamAddress.h"
#include "host/TuneOptions.h"
#include "net/NetTrace.h"

namespace {

// Live feeds and network streams come as 188-byte packets.
constexpr uint32_t kLivePacketSize = 188;
// A stored SAT>IP server is chosen by its key: discovery must have seen it first.
constexpr auto kServerWait = std::chrono::seconds(5);
// No byte within this long after the start, or for this long later, ends the stream.
// A switch needs this long after the committed-switch message before the tune.

// The network feeds' protocol trace would go to standard error by default.
void DiscardTrace(void*, std::string_view) {}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

bool IsStreamAddress(const std::string& text) {
    return text.rfind("udp://", 0) == 0 || text.rfind("rtp://", 0) == 0;
}

}  // namespace

bool KestrelSource::Fail(Failure failure, std::string text) {
    failure_ = failure;
    error_ = std::move(text);
    Stop();
    return false;
}

bool KestrelSource::Start(const SourceSettings& settings) {
    Stop();
    failure_ = Failure::None;
    error_.clear();
    queue_.Reset();
    partial_.clear();
    taken_.store(0);
    end_.store(UINT64_MAX);
    stopping_.store(false);
    packetSize_ = 0;
    window_ = std::make_unique<InFlightWindow>();

    if (settings.source.empty()) return Fail(Failure::Settings, "no source is set");
    if (settings.source.size() >= kSourceTextSize)
        return Fail(Failure::Settings, "the source is longer than the filter takes (259 bytes)");
    if (!settings.tune.empty() && settings.mode != SourceMode::Live)
        return Fail(Failure::Settings, "tune applies to live feeds only");
    std::string error;
    graph_ = std::make_unique<FilterGraph>();
    if (!graph_->Create(settings.module, [this](const uint8_t* data, size_t length) { Take(data, length); }, &error))
        return Fail(Failure::Module, error);

    bool started = false;
    switch (settings.mode) {
        case SourceMode::File: {
            std::string path = settings.source;
            const size_t marker = path.find(kFileLoopMarker);
            if (marker != std::string::npos) path.resize(marker);
            if (!OpenFile(path, marker != std::string::npos)) return false;
            // Started before the graph runs, as the filter intends.
            graph_->Control()->SetMode(kModeFile, settings.source.c_str());
            started = graph_->Run(&error);
            break;
        }
        case SourceMode::Host:
            if (!OpenFile(settings.source, false)) return false;
            graph_->Control()->SetMode(kModeHostSupplied, nullptr);
            graph_->Control()->SetDataCallback(window_.get(), &InFlightWindow::OnSampleOut);
            started = graph_->Run(&error);
            if (started) pusher_ = std::thread([this] { PushFile(); });
            break;
        case SourceMode::Live:
            return StartLive(settings);
    }
    return started || Fail(Failure::Feed, error);
}

// Only the start and the size are read: a whole walk through a large file would hold up
// the state change.
bool KestrelSource::OpenFile(const std::string& path, bool looping) {
    path_ = path;
    struct stat info{};
    int error = ::stat(path_.c_str(), &info) != 0 ? errno
                : S_ISDIR(info.st_mode)              ? EISDIR
                : S_ISREG(info.st_mode)              ? 0
                                                     : ENODEV;  // a FIFO would wait for a writer
    uint8_t start[kPacketSizeSniffBytes];
    size_t got = 0;
    if (!error) {
        std::unique_ptr<FILE, FileCloser> file(std::fopen(path_.c_str(), "rb"));
        if (!file) error = errno;
        else got = std::fread(start, 1, sizeof start, file.get());
        if (file && std::ferror(file.get())) error = errno;
    }
    if (error) return Fail(Failure::Read, "cannot read " + path_ + ": " + std::strerror(error));
    packetSize_ = FindPacketSize(start, static_cast<uint32_t>(got));
    if (packetSize_ == 0) return Fail(Failure::Read, path_ + " is no transport stream (no packet size can be found)");
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    // The filter plays every file in a loop: without the marker one pass is the stream.
    if (!looping) end_.store(size - size % packetSize_);
    if (end_.load() == 0) queue_.Finish();
    return true;
}

bool KestrelSource::StartLive(const SourceSettings& settings) {
    const std::string& name = settings.source;
    tuner_ = std::make_unique<BdaLiveFeed>();
    if (tuner_->Find(name, settings.application)) return StartTuner(settings);
    tuner_.reset();
    int32_t type = 0;
    for (uint32_t index = 0; index < 256; ++index) {
        const char *feedName, *details;
        if (!graph_->Control()->GetFeedInfo(index, &type, &feedName, &details)) break;
        if (std::strcmp(feedName, name.c_str()) == 0) return StartListed(settings, type);
    }
    // The filter never lists the network feeds: the enumerator makes them on request.
    SetNetTraceSink(&DiscardTrace, nullptr);
    uint32_t count = CFeedEnumerator::kMaxFeeds;
    enumerator_.Enumerate(feeds_, &count,
                          FeedRequest::For({kFeedIptv, kFeedSatIp}, SatIpApplicationToken(settings.application.c_str())));
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t kind = feeds_[i]->GetType();
        const char* feedName = feeds_[i]->GetName();
        if ((kind == kFeedIptv && IsStreamAddress(name)) || (feedName && name == feedName))
            return StartNetwork(settings, feeds_[i]);
    }
    return Fail(Failure::NotFound, "no feed is named \"" + name + "\"");
}

bool KestrelSource::StartListed(const SourceSettings& settings, int32_t type) {
    const std::string& name = settings.source;
    // Live mode gives a feed no file or address: it would run and deliver nothing.
    if (CommandForFeedType(type))
        return Fail(Failure::Settings, "\"" + name + "\" is a " + FeedTypeName(type) + " feed, which live mode cannot run");
    std::string error;
    std::optional<TuneOptions> tuning;
    if (!settings.tune.empty() && !(tuning = ParseTuneOptions(settings.tune, type, &error)))
        return Fail(Failure::Settings, "tune: " + error);
    packetSize_ = kLivePacketSize;
    graph_->Control()->SetMode(kModeLiveFeed, name.c_str());
    if (tuning && !TuneThroughFilter(graph_->Control(), *tuning, name, settings.tune, &error))
        return Fail(Failure::Feed, error);
    return graph_->Run(&error) || Fail(Failure::Feed, error);
}

// A tuner runs here rather than in the filter, as 'kestrel live' runs it, so that it is
// tuned before it starts and its own error text can be told.
bool KestrelSource::StartTuner(const SourceSettings& settings) {
    std::string error, note;
    if (!settings.tune.empty() && !tuner_->ApplyTuning(settings.tune, &error))
        return Fail(Failure::Settings, "tune: " + error);
    packetSize_ = kLivePacketSize;
    graph_->Control()->SetMode(kModeHostSupplied, nullptr);
    if (!graph_->Run(&error)) return Fail(Failure::Feed, error);
    if (tuner_->Start(graph_->Input(), &error, &note)) return true;
    if (!note.empty()) error += " (" + note + ")";
    return Fail(Failure::Feed, error);
}

bool KestrelSource::StartNetwork(const SourceSettings& settings, CFeed* feed) {
    if (!settings.tune.empty()) return Fail(Failure::Settings, "tune applies to the feeds the filter lists and to tuners, not to network feeds");
    if (auto* iptv = dynamic_cast<CIPTVFeed*>(feed)) {
        iptv->LoadSettings(settings.application.c_str());
        if (IsStreamAddress(settings.source)) {
            std::string error;
            const auto target = ResolveReceiveTarget(settings.source, "", "", &error);
            if (!target) return Fail(Failure::Settings, error);
            AimIptvFeed(*iptv, *target);
        }
    } else if (auto* satip = dynamic_cast<CSATIPFeed*>(feed); satip && !satip->Settings().manualSelect) {
        const auto until = std::chrono::steady_clock::now() + kServerWait;
        std::vector<SatIpServer> servers;
        while (!satip->Discovery().Servers().Snapshot(servers) || servers.empty()) {
            if (std::chrono::steady_clock::now() >= until) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    packetSize_ = kLivePacketSize;
    ITSFeedControl* control = graph_->Control();
    control->SetMode(kModeHostSupplied, nullptr);
    control->SetDataCallback(window_.get(), &InFlightWindow::OnSampleOut);
    std::string error;
    if (!graph_->Run(&error)) return Fail(Failure::Feed, error);
    feed->SetCallback(this, &DeliverFromFeed);
    hostFeed_ = feed;
    if (feed->Start(0)) {
        if (auto* satip = dynamic_cast<CSATIPFeed*>(feed)) {
            const SatIpSettings chosen = satip->Settings();
            std::string server;
            FormatNetAddress(chosen.manualSelect ? chosen.manualAddress : chosen.serverAddress, server, false);
            watchEnd_ = false;
            watch_ = std::thread([this, satip, server] { WatchServer(satip, server); });
        }
        return true;
    }
    const char* text = feed->GetErrorText();
    std::string reason = text && *text ? text : "the feed did not start";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    return Fail(Failure::Feed, "cannot receive " + settings.source + ": " + reason);
}

// The feed's delivery thread. The filter's queue drops what does not fit, so samples
// wait here for room instead.
void KestrelSource::DeliverFromFeed(void* context, IMediaSample* sample) {
    auto* self = static_cast<KestrelSource*>(context);
    if (self->window_->Acquire([self] { return self->stopping_.load(); })) self->graph_->Input()->DeliverSample(sample);
    sample->Release();
}

// Polls the status, which keeps the server's session alive, and tells a stream that
// never came or stopped coming; the pipeline then ends with that error.
void KestrelSource::WatchServer(CSATIPFeed* feed, const std::string& server) {
    const auto started = std::chrono::steady_clock::now();
    std::unique_lock lock(watchLock_);
    while (!watchWake_.wait_for(lock, kSatIpCheckPeriod, [this] { return watchEnd_; })) {
        if (std::string trouble = CheckSatIpStream(*feed, std::chrono::steady_clock::now() - started, server);
            !trouble.empty()) {
            queue_.Fail(trouble);
            return;
        }
    }
}

void KestrelSource::EndWatch() {
    {
        std::lock_guard lock(watchLock_);
        watchEnd_ = true;
    }
    watchWake_.notify_all();
    if (watch_.joinable()) watch_.join();
}

void KestrelSource::PushFile() {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path_.c_str(), "rb"));
    uint64_t pushed = 0;
    if (!file) {
        queue_.Fail("cannot open " + path_ + ": " + std::strerror(errno));
        return;
    }
    // One queue entry per buffer, so that each one comes back through the callback once.
    std::vector<uint8_t> buffer(kSampleEntryBytes);
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (got > 0) {
            if (!window_->Acquire([this] { return stopping_.load(); })) return;
            graph_->Input()->DeliverBuffer(buffer.data(), static_cast<uint32_t>(got));
            pushed += got;
        }
        if (got < buffer.size()) break;
    }
    if (std::ferror(file.get())) {
        queue_.Fail("cannot read " + path_ + ": " + std::strerror(errno));
        return;
    }
    end_.store(pushed - pushed % packetSize_);
    CheckEnd();
}

void KestrelSource::Take(const uint8_t* data, size_t length) {
    const uint64_t taken = taken_.load();
    length = static_cast<size_t>(std::min<uint64_t>(length, end_.load() - std::min(end_.load(), taken)));
    if (length == 0) return;
    std::vector<uint8_t> chunk = std::move(partial_);
    partial_ = {};
    chunk.insert(chunk.end(), data, data + length);
    const size_t whole = chunk.size() - chunk.size() % packetSize_.load();
    partial_.assign(chunk.begin() + static_cast<std::ptrdiff_t>(whole), chunk.end());
    chunk.resize(whole);
    if (!chunk.empty()) queue_.Push(std::move(chunk));
    // Counted only once queued: the end, seen on another thread, must not overtake the bytes.
    taken_.store(taken + length);
    CheckEnd();
}

void KestrelSource::CheckEnd() {
    if (taken_.load() >= end_.load()) queue_.Finish();
}

void KestrelSource::Stop() {
    stopping_.store(true);
    queue_.SetFlushing(true);
    if (pusher_.joinable()) pusher_.join();
    EndWatch();
    if (tuner_) {
        tuner_->Stop();
        tuner_.reset();
    }
    if (hostFeed_) {
        hostFeed_->Stop();
        hostFeed_->SetCallback(nullptr, nullptr);
        hostFeed_ = nullptr;
    }
    // The feeds go before the graph: the module that runs their threads may unload with it.
    enumerator_.DestroyAllFeeds();
    graph_.reset();
    queue_.SetFlushing(false);
}
