#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/RtpUnwrap.h"
#include "net/SendSocket.h"

// Re-streams "TS Out" to the network: datagrams of seven 188-byte packets, plain or
// wrapped in RTP (payload type 33, 90 kHz timestamps).
//
// Data arrives in blocks (a file plays in 100 ms blocks); sending each block back to
// back would burst. A pacing thread spreads each arrival's datagrams evenly over the
// time until the next arrival is expected, judged by how far apart arrivals have been.
// Send and Flush are called from one thread at a time; the pacing thread alone
// touches the socket once Open has returned.
class UdpSender {
public:
    static constexpr size_t kPacketsPerDatagram = 7;
    static constexpr size_t kPayloadSize = kPacketsPerDatagram * 188;
    static constexpr uint8_t kRtpPayloadType = kRtpPayloadTypeMp2t;

    struct Options {
        std::string destination;  // "239.1.2.3:5000", "[ff15::1]:5000"
        bool rtp = false;
        int ttl = 1;            // multicast hops; 1 keeps the stream on the local link
        std::string interface;  // IPv4: local address, IPv6: interface name; empty: the system's choice
    };

    UdpSender() = default;
    ~UdpSender();
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    bool Open(const Options& options, std::string* error);
    // Queues every whole datagram the data completes; the rest waits for more. Waits
    // only when far more is queued than the network takes. False once a send failed.
    bool Send(const uint8_t* data, size_t length);
    // Queues what is left, even when short of a full datagram, and waits until all of
    // it has gone out; false when a send failed.
    bool Flush();
    // Sends what is still queued, at its pace, and ends the pacing thread.
    void Close();

    uint64_t DatagramsSent() const;
    std::string Error() const;

    // The 12-byte RTP header for one datagram.
    static void WriteRtpHeader(uint8_t* header, uint16_t sequence, uint32_t timestamp, uint32_t ssrc);

private:
    using Clock = std::chrono::steady_clock;

    // Under lock_.
    void NoteArrival(Clock::time_point now);
    // Adds the datagrams and spreads the queue anew; false once sending failed.
    bool Queue(std::vector<std::vector<uint8_t>>& batch, bool arrival);
    void PaceLoop();
    bool SendDatagram(const std::vector<uint8_t>& payload);

    UdpSendSocket socket_;
    bool rtp_ = false;
    uint16_t sequence_ = 0;  // pacing thread
    uint32_t ssrc_ = 0;
    std::vector<uint8_t> datagram_;  // pacing thread
    std::vector<uint8_t> pending_;   // caller of Send

    mutable std::mutex lock_;  // guards everything below
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> queue_;
    bool sending_ = false;  // a datagram taken from the queue is on its way
    bool stop_ = false;
    bool failed_ = false;
    std::string error_;
    uint64_t datagrams_ = 0;
    uint64_t arrivals_ = 0;
    Clock::time_point lastArrival_{};
    Clock::duration gap_{};  // the next arrival is due this long after the last
    Clock::duration slot_{};        // between two datagrams
    Clock::time_point nextSend_{};
    std::thread pacer_;
};
