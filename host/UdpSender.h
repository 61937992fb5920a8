#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "net/NetAddress.h"

// Re-streams "TS Out" to the network: datagrams of seven 188-byte packets, plain or
// wrapped in RTP (payload type 33, 90 kHz timestamps).
class UdpSender {
public:
    static constexpr size_t kPacketsPerDatagram = 7;
    static constexpr size_t kPayloadSize = kPacketsPerDatagram * 188;
    static constexpr uint8_t kRtpPayloadType = 33;

    struct Options {
        std::string destination;  // "239.1.2.3:5000", "[ff15::1]:5000"
        bool rtp = false;
        int ttl = 1;              // multicast hops; 1 keeps the stream on the local link
        std::string interface;    // local address for multicast sending; empty: the system's choice
    };

    ~UdpSender();
    bool Open(const Options& options, std::string* error);
    // Sends every whole datagram the data completes; the rest waits for more.
    bool Send(const uint8_t* data, size_t length);
    // Sends what is left, even when short of a full datagram.
    bool Flush();
    void Close();

    uint64_t DatagramsSent() const { return datagrams_; }
    const std::string& Error() const { return error_; }

    // The 12-byte RTP header for one datagram.
    static void WriteRtpHeader(uint8_t* header, uint16_t sequence, uint32_t timestamp, uint32_t ssrc);

private:
    bool SendDatagram(const uint8_t* payload, size_t length);

    int socket_ = -1;
    NetAddress destination_{};
    bool rtp_ = false;
    uint16_t sequence_ = 0;
    uint32_t ssrc_ = 0;
    std::vector<uint8_t> pending_;
    std::vector<uint8_t> datagram_;
    uint64_t datagrams_ = 0;
    std::string error_;
};
