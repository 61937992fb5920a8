#include "feeds/satip/SATIPFeed.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "feeds/satip/SatIpNoticeDialog.h"
#include "feeds/satip/SsdpServiceConflict.h"
#include "net/HttpStream.h"
#include "net/ReceiveSocket.h"
#include "net/RtpPortPair.h"
#include "net/RtpUnwrap.h"
#include "net/RtspClient.h"
#include "net/SystemUserAgent.h"
#include "platform/system/Tick.h"

namespace {

constexpr const char* kFeedName = "SAT>IP";
constexpr const char* kFeedDetails = "SAT>IP Server";
constexpr const char* kReceiveThreadName = "SATIPReceive";
constexpr const char* kDeliveryThreadName = "DeliveryThread";
constexpr uint32_t kSilenceCheckMs = 100;
constexpr uint32_t kDeliveryCoalesceMs = 2;
constexpr int kLargestDatagram = 65507;
constexpr INT_PTR kNoticeNeverAgain = 1;

bool Success(int status) { return status >= 200 && status <= 299; }

std::string Formatted(const NetAddress& address, bool withPort) {
    std::string text;
    FormatNetAddress(address, text, withPort);
    return text;
}

// "destination=a.b.c.d" and "port=p-q" of a multicast transport, in any order.
bool ParseMulticastTransport(const std::string& transport, uint32_t& group, int& rtpPort, int& rtcpPort) {
    const size_t destination = transport.find("destination=");
    const size_t port = transport.find("port=");
    if (transport.rfind("RTP/AVP;multicast", 0) != 0 || destination == std::string::npos || port == std::string::npos)
        return false;
    unsigned a, b, c, d;
    if (std::sscanf(transport.c_str() + destination, "destination=%u.%u.%u.%u", &a, &b, &c, &d) != 4 || a > 255 ||
        b > 255 || c > 255 || d > 255)
        return false;
    if (std::sscanf(transport.c_str() + port, "port=%d-%d", &rtpPort, &rtcpPort) != 2 || rtpPort <= 0 ||
        rtpPort > 0xFFFF || rtcpPort <= 0 || rtcpPort > 0xFFFF)
        return false;
    group = (a << 24) | (b << 16) | (c << 8) | d;
    return true;
}

}  // namespace

CSATIPFeed::CSATIPFeed(const char* application) : CSATIPFeed(application, SatIpDiscovery::Timing{}) {}

CSATIPFeed::CSATIPFeed(const char* application, SatIpDiscovery::Timing discoveryTiming)
    : discovery_(SystemUserAgent(), discoveryTiming),
      pump_({kAllocatorName, kBufferCount, kSampleSize, kReceiveThreadName, kDeliveryThreadName, kSilenceCheckMs,
             kDeliveryCoalesceMs},
            {[this](IMediaSample* sample) { DeliverSample(sample); }, [this] { handOver_.CheckForSilence(); },
             [this] { handOver_.MarkNoData(); }}) {
    Construct(application);
}

void CSATIPFeed::Construct(const char* application) {
    if (application && *application) {
        application_ = application;
        LoadSettings(application);
    }
    {
        std::lock_guard lock(settingsLock_);
        ResolveSsdpServiceConflict(settings_, application_.empty() ? nullptr : application_.c_str());
    }
    discovery_.Start();
    type_ = kFeedSatIp;
    capabilities_ |= kCapSatellite | kCapCable | kCapTerrestrial | kCapDvbS2 | kCapDvbT2 | kCapDvbC2;
    SetText(name_, kFeedName);
    SetText(description_, kFeedName);
    SetText(details_, kFeedDetails);
    discovery_.StartSsdpAndSearch();
}

CSATIPFeed::~CSATIPFeed() {
    std::lock_guard control(controlLock_);
    StopSession();
    discovery_.Stop();
}

SatIpSettings CSATIPFeed::Settings() const {
    std::lock_guard lock(settingsLock_);
    return settings_;
}

SatIpTarget CSATIPFeed::Target() const {
    std::lock_guard lock(settingsLock_);
    return target_;
}

