#pragma once
// Receives a transport stream from UDP: a multicast group (any-source or
// source-specific) or a unicast address of this computer, IPv4 or IPv6, plain or RTP.
// The feed pump's fill thread receives datagrams into media samples; its delivery
// thread hands them to the data callback in order.
//
// Threading contract
// - Caller threads: Start, Stop, the settings, history and dialogs. Start and
//   destruction are serialised by the control mutex and wait there for the threads of
//   an earlier start. Stop takes only the socket mutex (and the pump's state lock
//   inside it) and never waits for a thread, so it may be called from any thread, the
//   data callback included.
// - The receive thread (the pump's fill thread): owns the socket it was started with,
//   the RTP unwrapper and the sample being filled; it closes the socket as it ends.
//   Stop shuts the socket down under the socket mutex to wake its blocked receive.
// - The delivery thread: the sync tracker's only writer, the no-data rule (a timed
//   wake-up while no data comes) and the data callback.
// - Settings mutex: the settings, history, RTP mode and sample size; taken briefly by
//   any thread, never while another of these mutexes is waited for.
// Lock order, outermost first: control mutex -> settings mutex; control mutex ->
// socket mutex -> the pump's locks (Start launches the pump's threads under the
// socket mutex). The settings and socket mutexes never nest.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "feeds/FeedPump.h"
#include "feeds/iptv/IptvSettings.h"
#include "feeds/NetworkHandOver.h"
#include "feeds/sdk/Feed.h"
#include "net/RtpUnwrap.h"
#include "net/Sockets.h"

class CIPTVFeed : public CFeed {
public:
    static constexpr uint32_t kBufferCount = 15;
    static constexpr uint32_t kDefaultSampleSize = 0x234000;  // 12,288 packets of 188 bytes
    static constexpr uint32_t kMinimumSampleSize = 188;
    static constexpr size_t kHistorySize = kIptvHistorySize;
    static constexpr size_t kTextBufferSize = 260;
    static constexpr uint8_t kStatusReceiving = 0xFF;
    static constexpr uint8_t kStatusNoSignal = 0x0F;
    static constexpr const char* kAllocatorName = "CIPTVFeed::Thread";
    static constexpr const char* kHistoryOption = "**MAGIC**IPHISTORY";
    static constexpr const char* kDefaultApplication = "Brix";

    using History = IptvHistory;

    explicit CIPTVFeed(uint32_t unused = 0);
    ~CIPTVFeed() override;

    // Opens the socket for the current settings and starts reception; a feed that
    // was receiving is stopped first. False with GetErrorText() telling why.
    bool Start(int32_t unused) override;
    // Ends reception; may be called from any thread, the data callback included.
    void Stop() override;
    // Current settings and history from "Software\Velmar\<application>\IPTVFeed" and
    // its "History0" to "History9" subkeys; nothing stored gives 127.0.0.1 port 1234.
    bool LoadSettings(const char* application) override;
    // The history entries that hold an address and a port, then the current settings.
    bool SaveSettings(const char* application) override;
    bool SupportsDeliveryDescriptor(const uint8_t*) override { return false; }
    bool Tune(const TuningParameters*) override { return true; }
    // 0xFF while data arrives in whole packets; 0x0F before that, after 5 seconds
    // without data, or when the bytes stop forming packets.
    uint8_t GetStatus() override;
    uint16_t GetSignalLevel() override { return 0xFFFF; }
    uint32_t GetReceptionValue() override { return 0; }
    bool HasConfigDialog() override { return true; }
    // The history dialog for the option "**MAGIC**IPHISTORY", the settings dialog
    // otherwise; true when the user confirmed. A history entry taken over is also
    // stored, under the application name "Brix" whatever name the feed loads and
    // saves under.
    bool ShowConfigDialog(HWND parent, const char* option, const uint8_t* descriptor) override;

    // Configuration for hosts that drive the feed without dialogs or the registry;
    // it applies at the next Start.
    IptvSettings Settings() const;
    void SetSettings(const IptvSettings& settings);
    // A multicast group, or a unicast address of this computer, with the UDP port.
    void SetGroup(const NetAddress& groupWithPort);
    // The local interface that joins a multicast group; an address of no family, or
    // the zero address, lets the system choose.
    void SetInterface(const NetAddress& interfaceAddress);
    // Receives the group from this sender only (source-specific multicast).
    void SetSource(const NetAddress& source);
    // Back to any-source reception.
    void ClearSource();
    // How datagrams are read: Auto (default) unwraps RTP carrying transport stream and
    // takes anything else whole; Rtp takes RTP only; Raw takes every datagram whole.
    void SetRtpMode(RtpMode mode);
    RtpMode GetRtpMode() const;
    // Bytes per media sample (default 2,310,144, at least 188, rounded up to the
    // buffers' 32-byte alignment); applies at the next Start.
    void SetSampleSize(uint32_t bytes);
    uint32_t SampleSize() const;

    // Most recently started settings first.
    History GetHistory() const;
    void SetHistory(const History& history);

    // RTP packets found missing (sequence gaps) since the last Start.
    uint64_t RtpLostPackets() const { return rtpLost_.load(std::memory_order_relaxed); }
    // Datagrams received since the last Start, and the bytes of them that did not fit
    // into their sample.
    uint64_t DatagramsReceived() const { return datagrams_.load(std::memory_order_relaxed); }
    uint64_t BytesDropped() const { return bytesDropped_.load(std::memory_order_relaxed); }
    // The UDP port the socket of the running reception is bound to (the system's
    // choice for a group or address given with port 0); 0 when none is open.
    uint16_t LocalPort();
    // From a successful Start until the receive thread has wound down after Stop.
    bool Receiving() const { return pump_.Running(); }

private:

    // Under settingsLock_.
    void AddToHistory(const IptvSettings& settings);
    // Opens, binds and joins; on failure the error text is set and nothing stays open.
    SocketHandle OpenSocket(const IptvSettings& settings);
    void SetFailure(const char* operation, int errorCode);
    void SetFailureText(const char* text);

    // The pump's fill thread: receives until a stop, then closes the socket.
    void ReceiveLoop(SocketHandle socket);
    // The pump's delivery thread.
    void DeliverSample(IMediaSample* sample);
    // Receive thread: one datagram into the sample being filled.
    void Take(const uint8_t* datagram, int length);

    // Serialises Start and destruction; held while the threads of an earlier start
    // are waited for, so nothing the data callback may call takes it. Declared first:
    // the pump (declared last) is gone before anything its threads use.
    std::mutex controlLock_;
    // Guards the settings, the history and the reception options.
    mutable std::mutex settingsLock_;
    IptvSettings settings_;
    History history_;
    RtpMode rtpMode_ = RtpMode::Auto;
    uint32_t sampleSize_ = kDefaultSampleSize;

    // Guards the socket handle against being closed while Stop shuts it down.
    std::mutex socketLock_;
    SocketHandle socket_ = kInvalidSocket;

    // Receive thread only (Start sets them up before it runs): the sample being filled
    // and the unwrapper that fills it.
    RtpUnwrapper unwrapper_;
    uint8_t* fillData_ = nullptr;
    uint32_t fillCapacity_ = 0;
    uint32_t fillLevel_ = 0;

    NetworkHandOver handOver_;

    std::atomic<uint64_t> rtpLost_{0};
    std::atomic<uint64_t> datagrams_{0};
    std::atomic<uint64_t> bytesDropped_{0};

    char errorBuffer_[kTextBufferSize] = {};
    char unicastHint_[kTextBufferSize] = {};

    CFeedPump pump_;
};
