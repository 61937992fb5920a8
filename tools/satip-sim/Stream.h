#pragma once
// Moving the paced source to a client: PID filtering, RTP datagrams with their RTCP
// reports, and the HTTP body.
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/satip-sim/Query.h"
#include "tools/satip-sim/SimState.h"

// What a stream's request side and its sending side share.
struct StreamShared {
    std::mutex mutex;
    Tuning tuning;
    unsigned frontend = 0;

    Tuning Snapshot() {
        std::lock_guard lock(mutex);
        return tuning;
    }
};

// Keeps the packets of the wanted PIDs. With every PID wanted the bytes pass exactly
// as they came, whole packets or not; a change of the set mid-packet drops only that
// packet.
class PidFilter {
public:
    explicit PidFilter(unsigned packetSize = 188);
    void Push(const uint8_t* in, size_t length, const PidSet& pids, std::vector<uint8_t>& out);

private:
    unsigned packetSize_;
    unsigned syncAt_;
    std::vector<uint8_t> carry_;  // the current packet, while it is valid
    size_t offset_ = 0;
    bool carryValid_ = true;
};

inline constexpr unsigned kPacketsPerDatagram = 7;
inline constexpr unsigned kRtcpIntervalMs = 200;

struct RtpTarget {
    sockaddr_in rtp{};
    sockaddr_in rtcp{};
    bool multicast = false;
    unsigned ttl = 1;
    in_addr interface{};  // multicast: the interface to send on
};

class RtpStreamer {
public:
    RtpStreamer(SimState& state, std::shared_ptr<StreamShared> shared, const RtpTarget& target, std::string cname);
    ~RtpStreamer();
    RtpStreamer(const RtpStreamer&) = delete;
    RtpStreamer& operator=(const RtpStreamer&) = delete;

    bool Start(std::string* error);
    void Stop();
    // The sequence number of the next datagram.
    uint16_t NextSequence() const { return sequence_; }

private:
    void Run();
    void SendDatagrams(std::vector<uint8_t>& pending, bool flushWhole);
    void SendReport();

    SimState& state_;
    std::shared_ptr<StreamShared> shared_;
    RtpTarget target_;
    std::string cname_;
    std::unique_ptr<PacedStream> source_;
    int socket_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<uint16_t> sequence_;
    uint32_t ssrc_, timestampBase_;
    uint32_t packetsSent_ = 0, octetsSent_ = 0;
    std::chrono::steady_clock::time_point start_;
};

// Sends the stream as an HTTP body on a connected socket until the client goes, the
// server stops or sending fails. The response head has been sent already.
void ServeHttpBody(SimState& state, int socket, const std::shared_ptr<StreamShared>& shared, bool chunked);