void CSATIPFeed::SetSettings(const SatIpSettings& settings) {
    std::lock_guard lock(settingsLock_);
    settings_ = settings;
    RebuildSatIpTarget(settings_, target_);
}

bool CSATIPFeed::LoadSettings(const char* application) {
    std::lock_guard lock(settingsLock_);
    const bool loaded = LoadSatIpSettings(application, settings_);
    if (loaded) RebuildSatIpTarget(settings_, target_);
    return loaded;
}

bool CSATIPFeed::SaveSettings(const char* application) {
    std::lock_guard lock(settingsLock_);
    return SaveSatIpSettings(application, settings_);
}

bool CSATIPFeed::SetPids(const std::string& pids) {
    if (!PidListValid(pids)) return false;
    std::lock_guard lock(settingsLock_);
    pids_ = pids;
    return true;
}

bool CSATIPFeed::PidListValid(const std::string& pids) {
    static constexpr size_t kMostPids = 64;
    static constexpr unsigned kPidLimit = 8192;
    if (pids != "all" && pids != "none") {
        size_t count = 0;
        for (size_t at = 0; at <= pids.size();) {
            const size_t comma = std::min(pids.find(',', at), pids.size());
            const std::string pid = pids.substr(at, comma - at);
            if (pid.empty() || pid.size() > 4 || pid.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(pid) >= kPidLimit || ++count > kMostPids)
                return false;
            at = comma + 1;
        }
    }
    return true;
}

bool CSATIPFeed::KeepAliveDue(uint32_t now, uint32_t last, int timeoutSeconds) {
    // Unsigned difference: right across the wrap of the tick count.
    return now - last > static_cast<uint32_t>(std::max(timeoutSeconds, 0)) * 1000u / 2;
}

int CSATIPFeed::SessionTimeout() {
    std::lock_guard lock(sessionLock_);
    return rtsp_ ? rtsp_->Timeout() : 0;
}

uint8_t CSATIPFeed::GetStatus() {
    const uint32_t mode = activeMode_.load();
    if (running_.load() && (mode == kSatIpDeliveryRtspUnicast || mode == kSatIpDeliveryRtspMulticast)) {
        std::shared_ptr<RtspClient> rtsp;
        std::string url;
        {
            std::lock_guard lock(sessionLock_);
            rtsp = rtsp_;
            url = rtspUrl_;
        }
        const uint32_t now = GetTickCount();
        if (rtsp && KeepAliveDue(now, lastKeepAlive_.load(), rtsp->Timeout())) {
            lastKeepAlive_.store(now);
            rtsp->Options(url.c_str());
            keepAlives_.fetch_add(1);
        }
    }
    if (handOver_.NoData()) return 0;
    return handOver_.InSync() ? kStatusInSync : 0;
}

void CSATIPFeed::Fail(SatIpFailure failure, const char* text) {
    failure_ = failure;
    SetErrorText(text);
}

bool CSATIPFeed::Refused(const char* request, int status) {
    rtspRequest_ = request;
    rtspStatus_ = status;
    failure_ = status == 0 ? SatIpFailure::RtspNoResponse : SatIpFailure::RtspRefused;
    return false;
}

void CSATIPFeed::ShowPidAllNotice() {
    bool suppressed;
    {
        std::lock_guard lock(settingsLock_);
        suppressed = settings_.NoPIDAllWarning != 0;
    }
    if (suppressed) return;
    CSatIpNoticeDialog dialog = CSatIpNoticeDialog::PidAll();
    if (dialog.DoModal(GetActiveWindow()) != kNoticeNeverAgain || application_.empty()) return;
    std::lock_guard lock(settingsLock_);
    settings_.NoPIDAllWarning = 1;
    SaveSatIpSettings(application_.c_str(), settings_);
}

