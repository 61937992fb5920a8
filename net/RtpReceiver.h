#pragma once
// A DatagramReceiver that takes its datagrams as plain transport stream, as RTP, or
// decides per datagram.
#include "net/DatagramReceiver.h"

class RtpReceiver : public DatagramReceiver {
public:
    // What each mode takes: RtpUnwrapper::Unwrap.
    explicit RtpReceiver(RtpMode mode) : DatagramReceiver(mode) {}
};
