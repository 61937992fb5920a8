#pragma once
// A DatagramReceiver that takes its datagrams as plain transport stream, as RTP, or
// decides per datagram.
#include "net/DatagramReceiver.h"

class RtpReceiver : public DatagramReceiver {
public:
    // Raw: every datagram whole. Rtp: the payload of RTP datagrams only. Auto: RTP
    // carrying MPEG-2 transport stream (payload type 33) is unwrapped, anything else
    // passes whole.
    explicit RtpReceiver(RtpMode mode) : DatagramReceiver(mode) {}
    using DatagramReceiver::Mode;
};