bool CSATIPFeed::CheckServer(const SatIpSettings& settings) {
    if (settings.manualSelect) {
        if (settings.manualAddress.family != 0) return true;
        Fail(SatIpFailure::ManualAddress, "SAT>IP 0.0.0.0\n");
        return false;
    }
    if (settings.serverHash != 0 && settings.serverAddress.family != 0 &&
        discovery_.Servers().Contains(settings.serverHash))
        return true;
    Fail(SatIpFailure::NoServer, "No SAT>IP server selected\n");
    return false;
}

bool CSATIPFeed::Start(int32_t /*unused*/) {
    std::lock_guard control(controlLock_);
    ShowPidAllNotice();
    StopSession();

    failure_ = SatIpFailure::None;
    rtspStatus_ = 0;
    rtspRequest_.clear();
    httpStatus_.store(0);
    SetErrorText(nullptr);
    handOver_.ResetSync();
    dropped_.store(0);
    samples_.store(0);
    rtpLost_.store(0);
    status_.Reset();

    SatIpSettings settings;
    SatIpTarget target;
    {
        std::lock_guard lock(settingsLock_);
        settings = settings_;
        target = target_;
        static constexpr std::string_view kAllPids = "pids=all";
        if (!pids_.empty() && target.query.ends_with(kAllPids))
            target.query.replace(target.query.size() - kAllPids.size() + 5, std::string::npos, pids_);
    }
    if (!CheckServer(settings)) return false;

    sourceEnded_.Reset();
    running_.store(true);
    activeMode_.store(settings.deliveryMode);
    handOver_.MarkNoData();

    bool started = false;
    switch (settings.deliveryMode) {
        case kSatIpDeliveryHttp:
            started = StartHttp(settings, target);
            break;
        case kSatIpDeliveryRtspUnicast:
            started = StartRtsp(settings, target, false);
            if (!started) SetErrorText("RTP unicast connection to SAT>IP server failed !\n");
            break;
        case kSatIpDeliveryRtspMulticast:
            started = StartRtsp(settings, target, true);
            break;
        default:
            Fail(SatIpFailure::InvalidMode, "SAT>IP delivery mode invalid!\n");
            break;
    }
    // Nothing of a half-built session stays behind, on the server neither.
    if (!started) StopSession();
    return started;
}

bool CSATIPFeed::StartHttp(const SatIpSettings&, const SatIpTarget& target) {
    static constexpr const char* kHttpFailed = "HTTP connection to SAT>IP server failed !\n";
    httpConnected_.Reset();
    const std::string url = target.httpBaseUrl + "/" + target.query;
    const std::string agent = discovery_.UserAgent();
    const auto result = pump_.Start([this, url, agent] { ReceiveHttp(url, agent); });
    if (result != CFeedPump::StartResult::Started) {
        Fail(result == CFeedPump::StartResult::NoBuffers ? SatIpFailure::NoBuffers : SatIpFailure::NoThread,
             result == CFeedPump::StartResult::NoBuffers ? "Failed to allocate buffers to receive the SAT>IP feed\n"
                                                         : kHttpFailed);
        return false;
    }
    const long status = httpConnected_.Wait(kHttpConnectWaitMs) ? httpStatus_.load() : 0;
    if (status >= 200 && status <= 299) return true;
    Fail(status == 0 ? SatIpFailure::HttpConnect : SatIpFailure::HttpRefused, kHttpFailed);
    return false;
}

bool CSATIPFeed::OpenMulticast(const std::string& transport) {
    uint32_t group = 0;
    int rtpPort = 0, rtcpPort = 0;
    if (!ParseMulticastTransport(transport, group, rtpPort, rtcpPort)) {
        failure_ = SatIpFailure::MulticastTransport;
        return false;
    }
    ReceiveSocketRequest request;
    request.address = MakeIPv4Address(group, static_cast<uint16_t>(rtpPort));
    ReceiveSocketError error;
    const SocketHandle s = OpenReceiveSocket(request, error);
    if (s == kInvalidSocket) {
        failure_ = SatIpFailure::MulticastJoin;
        return false;
    }
    {
        std::lock_guard lock(sessionLock_);
        rtpSocket_ = s;
    }
    // The reports follow the stream on the next port.
    status_.OpenAndStart(MakeIPv4Address(group, static_cast<uint16_t>(rtpPort + 1)));
    return true;
}

