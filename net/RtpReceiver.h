#pragma once
// A DatagramReceiver that takes its datagrams as plain transport stream, as RTP, or
// decides per datagram.
#include "net/DatagramReceiver.h"

enum class RtpMode { Raw = 1, Rtp = 2, Auto = 3 };

class RtpReceiver : public DatagramReceiver {
public:
    explicit RtpReceiver(RtpMode mode) : mode_(mode) {}
    ~RtpReceiver() override;

    // Raw: every datagram whole. Rtp: the payload of RTP datagrams only. Auto: RTP
    // carrying MPEG-2 transport stream (payload type 33) is unwrapped, anything else
    // passes whole.
    void OnDatagram(const uint8_t* data, int length) override;
    RtpMode Mode() const { return mode_; }

private:
    const RtpMode mode_;
};
