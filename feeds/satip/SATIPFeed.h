#pragma once
// Receives a transport stream from a SAT>IP server: tunes it with the query string of
// the settings and takes the stream over RTP (unicast to an even port pair of this
// computer, or from a multicast group the server names) or over HTTP. Servers are
// discovered from construction on.
//
// Threading contract
// - Caller threads: Start, Stop, the settings and dialogs, serialised by the control
//   mutex. GetStatus may come from any thread; it sends the session's keep-alive and
//   takes only the session mutex briefly.
// - The receive thread (the pump's fill thread) owns the RTP socket or the HTTP
//   stream of its run; Stop shuts them down under the session mutex to wake it.
// - The status thread (the RTCP receiver) only stores the tuner's latest report.
// - The delivery thread: the sync tracker's only writer, the no-data rule and the
//   data callback.
// Lock order: control mutex -> session mutex -> the pump's locks; settings mutex alone.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "feeds/FeedPump.h"
#include "feeds/NetworkHandOver.h"
#include "feeds/satip/SatIpDiscovery.h"
#include "feeds/satip/SatIpSettings.h"
#include "feeds/sdk/Feed.h"
#include "net/RtcpStatusReceiver.h"
#include "net/Sockets.h"
#include "platform/system/Event.h"

class RtspClient;
class HttpStream;

// Why the last Start failed, for hosts that explain it in their own words.
enum class SatIpFailure {
    None,
    NoBuffers,
    NoServer,         // none chosen, or the chosen one is not (or no longer) listed
    ManualAddress,    // manual selection without an address
    InvalidMode,
    PortPair,         // no local port pair for RTP
    RtspConnect,      // no RTSP connection
    RtspNoResponse,   // a request got no (valid) response
    RtspRefused,      // a request got a status outside 2xx
    MulticastTransport,  // the SETUP answer names no usable group
    MulticastJoin,
    HttpConnect,
    HttpRefused,
    NoThread,
};

class CSATIPFeed : public CFeed {
public:
    static constexpr uint32_t kBufferCount = 127;
    static constexpr uint32_t kSampleSize = 1692;  // 9 packets of 188
    static constexpr uint32_t kHttpConnectWaitMs = 15000;
    static constexpr uint32_t kStopWaitMs = 15000;
    static constexpr uint8_t kStatusInSync = 0x10;
    static constexpr const char* kAllocatorName = "CSATIPFeed::StartFeed";

    // Loads the settings of `application` when one is given, settles the conflict with
    // the system's SSDP services, and starts discovery (the SSDP client searches at
    // once).
    explicit CSATIPFeed(const char* application);
    CSATIPFeed(const char* application, SatIpDiscovery::Timing discoveryTiming);
    ~CSATIPFeed() override;

    int32_t GetType() override { return discovery_.TypeCode(); }
    bool Start(int32_t unused) override;
    void Stop() override;
    bool LoadSettings(const char* application) override;
    bool SaveSettings(const char* application) override;
    bool SupportsDeliveryDescriptor(const uint8_t*) override { return false; }
    bool Tune(const TuningParameters*) override { return false; }
    // Sends the RTSP keep-alive when half the session time-out has passed. 0x10 while
    // whole packets arrive; 0 before, after 5 seconds without data, or out of sync.
    uint8_t GetStatus() override;
    uint16_t GetSignalLevel() override { return 0; }
    uint32_t GetReceptionValue() override { return 0; }
    bool SendDiseqcMessage(const uint8_t*, uint32_t) override { return false; }
    bool HasConfigDialog() override { return true; }
    bool ShowConfigDialog(HWND parent, const char* option, const uint8_t* descriptor) override;

    // For hosts that drive the feed without dialogs; applies at the next Start.
    SatIpSettings Settings() const;
    void SetSettings(const SatIpSettings& settings);
    SatIpTarget Target() const;

    // The PIDs asked for instead of all of them, from the next Start: "all", "none", or
    // up to 64 comma-separated PIDs below 8192. False, and nothing changed, otherwise.
    bool SetPids(const std::string& pids);
    static bool PidListValid(const std::string& pids);

    SatIpDiscovery& Discovery() { return discovery_; }
    SatIpFailure LastFailure() const { return failure_; }
    // The RTSP status of the refused request and the request's name, when refused.
    int LastRtspStatus() const { return rtspStatus_; }
    const std::string& LastRtspRequest() const { return rtspRequest_; }
    // The HTTP status or the library's text of the failed HTTP connection.
    long LastHttpStatus() const { return httpStatus_.load(); }
    // The tuner's latest status report of the running RTSP session.
    bool TunerReport(SatIpTunerReport& report) const { return status_.Latest(report); }
    // The RTSP session's time-out in seconds (0 without a session).
    int SessionTimeout();
    uint64_t KeepAlivesSent() const { return keepAlives_.load(); }
    uint32_t ActiveMode() const { return activeMode_.load(); }
    bool Running() const { return running_.load(); }
    // From the end of reception until the next Start: the receive side has ended.
    bool SourceEnded() const { return sourceEnded_.IsSet(); }
    // Samples the receive side filled since the last Start.
    uint64_t SamplesReceived() const { return samples_.load(); }
    // No data has been handed on for 5 seconds, or none yet.
    bool NoData() const { return handOver_.NoData(); }
    uint64_t PayloadsDropped() const { return dropped_.load(); }
    uint64_t RtpLost() const { return rtpLost_.load(); }

    // True when a keep-alive is due: more than half the time-out since the last one.
    static bool KeepAliveDue(uint32_t now, uint32_t last, int timeoutSeconds);

private:
    void Construct(const char* application);
    bool CheckServer(const SatIpSettings& settings);
    bool StartHttp(const SatIpSettings& settings, const SatIpTarget& target);
    bool StartRtsp(const SatIpSettings& settings, const SatIpTarget& target, bool multicast);
    bool OpenMulticast(const std::string& transport);
    bool Refused(const char* request, int status);
    void Fail(SatIpFailure failure, const char* text);
    void StopSession();
    void ShowPidAllNotice();

    void ReceiveRtp(SocketHandle s);
    void ReceiveHttp(const std::string& url, const std::string& userAgent);
    void DeliverSample(IMediaSample* sample);

    std::mutex controlLock_;
    mutable std::mutex settingsLock_;
    std::string application_;
    SatIpSettings settings_;
    SatIpTarget target_;
    std::string pids_;  // empty: as the query says

    SatIpDiscovery discovery_;

    // The session: the RTSP client, the RTP socket and the HTTP stream of the run.
    std::mutex sessionLock_;
    std::shared_ptr<RtspClient> rtsp_;
    std::string rtspUrl_;
    SocketHandle rtpSocket_ = kInvalidSocket;
    HttpStream* http_ = nullptr;
    std::atomic<uint32_t> lastKeepAlive_{0};
    std::atomic<uint64_t> keepAlives_{0};

    std::atomic<bool> running_{false};
    std::atomic<uint32_t> activeMode_{0};
    Event sourceEnded_{true, true};
    Event httpConnected_{true, false};
    std::atomic<long> httpStatus_{0};

    RtcpStatusReceiver status_;

    NetworkHandOver handOver_;
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint64_t> samples_{0};
    std::atomic<uint64_t> rtpLost_{0};

    SatIpFailure failure_ = SatIpFailure::None;
    int rtspStatus_ = 0;
    std::string rtspRequest_;

    CFeedPump pump_;
};