bool CSATIPFeed::StartRtsp(const SatIpSettings&, const SatIpTarget& target, bool multicast) {
    std::string transport;
    if (multicast) {
        transport = "RTP/AVP;multicast";
    } else {
        RtpPortPair pair;
        ReceiveSocketError error;
        if (!OpenRtpPortPair(pair, error)) {
            failure_ = SatIpFailure::PortPair;
            return false;
        }
        {
            std::lock_guard lock(sessionLock_);
            rtpSocket_ = pair.rtp;
        }
        status_.Adopt(pair.rtcp);
        status_.Start(nullptr, nullptr);
        char text[64];
        std::snprintf(text, sizeof text, "RTP/AVP;unicast;client_port=%d-%d", pair.port, pair.port + 1);
        transport = text;
    }

    auto rtsp = std::make_shared<RtspClient>(target.rtspServer);
    if (!rtsp->Connect()) {
        failure_ = SatIpFailure::RtspConnect;
        return false;
    }
    const std::string url = "rtsp://" + Formatted(target.rtspServer, false) + "/" + target.query;
    {
        std::lock_guard lock(sessionLock_);
        rtsp_ = rtsp;
        rtspUrl_ = url;
    }
    if (const int status = rtsp->Setup(url.c_str(), transport.c_str(), nullptr); !Success(status))
        return Refused("SETUP", status);
    if (multicast && !OpenMulticast(rtsp->Transport())) return false;

    SocketHandle s;
    {
        std::lock_guard lock(sessionLock_);
        s = rtpSocket_;
    }
    const auto result = pump_.Start([this, s] { ReceiveRtp(s); });
    if (result != CFeedPump::StartResult::Started) {
        Fail(result == CFeedPump::StartResult::NoBuffers ? SatIpFailure::NoBuffers : SatIpFailure::NoThread,
             "Failed to allocate buffers to receive the SAT>IP feed\n");
        return false;
    }
    char streamUrl[128];
    std::snprintf(streamUrl, sizeof streamUrl, "rtsp://%s/stream=%d", Formatted(target.rtspServer, true).c_str(),
                  rtsp->StreamId());
    lastKeepAlive_.store(GetTickCount());
    if (const int status = rtsp->Play(streamUrl, 1.0, nullptr); !Success(status)) return Refused("PLAY", status);
    return true;
}

void CSATIPFeed::StopSession() {
    std::shared_ptr<RtspClient> rtsp;
    std::string url;
    {
        std::lock_guard lock(sessionLock_);
        rtsp = std::move(rtsp_);
        url = rtspUrl_;
        rtsp_.reset();
    }
    running_.store(false);
    if (rtsp && !rtsp->Session().empty()) rtsp->Teardown(url.c_str(), nullptr);
    rtsp.reset();
    {
        std::lock_guard lock(sessionLock_);
        pump_.RequestStop();
        // Shutting down wakes the blocked receive; the receive thread closes the socket.
        if (rtpSocket_ != kInvalidSocket) ::shutdown(rtpSocket_, SHUT_RDWR);
        if (http_) http_->Abort();
    }
    pump_.Join(kStopWaitMs);
    status_.Stop();
    {
        // A socket that no receive thread took over is closed here.
        std::lock_guard lock(sessionLock_);
        if (rtpSocket_ != kInvalidSocket) ::close(rtpSocket_);
        rtpSocket_ = kInvalidSocket;
    }
    sourceEnded_.Set();
}

void CSATIPFeed::Stop() {
    std::lock_guard control(controlLock_);
    StopSession();
}

