#pragma once
// Taking the transport stream out of RTP datagrams, as a plain value: no socket, no
// thread. The owner feeds it every datagram in arrival order and keeps the counts.
#include <cstdint>
#include <span>

enum class RtpMode { Raw = 1, Rtp = 2, Auto = 3 };

constexpr uint8_t kRtpVersion = 2;
constexpr uint8_t kRtpPayloadTypeMp2t = 33;
constexpr int kRtpFixedHeaderSize = 12;

enum class RtpVerdict {
    Payload,  // the transport stream carried by an RTP datagram
    Whole,    // not RTP carrying transport stream (Auto), or any datagram (Raw): take it all
    Drop,     // a repeat, a malformed header, an empty payload, or plain data in Rtp mode
};

struct RtpUnwrapResult {
    RtpVerdict verdict = RtpVerdict::Drop;
    std::span<const uint8_t> data;  // what to take; empty for Drop
    // Set when the sequence number was not the one expected; -1 otherwise.
    int expectedSequence = -1;
    int sequence = -1;
};

class RtpUnwrapper {
public:
    explicit RtpUnwrapper(RtpMode mode = RtpMode::Rtp) : mode_(mode) {}

    // Raw: every datagram whole. Rtp: only the payload of valid RTP datagrams.
    // Auto: RTP carrying MPEG-2 transport stream (payload type 33) is unwrapped, and
    // anything else passes whole. The contributing-source list and the header
    // extension are skipped and padding is cut off; a header whose lengths reach
    // beyond the datagram drops it.
    RtpUnwrapResult Unwrap(std::span<const uint8_t> datagram);

    // Sequence numbers found missing: a step forward past the expected number counts
    // the numbers skipped (modulo 65536); a step back (a late datagram, a restarted
    // sender) counts none.
    uint64_t Lost() const { return lost_; }
    // Forgets the sequence seen so far and the count.
    void Reset();
    RtpMode Mode() const { return mode_; }

private:
    RtpUnwrapResult Payload(std::span<const uint8_t> datagram);

    RtpMode mode_;
    int lastSequence_ = -1;
    int expectedSequence_ = -1;
    uint64_t lost_ = 0;
};