void CSATIPFeed::ReceiveRtp(SocketHandle s) {
    RtpUnwrapper unwrapper(RtpMode::Auto);
    std::unique_ptr<uint8_t[]> datagram(new uint8_t[kLargestDatagram]);
    while (!pump_.StopRequested()) {
        NetAddress sender;
        const int length = SocketRecvFrom(s, datagram.get(), kLargestDatagram, sender);
        // A shut-down socket reads 0 bytes and names no sender.
        if (length < 0 || (length == 0 && sender.family == 0)) break;
        const RtpUnwrapResult result = unwrapper.Unwrap({datagram.get(), static_cast<size_t>(length)});
        if (result.expectedSequence >= 0) rtpLost_.store(unwrapper.Lost(), std::memory_order_relaxed);
        if (result.verdict == RtpVerdict::Drop) continue;
        if (result.data.size() > kSampleSize) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        IMediaSample* sample = pump_.GetBuffer();
        if (!sample) break;
        if (!callback_.load(std::memory_order_acquire)) {
            sample->Release();
            continue;
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, result.data.data(), result.data.size());
        sample->SetActualDataLength(static_cast<LONG>(result.data.size()));
        lastDeliveryTime_.store(FeedTickCount(), std::memory_order_relaxed);
        samples_.fetch_add(1, std::memory_order_relaxed);
        pump_.Push(sample);
    }
    std::lock_guard lock(sessionLock_);
    if (rtpSocket_ == s) rtpSocket_ = kInvalidSocket;
    ::close(s);
    sourceEnded_.Set();
}

void CSATIPFeed::ReceiveHttp(const std::string& url, const std::string& userAgent) {
    HttpStream stream;
    {
        std::lock_guard lock(sessionLock_);
        http_ = &stream;
        if (pump_.StopRequested()) stream.Abort();
    }
    HttpStream::Handlers handlers;
    handlers.connected = [this](long status) {
        httpStatus_.store(status);
        httpConnected_.Set();
    };
    // Samples go out full, or at the end of what arrived with whole packets only; the
    // rest of a packet waits in the next sample, so samples stay packet-aligned.
    IMediaSample* pending = nullptr;
    BYTE* pendingData = nullptr;
    size_t pendingLength = 0;
    const auto handOn = [&](size_t length) {
        IMediaSample* next = nullptr;
        const size_t rest = pendingLength - length;
        if (rest) {
            next = pump_.GetBuffer();
            if (!next) return false;
        }
        BYTE* nextData = nullptr;
        if (next) {
            next->GetPointer(&nextData);
            std::memcpy(nextData, pendingData + length, rest);
        }
        if (callback_.load(std::memory_order_acquire)) {
            pending->SetActualDataLength(static_cast<LONG>(length));
            lastDeliveryTime_.store(FeedTickCount(), std::memory_order_relaxed);
            samples_.fetch_add(1, std::memory_order_relaxed);
            pump_.Push(pending);
        } else {
            pending->Release();
        }
        pending = next;
        pendingData = nextData;
        pendingLength = rest;
        return true;
    };
    handlers.data = [&](const uint8_t* data, size_t length) {
        while (length > 0) {
            if (!pending) {
                pending = pump_.GetBuffer();
                if (!pending) return false;
                pending->GetPointer(&pendingData);
                pendingLength = 0;
            }
            const size_t piece = std::min<size_t>(length, kSampleSize - pendingLength);
            std::memcpy(pendingData + pendingLength, data, piece);
            pendingLength += piece;
            data += piece;
            length -= piece;
            if (pendingLength == kSampleSize && !handOn(pendingLength)) return false;
        }
        const size_t whole = pendingLength - pendingLength % packetSize_;
        if (whole > 0 && !handOn(whole)) return false;
        return !pump_.StopRequested();
    };
    stream.Run(url, userAgent, handlers, kHttpConnectWaitMs);
    // What is left at the end goes out as it is.
    if (pending && pendingLength > 0 && !pump_.StopRequested()) handOn(pendingLength);
    if (pending) pending->Release();
    {
        std::lock_guard lock(sessionLock_);
        http_ = nullptr;
    }
    sourceEnded_.Set();
}

void CSATIPFeed::DeliverSample(IMediaSample* sample) {
    handOver_.Deliver(sample, packetSize_, callback_.load(std::memory_order_acquire),
                      callbackContext_.load(std::memory_order_relaxed));
}

